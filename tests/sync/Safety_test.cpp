// Whole runs that try to make the engine lose data: folders and roots that cannot be listed,
// names that differ only in case, links where real folders are expected, a root inside the
// other side, copy-all and empty roots. Each test checks the bytes left on disk on both sides
// (and outside them) after the run.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "RunTest.h"
#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/SyncLog.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000;

class SafetyTest : public RunTest
{
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        runner.Driver().SetFileSystem(&faults);
    }

    RunRequest Request() const { return UnattendedRequest("Backup", host, mirror); }

    void Run() { ASSERT_TRUE(runner.Run(Request())); }

    bool Logged(const std::string& line) const { return RunTest::Logged(log, line); }

    SyncLog log;
    FaultFileSystem faults{LocalFileSystem()};
    HeadlessRunner runner{log};
};

TEST_F(SafetyTest, AHostFolderThatCannotBeListedKeepsItsMirrorCopies)
{
    WriteBytes(host + "/docs/letter.txt", "host letter", kT);
    WriteBytes(mirror + "/docs/letter.txt", "mirror letter", kT);
    WriteBytes(mirror + "/docs/deep/notes.txt", "notes", kT);
    WriteBytes(host + "/other.txt", "other", kT);
    WriteBytes(mirror + "/gone.txt", "only in mirror", kT);
    Mirroring();
    faults.FailListDir(host + "/docs/", EACCES);

    Run();

    // The folder's files are unknown on the host side, so nothing under it is "only in mirror".
    EXPECT_EQ(ReadBytes(mirror + "/docs/letter.txt"), "mirror letter");
    EXPECT_EQ(ReadBytes(mirror + "/docs/deep/notes.txt"), "notes");
    // The rest of the run goes ahead as planned.
    EXPECT_EQ(ReadBytes(mirror + "/other.txt"), "other");
    EXPECT_FALSE(fs::exists(mirror + "/gone.txt"));
    EXPECT_TRUE(Logged("Failed to read folder, path: " + host + "/docs"));
    EXPECT_TRUE(Logged("Delete file(s) in mirror folder: 1"));
}

TEST_F(SafetyTest, AnUnreadableHostRootDeletesNothingInTheMirror)
{
    WriteBytes(host + "/a.txt", "a", kT);
    WriteBytes(mirror + "/a.txt", "a", kT);
    WriteBytes(mirror + "/b/c.txt", "c", kT);
    Mirroring();
    task.EmptyDir = acHostToMirror;
    faults.FailListDir(host + "/", EIO);

    Run();

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"a.txt", "b/", "b/c.txt"}));
    EXPECT_TRUE(Logged("Failed to read folder, path: " + host));
}

TEST_F(SafetyTest, AMirrorFolderThatCannotBeListedIsNeitherOverwrittenNorMirroredBack)
{
    // The mirror holds a newer version that the listing cannot see.
    WriteBytes(host + "/work/report.txt", "old host report", kT);
    WriteBytes(mirror + "/work/report.txt", "newer mirror report", kT + 100);
    WriteBytes(host + "/plain.txt", "plain", kT);
    task.InMain = acHostToMirror;
    faults.FailListDir(mirror + "/work/", EACCES);

    Run();
    EXPECT_EQ(ReadBytes(mirror + "/work/report.txt"), "newer mirror report");
    EXPECT_EQ(ReadBytes(mirror + "/plain.txt"), "plain");
    EXPECT_TRUE(Logged("Failed to read folder, path: " + mirror + "/work"));

    // "Only in host: delete" must not take the host file either.
    SyncLog again;
    HeadlessRunner second(again);
    second.Driver().SetFileSystem(&faults);
    task.InMain = acDelete;
    ASSERT_TRUE(second.Run(Request()));
    EXPECT_EQ(ReadBytes(host + "/work/report.txt"), "old host report");
}

TEST_F(SafetyTest, NamesThatDifferOnlyInCasePairWithTheirExactNamesake)
{
    // The host file is newer than its exact namesake; a second mirror file folds alike.
    WriteBytes(host + "/Photo.jpg", "host new!", kT);
    WriteBytes(mirror + "/Photo.jpg", "mirror old", kT - 100);
    WriteBytes(mirror + "/PHOTO.JPG", "other one", kT);
    task.InMirror = acMirrorToHost;
    task.SizeDiffer = acMirrorToHost;
    task.NewInMirror = acMirrorToHost;

    Run();

    // Newer in the host with "newer in host: ignore": the host file stays; the other mirror
    // file is only in the mirror and comes over under its own name.
    EXPECT_EQ(ReadBytes(host + "/Photo.jpg"), "host new!");
    EXPECT_EQ(ReadBytes(host + "/PHOTO.JPG"), "other one");
    EXPECT_EQ(ReadBytes(mirror + "/Photo.jpg"), "mirror old");

    // Mirroring keeps the exact namesake in the mirror and removes the other name.
    fs::remove(host + "/PHOTO.JPG");
    SyncLog again;
    HeadlessRunner second(again);
    Mirroring();
    ASSERT_TRUE(second.Run(Request()));
    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{"Photo.jpg"});
    EXPECT_EQ(ReadBytes(mirror + "/Photo.jpg"), "host new!");
}

