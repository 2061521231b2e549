// Runs with a side on a real Samba share, whose file operations go through the copy lanes:
// every lane logs in with the connection's credentials, the share's folder on disk ends with
// the right bytes and times, and no lane outlives its run.

#include "SmbRunFixture.h"

#include "core/SyncTask.h"
#include "platform/NetConnection.h"
#include "platform/NetPath.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

namespace fsys = std::filesystem;
using test::MTimeOf;
using test::Pattern;
using test::ReadBytes;
using test::WriteBytes;

// An even second, as a packed DOS time keeps it.
constexpr std::time_t kWhen = 1686830400;

// This process's children, from every thread's list. The test server is one of them.
std::set<pid_t> ChildPids()
{
    std::set<pid_t> pids;
    for (const auto& task : fsys::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "children");
        pid_t pid = 0;
        while (in >> pid)
            pids.insert(pid);
    }
    return pids;
}

// The relative path and bytes of file i of a test tree: 72 files in nested folders, a few of
// them several copy blocks long.
std::string RelOf(int i)
{
    return "/dir" + std::to_string(i % 6) + (i % 3 == 0 ? "/sub" : "") + "/file" + std::to_string(i) + ".bin";
}

std::string BytesOf(int i)
{
    return Pattern(i % 12 == 0 ? 100000 : static_cast<std::size_t>(i * 131 % 5000), static_cast<unsigned>(i + 3));
}

constexpr int kFiles = 72;

class SmbLanes : public test::SmbRunTest
{
protected:
    SmbLanes() : SmbRunTest("smblanes") {}

    void SetUp() override
    {
        SmbRunTest::SetUp();
        if (IsSkipped())
            return;
        before = ChildPids();
        runner.Driver().SetCopyLanes(0, PELMORA_LANE_PROGRAM);
        // The lanes are counted as processes while the run carries out its lists.
        runner.View().onPendingInput = [this] {
            const RunState state = runner.Driver().State();
            if (state == rsExecHost || state == rsExecMirror)
                mostChildren = std::max(mostChildren, ChildPids().size() - before.size());
        };
    }

    // Sets the share user's password on the server. Returns false when smbpasswd failed.
    bool SetServerPassword(const std::string& password) const
    {
        const std::string conf = fsys::path(server->DataDir()).parent_path().string() + "/smb.conf";
        const std::string cmd = "printf '%s\\n%s\\n' '" + password + "' '" + password + "' | smbpasswd -c " + conf +
                                " -s " + server->User() + " >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    }

    std::set<pid_t> before;
    std::size_t mostChildren = 0;
};

TEST_F(SmbLanes, LocalHostToAMirrorOnTheShareGoesThroughFourLanes)
{
    const std::string host = local + "/host";
    for (int i = 0; i < kFiles; ++i)
        WriteBytes(host + RelOf(i), BytesOf(i), kWhen + 2 * i);
    task.InMain = acHostToMirror;

    const std::string mirror = server->DataRoot() + "/backup";
    const std::string mirrorDisk = server->DataDir() + "/backup";
    ASSERT_TRUE(server->MakeDiskDir(mirrorDisk));
    TNetConnection con;
    Connect(con, mirror);
    const RunDriver& run = Run(host, mirror);

    EXPECT_EQ(run.LanesUsed(), RunDriver::kNetworkLanes);
    EXPECT_EQ(mostChildren, static_cast<std::size_t>(RunDriver::kNetworkLanes));
    EXPECT_EQ(run.Result().CopiedToMirrorCount, static_cast<std::uint32_t>(kFiles));
    EXPECT_EQ(run.Result().FailedCount, 0u);
    EXPECT_EQ(run.EndLine(), "Task finish!");
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_TRUE(ReadBytes(mirrorDisk + RelOf(i)) == BytesOf(i)) << RelOf(i);
        EXPECT_EQ(MTimeOf(mirrorDisk + RelOf(i)), kWhen + 2 * i) << RelOf(i);
    }
    std::size_t files = 0;
    for (const auto& entry : fsys::recursive_directory_iterator(mirrorDisk))
        files += entry.is_regular_file();
    EXPECT_EQ(files, static_cast<std::size_t>(kFiles)); // no temporary files left either
    EXPECT_EQ(ChildPids(), before);

