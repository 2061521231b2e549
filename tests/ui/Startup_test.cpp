// Program start and end: the configuration file read at creation, the command line acted on
// at first show, the save question and the log append at close.
#include <QDir>
#include <QtTest>
#include <sys/stat.h>

#include "tests/ui/UiTestHelpers.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

void writeThreeTasks(const QTemporaryDir& dir)
{
    WriteConfig(dir, {"Alpha", "beta", "BETA"}, [](std::size_t i, TSyncTask& task) { task.AutoMode = ToFlag(i != 1); });
}

QList<int> checkedRows(Program& program)
{
    QList<int> rows;
    auto* list = program.find<QListWidget>("liTask");
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            rows.push_back(i);
    }
    return rows;
}

} // namespace

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void filesSitBesideTheExecutable();
    void unreadableConfigurationStartsEmpty();
    void commandLine_data();
    void commandLine();
    void switchWithoutMatchEndsAtOnce();
    void closeAnsweredNoLeavesFile();
    void closeAnsweredYesSaves();
    void installedCopySavesIntoAPrivateFolderOfItsOwn();
    void failedSaveAsksAgain();
    void resultTextIsAppendedToLog();
};

void StartupTest::filesSitBesideTheExecutable()
{
    QTemporaryDir dir;
    writeThreeTasks(dir);
    Program program(dir);
    QCOMPARE(QString::fromStdString(program.state().ConfigFileName), ConfigPathIn(dir));
    QCOMPARE(QString::fromStdString(program.state().LogFileName), dir.path() + QStringLiteral("/pelmora.log"));
    QCOMPARE(program.find<QListWidget>("liTask")->count(), 3);
    QCOMPARE(program.state().CurrentIndex, -1);
    QVERIFY(!program.find<QWidget>("edName")->isEnabled());
    QVERIFY(!program.state().Modified);
    QVERIFY(program.main().isVisible());
}

void StartupTest::unreadableConfigurationStartsEmpty()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Pelmora.cfg")));
    Program program(dir);
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].icon, QMessageBox::Critical);
    QVERIFY(program.dialogs.asked()[0].text.contains(QStringLiteral("Pelmora.cfg")));
    QCOMPARE(program.find<QListWidget>("liTask")->count(), 0);
    QVERIFY(program.main().isVisible());
}

void StartupTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<int>>("checked");
    QTest::addColumn<bool>("autoRun");
    QTest::addColumn<bool>("copyAll");
    QTest::addColumn<bool>("startHidden");

    QTest::newRow("none") << QStringList() << QList<int>{} << false << false << false;
    QTest::newRow("/A") << QStringList{"/A"} << QList<int>{0, 2} << true << false << false;
    QTest::newRow("/a lower case") << QStringList{"/a"} << QList<int>{0, 2} << true << false << false;
    QTest::newRow("-A any case") << QStringList{"-aBeTa"} << QList<int>{1, 2} << true << false << false;
    QTest::newRow("-C") << QStringList{"-cALPHA"} << QList<int>{0} << true << true << false;
    QTest::newRow("/h") << QStringList{"/h"} << QList<int>{} << false << false << true;
    QTest::newRow("two arguments") << QStringList{"/A", "-Abeta"} << QList<int>{} << false << false << false;
}

void StartupTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, checked);
    QFETCH(bool, autoRun);
    QFETCH(bool, copyAll);
    QFETCH(bool, startHidden);

    QTemporaryDir dir;
    writeThreeTasks(dir);
    Program program(dir, arguments);
    QCOMPARE(checkedRows(program), checked);
    QCOMPARE(program.state().AutoRun, autoRun);
    QCOMPARE(program.state().CopyAll, copyAll);
    QCOMPARE(program.state().StartHidden, startHidden);
    // An unattended start goes on to run the checked tasks; otherwise nothing is selected.
    if (!autoRun)
        QCOMPARE(program.state().CurrentIndex, -1);
    if (!autoRun && !startHidden)
        QVERIFY(program.main().isVisible());
    QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
}

void StartupTest::switchWithoutMatchEndsAtOnce()
{
    // A switch or a name that means nothing is a bad command line; "/A" without an auto-mode
    // task only has nothing to do.
    const QList<QPair<QString, int>> cases{{QStringLiteral("-Anobody"), kExitBadCommand},
                                           {QStringLiteral("-C"), kExitBadCommand},
                                           {QStringLiteral("/X"), kExitBadCommand},
                                           {QStringLiteral("--help"), kExitBadCommand},
                                           {QStringLiteral("/A"), kExitDone}};
    for (const auto& [argument, status] : cases) {
        QTemporaryDir dir;
        WriteConfig(dir, {"beta"}, [](std::size_t, TSyncTask&) {});
        const QByteArray before = ReadAll(ConfigPathIn(dir));
        {
            Program program(dir, {argument});
            QVERIFY2(!program.main().isVisible(), qPrintable(argument));
            QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
            QCOMPARE(program.main().ExitStatus(), status);
        }
        QCOMPARE(ReadAll(ConfigPathIn(dir)), before);
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/pelmora.log")));
    }
}