TEST_F(SafetyTest, TwoHostNamesThatFoldAlikeDoNotShareOneMirrorFile)
{
    WriteBytes(host + "/a.txt", "lower", kT);
    WriteBytes(host + "/A.txt", "upper", kT - 100);
    WriteBytes(mirror + "/a.txt", "lower", kT);
    Mirroring();
    task.NewInMirror = acMirrorToHost;

    Run();

    // "A.txt" is only in the host: copied, not compared with "a.txt" (which is newer and
    // would have been copied over it).
    EXPECT_EQ(ReadBytes(host + "/A.txt"), "upper");
    EXPECT_EQ(ReadBytes(mirror + "/A.txt"), "upper");
    EXPECT_EQ(ReadBytes(mirror + "/a.txt"), "lower");
    EXPECT_TRUE(Logged("Failed to synchronize: 0"));
}

TEST_F(SafetyTest, LinksToFoldersAreNeitherWrittenThroughNorMirroredAway)
{
    const std::string outside = FreshDir("outside");
    WriteBytes(outside + "/a.txt", "outside data", kT - 100);
    WriteBytes(host + "/shared/a.txt", "host data", kT);
    WriteBytes(host + "/shared/sub/b.txt", "host b", kT);
    fs::create_directory_symlink(outside, mirror + "/shared");
    // And the other way round: a link on the host side, a real folder in the mirror.
    fs::create_directory_symlink(outside, host + "/linked");
    WriteBytes(mirror + "/linked/kept.txt", "mirror copy", kT);
    fs::create_directories(mirror + "/linked/empty");
    fs::create_directories(host + "/shared/new");
    WriteBytes(host + "/top.txt", "top", kT);
    // A dangling link (to a drive that is not plugged in) is not known to hold nothing: the
    // host's file of that name does not replace it.
    WriteBytes(host + "/report.txt", "report", kT);
    fs::create_symlink(outside + "/nowhere", mirror + "/report.txt");
    Mirroring();
    task.EmptyDir = acHostToMirror;

    Run();

    EXPECT_EQ(ReadBytes(outside + "/a.txt"), "outside data");
    EXPECT_FALSE(fs::exists(outside + "/sub"));
    EXPECT_TRUE(fs::is_symlink(mirror + "/shared"));
    EXPECT_EQ(ReadBytes(mirror + "/linked/kept.txt"), "mirror copy");
    EXPECT_TRUE(fs::is_directory(mirror + "/linked/empty"));
    EXPECT_EQ(ReadBytes(mirror + "/top.txt"), "top");
    EXPECT_TRUE(fs::is_symlink(mirror + "/report.txt"));
    EXPECT_EQ(ReadBytes(host + "/report.txt"), "report");
    EXPECT_EQ(TreeOf(outside), std::set<std::string>{"a.txt"});
    // Each link that kept the other side's namesake from being synchronised is a failure.
    EXPECT_TRUE(Logged("Not a file or folder, its namesake is left alone, path: " + mirror + "/shared"));
    EXPECT_TRUE(Logged("Not a file or folder, its namesake is left alone, path: " + mirror + "/report.txt"));
    EXPECT_TRUE(Logged("Not a file or folder, its namesake is left alone, path: " + host + "/linked"));
    EXPECT_TRUE(Logged("Failed to synchronize: 3"));
}

TEST_F(SafetyTest, ACopyOfEverythingNeverWritesThroughALinkedFolder)
{
    // Copy-all does not list the mirror, so only the copy itself can notice the link.
    const std::string outside = FreshDir("outside");
    WriteBytes(outside + "/a.txt", "outside data", kT);
    WriteBytes(host + "/shared/a.txt", "host data", kT);
    WriteBytes(host + "/top.txt", "top", kT);
    fs::create_directories(host + "/shared/empty");
    fs::create_directory_symlink(outside, mirror + "/shared");
    task.InMain = acHostToMirror;
    task.EmptyDir = acHostToMirror;
    RunRequest request = Request();
    request.CopyAll = true;

    ASSERT_TRUE(runner.Run(request));

    EXPECT_EQ(TreeOf(outside), std::set<std::string>{"a.txt"});
    EXPECT_EQ(ReadBytes(outside + "/a.txt"), "outside data");
    EXPECT_EQ(ReadBytes(mirror + "/top.txt"), "top");
    EXPECT_TRUE(Logged("Failed to create target file, path: " + mirror + "/shared/a.txt"));
    EXPECT_TRUE(Logged("Failed to synchronize: 1"));

    // A task whose host-only files are deleted: copy-all never saw the mirror, so it deletes
    // nothing.
    task.InMain = acDelete;
    SyncLog again;
    HeadlessRunner second(again);
    ASSERT_TRUE(second.Run(request));
    EXPECT_EQ(ReadBytes(host + "/top.txt"), "top");
    EXPECT_EQ(ReadBytes(host + "/shared/a.txt"), "host data");
}

