// Escaping of texts that go into the result log and the run windows: which characters are
// written as escapes and how, that everything else passes unchanged, and that an escaped text
// reads back to exactly one original.

#include "core/Utf8.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace pelmora {
namespace {

struct EscapeCase
{
    const char* what;
    std::string input;
    std::string escaped;
};

class EscapeTest : public ::testing::TestWithParam<EscapeCase>
{
};

TEST_P(EscapeTest, WritesControlCharactersAsEscapes)
{
    EXPECT_EQ(EscapeControlChars(GetParam().input), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EscapeTest,
    ::testing::Values(
        EscapeCase{"plain", "/docs/a file.txt", "/docs/a file.txt"}, EscapeCase{"empty", "", ""},
        EscapeCase{"utf8", "/照片/Ünïcödé €.jpg \xF0\x9F\x98\x80", "/照片/Ünïcödé €.jpg \xF0\x9F\x98\x80"},
        EscapeCase{"forged", "x\r\n2024-01-01 0:00:00\r\nTask finish!", "x\\r\\n2024-01-01 0:00:00\\r\\nTask finish!"},
        EscapeCase{"tab", "a\tb", "a\\tb"}, EscapeCase{"escape", "\x1b[2Jgone", "\\x1b[2Jgone"},
        EscapeCase{"nul", std::string("a\0b", 3), "a\\x00b"}, EscapeCase{"bell", "\x07", "\\x07"},
        EscapeCase{"unit separator", "\x1f", "\\x1f"}, EscapeCase{"del", "a\x7f", "a\\x7f"},
        EscapeCase{"backslash", "C:\\dir\\n", "C:\\\\dir\\\\n"},
        EscapeCase{"c1 next line",
                   "a\xC2\x85"
                   "b",
                   "a\\u0085b"},
        EscapeCase{"c1 csi",
                   "\xC2\x9B"
                   "31m",
                   "\\u009b31m"},
        EscapeCase{"c1 bounds", "\xC2\x80\xC2\x9F\xC2\xA0", "\\u0080\\u009f\xC2\xA0"},
        EscapeCase{"line separator",
                   "a\xE2\x80\xA8"
                   "b\xE2\x80\xA9",
                   "a\\u2028b\\u2029"},
        EscapeCase{"right-to-left override", "evil\xE2\x80\xAEtxt.exe", "evil\\u202etxt.exe"},
        EscapeCase{"isolates", "\xE2\x81\xA6x\xE2\x81\xA9", "\\u2066x\\u2069"},
        EscapeCase{"marks stay", "\xE2\x80\x8F\xE2\x80\xA7", "\xE2\x80\x8F\xE2\x80\xA7"},
        EscapeCase{"raw c1 byte",
                   "a\x9b"
                   "b",
                   "a\\x9bb"},
        EscapeCase{"latin1 name", "caf\xE9.txt", "caf\\xe9.txt"},
        EscapeCase{"cut sequence", "ab\xE2\x82", "ab\\xe2\\x82"},
        EscapeCase{"overlong slash", "\xC0\xAF", "\\xc0\\xaf"},
        EscapeCase{"overlong three", "\xE0\x80\xAF", "\\xe0\\x80\\xaf"},
        EscapeCase{"surrogate", "\xED\xA0\x80", "\\xed\\xa0\\x80"},
        EscapeCase{"above unicode", "\xF4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        EscapeCase{"highest", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"}),
    [](const ::testing::TestParamInfo<EscapeCase>& row) {
        std::string name;
        for (const char c : std::string(row.param.what))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

// The inverse of the escaping, as a reader of the log would apply it; false on a text that no
// escaping can have produced.
bool Unescape(const std::string& text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        const char kind = text[i];
        if (kind == '\\' || kind == 'n' || kind == 'r' || kind == 't') {
            out += kind == 'n' ? '\n' : kind == 'r' ? '\r' : kind == 't' ? '\t' : '\\';
        } else if (kind == 'x' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (kind == 'u' && i + 4 < text.size()) {
            const unsigned c = static_cast<unsigned>(std::stoi(text.substr(i + 1, 4), nullptr, 16));
            if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
            } else {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            }
            out += static_cast<char>(0x80 | (c & 0x3F));
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

TEST(EscapeTest, EveryEscapedTextReadsBackToItsOriginal)
{
    // Texts that a naive escaping would map to the same result: a real backslash-n and a line
    // break, a written "\x1b" and the escape character itself.
    const std::string texts[] = {"a\\nb",   "a\nb",     "\\x1b",        "\x1b",
                                 "\\\\",    "\\",       "\\u0085",      "\xC2\x85",
                                 "caf\xE9", "caf\\xe9", "\xE2\x80\xAE", "x\r\n\t\x7f\x01 \\ \xF0\x9F\x98\x80"};
    std::set<std::string> seen;
    for (const std::string& text : texts) {
        const std::string escaped = EscapeControlChars(text);
        EXPECT_TRUE(seen.insert(escaped).second) << escaped;
        for (const char c : escaped) {
            const auto b = static_cast<unsigned char>(c);
            EXPECT_TRUE(b >= 0x20 && b != 0x7F) << "raw control byte in " << escaped;
        }
        std::string back;
        ASSERT_TRUE(Unescape(escaped, back)) << escaped;
        EXPECT_EQ(back, text);
    }
}

} // namespace
} // namespace pelmora
