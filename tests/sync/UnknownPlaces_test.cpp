// Whole runs on trees where something cannot be known or changes under the run: roots that
// nest under another spelling, entries whose type cannot be read, links and special files
// opposite real files, a folder swapped for a link while the run writes, and paths longer
// than the system's limit. Each test checks the files left on disk and the result log.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "RunTest.h"
#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "platform/PosixFileSystem.h"
#include "sync/SyncLog.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000;

class UnknownPlacesTest : public RunTest
{
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        Mirroring();
    }

    // One run on the program's own file system, or on `fs` when given; returns its log.
    SyncLog RunOnce(const std::string& hostDir, const std::string& mirrorDir, FileSystem* fs = nullptr)
    {
        SyncLog log;
        HeadlessRunner runner(log);
        runner.Driver().SetFileSystem(fs);
        EXPECT_TRUE(runner.Run(UnattendedRequest("Backup", hostDir, mirrorDir)));
        return log;
    }
};

// Spellings of a folder that the file system takes as the same one.
enum class Spelling {
    Link,
    DotSegment,
    DoubleSeparator,
    UpAndBack,
    TrailingSeparator,
};

class NestedRootTest : public UnknownPlacesTest, public ::testing::WithParamInterface<Spelling>
{
protected:
    // `parent` + "/" + `name`, spelled the test's way.
    std::string Spell(const std::string& parent, const std::string& name)
    {
        switch (GetParam()) {
        case Spelling::Link: {
            const std::string link = FreshDir("links") + "/to-" + name;
            fs::create_directory_symlink(parent + "/" + name, link);
            return link;
        }
        case Spelling::DotSegment:
            return parent + "/./" + name;
        case Spelling::DoubleSeparator:
            return parent + "//" + name;
        case Spelling::UpAndBack:
            fs::create_directories(parent + "/x");
            return parent + "/x/../" + name;
        case Spelling::TrailingSeparator:
            return parent + "/" + name + "/"; // what is left of "name//" once one separator is cut
        }
        return {};
    }
};

TEST_P(NestedRootTest, AHostInsideTheMirrorKeepsItsFilesOverTwoRuns)
{
    WriteBytes(mirror + "/h/photo.jpg", "photo", kT);
    WriteBytes(mirror + "/h/sub/notes.txt", "notes", kT);
    WriteBytes(mirror + "/stale.txt", "stale", kT);
    const std::string hostDir = Spell(mirror, "h");

    const SyncLog first = RunOnce(hostDir, mirror);
    const SyncLog second = RunOnce(hostDir, mirror);

    EXPECT_EQ(ReadBytes(mirror + "/h/photo.jpg"), "photo");
    EXPECT_EQ(ReadBytes(mirror + "/h/sub/notes.txt"), "notes");
    EXPECT_EQ(ReadBytes(mirror + "/photo.jpg"), "photo");
    EXPECT_EQ(ReadBytes(mirror + "/sub/notes.txt"), "notes");
    EXPECT_FALSE(fs::exists(mirror + "/stale.txt"));
    EXPECT_TRUE(Logged(first, "Delete file(s) in mirror folder: 1"));
    EXPECT_TRUE(Logged(second, "No file need to be synchronized!"));
}

TEST_P(NestedRootTest, AMirrorInsideTheHostIsNotCopiedIntoItself)
{
    WriteBytes(host + "/keep.txt", "keep", kT);
    WriteBytes(host + "/m/old.txt", "old", kT);
    task.EmptyDir = acHostToMirror;
    const std::string mirrorDir = Spell(host, "m");

    RunOnce(host, mirrorDir);
    const SyncLog second = RunOnce(host, mirrorDir);

    std::set<std::string> expected{"keep.txt"};
    if (GetParam() == Spelling::UpAndBack)
        expected.insert("x/"); // the empty folder that spelling needs is the host's too
    EXPECT_EQ(TreeOf(host + "/m"), expected);
    EXPECT_EQ(ReadBytes(host + "/keep.txt"), "keep");
    EXPECT_TRUE(Logged(second, "No file need to be synchronized!"));
}

