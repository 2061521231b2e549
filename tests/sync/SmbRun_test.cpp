#include "SmbRunFixture.h"

#include "core/SyncTask.h"
#include "platform/NetConnection.h"
#include "platform/NetPath.h"
#include "platform/PartialFiles.h"
#include "platform/SmbFileSystem.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora {
namespace {

namespace fsys = std::filesystem;
using test::MTimeOf;
using test::Pattern;
using test::ReadBytes;
using test::TreeOf;
using test::WriteBytes;

// An even second, as a packed DOS time keeps it: 2023-06-15 12:00:00 UTC and later.
constexpr std::time_t kOld = 1686830400;
constexpr std::time_t kNew = kOld + 86400;

class SmbRun : public test::SmbRunTest
{
protected:
    SmbRun() : SmbRunTest("smbrun") {}
};

TEST_F(SmbRun, LocalHostToMirrorOnTheShare)
{
    const std::string host = local + "/host";
    const std::string odd = "Grüße 50% #1 ünï.txt";
    WriteBytes(host + "/new.txt", "brand new", kNew);
    WriteBytes(host + "/changed.txt", "the newer text", kNew);
    WriteBytes(host + "/deep/er/" + odd, "odd name", kNew);
    const std::string big = Pattern(3 * 1024 * 1024 + 5, 7);
    WriteBytes(host + "/deep/big.bin", big, kOld);

    const std::string mirrorDisk = server->DataDir() + "/backup/today";
    ASSERT_TRUE(server->MakeDiskDir(mirrorDisk));
    ASSERT_TRUE(server->WriteDiskFile(mirrorDisk + "/changed.txt", "old"));
    ASSERT_TRUE(server->WriteDiskFile(mirrorDisk + "/stale.txt", "only on the mirror"));
    struct timeval times[2] = {{kOld, 0}, {kOld, 0}};
    ASSERT_EQ(::utimes((mirrorDisk + "/changed.txt").c_str(), times), 0);

    task.InMain = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.InMirror = acDelete;

    const std::string mirror = server->DataRoot() + "/backup/today";
    TNetConnection con;
    Connect(con, mirror);
    // Read-only on the share: a delete over SMB fails unless the flag is cleared first.
    ASSERT_EQ(FileSystemFor(mirror).SetMode(mirror + "/stale.txt", 0444), 0);
    const RunDriver& run = Run(host, mirror);
    EXPECT_EQ(run.Result().FailedCount, 0u);
    EXPECT_EQ(run.Result().CopiedToMirrorCount, 4u);
    EXPECT_EQ(run.Result().DeletedMirrorCount, 1u);
    // The deleted and the replaced file wait in the run's folder of the share's trash.
    std::set<std::string> trash = TreeOf(mirrorDisk + "/.pelmora-trash");
    ASSERT_EQ(trash.size(), 3u);
    const std::string runFolder = *trash.begin();
    EXPECT_EQ(trash, (std::set<std::string>{runFolder, runFolder + "changed.txt", runFolder + "stale.txt"}));
    EXPECT_EQ(ReadBytes(mirrorDisk + "/.pelmora-trash/" + runFolder + "stale.txt"), "only on the mirror");
    EXPECT_EQ(ReadBytes(mirrorDisk + "/.pelmora-trash/" + runFolder + "changed.txt"), "old");
    EXPECT_EQ(TreeOf(mirrorDisk),
              (std::set<std::string>{".pelmora-trash/", ".pelmora-trash/" + runFolder,
                                     ".pelmora-trash/" + runFolder + "changed.txt",
                                     ".pelmora-trash/" + runFolder + "stale.txt", "changed.txt", "deep/",
                                     "deep/big.bin", "deep/er/", "deep/er/" + odd, "new.txt"}));
    EXPECT_EQ(ReadBytes(mirrorDisk + "/new.txt"), "brand new");
    EXPECT_EQ(ReadBytes(mirrorDisk + "/changed.txt"), "the newer text");
    EXPECT_EQ(ReadBytes(mirrorDisk + "/deep/er/" + odd), "odd name");
    EXPECT_TRUE(ReadBytes(mirrorDisk + "/deep/big.bin") == big) << "big.bin differs";
    EXPECT_EQ(MTimeOf(mirrorDisk + "/changed.txt"), kNew);
    EXPECT_EQ(MTimeOf(mirrorDisk + "/deep/big.bin"), kOld);

    // A second run finds both sides equal and touches nothing.
    const RunDriver& again = Run(host, mirror);
    EXPECT_EQ(again.Result().CopiedToMirrorCount, 0u);
    EXPECT_EQ(again.Result().DeletedMirrorCount, 0u);
    EXPECT_EQ(again.Result().FailedCount, 0u);
    con.Disconnect(true);
}

// Leftovers on a share of copies whose process is gone: cleared over SMB like local ones, a
// read-only one too; a file set aside while being replaced goes back to its own name.
TEST_F(SmbRun, LeftoversOfCopiesThatDiedAreClearedOnTheShare)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    const PartialWriter self = ThisWriter();
    const std::string dead = PartialFileName({self.machine, self.boot, child}, 1);
    const std::string deadAside = PartialFileName({self.machine, self.boot, child}, 2) + "-old-letter.txt";
    const std::string live = PartialFileName(self, 3);
    const std::string foreign = PartialFileName({self.machine ^ 1, self.boot, child}, 4);