TEST_F(SafetyTest, RootsReachedThroughLinksAreSynchronised)
{
    // Users pick roots through links (a home folder on another disk); the link is their choice.
    const std::string realHost = FreshDir("real-host");
    const std::string realMirror = FreshDir("real-mirror");
    WriteBytes(realHost + "/a.txt", "a", kT);
    WriteBytes(realHost + "/sub/b.txt", "b", kT);
    WriteBytes(realMirror + "/old.txt", "old", kT);
    fs::remove(host);
    fs::remove(mirror);
    fs::create_directory_symlink(realHost, host);
    fs::create_directory_symlink(realMirror, mirror);
    Mirroring();

    Run();

    EXPECT_EQ(TreeOf(realMirror), (std::set<std::string>{"a.txt", "sub/", "sub/b.txt"}));
    EXPECT_EQ(ReadBytes(realMirror + "/sub/b.txt"), "b");
    EXPECT_TRUE(Logged("Task finish!"));
}

TEST_F(SafetyTest, ARootInsideTheOtherSideIsNotListedAsThatSidesFiles)
{
    // The host is a folder inside the mirror: its files are not "only in the mirror".
    const std::string outer = FreshDir("outer");
    WriteBytes(outer + "/inner/photo.jpg", "photo", kT);
    WriteBytes(outer + "/inner/sub/notes.txt", "notes", kT);
    WriteBytes(outer + "/stale.txt", "stale", kT);
    Mirroring();
    task.EmptyDir = acHostToMirror;
    RunRequest request = Request();
    request.HostDir = outer + "/inner";
    request.MirrorDir = outer;

    ASSERT_TRUE(runner.Run(request));
    EXPECT_EQ(ReadBytes(outer + "/inner/photo.jpg"), "photo");
    EXPECT_EQ(ReadBytes(outer + "/inner/sub/notes.txt"), "notes");
    EXPECT_EQ(ReadBytes(outer + "/photo.jpg"), "photo");
    EXPECT_FALSE(fs::exists(outer + "/stale.txt"));

    // The mirror inside the host, with "only in host: delete": the mirror's own files are not
    // host files to delete, nor to copy into the mirror again.
    WriteBytes(host + "/keep.txt", "keep", kT);
    WriteBytes(host + "/backup/keep.txt", "keep", kT);
    WriteBytes(host + "/backup/older.txt", "older", kT);
    task.InMain = acDelete;
    task.InMirror = acIgnore;
    request.HostDir = host;
    request.MirrorDir = host + "/backup";
    SyncLog again;
    HeadlessRunner second(again);
    ASSERT_TRUE(second.Run(request));
    EXPECT_EQ(ReadBytes(host + "/backup/keep.txt"), "keep");
    EXPECT_EQ(ReadBytes(host + "/backup/older.txt"), "older");
    EXPECT_EQ(ReadBytes(host + "/keep.txt"), "keep");
    EXPECT_FALSE(fs::exists(host + "/backup/backup"));
}

TEST_F(SafetyTest, ARunWithAnEmptyRootIsNotStarted)
{
    // A folder text that expands to nothing must not turn "/a.txt" into a path below "/".
    WriteBytes(host + "/a.txt", "a", kT);
    Mirroring();
    faults.AddFault({FsCall::CreateNew, "", 0, EACCES}); // should it start anyway: write nothing
    faults.AddFault({FsCall::MakeDir, "", 0, EACCES});
    RunRequest request = Request();
    request.MirrorDir.clear();
    EXPECT_FALSE(runner.Run(request));
    request = Request();
    request.HostDir.clear();
    EXPECT_FALSE(runner.Run(request));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(faults.Calls(FsCall::CreateNew), 0);
}

TEST_F(SafetyTest, AMirrorRootThatIsGoneOrCannotBeLookedAtDeletesNoHostFile)
{
    WriteBytes(host + "/a.txt", "a", kT);
    WriteBytes(host + "/sub/b.txt", "b", kT);
    WriteBytes(mirror + "/a.txt", "a", kT);
    task.InMain = acDelete;
    task.InMirror = acMirrorToHost;

    // The mirror root cannot be looked at (a network share that stopped answering).
    faults.AddFault({FsCall::Stat, mirror + "/", 0, EIO});
    Run();
    EXPECT_EQ(TreeOf(host), (std::set<std::string>{"a.txt", "sub/", "sub/b.txt"}));
    EXPECT_TRUE(Logged("Failed to read folder, path: " + mirror));

    // The mirror root is gone since the run was started (a drive unplugged).
    faults.ClearFaults();
    fs::remove_all(mirror);
    SyncLog again;
    HeadlessRunner second(again);
    ASSERT_TRUE(second.Run(Request()));
    EXPECT_EQ(TreeOf(host), (std::set<std::string>{"a.txt", "sub/", "sub/b.txt"}));
}

} // namespace
} // namespace pelmora