INSTANTIATE_TEST_SUITE_P(Spellings, NestedRootTest,
                         ::testing::Values(Spelling::Link, Spelling::DotSegment, Spelling::DoubleSeparator,
                                           Spelling::UpAndBack, Spelling::TrailingSeparator),
                         [](const auto& row) {
                             switch (row.param) {
                             case Spelling::Link:
                                 return "Link";
                             case Spelling::DotSegment:
                                 return "DotSegment";
                             case Spelling::DoubleSeparator:
                                 return "DoubleSeparator";
                             case Spelling::UpAndBack:
                                 return "UpAndBack";
                             case Spelling::TrailingSeparator:
                                 break;
                             }
                             return "TrailingSeparator";
                         });

TEST_F(UnknownPlacesTest, AnEntryWhoseTypeCannotBeReadIsNeitherDeletedOverwrittenNorCopiedBack)
{
    WriteBytes(host + "/docs/letter.txt", "host letter", kT);
    WriteBytes(mirror + "/docs/letter.txt", "older mirror letter", kT - 100);
    WriteBytes(host + "/docs/plain.txt", "plain", kT);
    WriteBytes(mirror + "/report.txt", "mirror report", kT);
    WriteBytes(host + "/report.txt", "newer host report", kT + 100);
    FaultFileSystem faults{LocalFileSystem()};
    // fstatat fails on one host entry (EIO) and on one mirror entry (a stale network handle).
    faults.AddFault({FsCall::ListEntry, host + "/docs/letter.txt", 0, EIO});
    faults.AddFault({FsCall::ListEntry, mirror + "/report.txt", 0, ESTALE});

    const SyncLog log = RunOnce(host, mirror, &faults);
    EXPECT_EQ(ReadBytes(mirror + "/docs/letter.txt"), "older mirror letter");
    EXPECT_EQ(ReadBytes(mirror + "/report.txt"), "mirror report");
    EXPECT_EQ(ReadBytes(mirror + "/docs/plain.txt"), "plain");
    EXPECT_TRUE(Logged(log, "Failed to read file information, path: " + host + "/docs/letter.txt"));
    EXPECT_TRUE(Logged(log, "Failed to read file information, path: " + mirror + "/report.txt"));
    EXPECT_TRUE(Logged(log, "Failed to synchronize: 2"));
    EXPECT_TRUE(Logged(log, "Host folder -> Mirror folder: 1 files"));

    // Copying the mirror's files back to the host must not take the host's unread file either.
    task.InMirror = acMirrorToHost;
    task.NewInMirror = acMirrorToHost;
    RunOnce(host, mirror, &faults);
    EXPECT_EQ(ReadBytes(host + "/docs/letter.txt"), "host letter");
    EXPECT_EQ(ReadBytes(host + "/report.txt"), "newer host report");
}

TEST_F(UnknownPlacesTest, AFolderThatCanBeReadButNotSearchedIsOneFailedPlace)
{
    // Mode 0644 on a folder: its names can be read, none of its entries can be looked at.
    WriteBytes(host + "/locked/a.txt", "a", kT);
    WriteBytes(host + "/locked/b.txt", "b", kT);
    WriteBytes(mirror + "/locked/a.txt", "a", kT);
    WriteBytes(mirror + "/locked/c.txt", "mirror only", kT);
    WriteBytes(mirror + "/locked/deep/d.txt", "deep", kT);
    task.EmptyDir = acDelete;
    FaultFileSystem faults{LocalFileSystem()};
    faults.AddFault({FsCall::ListEntry, host + "/locked/a.txt", 0, EACCES});
    faults.AddFault({FsCall::ListEntry, host + "/locked/b.txt", 0, EACCES});

    const SyncLog log = RunOnce(host, mirror, &faults);
    EXPECT_EQ(TreeOf(mirror),
              (std::set<std::string>{"locked/", "locked/a.txt", "locked/c.txt", "locked/deep/", "locked/deep/d.txt"}));
    EXPECT_TRUE(Logged(log, "Failed to read folder, path: " + host + "/locked"));
    EXPECT_EQ(std::count_if(log.Lines().begin(), log.Lines().end(),
                            [](const std::string& line) { return line.rfind("Failed to read", 0) == 0; }),
              1);
    // Nothing else differs, yet the run reports the place it skipped rather than "nothing to do".
    EXPECT_TRUE(Logged(log, "Task finish!"));
    EXPECT_TRUE(Logged(log, "Failed to synchronize: 1"));
    EXPECT_FALSE(Logged(log, "No file need to be synchronized!"));
}