    con.Disconnect(true);
    EXPECT_EQ(ChildPids(), before);
}

TEST_F(SmbLanes, HostOnTheShareWithDeletesOnTheMirror)
{
    const std::string hostDisk = server->DataDir() + "/host";
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = hostDisk + RelOf(i);
        ASSERT_TRUE(server->MakeDiskDir(fsys::path(path).parent_path().string()));
        ASSERT_TRUE(server->WriteDiskFile(path, BytesOf(i)));
        struct timeval times[2] = {{kWhen + 2 * i, 0}, {kWhen + 2 * i, 0}};
        ASSERT_EQ(::utimes(path.c_str(), times), 0);
    }
    const std::string mirror = local + "/mirror";
    for (int i = 0; i < 30; ++i)
        WriteBytes(mirror + "/stale/old" + std::to_string(i), "only on the mirror", kWhen);
    WriteBytes(mirror + RelOf(5), "an older copy", kWhen - 100);
    task.InMain = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.InMirror = acDelete;
    // 30 of the mirror's 31 files are to go: the mass-deletion guard would hold the run.
    task.Reserved[kReservedGuard] = kReservedOff;

    const std::string host = server->DataRoot() + "/host";
    TNetConnection con;
    Connect(con, host);
    const RunDriver& run = Run(host, mirror);

    EXPECT_EQ(run.LanesUsed(), RunDriver::kNetworkLanes);
    EXPECT_EQ(run.Result().CopiedToMirrorCount, static_cast<std::uint32_t>(kFiles));
    EXPECT_EQ(run.Result().DeletedMirrorCount, 30u);
    EXPECT_EQ(run.Result().FailedCount, 0u);
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_TRUE(ReadBytes(mirror + RelOf(i)) == BytesOf(i)) << RelOf(i);
        EXPECT_EQ(MTimeOf(mirror + RelOf(i)), kWhen + 2 * i) << RelOf(i);
    }
    EXPECT_TRUE(fsys::is_empty(mirror + "/stale"));
    // The share's files are sources only: untouched.
    for (int i = 0; i < kFiles; ++i)
        EXPECT_EQ(MTimeOf(hostDisk + RelOf(i)), kWhen + 2 * i) << RelOf(i);
    con.Disconnect(true);
    EXPECT_EQ(ChildPids(), before);
}

TEST_F(SmbLanes, LanesThatCannotLogInLeaveTheRunToItsOwnThread)
{
    const std::string host = local + "/host";
    for (int i = 0; i < kFiles; ++i)
        WriteBytes(host + RelOf(i), BytesOf(i), kWhen + 2 * i);
    task.InMain = acHostToMirror;
    const std::string mirror = server->DataRoot() + "/backup";
    const std::string mirrorDisk = server->DataDir() + "/backup";
    ASSERT_TRUE(server->MakeDiskDir(mirrorDisk));
    TNetConnection con;
    Connect(con, mirror);
    // The run's own session was opened with the old password and stays valid; every lane
    // logs in afresh and is refused.
    if (!SetServerPassword("Chang3d-elsewhere"))
        GTEST_SKIP() << "smbpasswd could not change the password";
    const RunDriver& run = Run(host, mirror);
    const bool restored = SetServerPassword(server->Password());

    EXPECT_EQ(run.LanesUsed(), 0);
    EXPECT_EQ(run.Result().CopiedToMirrorCount, static_cast<std::uint32_t>(kFiles));
    EXPECT_EQ(run.Result().FailedCount, 0u);
    for (int i = 0; i < kFiles; ++i) {
        EXPECT_TRUE(ReadBytes(mirrorDisk + RelOf(i)) == BytesOf(i)) << RelOf(i);
        EXPECT_EQ(MTimeOf(mirrorDisk + RelOf(i)), kWhen + 2 * i) << RelOf(i);
    }
    EXPECT_EQ(ChildPids(), before);
    con.Disconnect(true);
    ASSERT_TRUE(restored) << "the share's password could not be set back";
}

} // namespace
} // namespace pelmora
