// Copying and deleting single files on real temporary folders: bytes, times, modes, the
// fail-safe temporary file, the result-log lines and the progress the window is shown.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "core/DateTime.h"
#include "lang/Messages.h"
#include "sync/FileOps.h"
#include "sync/SizeText.h"
#include "sync/SyncLog.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/run/RecordingView.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/mount.h>
#include <unistd.h>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

class CopyFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectLanguage(kLangEnglishUS);
        host = FreshDir("host");
        mirror = FreshDir("mirror");
    }

    void TearDown() override { RemoveFreshDirs(); }

    FileOps& Ops(Clock& clock = SystemClock())
    {
        if (!ops)
            ops = std::make_unique<FileOps>(view, log, state, totalBytes, doneBytes, clock);
        return *ops;
    }

    std::string host, mirror;
    SyncLog log;
    RecordingView view;
    RunState state = rsExecHost;
    std::int64_t totalBytes = 0;
    std::int64_t doneBytes = 0;
    std::unique_ptr<FileOps> ops;
};

TEST_F(CopyFileTest, CopiesBytesIntoMissingFoldersWithEvenSecondTimeAndMode)
{
    const std::string data = Pattern(40000);
    WriteBytes(host + "/a/b/c.bin", data, 1700000001, 0640);
    totalBytes = 40000;
    // Under a speed limit the file moves in 16 KiB blocks, with progress after each.
    FakeClock clock;
    Ops(clock).SetSpeed(1000000);

    const int rc = Ops().CopyFile(host + "/a/b/c.bin", mirror + "/a/b/c.bin", mirror);

    EXPECT_EQ(rc, kCopyOk);
    EXPECT_EQ(ReadBytes(mirror + "/a/b/c.bin"), data);
    const struct stat st = StatOf(mirror + "/a/b/c.bin");
    EXPECT_EQ(st.st_mtime, 1700000000); // packed time: seconds rounded down to even
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(HasPartialFile(mirror));
    EXPECT_TRUE(log.Empty());
    EXPECT_EQ(doneBytes, 40000);
    // Three blocks: 16384, 32768, 40000 bytes.
    EXPECT_EQ(view.fileGaugeHistory, (std::vector<int>{0, 40, 81, 100}));
    EXPECT_EQ(view.totalGaugeHistory, (std::vector<int>{40, 81, 100}));
    EXPECT_EQ(view.labels[4], "Total: 39.1K bytes finish, 0 bytes remain");
}

TEST_F(CopyFileTest, TimesAreCarriedToTheEvenSecondAndClampedToTheDosRange)
{
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    ResetLocalTimeCache();
    const std::pair<std::time_t, std::time_t> cases[] = {
        {1729992601, 1729992600}, // 02:30:01 in the second of the two 02:xx hours of 2024-10-27
        {1729989001, 1729989000}, // the same local time in the first one
        {100000000, 315529200},   // 1973: clamped to 1980-01-01 00:00 local
    };
    int i = 0;
    for (const auto& [source, expected] : cases) {
        const std::string name = "/t" + std::to_string(i++);
        WriteBytes(host + name, "x", source);
        EXPECT_EQ(Ops().CopyFile(host + name, mirror + name, mirror), kCopyOk);
        EXPECT_EQ(StatOf(mirror + name).st_mtime, expected) << source;
    }
}

TEST_F(CopyFileTest, ZeroByteFileCarriesTimeAndModeWithoutTouchingTheTotal)
{
    WriteBytes(host + "/empty", "", 1600000000, 0600);
    totalBytes = 100;
    doneBytes = 50;

    EXPECT_EQ(Ops().CopyFile(host + "/empty", mirror + "/empty", mirror), kCopyOk);

    EXPECT_TRUE(fs::exists(mirror + "/empty"));
    EXPECT_EQ(fs::file_size(mirror + "/empty"), 0u);
    EXPECT_EQ(StatOf(mirror + "/empty").st_mtime, 1600000000);
    EXPECT_EQ(StatOf(mirror + "/empty").st_mode & 07777, 0600u);
    EXPECT_TRUE(view.totalGaugeHistory.empty());
    EXPECT_TRUE(view.labelHistory[4].empty());
    EXPECT_EQ(doneBytes, 50);
}

