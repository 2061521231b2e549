// The run start's decisions without a window: which tasks are refused and who is told, the
// roots a run gets from what the editor shows, the share it logs in to, its masks, and the
// refusal of a run that would empty one side.

#include "sync/PrepareRun.h"

#include "lang/Messages.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace pelmora {
namespace {

class PrepareRunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectLanguage(kLangEnglishUS);
        InitSyncTask(task);
        WriteTextField(task.MainDir, "/data/host");
        WriteTextField(task.MirrorDir, "/data/mirror");
        task.InMain = acHostToMirror;
        input.Task = &task;
        input.TaskName = "Backup";
        input.HostFolder = "/data/host";
        input.MirrorFolder = "/data/mirror";
    }

    PreparedRun Ready()
    {
        PreparedRun prepared = PrepareRun(input);
        EXPECT_FALSE(prepared.Refusal.has_value()) << prepared.Refusal->Reason;
        return prepared;
    }

    TSyncTask task{};
    RunStartInput input;
};

// How a task was started, and whether a refusal may show a box and must be logged.
struct StartKind
{
    const char* name;
    bool autoRun;
    bool scheduled;
    bool autoMode;
};

constexpr StartKind kByHand{"by hand", false, false, false};
constexpr StartKind kCommandLine{"command line", true, false, false};
constexpr StartKind kScheduled{"scheduled", false, true, false};
constexpr StartKind kAutoMode{"auto-mode task by hand", false, false, true};

void Apply(const StartKind& kind, RunStartInput& input, TSyncTask& task)
{
    input.AutoRun = kind.autoRun;
    input.ScheduledRun = kind.scheduled;
    task.AutoMode = ToFlag(kind.autoMode);
}

TEST_F(PrepareRunTest, NoSelectedTaskIsRefusedWithoutAWord)
{
    input.Task = nullptr;
    const PreparedRun prepared = PrepareRun(input);
    ASSERT_TRUE(prepared.Refusal.has_value());
    EXPECT_EQ(prepared.Refusal->Reason, "");
    EXPECT_FALSE(prepared.Refusal->ShowBox);
    EXPECT_FALSE(prepared.Refusal->LogBlock);
    EXPECT_EQ(prepared.Refusal->ExitStatus, kExitRefused);
}

TEST_F(PrepareRunTest, EmptyFolderFieldsAndNoActionAreRefusedAndToldAsTheStartAllows)
{
    struct Expect
    {
        StartKind kind;
        bool box;
        bool log;
    };
    // The box is left out only for a command-line start; the log says why whenever nobody
    // may be there to read a box.
    const Expect cases[] = {
        {kByHand, true, false}, {kCommandLine, false, true}, {kScheduled, true, true}, {kAutoMode, true, true}};
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.kind.name);
        Apply(c.kind, input, task);

        WriteTextField(task.MirrorDir, "");
        PreparedRun prepared = PrepareRun(input);
        ASSERT_TRUE(prepared.Refusal.has_value());
        EXPECT_EQ(prepared.Refusal->Reason, "Invalid Host folder or Mirror folder.");
        EXPECT_EQ(prepared.Refusal->ShowBox, c.box);
        EXPECT_EQ(prepared.Refusal->LogBlock, c.log);
        EXPECT_EQ(prepared.Refusal->ExitStatus, kExitRefused);
        EXPECT_EQ(prepared.Request.Task, nullptr) << "a refused start prepares no run";

        WriteTextField(task.MirrorDir, "/data/mirror");
        task.InMain = acIgnore;
        prepared = PrepareRun(input);
        ASSERT_TRUE(prepared.Refusal.has_value());
        EXPECT_EQ(prepared.Refusal->Reason, "No operation specified.");
        EXPECT_EQ(prepared.Refusal->ShowBox, c.box);
        EXPECT_EQ(prepared.Refusal->LogBlock, c.log);
        task.InMain = acHostToMirror;
    }
}

TEST_F(PrepareRunTest, TheRecordsFoldersDecideEmptinessAndAnEmptyFolderIsToldBeforeNoAction)
{
    // The editor's texts are the roots, but an empty field in the record refuses the run.
    WriteTextField(task.MainDir, "");
    task.InMain = acIgnore;
    PreparedRun prepared = PrepareRun(input);
    ASSERT_TRUE(prepared.Refusal.has_value());
    EXPECT_EQ(prepared.Refusal->Reason, "Invalid Host folder or Mirror folder.");

    // Any one of the six actions is enough.
    WriteTextField(task.MainDir, "/data/host");
    task.EmptyDir = acMirrorToHost;
    prepared = PrepareRun(input);
    EXPECT_FALSE(prepared.Refusal.has_value());
}

