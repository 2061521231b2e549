// Starting runs from the main window: the checked tasks one after another, each checked,
// prepared (roots, network share, masks) and handed to the synchronisation window.
#include <QApplication>

#include <algorithm>
#include <string>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/NetConnection.h"
#include "platform/RunLock.h"
#include "sync/PrepareRun.h"
#include "sync/RunDriver.h"
#include "sync/SyncLog.h"
#include "ui/DialogService.h"
#include "ui/DisplayText.h"
#include "ui/MainWindow.h"
#include "ui/SyncForm.h"
#include "ui/TaskEditor.h"
#include "ui/TaskList.h"

namespace pelmora {

namespace {

// The main window's share connection, used by one task at a time.
TNetConnection& NetCon()
{
    static TNetConnection connection;
    return connection;
}

} // namespace

void TcltForm::GoSyncClick()
{
    if (!m_taskList->AnyChecked()) {
        // A box nobody can answer would hold an unattended start open for ever.
        if (m_state.AutoRun) {
            close();
            return;
        }
        Dialogs().error(this, QString::fromUtf8(Msg(kMsgNoTaskSelected)));
        return;
    }
    try {
        for (int i = 0; i < m_taskList->Count(); ++i) {
            if (!m_taskList->IsChecked(i))
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
    // A run started while the main window is out of sight (a scheduled run in the
    // notification area, a run from the icon's menu) says how it ended; a command-line run
    // has its exit status and the log for that.
    const bool unseen = !OnScreen() && !m_state.AutoRun;
    m_runEndText.clear();
    m_runEndFailed = 0;
    bool ran = false;
    const int status = runCurrentTask(ran);
    if (m_state.AutoRun)
        m_exitStatus = std::max(m_exitStatus, status);
    if (unseen)
        notifyRunEnd();
    return ran;
}

int TcltForm::refuseTask(const RunRefusal& refusal)
{
    // The block first: it is complete even while the box waits for its answer.
    if (refusal.LogBlock) {
        const auto index = static_cast<std::size_t>(m_state.CurrentIndex);
        const bool named = m_state.CurrentIndex >= 0 && index < m_state.TaskNames.size();
        m_resultLog.Add(DateTimeStampNow());
        m_resultLog.Add(std::string(Msg(kMsgStartTask)) + (named ? m_state.TaskNames[index] : std::string()));
        m_resultLog.Add(refusal.Reason);
        m_resultLog.Add(std::string(kLogSeparator));
    }
    if (refusal.ShowBox)
        Dialogs().error(this, QString::fromStdString(refusal.Reason));
    else
        m_runEndText = DisplayText(refusal.Reason);
    return refusal.ExitStatus;
}

int TcltForm::runCurrentTask(bool& ran)
{
    ran = false;
    RunStartInput input;
    input.Task = m_state.CurrentTask();
    if (input.Task != nullptr)
        input.TaskName = m_state.TaskNames[static_cast<std::size_t>(m_state.CurrentIndex)];
    input.HostFolder = m_editor->HostFolderText().toStdString();
    input.MirrorFolder = m_editor->MirrorFolderText().toStdString();
    input.AutoRun = m_state.AutoRun;
    input.CopyAll = m_state.CopyAll;
    input.ScheduledRun = m_state.ScheduledRun;

    const PreparedRun prepared = PrepareRun(input);
    if (prepared.Refusal)
        return refuseTask(*prepared.Refusal);
    m_state.RunHostDir = prepared.Request.HostDir;
    m_state.RunMirrorDir = prepared.Request.MirrorDir;

    // One run per task, also across processes: held until this function returns, after the
    // run and its disconnect. A lock that cannot be made at all (a read-only program folder)
    // does not stop the run; only a lock held by another run does.
    RunLock runLock;
    if (runLock.Acquire(RunLockFolderFor(m_state.ConfigFileName), input.TaskName) == RunLock::Status::Busy)
        return refuseTask(RunLockRefusal(input));

    TNetConnection& net = NetCon();
    // Linux has no drive letters to redirect: the local name stays blank, and the run
    // remembers that it connected so that it disconnects the session by its remote name.
    net.SetLocalName("");
    bool connected = false;
    if (!prepared.Share.RemoteName.empty()) {
        net.SetUserName(prepared.Share.UserName);
        net.SetPassword(prepared.Share.Password);
        net.SetRemoteName(prepared.Share.RemoteName);
        try {
            net.Connect();
            connected = true;
        } catch (const EConnectError&) {
            return refuseTask(ShareLoginRefusal(input));
        }
    }

    m_state.OnlyTypeMasks = prepared.Request.OnlyTypeMasks;
    m_state.IgnoreMasks = prepared.Request.IgnoreMasks;
    m_state.DelMasks = prepared.Request.DelMasks;

    int status = kExitRefused;
    if (const std::optional<RunRefusal> wipe = WipeRefusal(input, prepared)) {
        status = refuseTask(*wipe);
    } else if (m_syncForm != nullptr) {
        // Hidden while the run is up (only the run window is on screen) and shown again at
        // its place after it; a window in the tray or minimised stays where it is.
        struct AwayForRun
        {
            TcltForm& form;
            bool hidden;
            QPoint place;
            explicit AwayForRun(TcltForm& f) : form(f), hidden(f.OnScreen()), place(f.pos())
            {
                form.m_runActive.store(true, std::memory_order_relaxed);
                if (hidden)
                    form.hide();
            }
            ~AwayForRun()
            {
                form.m_runActive.store(false, std::memory_order_relaxed);
                if (!hidden)
                    return;
                form.move(place);
                form.show();
            }
        } away(*this);
        m_syncForm->AttachWindows(m_treeVForm, m_resForm, [this](const QString& line) { SetStatusText(line); });
        RunRequest request = prepared.Request;
        request.ResultShown = &m_state.ResultShown;
        ran = m_syncForm->RunModal(request, m_resultLog);
        // A start refused by the run itself (an invalid mask) has logged its reason.
        status = ran && m_syncForm->Driver() ? RunExitStatus(*m_syncForm->Driver()) : kExitRefused;
        if (ran && m_syncForm->Driver()) {
            m_runEndText = StatusText();
            m_runEndFailed = m_syncForm->Driver()->Result().FailedCount;
        }
    }

    if (connected)
        net.Disconnect(true);
    return status;
}

} // namespace pelmora
