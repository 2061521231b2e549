// Whole runs over folders that hold temporary files of earlier copies: leftovers of writers
// that are gone are cleared away before planning (so that their folders count as empty), files
// that a live process may still be writing, or that another machine wrote, stay untouched, and
// a user's file that only looks like a temporary one is synchronised like any other file.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "RunTest.h"
#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "platform/PartialFiles.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <sys/wait.h>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

constexpr std::time_t kT = 1700000000;

// A child process that lives until the object goes: the stand-in for a copy lane or another
// program run that is writing a temporary file right now.
class LiveChild
{
public:
    LiveChild() : m_pid(::fork())
    {
        if (m_pid == 0) {
            for (;;)
                ::pause();
        }
    }
    ~LiveChild()
    {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    LiveChild(const LiveChild&) = delete;
    LiveChild& operator=(const LiveChild&) = delete;
    std::int64_t Pid() const { return m_pid; }

private:
    pid_t m_pid;
};

// The pid of a child that has exited and been reaped.
std::int64_t DeadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

class LeftoversTest : public RunTest
{
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        // Mirroring, with empty folders removed on both sides.
        task.InMain = acHostToMirror;
        task.InMirror = acDelete;
        task.NewInMain = acHostToMirror;
        task.SizeDiffer = acHostToMirror;
        task.EmptyDir = acDelete;
    }

    void Run() { ASSERT_TRUE(runner.Run(UnattendedRequest("Leftovers", host, mirror))); }

    // The name a copy of `pid` on this machine writes, during this boot or another one.
    static std::string NameOf(std::int64_t pid, bool otherBoot = false)
    {
        const PartialWriter self = ThisWriter();
        return PartialFileName({self.machine, otherBoot ? self.boot ^ 0x5a5a : self.boot, pid}, ++s_counter);
    }

    const std::string& LastLine(int fromEnd) const { return log.Lines()[log.Lines().size() - fromEnd]; }

    static inline std::uint64_t s_counter = 0;
    SyncLog log;
    HeadlessRunner runner{log};
};

TEST_F(LeftoversTest, LeftoversOfWritersThatAreGoneAreClearedAndTheirFoldersRemovedAsEmpty)
{
    WriteBytes(host + "/a.txt", "alpha", kT);
    // A copy killed half way into a folder that the host has since dropped.
    const std::string killed = NameOf(DeadPid());
    WriteBytes(mirror + "/old/deeper/" + killed, std::string(40000, 'k'), kT);
    // A copy to the host cut off by a power failure: written during an earlier boot.
    const std::string beforeReboot = NameOf(::getpid(), true);
    WriteBytes(host + "/photos/" + beforeReboot, "half a photo", kT);
    WriteBytes(host + "/photos/p.jpg", "photo", kT);
    // Next to a file the run leaves alone.
    const std::string nextToKept = NameOf(DeadPid());
    WriteBytes(mirror + "/same/" + nextToKept, "x", kT);
    WriteBytes(host + "/same/s.txt", "same", kT);
    WriteBytes(mirror + "/same/s.txt", "same", kT);

    Run();

    EXPECT_EQ(TreeOf(host), (std::set<std::string>{"a.txt", "photos/", "photos/p.jpg", "same/", "same/s.txt"}));
    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"a.txt", "photos/", "photos/p.jpg", "same/", "same/s.txt"}));
    EXPECT_EQ(ReadBytes(mirror + "/photos/p.jpg"), "photo");
    // Clearing them is housekeeping: not an operation of the run, not a failure.
    const RunResult& result = runner.Driver().Result();
    EXPECT_EQ(result.CopiedToMirrorCount, 2u);
    EXPECT_EQ(result.DeletedMirrorCount, 0u);
    EXPECT_EQ(result.FailedCount, 0u);
    EXPECT_EQ(LastLine(10), "Task finish!");
}

