#include "platform/RunLock.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora {
namespace {

class RunLockTest : public testing::Test
{
protected:
    void SetUp() override
    {
        root = m_folder.Root();
        folder = RunLockFolderFor(root + "/Pelmora.cfg");
    }
    void TearDown() override
    {
        for (pid_t pid : children) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    // A child process that takes the lock of `task`, says so through a pipe and then waits to
    // be killed. Returns its pid once it holds the lock (or has failed to take it).
    pid_t childHolding(const std::string& task)
    {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(fds[0]);
            RunLock lock;
            const char answer = lock.Acquire(folder, task) == RunLock::Status::Held ? 'H' : 'F';
            (void)!::write(fds[1], &answer, 1);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        char answer = 0;
        EXPECT_EQ(::read(fds[0], &answer, 1), 1);
        ::close(fds[0]);
        EXPECT_EQ(answer, 'H');
        children.push_back(pid);
        return pid;
    }

    void killChild(pid_t pid)
    {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        std::erase(children, pid);
    }

    test::TempFolder m_folder{"lock"};
    std::string root;
    std::string folder;
    std::vector<pid_t> children;
};

TEST(RunLockName, OneFilePerTaskNameAsTheCommandLineComparesThem)
{
    EXPECT_EQ(RunLockFolderFor("/opt/pelmora/Pelmora.cfg"), "/opt/pelmora/.pelmora-locks");
    EXPECT_EQ(RunLockFileName("Backup"), "4241434B5550.lock");
    EXPECT_EQ(RunLockFileName("backup"), RunLockFileName("BACKUP"));
    EXPECT_NE(RunLockFileName("Backup1"), RunLockFileName("Backup2"));
    // Only a-z fold: another letter's case is another task, as -A compares names.
    EXPECT_NE(RunLockFileName("\xC3\xA9t\xC3\xA9"), RunLockFileName("\xC3\x89T\xC3\x89"));
    // Names that would reach outside the folder, or hide, stay plain file names in it.
    for (const char* name : {"../x", "/", ".", "..", "a/b", ""}) {
        const std::string file = RunLockFileName(name);
        EXPECT_EQ(file.find('/'), std::string::npos) << name;
        EXPECT_NE(file.front(), '.') << name;
    }
}

TEST_F(RunLockTest, SecondRunOfTheSameTaskIsBusyUntilTheFirstEnds)
{
    RunLock first;
    ASSERT_EQ(first.Acquire(folder, "Backup"), RunLock::Status::Held);
    EXPECT_TRUE(first.Held());

    struct stat info
    {
    };
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(first.Path(), folder + "/4241434B5550.lock");

    RunLock second;
    EXPECT_EQ(second.Acquire(folder, "BACKUP"), RunLock::Status::Busy);
    EXPECT_FALSE(second.Held());
    // Another task runs beside it.
    RunLock other;
    EXPECT_EQ(other.Acquire(folder, "Photos"), RunLock::Status::Held);

    first.Release();
    EXPECT_EQ(second.Acquire(folder, "backup"), RunLock::Status::Held);
    // The lock file stays for the next run.
    second.Release();
    EXPECT_TRUE(std::filesystem::exists(folder + "/4241434B5550.lock"));
    EXPECT_EQ(first.Acquire(folder, "Backup"), RunLock::Status::Held);
}

TEST_F(RunLockTest, ScopeEndAndMoveKeepTheLockWithItsOwner)
{
    {
        RunLock scoped;
        ASSERT_EQ(scoped.Acquire(folder, "Job"), RunLock::Status::Held);
        RunLock moved = std::move(scoped);
        EXPECT_FALSE(scoped.Held());
        RunLock probe;
        EXPECT_EQ(probe.Acquire(folder, "Job"), RunLock::Status::Busy);
    }
    RunLock after;
    EXPECT_EQ(after.Acquire(folder, "Job"), RunLock::Status::Held);
}

TEST_F(RunLockTest, AnotherProcessHoldingTheLockRefusesUntilItDies)
{
    const pid_t holder = childHolding("Backup");
    RunLock mine;
    EXPECT_EQ(mine.Acquire(folder, "backup"), RunLock::Status::Busy);
    // A process killed in the middle of its run leaves no stale lock.
    killChild(holder);
    EXPECT_EQ(mine.Acquire(folder, "backup"), RunLock::Status::Held);
}

TEST_F(RunLockTest, ProgramsStartedDuringTheRunDoNotKeepTheLock)
{
    RunLock mine;
    ASSERT_EQ(mine.Acquire(folder, "Backup"), RunLock::Status::Held);
    // A helper started by the run (a copy lane) outlives it here. The pipe's end in the child
    // closes on exec: its end of file says the helper program is running.
    int started[2];
    ASSERT_EQ(::pipe2(started, O_CLOEXEC), 0);
    const pid_t helper = ::fork();
    if (helper == 0) {
        ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    children.push_back(helper);
    ::close(started[1]);
    char byte = 0;
    EXPECT_EQ(::read(started[0], &byte, 1), 0);
    ::close(started[0]);
    mine.Release();
    RunLock next;
    EXPECT_EQ(next.Acquire(folder, "Backup"), RunLock::Status::Held);
}

TEST_F(RunLockTest, AFolderThatCannotBeMadeIsReportedNotBusy)
{
    // A file where the lock folder should be.
    std::ofstream(folder) << "in the way";
    RunLock lock;
    EXPECT_EQ(lock.Acquire(folder, "Backup"), RunLock::Status::Unavailable);
    EXPECT_EQ(lock.Error(), ENOTDIR);
    EXPECT_FALSE(lock.Held());
}

} // namespace
} // namespace pelmora
