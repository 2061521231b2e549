#pragma once
// RunDriver: one run of one task as a chain of five posted phases (list host, list mirror and
// plan with the preview, carry out the host list, carry out the mirror list, empty folders and
// the result), with cancel, the error limit and the result log. Talks to its window only
// through RunView. Used on the UI thread only; the mirror listing may run on a worker thread of
// the driver's own, which never calls the view (see MirrorListingThread).

#include "core/SyncTask.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "sync/FileLists.h"
#include "sync/Planner.h"
#include "sync/RunState.h"
#include "sync/RunView.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

class SyncLog;

// The plan totals under the name the rest of the run code uses.
using PlanSummary = TPlanSummary;

// What a run needs, prepared by the run start (or a test) before the window is shown.
struct RunRequest
{
    const TSyncTask* Task = nullptr; // not owned; must outlive the run
    std::string TaskName;            // as shown in the main window's task list
    std::string HostDir;             // RunHostDir: no trailing separator (except "/")
    std::string MirrorDir;           // RunMirrorDir
    std::vector<std::string> IgnoreMasks;
    std::vector<std::string> DelMasks;
    std::vector<std::string> OnlyTypeMasks;
    bool AutoRun = false;      // started from the command line
    bool CopyAll = false;      // the mirror side is not listed: every host file is only in host
    bool ScheduledRun = false; // started by the scheduler
    // When set, cleared at the start of the run and set when the results window is shown.
    bool* ResultShown = nullptr;
};

// The run's result counters, reset when a run starts.
struct RunResult
{
    std::uint32_t FailedCount = 0;
    std::uint32_t DeletedHostCount = 0;
    std::uint32_t DeletedMirrorCount = 0;
    std::uint32_t CopiedToHostCount = 0;
    std::uint32_t CopiedToMirrorCount = 0;
    std::uint32_t TrashedCount = 0; // deleted and replaced files moved into the trash
};

class RunDriver
{
public:
    // `view` and `log` must outlive the driver. The driver owns the run's four lists.
    RunDriver(RunView& view, SyncLog& log);
    ~RunDriver();
    RunDriver(const RunDriver&) = delete;
    RunDriver& operator=(const RunDriver&) = delete;

    // The window has been shown (FormShow): resets gauges, counters and labels, logs the start
    // lines and posts the host listing. Returns false, and starts nothing, when a run is
    // already going on, the request has no task, or a root is empty (an empty root would make
    // every path absolute from the file-system root). A mask list that does not compile is
    // reported ("Error" box unless unattended, and a line in the result log); then the run
    // ends at once with CloseRunWindow() and false is returned.
    bool Start(const RunRequest& request);

    // Runs the handler of a posted phase. The view calls this from its event loop.
    void Dispatch(RunPhase phase);
    void OnListMain();
    void OnListMirror();
    void OnSyncMain();
    void OnSyncMirror();
    void OnSyncFolder();

    // The Cancel button: only while the state is 1..4, and only when the user confirms the
    // question. Returns true when the run is now cancelled.
    bool CancelClick();
    // The same cancel without the question, for a program asked to quit from outside.
    // Returns true when a run in states 1..4 is now cancelled, false when none was active.
    bool CancelWithoutQuestion();
    // The window may close (FormClose) only outside states 1..4.
    bool CanClose() const;
    // The window closes: frees the file records of both file lists. Does nothing while the
    // run is active.
    void FormClose();

    RunState State() const { return m_state; }
    // The state at the moment the user confirmed a cancel; rsIdle for a run without one.
    RunState CancelPhase() const { return m_cancelPhase; }
    const RunResult& Result() const { return m_result; }
    // True when the last run showed its results window.
    bool ResultShown() const { return m_resultShown; }
    // AutoRun, the task's AutoMode or ScheduledRun: no boxes, no preview, no results.
    bool Unattended() const;
    // True when the last run was held by the mass-deletion guard and deleted nothing.
    bool Held() const { return m_held; }
    // The last run's end line (messages 67, 68 or 69), or the text of an early end (55, 63).
    const std::string& EndLine() const { return m_endLine; }
    const RunRequest& Request() const { return m_request; }

    // Test and benchmark hooks: every file-system call of the run goes to `fs` (nullptr: the
    // implementation that serves each path), the speed limit runs on `clock`. Not owned.
    void SetFileSystem(FileSystem* fs);
    void SetClock(Clock& clock);
    // Copy lanes: with `count` 0 (the default) a run with a side on a network share and no
    // speed limit hands its file operations to kNetworkLanes helper processes; 1 keeps every
    // run on this thread; more forces that many lanes for any run without a speed limit (tests).
    // `program` is the lane program; "" looks for pelmora-lane beside the executable, then in
    // <prefix>/libexec/pelmora/. A run without the program, or whose lanes do not start, works
    // on this thread.
    void SetCopyLanes(int count, std::string program = {});
    // The lanes the last run used (0: it worked on this thread).
    int LanesUsed() const { return m_lanesUsed; }

    // How the two sides are listed. Parallel (the default) lists the mirror on a worker
    // thread while the host is listed here, when both roots are local and not the same
    // folder; otherwise, and with Sequential, the mirror is listed after the host. Either way
    // the lists, the failures and the log lines are the same.
    enum class ListingMode {
        Parallel,
        Sequential,
    };
    void SetListingMode(ListingMode mode);
    // True when the last run listed its mirror on the worker thread.
    bool ListedInParallel() const { return m_listedInParallel; }

    // The run's lists and plan totals; the preview reads and changes them in place.
    TRunLists& Lists() { return m_lists; }
    PlanSummary& Plan() { return *m_plan; }

    // Lanes for a run with a network side; fewer runs on one thread, more gains little as
    // the server does the work of every lane.
    static constexpr int kNetworkLanes = 4;
    // A run with fewer file operations than this works on this thread: starting the lanes and
    // logging them in costs more than they save.
    static constexpr int kMinLaneOperations = 24;

private:
    struct Impl;
    struct Operation;
    void checkErrorLimit();
    // The mass-deletion guard, once the plan is final: asks an attended run, holds an
    // unattended one. False when the run was held and has ended.
    bool passesDeletionGuard();
    // The file operations the two lists hold now (copies and deletions).
    int countOperations() const;
    // Logs and counts every link or special file that left the other side's namesake alone.
    void reportShadowedEntries();
    // Carries out one operation of the file lists, on this thread or through a lane.
    void carryOut(const Operation& op);
    void finish(const Operation& op, bool ok);
    void startLanes();
    // Starts the mirror listing on the worker thread when the run allows it.
    void startMirrorListing();
    // Waits for the worker's listing while showing its progress and passing on a cancel, then
    // takes its lists and logs its failures; fills `stale` with its leftover copies.
    void finishMirrorListing(std::vector<std::string>& stale);
    // Stops the worker's listing and drops what it found.
    void dropMirrorListing();
    // Waits a moment for lane answers and takes the finished ones in order.
    void pumpLanes(int timeoutMs);
    void drainLanes();

    RunView& m_view;
    SyncLog& m_log;
    RunRequest m_request;
    RunState m_state = rsIdle;
    RunState m_cancelPhase = rsIdle;
    RunResult m_result;
    bool m_resultShown = false;
    bool m_held = false;
    std::string m_endLine;
    TRunLists m_lists;
    int m_lanesUsed = 0;
    bool m_listedInParallel = false;
    std::unique_ptr<PlanSummary> m_plan;
    std::unique_ptr<Impl> m_impl;
};

} // namespace pelmora
