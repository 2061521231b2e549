#include "sync/RunDriver.h"

#include "core/Utf8.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/PartialFiles.h"
#include "platform/PosixFileSystem.h"
#include "platform/ProgramPlace.h"
#include "sync/CopyLanes.h"
#include "sync/DeletionGuard.h"
#include "sync/FileOps.h"
#include "sync/Listing.h"
#include "sync/Mask.h"
#include "sync/SearchDir.h"
#include "sync/SyncLog.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>

namespace pelmora {

namespace {

bool IsActive(RunState state)
{
    return state >= rsListHost && state <= rsExecMirror;
}

std::string Performing(TAction action)
{
    return std::string(Msg(kMsgPerforming)) + ActionName(action);
}

} // namespace

// One file operation of the lists: what to do, what the window shows, and which counter a
// success adds to.
struct RunDriver::Operation
{
    LaneJobKind kind = LaneJobKind::Copy;
    TAction action = acIgnore;
    std::string relPath;
    std::string source;       // copies only
    std::string target;       // the copy's target or the file to delete
    std::string root;         // the root of the side the target lies on
    bool targetListed = true; // false: the listing found nothing at the copy's target
    std::uint32_t RunResult::*counter = nullptr;
};

// The parts of a run that the header need not show: the compiled masks, the listing's
// observer, the file operations and the copy lanes.
struct RunDriver::Impl final : ListingObserver
{
    Impl(RunDriver& driver)
        : owner(driver),
          ops(driver.m_view, driver.m_log, driver.m_state, driver.m_plan->TotalBytes, driver.m_plan->DoneBytes)
    {
    }

    void SearchingFolder(std::string_view directory) override { owner.m_view.SetLabel(RunLabel::Item, directory); }
    void ProcessPendingInput() override { owner.m_view.ProcessPendingInput(); }
    // A place the listing could not read is a failed operation of the run: the run did not
    // synchronise what lies there.
    void FolderNotRead(std::string_view folder) override
    {
        owner.m_log.Add(std::string(Msg(kMsgFolderNotRead)).append(folder));
        ++listingFailures;
    }
    void EntryNotRead(std::string_view item) override
    {
        owner.m_log.Add(std::string(Msg(kMsgEntryNotRead)).append(item));
        ++listingFailures;
    }

    // Every file-system call of the run goes here: the test's file system when one is set,
    // else the run's own, which resolves everything below the two roots from their handles.
    FileSystem& fs() const { return fsOverride ? *fsOverride : *rooted; }

    // An operation handed to a lane, kept until it is taken in list order.
    struct Pending
    {
        std::int64_t id = 0;
        Operation op;
        bool done = false;
        LaneResult result;
    };

    RunDriver& owner;
    FileOps ops;
    std::optional<TRunMasks> masks;
    FileSystem* fsOverride = nullptr;
    std::uint32_t listingFailures = 0; // places the listing of this run could not read
    std::unique_ptr<RootedFileSystem> rooted = std::make_unique<RootedFileSystem>();

    // The operation handed out with `id` that has not been taken yet, or nullptr.
    Pending* findPending(std::int64_t id)
    {
        for (Pending& p : pending) {
            if (p.id == id)
                return &p;
        }
        return nullptr;
    }

    // Operations go to the lanes while any is running; otherwise they are done on this thread.
    CopyLanes lanes;
    int laneCount = 0; // SetCopyLanes
    std::string laneProgram;
    std::string trashRun; // the run's folder in a share's trash
    bool cancelSent = false;
    std::int64_t lastId = 0;
    std::deque<Pending> pending;