TEST_F(CopyFileTest, ReplacesReadOnlyTargetAndSymlinkWithoutWritingThrough)
{
    WriteBytes(host + "/ro.txt", "new contents", 1600000000, 0644);
    WriteBytes(mirror + "/ro.txt", "old", 1500000000, 0444);
    const std::string outside = FreshDir("outside") + "/victim";
    WriteBytes(outside, "must stay", 0, 0644);
    WriteBytes(host + "/link.txt", "through?", 1600000000, 0644);
    fs::create_symlink(outside, mirror + "/link.txt");

    EXPECT_EQ(Ops().CopyFile(host + "/ro.txt", mirror + "/ro.txt", mirror), kCopyOk);
    EXPECT_EQ(Ops().CopyFile(host + "/link.txt", mirror + "/link.txt", mirror), kCopyOk);

    EXPECT_EQ(ReadBytes(mirror + "/ro.txt"), "new contents");
    EXPECT_EQ(StatOf(mirror + "/ro.txt").st_mode & 07777, 0644u);
    EXPECT_FALSE(fs::is_symlink(mirror + "/link.txt"));
    EXPECT_EQ(ReadBytes(mirror + "/link.txt"), "through?");
    EXPECT_EQ(ReadBytes(outside), "must stay");
}

TEST_F(CopyFileTest, FailuresLogTheirLineAndLeaveTheOldTargetIntact)
{
    const std::string old = Pattern(5000, 7);
    WriteBytes(mirror + "/d/t.bin", old, 1500000000, 0600);
    WriteBytes(host + "/d/t.bin", Pattern(40000, 8), 1600000000, 0644);
    const std::string src = host + "/d/t.bin";
    const std::string dst = mirror + "/d/t.bin";

    struct Case
    {
        FsFault fault;
        int expected;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{FsCall::OpenRead, src, 0, EACCES}, kCopySourceFailed, "Failed to open source file, path: " + src},
        {{FsCall::CreateNew, "", 0, EACCES}, kCopyTargetFailed, "Failed to create target file, path: " + dst},
        {{FsCall::Write, "", 2, EIO}, kCopyIoFailed, "Error when copying file, path: /d/t.bin"},
        {{FsCall::Read, src, 3, EIO}, kCopyIoFailed, "Error when copying file, path: /d/t.bin"},
        {{FsCall::Close, "", 1, ENOSPC}, kCopyIoFailed, "Error when copying file, path: /d/t.bin"},
        {{FsCall::Rename, "", 0, EXDEV}, kCopyTargetFailed, "Failed to create target file, path: " + dst},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SyncLog caseLog;
        std::int64_t total = 40000, done = 0;
        FaultFileSystem faulty(LocalFileSystem());
        faulty.AddFault(c.fault);
        FileOps local(view, caseLog, state, total, done);
        local.SetFileSystem(&faulty);

        EXPECT_EQ(local.CopyFile(src, dst, mirror), c.expected);

        ASSERT_EQ(caseLog.Lines().size(), 1u);
        EXPECT_EQ(caseLog.Lines()[0], c.line);
        EXPECT_EQ(ReadBytes(dst), old);
        EXPECT_EQ(StatOf(dst).st_mtime, 1500000000);
        EXPECT_EQ(StatOf(dst).st_mode & 07777, 0600u);
        EXPECT_FALSE(HasPartialFile(mirror));
    }
}

TEST_F(CopyFileTest, CancelBeforeABlockStopsWithTheRelativePath)
{
    WriteBytes(mirror + "/docs/a.txt", "old", 1500000000);
    WriteBytes(host + "/docs/a.txt", Pattern(100000), 1600000000);
    // Files that know no kernel copy, as on a share: 16 KiB blocks without a speed limit too.
    FaultFileSystem plain(LocalFileSystem());
    Ops().SetFileSystem(&plain);
    int blocks = 0;
    view.onPendingInput = [&] {
        if (++blocks == 2)
            state = rsCancelled;
    };

    EXPECT_EQ(Ops().CopyFile(host + "/docs/a.txt", mirror + "/docs/a.txt", mirror), kCopyCancelled);

    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "Break copying, path: /docs/a.txt");
    EXPECT_EQ(ReadBytes(mirror + "/docs/a.txt"), "old");
    EXPECT_FALSE(HasPartialFile(mirror));
    EXPECT_EQ(doneBytes, 2 * 16384);
}

TEST_F(CopyFileTest, NewTargetIsNotLeftBehindWhenTheCopyFails)
{
    WriteBytes(host + "/n.bin", Pattern(50000), 1600000000);
    FaultFileSystem faulty(LocalFileSystem());
    faulty.FailNthWrite(2, EIO);
    Ops().SetFileSystem(&faulty);

    EXPECT_EQ(Ops().CopyFile(host + "/n.bin", mirror + "/n.bin", mirror), kCopyIoFailed);

    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{});
}