TEST_F(PrepareRunTest, RootsLoseOneTrailingSeparatorThenHaveEnvironmentNamesExpanded)
{
    setenv("PELMORA_PR_BASE", "/srv/base", 1);
    setenv("PELMORA_PR_SLASHED", "/srv/slashed/", 1);
    unsetenv("PELMORA_PR_UNSET");
    struct Case
    {
        const char* typed;
        const char* root;
    };
    const Case cases[] = {
        {"/data/host/", "/data/host"},
        {"/", "/"},
        {"%PELMORA_PR_BASE%/Sync", "/srv/base/Sync"},
        {"%PELMORA_PR_BASE%/Sync/", "/srv/base/Sync"},
        // The separator is taken off before expanding: a value's own trailing one stays.
        {"%PELMORA_PR_SLASHED%", "/srv/slashed/"},
        {"%PELMORA_PR_UNSET%/x/", "%PELMORA_PR_UNSET%/x"},
        {"/data/50%off", "/data/50%off"},
    };
    for (const Case& c : cases) {
        input.HostFolder = c.typed;
        input.MirrorFolder = c.typed;
        const PreparedRun prepared = Ready();
        EXPECT_EQ(prepared.Request.HostDir, c.root) << c.typed;
        EXPECT_EQ(prepared.Request.MirrorDir, c.root) << c.typed;
    }
}

TEST_F(PrepareRunTest, TheRequestCarriesTheTaskItsNameMasksAndRunModes)
{
    WriteCountedField(task.IgnoreList, "*.tmp\r\n[abc\r\n");
    WriteCountedField(task.DelList, "*.bak");
    WriteCountedField(task.OnlyTypeList, "");
    task.IgnoreOn = 0; // the lists are taken whether or not their switches are on
    input.CopyAll = true;
    input.ScheduledRun = true;

    const PreparedRun prepared = Ready();
    const RunRequest& request = prepared.Request;
    EXPECT_EQ(request.Task, &task);
    EXPECT_EQ(request.TaskName, "Backup");
    EXPECT_EQ(request.IgnoreMasks, (std::vector<std::string>{"*.tmp", "[abc"}));
    EXPECT_EQ(request.DelMasks, (std::vector<std::string>{"*.bak"}));
    EXPECT_TRUE(request.OnlyTypeMasks.empty());
    EXPECT_FALSE(request.AutoRun);
    EXPECT_TRUE(request.CopyAll);
    EXPECT_TRUE(request.ScheduledRun);
    EXPECT_EQ(request.ResultShown, nullptr) << "left to the window that owns the flag";
}

