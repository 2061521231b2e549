// A task's folder or file list: entries added through the add-folder dialog or the file
// dialog, refusals, removal; and the folder browser behind the Browse buttons.
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include "platform/widgets/DirDialog.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/DirForm.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

// Answers the next add-folder dialog by typing `folder` and pressing OK.
void answerDirForm(Program& program, const QString& folder)
{
    program.dialogs.pushDialog([folder](QDialog& dialog) {
        auto* edDir = dialog.findChild<QLineEdit*>(QStringLiteral("edDir"));
        edDir->clear();
        QTest::keyClicks(edDir, folder);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
        return dialog.result();
    });
}

QStringList entries(Program& program)
{
    auto* list = program.find<QListWidget>("liExclude");
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

struct RunnerReset
{
    ~RunnerReset() { TSDirDlg::SetRunner({}); }
};

} // namespace

class FolderListTest : public QObject
{
    Q_OBJECT

private slots:
    void addFolder_data();
    void addFolder();
    void listLimitRefusesEntry();
    void fileEntriesSkipCaseDuplicates();
    void removeNeedsSelection();
    void dirFormKeepsTextAndBrowsesFromStoredHost();
    void browserStartFolderAndResult();
};

void FolderListTest::addFolder_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("mirror");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("entry");   // empty when refused
    QTest::addColumn<QString>("message"); // empty when accepted

    const QString neither = QStringLiteral("Invalid folder! Selected folder is neither in host nor in mirror!");
    const QString itself = QStringLiteral("Invalid folder! Neither host folder nor mirror folder can be excluded!");
    QTest::newRow("root host") << "/"
                               << "/backup"
                               << "/tmp"
                               << "/tmp"
                               << "";
    QTest::newRow("case of chosen kept") << "/data"
                                         << "/backup"
                                         << "/DATA/Old"
                                         << "/Old"
                                         << "";
    QTest::newRow("deeper folder") << "/data"
                                   << "/backup"
                                   << "/data/Projects/Old"
                                   << "/Projects/Old"
                                   << "";
    QTest::newRow("name prefix only") << "/data"
                                      << "/backup"
                                      << "/data2"
                                      << "" << neither;
    QTest::newRow("trailing separator on host") << "/data/"
                                                << "/backup"
                                                << "/data/Old"
                                                << "" << neither;
    // A folder typed with a trailing separator names the same folder; an entry "/Old/"
    // would match no folder of the scan, and "/" would stand for the root itself.
    QTest::newRow("trailing separator on chosen") << "/data"
                                                  << "/backup"
                                                  << "/data/Old/"
                                                  << "/Old"
                                                  << "";
    QTest::newRow("host itself with separator") << "/data"
                                                << "/backup"
                                                << "/data/"
                                                << "" << itself;
    QTest::newRow("host itself") << "/data"
                                 << "/backup"
                                 << "/data"
                                 << "" << itself;
    QTest::newRow("mirror itself") << "/data"
                                   << "/backup"
                                   << "/Backup"
                                   << "" << itself;
    QTest::newRow("inside mirror") << "/data"
                                   << "/backup"
                                   << "/backup/cache"
                                   << "/cache"
                                   << "";
    QTest::newRow("outside both") << "/data"
                                  << "/backup"
                                  << "/home/me"
                                  << "" << neither;
    QTest::newRow("empty host never matches") << ""
                                              << "/backup"
                                              << "/backup/x"
                                              << "/x"
                                              << "";
    QTest::newRow("empty roots") << ""
                                 << ""
                                 << "/x"
                                 << "" << neither;
}

