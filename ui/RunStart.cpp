// Starting runs from the main window: the checked tasks one after another, each checked,
// prepared (roots, network share, masks) and handed to the synchronisation window.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>
#include <string>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/FileSystem.h"
#include "platform/NetConnection.h"
#include "platform/RunLock.h"
#include "sync/Listing.h"
#include "sync/RunDriver.h"
#include "sync/SearchDir.h"
#include "sync/SyncLog.h"
#include "ui/DialogService.h"
#include "ui/MainWindow.h"
#include "ui/SyncForm.h"

namespace pelmora {

namespace {

// The main window's share connection, used by one task at a time.
TNetConnection& NetCon()
{
    static TNetConnection connection;
    return connection;
}

QString Text(int message)
{
    return QString::fromUtf8(Msg(message));
}

// A root reached through a link to a folder is an existing folder too.
bool FolderExists(const std::string& path)
{
    return IsExistingFolder(FileSystemFor(path), path);
}

// The selected task's name as the task list shows it; empty when none is selected.
std::string CurrentTaskName(const TAppState& state)
{
    const auto index = static_cast<std::size_t>(state.CurrentIndex);
    return state.CurrentIndex >= 0 && index < state.TaskNames.size() ? state.TaskNames[index] : std::string();
}

// The 1-based position of the n-th separator in path, or 0 when it has fewer.
std::size_t ShareRootEnd(std::string_view path, int n)
{
    int seen = 0;
    for (std::size_t i = 0; i < path.size(); ++i)
        if (path[i] == '/' && ++seen == n)
            return i + 1;
    return 0;
}

} // namespace

void TcltForm::GoSyncClick()
{
    int checked = 0;
    for (int i = 0; i < liTask->count(); ++i)
        checked += liTask->item(i)->checkState() == Qt::Checked;
    if (checked == 0) {
        // A box nobody can answer would hold an unattended start open for ever.
        if (m_state.AutoRun) {
            close();
            return;
        }
        Dialogs().error(this, Text(104));
        return;
    }
    try {
        for (int i = 0; i < liTask->count(); ++i) {
            if (liTask->item(i)->checkState() != Qt::Checked)
                continue;
            selectRow(i);
            RunTask();
        }
    } catch (const EDisconnectError& failure) {
        // The rest of the batch does not run, and the program stays open to show why.
        Dialogs().showException(this, QString::fromUtf8(failure.what()));
        return;
    }
    if (m_state.AutoRun) {
        close();
        return;
    }
    if (!m_state.ResultShown)
        SystemBeep();
}

void TcltForm::OnGoSync()
{
    GoSyncClick();
}

bool TcltForm::RunTask()
{
    // The run's lines (or the refusal's block) reach the log file as soon as it has ended, so
    // that a crash or a kill later in the program's life cannot lose them; also when the
    // disconnect after the run throws.
    struct FlushLog
    {
        TcltForm& form;
        ~FlushLog() { form.flushResultLog(); }
    } flushLog{*this};
    bool ran = false;
    const int status = runCurrentTask(ran);
    if (m_state.AutoRun)
        m_exitStatus = std::max(m_exitStatus, status);
    return ran;
}

void TcltForm::refuseTask(const std::string& reason, bool showBox, bool writeBlock)
{
    // The block first: it is complete even while the box waits for its answer.
    if (writeBlock) {
        m_resultLog.Add(DateTimeStampNow());
        m_resultLog.Add(std::string(Msg(kMsgStartTask)) + CurrentTaskName(m_state));
        m_resultLog.Add(reason);
        m_resultLog.Add(std::string(kLogSeparator));
    }
    if (showBox)
        Dialogs().error(this, QString::fromStdString(reason));
}

int TcltForm::runCurrentTask(bool& ran)
{
    ran = false;
    TSyncTask* task = m_state.CurrentTask();
    if (task == nullptr)
        return kExitRefused;
    // Nobody may be there to read a box: the log then says why the task did not run.
    const bool unattended = m_state.AutoRun || m_state.ScheduledRun || IsSet(task->AutoMode);
    if (ReadTextField(task->MainDir).empty() || ReadTextField(task->MirrorDir).empty()) {
        refuseTask(Msg(kMsgInvalidFolders), !m_state.AutoRun, unattended);
        return kExitRefused;
    }
    if (task->InMain == acIgnore && task->InMirror == acIgnore && task->SizeDiffer == acIgnore &&
        task->NewInMain == acIgnore && task->NewInMirror == acIgnore && task->EmptyDir == acIgnore) {
        refuseTask(Msg(kMsgNoOperation), !m_state.AutoRun, unattended);
        return kExitRefused;
    }
    m_state.RunHostDir = ExpandEnvVars(StripBackslash(edMainDir->text().toStdString()));
    m_state.RunMirrorDir = ExpandEnvVars(StripBackslash(edMirrorDir->text().toStdString()));

    // One run per task, also across processes: held until this function returns, after the
    // run and its disconnect. A lock that cannot be made at all (a read-only program folder)
    // does not stop the run; only a lock held by another run does.
    RunLock runLock;
    if (runLock.Acquire(RunLockFolderFor(m_state.ConfigFileName), CurrentTaskName(m_state)) == RunLock::Status::Busy) {
        refuseTask(Msg(kMsgTaskAlreadyRunning), !unattended, true);
        return kExitRefused;
    }

    // One connection per run; the host side wins.
    std::string netPath;
    if (IsNetworkPath(m_state.RunHostDir))
        netPath = m_state.RunHostDir;
    else if (IsNetworkPath(m_state.RunMirrorDir))
        netPath = m_state.RunMirrorDir;
    const std::string netName = ReadCountedField(task->NetName);
    const std::string netPass = ReadCountedField(task->NetPass);
    TNetConnection& net = NetCon();
    // Linux has no drive letters to redirect: the local name stays blank, and the run
    // remembers that it connected so that it disconnects the session by its remote name.
    net.SetLocalName("");
    bool connected = false;
    if (!netPath.empty() && (!netName.empty() || !netPass.empty())) {
        net.SetUserName(netName);
        net.SetPassword(netPass);
        const std::size_t end = ShareRootEnd(netPath, 4);
        net.SetRemoteName(end == 0 ? netPath : netPath.substr(0, end - 1));
        try {
            net.Connect();
            connected = true;
        } catch (const EConnectError&) {
            refuseTask(Msg(kMsgNetConnectFailed), !m_state.AutoRun && !IsSet(task->AutoMode), unattended);
            return kExitRefused;
        }
    }

    m_state.OnlyTypeMasks = SplitLines(ReadCountedField(task->OnlyTypeList));
    m_state.IgnoreMasks = SplitLines(ReadCountedField(task->IgnoreList));
    m_state.DelMasks = SplitLines(ReadCountedField(task->DelList));

    int status = kExitRefused;
    // A missing side with "delete what is only on the other side" would empty that side.
    if (!FolderExists(m_state.RunHostDir) && task->InMirror == acDelete) {
        refuseTask(Msg(kMsgHostMissingRefused) + m_state.RunHostDir, !unattended, true);
    } else if (!FolderExists(m_state.RunMirrorDir) && task->InMain == acDelete) {
        refuseTask(Msg(kMsgMirrorMissingRefused) + m_state.RunMirrorDir, !unattended, true);
    } else if (m_syncForm != nullptr) {
        const int left = x();
        // Out of sight while the run is up; the schedule timer also reads this as "busy".
        move(-10000, y());
        m_syncForm->AttachWindows(m_treeVForm, m_resForm, [this](const QString& line) { SetStatusText(line); });
        const RunRequest request = MakeRunRequest(m_state);
        ran = m_syncForm->RunModal(request, m_resultLog);
        move(left, y());
        // A start refused by the run itself (an invalid mask) has logged its reason.
        status = ran && m_syncForm->Driver() ? RunExitStatus(*m_syncForm->Driver()) : kExitRefused;
    }

    if (connected)
        net.Disconnect(true);
    return status;
}

int RunExitStatus(const RunDriver& run)
{
    const std::string& end = run.EndLine();
    if (run.Result().FailedCount > 0 || end == Msg(kMsgUserBreak) || end == Msg(kMsgTooManyErrors))
        return kExitRunFailed;
    return kExitDone;
}

} // namespace pelmora