TEST_F(UnknownPlacesTest, DanglingLinksAndSpecialFilesKeepTheOtherSidesNamesakes)
{
    const std::string unplugged = FreshDir("unplugged") + "/drive";
    // The host's "photos" is a link to a drive that is not plugged in; the mirror holds the
    // real photos. A FIFO and a socket-like special file stand opposite real files.
    fs::create_directory_symlink(unplugged, host + "/photos");
    WriteBytes(mirror + "/photos/2024/beach.jpg", "beach", kT);
    ASSERT_EQ(::mkfifo((host + "/notes.txt").c_str(), 0644), 0);
    WriteBytes(mirror + "/notes.txt", "mirror notes", kT);
    ASSERT_EQ(::mkfifo((mirror + "/queue").c_str(), 0644), 0);
    WriteBytes(host + "/queue", "host file named like the mirror's FIFO", kT);
    // A FIFO with nothing opposite changes nothing and is no failure.
    ASSERT_EQ(::mkfifo((host + "/lonely").c_str(), 0644), 0);
    WriteBytes(host + "/new.txt", "new", kT);

    const SyncLog log = RunOnce(host, mirror);
    EXPECT_EQ(ReadBytes(mirror + "/photos/2024/beach.jpg"), "beach");
    EXPECT_EQ(ReadBytes(mirror + "/notes.txt"), "mirror notes");
    EXPECT_TRUE(fs::is_fifo(mirror + "/queue"));
    EXPECT_TRUE(fs::is_fifo(host + "/notes.txt"));
    EXPECT_EQ(ReadBytes(mirror + "/new.txt"), "new");
    EXPECT_FALSE(fs::exists(fs::symlink_status(mirror + "/lonely")));
    const std::string line = "Not a file or folder, its namesake is left alone, path: ";
    EXPECT_TRUE(Logged(log, line + host + "/photos"));
    EXPECT_TRUE(Logged(log, line + host + "/notes.txt"));
    EXPECT_TRUE(Logged(log, line + mirror + "/queue"));
    EXPECT_FALSE(Logged(log, line + host + "/lonely"));
    EXPECT_TRUE(Logged(log, "Failed to synchronize: 3"));

    // With the drive back, the link is still a link: the scanner does not follow it, and the
    // mirror's photos stay.
    fs::create_directories(unplugged);
    RunOnce(host, mirror);
    EXPECT_EQ(ReadBytes(mirror + "/photos/2024/beach.jpg"), "beach");
}

TEST_F(UnknownPlacesTest, PlacesThatCouldNotBeReadCountAgainstTheErrorLimit)
{
    WriteBytes(host + "/new.txt", "new", kT);
    WriteBytes(host + "/docs/a.txt", "a", kT);
    task.MaxErr = 1;
    FaultFileSystem faults{LocalFileSystem()};
    faults.FailListDir(host + "/docs/", EIO);

    const SyncLog log = RunOnce(host, mirror, &faults);
    EXPECT_FALSE(fs::exists(mirror + "/new.txt"));
    EXPECT_TRUE(Logged(log, "Too many errors, task stopped!"));
    EXPECT_TRUE(Logged(log, "Failed to synchronize: 1"));
}

