// The main window's scheduler, notification-area and quit-from-outside handling: the
// schedule timer and its posted checks, the run of a fired entry's tasks, going to the
// notification area and coming back, and the orderly end that a signal asks for.
#include "ui/MainWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/Autostart.h"
#include "platform/widgets/TrayIcon.h"
#include "schedule/ScheduleTrigger.h"
#include "ui/DialogService.h"
#include "ui/ScheduleForm.h"
#include "ui/SyncForm.h"
#include "ui/TaskList.h"
#include "ui/TrayHost.h"

namespace pelmora {

namespace {

constexpr std::uint32_t kHiTimerMs = 20;
// A quit from outside waits this long for a cancelled run to end before closing anyway
// (a run can be held by a box nobody answers).
constexpr int kQuitWaitMs = 100;
constexpr int kMaxQuitWaits = 50;
constexpr int kBusyRetryMs = 250;

// Runs MinimizeToTray whenever the user minimises the main window.
class MinimizeWatch final : public QObject
{
public:
    explicit MinimizeWatch(TcltForm& form) : QObject(&form), m_form(form) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &m_form && event->type() == QEvent::WindowStateChange && m_form.isMinimized()) {
            // Hiding a window from inside its own state change confuses some window
            // managers; once the minimise has finished is soon enough.
            QMetaObject::invokeMethod(&m_form, &TcltForm::MinimizeToTray, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TcltForm& m_form;
};

} // namespace

void TcltForm::EnableScheduleTimer()
{
    // Called once, on the first showing: the tray icon and the minimise handler are put
    // in place here too.
    if (!TrayIcon1) {
        TrayIcon1 = new TTrayIcon(this);
        TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
        TrayIcon1->SetIcon(windowIcon().isNull() ? ProgramTrayIcon() : windowIcon());
        TrayIcon1->SetHint(QString::fromUtf8(Msg(kMsgAppTitle)));
        TrayIcon1->OnClick = [this](TTrayIcon&) { TrayIcon1Click(); };
        TrayIcon1->SetPopupMenu(m_trayMenu);
        installEventFilter(new MinimizeWatch(*this));
    }
    m_checkTarget = m_taskForm;
    HiTimer.SetInterval(kHiTimerMs);
    HiTimer.SetResolution(kHiTimerMs);
    HiTimer.SetOnTimer([this](THiResTimer&) { HiTimerTimer(); });
    try {
        HiTimer.SetEnabled(true);
    } catch (const EHiResTimer& failure) {
        // The program goes on without its scheduler, as the user is told.
        Dialogs().showException(this, QString::fromUtf8(failure.what()));
    }
}

void TcltForm::DisableScheduleTimer()
{
    HiTimer.SetEnabled(false);
}

void TcltForm::HiTimerTimer()
{
    if (!m_ticker.Tick(RunActive()))
        return;
    // Posted to this window, which outlives the schedule dialog; the dialog is looked up
    // again on the UI thread when the call is delivered.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (auto* dialog = qobject_cast<TfmTask*>(m_checkTarget.data()))
                dialog->OnCheckSche();
        },
        Qt::QueuedConnection);
}

void TcltForm::OnDoSchedule()
{
    if (!m_taskForm)
        return;
    // A check posted just before a run by hand began can fire during that run; the run it
    // names then waits for that run to end instead of being refused and lost.
    const RunDriver* driver = m_syncForm ? m_syncForm->Driver() : nullptr;
    if (!m_quitRequested && (RunActive() || (driver && !driver->CanClose()))) {
        QTimer::singleShot(kBusyRetryMs, this, &TcltForm::OnDoSchedule);
        return;
    }
    const std::string pending = m_taskForm->PendingScheduleTask();
    for (std::size_t i = 0; i < m_state.TaskNames.size() && !m_quitRequested; ++i) {
        if (m_state.TaskNames[i] != pending)
            continue;
        selectRow(static_cast<int>(i));
        m_state.ScheduledRun = true;
        RunTask();
        m_state.ScheduledRun = false;
    }
    m_taskForm->ClearPendingScheduleTask();
}

void TcltForm::MinimizeToTray()
{
    // Without a notification area the window stays minimised in the task bar, the one
    // way back the desktop offers.
    if (!TrayIcon1 || !HasNotificationArea())
        return;
    hide();
    TrayIcon1->SetActive(true);
}

void TcltForm::OnMiniToTray()
{
    const bool offScreen = testAttribute(Qt::WA_DontShowOnScreen);
    if (HasNotificationArea()) {
        if (offScreen) {
            hide();
            setAttribute(Qt::WA_DontShowOnScreen, false);
        }
        MinimizeToTray();
        return;
    }
    if (offScreen) {
        hide();
        setAttribute(Qt::WA_DontShowOnScreen, false);
    }
    showMinimized();
}

