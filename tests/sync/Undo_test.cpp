// Deletions a user can undo, in whole runs on real folders: what a run deletes or replaces
// goes into the trash (or is deleted for good when the task says so), a read-only mount fails
// the deletion instead of deleting, the trash folders at a root are not synchronised, and the
// guard holds a plan that would delete most of a side.

#include "RunTest.h"
#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/ExitStatus.h"
#include "sync/SyncLog.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000;

class UndoTest : public RunTest
{
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        data = FreshDir("data");
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        Mirroring();
    }

    bool Run(RunRequest request)
    {
        const bool ran = runner.Run(request);
        blocks.push_back(log.Lines());
        return ran;
    }
    bool Run() { return Run(UnattendedRequest("Backup", host, mirror)); }
    bool Logged(const std::string& line) const { return RunTest::Logged(log, line); }

    // Bytes of the home trash by the original path its .trashinfo gives.
    std::multiset<std::pair<std::string, std::string>> Trashed() const
    {
        std::multiset<std::pair<std::string, std::string>> out;
        const std::string trash = data + "/Trash";
        if (!fs::exists(trash + "/files"))
            return out;
        for (const auto& entry : fs::directory_iterator(trash + "/files")) {
            const std::string info = ReadBytes(trash + "/info/" + entry.path().filename().string() + ".trashinfo");
            const std::size_t at = info.find("\nPath=");
            EXPECT_NE(at, std::string::npos) << info;
            out.emplace(info.substr(at + 6, info.find('\n', at + 1) - at - 6), ReadBytes(entry.path().string()));
        }
        return out;
    }

    std::string data;
    SyncLog log;
    HeadlessRunner runner{log};
    std::vector<std::vector<std::string>> blocks;
};

TEST_F(UndoTest, DeletedAndReplacedFilesOfARunGoToTheTrashAndTheBlockCountsThem)
{
    WriteBytes(host + "/keep.txt", "kept", kT);
    WriteBytes(host + "/doc.txt", "new text", kT + 100);
    WriteBytes(mirror + "/doc.txt", "old text", kT);
    WriteBytes(mirror + "/keep.txt", "kept", kT);
    WriteBytes(mirror + "/sub/gone.txt", "only in the mirror", kT);

    ASSERT_TRUE(Run());
    // The same name deleted by a second run is kept beside the first one.
    WriteBytes(mirror + "/sub/gone.txt", "again only in the mirror", kT);
    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"doc.txt", "keep.txt", "sub/"}));
    EXPECT_EQ(ReadBytes(mirror + "/doc.txt"), "new text");
    EXPECT_EQ(Trashed(), (std::multiset<std::pair<std::string, std::string>>{
                             {mirror + "/doc.txt", "old text"},
                             {mirror + "/sub/gone.txt", "only in the mirror"},
                             {mirror + "/sub/gone.txt", "again only in the mirror"},
                         }));
    EXPECT_EQ(runner.Driver().Result().TrashedCount, 1u);
    EXPECT_TRUE(Logged("Moved to the trash: 2 files"));
    EXPECT_TRUE(Logged("Moved to the trash: 1 files"));
    EXPECT_EQ(RunExitStatus(runner.Driver()), kExitDone);
}

TEST_F(UndoTest, AReplacedFileThatCannotGoToTheTrashIsKeptAndTheNewCopyDropped)
{
    WriteBytes(host + "/doc.txt", "new text", kT + 100);
    WriteBytes(mirror + "/doc.txt", "old text", kT);
    FaultFileSystem faults(LocalFileSystem());
    faults.AddFault({FsCall::Trash, mirror + "/doc.txt", 0, EACCES});
    runner.Driver().SetFileSystem(&faults);

    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"doc.txt"})); // no temporary file left either
    EXPECT_EQ(ReadBytes(mirror + "/doc.txt"), "old text");
    EXPECT_TRUE(
        Logged("Failed to move file to the trash, it is kept (permission denied), path: " + mirror + "/doc.txt"));
    EXPECT_EQ(runner.Driver().Result().FailedCount, 1u);
    EXPECT_EQ(runner.Driver().Result().CopiedToMirrorCount, 0u);
    EXPECT_TRUE(Trashed().empty());
}

