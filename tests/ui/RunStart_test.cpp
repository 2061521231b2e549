#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <cstdlib>

#include "lang/Messages.h"
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
    std::uint8_t inMirror = acIgnore;
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

struct BeepCounter
{
    int count = 0;
    BeepCounter() { SetBeepHandler([this] { ++count; }); }
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
        QCOMPARE(program.main().x(), program.main().LeftPosition());
        QVERIFY(program.main().x() > -5000);
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
        // Closing wrote the run's text to the log file, ended by a NUL.
        const QByteArray log = ReadAll(dir.path() + "/pelmora.log");
        QVERIFY(log.contains("Start task: Good\r\n"));
        QVERIFY(!log.contains("Start task: Empty"));
        QVERIFY(log.endsWith(QByteArray("=\r\n") + '\0'));
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
        QVERIFY(program.dialogs.asked().empty());
        QVERIFY(program.main().ResultLog().Empty());
        QCOMPARE(ReadAll(dir.path() + "/m/keep.txt"), QByteArray("keep"));

        // Without the delete the run is handed over and ends as cancelled: the host is missing.
        list->item(0)->setCheckState(Qt::Unchecked);
        list->item(1)->setCheckState(Qt::Checked);
        program.main().GoSyncClick();
        QVERIFY(LogText(program).contains("Start task: Safe"));
        QCOMPARE(program.main().StatusText(), QStringLiteral("User break the task!"));
        QCOMPARE(ReadAll(dir.path() + "/m/keep.txt"), QByteArray("keep"));
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

        // A task in auto mode fails its connection silently.
        list->item(1)->setCheckState(Qt::Unchecked);
        list->item(2)->setCheckState(Qt::Checked);
        program.dialogs.clear();
        program.main().GoSyncClick();
        QVERIFY(program.dialogs.asked().empty());
        QVERIFY(!LogText(program).contains("Start task: AutoUser"));
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