void FolderListTest::addFolder()
{
    QFETCH(QString, host);
    QFETCH(QString, mirror);
    QFETCH(QString, chosen);
    QFETCH(QString, entry);
    QFETCH(QString, message);

    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [&](std::size_t, TSyncTask& task) {
        WriteTextField(task.MainDir, host.toStdString());
        WriteTextField(task.MirrorDir, mirror.toStdString());
        WriteTextField(task.ExcludeList, "/first\r\n");
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    answerDirForm(program, chosen);
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QVERIFY(program.dialogs.allAnswersUsed());

    const TSyncTask& task = *program.state().TaskList[0];
    if (message.isEmpty()) {
        QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
        QCOMPARE(entries(program), QStringList({"/first", entry}));
        QCOMPARE(QString::fromStdString(ReadTextField(task.ExcludeList)), "/first\r\n" + entry + "\r\n");
        QVERIFY(program.state().Modified);
    } else {
        QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
        QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
        QCOMPARE(program.dialogs.asked()[0].text, message);
        QCOMPARE(entries(program), QStringList({"/first"}));
        QCOMPARE(ReadTextField(task.ExcludeList), std::string("/first\r\n"));
        QVERIFY(!program.state().Modified);
    }
}

void FolderListTest::listLimitRefusesEntry()
{
    // 101 entries of "/" + 7 letters + CR LF take 1010 bytes; "/1234567890" with its line
    // end brings the list to 1023 bytes, and "/x" would bring it to 1027.
    std::string list;
    for (int i = 0; i < 101; ++i)
        list += "/abcdefg\r\n";
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [&](std::size_t, TSyncTask& task) {
        WriteTextField(task.MainDir, "/data");
        WriteTextField(task.ExcludeList, list);
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    const TSyncTask& task = *program.state().TaskList[0];

    answerDirForm(program, QStringLiteral("/data/1234567890"));
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
    QCOMPARE(ReadTextField(task.ExcludeList).size(), std::size_t{1023});

    answerDirForm(program, QStringLiteral("/data/x"));
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Operation failed! Too many exclude folders!"));
    QCOMPARE(entries(program).size(), 102);
    QCOMPARE(entries(program).constLast(), QStringLiteral("/1234567890"));
    QCOMPARE(ReadTextField(task.ExcludeList).size(), std::size_t{1023});
}

void FolderListTest::fileEntriesSkipCaseDuplicates()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"files"}, [](std::size_t, TSyncTask& task) {
        task.SyncType = tyFile;
        WriteTextField(task.MainDir, "/srv/host");
        WriteTextField(task.ExcludeList, "readme.txt\r\n");
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    const TSyncTask& task = *program.state().TaskList[0];

    program.dialogs.pushFile(QStringLiteral("/elsewhere/README.TXT"));
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(program.dialogs.fileRequests().size(), std::size_t{1});
    QCOMPARE(program.dialogs.fileRequests()[0], QStringLiteral("/srv/host"));
    QCOMPARE(entries(program), QStringList({"readme.txt"}));
    QVERIFY(!program.state().Modified);

    program.dialogs.pushFile(QStringLiteral("/elsewhere/notes.md"));
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(entries(program), QStringList({"readme.txt", "notes.md"}));
    QCOMPARE(ReadTextField(task.ExcludeList), std::string("readme.txt\r\nnotes.md\r\n"));
    QVERIFY(program.state().Modified);

    // A cancelled file dialog adds nothing.
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(entries(program).size(), 2);

    // A name that would not fit into the stored list is refused whole.
    const QString longName = QString(1000, QLatin1Char('n'));
    program.dialogs.pushFile(QStringLiteral("/elsewhere/") + longName);
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Operation failed! Too many exclude folders!"));
    QCOMPARE(entries(program), QStringList({"readme.txt", "notes.md"}));
    QCOMPARE(ReadTextField(task.ExcludeList), std::string("readme.txt\r\nnotes.md\r\n"));
}

void FolderListTest::removeNeedsSelection()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) { WriteTextField(task.ExcludeList, "/a\r\n/b\r\n"); });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    QTest::mouseClick(program.find<QPushButton>("DelEx"), Qt::LeftButton);
    QCOMPARE(entries(program), QStringList({"/a", "/b"}));
    QVERIFY(!program.state().Modified);

    program.find<QListWidget>("liExclude")->setCurrentRow(0);
    QTest::mouseClick(program.find<QPushButton>("DelEx"), Qt::LeftButton);
    QCOMPARE(entries(program), QStringList({"/b"}));
    QCOMPARE(ReadTextField(program.state().TaskList[0]->ExcludeList), std::string("/b\r\n"));
    QVERIFY(program.state().Modified);
}