    // The listing of the mirror on the worker thread, while it runs. The worker's file system
    // is its own; a file system set by a test is shared by both listings through `shared`,
    // which every listing call of this thread then goes through as well.
    ListingMode listingMode = ListingMode::Parallel;
    std::unique_ptr<FileSystem> workerFs;
    std::unique_ptr<SerializedFileSystem> shared;
    std::unique_ptr<MirrorListingThread> mirrorListing; // last: stopped before the above go
    // The file system of this thread's listing calls.
    FileSystem& listingFs() const { return shared ? *shared : fs(); }
    int operationNumber = 0; // the file operation under way, counted from 1 over both lists
};

RunDriver::RunDriver(RunView& view, SyncLog& log)
    : m_view(view), m_log(log), m_plan(std::make_unique<PlanSummary>()), m_impl(std::make_unique<Impl>(*this))
{
}

RunDriver::~RunDriver() = default;

void RunDriver::SetFileSystem(FileSystem* fs)
{
    m_impl->fsOverride = fs;
    m_impl->ops.SetFileSystem(&m_impl->fs());
}

void RunDriver::SetClock(Clock& clock)
{
    m_impl->ops.SetClock(clock);
}

void RunDriver::SetCopyLanes(int count, std::string program)
{
    m_impl->laneCount = count < 0 ? 0 : count;
    m_impl->laneProgram = std::move(program);
}

void RunDriver::SetListingMode(ListingMode mode)
{
    m_impl->listingMode = mode;
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
    m_view.SetLabel(RunLabel::Operation, "");
    m_view.SetLabel(RunLabel::Total, "");
    m_view.SetLabel(RunLabel::Progress, "");
    m_resultShown = false;
    if (m_request.ResultShown)
        *m_request.ResultShown = false;
    m_cancelPhase = rsIdle;
    m_held = false;
    m_endLine.clear();
    *m_plan = PlanSummary{};
    m_impl->listingFailures = 0;

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
    m_impl->trashRun = TrashRunName(std::time(nullptr));
    m_impl->ops.SetTrash(DeletesToTrash(*m_request.Task), m_impl->trashRun);
    // A fresh handle on each root per run: a root that was replaced since the last run is
    // taken as it is now.
    m_impl->rooted =
        std::make_unique<RootedFileSystem>(std::vector<std::string>{m_request.HostDir, m_request.MirrorDir});
    m_impl->ops.SetFileSystem(&m_impl->fs());

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
    m_view.SetLabel(RunLabel::Phase, Msg(kMsgAnalyzingHost));
    m_view.SetLabel(RunLabel::Item, m_request.HostDir);
    startMirrorListing();

    SideLister lister(*m_request.Task, m_state, *m_impl->masks, m_lists, m_impl.get());
    lister.SetFileSystem(&m_impl->listingFs());
    lister.SetOtherRoot(m_request.MirrorDir);
    lister.ListHost(m_request.HostDir);
    // Leftovers of copies that died go before planning, so that a folder holding nothing else
    // is empty for the empty-folder step.
    if (m_state != rsCancelled)
        RemoveStalePartials(m_impl->listingFs(), lister.StalePartials());

    // A root named through a link to a folder is a folder too (the scanner listed it).
    if (!IsExistingFolder(m_impl->listingFs(), m_request.HostDir))
        m_state = rsCancelled;
    // The mirror would not have been listed after a host listing that ended so.
    if (m_state == rsCancelled)
        dropMirrorListing();
    m_view.Post(RunPhase::ListMirror);
}

void RunDriver::startMirrorListing()
{
    Impl& impl = *m_impl;
    dropMirrorListing();
    m_listedInParallel = false;
    if (impl.listingMode != ListingMode::Parallel || m_state == rsCancelled || m_request.CopyAll)
        return;
    // A share's client library and its sessions serve one thread: a run with a side on a share
    // lists one side after the other.
    if (IsNetworkPath(m_request.HostDir) || IsNetworkPath(m_request.MirrorDir))
        return;
    // Two roots that are one folder would have both listings clear the same leftovers.
    FileStat hostStat;
    FileStat mirrorStat;
    FileSystem& probe = impl.fs();
    if (probe.Stat(m_request.HostDir + "/", hostStat) == 0 && probe.Stat(m_request.MirrorDir + "/", mirrorStat) == 0 &&
        hostStat.inode != 0 && hostStat.inode == mirrorStat.inode && hostStat.device == mirrorStat.device)
        return;
    FileSystem* workerFs = nullptr;
    if (impl.fsOverride) {
        impl.shared = std::make_unique<SerializedFileSystem>(*impl.fsOverride);
        workerFs = impl.shared.get();
    } else {
        impl.workerFs =
            std::make_unique<RootedFileSystem>(std::vector<std::string>{m_request.HostDir, m_request.MirrorDir});
        workerFs = impl.workerFs.get();
    }
    impl.mirrorListing = std::make_unique<MirrorListingThread>(*m_request.Task, *impl.masks, m_request.MirrorDir,
                                                               m_request.HostDir, *workerFs);
    m_listedInParallel = true;
}

void RunDriver::dropMirrorListing()
{
    Impl& impl = *m_impl;
    if (impl.mirrorListing) {
        impl.mirrorListing->Cancel();
        try {
            impl.mirrorListing->Join();
        } catch (...) {
            // What a listing that is not wanted threw is of no interest either.
        }
        impl.mirrorListing.reset();
    }
    impl.shared.reset();
    impl.workerFs.reset();
}

void RunDriver::finishMirrorListing(std::vector<std::string>& stale)
{
    Impl& impl = *m_impl;
    MirrorListingThread& listing = *impl.mirrorListing;
    ListingMailbox& mailbox = listing.Mailbox();
    // The failures go to the log in the order the worker met them, after the host's, as a
    // listing of one side after the other writes them.
    const auto takeFailures = [&] {
        for (const ListingMailbox::Failure& failure : mailbox.TakeFailures()) {
            if (failure.folder)
                impl.FolderNotRead(failure.path);
            else
                impl.EntryNotRead(failure.path);
        }
    };
    std::string folder;
    for (;;) {
        const bool ended = mailbox.WaitEnded(std::chrono::milliseconds(10));
        if (mailbox.TakeFolder(folder))
            m_view.SetLabel(RunLabel::Item, folder);
        takeFailures();
        if (ended)
            break;
        m_view.ProcessPendingInput();
        if (m_state == rsCancelled)
            listing.Cancel();
    }
    try {
        listing.Join();
    } catch (...) {
        dropMirrorListing();
        throw;
    }
    takeFailures();
    m_lists.SwapMirror(listing.Lists());
    stale = listing.StalePartials();
    impl.mirrorListing.reset();
    impl.workerFs.reset();
}

void RunDriver::OnListMirror()
{
    m_lists.ClearMirror();
    const TSyncTask& task = *m_request.Task;
    if (m_state != rsCancelled && !m_request.CopyAll) {
        if (task.SyncType != tyFile) {
            m_state = rsListMirror;
            m_view.SetLabel(RunLabel::Phase, Msg(kMsgAnalyzingMirror));
            m_view.SetLabel(RunLabel::Item, m_request.MirrorDir);
        }
        std::vector<std::string> stale;
        if (m_impl->mirrorListing) {
            finishMirrorListing(stale);
        } else {
            SideLister lister(task, m_state, *m_impl->masks, m_lists, m_impl.get());
            lister.SetFileSystem(&m_impl->listingFs());
            lister.SetOtherRoot(m_request.HostDir);
            lister.ListMirror(m_request.MirrorDir);
            stale = lister.StalePartials();
        }
        // Every call from here on is this thread's alone.
        m_impl->shared.reset();
        if (m_state != rsCancelled)
            RemoveStalePartials(m_impl->fs(), stale);
        // Every host file would be "only in the host" and deleted; the run start refuses such
        // a run, and a mirror that went away since (a drive unplugged) is refused here too.
        if (task.InMain == acDelete && !IsExistingFolder(m_impl->fs(), m_request.MirrorDir) &&
            FindFolder(m_lists.MirrorUnlisted, "") < 0) {
            m_lists.MirrorUnlisted.Add("", kUnlistedNotRead);
            m_impl->FolderNotRead(m_request.MirrorDir);
        }
    }
    dropMirrorListing();
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
        reportShadowedEntries();
        // Places that could not be read count as failures of the run, before any operation:
        // a run that skipped part of a tree never ends as if nothing went wrong.
        m_result.FailedCount += m_impl->listingFailures;
        checkErrorLimit();
        const bool nothingToDo = NothingToDo(*m_plan);
        if (nothingToDo && m_result.FailedCount == 0) {
            m_endLine = Msg(kMsgNothingToSync);
            m_log.Add(m_endLine);
            m_log.Add(std::string(kLogSeparator));
            if (!Unattended())
                m_view.Ask(m_endLine, Msg(kMsgPromptCaption), BoxButtons::Ok);
            m_state = rsIdle;
            m_view.CloseRunWindow();
            return;
        }
        // With nothing to choose, or the error limit already reached, there is no preview: the
        // run goes on to its result, which shows the failures.
        if (!Unattended() && !nothingToDo && m_state != rsTooManyErrors && m_view.ShowPreview(*this) < 1) {
            m_endLine = Msg(kMsgUserCancelled);
            m_log.Add(m_endLine);
            m_log.Add(std::string(kLogSeparator));
            m_state = rsIdle;
            m_view.CloseRunWindow();
            return;
        }
        if (m_state != rsTooManyErrors && !passesDeletionGuard())
            return;
    } else {
        // A run that ends as cancelled (its host root could not be read, or the user broke
        // off the scan) still counts what its listing could not read.
        m_result.FailedCount += m_impl->listingFailures;
        checkErrorLimit();
    }
    m_view.SetLabel(RunLabel::Phase, Msg(kMsgSynchronizing));
    m_view.Post(RunPhase::SyncMain);
}

