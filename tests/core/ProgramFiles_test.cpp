#include "core/ProgramFiles.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

ProgramPlace portablePlace(std::string exePath)
{
    ProgramPlace place;
    place.exePath = std::move(exePath);
    place.home = "/home/u";
    place.folderWritable = true;
    return place;
}

ProgramPlace installedPlace(std::string exePath)
{
    ProgramPlace place;
    place.exePath = std::move(exePath);
    place.home = "/home/u";
    return place;
}

TEST(ProgramFiles, ConfigAndLogBesideTheExecutable)
{
    auto config = [](std::string exe) { return ProgramFilesFor(portablePlace(std::move(exe))).ConfigFileName; };
    auto log = [](std::string exe) { return ProgramFilesFor(portablePlace(std::move(exe))).LogFileName; };
    EXPECT_EQ(config("/opt/pelmora/pelmora"), "/opt/pelmora/Pelmora.cfg");
    EXPECT_EQ(config("/pelmora"), "/Pelmora.cfg");
    EXPECT_EQ(config("pelmora"), "Pelmora.cfg");

    EXPECT_EQ(log("/opt/pelmora/pelmora"), "/opt/pelmora/pelmora.log");
    EXPECT_EQ(log("/opt/pelmora/pelmora.bin"), "/opt/pelmora/pelmora.log");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(log("/home/u/app.d/pelmora"), "/home/u/app.d/pelmora.log");

    const std::string exe = ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.front(), '/');
    EXPECT_NE(exe.find("core_tests"), std::string::npos);
}

struct PlaceCase
{
    const char* what;
    ProgramPlace place;
    bool installed;
};

TEST(ProgramFiles, PortableOrInstalled)
{
    auto with = [](ProgramPlace place, auto change) {
        change(place);
        return place;
    };
    const PlaceCase cases[] = {
        {"a system bin folder", installedPlace("/usr/bin/pelmora"), true},
        {"a bin folder root may write",
         with(installedPlace("/usr/local/bin/pelmora"), [](auto& p) { p.folderWritable = true; }), true},
        {"the user's own bin folder",
         with(installedPlace("/home/u/bin/pelmora"), [](auto& p) { p.folderWritable = true; }), true},
        {"a folder the user cannot write", installedPlace("/opt/pelmora/pelmora"), true},
        {"a Pelmora.cfg beside it", with(installedPlace("/usr/bin/pelmora"), [](auto& p) { p.configBeside = true; }),
         false},
        {"a build tree named bin",
         with(installedPlace("/src/pelmora/build/bin/pelmora"), [](auto& p) { p.inBuildTree = true; }), false},
        {"a writable folder of its own", portablePlace("/home/u/apps/pelmora/pelmora"), false},
    };
    for (const PlaceCase& c : cases) {
        const ProgramFiles files = ProgramFilesFor(c.place);
        EXPECT_EQ(files.installed, c.installed) << c.what;
        if (c.installed) {
            EXPECT_EQ(files.ConfigFileName, "/home/u/.config/pelmora/Pelmora.cfg") << c.what;
            EXPECT_EQ(files.LogFileName, "/home/u/.local/state/pelmora/pelmora.log") << c.what;
        } else {
            const std::string folder = c.place.exePath.substr(0, c.place.exePath.rfind('/') + 1);
            EXPECT_EQ(files.ConfigFileName, folder + "Pelmora.cfg") << c.what;
            EXPECT_EQ(files.LogFileName, folder + "pelmora.log") << c.what;
        }
    }
}

TEST(ProgramFiles, InstalledCopyFollowsTheXdgVariables)
{
    ProgramPlace place = installedPlace("/usr/bin/pelmora");
    place.xdgConfigHome = "/data/conf/";
    place.xdgStateHome = "/data/state";
    ProgramFiles files = ProgramFilesFor(place);
    EXPECT_EQ(files.ConfigFileName, "/data/conf/pelmora/Pelmora.cfg");
    EXPECT_EQ(files.LogFileName, "/data/state/pelmora/pelmora.log");

    // A relative value is not a base folder: the default below the home folder holds.
    place.xdgConfigHome = "conf";
    place.xdgStateHome = "";
    files = ProgramFilesFor(place);
    EXPECT_EQ(files.ConfigFileName, "/home/u/.config/pelmora/Pelmora.cfg");
    EXPECT_EQ(files.LogFileName, "/home/u/.local/state/pelmora/pelmora.log");

    // With no home folder at all only a variable can place a file; the other stays portable.
    place.home = "";
    place.xdgConfigHome = "/data/conf";
    files = ProgramFilesFor(place);
    EXPECT_TRUE(files.installed);
    EXPECT_EQ(files.ConfigFileName, "/data/conf/pelmora/Pelmora.cfg");
    EXPECT_EQ(files.LogFileName, "/usr/bin/pelmora.log");
}

struct ParseCase
{
    std::vector<std::string> args;
    StartMode mode;
    std::string name;
};