void FolderListTest::dirFormKeepsTextAndBrowsesFromStoredHost()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("host/sub"));
    const QString host = dir.path() + QStringLiteral("/host");
    WriteConfig(dir, {"t"}, [&](std::size_t, TSyncTask& task) { WriteTextField(task.MainDir, host.toStdString()); });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    TdirForm& dirForm = *program.forms->dirForm;
    QCOMPARE(dirForm.windowTitle(), QStringLiteral("Add sub-folder"));

    // First use: the user types a path and cancels.
    program.dialogs.pushDialog([](QDialog& dialog) {
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("edDir")), "/typed/before");
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
        return dialog.result();
    });
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(program.find<QListWidget>("liExclude")->count(), 0);

    // Second use: the text is still there; Browse opens at the stored host folder, whatever
    // the edit holds, and a cancelled browser leaves the text alone.
    RunnerReset reset;
    QStringList openedAt;
    TSDirDlg::SetRunner([&](QFileDialog& browser) {
        openedAt << browser.directory().absolutePath();
        emit browser.currentChanged(host + QStringLiteral("/sub"));
        return int(QDialog::Rejected);
    });
    QString shownText;
    program.dialogs.pushDialog([&](QDialog& dialog) {
        auto* edDir = dialog.findChild<QLineEdit*>(QStringLiteral("edDir"));
        shownText = edDir->text();
        QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("BrMirror")), Qt::LeftButton);
        const QString afterCancel = edDir->text();
        TSDirDlg::SetRunner([&](QFileDialog& browser) {
            browser.setDirectory(host + QStringLiteral("/sub"));
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(dialog.findChild<QToolButton*>(QStringLiteral("BrMirror")), Qt::LeftButton);
        if (afterCancel != QStringLiteral("/typed/before"))
            return int(QDialog::Rejected);
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btnOk")), Qt::LeftButton);
        return dialog.result();
    });
    QTest::mouseClick(program.find<QPushButton>("AddEx"), Qt::LeftButton);
    QCOMPARE(shownText, QStringLiteral("/typed/before"));
    QCOMPARE(openedAt, QStringList({host}));
    QCOMPARE(dirForm.Directory(), host + QStringLiteral("/sub"));
    QCOMPARE(entries(program), QStringList({"/sub"}));
}

void FolderListTest::browserStartFolderAndResult()
{
    QCOMPARE(TSDirDlg::StartDirectory(QStringLiteral("/data/")), QStringLiteral("/data"));
    QCOMPARE(TSDirDlg::StartDirectory(QStringLiteral("/")), QStringLiteral("/"));
    QCOMPARE(TSDirDlg::StartDirectory(QString()), QDir::currentPath());

    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("a/b"));
    RunnerReset reset;
    TSDirDlg browser;
    QCOMPARE(browser.Caption(), QStringLiteral("Please select a folder"));
    int changes = 0;
    connect(&browser, &TSDirDlg::OnChange, this, [&] { ++changes; });

    // The trailing separator goes before the dialog opens; moves are followed while open;
    // a place that is no folder is not taken.
    QString openedAt;
    TSDirDlg::SetRunner([&](QFileDialog& dialog) {
        openedAt = dialog.directory().absolutePath();
        emit dialog.currentChanged(dir.path() + QStringLiteral("/a/b"));
        emit dialog.currentChanged(dir.path() + QStringLiteral("/no-such-folder"));
        return int(QDialog::Rejected);
    });
    browser.setDirectory(dir.path() + QStringLiteral("/a/"));
    QVERIFY(!browser.Execute());
    QCOMPARE(openedAt, dir.path() + QStringLiteral("/a"));
    QCOMPARE(changes, 1);
    QCOMPARE(browser.Directory(), dir.path() + QStringLiteral("/a/b"));

    // OK hands back the folder the dialog stands in.
    TSDirDlg::SetRunner([&](QFileDialog& dialog) {
        dialog.setDirectory(dir.path());
        return int(QDialog::Accepted);
    });
    QVERIFY(browser.Execute());
    QCOMPARE(browser.Directory(), dir.path());
}

QTEST_MAIN(FolderListTest)
#include "FolderList_test.moc"