bool RunDriver::passesDeletionGuard()
{
    // A copy-all run treats the mirror as empty and deletes nothing there.
    if (m_request.CopyAll || !GuardsMassDeletion(*m_request.Task))
        return true;
    const std::optional<MassDeletion> mass = FindMassDeletion(m_lists);
    if (!mass)
        return true;
    const std::string deleted = std::to_string(mass->Deleted);
    const std::string files = std::to_string(mass->Files);
    if (!Unattended()) {
        const std::string question = ReplaceFirst(
            ReplaceFirst(Msg(mass->MirrorSide ? kMsgGuardAskMirror : kMsgGuardAskHost), deleted), "%2", files);
        if (m_view.Ask(question, Msg(kMsgWarningCaption), BoxButtons::YesNoDefaultNo) == BoxAnswer::Yes)
            return true;
    }
    m_held = true;
    // The name goes in last: a "%2" of its own must stay as it is.
    m_endLine = ReplaceFirst(
        ReplaceFirst(ReplaceFirst(Msg(mass->MirrorSide ? kMsgGuardHeldMirror : kMsgGuardHeldHost), "%3", files), "%2",
                     deleted),
        "%1", m_request.TaskName);
    m_log.Add(m_endLine);
    m_log.Add(std::string(kLogSeparator));
    m_state = rsIdle;
    m_view.CloseRunWindow();
    return false;
}

