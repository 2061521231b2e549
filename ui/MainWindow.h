#pragma once
// TcltForm: the main window. It owns the process-wide state (TAppState) and puts together the
// task list (TTaskList), the editor of the selected task (TTaskEditor) and the toolbar; it
// keeps the records in step with the list, starts runs (ui/RunStart.cpp) and hosts the
// scheduler and the notification area (ui/ScheduleHooks.cpp).
// TForms creates all eight windows in their start-up order. UI thread only, except
// RunActive(), which the schedule timer's thread may read.

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "schedule/HiResTimer.h"
#include "schedule/ScheduleTrigger.h"
#include "sync/ExitStatus.h"
#include "sync/SyncLog.h"
#include "ui/AppState.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QToolBar;
class QToolButton;

namespace pelmora {

struct RunRefusal;
class TSyncForm;
class TAboutForm;
class TresForm;
class TTreeVForm;
class TadvForm;
class TdirForm;
class TfmTask;
class TSDirDlg;
class TTaskEditor;
class TTaskList;
class TTrayIcon;

// Gives a window the user-interface font of the selected language when that font is
// installed; otherwise the window keeps Qt's default font.
void ApplyUiFont(QWidget* window);
// Makes `designed`, or what the window's layout needs when that is more, the smallest the window
// may be; the first call (`sizedOnce` false) also makes it the window's size, later ones keep
// the size the user gave it. `layout` is activated first, so that new texts are measured.
void ApplyDesignedSize(QWidget* window, QLayout* layout, QSize designed, bool& sizedOnce);

class TcltForm : public QMainWindow
{
    Q_OBJECT
public:
    // Runs the creation handler: the state, the file names, and the configuration file
    // when one exists. `arguments` are the command-line arguments after the program name;
    // `exePath` is the executable's full path (the files sit beside it).
    TcltForm(const QStringList& arguments, const std::string& exePath, QWidget* parent = nullptr);
    ~TcltForm() override;

    // Hands over the other seven windows, created after this one.
    void AttachWindows(TSyncForm* syncForm, TAboutForm* aboutForm, TresForm* resForm, TTreeVForm* treeVForm,
                       TadvForm* advForm, TdirForm* dirForm, TfmTask* taskForm);

    void ApplyTexts();

    TAppState& State() { return m_state; }
    // The result text of every run since start-up; the results window shows it, and each run's
    // lines are appended to the log file when that run ends.
    SyncLog& ResultLog() { return m_resultLog; }
    const TAppState& State() const { return m_state; }
    QListWidget* TaskListBox() const;
    TSDirDlg* DirDialog() const { return SDirDlg; }
    TSyncForm* SyncForm() const { return m_syncForm; }
    TresForm* ResForm() const { return m_resForm; }
    TTreeVForm* TreeVForm() const { return m_treeVForm; }
    TfmTask* ScheduleForm() const { return m_taskForm; }
    QToolButton* GoSyncButton() const { return GoSync; }
    // The keyboard shortcuts: New task, Save, Go Sync, Schedule, Quit, and Delete, which acts
    // only while the task list has the focus.
    QAction* ShortcutAction(const char* objectName) const;
    // The status line; a run writes its outcome here.
    void SetStatusText(const QString& text);
    QString StatusText() const;

    // True from the start of a run to its end (the main window is hidden meanwhile); the
    // schedule timer's thread reads it to post no check during a run.
    bool RunActive() const { return m_runActive.load(std::memory_order_relaxed); }
    // Whether the window is on screen: shown, not minimised and not held off the screen by a
    // hidden start.
    bool OnScreen() const;

    // Selecting a task: CurrentIndex := the list's selected row, then the editor shows it.
    void liTaskClick();
    // The action code whose name equals `text`; 0 when none does.
    TAction TextToAction(const QString& text) const;

    // Runs the checked tasks one after another (the toolbar's GoSync; OnGoSync is the
    // posted form of the same).
    void GoSyncClick();
    void OnGoSync();
    // Runs CurrentTask: checks it, takes its run lock, prepares the roots and masks, shows
    // the synchronisation window. Returns false when the task could not run; a refusal says
    // why (a box when attended, a block in the result log when unattended or when a run would
    // have been dangerous). The lines of the run reach the log file before it returns.
    bool RunTask();
    // The status the program exits with: after a command-line start the highest status of its
    // runs, kExitBadCommand for a command line naming no known task or switch; else kExitDone.
    int ExitStatus() const { return m_exitStatus; }

    // Starts the schedule timer; called once when the window is first shown.
    void EnableScheduleTimer();
    // Runs, unattended and in list order, every task named by the schedule entry that fired;
    // waits while another run is in progress.
    void OnDoSchedule();
    // Goes to the notification area (minimised in the task bar where the desktop has none).
    void OnMiniToTray();
    // Scheduler, notification area and quitting from outside (ui/ScheduleHooks.cpp).
    void DisableScheduleTimer();
    // The schedule timer's tick: runs on the timer's worker thread.
    void HiTimerTimer();
    void MinimizeToTray();
    // Back from the notification area (or from the task bar): shown, raised and activated.
    // During a run the main window stays hidden and the run's window comes to the front.
    void TrayIcon1Click();
    // What a second start of the program asks for: the same as a click on the icon.
    void BringToFront();

