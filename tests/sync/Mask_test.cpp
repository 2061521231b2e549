#include "sync/Mask.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

struct MaskCase
{
    const char* mask;
    const char* name;
    bool matches;
};

class MaskMatch : public testing::TestWithParam<MaskCase>
{
};

TEST_P(MaskMatch, MatchesWholeNameOnly)
{
    const MaskCase& c = GetParam();
    EXPECT_EQ(MatchMask(c.name, c.mask), c.matches) << "mask '" << c.mask << "' name '" << c.name << "'";
    // The compiled form gives the same answer on repeated use.
    const TMask compiled(c.mask);
    EXPECT_EQ(compiled.Matches(c.name), c.matches);
    EXPECT_EQ(compiled.Matches(c.name), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MaskMatch,
    testing::Values(
        MaskCase{"*.TMP", "report.tmp", true}, MaskCase{"*.tmp", "A.TMP", true},
        MaskCase{"*.tmp", "report.tmp.old", false}, MaskCase{"*.*", "readme", false}, MaskCase{"*.*", "read.me", true},
        MaskCase{"*.*", ".profile", true}, MaskCase{"*.~*", "doc.~1", true}, MaskCase{"*.~*", "doc.1~", false},
        MaskCase{"*?", "x", true}, MaskCase{"*?", "", true}, // '?' after '*' adds nothing
        MaskCase{"*??", "x", true}, MaskCase{"a*?", "a", true}, MaskCase{"a?", "a", false}, MaskCase{"?", "", false},
        MaskCase{"??", "ab", true}, MaskCase{"[a-c]*", "Beta", true}, MaskCase{"[a-c]*", "charlie", true},
        MaskCase{"[a-c]*", "delta", false}, MaskCase{"[!a-c]*", "delta", true}, MaskCase{"[!a-c]*", "Beta", false},
        MaskCase{"[c-a]x", "bx", false}, // a reversed range adds nothing
        MaskCase{"[xa-c]", "X", true}, MaskCase{"[a-]", "-", true}, MaskCase{"", "", true}, MaskCase{"", "a", false},
        MaskCase{"abc", "ABC", true}, MaskCase{"abc", "abcd", false}, MaskCase{"*abc", "xxabcabc", true},
        MaskCase{"*ab*cd", "abxxabcdcd", true}, MaskCase{"*ab*cd", "abxxabcdc", false},
        MaskCase{"a*b*c*d", "aXbYcZd", true}, MaskCase{"a*b*c*d", "aXbYcZ", false},
        // UTF-8 characters are taken whole; only ASCII letters fold.
        MaskCase{"?", "\xC3\xA9", true}, // "é" is one character
        MaskCase{"??", "\xC3\xA9", false}, MaskCase{"\xC3\xA9*", "\xC3\xA9t\xC3\xA9", true},
        MaskCase{"\xC3\xA9", "\xC3\x89", false}, // "é" and "É" differ: no folding beyond ASCII
        MaskCase{"[!a]", "\xE4\xB8\xAD", true},  // a negated set takes a whole 3-byte character
        MaskCase{"[!a]x", "\xE4\xB8\xADx", true}, MaskCase{"*\xE4\xB8\xAD.txt", "a\xE4\xB8\xAD.TXT", true}));

struct InvalidCase
{
    const char* mask;
    int position;
};

class MaskInvalid : public testing::TestWithParam<InvalidCase>
{
};

TEST_P(MaskInvalid, RaisesErrorWithPosition)
{
    const InvalidCase& c = GetParam();
    try {
        TMask m(c.mask);
        FAIL() << "'" << c.mask << "' compiled";
    } catch (const EMaskError& e) {
        EXPECT_EQ(e.Position(), c.position);
        EXPECT_EQ(std::string(e.what()),
                  "'" + std::string(c.mask) + "' is an invalid mask at (" + std::to_string(c.position) + ")");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MaskInvalid,
                         testing::Values(InvalidCase{"[]", 2}, InvalidCase{"[!]", 3}, InvalidCase{"[abc", 5},
                                         InvalidCase{"x[-a]", 3}, InvalidCase{"*.[", 4}));

TEST(MaskLimits, ThirtyWildcardsAllowedThirtyFirstRejected)
{
    std::string ok;
    for (int i = 0; i < 30; ++i)
        ok += "*a";
    EXPECT_TRUE(TMask(ok).Matches(std::string(30, 'a')));

    // The 31st state after a '*' is the end of the mask, just past its 61 characters.
    const std::string tooMany = ok + "*";
    try {
        TMask m(tooMany);
        FAIL() << "31 wildcards compiled";
    } catch (const EMaskError& e) {
        EXPECT_EQ(e.Position(), 62);
    }
    // Runs of '*' count once.
    EXPECT_NO_THROW(TMask("**********a"));
}

TEST(MaskLimits, ManyStarsOnLongNonMatchingNameFinishQuickly)
{
    std::string mask;
    for (int i = 0; i < 29; ++i)
        mask += "*a";
    mask += "*b";
    EXPECT_FALSE(TMask(mask).Matches(std::string(255, 'a')));
}

TEST(MaskList, MatchesAnyInOrderAndBlankLinesNeverMatchFiles)
{
    const std::vector<std::string> lines = {"*.tmp", "", "*.bak"};
    EXPECT_TRUE(MatchesAnyMask(lines, "x.bak"));
    EXPECT_FALSE(MatchesAnyMask(lines, "x.txt"));
    const TMaskList compiled(lines);
    EXPECT_TRUE(compiled.MatchesAny("X.TMP"));
    EXPECT_FALSE(compiled.MatchesAny("x.txt"));
    EXPECT_FALSE(TMaskList().MatchesAny("x.txt"));
    EXPECT_FALSE(MatchesAnyMask(std::vector<std::string>{}, ""));
}

TEST(MaskList, InvalidLineRefusesTheWholeList)
{
    EXPECT_THROW(TMaskList({"*.tmp", "[abc"}), EMaskError);
}

} // namespace
} // namespace pelmora
