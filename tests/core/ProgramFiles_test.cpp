#include "core/ProgramFiles.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(ProgramFiles, ConfigAndLogBesideTheExecutable)
{
    EXPECT_EQ(ConfigFileNameFor("/opt/pelmora/bin/pelmora"), "/opt/pelmora/bin/Pelmora.cfg");
    EXPECT_EQ(ConfigFileNameFor("/pelmora"), "/Pelmora.cfg");
    EXPECT_EQ(ConfigFileNameFor("pelmora"), "Pelmora.cfg");

    EXPECT_EQ(LogFileNameFor("/opt/pelmora/bin/pelmora"), "/opt/pelmora/bin/pelmora.log");
    EXPECT_EQ(LogFileNameFor("/opt/pelmora/bin/pelmora.bin"), "/opt/pelmora/bin/pelmora.log");
    // A dot in a folder name is not an extension.
    EXPECT_EQ(LogFileNameFor("/home/u/app.d/pelmora"), "/home/u/app.d/pelmora.log");

    const std::string exe = ExecutablePath();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(exe.front(), '/');
    EXPECT_NE(exe.find("core_tests"), std::string::npos);
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