void RunDriver::checkErrorLimit()
{
    const std::uint16_t limit = m_request.Task->MaxErr;
    if (limit > 0 && m_result.FailedCount >= limit)
        m_state = rsTooManyErrors;
}

void RunDriver::reportShadowedEntries()
{
    // A link, FIFO or device on one side holds nothing the run can copy; left alone, it only
    // matters where the other side has a file or folder at or below its path, which the plan
    // then left alone too. Each such entry is logged once and counted.
    const auto report = [&](const TFolderList& unlisted, const std::string& root, const auto& files,
                            const TFolderList& folders) {
        const bool any = std::any_of(unlisted.begin(), unlisted.end(),
                                     [](const TFolderLine& line) { return line.Value == kUnlistedNotFileOrFolder; });
        if (!any)
            return;
        const TFolderIndex index(unlisted);
        std::vector<bool> shadows(static_cast<std::size_t>(unlisted.Count()), false);
        const auto mark = [&](std::string_view path) {
            // The path itself and each folder above it: "/a/b/c", "/a/b", "/a".
            while (!path.empty()) {
                if (const int at = index.Find(path); at >= 0)
                    shadows[static_cast<std::size_t>(at)] = true;
                const std::size_t slash = path.rfind('/');
                if (slash == std::string_view::npos || slash == 0)
                    break;
                path = path.substr(0, slash);
            }
        };
        for (const TMFileInfoRec* rec : files)
            mark(rec->RelPath());
        for (const TFolderLine& line : folders)
            mark(line.Path);
        for (int i = 0; i < unlisted.Count(); ++i) {
            if (!shadows[static_cast<std::size_t>(i)] || unlisted.Values(i) != kUnlistedNotFileOrFolder)
                continue;
            m_log.Add(std::string(Msg(kMsgNotFileOrFolder)).append(JoinPath(root, unlisted.Strings(i))));
            ++m_impl->listingFailures;
        }
    };
    report(m_lists.HostUnlisted, m_request.HostDir, m_lists.MirrorFiles, m_lists.MirrorFolders);
    report(m_lists.MirrorUnlisted, m_request.MirrorDir, m_lists.HostFiles, m_lists.HostFolders);
}