TEST_F(UnknownPlacesTest, AHostRootThatCannotBeLookedAtEndsTheRunAsAFailure)
{
    // A network mount whose handle went stale: the root is neither missing nor readable.
    WriteBytes(mirror + "/a.txt", "a", kT);
    FaultFileSystem faults{LocalFileSystem()};
    faults.AddFault({FsCall::Stat, host + "/", 0, ESTALE});

    const SyncLog log = RunOnce(host, mirror, &faults);
    EXPECT_EQ(ReadBytes(mirror + "/a.txt"), "a");
    EXPECT_TRUE(Logged(log, "Failed to read folder, path: " + host));
    EXPECT_TRUE(Logged(log, "User break the task!"));
    EXPECT_TRUE(Logged(log, "Failed to synchronize: 1"));
}

TEST_F(UnknownPlacesTest, AFolderSwappedForALinkDuringTheRunGetsNoWriteOutsideTheRoot)
{
    const std::string outside = FreshDir("outside");
    WriteBytes(outside + "/old.txt", "outside file named like a mirror file", kT);
    WriteBytes(host + "/sub/a.txt", "a", kT);
    WriteBytes(host + "/sub/b.txt", "b", kT);
    WriteBytes(mirror + "/sub/old.txt", "only in mirror", kT);
    WriteBytes(host + "/top.txt", "top", kT);
    RootedFileSystem rooted({host, mirror});
    FaultFileSystem hooks{rooted};
    // Another program moves the mirror's folder aside and puts a link to a folder outside in
    // its place, after the run has checked the folder and before it writes into it.
    bool swapped = false;
    hooks.BeforeCall = [&](FsCall call, const std::string& path) {
        if (!swapped && call == FsCall::CreateNew && path.rfind(mirror + "/sub/", 0) == 0) {
            fs::rename(mirror + "/sub", mirror + "/moved");
            fs::create_directory_symlink(outside, mirror + "/sub");
            swapped = true;
        }
    };

    const SyncLog log = RunOnce(host, mirror, &hooks);
    ASSERT_TRUE(swapped);
    EXPECT_EQ(TreeOf(outside), std::set<std::string>{"old.txt"});
    EXPECT_EQ(ReadBytes(outside + "/old.txt"), "outside file named like a mirror file");
    EXPECT_EQ(ReadBytes(mirror + "/moved/old.txt"), "only in mirror");
    EXPECT_EQ(ReadBytes(mirror + "/top.txt"), "top");
    EXPECT_TRUE(Logged(log, "Failed to create target file, path: " + mirror + "/sub/a.txt"));
    EXPECT_TRUE(Logged(log, "Failed to create target file, path: " + mirror + "/sub/b.txt"));
    EXPECT_TRUE(Logged(log, "Failed to delete file, path: " + mirror + "/sub/old.txt"));
    EXPECT_TRUE(Logged(log, "Failed to synchronize: 3"));
}

TEST_F(UnknownPlacesTest, MirrorPathsLongerThanTheSystemLimitAreCopiedOnceAndThenInStep)
{
    // A mirror root deep enough that the mirror's paths pass PATH_MAX while the host's do not.
    std::string deepMirror = mirror;
    while (deepMirror.size() < PATH_MAX - 600)
        deepMirror += "/" + std::string(100, 'm');
    fs::create_directories(deepMirror);
    std::string rel;
    for (int i = 0; i < 6; ++i)
        rel += "/" + std::string(120, 'h');
    WriteBytes(host + rel + "/deep.txt", "deep", kT);
    WriteBytes(host + "/top.txt", "top", kT);
    task.EmptyDir = acHostToMirror;

    const SyncLog first = RunOnce(host, deepMirror);
    const SyncLog second = RunOnce(host, deepMirror);
    EXPECT_TRUE(Logged(first, "Host folder -> Mirror folder: 2 files"));
    EXPECT_TRUE(Logged(first, "Failed to synchronize: 0"));
    EXPECT_TRUE(Logged(second, "No file need to be synchronized!")) << second.Text();
    // The standard library cannot walk such a tree; find and rm can.
    EXPECT_EQ(std::system(("find '" + mirror + "' -name deep.txt | grep -q .").c_str()), 0);
    EXPECT_EQ(std::system(("rm -rf '" + mirror + "'").c_str()), 0);
}

} // namespace
} // namespace pelmora