TEST_F(CopyFileTest, SpeedLimitBudgetOnAFakeClock)
{
    WriteBytes(host + "/big", Pattern(1048576), 1600000000);
    FakeClock clock;
    Ops(clock).SetSpeed(100); // 100 bytes per millisecond

    EXPECT_EQ(Ops().CopyFile(host + "/big", mirror + "/big", mirror), kCopyOk);

    // The first block goes at once; the remaining 1032192 bytes need 10322 ms of budget.
    EXPECT_GE(clock.TickMs(), 10322u);
    EXPECT_LE(clock.TickMs(), 10330u);
    EXPECT_EQ(ReadBytes(mirror + "/big"), Pattern(1048576));

    FakeClock idle;
    FileOps unlimited(view, log, state, totalBytes, doneBytes, idle);
    EXPECT_EQ(unlimited.CopyFile(host + "/big", mirror + "/big2", mirror), kCopyOk);
    EXPECT_EQ(idle.TickMs(), 0u);
}

TEST_F(CopyFileTest, CancelIsSeenDuringASpeedLimitWait)
{
    WriteBytes(mirror + "/slow", "old", 1500000000);
    WriteBytes(host + "/slow", Pattern(200000), 1600000000);
    FakeClock clock;
    Ops(clock).SetSpeed(1); // 16 s of budget per block
    view.onPendingInput = [&] {
        if (clock.TickMs() == 1000)
            state = rsCancelled;
    };

    EXPECT_EQ(Ops().CopyFile(host + "/slow", mirror + "/slow", mirror), kCopyCancelled);

    EXPECT_EQ(clock.TickMs(), 1000u);
    EXPECT_EQ(ReadBytes(mirror + "/slow"), "old");
    EXPECT_FALSE(HasPartialFile(mirror));
}

TEST_F(CopyFileTest, SpeedLimitHoldsOnTheRealClock)
{
    WriteBytes(host + "/big", Pattern(1048576), 1600000000);
    Ops().SetSpeed(1000);
    const auto start = std::chrono::steady_clock::now();

    EXPECT_EQ(Ops().CopyFile(host + "/big", mirror + "/big", mirror), kCopyOk);

    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 1000);
}

TEST_F(CopyFileTest, FullDiskFailsCleanlyOnARealSmallFileSystem)
{
    const std::string small = FreshDir("tmpfs");
    if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a 1 MiB tmpfs here (needs root and mount permission)";
    WriteBytes(small + "/keep.bin", Pattern(300000, 3), 1500000000);
    WriteBytes(host + "/keep.bin", Pattern(2 * 1048576, 4), 1600000000);

    const int rc = Ops().CopyFile(host + "/keep.bin", small + "/keep.bin", small);
    const bool intact = ReadBytes(small + "/keep.bin") == Pattern(300000, 3);
    const bool partial = HasPartialFile(small);
    ::umount(small.c_str());

    EXPECT_EQ(rc, kCopyIoFailed);
    EXPECT_TRUE(intact);
    EXPECT_FALSE(partial);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0], "Error when copying file, path: /keep.bin");
}

TEST_F(CopyFileTest, DeleteRemovesReadOnlyFilesAndLogsFailures)
{
    WriteBytes(host + "/ro", "x", 0, 0444);
    WriteBytes(host + "/stays", "y", 0, 0444);

    EXPECT_TRUE(Ops().DeleteFile(host + "/ro"));
    EXPECT_FALSE(fs::exists(host + "/ro"));

    FaultFileSystem faulty(LocalFileSystem());
    faulty.AddFault({FsCall::RemoveFile, host + "/stays", 0, EACCES});
    Ops().SetFileSystem(&faulty);
    EXPECT_FALSE(Ops().DeleteFile(host + "/stays"));
    EXPECT_EQ(ReadBytes(host + "/stays"), "y");
    EXPECT_FALSE(Ops().DeleteFile(host + "/never-there"));
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Failed to delete file, path: " + host + "/stays",
                                                     "Failed to delete file, path: " + host + "/never-there"}));
}

TEST(SizeTextTest, ShortTexts)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "0"},
        {1023, "1023"},
        {1024, "1.0K"},
        {1536, "1.5K"},
        {1048575, "1024.0K"},
        {1048576, "1.0M"},
        {5242880, "5.0M"},
        {10189, "10.0K"},
        {2147483648, "2048.0M"},
        {-5, "-5"},
        {1023 * 1024 + 973, "1024.0K"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(SizeText(bytes), text) << bytes;
}

} // namespace
} // namespace pelmora