class CommandLineParse : public testing::TestWithParam<ParseCase>
{
};

TEST_P(CommandLineParse, ModeAndName)
{
    const CommandLine cmd = ParseCommandLine(GetParam().args);
    EXPECT_EQ(cmd.mode, GetParam().mode);
    EXPECT_EQ(cmd.taskName, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineParse,
    testing::Values(ParseCase{{}, StartMode::Interactive, ""}, ParseCase{{"/A"}, StartMode::AutoAll, ""},
                    ParseCase{{"/a"}, StartMode::AutoAll, ""}, ParseCase{{"/autorun"}, StartMode::AutoAll, ""},
                    ParseCase{{"/h"}, StartMode::Hidden, ""}, ParseCase{{"-ABackup"}, StartMode::RunNamed, "Backup"},
                    ParseCase{{"-abackup"}, StartMode::RunNamed, "backup"},
                    ParseCase{{"-cPhotos 2"}, StartMode::CopyAllNamed, "Photos 2"},
                    ParseCase{{"-A"}, StartMode::RunNamed, ""}, ParseCase{{"-A", "Backup"}, StartMode::Interactive, ""},
                    ParseCase{{"/H", "/A"}, StartMode::Interactive, ""}, ParseCase{{"/X"}, StartMode::Unknown, ""},
                    ParseCase{{"/"}, StartMode::Unknown, ""}, ParseCase{{""}, StartMode::Unknown, ""},
                    ParseCase{{"\xC3\xA9"}, StartMode::Unknown, ""}));

TEST(CommandLine, ArgcArgvSkipsTheProgramName)
{
    const char* argv[] = {"pelmora", "-cJob"};
    const CommandLine cmd = ParseCommandLine(2, argv);
    EXPECT_EQ(cmd.mode, StartMode::CopyAllNamed);
    EXPECT_EQ(cmd.taskName, "Job");
    const char* none[] = {"pelmora"};
    EXPECT_EQ(ParseCommandLine(1, none).mode, StartMode::Interactive);
}

class StartPlanTest : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"Backup", "photos", "BACKUP", "Docs"}) {
            names.emplace_back(name);
            tasks.push_back(NewSyncTask());
        }
        tasks[1]->AutoMode = 0x01; // any non-zero byte is true
        tasks[3]->AutoMode = kFlagTrue;
    }
    std::vector<std::string> names;
    TaskRecords tasks;
};

TEST_F(StartPlanTest, AutoAllChecksEveryAutoModeTask)
{
    const StartPlan plan = PlanStart(ParseCommandLine({"/a"}), names, tasks);
    EXPECT_EQ(plan.checked, (std::vector<std::size_t>{1, 3}));
    EXPECT_TRUE(plan.AutoRun);
    EXPECT_FALSE(plan.exitAtOnce);
}

TEST_F(StartPlanTest, NamedRunChecksEveryCaseInsensitiveMatch)
{
    const StartPlan run = PlanStart(ParseCommandLine({"-abackup"}), names, tasks);
    EXPECT_EQ(run.checked, (std::vector<std::size_t>{0, 2}));
    EXPECT_FALSE(run.CopyAll);

    const StartPlan copy = PlanStart(ParseCommandLine({"-CPHOTOS"}), names, tasks);
    EXPECT_EQ(copy.checked, std::vector<std::size_t>{1});
    EXPECT_TRUE(copy.CopyAll);
    EXPECT_TRUE(copy.AutoRun);
}

TEST_F(StartPlanTest, NothingToRunExitsAtOnce)
{
    for (const char* arg : {"-Anobody", "/Z", "-Cnobody"}) {
        const StartPlan plan = PlanStart(ParseCommandLine({arg}), names, tasks);
        EXPECT_TRUE(plan.checked.empty()) << arg;
        EXPECT_TRUE(plan.exitAtOnce) << arg;
        EXPECT_FALSE(plan.CopyAll) << arg;
    }
    TaskRecords noAuto;
    noAuto.push_back(NewSyncTask());
    EXPECT_TRUE(PlanStart(ParseCommandLine({"/A"}), {"only"}, noAuto).exitAtOnce);
}

TEST_F(StartPlanTest, HiddenAndInteractiveRunNothing)
{
    const StartPlan hidden = PlanStart(ParseCommandLine({"/H"}), names, tasks);
    EXPECT_TRUE(hidden.StartHidden);
    EXPECT_FALSE(hidden.AutoRun);
    EXPECT_FALSE(hidden.exitAtOnce);
    EXPECT_TRUE(hidden.checked.empty());

    const StartPlan interactive = PlanStart(ParseCommandLine({"-ABackup", "-ADocs"}), names, tasks);
    EXPECT_FALSE(interactive.AutoRun);
    EXPECT_FALSE(interactive.exitAtOnce);
    EXPECT_TRUE(interactive.checked.empty());
}

} // namespace
} // namespace pelmora
