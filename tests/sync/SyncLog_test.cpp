// The result log: its stamp and placeholder rules, the bytes the log file holds after one or
// more program runs, and names with control characters, which must not forge lines of their own.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

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

TEST(SyncLogTest, StampHasNoLeadingZeroOnlyInTheHour)
{
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 4;
    t.tm_mday = 1;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    EXPECT_EQ(DateTimeStamp(t), "2024-05-01 9:05:07");
    t.tm_hour = 23;
    t.tm_min = 0;
    t.tm_sec = 0;
    EXPECT_EQ(DateTimeStamp(t), "2024-05-01 23:00:00");
    t.tm_hour = 0;
    EXPECT_EQ(DateTimeStamp(t), "2024-05-01 0:00:00");
}

TEST(SyncLogTest, OnlyTheFirstPlaceholderIsReplaced)
{
    EXPECT_EQ(ReplaceFirst("Failed to synchronize: %1", "3"), "Failed to synchronize: 3");
    EXPECT_EQ(ReplaceFirst("%1 and %1", "x"), "x and %1");
    EXPECT_EQ(ReplaceFirst("no placeholder", "x"), "no placeholder");
    EXPECT_EQ(ReplaceFirst("a %2 b %2", "%2", "%1"), "a %1 b %2");
}

TEST(SyncLogTest, LogFileGrowsByOneBlockAndNulPerProgramRun)
{
    const std::string path = FreshDir("log") + "/Pelmora.log";

    SyncLog empty;
    EXPECT_TRUE(AppendLogFile(path, empty));
    EXPECT_FALSE(fs::exists(path)); // a program run that ran nothing leaves no file

    SyncLog first;
    first.Add("run one");
    first.Add(std::string(kLogSeparator));
    ASSERT_TRUE(AppendLogFile(path, first));
    const std::string afterFirst = "run one\r\n" + std::string(kLogSeparator) + "\r\n" + std::string(1, '\0');
    EXPECT_EQ(ReadBytes(path), afterFirst);

    SyncLog second;
    second.Add("run two");
    ASSERT_TRUE(AppendLogFile(path, second));
    EXPECT_EQ(ReadBytes(path), afterFirst + "run two\r\n" + std::string(1, '\0'));
}

TEST(SyncLogTest, UnwritableLogFileIsReportedNotThrown)
{
    SyncLog log;
    log.Add("lost");
    EXPECT_FALSE(AppendLogFile(FreshDir("x") + "/no/such/folder/Pelmora.log", log));
    EXPECT_FALSE(AppendLogFile(FreshDir("y"), log)); // a folder where the file should be
}

TEST(SyncLogTest, EveryLineStaysOneLine)
{
    SyncLog log;
    std::vector<std::string> seen;
    log.onLineAdded = [&](const std::string& line) { seen.push_back(line); };
    log.Add("Failed to delete file, path: /x\r\n2024-01-01 0:00:00\r\nTask finish!");
    log.Add("");
    log.Add("tab\there \x1b[31mred\\");

    const std::vector<std::string> expected = {
        "Failed to delete file, path: /x\\r\\n2024-01-01 0:00:00\\r\\nTask finish!", "", "tab\\there \\x1b[31mred\\\\"};
    EXPECT_EQ(log.Lines(), expected);
    EXPECT_EQ(seen, expected); // the results window follows what is stored
    EXPECT_EQ(log.Text(), expected[0] + "\r\n\r\n" + expected[2] + "\r\n");

    // A lane's log hands its lines on to the run's log, which escapes them once.
    SyncLog raw(SyncLog::LineForm::Raw);
    raw.Add("a\r\nb\\");
    EXPECT_EQ(raw.Lines().front(), "a\r\nb\\");
    log.Add(raw.Lines().front());
    EXPECT_EQ(log.Lines().back(), "a\\r\\nb\\\\");
}

constexpr std::time_t kT = 1700000000;

TEST(SyncLogTest, ARunOverCraftedNamesLogsEachLineOnceAndCopiesUnderTheRealName)
{
    SelectLanguage(kLangEnglishUS);
    const std::string host = FreshDir("host");
    const std::string mirror = FreshDir("mirror");
    const std::string forged = "x\r\n2024-01-01 0:00:00\r\nTask finish!\x1b[2J";
    const std::string failing = "y\r\n\r\nFailed to synchronize: 0\nback\\slash";
    WriteBytes(host + "/" + forged, "copied", kT);
    WriteBytes(host + "/" + failing, "never read", kT);
    TSyncTask task{};
    InitSyncTask(task);
    task.InMain = acHostToMirror;
    task.Speed = 0;
    task.MaxErr = 0;
    SyncLog log;
    HeadlessRunner runner(log);
    FaultFileSystem faults(LocalFileSystem());
    faults.AddFault({FsCall::OpenRead, host + "/" + failing, 0, EIO});
    runner.Driver().SetFileSystem(&faults);
    RunRequest request;
    request.Task = &task;
    request.TaskName = "Tab\there";
    request.HostDir = host;
    request.MirrorDir = mirror;
    request.AutoRun = true;

    ASSERT_TRUE(runner.Run(request));

    // The file itself keeps its name.
    EXPECT_EQ(ReadBytes(mirror + "/" + forged), "copied");
    EXPECT_EQ(TreeOf(mirror), std::set<std::string>{forged});

    const std::vector<std::string>& lines = log.Lines();
    for (const std::string& line : lines)
        EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        })) << line;
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[1], "Start task: Tab\\there");
    EXPECT_EQ(lines[2],
              "Failed to open source file, path: " + host + "/y\\r\\n\\r\\nFailed to synchronize: 0\\nback\\\\slash");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Task finish!"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Failed to synchronize: 1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Failed to synchronize: 0"), 0);

    // The log file holds the same lines, split nowhere else.
    const std::string path = FreshDir("log") + "/pelmora.log";
    ASSERT_TRUE(AppendLogFile(path, log));
    std::string bytes = ReadBytes(path);
    ASSERT_EQ(bytes.back(), '\0');
    bytes.pop_back();
    std::vector<std::string> fileLines;
    for (std::size_t start = 0, end; start < bytes.size(); start = end + 2) {
        end = bytes.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        fileLines.push_back(bytes.substr(start, end - start));
    }
    EXPECT_EQ(fileLines, lines);
}

} // namespace
} // namespace pelmora