void RunDriver::startLanes()
{
    Impl& impl = *m_impl;
    impl.cancelSent = false;
    impl.pending.clear();
    m_lanesUsed = 0;
    int count = impl.laneCount;
    // A speed limit is one budget for the whole run, which lanes could not share.
    if (count == 1 || m_request.Task->Speed > 0)
        return;
    std::vector<std::string> networkRoots;
    for (const std::string* root : {&m_request.HostDir, &m_request.MirrorDir}) {
        if (IsNetworkPath(*root))
            networkRoots.push_back(*root);
    }
    if (count == 0) {
        if (impl.fsOverride != nullptr || networkRoots.empty())
            return;
        count = kNetworkLanes;
    }
    int operations = 0;
    for (int i = 0; i < m_lists.HostFiles.Count() && operations < kMinLaneOperations; ++i) {
        const TFileOp op = m_lists.HostFiles[i]->Op;
        operations += op == opHostToMirror || op == opMirrorToHost || op == opDelete;
    }
    for (int i = 0; i < m_lists.MirrorFiles.Count() && operations < kMinLaneOperations; ++i) {
        const TFileOp op = m_lists.MirrorFiles[i]->Op;
        operations += op == opMirrorToHost || op == opDelete;
    }
    if (operations < kMinLaneOperations)
        return;
    const std::string program =
        impl.laneProgram.empty() ? FindHelperProgram(ExecutablePath(), "pelmora-lane") : impl.laneProgram;
    if (program.empty())
        return;
    // A large file in progress takes the file line and gauge while it reports, so that a long
    // copy is seen moving even while small files pass by in the other lanes.
    impl.lanes.onProgress = [this](std::int64_t id, std::int64_t bytes, int percent) {
        m_plan->DoneBytes += bytes;
        if (const Impl::Pending* p = m_impl->findPending(id)) {
            m_view.SetLabel(RunLabel::Item, p->op.source);
            m_view.SetLabel(RunLabel::Operation, Performing(p->op.action));
            m_view.SetFileGauge(percent);
        }
        m_impl->ops.ShowTotals();
    };
    m_lanesUsed = impl.lanes.Start(program, count, UserLangId(), networkRoots);
}

void RunDriver::finish(const Operation& op, bool ok)
{
    if (ok)
        ++(m_result.*op.counter);
    else
        ++m_result.FailedCount;
    checkErrorLimit();
}

