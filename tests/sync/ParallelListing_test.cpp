// The two ways of listing a run's sides, one after the other and at the same time (the mirror
// on a worker thread), on trees with failures, links and special files: the same lists, the
// same failures and the same log lines; and a cancel during either side's listing stops both.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "RunTest.h"
#include "core/SyncTask.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/SyncLog.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <thread>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000;

// Everything a listing leaves for planning and the preview, as text, in list order.
struct Snapshot
{
    std::vector<std::string> hostFiles;
    std::vector<std::string> mirrorFiles;
    std::vector<std::string> hostFolders;
    std::vector<std::string> mirrorFolders;
    std::vector<std::string> hostUnlisted;
    std::vector<std::string> mirrorUnlisted;
    PlanSummary plan;
    std::vector<std::string> log; // without the date line
    std::uint32_t failed = 0;
    bool parallel = false;
};

std::string fileLine(const TMFileInfoRec& rec)
{
    return std::string(rec.RelPath()) + " size=" + std::to_string(rec.Size) + " age=" + std::to_string(rec.Age) +
           " op=" + std::to_string(rec.Op);
}

std::vector<std::string> folderLines(const TFolderList& list)
{
    std::vector<std::string> out;
    for (const TFolderLine& line : list)
        out.push_back(line.Path + " = " + std::to_string(line.Value));
    return out;
}

class ParallelListingTest : public RunTest
{
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        Mirroring();
        task.EmptyDir = acHostToMirror;
    }

    // One run that stops at the preview (nothing is carried out), on `faults`.
    Snapshot ListOnce(RunDriver::ListingMode mode, FaultFileSystem& faults)
    {
        Snapshot snap;
        SyncLog log;
        HeadlessRunner runner(log);
        runner.Driver().SetListingMode(mode);
        runner.Driver().SetFileSystem(&faults);
        runner.View().previewResults.push_back(-1);
        runner.View().onPreview = [&](RunDriver& run) {
            const TRunLists& lists = run.Lists();
            for (const TMFileInfoRec* rec : lists.HostFiles)
                snap.hostFiles.push_back(fileLine(*rec));
            for (const TMFileInfoRec* rec : lists.MirrorFiles)
                snap.mirrorFiles.push_back(fileLine(*rec));
            snap.hostFolders = folderLines(lists.HostFolders);
            snap.mirrorFolders = folderLines(lists.MirrorFolders);
            snap.hostUnlisted = folderLines(lists.HostUnlisted);
            snap.mirrorUnlisted = folderLines(lists.MirrorUnlisted);
            snap.plan = run.Plan();
            snap.failed = run.Result().FailedCount;
        };
        RunRequest request = UnattendedRequest("Backup", host, mirror);
        request.AutoRun = false;
        EXPECT_TRUE(runner.Run(request));
        EXPECT_EQ(runner.View().previewsShown, 1);
        snap.log.assign(log.Lines().begin() + 1, log.Lines().end());
        snap.parallel = runner.Driver().ListedInParallel();
        return snap;
    }
};

TEST_F(ParallelListingTest, BothWaysGiveTheSameListsFailuresAndLogLines)
{
    for (int i = 0; i < 40; ++i) {
        const std::string sub = "/d" + std::to_string(i % 7) + "/e" + std::to_string(i % 3);
        WriteBytes(host + sub + "/f" + std::to_string(i) + ".txt", std::string(static_cast<std::size_t>(i), 'h'), kT);
        if (i % 4 != 0)
            WriteBytes(mirror + sub + "/f" + std::to_string(i) + ".txt", std::string(static_cast<std::size_t>(i), 'm'),
                       i % 5 == 0 ? kT - 100 : kT);
        if (i % 6 == 0)
            WriteBytes(mirror + sub + "/only-mirror" + std::to_string(i), "m", kT);
    }
    // Names that differ in letter case only, which the mirror's sorted list keeps in order.
    WriteBytes(mirror + "/Case.txt", "upper", kT);
    WriteBytes(mirror + "/case.txt", "lower", kT);
    // Places neither side can read, a FIFO opposite a real file, a dangling link.
    WriteBytes(host + "/locked/a.txt", "a", kT);
    WriteBytes(mirror + "/locked/a.txt", "a", kT);
    WriteBytes(mirror + "/sealed/x.txt", "x", kT);
    WriteBytes(mirror + "/sealed/deeper/y.txt", "y", kT);
    WriteBytes(host + "/sealed/x.txt", "x", kT);
    WriteBytes(host + "/stat-fails.txt", "host", kT);
    WriteBytes(mirror + "/d1/stat-fails-too.txt", "mirror", kT);
    ASSERT_EQ(::mkfifo((host + "/notes.txt").c_str(), 0644), 0);
    WriteBytes(mirror + "/notes.txt", "mirror notes", kT);
    fs::create_directory_symlink(host + "/nowhere", mirror + "/photos");
    WriteBytes(host + "/photos/beach.jpg", "beach", kT);
    fs::create_directories(host + "/empty");
    fs::create_directories(mirror + "/empty-too");

    FaultFileSystem faults{LocalFileSystem()};
    faults.FailListDir(host + "/locked/", EACCES);
    faults.FailListDir(mirror + "/sealed/", EIO);
    faults.AddFault({FsCall::ListEntry, host + "/stat-fails.txt", 0, EIO});
    faults.AddFault({FsCall::ListEntry, mirror + "/d1/stat-fails-too.txt", 0, ESTALE});

    const Snapshot sequential = ListOnce(RunDriver::ListingMode::Sequential, faults);
    const Snapshot parallel = ListOnce(RunDriver::ListingMode::Parallel, faults);
    EXPECT_FALSE(sequential.parallel);
    ASSERT_TRUE(parallel.parallel);

    EXPECT_EQ(parallel.hostFiles, sequential.hostFiles);
    EXPECT_EQ(parallel.mirrorFiles, sequential.mirrorFiles);
    EXPECT_EQ(parallel.hostFolders, sequential.hostFolders);
    EXPECT_EQ(parallel.mirrorFolders, sequential.mirrorFolders);
    EXPECT_EQ(parallel.hostUnlisted, sequential.hostUnlisted);
    EXPECT_EQ(parallel.mirrorUnlisted, sequential.mirrorUnlisted);
    EXPECT_EQ(parallel.failed, sequential.failed);
    EXPECT_EQ(parallel.log, sequential.log);
    EXPECT_EQ(parallel.plan.CopyToMirrorCount, sequential.plan.CopyToMirrorCount);
    EXPECT_EQ(parallel.plan.DeleteMirrorCount, sequential.plan.DeleteMirrorCount);
    EXPECT_EQ(parallel.plan.TotalBytes, sequential.plan.TotalBytes);

    // The comparison is worth something only if the trees gave both sides something to report
    // (the host's own two lines come in the order of its folder's entries).
    EXPECT_EQ(sequential.failed, 6u); // two folders, two entries, the FIFO and the link
    std::vector<std::string> expected{
        Msg(kMsgFolderNotRead) + host + "/locked",
        Msg(kMsgEntryNotRead) + host + "/stat-fails.txt",
        Msg(kMsgFolderNotRead) + mirror + "/sealed",
        Msg(kMsgEntryNotRead) + mirror + "/d1/stat-fails-too.txt",
        Msg(kMsgNotFileOrFolder) + host + "/notes.txt",
        Msg(kMsgNotFileOrFolder) + mirror + "/photos",
        Msg(kMsgUserCancelled),
        std::string(kLogSeparator),
    };
    ASSERT_EQ(sequential.log.size(), expected.size() + 1);
    std::vector<std::string> got(sequential.log.begin() + 1, sequential.log.end());
    if (got[0] != expected[0])
        std::swap(expected[0], expected[1]);
    EXPECT_EQ(got, expected);
    EXPECT_GT(sequential.mirrorFiles.size(), 25u);
}

