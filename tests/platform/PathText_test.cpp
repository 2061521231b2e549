// Folder texts as typed into a task: environment names between percent signs and the one
// trailing separator a root loses.

#include "platform/PathText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace pelmora {
namespace {

class ExpandEnvVarsTest : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        setenv("PELMORA_T_ROOT", "/srv/data", 1);
        setenv("PELMORA_T_USER", "anna", 1);
        // A value naming itself must not make the expansion run away.
        setenv("PELMORA_T_LOOP", "x%PELMORA_T_LOOP%", 1);
        unsetenv("PELMORA_T_UNSET");
    }
};

TEST_F(ExpandEnvVarsTest, ReplacesKnownNamesAndLeavesTheRestAsWritten)
{
    struct Case
    {
        const char* name;
        const char* text;
        const char* expanded;
    };
    const Case cases[] = {
        {"plain", "/home/anna", "/home/anna"},
        {"variable then folder", "%PELMORA_T_ROOT%/Sync", "/srv/data/Sync"},
        {"two variables", "%PELMORA_T_ROOT%/%PELMORA_T_USER%", "/srv/data/anna"},
        {"unknown stays, later ones too", "%PELMORA_T_UNSET%/%PELMORA_T_USER%", "%PELMORA_T_UNSET%/%PELMORA_T_USER%"},
        {"known before unknown", "%PELMORA_T_USER%/%PELMORA_T_UNSET%", "anna/%PELMORA_T_UNSET%"},
        {"lone percent sign", "/data/50%off", "/data/50%off"},
        {"adjacent percent signs vanish", "/a%%b", "/ab"},
        {"empty", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandEnvVars(c.text), c.expanded) << c.name;
}

TEST_F(ExpandEnvVarsTest, SelfReferenceIsBounded)
{
    const std::string looped = ExpandEnvVars("%PELMORA_T_LOOP%");
    EXPECT_LT(looped.size(), 70000u);
    EXPECT_EQ(looped.rfind("x", 0), 0u);
}

TEST(StripTrailingSeparator, TakesOneSeparatorOffAnythingButTheRoot)
{
    EXPECT_EQ(StripTrailingSeparator("/data/host/"), "/data/host");
    EXPECT_EQ(StripTrailingSeparator("/data/host//"), "/data/host/");
    EXPECT_EQ(StripTrailingSeparator("/data/host"), "/data/host");
    EXPECT_EQ(StripTrailingSeparator("/"), "/");
    EXPECT_EQ(StripTrailingSeparator("//"), "/");
    EXPECT_EQ(StripTrailingSeparator(""), "");
}

} // namespace
} // namespace pelmora
