// The result log: its stamp and placeholder rules, and the bytes the log file holds after
// one or more program runs.

#include "RunFixture.h"

#include "sync/SyncLog.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

using namespace testing_run;

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

} // namespace
} // namespace pelmora