TEST_F(PrepareRunTest, ShareLoginGoesToTheShareOfTheHostFirstAndOnlyWithCredentials)
{
    struct Case
    {
        const char* name;
        const char* host;
        const char* mirror;
        const char* user;
        const char* password;
        const char* remote; // "" = no login
    };
    const Case cases[] = {
        {"host three levels below the share", "//nas/backup/a/b/c", "/data/m", "anna", "pw", "//nas/backup"},
        {"host is the share itself", "//nas/backup", "/data/m", "anna", "", "//nas/backup"},
        {"mirror on a share, password only", "/data/h", "//nas:4450/photos/2024", "", "pw", "//nas:4450/photos"},
        {"both on shares: the host wins", "//one/a/x", "//two/b/y", "anna", "pw", "//one/a"},
        {"smb URL", "smb://nas/backup/x", "/data/m", "anna", "pw", "smb://nas/backup"},
        {"share without credentials: no login", "//nas/backup/x", "/data/m", "", "", ""},
        {"local folders with credentials: no login", "/data/h", "/data/m", "anna", "pw", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        input.HostFolder = c.host;
        input.MirrorFolder = c.mirror;
        WriteCountedField(task.NetName, c.user);
        WriteCountedField(task.NetPass, c.password);
        const PreparedRun prepared = Ready();
        EXPECT_EQ(prepared.Share.RemoteName, c.remote);
        if (*c.remote != '\0') {
            EXPECT_EQ(prepared.Share.UserName, c.user);
            EXPECT_EQ(prepared.Share.Password, c.password);
        } else {
            EXPECT_EQ(prepared.Share.UserName, "") << "no credentials are handed out without a login";
            EXPECT_EQ(prepared.Share.Password, "");
        }
        // The run works on the network path itself, not on a mounted name.
        EXPECT_EQ(prepared.Request.HostDir, c.host);
    }
}

TEST_F(PrepareRunTest, LockAndLoginRefusalsSayWhyToWhoeverMayListen)
{
    struct Expect
    {
        StartKind kind;
        bool lockBox;
        bool loginBox;
        bool loginLog;
    };
    // The lock refusal is always logged; the login refusal only when unattended, and its box
    // is left out for an auto-mode task even when started by hand.
    const Expect cases[] = {{kByHand, true, true, false},
                            {kCommandLine, false, false, true},
                            {kScheduled, false, true, true},
                            {kAutoMode, false, false, true}};
    for (const Expect& c : cases) {
        SCOPED_TRACE(c.kind.name);
        Apply(c.kind, input, task);
        const RunRefusal lock = RunLockRefusal(input);
        EXPECT_EQ(lock.Reason, "The task is already running in another Pelmora process.");
        EXPECT_EQ(lock.ShowBox, c.lockBox);
        EXPECT_TRUE(lock.LogBlock);
        EXPECT_EQ(lock.ExitStatus, kExitRefused);

        const RunRefusal login = ShareLoginRefusal(input);
        EXPECT_EQ(login.Reason, "Invalid net path, or Username, Password error!");
        EXPECT_EQ(login.ShowBox, c.loginBox);
        EXPECT_EQ(login.LogBlock, c.loginLog);
        EXPECT_EQ(login.ExitStatus, kExitRefused);
    }
}

class WipeRefusalTest : public PrepareRunTest
{
protected:
    std::optional<RunRefusal> Check() { return WipeRefusal(input, Ready()); }

    test::TempFolder tree;
};

TEST_F(WipeRefusalTest, AMissingSideIsRefusedOnlyWhenTheOtherSidesFilesWouldBeDeleted)
{
    tree.Dir("/host");
    tree.Dir("/mirror");
    const std::string missing = tree.Path("/gone");
    input.HostFolder = tree.Path("/host");
    input.MirrorFolder = tree.Path("/mirror");
    task.InMain = acDelete;
    task.InMirror = acDelete;
    EXPECT_FALSE(Check().has_value()) << "both sides there";

    input.HostFolder = missing;
    std::optional<RunRefusal> refusal = Check();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->Reason, "Host folder not found, the run would delete the mirror's files: " + missing);
    EXPECT_EQ(refusal->ExitStatus, kExitRefused);

    task.InMirror = acMirrorToHost;
    EXPECT_FALSE(Check().has_value()) << "a missing host with nothing deleted in the mirror is the run's business";

    input.HostFolder = tree.Path("/host");
    input.MirrorFolder = missing + "/"; // reported as the run would use it
    refusal = Check();
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->Reason, "Mirror folder not found, the run would delete the host's files: " + missing);

    task.InMain = acHostToMirror;
    EXPECT_FALSE(Check().has_value());
}

TEST_F(WipeRefusalTest, AFileOrALinkedFolderCountsAsWhatItIs)
{
    tree.Dir("/mirror");
    tree.Dir("/real");
    tree.File("/plain", "x");
    tree.Symlink(tree.Path("/real"), "/linked");
    input.MirrorFolder = tree.Path("/mirror");
    task.InMirror = acDelete;

    input.HostFolder = tree.Path("/linked");
    EXPECT_FALSE(Check().has_value()) << "a link to a folder is an existing folder";

    input.HostFolder = tree.Path("/plain");
    EXPECT_TRUE(Check().has_value()) << "a file is no folder to synchronise";
}

TEST_F(WipeRefusalTest, IsAlwaysLoggedAndShownOnlyWhenSomeoneStartedItByHand)
{
    input.HostFolder = tree.Path("/gone");
    input.MirrorFolder = tree.Root();
    task.InMirror = acDelete;
    for (const StartKind& kind : {kByHand, kCommandLine, kScheduled, kAutoMode}) {
        SCOPED_TRACE(kind.name);
        Apply(kind, input, task);
        const std::optional<RunRefusal> refusal = Check();
        ASSERT_TRUE(refusal.has_value());
        EXPECT_TRUE(refusal->LogBlock);
        EXPECT_EQ(refusal->ShowBox, kind.name == kByHand.name);
    }
}

} // namespace
} // namespace pelmora