TEST_F(UndoTest, DeletePermanentlyDeletesAsBefore)
{
    task.Reserved[kReservedDeletions] = kReservedOff;
    WriteBytes(host + "/doc.txt", "new text", kT + 100);
    WriteBytes(mirror + "/doc.txt", "old text", kT);
    WriteBytes(mirror + "/gone.txt", "only in the mirror", kT);

    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"doc.txt"}));
    EXPECT_EQ(ReadBytes(mirror + "/doc.txt"), "new text");
    EXPECT_TRUE(Trashed().empty());
    EXPECT_FALSE(fs::exists(data + "/Trash"));
    EXPECT_EQ(runner.Driver().Result().DeletedMirrorCount, 1u);
    for (const std::string& line : log.Lines())
        EXPECT_EQ(line.find("trash"), std::string::npos) << line;
}

TEST_F(UndoTest, TrashFoldersAtARootAreNotSynchronised)
{
    WriteBytes(host + "/.Trash-1000/files/x", "in a mount's trash", kT);
    WriteBytes(host + "/.Trash/1000/files/y", "in the shared trash", kT);
    WriteBytes(host + "/.pelmora-trash/2024-01-01 000000/z", "in a run's trash", kT);
    WriteBytes(host + "/.Trash-x/w", "an ordinary folder", kT);
    WriteBytes(host + "/sub/.Trash-1000/v", "not at the root", kT);
    WriteBytes(mirror + "/.Trash-0/files/old", "the mirror's own trash", kT);

    ASSERT_TRUE(Run());

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{".Trash-0/", ".Trash-0/files/", ".Trash-0/files/old", ".Trash-x/",
                                                     ".Trash-x/w", "sub/", "sub/.Trash-1000/", "sub/.Trash-1000/v"}));
    EXPECT_EQ(runner.Driver().Result().CopiedToMirrorCount, 2u);
    EXPECT_EQ(runner.Driver().Result().DeletedMirrorCount, 0u);
}

TEST_F(UndoTest, AHomeTrashInsideASideIsNeitherCopiedNorTrashedAgain)
{
    // The mirror is the home folder: what a run trashes lands inside it.
    const std::string homeData = mirror + "/.local/share";
    ::setenv("XDG_DATA_HOME", homeData.c_str(), 1);
    WriteBytes(host + "/keep.txt", "kept", kT);
    WriteBytes(mirror + "/keep.txt", "kept", kT);
    WriteBytes(mirror + "/gone.txt", "only in the mirror", kT);

    ASSERT_TRUE(Run());
    ASSERT_TRUE(Run());

    EXPECT_EQ(runner.Driver().Result().DeletedMirrorCount, 0u);
    EXPECT_EQ(TreeOf(homeData + "/Trash/files"), (std::set<std::string>{"gone.txt"}));
    EXPECT_EQ(TreeOf(host), (std::set<std::string>{"keep.txt"}));
}

