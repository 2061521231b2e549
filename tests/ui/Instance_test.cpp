// One program per configuration file, with the real program: a second start brings the first
// to the front and ends with status 0, command-line runs go on beside it, a lock left by a
// killed program is taken over, and a copy with another configuration file is another program.
#include <QDir>
#include <QProcess>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "platform/widgets/SingleInstance.h"
#include "platform/widgets/TrayIcon.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/TrayHost.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

// A folder holding a copy of the program and its configuration file, started with the
// runtime folder `runtime` and the offscreen platform.
struct Copy
{
    QTemporaryDir dir;

    explicit Copy(const std::vector<std::string>& names = {"job"})
    {
        QVERIFY(QFile::copy(QStringLiteral(PELMORA_PROGRAM), program()));
        const std::string root = dir.path().toStdString();
        std::filesystem::create_directories(root + "/host");
        std::filesystem::create_directories(root + "/mirror");
        std::ofstream(root + "/host/a.txt") << "alpha";
        WriteConfig(dir, names, [&](std::size_t, TSyncTask& task) {
            WriteTextField(task.MainDir, root + "/host");
            WriteTextField(task.MirrorDir, root + "/mirror");
            task.InMain = acHostToMirror;
        });
    }
    QString program() const { return dir.path() + QStringLiteral("/pelmora"); }

    std::unique_ptr<QProcess> start(const QString& runtime, const QStringList& arguments) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(dir.path());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program(), arguments);
        process->waitForStarted();
        return process;
    }
};

// The sockets that programs listen on in `runtime`.
int listening(const QString& runtime)
{
    return static_cast<int>(QDir(runtime).entryList({QStringLiteral("pelmora-*.socket")}, QDir::System).size());
}

// Waits, letting this process's events through, until `process` ended; false after `ms`.
bool ended(QProcess& process, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        process.waitForFinished(20);
    }
    return process.state() == QProcess::NotRunning;
}

} // namespace

class InstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { SetNotificationAreaProbe(nullptr); }

    // The first program here is this test's own, in the notification area; the second start
    // is the real program on the same configuration file.
    void aSecondStartBringsTheFirstOutOfTheNotificationArea()
    {
        SetNotificationAreaProbe([] { return true; });
        Copy copy;
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        QueuedDialogService dialogs;
        SetDialogService(&dialogs);
        qApp->setQuitOnLastWindowClosed(false);
        auto forms = TForms::Create({"/H"}, ExePathIn(copy.dir));
        TcltForm& main = *forms->cltForm;
        std::unique_ptr<TSingleInstance> place;
        QVERIFY(!TakeProgramPlace(main, {"/H"}, place).has_value());
        QVERIFY(QFile::exists(place->LockFileName()));
        forms->ApplyAllTexts();
        ShowMainWindowAtStart(main, {"/H"});
        QTRY_VERIFY(main.TrayIcon() && main.TrayIcon()->Active());
        QVERIFY(!main.isVisible());

        auto second = copy.start(runtime.path(), {});
        QVERIFY(ended(*second));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QTRY_VERIFY(main.isVisible());
        QVERIFY(!main.TrayIcon()->Active());

        // Back in the notification area, "/H" brings it out the same way.
        main.MinimizeToTray();
        QVERIFY(!main.isVisible());
        auto third = copy.start(runtime.path(), {"/H"});
        QVERIFY(ended(*third));
        QCOMPARE(third->exitCode(), 0);
        QTRY_VERIFY(main.isVisible());

        place.reset();
        forms.reset();
        SetDialogService(nullptr);
    }

    void oneProgramPerConfigurationFileAndRunsBesideIt()
    {
        Copy copy;
        QTemporaryDir runtime;
        auto first = copy.start(runtime.path(), {});
        QTRY_COMPARE_WITH_TIMEOUT(listening(runtime.path()), 1, 10000);

        // A second start ends at once with 0; the first goes on.
        for (const QStringList& arguments : {QStringList{}, QStringList{"/H"}, QStringList{"a", "b"}}) {
            auto second = copy.start(runtime.path(), arguments);
            QVERIFY(ended(*second));
            QCOMPARE(second->exitCode(), 0);
        }
        QCOMPARE(first->state(), QProcess::Running);

        // A command-line run is no second program: it runs beside the open one.
        auto run = copy.start(runtime.path(), {"-Ajob"});
        QVERIFY(ended(*run, 30000));
        QCOMPARE(run->exitCode(), 0);
        QCOMPARE(ReadAll(copy.dir.path() + "/mirror/a.txt"), QByteArray("alpha"));
        QCOMPARE(first->state(), QProcess::Running);

        // Another copy with its own configuration file is another program.
        Copy other;
        auto beside = other.start(runtime.path(), {});
        QTRY_COMPARE_WITH_TIMEOUT(listening(runtime.path()), 2, 10000);
        QCOMPARE(beside->state(), QProcess::Running);
        beside->terminate();
        QVERIFY(ended(*beside));
        QCOMPARE(beside->exitCode(), 0);

        // A program that is killed leaves its lock behind; the next start takes it over and
        // stays, and the one after that meets it.
        first->kill();
        QVERIFY(ended(*first));
        QCOMPARE(
            static_cast<int>(QDir(runtime.path()).entryList({QStringLiteral("pelmora-*.lock")}, QDir::Files).size()),
            1);
        auto successor = copy.start(runtime.path(), {});
        const QString lock = QDir(runtime.path()).entryList({QStringLiteral("pelmora-*.lock")}, QDir::Files).value(0);
        // The lock file names its holder's process first.
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(runtime.path() + QLatin1Char('/') + lock).split('\n').value(0),
                                  QByteArray::number(successor->processId()), 10000);
        QCOMPARE(successor->state(), QProcess::Running);
        auto late = copy.start(runtime.path(), {});
        QVERIFY(ended(*late));
        QCOMPARE(late->exitCode(), 0);
        QCOMPARE(successor->state(), QProcess::Running);

        successor->terminate();
        QVERIFY(ended(*successor));
        QCOMPARE(successor->exitCode(), 0);
        // The program that ended in order gave its place up.
        QCOMPARE(
            static_cast<int>(QDir(runtime.path()).entryList({QStringLiteral("pelmora-*.lock")}, QDir::Files).size()),
            0);
    }
};

QTEST_MAIN(InstanceTest)
#include "Instance_test.moc"
