// The Browse buttons of the editor: environment names expanded before the browser opens at
// the folder, the chosen folder stored in the task. (The expansion rules themselves are
// tested with the engine, in tests/platform/PathText_test.cpp.)
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
    void browseButtonsExpandAndStore();
};

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
