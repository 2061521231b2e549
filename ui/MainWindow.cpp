#include "ui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "config/TaskStore.h"
#include "core/ProgramFiles.h"
#include "core/SyncTask.h"
#include "core/Utf8.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/ProgramPlace.h"
#include "platform/widgets/DirDialog.h"
#include "ui/AboutForm.h"
#include "ui/AdvForm.h"
#include "ui/DialogService.h"
#include "ui/DirForm.h"
#include "ui/ResForm.h"
#include "ui/ScheduleForm.h"
#include "ui/SyncForm.h"
#include "ui/TaskEditor.h"
#include "ui/TaskList.h"
#include "ui/ToolIcons.h"
#include "ui/TreeVForm.h"

namespace pelmora {

namespace {

constexpr int kMaxNewTaskNumber = 10000;
// The main window's designed size: its default, and its smallest unless the language's texts
// need more.
constexpr QSize kDesignedSize(735, 500);
const char* const kWindowPlaceFile = "pelmora-window.ini";

QString msg(int n)
{
    return QString::fromUtf8(Msg(n));
}

template <typename T> T* named(T* object, const char* name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

void ApplyUiFont(QWidget* window)
{
    const QString family = QString::fromUtf8(UiFontName());
    if (QFontDatabase::hasFamily(family)) {
        QFont font = window->font();
        font.setFamily(family);
        window->setFont(font);
    }
}

TcltForm::TcltForm(const QStringList& arguments, const std::string& exePath, QWidget* parent)
    : QMainWindow(parent), m_arguments(arguments)
{
    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    const StartMode mode = ParseCommandLine(args).mode;
    m_commandLineRun = mode != StartMode::Interactive && mode != StartMode::Hidden;
    setObjectName(QStringLiteral("cltForm"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    buildToolBar();
    buildControls();
    buildShortcuts();
    buildTrayMenu();
    FormCreate(exePath);
}

TcltForm::~TcltForm() = default;

void TcltForm::buildToolBar()
{
    ToolBar1 = named(new QToolBar(this), "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(24, 24));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](const char* name, ToolGlyph glyph, void (TcltForm::*handler)()) {
        auto* b = named(new QToolButton(ToolBar1), name);
        b->setIcon(drawIcon(glyph));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, handler);
        ToolBar1->addWidget(b);
        return b;
    };
    ToolButton1 = button("ToolButton1", ToolGlyph::Save, &TcltForm::ToolButton1Click);
    ToolBar1->addSeparator();
    NewBtn = button("NewBtn", ToolGlyph::New, &TcltForm::NewBtnClick);
    AddBtn = button("AddBtn", ToolGlyph::Copy, &TcltForm::AddBtnClick);
    DelBtn = button("DelBtn", ToolGlyph::Delete, &TcltForm::DelBtnClick);
    ToolBar1->addSeparator();
    GoSync = button("GoSync", ToolGlyph::Go, &TcltForm::GoSyncClick);
    GoSync->setEnabled(false);
    btTask = button("btTask", ToolGlyph::Schedule, &TcltForm::btTaskClick);
    ToolBar1->addSeparator();
    AboutBtn = button("AboutBtn", ToolGlyph::About, &TcltForm::AboutBtnClick);
    ExitBtn = named(new QToolButton(ToolBar1), "ExitBtn");
    ExitBtn->setIcon(drawIcon(ToolGlyph::Exit));
    ExitBtn->setAutoRaise(true);
    ExitBtn->setFocusPolicy(Qt::NoFocus);
    connect(ExitBtn, &QToolButton::clicked, this, &QWidget::close);
    ToolBar1->addWidget(ExitBtn);
}

void TcltForm::buildControls()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    SDirDlg = named(new TSDirDlg(this), "SDirDlg");
    m_taskList = new TTaskList(central);
    m_editor = new TTaskEditor(m_state, *SDirDlg, central);
    connect(m_taskList, &TTaskList::Selected, this, &TcltForm::liTaskClick);
    connect(m_taskList, &TTaskList::ChecksChanged, this, [this](bool anyChecked) {
        GoSync->setEnabled(anyChecked);
        m_goSyncAction->setEnabled(anyChecked);
    });
    connect(m_taskList, &TTaskList::Moved, this, &TcltForm::rDragController1ItemMove);
    connect(m_editor, &TTaskEditor::NameEdited, m_taskList, &TTaskList::SetName);

    auto* statusBar1 = named(new QStatusBar(this), "StatusBar1");
    statusBar1->setSizeGripEnabled(false);
    m_statusPanel = named(new QLabel(statusBar1), "StatusPanel");
    statusBar1->addWidget(m_statusPanel, 1);
    setStatusBar(statusBar1);

    // The description belongs to the editor but sits under the task list. A larger window
    // gives a third of its extra width to this column, and its height to the task list and,
    // a fifth of it, to the description.
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    left->addWidget(m_taskList, 4);
    left->addWidget(m_editor->DescriptionBox(), 1);

    auto* columns = new QHBoxLayout(central);
    columns->setContentsMargins(8, 6, 8, 6);
    columns->setSpacing(12);
    columns->addLayout(left, 1);
    columns->addWidget(m_editor, 2);
}

void TcltForm::buildShortcuts()
{
    auto action = [this](const char* name, const QKeySequence& keys, void (TcltForm::*handler)()) {
        auto* a = named(new QAction(this), name);
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, handler);
        addAction(a);
        return a;
    };
    m_newAction = action("actNew", QKeySequence::New, &TcltForm::NewBtnClick);
    m_saveAction = action("actSave", QKeySequence::Save, &TcltForm::ToolButton1Click);
    m_goSyncAction = action("actGoSync", QKeySequence(Qt::Key_F5), &TcltForm::GoSyncClick);
    m_goSyncAction->setEnabled(false);
    m_scheduleAction = action("actSchedule", QKeySequence(Qt::CTRL | Qt::Key_T), &TcltForm::btTaskClick);
    m_quitAction = named(new QAction(this), "actQuit");
    // The desktop's own key for quitting; Ctrl+Q where the platform names none.
    const QList<QKeySequence> quitKeys = QKeySequence::keyBindings(QKeySequence::Quit);
    m_quitAction->setShortcut(quitKeys.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : quitKeys.constFirst());
    connect(m_quitAction, &QAction::triggered, this, &QWidget::close);
    addAction(m_quitAction);
    // Delete belongs to the task list: typed in a text field it deletes text, not the task.
    m_deleteAction = named(new QAction(m_taskList->ListBox()), "actDelete");
    m_deleteAction->setShortcut(QKeySequence::Delete);
    m_deleteAction->setShortcutContext(Qt::WidgetShortcut);
    connect(m_deleteAction, &QAction::triggered, this, &TcltForm::DelBtnClick);
    m_taskList->ListBox()->addAction(m_deleteAction);
}

QAction* TcltForm::ShortcutAction(const char* objectName) const
{
    return findChild<QAction*>(QString::fromLatin1(objectName));
}

void TcltForm::AttachWindows(TSyncForm* syncForm, TAboutForm* aboutForm, TresForm* resForm, TTreeVForm* treeVForm,
                             TadvForm* advForm, TdirForm* dirForm, TfmTask* taskForm)
{
    m_syncForm = syncForm;
    m_aboutForm = aboutForm;
    m_resForm = resForm;
    m_treeVForm = treeVForm;
    m_taskForm = taskForm;
    m_editor->AttachDialogs(dirForm, advForm);
    if (m_resForm)
        m_resForm->SetLineSource([this]() -> const std::vector<std::string>& { return m_resultLog.Lines(); });
}

void TcltForm::FormCreate(const std::string& exePath)
{
    m_state.TaskNames.clear();
    m_state.TaskList.clear();
    m_state.ScheduleList.clear();
    m_state.IgnoreMasks.clear();
    m_state.DelMasks.clear();
    m_state.OnlyTypeMasks.clear();
    m_exePath = exePath;
    const ProgramFiles files = LocateProgramFiles(exePath);
    m_state.ConfigFileName = files.ConfigFileName;
    m_state.LogFileName = files.LogFileName;

    std::error_code error;
    if (std::filesystem::exists(m_state.ConfigFileName, error)) {
        try {
            LoadConfig(m_state);
        } catch (const std::exception& failure) {
            Dialogs().showException(nullptr, QString::fromUtf8(failure.what()));
        }
    }
    m_taskList->Fill(m_state.TaskNames);
    m_state.CurrentIndex = -1;
}

void TcltForm::ApplyTexts()
{
    ApplyUiFont(this);
    setWindowTitle(msg(kMsgAppTitle));
    m_trayShow->setText(msg(kMsgTrayShow));
    m_trayGoSync->setText(msg(kMsgGoSyncHint));
    m_trayStartAtLogin->setText(msg(kMsgStartAtLogin));
    m_trayQuit->setText(msg(kMsgQuit));
    m_taskList->ApplyTexts();
    m_editor->ApplyTexts();
    // Each button's tool tip names its action and, where it has one, its key.
    auto hint = [](int message, const QAction* action) {
        QString text = msg(message);
        if (action && !action->shortcut().isEmpty())
            text += QStringLiteral(" (") + action->shortcut().toString(QKeySequence::NativeText) + QLatin1Char(')');
        return text;
    };
    ToolButton1->setToolTip(hint(kMsgSaveHint, m_saveAction));
    NewBtn->setToolTip(hint(kMsgNewTaskHint, m_newAction));
    AddBtn->setToolTip(hint(kMsgCopyTaskHint, nullptr));
    DelBtn->setToolTip(hint(kMsgDeleteTaskHint, m_deleteAction));
    GoSync->setToolTip(hint(kMsgGoSyncHint, m_goSyncAction));
    ExitBtn->setToolTip(hint(kMsgExitHint, m_quitAction));
    AboutBtn->setToolTip(hint(kMsgAbout, nullptr));
    btTask->setToolTip(hint(kMsgTaskSchedule, m_scheduleAction));
    ApplyDesignedSize(this, centralWidget()->layout(), kDesignedSize, m_sizedOnce);
}

void ApplyDesignedSize(QWidget* window, QLayout* layout, QSize designed, bool& sizedOnce)
{
    layout->activate();
    const QSize size = window->minimumSizeHint().expandedTo(designed);
    window->setMinimumSize(size);
    if (!sizedOnce)
        window->resize(size);
    sizedOnce = true;
}

QString TcltForm::windowPlaceFile() const
{
    // Beside the configuration file, wherever the program keeps that.
    return QFileInfo(QString::fromStdString(m_state.ConfigFileName)).absolutePath() + QLatin1Char('/') +
           QString::fromLatin1(kWindowPlaceFile);
}

bool TcltForm::restoreWindowPlace()
{
    QSettings stored(windowPlaceFile(), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("MainWindow"));
    const QRect place = stored.value(QStringLiteral("geometry")).toRect();
    const bool maximized = stored.value(QStringLiteral("maximized"), false).toBool();
    stored.endGroup();
    if (!place.isValid())
        return false;
    // A place on a screen that is no longer there (a second monitor unplugged) is not used:
    // the title bar must be reachable.
    const QRect titleBar(place.topLeft(), QSize(place.width(), 24));
    bool reachable = false;
    for (const QScreen* candidate : QGuiApplication::screens())
        reachable = reachable || candidate->availableGeometry().intersects(titleBar);
    resize(place.size().expandedTo(minimumSize()));
    if (reachable)
        move(place.topLeft());
    if (maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    return reachable;
}

void TcltForm::saveWindowPlace() const
{
    QSettings stored(windowPlaceFile(), QSettings::IniFormat);
    stored.beginGroup(QStringLiteral("MainWindow"));
    const QRect place = isMaximized() ? normalGeometry() : geometry();
    stored.setValue(QStringLiteral("geometry"), QRect(pos(), place.size()));
    stored.setValue(QStringLiteral("maximized"), isMaximized());
    stored.endGroup();
    stored.sync();
}

void TcltForm::SetStatusText(const QString& text)
{
    m_statusPanel->setText(text);
}

bool TcltForm::OnScreen() const
{
    return isVisible() && !isMinimized() && !testAttribute(Qt::WA_DontShowOnScreen);
}

QString TcltForm::StatusText() const
{
    return m_statusPanel->text();
}

QListWidget* TcltForm::TaskListBox() const
{
    return m_taskList->ListBox();
}

void TcltForm::selectRow(int row)
{
    m_taskList->Select(row);
    liTaskClick();
}

void TcltForm::liTaskClick()
{
    m_state.CurrentIndex = m_taskList->SelectedRow();
    m_editor->ShowTask();
}

TAction TcltForm::TextToAction(const QString& text) const
{
    return m_editor->TextToAction(text);
}

QString TcltForm::makeNewTaskName() const
{
    const QString base = msg(kMsgNewTaskName);
    for (int n = 1; n <= kMaxNewTaskNumber; ++n) {
        const QString candidate = base + QString::number(n);
        const std::string wanted = candidate.toStdString();
        bool used = false;
        for (const std::string& name : m_state.TaskNames) {
            if (EqualsAsciiNoCase(name, wanted)) {
                used = true;
                break;
            }
        }
        if (!used)
            return candidate;
    }
    return base + QString::number(kMaxNewTaskNumber);
}

void TcltForm::appendTask(std::unique_ptr<TSyncTask> task, const QString& name)
{
    m_state.TaskList.push_back(std::move(task));
    m_state.TaskNames.push_back(name.toStdString());
    m_taskList->Append(name);
    selectRow(m_taskList->Count() - 1);
    m_state.Modified = true;
}

void TcltForm::NewBtnClick()
{
    const QString name = makeNewTaskName();
    std::unique_ptr<TSyncTask> task = NewSyncTask();
    WriteTextField(task->Desc, Msg(kMsgNewTaskDescription));
    appendTask(std::move(task), name);
}

void TcltForm::AddBtnClick()
{
    const TSyncTask* current = m_state.CurrentTask();
    if (!current) {
        Dialogs().error(this, msg(kMsgSelectTaskFirst));
        return;
    }
    const QString name = makeNewTaskName();
    auto copy = std::make_unique<TSyncTask>();
    std::memcpy(copy.get(), current, sizeof(TSyncTask));
    appendTask(std::move(copy), name);
}

void TcltForm::DelBtnClick()
{
    const int index = m_state.CurrentIndex;
    if (!m_state.CurrentTask())
        return;
    m_taskList->Remove(index);
    m_state.TaskList.erase(m_state.TaskList.begin() + index);
    m_state.TaskNames.erase(m_state.TaskNames.begin() + index);
    selectRow(-1);
    m_state.Modified = true;
}

void TcltForm::rDragController1ItemMove(int fromIndex, int toIndex)
{
    const auto count = static_cast<int>(m_state.TaskList.size());
    if (fromIndex < 0 || fromIndex >= count || toIndex < 0 || toIndex >= count)
        return;
    auto record = std::move(m_state.TaskList[static_cast<std::size_t>(fromIndex)]);
    m_state.TaskList.erase(m_state.TaskList.begin() + fromIndex);
    m_state.TaskList.insert(m_state.TaskList.begin() + toIndex, std::move(record));
    std::string name = std::move(m_state.TaskNames[static_cast<std::size_t>(fromIndex)]);
    m_state.TaskNames.erase(m_state.TaskNames.begin() + fromIndex);
    m_state.TaskNames.insert(m_state.TaskNames.begin() + toIndex, std::move(name));
    selectRow(toIndex);
    m_state.Modified = true;
}

void TcltForm::A1Click()
{
    m_taskList->CheckAll();
}

void TcltForm::C1Click()
{
    m_taskList->ClearChecks();
}

void TcltForm::btTaskClick()
{
    if (m_taskForm)
        Dialogs().execDialog(*m_taskForm);
}

void TcltForm::AboutBtnClick()
{
    if (m_aboutForm)
        Dialogs().execDialog(*m_aboutForm);
}

bool TcltForm::SaveConfigFile(QString* errorText)
{
    try {
        SaveConfig(m_state);
        return true;
    } catch (const std::exception& failure) {
        if (errorText)
            *errorText = QString::fromUtf8(failure.what());
        return false;
    }
}

void TcltForm::ToolButton1Click()
{
    QString failure;
    if (!SaveConfigFile(&failure))
        Dialogs().showException(this, failure);
}

void TcltForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    if (m_commandLineRun || !restoreWindowPlace()) {
        if (const QScreen* screen = this->screen()) {
            const QRect area = screen->availableGeometry();
            move(area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
        }
    }
    FormShow();
}

void TcltForm::FormShow()
{
    EnableScheduleTimer();

    std::vector<std::string> args;
    for (const QString& argument : m_arguments)
        args.push_back(argument.toStdString());
    const CommandLine command = ParseCommandLine(args);
    if (command.mode != StartMode::Interactive) {
        const StartPlan plan = PlanStart(command, m_state.TaskNames, m_state.TaskList);
        m_state.AutoRun = plan.AutoRun;
        m_state.StartHidden = plan.StartHidden;
        m_state.CopyAll = plan.CopyAll;
        for (std::size_t index : plan.checked)
            m_taskList->SetChecked(static_cast<int>(index), true);
        GoSync->setEnabled(m_taskList->AnyChecked());
        m_goSyncAction->setEnabled(GoSync->isEnabled());
        if (plan.exitAtOnce) {
            // "/A" without an auto-mode task has simply nothing to do; a switch or a task name
            // that means nothing is a mistake that a cron line or a service must hear about.
            if (command.mode == StartMode::Unknown)
                reportBadCommandLine(Msg(kMsgUnknownArgument) + args.front());
            else if (command.mode == StartMode::RunNamed || command.mode == StartMode::CopyAllNamed)
                reportBadCommandLine(Msg(kMsgUnknownTaskName) + command.taskName);
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            return;
        }
    }

    liTaskClick();
    if (m_state.AutoRun)
        QMetaObject::invokeMethod(this, &TcltForm::OnGoSync, Qt::QueuedConnection);
    if (m_state.StartHidden)
        QMetaObject::invokeMethod(this, &TcltForm::OnMiniToTray, Qt::QueuedConnection);
}

void TcltForm::reportBadCommandLine(const std::string& line)
{
    m_exitStatus = kExitBadCommand;
    // The argument is echoed as typed, with control characters escaped like every log line.
    std::fprintf(stderr, "%s\n", EscapeControlChars(line).c_str());
    std::fflush(stderr);
}

void TcltForm::flushResultLog()
{
    const std::size_t lines = m_resultLog.Lines().size();
    if (m_logLinesWritten >= lines)
        return;
    // A log that cannot be written loses these lines, as it loses everything at exit; they are
    // not tried again, which could write part of them twice.
    if (AppendLogLines(m_state.LogFileName, m_resultLog, m_logLinesWritten))
        m_logFileWritten = true;
    m_logLinesWritten = lines;
}

void TcltForm::appendLog()
{
    // Every run has written its lines when it ended; what is left are lines logged outside a
    // run. The NUL closes this program run's text, and only when it wrote any: a program that
    // ran nothing leaves the file as it was. The program ends either way.
    flushResultLog();
    if (m_logFileWritten)
        AppendLogEnd(m_state.LogFileName);
    m_logFileWritten = false;
}

void TcltForm::closeEvent(QCloseEvent* event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    while (m_state.Modified) {
        if (!Dialogs().askYesNo(this, msg(kMsgPromptCaption), msg(kMsgTaskChanged), QMessageBox::Question))
            break;
        // A failed save says why before the question comes again, as the Save button does;
        // a silent repeat would leave the user guessing.
        QString failure;
        if (!SaveConfigFile(&failure))
            Dialogs().showException(this, failure);
    }
    DisableScheduleTimer();
    appendLog();
    // A command-line run leaves the place the user gave the window alone.
    if (m_shownOnce && !m_commandLineRun)
        saveWindowPlace();
    m_closing = true;
    event->accept();
    QMainWindow::closeEvent(event);
    emit Closed();
}

TForms::TForms() = default;
TForms::~TForms()
{
    // Children first: each window below is parented to the main window.
    fmTask.reset();
    dirForm.reset();
    advForm.reset();
    treeVForm.reset();
    resForm.reset();
    aboutForm.reset();
    syncForm.reset();
    cltForm.reset();
}

std::unique_ptr<TForms> TForms::Create(const QStringList& arguments, const std::string& exePath)
{
    auto forms = std::make_unique<TForms>();
    forms->cltForm = std::make_unique<TcltForm>(arguments, exePath);
    TcltForm* main = forms->cltForm.get();
    forms->syncForm = std::make_unique<TSyncForm>(main);
    forms->aboutForm = std::make_unique<TAboutForm>(main);
    forms->resForm = std::make_unique<TresForm>(main);
    forms->treeVForm = std::make_unique<TTreeVForm>(main);
    forms->advForm = std::make_unique<TadvForm>(main->State(), main);
    forms->dirForm = std::make_unique<TdirForm>(*main->DirDialog(), main->State(), main);
    forms->fmTask = std::make_unique<TfmTask>(main);
    main->AttachWindows(forms->syncForm.get(), forms->aboutForm.get(), forms->resForm.get(), forms->treeVForm.get(),
                        forms->advForm.get(), forms->dirForm.get(), forms->fmTask.get());
    return forms;
}

void TForms::ApplyAllTexts()
{
    cltForm->ApplyTexts();
    aboutForm->ApplyTexts();
    resForm->ApplyTexts();
    syncForm->ApplyTexts();
    treeVForm->ApplyTexts();
    advForm->ApplyTexts();
    dirForm->ApplyTexts();
    fmTask->ApplyTexts();
}

} // namespace pelmora
