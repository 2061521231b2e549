// The run window's progress line: the rate over the last seconds, the time left for the whole
// run (bounded by a speed limit) and "file n of N", on a fake clock and in real runs.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "lang/Messages.h"
#include "sync/RunProgress.h"
#include "sync/SizeText.h"
#include "tests/support/run/HeadlessRunner.h"
#include "tests/sync/RunTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>

namespace pelmora {
namespace {

using namespace test;

constexpr std::int64_t kMB = 1000000;

class RunProgressTest : public ::testing::Test
{
protected:
    void SetUp() override { SelectLanguage(kLangEnglishUS); }
    void TearDown() override { SelectLanguage(kLangEnglishUS); }

    // Moves the run on to `ms`, with `bytesPerSecond` since the last step.
    void Run(std::uint64_t ms, std::int64_t bytesPerSecond)
    {
        for (; now < ms; now += 50) {
            done += bytesPerSecond / 20;
            progress.Update(now + 50, done);
        }
    }

    RunProgress progress;
    std::uint64_t now = 0;
    std::int64_t done = 0;
};

TEST_F(RunProgressTest, RateOverTheLastSecondsAndTimeLeftForTheWholeRun)
{
    progress.Start(0, 40 * kMB, 10, 0);
    progress.SetFile(1);
    // Too early for a rate: the line gives the file only.
    Run(500, kMB);
    EXPECT_EQ(progress.BytesPerSecond(), -1);
    EXPECT_EQ(progress.Line(), "File 1 of 10");

    Run(2000, kMB);
    EXPECT_EQ(progress.BytesPerSecond(), kMB);
    EXPECT_EQ(progress.SecondsLeft(), 38); // 38 MB left at 1 MB/s
    progress.SetFile(3);
    progress.Update(now, done, true);
    EXPECT_EQ(progress.Line(), SizeText(kMB) + "/s, 38 s left, file 3 of 10");

    // The pace goes up fourfold: after a whole window only the new pace counts.
    Run(8000, 4 * kMB);
    EXPECT_EQ(progress.BytesPerSecond(), 4 * kMB);
    EXPECT_EQ(progress.SecondsLeft(), 4); // 40 - 2 - 24 = 14 MB left at 4 MB/s: 3.5 s, rounded up
    // Halfway into a slower pace the rate lies between the two.
    Run(10500, kMB);
    EXPECT_GT(progress.BytesPerSecond(), kMB);
    EXPECT_LT(progress.BytesPerSecond(), 4 * kMB);

    // A stall: nothing moves for longer than the window, and no time left can be told.
    Run(16000, 0);
    EXPECT_EQ(progress.BytesPerSecond(), 0);
    EXPECT_EQ(progress.SecondsLeft(), -1);
    progress.Update(now, done, true);
    EXPECT_EQ(progress.Line(), "File 3 of 10");

    // The end: nothing left.
    progress.SetFile(10);
    progress.FileDone();
    progress.Update(17000, 40 * kMB, true);
    EXPECT_EQ(progress.SecondsLeft(), 0);
    EXPECT_EQ(progress.Line().substr(progress.Line().find(',')), ", 0 s left, file 10 of 10");
}

TEST_F(RunProgressTest, WithASpeedLimitTheTimeLeftFollowsTheLimit)
{
    progress.Start(0, 10 * kMB, 4, 100000); // 100 KB/s
    progress.SetFile(1);
    progress.Update(0, 0);
    // Nothing measured yet: the limit is the pace.
    EXPECT_EQ(progress.SecondsLeft(), 100);
    // A burst above the limit (the first block of each small file goes at once) does not make
    // the run look shorter than the limit allows.
    Run(2000, kMB);
    EXPECT_EQ(progress.BytesPerSecond(), kMB);
    EXPECT_EQ(progress.SecondsLeft(), 80);
    // Below the limit, the measured pace counts.
    Run(9000, 50000);
    EXPECT_EQ(progress.BytesPerSecond(), 50000);
    EXPECT_EQ(progress.SecondsLeft(), (10 * kMB - 2 * kMB - 7 * 50000) / 50000);
}

TEST_F(RunProgressTest, ARunThatOnlyDeletesTellsTheTimeFromItsOperations)
{
    progress.Start(0, 0, 100, 0);
    for (int file = 1; file <= 10; ++file) {
        progress.SetFile(file);
        progress.Update(static_cast<std::uint64_t>(file) * 200, 0);
    }
    // Nine done in two seconds; 91 to go.
    EXPECT_EQ(progress.SecondsLeft(), (91 * 2000 + 8999) / 9000);
    progress.SetFile(100);
    progress.FileDone();
    progress.Update(30000, 0);
    EXPECT_EQ(progress.SecondsLeft(), 0);
}

TEST_F(RunProgressTest, TheFiguresChangeAFewTimesASecondTheFileNumberAtOnce)
{
    EXPECT_FALSE(progress.Update(100, 5));
    progress.Start(0, 10 * kMB, 5, 0);
    progress.SetFile(1);
    int due = 0;
    for (std::uint64_t ms = 0; ms <= 4000; ms += 10)
        due += progress.Update(ms, static_cast<std::int64_t>(ms) * 1000);
    EXPECT_GE(due, 4000 / static_cast<int>(RunProgress::kShowEveryMs));
    EXPECT_LE(due, 4000 / static_cast<int>(RunProgress::kShowEveryMs) + 1);
    EXPECT_LE(RunProgress::kShowEveryMs, 500u);
    // Between two due updates the figures stay, the file number follows at once.
    const std::string line = progress.Line();
    EXPECT_FALSE(progress.Update(4010, 4010000));
    progress.SetFile(2);
    EXPECT_EQ(progress.Line(), line.substr(0, line.rfind("file")) + "file 2 of 5");
    progress.Stop();
    EXPECT_FALSE(progress.Update(9000, 10));
}

TEST_F(RunProgressTest, DurationsAndBothLanguages)
{
    EXPECT_EQ(DurationText(-5), "0 s");
    EXPECT_EQ(DurationText(59), "59 s");
    EXPECT_EQ(DurationText(60), "1 min 0 s");
    EXPECT_EQ(DurationText(3599), "59 min 59 s");
    EXPECT_EQ(DurationText(3600), "1 h 0 min");
    EXPECT_EQ(DurationText(7384), "2 h 3 min");

    SelectLanguage(kLangChineseTaiwan);
    EXPECT_EQ(DurationText(125), "2 分 5 秒");
    progress.Start(0, 5 * kMB, 3, 0);
    progress.SetFile(2);
    EXPECT_EQ(progress.Line(), "第 2 個檔案，共 3 個");
    Run(1000, kMB);
    progress.Update(now, done, true);
    EXPECT_EQ(progress.Line(), SizeText(kMB) + "/秒，約剩 4 秒，第 2 個檔案，共 3 個");
}

class RunProgressLineTest : public RunTest
{
protected:
    // The progress line's value at a moment it changed, with the bytes done and the seconds
    // since the start of the run then.
    struct Seen
    {
        std::string line;
        std::int64_t doneBytes;
        double seconds;
    };
};

TEST_F(RunProgressLineTest, AMixedRunCountsEveryOperationOfBothLists)
{
    Mirroring();
    for (const char* name : {"/a.txt", "/sub/b.txt", "/sub/c.txt"})
        WriteBytes(host + name, "new", 1700000000);
    WriteBytes(host + "/d.txt", "host", 1700000100);
    WriteBytes(mirror + "/d.txt", "mirror", 1700000000);
    WriteBytes(mirror + "/old1.txt", "x", 1700000000);
    WriteBytes(mirror + "/sub/old2.txt", "y", 1700000000);

    SyncLog log;
    HeadlessRunner runner(log);
    ASSERT_TRUE(runner.Run(UnattendedRequest("Mixed", host, mirror)));

    const auto& lines = runner.View().labelHistory[LabelNumber(RunLabel::Progress)];
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), ""); // a new run clears the line of the last one
    EXPECT_EQ(lines[1], "File 1 of 6");
    // Four copies and two deletions; the last line names the last of them, however long the
    // run took.
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex("File 6 of 6|.*/s, 0 s left, file 6 of 6"))) << lines.back();
    EXPECT_EQ(ReadBytes(mirror + "/d.txt"), "host");
}

