// The log file written a run at a time: the lines of each run reach the file when the run
// ends, and one NUL closes the text of a program run.

#include "sync/SyncLog.h"

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

class SyncLogFileTest : public ::testing::Test
{
protected:
    void TearDown() override { RemoveFreshDirs(); }
};

TEST_F(SyncLogFileTest, RunsAppendedOneAtATimeGiveTheBytesOfOneAppendAtTheEnd)
{
    const std::string path = FreshDir("runs") + "/pelmora.log";
    const std::string whole = FreshDir("whole") + "/pelmora.log";

    SyncLog log;
    log.Add("stamp 1");
    log.Add("Start task: One");
    log.Add(std::string(kLogSeparator));
    ASSERT_TRUE(AppendLogLines(path, log, 0));
    // The first run is on disk while the program goes on, without the closing NUL.
    EXPECT_EQ(ReadBytes(path), "stamp 1\r\nStart task: One\r\n" + std::string(kLogSeparator) + "\r\n");

    const std::size_t written = log.Lines().size();
    log.Add("stamp 2");
    log.Add("");
    log.Add(std::string(kLogSeparator));
    ASSERT_TRUE(AppendLogLines(path, log, written));
    // Nothing new: nothing written.
    ASSERT_TRUE(AppendLogLines(path, log, log.Lines().size()));
    ASSERT_TRUE(AppendLogEnd(path));

    ASSERT_TRUE(AppendLogFile(whole, log));
    EXPECT_EQ(ReadBytes(path), ReadBytes(whole));
    EXPECT_EQ(ReadBytes(path).back(), '\0');

    // The next program run goes after the NUL.
    SyncLog next;
    next.Add("later");
    ASSERT_TRUE(AppendLogLines(path, next, 0));
    ASSERT_TRUE(AppendLogEnd(path));
    EXPECT_EQ(ReadBytes(path), ReadBytes(whole) + "later\r\n" + std::string(1, '\0'));
}

TEST_F(SyncLogFileTest, NoLinesLeaveNoFileAndAnUnwritablePlaceIsReported)
{
    const std::string path = FreshDir("none") + "/pelmora.log";
    SyncLog empty;
    EXPECT_TRUE(AppendLogLines(path, empty, 0));
    EXPECT_FALSE(fs::exists(path));

    SyncLog log;
    log.Add("lost");
    // A missing folder is made (an installed copy's state folder, private); a place below a
    // file cannot be.
    const std::string made = FreshDir("x") + "/state/pelmora/pelmora.log";
    EXPECT_TRUE(AppendLogLines(made, log, 0));
    EXPECT_EQ(ReadBytes(made), "lost\r\n");
    EXPECT_EQ(fs::status(fs::path(made).parent_path()).permissions(), fs::perms::owner_all);
    const std::string file = FreshDir("w") + "/file";
    WriteBytes(file, "x");
    EXPECT_FALSE(AppendLogLines(file + "/pelmora/pelmora.log", log, 0));
    EXPECT_FALSE(AppendLogLines(FreshDir("y"), log, 0)); // a folder where the file should be
    EXPECT_FALSE(AppendLogEnd(FreshDir("z")));
}

} // namespace
} // namespace pelmora
