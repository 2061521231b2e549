#include "sync/RunDriver.h"

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/FileOps.h"
#include "sync/Listing.h"
#include "sync/Mask.h"
#include "sync/SearchDir.h"
#include "sync/SyncLog.h"

#include <optional>

namespace pelmora {

namespace {

bool IsActive(RunState state)
{
    return state >= rsListHost && state <= rsExecMirror;
}

std::string Performing(int action)
{
    return std::string(Msg(kMsgPerforming)) + ActionName(action);
}

} // namespace

RunRequest MakeRunRequest(TAppState& state)
{
    RunRequest request;
    request.Task = state.CurrentTask();
    if (request.Task && static_cast<std::size_t>(state.CurrentIndex) < state.TaskNames.size())
        request.TaskName = state.TaskNames[static_cast<std::size_t>(state.CurrentIndex)];
    request.HostDir = state.RunHostDir;
    request.MirrorDir = state.RunMirrorDir;
    request.IgnoreMasks = state.IgnoreMasks;
    request.DelMasks = state.DelMasks;
    request.OnlyTypeMasks = state.OnlyTypeMasks;
    request.AutoRun = state.AutoRun;
    request.CopyAll = state.CopyAll;
    request.ScheduledRun = state.ScheduledRun;
    request.ResultShown = &state.ResultShown;
    return request;
}

// The parts of a run that the header need not show: the compiled masks, the listing's
// observer and the file operations.
struct RunDriver::Impl final : ListingObserver
{
    Impl(RunDriver& driver) : owner(driver), ops(driver.m_view, driver.m_log, driver.m_state,
                                                 driver.m_plan->TotalBytes, driver.m_plan->DoneBytes)
    {
    }

    void SearchingFolder(std::string_view directory) override { owner.m_view.SetLabel(2, directory); }
    void ProcessPendingInput() override { owner.m_view.ProcessPendingInput(); }
    void FolderNotRead(std::string_view folder) override
    {
        owner.m_log.Add(std::string(kFolderNotReadLine).append(folder));
    }

    FileSystem& fsFor(std::string_view path) const { return fsOverride ? *fsOverride : FileSystemFor(path); }

