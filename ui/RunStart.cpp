// Starting runs from the main window: the checked tasks one after another, each checked,
// prepared (roots, network share, masks) and handed to the synchronisation window.
#include <QApplication>
#include <QListWidget>
#include <QLineEdit>

#include <string>

#include "lang/Messages.h"
#include "platform/FileSystem.h"
#include "platform/NetConnection.h"
#include "sync/Listing.h"
#include "sync/RunDriver.h"
#include "sync/SearchDir.h"
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
    TSyncTask* task = m_state.CurrentTask();
    if (task == nullptr)
        return false;
    if (ReadTextField(task->MainDir).empty() || ReadTextField(task->MirrorDir).empty()) {
        if (!m_state.AutoRun)
            Dialogs().error(this, Text(32));
        return false;
    }
    if (task->InMain == acIgnore && task->InMirror == acIgnore && task->SizeDiffer == acIgnore &&
        task->NewInMain == acIgnore && task->NewInMirror == acIgnore && task->EmptyDir == acIgnore) {
        if (!m_state.AutoRun)
            Dialogs().error(this, Text(33));
        return false;
    }
    m_state.RunHostDir = ExpandEnvVars(StripBackslash(edMainDir->text().toStdString()));
    m_state.RunMirrorDir = ExpandEnvVars(StripBackslash(edMirrorDir->text().toStdString()));

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
            if (!m_state.AutoRun && !IsSet(task->AutoMode))
                Dialogs().error(this, Text(108));
            return false;
        }
    }

    m_state.OnlyTypeMasks = SplitLines(ReadCountedField(task->OnlyTypeList));
    m_state.IgnoreMasks = SplitLines(ReadCountedField(task->IgnoreList));
    m_state.DelMasks = SplitLines(ReadCountedField(task->DelList));

    bool ran = false;
    const bool wipesMirror = !FolderExists(m_state.RunHostDir) && task->InMirror == acDelete;
    const bool wipesHost = !FolderExists(m_state.RunMirrorDir) && task->InMain == acDelete;
    if (!wipesMirror && !wipesHost && m_syncForm != nullptr) {
        const int left = x();
        // Out of sight while the run is up; the schedule timer also reads this as "busy".
        move(-10000, y());
        m_syncForm->AttachWindows(m_treeVForm, m_resForm, [this](const QString& line) { SetStatusText(line); });
        const RunRequest request = MakeRunRequest(m_state);
        ran = m_syncForm->RunModal(request, m_resultLog);
        move(left, y());
    }

    if (connected)
        net.Disconnect(true);
    return ran;
}

} // namespace pelmora
