// Where a copy of the program finds its files and helpers, on real folders laid out as a build
// tree, an installed prefix and a portable folder, with the environment given by the test.
#include "platform/ProgramPlace.h"

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace pelmora {
namespace {

using test::TempFolder;

unsigned modeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0u;
}

EnvironmentLookup fakeEnvironment(std::map<std::string, std::string> values)
{
    return [values = std::move(values)](const char* name) -> const char* {
        const auto it = values.find(name);
        return it == values.end() ? nullptr : it->second.c_str();
    };
}

TEST(ProgramPlace, FilesOfAnInstalledAPortableAndABuildTreeCopy)
{
    TempFolder tmp("place");
    tmp.File("/usr/bin/pelmora", "");
    tmp.File("/portable/pelmora", "");
    tmp.File("/build/CMakeCache.txt", "");
    tmp.File("/build/bin/pelmora", "");
    const auto environment = fakeEnvironment({{"HOME", tmp / "home"}});

    const ProgramFiles installed = ProgramFilesFor(LookUpProgramPlace(tmp / "usr/bin/pelmora", environment));
    EXPECT_TRUE(installed.installed);
    EXPECT_EQ(installed.ConfigFileName, tmp / "home/.config/pelmora/Pelmora.cfg");
    EXPECT_EQ(installed.LogFileName, tmp / "home/.local/state/pelmora/pelmora.log");

    const ProgramFiles portable = ProgramFilesFor(LookUpProgramPlace(tmp / "portable/pelmora", environment));
    EXPECT_FALSE(portable.installed);
    EXPECT_EQ(portable.ConfigFileName, tmp / "portable/Pelmora.cfg");
    EXPECT_EQ(portable.LogFileName, tmp / "portable/pelmora.log");

    // A build whose programs land in bin/ stays portable.
    EXPECT_FALSE(ProgramFilesFor(LookUpProgramPlace(tmp / "build/bin/pelmora", environment)).installed);

    // A Pelmora.cfg put beside an installed executable makes that copy portable again.
    tmp.File("/usr/bin/Pelmora.cfg", "");
    const ProgramFiles besides = ProgramFilesFor(LookUpProgramPlace(tmp / "usr/bin/pelmora", environment));
    EXPECT_FALSE(besides.installed);
    EXPECT_EQ(besides.ConfigFileName, tmp / "usr/bin/Pelmora.cfg");
}

TEST(ProgramPlace, EnvironmentVariablesAndTheUserDatabase)
{
    TempFolder tmp("env");
    tmp.File("/bin/pelmora", "");
    const ProgramPlace place = LookUpProgramPlace(
        tmp / "bin/pelmora", fakeEnvironment({{"HOME", "/h"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_STATE_HOME", "/s"}}));
    EXPECT_EQ(place.home, "/h");
    EXPECT_EQ(place.xdgConfigHome, "/c");
    EXPECT_EQ(place.xdgStateHome, "/s");
    EXPECT_TRUE(place.folderWritable); // the test's own folder
    EXPECT_FALSE(place.configBeside);
    EXPECT_FALSE(place.inBuildTree);

    // No $HOME: the user's home folder comes from the user database.
    const ProgramPlace noHome = LookUpProgramPlace(tmp / "bin/pelmora", fakeEnvironment({{"HOME", ""}}));
    EXPECT_FALSE(noHome.home.empty());
    EXPECT_EQ(noHome.home.front(), '/');
    EXPECT_TRUE(noHome.xdgConfigHome.empty());
}

TEST(ProgramPlace, MakeFoldersCreatesPrivateFoldersAndLeavesOthers)
{
    TempFolder tmp("folders");
    tmp.Dir("/home");
    ASSERT_EQ(::chmod((tmp / "home").c_str(), 0755), 0);

    ASSERT_EQ(MakeFolderFor(tmp / "home/.config/pelmora/Pelmora.cfg"), 0);
    EXPECT_EQ(modeOf(tmp / "home/.config"), 0700u);
    EXPECT_EQ(modeOf(tmp / "home/.config/pelmora"), 0700u);
    EXPECT_EQ(modeOf(tmp / "home"), 0755u) << "an existing folder keeps its mode";
    EXPECT_FALSE(tmp.Exists("/home/.config/pelmora/Pelmora.cfg"));

    // Made again: nothing to do. A file where a folder should be: ENOTDIR, nothing made.
    EXPECT_EQ(MakeFolderFor(tmp / "home/.config/pelmora/Pelmora.cfg"), 0);
    tmp.File("/home/file", "x");
    EXPECT_EQ(MakeFolders(tmp / "home/file/sub", 0700), ENOTDIR);
    EXPECT_EQ(tmp.Read("/home/file"), "x");
}

TEST(ProgramPlace, HelperBesideTheProgramThenInLibexec)
{
    TempFolder tmp("helper");
    test::WriteBytes(tmp / "usr/bin/pelmora", "", 0, 0755);
    test::WriteBytes(tmp / "usr/libexec/pelmora/pelmora-lane", "", 0, 0755);
    test::WriteBytes(tmp / "portable/pelmora", "", 0, 0755);
    test::WriteBytes(tmp / "portable/pelmora-lane", "", 0, 0644);

    EXPECT_EQ(FindHelperProgram(tmp / "usr/bin/pelmora", "pelmora-lane"), tmp / "usr/libexec/pelmora/pelmora-lane");
    // A copy beside the program wins over the installed one.
    test::WriteBytes(tmp / "usr/bin/pelmora-lane", "", 0, 0755);
    EXPECT_EQ(FindHelperProgram(tmp / "usr/bin/pelmora", "pelmora-lane"), tmp / "usr/bin/pelmora-lane");
    // Not executable, and no libexec beside a folder that is not bin/: none.
    EXPECT_EQ(FindHelperProgram(tmp / "portable/pelmora", "pelmora-lane"), "");
    EXPECT_EQ(FindHelperProgram(tmp / "usr/bin/pelmora", "missing"), "");
}

} // namespace
} // namespace pelmora