// Mirror trees of this many folders take seconds to list with the delay below; a cancel that
// stops the listing leaves most of them unlisted.
constexpr int kSlowFolders = 150;

class ParallelListingCancel : public ParallelListingTest, public ::testing::WithParamInterface<RunDriver::ListingMode>
{
protected:
    void SetUp() override
    {
        ParallelListingTest::SetUp();
        for (int i = 0; i < kSlowFolders; ++i)
            WriteBytes(mirror + "/m" + std::to_string(i) + "/b.txt", "mirror", kT);
        // Every folder listing takes a few milliseconds, as on a slow disk.
        faults.BeforeCall = [this](FsCall call, const std::string& path) {
            if (call != FsCall::ListDir)
                return;
            if (path.rfind(mirror + "/", 0) == 0)
                ++mirrorListings;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        };
    }

    void HostFolders(int count)
    {
        for (int i = 0; i < count; ++i)
            WriteBytes(host + "/h" + std::to_string(i) + "/a.txt", "host", kT);
    }

    // Runs the mirroring task and cancels it at the first chance in `phase`.
    void RunAndCancelIn(RunState phase)
    {
        SyncLog log;
        HeadlessRunner runner(log);
        runner.Driver().SetListingMode(GetParam());
        runner.Driver().SetFileSystem(&faults);
        runner.View().onPendingInput = [&] {
            if (runner.Driver().State() == phase)
                runner.Driver().CancelWithoutQuestion();
        };
        ASSERT_TRUE(runner.Run(UnattendedRequest("Backup", host, mirror)));
        EXPECT_EQ(runner.Driver().CancelPhase(), phase);
        EXPECT_EQ(runner.Driver().EndLine(), Msg(kMsgUserBreak));
        EXPECT_TRUE(Logged(log, ReplaceFirst(Msg(kMsgCountHostToMirror), "0")));
        EXPECT_TRUE(Logged(log, ReplaceFirst(Msg(kMsgCountDeleteInMirror), "0")));
        // Nothing was copied or deleted.
        EXPECT_FALSE(fs::exists(mirror + "/h0"));
        EXPECT_TRUE(fs::exists(mirror + "/m0/b.txt"));
        mirrorFolders = runner.Driver().Lists().MirrorFolders.Count();
    }

    FaultFileSystem faults{LocalFileSystem()};
    std::atomic<int> mirrorListings{0};
    int mirrorFolders = 0;
};

TEST_P(ParallelListingCancel, ACancelDuringTheHostListingStopsTheMirrorListingToo)
{
    HostFolders(kSlowFolders);
    RunAndCancelIn(rsListHost);
    // The mirror listing was stopped (or never started) long before its end and left nothing.
    EXPECT_LT(mirrorListings.load(), kSlowFolders / 2);
    EXPECT_EQ(mirrorFolders, 0);
}

TEST_P(ParallelListingCancel, ACancelWhileTheMirrorIsListedStopsIt)
{
    // The host is listed at once, so the mirror is still being listed when its phase begins.
    HostFolders(1);
    RunAndCancelIn(rsListMirror);
    EXPECT_LT(mirrorListings.load(), kSlowFolders / 2);
    EXPECT_LT(mirrorFolders, kSlowFolders / 2);
}

INSTANTIATE_TEST_SUITE_P(Listings, ParallelListingCancel,
                         ::testing::Values(RunDriver::ListingMode::Sequential, RunDriver::ListingMode::Parallel),
                         [](const auto& row) {
                             return row.param == RunDriver::ListingMode::Parallel ? "Parallel" : "Sequential";
                         });

} // namespace
} // namespace pelmora
