// Going to the notification area and back, "/H", the schedule timer of the main window and
// the orderly end that a quit signal asks for.
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "lang/Messages.h"
#include "platform/Clock.h"
#include "platform/widgets/TrayIcon.h"
#include "sync/RunDriver.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/QuitSignals.h"
#include "ui/ScheduleForm.h"
#include "ui/SyncForm.h"
#include "ui/TrayHost.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

// A program start as main() makes it, "/H" included.
struct Start : Program
{
    Start(const QTemporaryDir& dir, const QStringList& arguments) : Program(dir, arguments, AsMain) {}
};

int iconsOf(TcltForm& main)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return static_cast<int>(main.findChildren<QSystemTrayIcon*>().size());
}

int visibleWindows()
{
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        shown += w->isVisible() && !w->testAttribute(Qt::WA_DontShowOnScreen);
    return shown;
}

std::unique_ptr<TScheduleItem> dueEntry(const std::string& task, double nextRun, std::int16_t repeat)
{
    ScheduleItems none;
    auto item = NewScheduleItem(none);
    WriteShortString(item->TaskName, task);
    item->Kind = skInterval;
    item->Time = 1.0 / 24; // every hour
    item->NextRun = nextRun;
    item->RepeatCount = repeat;
    return item;
}

} // namespace

class TrayTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SetNotificationAreaProbe(nullptr); }

    void startingHiddenShowsNoWindowAndOneIconUntilItIsClicked()
    {
        SetNotificationAreaProbe([] { return true; });
        QTemporaryDir dir;
        WriteConfig(dir, {"one", "two"}, [](std::size_t, TSyncTask&) {});
        Start start(dir, {"/H"});
        TcltForm& main = start.main();
        QTRY_VERIFY(main.TrayIcon() && main.TrayIcon()->Active());
        QCOMPARE(visibleWindows(), 0);
        QVERIFY(!main.isVisible());
        QCOMPARE(iconsOf(main), 1);
        QCOMPARE(main.TrayIcon()->NativeIcon()->toolTip(), QString::fromUtf8(Msg(0)));
        QVERIFY(!main.TrayIcon()->NativeIcon()->icon().isNull());

        // Minimising once more ("/H" followed by the minimise handler) adds no icon.
        main.OnMiniToTray();
        main.MinimizeToTray();
        QCOMPARE(iconsOf(main), 1);
        QVERIFY(!main.isVisible());

        // A click brings the window back, with no task selected, and removes the icon.
        emit main.TrayIcon()->NativeIcon()->activated(QSystemTrayIcon::Trigger);
        QCoreApplication::processEvents();
        QVERIFY(main.isVisible());
        QVERIFY(!main.isMinimized());
        QVERIFY(!main.testAttribute(Qt::WA_DontShowOnScreen));
        QVERIFY(!main.TrayIcon()->Active());
        QTRY_COMPARE(iconsOf(main), 0);
        QCOMPARE(main.State().CurrentIndex, -1);
        QVERIFY(main.TaskListBox()->selectedItems().isEmpty());
        QVERIFY(start.dialogs.asked().empty());
        QVERIFY2(main.ScheduleTimer().Enabled(), "the scheduler runs from the first show on");
    }

    void minimisingTheWindowGoesToTheNotificationArea()
    {
        SetNotificationAreaProbe([] { return true; });
        QTemporaryDir dir;
        Start start(dir, {});
        TcltForm& main = start.main();
        QVERIFY(main.isVisible());
        QVERIFY(!main.TrayIcon()->Active());
        QCOMPARE(iconsOf(main), 0);

        main.showMinimized();
        QTRY_VERIFY(!main.isVisible());
        QVERIFY(main.TrayIcon()->Active());
        QCOMPARE(iconsOf(main), 1);
        QCOMPARE(visibleWindows(), 0);

        emit main.TrayIcon()->NativeIcon()->activated(QSystemTrayIcon::Trigger);
        QCoreApplication::processEvents();
        QVERIFY(main.isVisible());
        QVERIFY(!main.isMinimized());
        QTRY_COMPARE(iconsOf(main), 0);
        // Minimised again, it goes there again.
        main.showMinimized();
        QTRY_VERIFY(!main.isVisible());
        QCOMPARE(iconsOf(main), 1);
    }

    void withoutANotificationAreaTheWindowStaysInTheTaskBar()
    {
        SetNotificationAreaProbe([] { return false; });
        QTemporaryDir dir;
        Start start(dir, {"/h"});
        TcltForm& main = start.main();
        QTRY_VERIFY(main.isMinimized());
        QVERIFY(main.isVisible());
        QVERIFY(!main.testAttribute(Qt::WA_DontShowOnScreen));
        QVERIFY(!main.TrayIcon()->Active());
        QCOMPARE(iconsOf(main), 0);

        main.showNormal();
        main.showMinimized();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QVERIFY(main.isVisible());
        QCOMPARE(iconsOf(main), 0);
    }

    void theTimerFiresADueEntryButNotDuringARun()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        const fs::path host = fs::path(dir.path().toStdString()) / "host";
        const fs::path mirror = fs::path(dir.path().toStdString()) / "mirror";
        fs::create_directories(host);
        fs::create_directories(mirror);
        std::ofstream(host / "slow.bin") << std::string(1200 * 1024, 's');
        TaskRecords tasks;
        tasks.push_back(NewSyncTask());
        WriteTextField(tasks[0]->MainDir, host.string());
        WriteTextField(tasks[0]->MirrorDir, mirror.string());
        tasks[0]->InMain = acHostToMirror;
        tasks[0]->AutoMode = 0xFF;
        tasks[0]->Speed = 200; // about 6 s for the file
        ScheduleItems schedules;
        schedules.push_back(dueEntry("nothing", SystemClock().Now() + 1.0 / 86400, 3));
        WriteConfigFile(ConfigPathIn(dir).toStdString(), SerializeConfig({"slow"}, tasks, schedules));
        Start start(dir, {});
        TcltForm& main = start.main();
        TScheduleItem& entry = *main.State().ScheduleList[0];
        entry.NextRun = SystemClock().Now() + 1.0 / 86400; // a second from now, whatever start-up took
        QVERIFY(main.ScheduleTimer().Enabled());
        QCOMPARE(main.ScheduleTimer().Interval(), 20u);

        // A check comes at least every 2 s: the entry fires once and is moved on an hour.
        QTRY_COMPARE_WITH_TIMEOUT(entry.RepeatCount, std::int16_t(2), 6000);
        QVERIFY(entry.NextRun > SystemClock().Now() + 0.9 / 24);
        QTRY_VERIFY(start.forms->fmTask->PendingScheduleTask().empty());
        QVERIFY(!main.State().Modified);

        // During a run the main window is hidden, not moved, and the timer posts no check: an
        // entry due meanwhile is more than 4.32 s late once the run is over, and is moved on
        // without running.
        main.move(140, 90);
        const QPoint home = main.pos();
        entry.NextRun = SystemClock().Now() + 0.5 / 86400;
        bool sawRun = false;
        bool shownDuringRun = false;
        QPoint placeDuringRun = home;
        QTimer poll;
        poll.setInterval(50);
        QObject::connect(&poll, &QTimer::timeout, &main, [&] {
            if (!main.RunActive())
                return;
            sawRun = true;
            shownDuringRun = shownDuringRun || main.isVisible();
            if (main.pos() != home)
                placeDuringRun = main.pos();
        });
        poll.start();
        main.TaskListBox()->item(0)->setCheckState(Qt::Checked);
        main.GoSyncClick();
        poll.stop();
        QCOMPARE(ReadAll(QString::fromStdString((mirror / "slow.bin").string())).size(), 1200 * 1024);
        QVERIFY(sawRun);
        QVERIFY2(!shownDuringRun, "the main window stayed on screen during the run");
        QCOMPARE(placeDuringRun, home);
        QVERIFY(!main.RunActive());
        QVERIFY(main.isVisible());
        QCOMPARE(main.pos(), home);
        QCOMPARE(entry.RepeatCount, std::int16_t(2));
        QVERIFY(entry.NextRun < SystemClock().Now() - 4.5 / 86400);
        QTRY_VERIFY_WITH_TIMEOUT(entry.NextRun > SystemClock().Now() + 0.9 / 24, 4000);
        QCOMPARE(entry.RepeatCount, std::int16_t(2));

        // Closing stops the timer.
        main.close();
        QVERIFY(!main.ScheduleTimer().Enabled());
    }

    // The last three: a quit from outside ends the application's event loops for good.
    void aQuitSignalCancelsARunningTaskWithoutAQuestion()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        const fs::path host = fs::path(dir.path().toStdString()) / "host";
        const fs::path mirror = fs::path(dir.path().toStdString()) / "mirror";
        fs::create_directories(mirror);
        for (int i = 0; i < 3000; ++i) {
            fs::create_directories(host / std::to_string(i));
            std::ofstream(host / std::to_string(i) / "f.txt") << i;
        }
        WriteConfig(dir, {"big"}, [&](std::size_t, TSyncTask& task) {
            WriteTextField(task.MainDir, host.string());
            WriteTextField(task.MirrorDir, mirror.string());
            task.InMain = acHostToMirror;
            task.AutoMode = 0xFF;
        });
        Start start(dir, {});
        TcltForm& main = start.main();
        // The signal arrives while the run is going on (the run lets timers through while
        // it lists the folders).
        bool asked = false;
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, &main, [&] {
            RunDriver* run = start.forms->syncForm->Driver();
            if (!asked && run && !run->CanClose()) {
                asked = true;
                main.QuitFromOutside();
            }
        });
        poll.start();
        main.TaskListBox()->item(0)->setCheckState(Qt::Checked);
        main.GoSyncClick();
        QVERIFY(asked);
        QTRY_VERIFY(!main.isVisible());
        QVERIFY2(start.dialogs.asked().empty(), "neither the cancel question nor the save question");
        const QByteArray log = ReadAll(dir.path() + "/pelmora.log");
        // Cancelled while listing: the run's block says the user broke it off.
        QVERIFY2(log.contains("Start task: big\r\n" + QByteArray(Msg(67))), log.constData());
        QVERIFY(!fs::exists(mirror / "2999" / "f.txt"));
    }
    void aQuitSignalEndsInOrderWithoutTheSaveQuestion()
    {
        QTemporaryDir dir;
        WriteConfig(dir, {"kept"}, [](std::size_t, TSyncTask&) {});
        const QByteArray configBefore = ReadAll(ConfigPathIn(dir));
        Start start(dir, {});
        TcltForm& main = start.main();
        QTest::mouseClick(main.findChild<QToolButton*>("NewBtn"), Qt::LeftButton);
        QVERIFY(main.State().Modified);
        main.ResultLog().Add("Start task: kept");
        main.ResultLog().Add("end of the run");

        int received = 0;
        TQuitSignals quitSignals([&](int signal) {
            received = signal;
            main.QuitFromOutside();
        });
        ::raise(SIGTERM);
        QTRY_COMPARE(received, SIGTERM);
        QVERIFY(!main.isVisible());
        QVERIFY(!main.ScheduleTimer().Enabled());
        QVERIFY2(start.dialogs.asked().empty(), "no save question");
        QCOMPARE(ReadAll(ConfigPathIn(dir)), configBefore);
        const QByteArray log = ReadAll(dir.path() + "/pelmora.log");
        QCOMPARE(log, QByteArray("Start task: kept\r\nend of the run\r\n") + QByteArray(1, '\0'));
    }
    // A signal that arrives while the stop question of a copy is on screen: the box is
    // put away, the run ends cancelled and its result block reaches the log in full.
    void aQuitSignalDuringTheStopQuestionStillLogsTheRun()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        const fs::path host = fs::path(dir.path().toStdString()) / "host";
        const fs::path mirror = fs::path(dir.path().toStdString()) / "mirror";
        fs::create_directories(host);
        fs::create_directories(mirror);
        std::ofstream(host / "big.bin") << std::string(4 * 1024 * 1024, 'x');
        WriteConfig(dir, {"big"}, [&](std::size_t, TSyncTask& task) {
            WriteTextField(task.MainDir, host.string());
            WriteTextField(task.MirrorDir, mirror.string());
            task.InMain = acHostToMirror;
            task.AutoMode = 0xFF;
            task.Speed = 200; // 20 s for the file: the copy is surely under way
        });
        Start start(dir, {});
        TcltForm& main = start.main();
        // Real message boxes from here on: the stop question runs its own event loop.
        SetDialogService(nullptr);
        bool cancelPressed = false;
        bool signalled = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, &main, [&] {
            RunDriver* run = start.forms->syncForm->Driver();
            if (!cancelPressed && run && run->State() == rsExecHost) {
                cancelPressed = true;
                QMetaObject::invokeMethod(start.forms->syncForm->btnCancel, &QPushButton::click, Qt::QueuedConnection);
            } else if (cancelPressed && !signalled && qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                signalled = true;
                main.QuitFromOutside();
            }
        });
        poll.start();
        main.TaskListBox()->item(0)->setCheckState(Qt::Checked);
        QElapsedTimer clock;
        clock.start();
        main.GoSyncClick();
        QVERIFY(signalled);
        QTRY_VERIFY(!main.isVisible());
        QVERIFY2(clock.elapsed() < 4000, "the box was not waited out");
        const QByteArray log = ReadAll(dir.path() + "/pelmora.log");
        QVERIFY2(log.contains(QByteArray(Msg(67)) + "\r\n\r\n" + QByteArray(Msg(70))), log.constData());
        QVERIFY2(log.endsWith(QByteArray(61, '=') + "\r\n" + QByteArray(1, '\0')), log.constData());
        QVERIFY(!fs::exists(mirror / "big.bin"));
        QVERIFY(fs::is_empty(mirror));
    }
};

QTEST_MAIN(TrayTest)
#include "Tray_test.moc"
