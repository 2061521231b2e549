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

} // namespace

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
