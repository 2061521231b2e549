// The Browse buttons of the editor: environment names expanded before the browser opens at
// the folder, the chosen folder stored in the task; and the expansion rules themselves.
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <cstdlib>

#include "platform/widgets/DirDialog.h"
#include "tests/ui/UiTestHelpers.h"

using namespace pelmora;
using namespace pelmora::test;

class BrowseTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void expandEnvVars_data();
    void expandEnvVars();
    void selfReferenceIsBounded();
    void browseButtonsExpandAndStore();
};

void BrowseTest::initTestCase()
{
    setenv("PELMORA_T_ROOT", "/srv/data", 1);
    setenv("PELMORA_T_USER", "anna", 1);
    // A value naming itself must not make the expansion run away.
    setenv("PELMORA_T_LOOP", "x%PELMORA_T_LOOP%", 1);
    unsetenv("PELMORA_T_UNSET");
}

void BrowseTest::expandEnvVars_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expanded");
    QTest::newRow("plain") << "/home/anna"
                           << "/home/anna";
    QTest::newRow("variable then folder") << "%PELMORA_T_ROOT%/Sync"
                                          << "/srv/data/Sync";
    QTest::newRow("two variables") << "%PELMORA_T_ROOT%/%PELMORA_T_USER%"
                                   << "/srv/data/anna";
    QTest::newRow("unknown stays, later ones too") << "%PELMORA_T_UNSET%/%PELMORA_T_USER%"
                                                   << "%PELMORA_T_UNSET%/%PELMORA_T_USER%";
    QTest::newRow("known before unknown") << "%PELMORA_T_USER%/%PELMORA_T_UNSET%"
                                          << "anna/%PELMORA_T_UNSET%";
    QTest::newRow("lone percent sign") << "/data/50%off"
                                       << "/data/50%off";
    QTest::newRow("adjacent percent signs vanish") << "/a%%b"
                                                   << "/ab";
    QTest::newRow("empty") << ""
                           << "";
}

void BrowseTest::expandEnvVars()
{
    QFETCH(QString, text);
    QFETCH(QString, expanded);
    QCOMPARE(QString::fromStdString(ExpandEnvVars(text.toStdString())), expanded);
}

void BrowseTest::selfReferenceIsBounded()
{
    const std::string looped = ExpandEnvVars("%PELMORA_T_LOOP%");
    QVERIFY(looped.size() < 70000);
    QVERIFY(looped.rfind("x", 0) == 0);
}

void BrowseTest::browseButtonsExpandAndStore()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("host/deeper"));
    QDir(dir.path()).mkpath(QStringLiteral("mirror"));
    setenv("PELMORA_T_TMP", dir.path().toUtf8().constData(), 1);
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) {
        WriteTextField(task.MainDir, "%PELMORA_T_TMP%/host");
        WriteTextField(task.MirrorDir, "%PELMORA_T_TMP%/mirror/");
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);

    QString title, openedAt;
    TSDirDlg::SetRunner([&](QFileDialog& browser) {
        title = browser.windowTitle();
        openedAt = browser.directory().absolutePath();
        browser.setDirectory(dir.path() + QStringLiteral("/host/deeper"));
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(program.find<QPushButton>("BrMain"), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Select host folder"));
    QCOMPARE(openedAt, dir.path() + QStringLiteral("/host"));
    QCOMPARE(program.find<QLineEdit>("edMainDir")->text(), dir.path() + QStringLiteral("/host/deeper"));
    QCOMPARE(QString::fromStdString(ReadTextField(program.state().TaskList[0]->MainDir)),
             dir.path() + QStringLiteral("/host/deeper"));
    QVERIFY(program.state().Modified);

    // A cancelled browser changes nothing.
    TSDirDlg::SetRunner([&](QFileDialog& browser) {
        title = browser.windowTitle();
        openedAt = browser.directory().absolutePath();
        emit browser.currentChanged(dir.path());
        return int(QDialog::Rejected);
    });
    QTest::mouseClick(program.find<QPushButton>("BrMirror"), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Select mirror folder"));
    QCOMPARE(openedAt, dir.path() + QStringLiteral("/mirror"));
    QCOMPARE(program.find<QLineEdit>("edMirrorDir")->text(), QStringLiteral("%PELMORA_T_TMP%/mirror/"));
    TSDirDlg::SetRunner({});
}

QTEST_MAIN(BrowseTest)
#include "Browse_test.moc"
