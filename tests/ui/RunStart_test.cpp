#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <cstdlib>

#include "lang/Messages.h"
#include "platform/RunLock.h"
#include "sync/SyncLog.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/SyncForm.h"
#include "ui/TreeVForm.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct Task
{
    std::string name;
    std::string host;
    std::string mirror;
    TAction inMirror = acIgnore;
    bool autoMode = false;
};

void WriteTasks(const QTemporaryDir& dir, const std::vector<Task>& tasks)
{
    std::vector<std::string> names;
    for (const Task& t : tasks)
        names.push_back(t.name);
    WriteConfig(dir, names, [&](std::size_t i, TSyncTask& record) {
        WriteTextField(record.MainDir, tasks[i].host);
        WriteTextField(record.MirrorDir, tasks[i].mirror);
        record.InMain = acHostToMirror;
        record.InMirror = tasks[i].inMirror;
        record.IntoSub = kFlagTrue;
        record.AutoMode = ToFlag(tasks[i].autoMode);
    });
}

void CheckAll(Program& program)
{
    auto* list = program.find<QListWidget>("liTask");
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(Qt::Checked);
}

// The preview confirmed with Sync Now.
void ConfirmPreview(QueuedDialogService& dialogs)
{
    dialogs.pushDialog([](QDialog& d) {
        QCoreApplication::processEvents();
        QTest::mouseClick(static_cast<TTreeVForm&>(d).btnSync, Qt::LeftButton);
        return 1;
    });
}

void CloseResults(QueuedDialogService& dialogs)
{
    dialogs.pushDialog([](QDialog&) { return 0; });
}

QString LogText(Program& program)
{
    return QString::fromStdString(program.main().ResultLog().Text());
}

// Whether `log` holds the block of a refused task: the stamp, the start line, the reason and
// the separator, each ended by CR LF.
bool IsRefusalBlock(const QByteArray& log, const QString& task, const QString& reason)
{
    const QRegularExpression block(QStringLiteral("(^|\\n)\\d{4}-\\d\\d-\\d\\d \\d{1,2}:\\d\\d:\\d\\d\\r\\n") +
                                   QRegularExpression::escape("Start task: " + task + "\r\n" + reason + "\r\n") +
                                   QString(61, '=') + QStringLiteral("\\r\\n"));
    return block.match(QString::fromUtf8(log)).hasMatch();
}

bool IsRefusalBlock(const std::string& log, const QString& task, const QString& reason)
{
    return IsRefusalBlock(QByteArray::fromStdString(log), task, reason);
}

struct BeepCounter
{
    int count = 0;
    BeepCounter()
    {
        SetBeepHandler([this] { ++count; });
    }
    ~BeepCounter() { SetBeepHandler(nullptr); }
};

} // namespace

class RunStartTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { SelectLanguage(kLangEnglishUS); }

    void checkedTasksRunInListOrder()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h1/one.txt", "1");
        WriteFile(dir.path() + "/h2/two.txt", "2");
        QDir().mkpath(dir.path() + "/m1");
        QDir().mkpath(dir.path() + "/m2");
        WriteTasks(dir, {{"First", root + "/h1", root + "/m1"}, {"Second", root + "/h2", root + "/m2"}});
        Program program(dir);
        BeepCounter beeps;
        CheckAll(program);
        ConfirmPreview(program.dialogs);
        CloseResults(program.dialogs);
        ConfirmPreview(program.dialogs);
        CloseResults(program.dialogs);
        const QPoint home = program.main().pos();

        program.main().GoSyncClick();
        QCOMPARE(ReadAll(dir.path() + "/m1/one.txt"), QByteArray("1"));
        QCOMPARE(ReadAll(dir.path() + "/m2/two.txt"), QByteArray("2"));
        const QString log = LogText(program);
        QVERIFY(log.indexOf("Start task: First") >= 0);
        QVERIFY(log.indexOf("Start task: First") < log.indexOf("Start task: Second"));
        QCOMPARE(program.state().CurrentIndex, 1);
        QCOMPARE(program.main().StatusText(), QStringLiteral("Task finish!"));
        QCOMPARE(program.dialogs.unanswered(), 0);
        // The last run beeped itself before its results window: no second beep.
        QCOMPARE(beeps.count, 2);
        QVERIFY(program.main().isVisible());
        QVERIFY(!program.main().RunActive());
        QCOMPARE(program.main().pos(), home);
    }

    void validationBoxesAndTheBeepRule()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h/a.txt", "a");
        QDir().mkpath(dir.path() + "/m");
        WriteTasks(dir, {{"NoHost", "", root + "/m"}, {"Auto", root + "/h", root + "/m", acIgnore, true}});
        Program program(dir);
        BeepCounter beeps;

        program.main().GoSyncClick();
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("No task is selected!"));

        // An auto-mode run shows neither preview nor results: the batch ends with one beep.
        auto* list = program.find<QListWidget>("liTask");
        list->item(1)->setCheckState(Qt::Checked);
        program.dialogs.clear();
        program.main().GoSyncClick();
        QCOMPARE(program.dialogs.dialogsRun(), 0);
        QCOMPARE(ReadAll(dir.path() + "/m/a.txt"), QByteArray("a"));
        QCOMPARE(beeps.count, 1);

        // A batch whose only task is skipped beeps because that earlier run showed no results.
        list->item(1)->setCheckState(Qt::Unchecked);
        list->item(0)->setCheckState(Qt::Checked);
        program.dialogs.clear();
        program.main().GoSyncClick();
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Invalid Host folder or Mirror folder."));
        QCOMPARE(beeps.count, 2);
    }

    void unattendedBatchSkipsSilentlyAndCloses()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h/a.txt", "a");
        QDir().mkpath(dir.path() + "/m");
        WriteTasks(dir, {{"Empty", "", root + "/m"}, {"Good", root + "/h", root + "/m"}});
        Program program(dir);
        BeepCounter beeps;
        CheckAll(program);
        program.state().AutoRun = true;
        program.main().GoSyncClick();
        QVERIFY(program.dialogs.asked().empty());
        QCOMPARE(program.dialogs.dialogsRun(), 0);
        QCOMPARE(ReadAll(dir.path() + "/m/a.txt"), QByteArray("a"));
        QVERIFY(!program.main().isVisible());
        QCOMPARE(beeps.count, 0);
        // Closing wrote the run's text to the log file, ended by a NUL. The skipped task says
        // why in a block of its own, since no box told anyone.
        const QByteArray log = ReadAll(dir.path() + "/pelmora.log");
        QVERIFY(log.contains("Start task: Good\r\n"));
        QVERIFY(IsRefusalBlock(log, "Empty", "Invalid Host folder or Mirror folder."));
        QVERIFY(log.indexOf("Start task: Empty") < log.indexOf("Start task: Good"));
        QVERIFY(log.endsWith(QByteArray("=\r\n") + '\0'));
        QCOMPARE(program.main().ExitStatus(), kExitRefused);
    }

    void rootsFromEnvironmentAndTrailingSeparators()
    {
        QTemporaryDir dir;
        WriteFile(dir.path() + "/base/Sync/a.txt", "env");
        QDir().mkpath(dir.path() + "/mirror");
        qputenv("PELMORA_TEST_BASE", (dir.path() + "/base").toLocal8Bit());
        WriteTasks(dir, {{"Env", "%PELMORA_TEST_BASE%/Sync/", dir.path().toStdString() + "/mirror/"}});
        Program program(dir);
        CheckAll(program);
        ConfirmPreview(program.dialogs);
        CloseResults(program.dialogs);
        program.main().GoSyncClick();
        QCOMPARE(program.state().RunHostDir, dir.path().toStdString() + "/base/Sync");
        QCOMPARE(program.state().RunMirrorDir, dir.path().toStdString() + "/mirror");
        QCOMPARE(ReadAll(dir.path() + "/mirror/a.txt"), QByteArray("env"));
        qunsetenv("PELMORA_TEST_BASE");

        // An unknown name stays as written; the file-system root keeps its separator.
        auto* host = program.find<QLineEdit>("edMainDir");
        auto* mirror = program.find<QLineEdit>("edMirrorDir");
        host->setText(QStringLiteral("%PELMORA_NOT_SET%/x"));
        mirror->setText(QStringLiteral("/"));
        program.dialogs.clear();
        program.main().RunTask();
        QCOMPARE(program.state().RunHostDir, std::string("%PELMORA_NOT_SET%/x"));
        QCOMPARE(program.state().RunMirrorDir, std::string("/"));
    }

    void missingHostIsNotAllowedToWipeTheMirror()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/m/keep.txt", "keep");
        WriteTasks(dir, {{"Wipe", root + "/gone", root + "/m", acDelete}, {"Safe", root + "/gone", root + "/m"}});
        Program program(dir);
        auto* list = program.find<QListWidget>("liTask");
        list->item(0)->setCheckState(Qt::Checked);
        program.main().GoSyncClick();
        // The refusal says why, on screen and in the log, with the folder it did not find.
        const QString reason =
            QStringLiteral("Host folder not found, the run would delete the mirror's files: ") + dir.path() + "/gone";
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QCOMPARE(program.dialogs.asked()[0].text, reason);
        QVERIFY(IsRefusalBlock(program.main().ResultLog().Text(), "Wipe", reason));
        QCOMPARE(ReadAll(dir.path() + "/m/keep.txt"), QByteArray("keep"));
        program.dialogs.clear();

        // Without the delete the run is handed over and ends as cancelled: the host is missing.
        list->item(0)->setCheckState(Qt::Unchecked);
        list->item(1)->setCheckState(Qt::Checked);
        program.main().GoSyncClick();
        QVERIFY(LogText(program).contains("Start task: Safe"));
        QCOMPARE(program.main().StatusText(), QStringLiteral("User break the task!"));
        QCOMPARE(ReadAll(dir.path() + "/m/keep.txt"), QByteArray("keep"));
    }

    void missingMirrorIsNotAllowedToWipeTheHostEvenUnattended()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h/keep.txt", "keep");
        std::vector<std::string> names{"Wipe"};
        WriteConfig(dir, names, [&](std::size_t, TSyncTask& record) {
            WriteTextField(record.MainDir, root + "/h");
            WriteTextField(record.MirrorDir, root + "/unplugged");
            record.InMain = acDelete;
        });
        Program program(dir);
        CheckAll(program);
        program.state().AutoRun = true;
        program.main().GoSyncClick();
        // Nobody is there to answer a box: only the log says why.
        QVERIFY(program.dialogs.asked().empty());
        QCOMPARE(ReadAll(dir.path() + "/h/keep.txt"), QByteArray("keep"));
        const QString reason = QStringLiteral("Mirror folder not found, the run would delete the host's files: ") +
                               dir.path() + "/unplugged";
        const QByteArray log = ReadAll(dir.path() + "/pelmora.log");
        QVERIFY2(IsRefusalBlock(log, "Wipe", reason), log.constData());
        QCOMPARE(program.main().ExitStatus(), kExitRefused);
    }

    void aTaskAlreadyRunningIsRefused()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h/a.txt", "a");
        QDir().mkpath(dir.path() + "/m");
        WriteTasks(dir, {{"Job", root + "/h", root + "/m"}, {"Other", root + "/h", root + "/m2"}});
        QDir().mkpath(dir.path() + "/m2");
        Program program(dir);
        auto* list = program.find<QListWidget>("liTask");
        const std::string lockFolder = RunLockFolderFor(ConfigPathIn(dir).toStdString());

        // Another process runs "job" (task names compare without regard to a-z case).
        RunLock elsewhere;
        QCOMPARE(elsewhere.Acquire(lockFolder, "JOB"), RunLock::Status::Held);
        list->item(0)->setCheckState(Qt::Checked);
        program.main().GoSyncClick();
        const QString reason = QStringLiteral("The task is already running in another Pelmora process.");
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QCOMPARE(program.dialogs.asked()[0].text, reason);
        QVERIFY(IsRefusalBlock(program.main().ResultLog().Text(), "Job", reason));
        QVERIFY(!QFile::exists(dir.path() + "/m/a.txt"));

        // Scheduled and auto-mode runs are refused without a box.
        program.dialogs.clear();
        program.state().ScheduledRun = true;
        QVERIFY(!program.main().RunTask());
        program.state().ScheduledRun = false;
        QVERIFY(program.dialogs.asked().empty());
        QCOMPARE(LogText(program).count(QStringLiteral("Start task: Job")), 2);

        // Another task is not held up by it.
        list->item(0)->setCheckState(Qt::Unchecked);
        list->item(1)->setCheckState(Qt::Checked);
        ConfirmPreview(program.dialogs);
        CloseResults(program.dialogs);
        program.main().GoSyncClick();
        QCOMPARE(ReadAll(dir.path() + "/m2/a.txt"), QByteArray("a"));

        // Once the other run has ended, this one goes ahead; it holds the lock while it runs
        // and gives it back at its end.
        elsewhere.Release();
        list->item(1)->setCheckState(Qt::Unchecked);
        list->item(0)->setCheckState(Qt::Checked);
        program.dialogs.clear();
        RunLock::Status duringRun = RunLock::Status::Unavailable;
        program.dialogs.pushDialog([&](QDialog& d) {
            RunLock probe;
            duringRun = probe.Acquire(lockFolder, "Job");
            QCoreApplication::processEvents();
            QTest::mouseClick(static_cast<TTreeVForm&>(d).btnSync, Qt::LeftButton);
            return 1;
        });
        CloseResults(program.dialogs);
        program.main().GoSyncClick();
        QCOMPARE(duringRun, RunLock::Status::Busy);
        QCOMPARE(ReadAll(dir.path() + "/m/a.txt"), QByteArray("a"));
        QCOMPARE(elsewhere.Acquire(lockFolder, "Job"), RunLock::Status::Held);
    }

    void eachRunReachesTheLogFileWhenItEnds()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h/a.txt", "a");
        WriteFile(dir.path() + "/m/keep.txt", "keep");
        WriteTasks(dir, {{"One", root + "/h", root + "/m"},
                         {"Wipe", root + "/gone", root + "/m", acDelete},
                         {"NoHost", "", root + "/m"}});
        const QString logPath = dir.path() + "/pelmora.log";
        WriteFile(logPath, QByteArray("earlier\r\n", 9) + '\0');
        const QByteArray earlier = ReadAll(logPath);
        {
            Program program(dir);
            auto* list = program.find<QListWidget>("liTask");
            list->item(0)->setCheckState(Qt::Checked);
            ConfirmPreview(program.dialogs);
            CloseResults(program.dialogs);
            program.main().GoSyncClick();
            // On disk while the program goes on: the run's block after what was there, no NUL yet.
            QCOMPARE(ReadAll(logPath), earlier + program.main().ResultLog().Text().c_str());
            QVERIFY(ReadAll(logPath).endsWith(QByteArray("=\r\n")));

            // A refusal block goes the same way.
            list->item(0)->setCheckState(Qt::Unchecked);
            list->item(1)->setCheckState(Qt::Checked);
            program.main().GoSyncClick();
            QVERIFY(ReadAll(logPath).contains("Start task: Wipe\r\nHost folder not found"));
            QCOMPARE(ReadAll(logPath), earlier + program.main().ResultLog().Text().c_str());

            // The exit adds only the NUL that closes this program run's text.
            QVERIFY(program.main().close());
            QCOMPARE(ReadAll(logPath), earlier + program.main().ResultLog().Text().c_str() + '\0');
        }
        const QByteArray afterOne = ReadAll(logPath);
        {
            // A program whose only attempt was refused with a box, with nothing logged, leaves
            // the file alone.
            Program program(dir);
            auto* list = program.find<QListWidget>("liTask");
            list->item(2)->setCheckState(Qt::Checked);
            program.main().GoSyncClick();
            QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
            QVERIFY(program.main().ResultLog().Empty());
            QVERIFY(program.main().close());
        }
        QCOMPARE(ReadAll(logPath), afterOne);
    }

    void hostRootThroughALinkToAFolderRuns()
    {
        // A host root that is a link to a real folder exists: the mirror-delete guard must
        // not take it for a missing host.
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/real/new.txt", "new");
        WriteFile(dir.path() + "/m/stale.txt", "stale");
        QVERIFY(QFile::link(dir.path() + "/real", dir.path() + "/linked"));
        WriteTasks(dir, {{"Linked", root + "/linked", root + "/m", acDelete}});
        Program program(dir);
        CheckAll(program);
        ConfirmPreview(program.dialogs);
        CloseResults(program.dialogs);
        program.main().GoSyncClick();
        QCOMPARE(ReadAll(dir.path() + "/m/new.txt"), QByteArray("new"));
        QVERIFY(!QFile::exists(dir.path() + "/m/stale.txt"));
    }

    void networkHostConnectsOnlyWithCredentials()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        QDir().mkpath(dir.path() + "/m");
        // Nothing listens on this port: a connection attempt fails at once.
        const std::string share = "//127.0.0.1:9/share/one/two/three";
        std::vector<std::string> names{"WithUser", "Anonymous", "AutoUser"};
        WriteConfig(dir, names, [&](std::size_t i, TSyncTask& record) {
            WriteTextField(record.MainDir, share);
            WriteTextField(record.MirrorDir, root + "/m");
            record.InMain = acHostToMirror;
            if (i != 1)
                WriteCountedField(record.NetName, "someone");
            record.AutoMode = ToFlag(i == 2);
        });
        Program program(dir);
        auto* list = program.find<QListWidget>("liTask");

        list->item(0)->setCheckState(Qt::Checked);
        program.main().GoSyncClick();
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Invalid net path, or Username, Password error!"));
        QVERIFY(program.main().ResultLog().Empty());

        // Without credentials nothing is connected: the run gets the share path as its root.
        list->item(0)->setCheckState(Qt::Unchecked);
        list->item(1)->setCheckState(Qt::Checked);
        program.dialogs.clear();
        program.main().GoSyncClick();
        QVERIFY(program.dialogs.asked().empty());
        QCOMPARE(program.state().RunHostDir, share);
        QVERIFY(LogText(program).contains("Start task: Anonymous"));

        // A task in auto mode fails its connection without a box; the log says why.
        list->item(1)->setCheckState(Qt::Unchecked);
        list->item(2)->setCheckState(Qt::Checked);
        program.dialogs.clear();
        program.main().GoSyncClick();
        QVERIFY(program.dialogs.asked().empty());
        QVERIFY(IsRefusalBlock(program.main().ResultLog().Text(), "AutoUser",
                               "Invalid net path, or Username, Password error!"));
    }

    void aBadMaskRefusesTheRun()
    {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        WriteFile(dir.path() + "/h/a.txt", "a");
        QDir().mkpath(dir.path() + "/m");
        std::vector<std::string> names{"Masked"};
        WriteConfig(dir, names, [&](std::size_t, TSyncTask& record) {
            WriteTextField(record.MainDir, root + "/h");
            WriteTextField(record.MirrorDir, root + "/m");
            record.InMain = acHostToMirror;
            record.IgnoreOn = kFlagTrue;
            WriteCountedField(record.IgnoreList, "*.tmp\r\n[abc");
        });
        Program program(dir);
        CheckAll(program);
        program.main().GoSyncClick();
        QCOMPARE(program.state().IgnoreMasks, std::vector<std::string>({"*.tmp", "[abc"}));
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QVERIFY(LogText(program).contains("is an invalid mask at"));
        QVERIFY(!QFile::exists(dir.path() + "/m/a.txt"));
    }
};

QTEST_MAIN(RunStartTest)
#include "RunStart_test.moc"