    const std::string host = local + "/host";
    WriteBytes(host + "/a.txt", "alpha", kNew);
    const std::string mirrorDisk = server->DataDir() + "/backup/left";
    ASSERT_TRUE(server->MakeDiskDir(mirrorDisk + "/old"));
    ASSERT_TRUE(server->WriteDiskFile(mirrorDisk + "/old/" + dead, "half a copy"));
    ASSERT_TRUE(server->WriteDiskFile(mirrorDisk + "/" + deadAside, "the old letter"));
    ASSERT_TRUE(server->WriteDiskFile(mirrorDisk + "/" + live, "being written"));
    ASSERT_TRUE(server->WriteDiskFile(mirrorDisk + "/" + foreign, "another computer's"));

    task.InMain = acHostToMirror;
    task.EmptyDir = acDelete;
    const std::string mirror = server->DataRoot() + "/backup/left";
    TNetConnection con;
    Connect(con, mirror);
    ASSERT_EQ(FileSystemFor(mirror).SetMode(mirror + "/old/" + dead, 0444), 0);
    const RunDriver& run = Run(host, mirror);
    con.Disconnect(true);

    EXPECT_EQ(run.Result().FailedCount, 0u);
    EXPECT_EQ(run.Result().CopiedToMirrorCount, 1u);
    EXPECT_EQ(TreeOf(mirrorDisk), (std::set<std::string>{"a.txt", "letter.txt", live, foreign}));
    EXPECT_EQ(ReadBytes(mirrorDisk + "/letter.txt"), "the old letter");
    EXPECT_EQ(ReadBytes(mirrorDisk + "/" + live), "being written");
}

TEST_F(SmbRun, HostOnAGuestShareWithoutCredentials)
{
    const std::string hostDisk = server->PublicDir() + "/docs";
    ASSERT_TRUE(server->MakeDiskDir(hostDisk + "/sub"));
    ASSERT_TRUE(server->MakeDiskDir(hostDisk + "/empty/inner"));
    ASSERT_TRUE(server->WriteDiskFile(hostDisk + "/sub/report.txt", "from the share"));
    ASSERT_TRUE(server->WriteDiskFile(hostDisk + "/gone.txt", "only on the host"));
    struct timeval times[2] = {{kNew, 0}, {kNew, 0}};
    ASSERT_EQ(::utimes((hostDisk + "/sub/report.txt").c_str(), times), 0);
    const std::string mirror = local + "/mirror";
    WriteBytes(mirror + "/sub/report.txt", "older local copy", kOld);
    WriteBytes(mirror + "/local-only.txt", "goes to the share", kOld);

    task.InMain = acDelete;
    task.InMirror = acMirrorToHost;
    task.NewInMain = acHostToMirror;
    task.EmptyDir = acDelete;

    // No connection made: the folder is reached anonymously, as a guest.
    const RunDriver& run = Run(server->PublicRoot() + "/docs", mirror);
    EXPECT_EQ(run.Result().FailedCount, 0u);
    EXPECT_EQ(run.Result().CopiedToMirrorCount, 1u);
    EXPECT_EQ(run.Result().CopiedToHostCount, 1u);
    EXPECT_EQ(run.Result().DeletedHostCount, 1u);
    EXPECT_EQ(ReadBytes(mirror + "/sub/report.txt"), "from the share");
    EXPECT_EQ(MTimeOf(mirror + "/sub/report.txt"), kNew);
    EXPECT_EQ(ReadBytes(hostDisk + "/local-only.txt"), "goes to the share");
    EXPECT_EQ(MTimeOf(hostDisk + "/local-only.txt"), kOld);
    // The nested empty folders on the share go deepest first; the deleted file waits in the
    // share's trash, which the empty-folder step leaves alone.
    const std::set<std::string> trash = TreeOf(hostDisk + "/.pelmora-trash");
    ASSERT_EQ(trash.size(), 2u);
    const std::string runFolder = ".pelmora-trash/" + *trash.begin();
    EXPECT_EQ(ReadBytes(hostDisk + "/" + runFolder + "gone.txt"), "only on the host");
    EXPECT_EQ(TreeOf(hostDisk), (std::set<std::string>{".pelmora-trash/", runFolder, runFolder + "gone.txt",
                                                       "local-only.txt", "sub/", "sub/report.txt"}));
}

TEST_F(SmbRun, BothSidesOnTheShare)
{
    const std::string hostDisk = server->DataDir() + "/host";
    const std::string mirrorDisk = server->DataDir() + "/mirror";
    ASSERT_TRUE(server->MakeDiskDir(hostDisk + "/keep/empty"));
    ASSERT_TRUE(server->MakeDiskDir(mirrorDisk));
    ASSERT_TRUE(server->WriteDiskFile(hostDisk + "/keep/a.txt", "a on host"));
    struct timeval times[2] = {{kNew, 0}, {kNew, 0}};
    ASSERT_EQ(::utimes((hostDisk + "/keep/a.txt").c_str(), times), 0);
    task.InMain = acHostToMirror;
    task.EmptyDir = acHostToMirror;

    const std::string host = server->DataRoot() + "/host";
    TNetConnection con;
    Connect(con, host);
    const RunDriver& run = Run(host, server->DataRoot() + "/mirror");
    con.Disconnect(true);
    EXPECT_EQ(run.Result().FailedCount, 0u);
    EXPECT_EQ(run.Result().CopiedToMirrorCount, 1u);
    EXPECT_EQ(TreeOf(mirrorDisk), (std::set<std::string>{"keep/", "keep/a.txt", "keep/empty/"}));
    EXPECT_EQ(ReadBytes(mirrorDisk + "/keep/a.txt"), "a on host");
    EXPECT_EQ(MTimeOf(mirrorDisk + "/keep/a.txt"), kNew);
}

} // namespace
} // namespace pelmora
