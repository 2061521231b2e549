// The program on the desktop: the notification area's menu and the notification of a run that
// ended unseen, start at login, the keyboard shortcuts, and windows that can be resized (the
// main window's size and place kept across starts).
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/widgets/SMemo.h"
#include "platform/widgets/TrayIcon.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/ResForm.h"
#include "ui/ScheduleForm.h"
#include "ui/TrayHost.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

namespace fs = std::filesystem;

// A program start as main() makes it, "/H" included, with its tray menu at hand.
struct Start : Program
{
    Start(const QTemporaryDir& dir, const QStringList& arguments) : Program(dir, arguments, AsMain) {}
    QAction* trayItem(const char* name)
    {
        auto* action = main().TrayMenu()->findChild<QAction*>(QString::fromLatin1(name));
        if (!action)
            qFatal("no menu item %s", name);
        return action;
    }
    // What the menu shows when it opens.
    void openMenu() { emit main().TrayMenu()->aboutToShow(); }
};

struct Note
{
    QString title;
    QString text;
    bool failed;
};

QString msg(int n)
{
    return QString::fromUtf8(Msg(n));
}

} // namespace

class DesktopTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { SelectLanguage(kLangEnglishUS); }
    void cleanup() { SetNotificationAreaProbe(nullptr); }

    void trayMenuRunsTheCheckedTasksAndTellsHowTheRunEnded()
    {
        SetNotificationAreaProbe([] { return true; });
        QTemporaryDir dir;
        const fs::path root = dir.path().toStdString();
        fs::create_directories(root / "host");
        fs::create_directories(root / "mirror");
        std::ofstream(root / "host" / "a.txt") << "alpha";
        // A dangling link opposite a file is a failure the run counts.
        fs::create_symlink(root / "nowhere", root / "host" / "broken");
        std::ofstream(root / "mirror" / "broken") << "kept";
        WriteConfig(dir, {"backup"}, [&](std::size_t, TSyncTask& task) {
            WriteTextField(task.MainDir, (root / "host").string());
            WriteTextField(task.MirrorDir, (root / "mirror").string());
            task.InMain = acHostToMirror;
            task.AutoMode = 0xFF; // unattended: no preview, no results window
        });
        Start start(dir, {"/H"});
        TcltForm& main = start.main();
        QTRY_VERIFY(main.TrayIcon() && main.TrayIcon()->Active());
        QCOMPARE(main.TrayIcon()->PopupMenu(), main.TrayMenu());
        std::vector<Note> notes;
        main.SetRunEndNotifier([&notes](const QString& title, const QString& text, bool failed) {
            notes.push_back({title, text, failed});
        });

        // The texts, and Go Sync only while a task is checked, as the toolbar button.
        start.openMenu();
        QCOMPARE(start.trayItem("TrayShow")->text(), QStringLiteral("Show Pelmora"));
        QCOMPARE(start.trayItem("TrayGoSync")->text(), QStringLiteral("Go Sync"));
        QCOMPARE(start.trayItem("TrayStartAtLogin")->text(), QStringLiteral("Start at login"));
        QVERIFY(start.trayItem("TrayStartAtLogin")->isCheckable());
        QCOMPARE(start.trayItem("TrayQuit")->text(), QStringLiteral("Quit"));
        QVERIFY(!start.trayItem("TrayGoSync")->isEnabled());
        main.TaskListBox()->item(0)->setCheckState(Qt::Checked);
        start.openMenu();
        QVERIFY(start.trayItem("TrayGoSync")->isEnabled());

        // The run ends while the window is in the notification area: one notification with
        // the task, the failed count in the title, and the run's end line.
        start.trayItem("TrayGoSync")->trigger();
        QTRY_COMPARE(notes.size(), std::size_t{1});
        QCOMPARE(ReadAll(dir.path() + "/mirror/a.txt"), QByteArray("alpha"));
        QCOMPARE(notes[0].title, QStringLiteral("backup: 1 failed"));
        QCOMPARE(notes[0].text, msg(kMsgTaskFinished));
        QVERIFY(notes[0].failed);
        QVERIFY(!main.isVisible());
        QVERIFY(main.TrayIcon()->Active());

        // Show Pelmora brings the window back; a run it watches tells nobody else. Through the
        // notification area and back the window keeps its place.
        start.trayItem("TrayShow")->trigger();
        QVERIFY(main.isVisible());
        QVERIFY(!main.TrayIcon()->Active());
        main.move(150, 120);
        main.showMinimized();
        QTRY_VERIFY(main.TrayIcon()->Active());
        QVERIFY(!main.isVisible());
        start.trayItem("TrayShow")->trigger();
        QVERIFY(main.isVisible());
        QCOMPARE(main.pos(), QPoint(150, 120));
        fs::remove(root / "host" / "broken");
        std::ofstream(root / "host" / "b.txt") << "beta";
        main.GoSyncClick();
        QCOMPARE(ReadAll(dir.path() + "/mirror/b.txt"), QByteArray("beta"));
        QCOMPARE(notes.size(), std::size_t{1});

        // Minimised (here without a notification area, so in the task bar), a clean run is
        // told with the task's name alone.
        SetNotificationAreaProbe([] { return false; });
        main.showMinimized();
        QTRY_VERIFY(main.isMinimized());
        std::ofstream(root / "host" / "c.txt") << "gamma";
        main.GoSyncClick();
        QCOMPARE(ReadAll(dir.path() + "/mirror/c.txt"), QByteArray("gamma"));
        QCOMPARE(notes.size(), std::size_t{2});
        QCOMPARE(notes[1].title, QStringLiteral("backup"));
        QCOMPARE(notes[1].text, msg(kMsgTaskFinished));
        QVERIFY(!notes[1].failed);
        QVERIFY(start.dialogs.asked().empty());
    }

    void startAtLoginWritesAndRemovesTheAutostartEntry()
    {
        QTemporaryDir dir;
        QTemporaryDir config;
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString entry = config.path() + "/autostart/pelmora.desktop";
        {
            Start start(dir, {});
            QAction* item = start.trayItem("TrayStartAtLogin");
            start.openMenu();
            QVERIFY(!item->isChecked());

            item->trigger();
            QVERIFY(item->isChecked());
            const QByteArray text = ReadAll(entry);
            QVERIFY2(text.contains("\nExec=" + QByteArray::fromStdString(ExePathIn(dir)) + " /H\n"), text.constData());
            start.openMenu();
            QVERIFY(item->isChecked());

            item->trigger();
            QVERIFY(!item->isChecked());
            QVERIFY(!QFile::exists(entry));

            // A file where the autostart folder should be: the box says why, the item stays off.
            QVERIFY(QFile::remove(config.path() + "/autostart") || QDir(config.path()).rmdir("autostart"));
            QFile blocker(config.path() + "/autostart");
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            blocker.close();
            item->trigger();
            QVERIFY(!item->isChecked());
            QCOMPARE(start.dialogs.asked().size(), std::size_t{1});
            QVERIFY(start.dialogs.asked()[0].text.startsWith(msg(kMsgAutostartNotChanged)));
        }
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    void quitFromTheMenuAsksTheSaveQuestionAndEndsTheProgram()
    {
        SetNotificationAreaProbe([] { return true; });
        QTemporaryDir dir;
        WriteConfig(dir, {"kept"}, [](std::size_t, TSyncTask&) {});
        const QByteArray before = ReadAll(ConfigPathIn(dir));
        Start start(dir, {"/H"});
        TcltForm& main = start.main();
        QTRY_VERIFY(main.TrayIcon()->Active());
        main.NewBtnClick();
        QVERIFY(main.State().Modified);
        QSignalSpy closed(&main, &TcltForm::Closed);
        start.dialogs.pushAnswer(QMessageBox::No);
        start.trayItem("TrayQuit")->trigger();
        QTRY_COMPARE(closed.count(), 1);
        QCOMPARE(start.dialogs.asked().size(), std::size_t{1});
        QCOMPARE(start.dialogs.asked()[0].text, msg(kMsgTaskChanged));
        QCOMPARE(ReadAll(ConfigPathIn(dir)), before);
    }

    void eachShortcutTriggersItsAction()
    {
        QTemporaryDir dir;
        Program program(dir);
        TcltForm& main = program.main();
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        auto* list = program.find<QListWidget>("liTask");

        // The tool tips name each button's action and key.
        QCOMPARE(program.find<QToolButton>("ToolButton1")->toolTip(), QStringLiteral("Save (Ctrl+S)"));
        QCOMPARE(program.find<QToolButton>("NewBtn")->toolTip(), QStringLiteral("New Task (Ctrl+N)"));
        QCOMPARE(program.find<QToolButton>("AddBtn")->toolTip(), QStringLiteral("Copy Task"));
        QCOMPARE(program.find<QToolButton>("DelBtn")->toolTip(), QStringLiteral("Delete Task (Del)"));
        QCOMPARE(program.find<QToolButton>("GoSync")->toolTip(), QStringLiteral("Go Sync (F5)"));
        QCOMPARE(program.find<QToolButton>("btTask")->toolTip(), QStringLiteral("Task Schedule (Ctrl+T)"));
        QCOMPARE(program.find<QToolButton>("ExitBtn")->toolTip(), QStringLiteral("Exit (Ctrl+Q)"));

        QTest::keyClick(&main, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(list->count(), 1);
        QTest::keyClick(&main, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!program.state().Modified);
        QVERIFY(QFile::exists(ConfigPathIn(dir)));

        bool scheduleShown = false;
        program.dialogs.pushDialog([&](QDialog& d) {
            scheduleShown = qobject_cast<TfmTask*>(&d) != nullptr;
            return 0;
        });
        QTest::keyClick(&main, Qt::Key_T, Qt::ControlModifier);
        QVERIFY(scheduleShown);

        // F5 does what Go Sync does: nothing while no task is checked, else it runs them (this
        // task has no folders, so the run is refused with its box).
        QTest::keyClick(&main, Qt::Key_F5);
        QVERIFY(program.dialogs.asked().empty());
        list->item(0)->setCheckState(Qt::Checked);
        QTest::keyClick(&main, Qt::Key_F5);
        QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
        QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Invalid Host folder or Mirror folder."));

        // Delete removes the task only from the task list; in a text field it is the field's.
        auto* edName = program.find<QLineEdit>("edName");
        list->setCurrentRow(0);
        main.liTaskClick();
        edName->setFocus();
        QTest::keyClick(edName, Qt::Key_Delete);
        QCOMPARE(list->count(), 1);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->count(), 0);
        QCOMPARE(program.state().TaskList.size(), std::size_t{0});

        // Ctrl+Q is the exit button: the save question, then the window closes.
        program.dialogs.pushAnswer(QMessageBox::No);
        QTest::keyClick(&main, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!main.isVisible());
        QCOMPARE(program.dialogs.asked().size(), std::size_t{2});
        QCOMPARE(program.dialogs.asked()[1].text, msg(kMsgTaskChanged));
    }

    void theMainWindowGivesExtraSpaceToItsListsAndKeepsItsPlace()
    {
        QTemporaryDir dir;
        WriteConfig(dir, {"one", "two"}, [](std::size_t, TSyncTask&) {});
        const QByteArray configBefore = ReadAll(ConfigPathIn(dir));
        QSize designed;
        QRect placed;
        QSize taskList, folderList, description;
        {
            Program program(dir);
            TcltForm& main = program.main();
            designed = main.size();
            QCOMPARE(main.minimumSize(), designed);
            auto* liTask = program.find<QListWidget>("liTask");
            auto* liExclude = program.find<QListWidget>("liExclude");
            auto* edDesc = program.find<QPlainTextEdit>("edDesc");
            const QSize task0 = liTask->size(), folder0 = liExclude->size(), desc0 = edDesc->size();

            main.resize(designed * 2);
            main.move(40, 30);
            QCoreApplication::processEvents();
            const int extraW = designed.width();
            const int extraH = designed.height();
            // The task list and the description share the left column's third of the width;
            // the folder list gets the editor's two thirds. The height goes to the lists, the
            // task list taking four times what the description takes.
            QVERIFY2(liTask->width() - task0.width() >= extraW / 4, qPrintable(QString::number(liTask->width())));
            QVERIFY(liTask->height() - task0.height() >= extraH / 2);
            QVERIFY(edDesc->height() - desc0.height() >= extraH / 8);
            QVERIFY(liTask->height() - task0.height() > 3 * (edDesc->height() - desc0.height()));
            QVERIFY(liExclude->width() - folder0.width() >= extraW / 2);
            QVERIFY(liExclude->height() - folder0.height() >= extraH * 3 / 4);
            // Nothing is squeezed below where it was.
            QVERIFY(program.find<QWidget>("GroupBox1")->height() >= 100);
            placed = main.geometry();
            taskList = liTask->size();
            folderList = liExclude->size();
            description = edDesc->size();
            main.close();
        }
        // Kept beside the configuration file, whose bytes stay as they were.
        QVERIFY(QFile::exists(dir.path() + "/pelmora-window.ini"));
        QCOMPARE(ReadAll(ConfigPathIn(dir)), configBefore);

        Program again(dir);
        QCOMPARE(again.main().geometry(), placed);
        QCOMPARE(again.find<QListWidget>("liTask")->size(), taskList);
        QCOMPARE(again.find<QListWidget>("liExclude")->size(), folderList);
        QCOMPARE(again.find<QPlainTextEdit>("edDesc")->size(), description);
        QCOMPARE(again.main().minimumSize(), designed);

        // A command-line run leaves the kept place alone.
        const QByteArray kept = ReadAll(dir.path() + "/pelmora-window.ini");
        again.main().resize(designed);
        again.main().close();
        QVERIFY(ReadAll(dir.path() + "/pelmora-window.ini") != kept);
        {
            QueuedDialogService dialogs;
            SetDialogService(&dialogs);
            auto forms = TForms::Create({"/A"}, ExePathIn(dir));
            forms->ApplyAllTexts();
            const QByteArray before = ReadAll(dir.path() + "/pelmora-window.ini");
            forms->cltForm->show();
            QTRY_VERIFY(!forms->cltForm->isVisible());
            QCOMPARE(ReadAll(dir.path() + "/pelmora-window.ini"), before);
            forms.reset();
            SetDialogService(nullptr);
        }
    }

    void resultsAndScheduleWindowsResizeAroundTheirText()
    {
        // Results: the text takes the space; the separator line is never wrapped.
        const std::string separator(61, '=');
        std::vector<std::string> lines{"Start task: Backup", "Task finish!", separator};
        TresForm results;
        results.ApplyTexts();
        results.SetLineSource([&lines]() -> const std::vector<std::string>& { return lines; });
        QCOMPARE(results.size(), QSize(390, 293));
        QCOMPARE(results.minimumSize(), QSize(390, 293));
        results.show();
        QVERIFY(QTest::qWaitForWindowExposed(&results));
        const QTextBlock last = results.resMemo->document()->lastBlock();
        QCOMPARE(last.text(), QString::fromStdString(separator));
        QCOMPARE(last.layout()->lineCount(), 1);
        const QSize memo0 = results.resMemo->size();
        results.resize(780, 586);
        QCoreApplication::processEvents();
        QCOMPARE(results.resMemo->width(), memo0.width() + 390);
        QCOMPARE(results.resMemo->height(), memo0.height() + 293);
        QVERIFY(results.btnClose->geometry().bottom() > 540);
        QVERIFY(qAbs(results.btnClose->geometry().center().x() - 390) <= 1);
        results.close();

        // Schedule: the list of entries takes the space, the fields keep their width.
        TfmTask schedule;
        schedule.ApplyTexts();
        QCOMPARE(schedule.size(), schedule.minimumSize());
        QVERIFY(schedule.width() >= 444 && schedule.height() >= 337);
        schedule.show();
        QVERIFY(QTest::qWaitForWindowExposed(&schedule));
        const QSize designed = schedule.size();
        const QSize list0 = schedule.ListBox1->size();
        const int field0 = schedule.Edit1->width();
        schedule.resize(designed * 2);
        QCoreApplication::processEvents();
        QCOMPARE(schedule.ListBox1->width(), list0.width() + designed.width());
        QCOMPARE(schedule.ListBox1->height(), list0.height() + designed.height());
        QCOMPARE(schedule.Edit1->width(), field0);
        QVERIFY(schedule.Button3->geometry().right() > designed.width() * 2 - 20);
        QVERIFY(schedule.Button1->geometry().bottom() > designed.height() * 2 - 20);
        schedule.close();
    }
};

QTEST_MAIN(DesktopTest)
#include "Desktop_test.moc"