void RunDriver::carryOut(const Operation& op)
{
    Impl& impl = *m_impl;
    if (impl.lanes.Lanes() > 0) {
        // Room in a lane, and no operation on the same name (letter case aside) under way: on a
        // share that ignores case two such names are one file, and their order must hold.
        const auto clash = [&] {
            return std::any_of(impl.pending.begin(), impl.pending.end(),
                               [&](const Impl::Pending& p) { return EqualsAsciiNoCase(p.op.relPath, op.relPath); });
        };
        while (m_state != rsCancelled && m_state != rsTooManyErrors && (!impl.lanes.CanSubmit() || clash())) {
            if (impl.lanes.Lanes() == 0)
                break;
            pumpLanes(20);
        }
        // Answers wait until the ones before them are taken, so failures not yet counted may
        // already reach the error limit; handing out more would run on far past it.
        std::uint32_t failedAhead = m_result.FailedCount;
        for (const Impl::Pending& p : impl.pending)
            failedAhead += p.done && p.result.result != 0 && p.result.result != kLaneJobSkipped;
        if (m_request.Task->MaxErr > 0 && failedAhead >= m_request.Task->MaxErr)
            drainLanes();
        if (m_state == rsCancelled || m_state == rsTooManyErrors)
            return;
    }
    m_view.SetLabel(RunLabel::Item, op.kind == LaneJobKind::Copy ? op.source : op.target);
    m_view.SetLabel(RunLabel::Operation, Performing(op.action));
    impl.ops.ShowOperation(++impl.operationNumber);
    if (impl.lanes.Lanes() == 0) {
        // No lane runs, or every lane has gone: what the lanes answered is taken first, and
        // the operation is done here.
        drainLanes();
        const bool ok = op.kind == LaneJobKind::Copy
                            ? impl.ops.CopyFile(op.source, op.target, op.root, op.targetListed) == kCopyOk
                            : impl.ops.DeleteFile(op.target, op.root);
        m_result.TrashedCount += impl.ops.TakeTrashed();
        finish(op, ok);
        return;
    }
    m_view.SetFileGauge(0);
    Impl::Pending entry;
    entry.id = ++impl.lastId;
    entry.op = op;
    impl.pending.push_back(std::move(entry));
    impl.lanes.Submit(LaneJob{impl.lastId, op.kind, op.source, op.target, op.root, op.targetListed,
                              DeletesToTrash(*m_request.Task), impl.trashRun});
    pumpLanes(0);
}

void RunDriver::pumpLanes(int timeoutMs)
{
    Impl& impl = *m_impl;
    m_view.ProcessPendingInput();
    if (m_state == rsCancelled && !impl.cancelSent) {
        impl.lanes.Cancel();
        impl.cancelSent = true;
    }
    bool moved = false;
    impl.lanes.Pump(timeoutMs, [&](LaneResult&& result) {
        Impl::Pending* p = impl.findPending(result.id);
        if (p == nullptr)
            return;
        m_plan->DoneBytes += result.bytes;
        moved = moved || result.bytes != 0;
        if (p->id == impl.lastId)
            m_view.SetFileGauge(100);
        p->result = std::move(result);
        p->done = true;
    });
    // Results are taken in list order, so the log reads as a run on one thread would write it.
    while (!impl.pending.empty() && impl.pending.front().done) {
        Impl::Pending p = std::move(impl.pending.front());
        impl.pending.pop_front();
        if (p.result.result == kLaneJobSkipped)
            continue;
        if (p.result.result == kLaneBroken) {
            // The lane went away before it answered: the operation cannot be taken as done.
            if (p.op.kind == LaneJobKind::Copy)
                m_log.Add(std::string(Msg(kMsgCopyError)).append(p.op.relPath));
            else
                m_log.Add(std::string(Msg(kMsgDeleteFailed)).append(p.op.target));
        } else {
            for (std::string& line : p.result.lines)
                m_log.Add(std::move(line));
            m_result.TrashedCount += static_cast<std::uint32_t>(std::max<std::int64_t>(p.result.trashed, 0));
        }
        finish(p.op, p.result.result == 0);
    }
    if (moved)
        impl.ops.ShowTotals();
}

void RunDriver::drainLanes()
{
    Impl& impl = *m_impl;
    while (!impl.pending.empty()) {
        if (impl.lanes.InFlight() == 0) {
            // Nothing can answer any more; should that ever happen, the rest failed.
            for (Impl::Pending& p : impl.pending) {
                p.done = true;
                p.result = LaneResult{p.id, kLaneBroken, 0, {}, 0};
            }
        }
        pumpLanes(20);
    }
}

