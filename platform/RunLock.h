#pragma once
// RunLock: one run per task across processes. A run holds an exclusive flock() on a lock file
// of its own task for its whole duration; a second run of the same task, from this process or
// another one (a cron line beside the open program's scheduler), finds the lock taken and is
// refused instead of racing the first over the same files. The kernel drops the lock when the
// file is closed, so a process that dies, even by SIGKILL, leaves no stale lock behind.
// One object per run; no object is shared between threads.

#include <string>
#include <string_view>

namespace pelmora {

// The folder that holds the lock files of the tasks of `configFileName`: the hidden folder
// ".pelmora-locks" beside it. Every process that reads the same configuration file, started
// from cron without a session or from the desktop, agrees on it.
std::string RunLockFolderFor(std::string_view configFileName);

// The lock file's name for a task: the name with a-z folded to upper case (task names compare
// that way), written as upper-case hex bytes so that no name can reach outside the folder or
// clash with another, then ".lock". "Backup" and "BACKUP" give "4241434B5550.lock".
std::string RunLockFileName(std::string_view taskName);

class RunLock
{
public:
    enum class Status {
        Held,        // this object holds the task's lock
        Busy,        // another run holds it; this one must not start
        Unavailable, // the folder or the lock file could not be made or opened (see Error())
    };

    RunLock() = default;
    // Releases the lock when it is held.
    ~RunLock();
    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&& other) noexcept;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock of `taskName` in `folder` without waiting. The folder is created (mode
    // 0700) when missing, the lock file (mode 0600) when missing; neither is ever removed, as
    // removing a lock file that another process has open would let two runs lock two files.
    // A lock already held by this object is released first.
    Status Acquire(const std::string& folder, std::string_view taskName);
    // Gives the lock back (closes the file). Does nothing when none is held.
    void Release();

    bool Held() const { return m_fd >= 0; }
    // The errno of the failing call after Unavailable; 0 otherwise.
    int Error() const { return m_error; }
    // The lock file of the last Acquire.
    const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    int m_error = 0;
    std::string m_path;
};

} // namespace pelmora