    // The notification area's menu: Show Pelmora, Go Sync (the checked tasks), Start at login
    // (checked while the autostart entry is there) and Quit (the exit button's way, with its
    // save question).
    QMenu* TrayMenu() const { return m_trayMenu; }
    // Writes or removes the autostart entry that starts this program in the notification
    // area at login; a failure is shown in an "Error" box.
    void SetStartAtLogin(bool on);
    // The end of a run that nobody saw (the main window was in the notification area, hidden
    // or minimised): its task name in the title, with the failed count when there were
    // failures, and its end line. The default shows a desktop notification from the icon
    // (or makes the task bar entry ask for attention when there is no icon); tests replace
    // it (nullptr restores the default).
    using RunEndNotifier = std::function<void(const QString& title, const QString& text, bool failed)>;
    void SetRunEndNotifier(RunEndNotifier notifier) { m_notifier = std::move(notifier); }
    // Ends the program as SIGTERM or SIGINT ask: a run in progress is cancelled without a
    // question, then the window closes without the save question, so the log is appended
    // and the configuration file is left as it is.
    void QuitFromOutside();
    THiResTimer& ScheduleTimer() { return HiTimer; }
    TTrayIcon* TrayIcon() const { return TrayIcon1; }

    // Writes the configuration file. Returns false (Modified stays set) when writing
    // failed; `errorText` then holds the failure's text.
    bool SaveConfigFile(QString* errorText = nullptr);

    // The toolbar buttons and list actions, callable the same way a click calls them.
    void NewBtnClick();
    void AddBtnClick();
    void DelBtnClick();
    void btTaskClick();
    void AboutBtnClick();
    void ToolButton1Click();
    void A1Click();
    void C1Click();
    void rDragController1ItemMove(int fromIndex, int toIndex);

signals:
    // The window closed for good (the close was not refused): the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const std::string& exePath);
    void FormShow();
    void buildControls();
    void buildToolBar();
    void buildShortcuts();
    void buildTrayMenu();
    void updateTrayMenu();
    // Tells the user how a run ended that the main window did not show.
    void notifyRunEnd();
    // The window's size and place as the last program run left them, read from and written
    // to a file beside the configuration file (never into the configuration file itself).
    bool restoreWindowPlace();
    void saveWindowPlace() const;
    QString windowPlaceFile() const;
    void appendLog();
    // Writes the result log's lines that have not reached the log file yet.
    void flushResultLog();
    // RunTask's work; returns the run's exit status and sets `ran` when the run started.
    int runCurrentTask(bool& ran);
    // A task that does not run: the reason in an "Error" box and in a block of the result log
    // (stamp, start line, reason, separator), each as the refusal says. Returns its status.
    int refuseTask(const RunRefusal& refusal);
    // Tells the user on standard error why the command line ran nothing.
    void reportBadCommandLine(const std::string& line);
    QString makeNewTaskName() const;
    void appendTask(std::unique_ptr<TSyncTask> task, const QString& name);
    void selectRow(int row);

    TAppState m_state;
    SyncLog m_resultLog;
    std::size_t m_logLinesWritten = 0; // lines of m_resultLog already handed to the log file
    bool m_logFileWritten = false;     // this program run wrote lines: the exit closes them with a NUL
    int m_exitStatus = kExitDone;
    QStringList m_arguments;
    std::string m_exePath;
    bool m_shownOnce = false;
    bool m_sizedOnce = false;
    bool m_commandLineRun = false; // one argument other than "/H": runs and exits
    bool m_closing = false;
    std::atomic<bool> m_runActive{false};

    TSyncForm* m_syncForm = nullptr;
    TAboutForm* m_aboutForm = nullptr;
    TresForm* m_resForm = nullptr;
    TTreeVForm* m_treeVForm = nullptr;
    TfmTask* m_taskForm = nullptr;

    TTaskList* m_taskList = nullptr;
    TTaskEditor* m_editor = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* NewBtn = nullptr;
    QToolButton* AddBtn = nullptr;
    QToolButton* DelBtn = nullptr;
    QToolButton* GoSync = nullptr;
    QToolButton* btTask = nullptr;
    QToolButton* AboutBtn = nullptr;
    QToolButton* ExitBtn = nullptr;
    QLabel* m_statusPanel = nullptr;
    QAction* m_newAction = nullptr;
    QAction* m_saveAction = nullptr;
    QAction* m_goSyncAction = nullptr;
    QAction* m_scheduleAction = nullptr;
    QAction* m_quitAction = nullptr;
    QAction* m_deleteAction = nullptr;
    TSDirDlg* SDirDlg = nullptr;

    TTrayIcon* TrayIcon1 = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_trayShow = nullptr;
    QAction* m_trayGoSync = nullptr;
    QAction* m_trayStartAtLogin = nullptr;
    QAction* m_trayQuit = nullptr;
    RunEndNotifier m_notifier;
    // How the last run ended, for notifyRunEnd: its end line (or why it was refused) and its
    // failed operations.
    QString m_runEndText;
    std::uint32_t m_runEndFailed = 0;
    TScheduleTicker m_ticker; // the timer's worker thread only
    QPointer<QObject> m_checkTarget;
    bool m_quitRequested = false;
    int m_quitWaits = 0;
    // Last, so that it is destroyed first: its worker reads m_runActive and posts to this window.
    THiResTimer HiTimer;
};

// The eight windows, created in start-up order and destroyed in reverse.
struct TForms
{
    std::unique_ptr<TcltForm> cltForm;
    std::unique_ptr<TSyncForm> syncForm;
    std::unique_ptr<TAboutForm> aboutForm;
    std::unique_ptr<TresForm> resForm;
    std::unique_ptr<TTreeVForm> treeVForm;
    std::unique_ptr<TadvForm> advForm;
    std::unique_ptr<TdirForm> dirForm;
    std::unique_ptr<TfmTask> fmTask;

    TForms();
    ~TForms();

    // Creates the windows in order: the main window first (it loads the configuration
    // file while it is created), then the other seven, parented to it.
    static std::unique_ptr<TForms> Create(const QStringList& arguments, const std::string& exePath);

    // Applies every window's texts, in the fixed order of start-up.
    void ApplyAllTexts();
};

} // namespace pelmora