TEST_F(LeftoversTest, FilesThatALiveProcessMayBeWritingAndOtherMachinesFilesStay)
{
    LiveChild lane;
    const PartialWriter self = ThisWriter();
    const std::map<std::string, std::string> kept = {
        {"/busy/" + NameOf(::getpid()), "this process"},
        {"/lane/" + NameOf(lane.Pid()), "a copy lane"},
        {"/share/" + PartialFileName({self.machine ^ 1, self.boot, DeadPid()}, 9), "another computer"},
        {"/older/.pelmora-partial-0123456789abcdef", "an older program"},
    };
    for (const auto& [rel, bytes] : kept)
        WriteBytes(mirror + rel, bytes, kT);
    WriteBytes(host + "/busy/" + NameOf(lane.Pid()) + "-old-b.txt", "set aside by a lane", kT);

    Run();

    for (const auto& [rel, bytes] : kept)
        EXPECT_EQ(ReadBytes(mirror + rel), bytes) << rel;
    EXPECT_EQ(TreeOf(mirror).size(), 2 * kept.size());
    // Skipped as before: none is copied to the other side.
    EXPECT_EQ(TreeOf(host).size(), 2u);
    EXPECT_EQ(runner.Driver().Result().FailedCount, 0u);
}

TEST_F(LeftoversTest, UserFilesThatOnlyLookLikeTemporaryFilesAreSynchronised)
{
    const std::string lookalike = NameOf(DeadPid()) + ".txt";
    WriteBytes(host + "/.pelmora-partial-notes.txt", "my notes", kT);
    WriteBytes(host + "/docs/" + lookalike, "not ours either", kT);
    WriteBytes(mirror + "/.pelmora-partial-draft", "only in the mirror", kT);

    Run();

    EXPECT_EQ(ReadBytes(mirror + "/.pelmora-partial-notes.txt"), "my notes");
    EXPECT_EQ(ReadBytes(mirror + "/docs/" + lookalike), "not ours either");
    EXPECT_FALSE(fs::exists(mirror + "/.pelmora-partial-draft")); // deleted as only in the mirror
    EXPECT_EQ(runner.Driver().Result().CopiedToMirrorCount, 2u);
    EXPECT_EQ(runner.Driver().Result().DeletedMirrorCount, 1u);

    // The next run finds both sides equal: nothing of them was taken for a leftover.
    log = SyncLog();
    Run();
    EXPECT_EQ(LastLine(2), "No file need to be synchronized!");
}

TEST_F(LeftoversTest, FileTypeTasksClearTheirRootsAndCopyListedLookalikes)
{
    task.SyncType = tyFile;
    LiveChild writer;
    const std::string live = NameOf(writer.Pid());
    // A temporary file is not taken for the user's even where the list names it.
    WriteTextField(task.ExcludeList, ".pelmora-partial-notes.txt\r\nplain.txt\r\n" + live);
    WriteBytes(host + "/.pelmora-partial-notes.txt", "notes", kT);
    WriteBytes(host + "/plain.txt", "plain", kT);
    const std::string stale = NameOf(DeadPid());
    WriteBytes(mirror + "/" + stale, "half of plain", kT);
    WriteBytes(host + "/" + live, "being written", kT);

    Run();

    EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{".pelmora-partial-notes.txt", "plain.txt"}));
    EXPECT_EQ(ReadBytes(host + "/" + live), "being written");
    EXPECT_EQ(runner.Driver().Result().CopiedToMirrorCount, 2u);
}

TEST_F(LeftoversTest, ACancelledListingClearsNothing)
{
    WriteBytes(host + "/a.txt", "alpha", kT);
    const std::string stale = NameOf(DeadPid());
    WriteBytes(host + "/" + stale, "half", kT);
    // The user cancels while the host is being listed.
    runner.View().onPendingInput = [&] {
        if (runner.Driver().State() == rsListHost)
            runner.Driver().CancelWithoutQuestion();
    };

    Run();

    EXPECT_TRUE(fs::exists(host + "/" + stale));
    EXPECT_EQ(LastLine(10), "User break the task!");
}

} // namespace
} // namespace pelmora