void StartupTest::closeAnsweredNoLeavesFile()
{
    QTemporaryDir dir;
    writeThreeTasks(dir);
    const QByteArray before = ReadAll(ConfigPathIn(dir));
    Program program(dir);
    program.main().NewBtnClick();
    program.dialogs.pushAnswer(QMessageBox::No);
    QVERIFY(program.main().close());
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Prompt"));
    QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Task changed, save it or not?"));
    QCOMPARE(program.dialogs.asked()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(ReadAll(ConfigPathIn(dir)), before);
}

void StartupTest::closeAnsweredYesSaves()
{
    QTemporaryDir dir;
    writeThreeTasks(dir);
    Program program(dir);
    program.main().NewBtnClick();
    program.dialogs.pushAnswer(QMessageBox::Yes);
    QVERIFY(program.main().close());
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    const ConfigContents saved = ReadConfigFile(ConfigPathIn(dir).toStdString());
    QCOMPARE(saved.TaskNames, std::vector<std::string>({"Alpha", "beta", "BETA", "New Task 1"}));
    QVERIFY(!program.state().Modified);
}

// An executable in a bin/ folder, in a home without ~/.config/pelmora: the window starts with
// no tasks, and the first save makes the folder (0700) and the file (0600) there, never
// anything beside the executable.
void StartupTest::installedCopySavesIntoAPrivateFolderOfItsOwn()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("usr/bin")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("home")));
    const QString home = dir.path() + QStringLiteral("/home");
    // The program's environment for this test only, given back however the test ends.
    struct Environment
    {
        QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME"), state = qgetenv("XDG_STATE_HOME");
        ~Environment()
        {
            qputenv("HOME", home);
            config.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
            state.isEmpty() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", state);
            SetDialogService(nullptr);
        }
    } restore;
    qputenv("HOME", home.toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_STATE_HOME");
    {
        QueuedDialogService dialogs;
        SetDialogService(&dialogs);
        auto forms = TForms::Create({}, (dir.path() + QStringLiteral("/usr/bin/pelmora")).toStdString());
        forms->ApplyAllTexts();
        const QString config = home + QStringLiteral("/.config/pelmora/Pelmora.cfg");
        QCOMPARE(QString::fromStdString(forms->cltForm->State().ConfigFileName), config);
        QCOMPARE(QString::fromStdString(forms->cltForm->State().LogFileName),
                 home + QStringLiteral("/.local/state/pelmora/pelmora.log"));
        QCOMPARE(forms->cltForm->TaskListBox()->count(), 0);
        QVERIFY(dialogs.asked().empty());
        // The program's icon, from its PNG renderings, in every size the icon theme has.
        const QIcon icon = forms->cltForm->windowIcon();
        QCOMPARE(icon.availableSizes().size(), 8);
        // Drawn when asked for: a size in the set, and one between two of them, both painted.
        for (const int side : {32, 40}) {
            const QImage drawn = icon.pixmap(side).toImage();
            QCOMPARE(drawn.size(), QSize(side, side));
            int painted = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    painted += drawn.pixelColor(x, y).alpha() > 0;
            QVERIFY2(painted > side * side / 4, "the icon came out blank");
        }
        QVERIFY(!QFile::exists(home + QStringLiteral("/.config")));

        forms->cltForm->NewBtnClick();
        forms->cltForm->ToolButton1Click();
        QVERIFY(!forms->cltForm->State().Modified);
        QCOMPARE(ReadConfigFile(config.toStdString()).TaskNames, std::vector<std::string>({"New Task 1"}));
        auto mode = [](const QString& path) {
            struct stat st
            {
            };
            return ::stat(path.toLocal8Bit().constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        QCOMPARE(mode(home + QStringLiteral("/.config")), 0700);
        QCOMPARE(mode(home + QStringLiteral("/.config/pelmora")), 0700);
        QCOMPARE(mode(config), 0600);
        QVERIFY(QDir(dir.path() + QStringLiteral("/usr/bin"))
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
}

void StartupTest::failedSaveAsksAgain()
{
    QTemporaryDir dir;
    Program program(dir);
    program.main().NewBtnClick();
    // A folder where the file should go makes every save fail.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Pelmora.cfg/inside")));
    // The failure is shown with its reason before the question comes again; without it the
    // same question would simply reappear.
    program.dialogs.pushAnswer(QMessageBox::Yes);
    program.dialogs.pushAnswer(QMessageBox::Ok);
    program.dialogs.pushAnswer(QMessageBox::No);
    QVERIFY(program.main().close());
    QVERIFY(program.dialogs.allAnswersUsed());
    QCOMPARE(program.dialogs.asked().size(), std::size_t{3});
    QCOMPARE(program.dialogs.asked()[1].icon, QMessageBox::Critical);
    QVERIFY2(program.dialogs.asked()[1].text.contains(QStringLiteral("Pelmora.cfg")),
             qPrintable(program.dialogs.asked()[1].text));
    QCOMPARE(program.dialogs.asked()[2].text, QStringLiteral("Task changed, save it or not?"));
    QVERIFY(QFileInfo(ConfigPathIn(dir)).isDir());
}

void StartupTest::resultTextIsAppendedToLog()
{
    QTemporaryDir dir;
    const QString logPath = dir.path() + QStringLiteral("/pelmora.log");
    {
        Program program(dir);
        program.main().ResultLog().Add("first run");
        program.main().ResultLog().Add("second run");
        QVERIFY(program.main().close());
    }
    QCOMPARE(ReadAll(logPath), QByteArray("first run\r\nsecond run\r\n\0", 24));
    {
        Program program(dir);
        QVERIFY(program.main().close());
    }
    QCOMPARE(ReadAll(logPath).size(), 24);
    {
        Program program(dir);
        program.main().ResultLog().Add("third");
        QVERIFY(program.main().close());
    }
    QCOMPARE(ReadAll(logPath), QByteArray("first run\r\nsecond run\r\n\0third\r\n\0", 32));
}

QTEST_MAIN(StartupTest)
#include "Startup_test.moc"