int RunDriver::countOperations() const
{
    int count = 0;
    for (int i = 0; i < m_lists.HostFiles.Count(); ++i) {
        const TFileOp op = m_lists.HostFiles[i]->Op;
        count += op == opHostToMirror || op == opMirrorToHost || op == opDelete;
    }
    // The mirror list holds the copies and deletions of files only the mirror has; paired
    // files are carried out from the host list.
    for (int i = 0; i < m_lists.MirrorFiles.Count(); ++i) {
        const TFileOp op = m_lists.MirrorFiles[i]->Op;
        count += op == opMirrorToHost || op == opDelete;
    }
    return count;
}

void RunDriver::OnSyncMain()
{
    m_view.SetAnimation(true);
    startLanes();
    m_impl->operationNumber = 0;
    if (m_state != rsCancelled && m_state != rsTooManyErrors) {
        if (const int operations = countOperations(); operations > 0)
            m_impl->ops.StartProgress(operations);
    }
    const int count = m_lists.HostFiles.Count();
    for (int i = 0; i < count; ++i) {
        m_view.ProcessPendingInput();
        if (m_state == rsCancelled || m_state == rsTooManyErrors)
            break;
        m_state = rsExecHost;
        const TMFileInfoRec& rec = *m_lists.HostFiles[i];
        Operation op;
        op.relPath = rec.RelPath();
        switch (rec.Op) {
        case opHostToMirror:
            op.action = acHostToMirror;
            op.source = JoinPath(m_request.HostDir, op.relPath);
            op.target = JoinPath(m_request.MirrorDir, op.relPath);
            op.root = m_request.MirrorDir;
            op.targetListed = m_lists.MirrorFiles.Find(op.relPath) >= 0;
            op.counter = &RunResult::CopiedToMirrorCount;
            break;
        case opMirrorToHost:
            op.action = acMirrorToHost;
            op.source = JoinPath(m_request.MirrorDir, op.relPath);
            op.target = JoinPath(m_request.HostDir, op.relPath);
            op.root = m_request.HostDir;
            op.counter = &RunResult::CopiedToHostCount;
            break;
        case opDelete:
            op.kind = LaneJobKind::Delete;
            op.action = acDelete;
            op.target = JoinPath(m_request.HostDir, op.relPath);
            op.root = m_request.HostDir;
            op.counter = &RunResult::DeletedHostCount;
            break;
        default:
            continue;
        }
        carryOut(op);
    }
    drainLanes();
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
        Operation op;
        op.relPath = rec.RelPath();
        if (rec.Op == opMirrorToHost) {
            op.action = acMirrorToHost;
            op.source = JoinPath(m_request.MirrorDir, op.relPath);
            op.target = JoinPath(m_request.HostDir, op.relPath);
            op.root = m_request.HostDir;
            // Paired files are carried out from the host list: these are only in the mirror.
            op.targetListed = false;
            op.counter = &RunResult::CopiedToHostCount;
        } else if (rec.Op == opDelete) {
            op.kind = LaneJobKind::Delete;
            op.action = acDelete;
            op.target = JoinPath(m_request.MirrorDir, op.relPath);
            op.root = m_request.MirrorDir;
            op.counter = &RunResult::DeletedMirrorCount;
        } else {
            continue;
        }
        carryOut(op);
    }
    drainLanes();
    m_impl->lanes.Stop();
    m_impl->ops.FinishProgress();
    m_view.Post(RunPhase::SyncFolder);
}

void RunDriver::OnSyncFolder()
{
    const TSyncTask& task = *m_request.Task;
    if (task.EmptyDir != acIgnore) {
        m_view.SetLabel(RunLabel::Phase, Msg(kMsgSyncingEmptyFolders));
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
    // Only a run that trashed something says so: every other block keeps its usual lines.
    if (m_result.TrashedCount > 0)
        m_log.Add(ReplaceFirst(Msg(kMsgCountTrashed), std::to_string(m_result.TrashedCount)));
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
    m_lists.HostRecords.Reset();
    m_lists.MirrorRecords.Reset();
}

} // namespace pelmora
