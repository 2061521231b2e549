#include "core/Utf8.h"

namespace pelmora {
namespace {

bool isContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Bytes in the character that begins with this lead byte; 1 for anything that is not a lead.
std::size_t sequenceLength(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    return 1;
}

// The length of the valid UTF-8 sequence at text[at] (2 to 4) and its code point, or 0 when
// the bytes there are not one: a stray continuation byte, an overlong form, a surrogate, a
// code point above U+10FFFF or a sequence cut short.
std::size_t validSequence(std::string_view text, std::size_t at, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = sequenceLength(text[at]);
    if (length < 2 || at + length > text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    if (second < low || second > high)
        return 0;
    char32_t value = lead & (0xFF >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(text[at + i]))
            return 0;
        value = value << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    codePoint = value;
    return length;
}

bool breaksLine(char32_t c)
{
    return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

constexpr char kHex[] = "0123456789abcdef";

} // namespace

std::string EscapeControlChars(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x20 && b < 0x7F) {
            if (b == '\\')
                out += '\\';
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        if (b >= 0x80) {
            char32_t c = 0;
            const std::size_t length = validSequence(text, i, c);
            if (length > 0 && !breaksLine(c)) {
                out.append(text, i, length);
                i += length;
                continue;
            }
            if (length > 0) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += kHex[(c >> shift) & 0xF];
                i += length;
                continue;
            }
        }
        // A C0 control, DEL, or a byte outside valid UTF-8.
        if (b == '\n')
            out += "\\n";
        else if (b == '\r')
            out += "\\r";
        else if (b == '\t')
            out += "\\t";
        else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
        ++i;
    }
    return out;
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    // The byte at maxBytes is the first one dropped. If it continues a character, find the
    // character's lead byte (at most three bytes back) and drop the whole character when it
    // really is one multi-byte sequence that crosses the limit.
    std::size_t cut = maxBytes;
    std::size_t back = 0;
    while (cut > 0 && back < 3 && isContinuation(text[cut])) {
        --cut;
        ++back;
    }
    if (back > 0 && !isContinuation(text[cut]) && sequenceLength(text[cut]) > back)
        return text.substr(0, cut);
    return text.substr(0, maxBytes);
}

std::string AsciiUpper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace pelmora