TEST_F(RunProgressLineTest, ASpeedLimitedCopyTellsATimeLeftTheLimitCanKeep)
{
    constexpr std::int64_t kLimit = 600; // KB/s: 600,000 bytes a second
    constexpr std::int64_t kSize = 400000;
    task.Speed = kLimit;
    task.InMain = acHostToMirror;
    for (int i = 0; i < 3; ++i)
        WriteBytes(host + "/f" + std::to_string(i) + ".bin", Pattern(kSize, i), 1700000000);

    SyncLog log;
    HeadlessRunner runner(log);
    std::vector<Seen> seen;
    const auto start = std::chrono::steady_clock::now();
    runner.View().onPendingInput = [&] {
        const std::string& line = runner.View().labels[LabelNumber(RunLabel::Progress)];
        if (seen.empty() || seen.back().line != line) {
            const std::chrono::duration<double> since = std::chrono::steady_clock::now() - start;
            seen.push_back({line, runner.Driver().Plan().DoneBytes, since.count()});
        }
    };
    ASSERT_TRUE(runner.Run(UnattendedRequest("Limited", host, mirror)));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    // The first line that tells a time: no sooner than the limit allows for what was left, and
    // not grossly later either (the machine would have to copy at a third of the limit).
    const std::regex timed(R"((.*)/s, (\d+) s left, file (\d) of 3)");
    std::smatch match;
    const auto first =
        std::find_if(seen.begin(), seen.end(), [&](const Seen& s) { return std::regex_match(s.line, match, timed); });
    ASSERT_NE(first, seen.end());
    std::regex_match(first->line, match, timed);
    const double left = static_cast<double>(3 * kSize - first->doneBytes) / (kLimit * 1000);
    const int told = std::stoi(match[2]);
    EXPECT_GE(told, static_cast<int>(left)) << first->line;
    EXPECT_LE(told, static_cast<int>(3 * left) + 2) << first->line;
    // The run really took that long: the time told was there to be waited.
    EXPECT_GE(took.count() - first->seconds, left - 0.2);
    const std::string& last = runner.View().labels[LabelNumber(RunLabel::Progress)];
    EXPECT_TRUE(std::regex_match(last, std::regex(".*/s, 0 s left, file 3 of 3"))) << last;
}

} // namespace
} // namespace pelmora