    RunDriver& owner;
    FileOps ops;
    std::optional<TRunMasks> masks;
    FileSystem* fsOverride = nullptr;
};

RunDriver::RunDriver(RunView& view, SyncLog& log)
    : m_view(view), m_log(log), m_plan(std::make_unique<PlanSummary>()), m_impl(std::make_unique<Impl>(*this))
{
}

RunDriver::~RunDriver() = default;

void RunDriver::SetFileSystem(FileSystem* fs)
{
    m_impl->fsOverride = fs;
    m_impl->ops.SetFileSystem(fs);
}

void RunDriver::SetClock(Clock& clock)
{
    m_impl->ops.SetClock(clock);
}

bool RunDriver::Unattended() const
{
    return m_request.AutoRun || m_request.ScheduledRun || (m_request.Task && IsSet(m_request.Task->AutoMode));
}

bool RunDriver::Start(const RunRequest& request)
{
    if (m_state != rsIdle || !request.Task || request.HostDir.empty() || request.MirrorDir.empty())
        return false;
    m_request = request;

    m_view.SetFileGauge(0);
    m_view.SetTotalGauge(0);
    m_impl->ops.ResetProgress();
    m_result = RunResult{};
    m_view.SetLabel(3, "");
    m_view.SetLabel(4, "");
    m_resultShown = false;
    if (m_request.ResultShown)
        *m_request.ResultShown = false;
    m_cancelPhase = rsIdle;
    m_endLine.clear();
    *m_plan = PlanSummary{};

    // An invalid mask would otherwise silently select the wrong files: the run is refused.
    try {
        m_impl->masks.emplace(TRunMasks::Compile(m_request.IgnoreMasks, m_request.DelMasks, m_request.OnlyTypeMasks));
    } catch (const EMaskError& error) {
        m_impl->masks.reset();
        m_endLine = error.what();
        if (!Unattended())
            m_view.Ask(m_endLine, Msg(kMsgErrorCaption), BoxButtons::Ok);
        m_log.Add(DateTimeStampNow());
        m_log.Add(std::string(Msg(kMsgStartTask)) + m_request.TaskName);
        m_log.Add(m_endLine);
        m_log.Add(std::string(kLogSeparator));
        m_view.CloseRunWindow();
        return false;
    }
    m_impl->ops.SetSpeed(m_request.Task->Speed);

    m_log.Add(DateTimeStampNow());
    m_log.Add(std::string(Msg(kMsgStartTask)) + m_request.TaskName);
    m_view.Post(RunPhase::ListMain);
    return true;
}

void RunDriver::Dispatch(RunPhase phase)
{
    switch (phase) {
    case RunPhase::ListMain:
        OnListMain();
        break;
    case RunPhase::ListMirror:
        OnListMirror();
        break;
    case RunPhase::SyncMain:
        OnSyncMain();
        break;
    case RunPhase::SyncMirror:
        OnSyncMirror();
        break;
    case RunPhase::SyncFolder:
        OnSyncFolder();
        break;
    }
}

void RunDriver::OnListMain()
{
    m_lists.ClearHost();
    m_state = rsListHost;
    m_view.SetLabel(1, Msg(kMsgAnalyzingHost));
    m_view.SetLabel(2, m_request.HostDir);

    SideLister lister(*m_request.Task, m_state, *m_impl->masks, m_lists, m_impl.get());
    lister.SetFileSystem(m_impl->fsOverride);
    lister.SetOtherRoot(m_request.MirrorDir);
    lister.ListHost(m_request.HostDir);

    // A root named through a link to a folder is a folder too (the scanner listed it).
    if (!IsExistingFolder(m_impl->fsFor(m_request.HostDir), m_request.HostDir))
        m_state = rsCancelled;
    m_view.Post(RunPhase::ListMirror);
}

void RunDriver::OnListMirror()
{
    m_lists.ClearMirror();
    const TSyncTask& task = *m_request.Task;
    if (m_state != rsCancelled && !m_request.CopyAll) {
        SideLister lister(task, m_state, *m_impl->masks, m_lists, m_impl.get());
        lister.SetFileSystem(m_impl->fsOverride);
        lister.SetOtherRoot(m_request.HostDir);
        if (task.SyncType != tyFile) {
            m_state = rsListMirror;
            m_view.SetLabel(1, Msg(kMsgAnalyzingMirror));
            m_view.SetLabel(2, m_request.MirrorDir);
        }
        lister.ListMirror(m_request.MirrorDir);
        // Every host file would be "only in the host" and deleted; the run start refuses such
        // a run, and a mirror that went away since (a drive unplugged) is refused here too.
        if (task.InMain == acDelete && !IsExistingFolder(m_impl->fsFor(m_request.MirrorDir), m_request.MirrorDir))
            m_lists.MirrorUnlisted.Add("", kUnlistedAtAndBelow);
    }
    if (m_state != rsCancelled) {
        if (m_request.CopyAll && task.InMain == acDelete) {
            // Copy-all does not look at the mirror, so "only in the host" is not known of any
            // file: a delete planned from it would empty the host.
            TSyncTask copyAll = task;
            copyAll.InMain = acIgnore;
            *m_plan = PlanRun(copyAll, m_lists);
        } else {
            *m_plan = PlanRun(task, m_lists);
        }
        if (NothingToDo(*m_plan)) {
            m_endLine = Msg(kMsgNothingToSync);
            m_log.Add(m_endLine);
            m_log.Add(std::string(kLogSeparator));
            if (!Unattended())
                m_view.Ask(m_endLine, Msg(kMsgPromptCaption), BoxButtons::Ok);
            m_state = rsIdle;
            m_view.CloseRunWindow();
            return;
        }
        if (!Unattended() && m_view.ShowPreview(*this) < 1) {
            m_endLine = Msg(kMsgUserCancelled);
            m_log.Add(m_endLine);
            m_log.Add(std::string(kLogSeparator));
            m_state = rsIdle;
            m_view.CloseRunWindow();
            return;
        }
    }
    m_view.SetLabel(1, Msg(kMsgSynchronizing));
    m_view.Post(RunPhase::SyncMain);
}

void RunDriver::checkErrorLimit()
{
    const std::uint16_t limit = m_request.Task->MaxErr;
    if (limit > 0 && m_result.FailedCount >= limit)
        m_state = rsTooManyErrors;
}

void RunDriver::OnSyncMain()
{
    m_view.SetAnimation(true);
    const int count = m_lists.HostFiles.Count();
    for (int i = 0; i < count; ++i) {
        m_view.ProcessPendingInput();
        if (m_state == rsCancelled || m_state == rsTooManyErrors)
            break;
        m_state = rsExecHost;
        const TMFileInfoRec& rec = *m_lists.HostFiles[i];
        switch (rec.Op) {
        case opHostToMirror: {
            const std::string host = JoinPath(m_request.HostDir, rec.RelPath());
            m_view.SetLabel(2, host);
            m_view.SetLabel(3, Performing(acHostToMirror));
            if (m_impl->ops.CopyFile(host, JoinPath(m_request.MirrorDir, rec.RelPath()), m_request.MirrorDir) != 0)
                ++m_result.FailedCount;
            else
                ++m_result.CopiedToMirrorCount;
            break;
        }
        case opMirrorToHost: {
            const std::string mirror = JoinPath(m_request.MirrorDir, rec.RelPath());
            m_view.SetLabel(2, mirror);
            m_view.SetLabel(3, Performing(acMirrorToHost));
            if (m_impl->ops.CopyFile(mirror, JoinPath(m_request.HostDir, rec.RelPath()), m_request.HostDir) != 0)
                ++m_result.FailedCount;
            else
                ++m_result.CopiedToHostCount;
            break;
        }
        case opDelete: {
            const std::string host = JoinPath(m_request.HostDir, rec.RelPath());
            m_view.SetLabel(2, host);
            m_view.SetLabel(3, Performing(acDelete));
            if (m_impl->ops.DeleteFile(host))
                ++m_result.DeletedHostCount;
            else
                ++m_result.FailedCount;
            break;
        }
        default:
            break;
        }
        checkErrorLimit();
    }
    m_view.Post(RunPhase::SyncMirror);
}

void RunDriver::OnSyncMirror()
{
    for (int i = m_lists.MirrorFiles.Count() - 1; i >= 0; --i) {
        m_view.ProcessPendingInput();
        if (m_state == rsCancelled || m_state == rsTooManyErrors)
            break;
        m_state = rsExecMirror;
        const TMFileInfoRec& rec = *m_lists.MirrorFiles[i];
        if (rec.Op == opMirrorToHost) {
            const std::string mirror = JoinPath(m_request.MirrorDir, rec.RelPath());
            m_view.SetLabel(3, Performing(acMirrorToHost));
            m_view.SetLabel(2, mirror);
            if (m_impl->ops.CopyFile(mirror, JoinPath(m_request.HostDir, rec.RelPath()), m_request.HostDir) != 0)
                ++m_result.FailedCount;
            else
                ++m_result.CopiedToHostCount;
        } else if (rec.Op == opDelete) {
            const std::string mirror = JoinPath(m_request.MirrorDir, rec.RelPath());
            m_view.SetLabel(3, Performing(acDelete));
            m_view.SetLabel(2, mirror);
            if (m_impl->ops.DeleteFile(mirror))
                ++m_result.DeletedMirrorCount;
            else
                ++m_result.FailedCount;
        }
        checkErrorLimit();
    }
    m_view.Post(RunPhase::SyncFolder);
}

void RunDriver::OnSyncFolder()
{
    const TSyncTask& task = *m_request.Task;
    if (task.EmptyDir != acIgnore) {
        m_view.SetLabel(1, Msg(kMsgSyncingEmptyFolders));
        m_impl->ops.SyncEmptyFolders(m_lists, m_request.HostDir, m_request.MirrorDir, task.EmptyDir, m_state);
    }
    m_view.SetAnimation(false);

    if (m_state == rsCancelled)
        m_endLine = Msg(kMsgUserBreak);
    else if (m_state == rsTooManyErrors)
        m_endLine = Msg(kMsgTooManyErrors);
    else
        m_endLine = Msg(kMsgTaskFinished);
    m_log.Add(m_endLine);
    m_log.Add("");
    m_log.Add(Msg(kMsgTaskResult));
    m_log.Add(ReplaceFirst(Msg(kMsgCountHostToMirror), std::to_string(m_result.CopiedToMirrorCount)));
    m_log.Add(ReplaceFirst(Msg(kMsgCountMirrorToHost), std::to_string(m_result.CopiedToHostCount)));
    m_log.Add(ReplaceFirst(Msg(kMsgCountDeleteInHost), std::to_string(m_result.DeletedHostCount)));
    m_log.Add(ReplaceFirst(Msg(kMsgCountDeleteInMirror), std::to_string(m_result.DeletedMirrorCount)));
    m_log.Add(ReplaceFirst(Msg(kMsgSyncFailedCount), std::to_string(m_result.FailedCount)));
    m_log.Add(DateTimeStampNow());
    m_log.Add(std::string(kLogSeparator));

    if ((m_state != rsCancelled || m_cancelPhase >= rsExecHost) && !Unattended()) {
        m_view.Beep();
        m_resultShown = true;
        if (m_request.ResultShown)
            *m_request.ResultShown = true;
        m_view.ShowResults();
    }
    m_view.SetStatusLine(m_endLine);
    m_state = rsIdle;
    m_view.CloseRunWindow();
}

bool RunDriver::CancelClick()
{
    if (!IsActive(m_state))
        return false;
    if (m_view.Ask(Msg(kMsgStopRunningTask), Msg(kMsgWarningCaption), BoxButtons::YesNo) != BoxAnswer::Yes)
        return false;
    // The question is modal; the run may have moved on (or ended) while it was open.
    if (!IsActive(m_state))
        return false;
    m_cancelPhase = m_state;
    m_state = rsCancelled;
    return true;
}

bool RunDriver::CancelWithoutQuestion()
{
    if (!IsActive(m_state))
        return false;
    m_cancelPhase = m_state;
    m_state = rsCancelled;
    return true;
}

bool RunDriver::CanClose() const
{
    return !IsActive(m_state);
}

void RunDriver::FormClose()
{
    if (IsActive(m_state))
        return;
    m_lists.HostFiles.Clear();
    m_lists.MirrorFiles.FreeRecords();
}

} // namespace pelmora