TEST_F(UndoTest, ADeletionOnAReadOnlyMountIsALoggedFailureAndKeepsTheFile)
{
    const std::string mnt = FreshDir("ro");
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "); needs root";
    WriteBytes(mnt + "/gone.txt", "only in the mirror", kT);
    WriteBytes(mnt + "/doc.txt", "old text", kT);
    WriteBytes(host + "/doc.txt", "new text", kT + 100);
    ASSERT_EQ(::mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    task.Reserved[kReservedGuard] = kReservedOff;

    const bool ran = Run(UnattendedRequest("Backup", host, mnt));
    ::umount2(mnt.c_str(), MNT_DETACH);

    ASSERT_TRUE(ran);
    EXPECT_TRUE(
        Logged("Failed to move file to the trash, it is kept (read-only file system), path: " + mnt + "/gone.txt"));
    EXPECT_EQ(runner.Driver().Result().FailedCount, 2u); // the delete, and the copy that could not replace
    EXPECT_EQ(runner.Driver().Result().DeletedMirrorCount, 0u);
    EXPECT_EQ(RunExitStatus(runner.Driver()), kExitRunFailed);
    EXPECT_TRUE(Trashed().empty());
}

// The guard's rule on a table: files on each side, the mirror files the plan deletes.
struct GuardCase
{
    const char* name;
    int hostFiles;    // files of the host, none of them on the mirror
    int mirrorOnly;   // mirror files the mirroring task deletes
    int mirrorPaired; // mirror files that have a host namesake (kept)
    bool held;
};

class GuardTable : public UndoTest, public ::testing::WithParamInterface<GuardCase>
{
};

TEST_P(GuardTable, HoldsAnUnattendedRunThatWouldDeleteMostOfASide)
{
    const GuardCase& c = GetParam();
    for (int i = 0; i < c.hostFiles; ++i)
        WriteBytes(host + "/h" + std::to_string(i), "host", kT);
    for (int i = 0; i < c.mirrorPaired; ++i) {
        WriteBytes(host + "/p" + std::to_string(i), "pair", kT);
        WriteBytes(mirror + "/p" + std::to_string(i), "pair", kT);
    }
    for (int i = 0; i < c.mirrorOnly; ++i)
        WriteBytes(mirror + "/m" + std::to_string(i), "mirror", kT);
    task.InMain = acIgnore; // only the deletions matter here

    ASSERT_TRUE(Run());

    const int total = c.mirrorOnly + c.mirrorPaired;
    const std::string line = "Task Backup not run: it would delete " + std::to_string(c.mirrorOnly) + " of " +
                             std::to_string(total) + " files in the mirror folder.";
    EXPECT_EQ(runner.Driver().Held(), c.held);
    EXPECT_EQ(Logged(line), c.held);
    if (c.held) {
        EXPECT_EQ(TreeOf(mirror).size(), static_cast<std::size_t>(total));
        EXPECT_EQ(RunExitStatus(runner.Driver()), kExitRefused);
        EXPECT_EQ(log.Lines().back(), std::string(kLogSeparator));
        EXPECT_EQ(log.Lines()[log.Lines().size() - 2], line);
    } else {
        EXPECT_EQ(TreeOf(mirror).size(), static_cast<std::size_t>(c.mirrorPaired));
        EXPECT_EQ(RunExitStatus(runner.Driver()), kExitDone);
    }
}

INSTANTIATE_TEST_SUITE_P(Plans, GuardTable,
                         ::testing::Values(GuardCase{"EmptyHostWholeMirror", 0, 1000, 0, true},
                                           GuardCase{"ElevenOfTwenty", 0, 11, 9, true},
                                           GuardCase{"NineOfTwenty", 0, 9, 11, false},
                                           GuardCase{"NineOfNineBesideHostFiles", 3, 9, 0, false},
                                           GuardCase{"NineOfNineOppositeNothing", 0, 9, 0, true},
                                           GuardCase{"TenOfTen", 3, 10, 0, true}),
                         [](const ::testing::TestParamInfo<GuardCase>& row) { return row.param.name; });

TEST_F(UndoTest, AnAttendedRunAsksWithNoAsTheDefaultAndOnlyYesDeletes)
{
    for (int i = 0; i < 12; ++i)
        WriteBytes(mirror + "/m" + std::to_string(i), "mirror", kT);
    RunRequest attended = UnattendedRequest("Backup", host, mirror);
    attended.AutoRun = false;

    // No answer given: the default, No.
    ASSERT_TRUE(Run(attended));
    ASSERT_EQ(runner.View().boxes.size(), 1u);
    EXPECT_EQ(runner.View().boxes[0].text, "This run would delete 12 of 12 files in the mirror folder. Continue?");
    EXPECT_EQ(runner.View().boxes[0].buttons, BoxButtons::YesNoDefaultNo);
    EXPECT_EQ(TreeOf(mirror).size(), 12u);
    EXPECT_TRUE(Logged("Task Backup not run: it would delete 12 of 12 files in the mirror folder."));
    EXPECT_EQ(runner.View().resultsShown, 0);

    runner.View().answers.push_back(BoxAnswer::Yes);
    ASSERT_TRUE(Run(attended));
    EXPECT_TRUE(TreeOf(mirror).empty());
    EXPECT_FALSE(runner.Driver().Held());
    EXPECT_EQ(Trashed().size(), 12u);
}

TEST_F(UndoTest, TheGuardSwitchedOffOrACopyAllRunIsNeverHeld)
{
    for (int i = 0; i < 12; ++i)
        WriteBytes(mirror + "/m" + std::to_string(i), "mirror", kT);
    WriteBytes(host + "/m0", "host copy", kT + 100);

    // Copy-all treats the mirror as empty: it copies and deletes nothing.
    RunRequest copyAll = UnattendedRequest("Backup", host, mirror);
    copyAll.CopyAll = true;
    ASSERT_TRUE(Run(copyAll));
    EXPECT_FALSE(runner.Driver().Held());
    EXPECT_EQ(TreeOf(mirror).size(), 12u);
    EXPECT_EQ(ReadBytes(mirror + "/m0"), "host copy");

    task.Reserved[kReservedGuard] = kReservedOff;
    ASSERT_TRUE(Run());
    EXPECT_FALSE(runner.Driver().Held());
    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"m0"}));
    EXPECT_EQ(RunExitStatus(runner.Driver()), kExitDone);
}

} // namespace
} // namespace pelmora