void TcltForm::TrayIcon1Click()
{
    if (RunActive()) {
        // The run brings the main window back when it ends; until then its own window (or
        // the preview, or a question of the run) is the one to see.
        if (QWidget* front = QApplication::activeModalWidget()) {
            front->raise();
            front->activateWindow();
        }
        return;
    }
    if (TrayIcon1)
        TrayIcon1->SetActive(false);
    setAttribute(Qt::WA_DontShowOnScreen, false);
    showNormal();
    raise();
    activateWindow();
}

void TcltForm::BringToFront()
{
    TrayIcon1Click();
}

void TcltForm::buildTrayMenu()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("TrayMenu"));
    auto item = [this](const char* name) {
        QAction* action = m_trayMenu->addAction(QString());
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    m_trayShow = item("TrayShow");
    m_trayGoSync = item("TrayGoSync");
    m_trayMenu->addSeparator();
    m_trayStartAtLogin = item("TrayStartAtLogin");
    m_trayStartAtLogin->setCheckable(true);
    m_trayMenu->addSeparator();
    m_trayQuit = item("TrayQuit");
    m_trayMenu->setDefaultAction(m_trayShow);
    connect(m_trayShow, &QAction::triggered, this, &TcltForm::TrayIcon1Click);
    // Queued: the run must not start inside the menu's own event loop.
    connect(m_trayGoSync, &QAction::triggered, this, &TcltForm::OnGoSync, Qt::QueuedConnection);
    connect(m_trayStartAtLogin, &QAction::triggered, this, &TcltForm::SetStartAtLogin);
    connect(m_trayQuit, &QAction::triggered, this, &QWidget::close, Qt::QueuedConnection);
    connect(m_trayMenu, &QMenu::aboutToShow, this, &TcltForm::updateTrayMenu);
    updateTrayMenu();
}

void TcltForm::updateTrayMenu()
{
    // Go Sync as the toolbar button allows it; nothing starts or ends the program during a run,
    // which has its own Cancel.
    const bool running = RunActive();
    m_trayGoSync->setEnabled(GoSync->isEnabled() && !running);
    m_trayQuit->setEnabled(!running);
    m_trayStartAtLogin->setChecked(AutostartEnabled());
}

void TcltForm::SetStartAtLogin(bool on)
{
    std::string failure;
    if (!SetAutostart(on, m_exePath, &failure))
        Dialogs().error(this, QString::fromUtf8(Msg(kMsgAutostartNotChanged)) + QString::fromStdString(failure));
    m_trayStartAtLogin->setChecked(AutostartEnabled());
}

void TcltForm::notifyRunEnd()
{
    if (m_runEndText.isEmpty())
        return;
    const auto index = static_cast<std::size_t>(m_state.CurrentIndex);
    const QString name = m_state.CurrentIndex >= 0 && index < m_state.TaskNames.size()
                             ? QString::fromStdString(m_state.TaskNames[index])
                             : QString::fromUtf8(Msg(kMsgAppTitle));
    const bool failed = m_runEndFailed != 0;
    const QString title =
        failed ? QString::fromUtf8(Msg(kMsgRunFailedTitle)).arg(name, QString::number(m_runEndFailed)) : name;
    if (m_notifier) {
        m_notifier(title, m_runEndText, failed);
        return;
    }
    if (!TrayIcon1 || !TrayIcon1->ShowMessage(title, m_runEndText, failed))
        QApplication::alert(this);
}

void TcltForm::QuitFromOutside()
{
    if (!m_quitRequested) {
        m_quitRequested = true;
        DisableScheduleTimer();
        // A command-line batch stopped from outside did not do all it was asked to.
        if (m_state.AutoRun)
            m_exitStatus = std::max(m_exitStatus, kExitRunFailed);
        // A batch of checked tasks goes on with the next checked one; none is left.
        m_taskList->ClearChecksQuietly();
    }
    RunDriver* driver = m_syncForm ? m_syncForm->Driver() : nullptr;
    const bool running = (driver && !driver->CanClose()) || RunActive();
    if (running && m_quitWaits < kMaxQuitWaits) {
        if (driver && !driver->CanClose()) {
            driver->CancelWithoutQuestion();
            // A box or the preview on screen holds the run in its own event loop (the stop
            // question, a message of the run): it is put away, so the run can notice the
            // cancel and write its result block before the program ends.
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (dialog && dialog != m_syncForm)
                dialog->reject();
        }
        ++m_quitWaits;
        QTimer::singleShot(kQuitWaitMs, this, &TcltForm::QuitFromOutside);
        return;
    }
    // Whatever was changed is given up without the save question: the configuration file
    // stays as it was. The close still appends the log.
    m_state.Modified = false;
    close();
    QCoreApplication::quit();
}

} // namespace pelmora
