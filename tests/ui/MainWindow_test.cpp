// The main window's task list and editor, driven through its widgets.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QtTest>

#include <cstring>

#include "tests/ui/UiTestHelpers.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

void clickTool(Program& program, const char* name)
{
    QTest::mouseClick(program.find<QToolButton>(name), Qt::LeftButton);
}

void typeName(Program& program, const QString& name)
{
    auto* edName = program.find<QLineEdit>("edName");
    edName->selectAll();
    QTest::keyClick(edName, Qt::Key_Delete);
    QTest::keyClicks(edName, name);
}

QStringList listEntries(QListWidget* list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    return entries;
}

void setCheck(QListWidget* list, int row, bool on)
{
    list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

// Clicks on an entry's check box the way a user does.
void clickCheckBox(QListWidget* list, int row)
{
    const QRect rect = list->visualItemRect(list->item(row));
    const QPoint box(rect.left() + 8, rect.center().y());
    SendMouse(list->viewport(), QEvent::MouseButtonPress, box, Qt::LeftButton);
    SendMouse(list->viewport(), QEvent::MouseButtonRelease, box, Qt::NoButton);
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startsEmptyWithEditorDisabled();
    void newTaskTakesFirstFreeNumberInAnyCase();
    void copyGivesIdenticalUncheckedTask();
    void deleteLeavesNoSelectionAndKeepsChecks();
    void typeChangeAnsweredNoThenYes();
    void fileTypeTaskShowsFileList();
    void draggedTaskKeepsEditorWhenRenamed();
    void checkMarksDriveGoSyncWithoutModified();
    void editorStoresCutFields();
    void saveButtonWritesConfiguration();
    void emptyNameKeepsFocus();
};

void MainWindowTest::startsEmptyWithEditorDisabled()
{
    QTemporaryDir dir;
    Program program(dir);
    QCOMPARE(program.find<QListWidget>("liTask")->count(), 0);
    QVERIFY(!program.find<QLineEdit>("edName")->isEnabled());
    QVERIFY(!program.find<QCheckBox>("chkIntoSub")->isEnabled());
    QVERIFY(!program.find<QToolButton>("GoSync")->isEnabled());
    QCOMPARE(program.main().windowTitle(), QStringLiteral("Pelmora"));
    QCOMPARE(program.find<QComboBox>("cbNewInMirror")->count(), 3);
    QCOMPARE(program.find<QComboBox>("cbNewInMirror")->itemText(2), QStringLiteral("Host <- Mirror"));
    QCOMPARE(program.find<QComboBox>("cbEmptyDir")->itemText(3), QStringLiteral("Delete"));
    QCOMPARE(program.find<QComboBox>("edType")->count(), 2);
    // It opens at its designed size, which is also the smallest it may be; it can grow.
    QCOMPARE(program.main().size(), program.main().minimumSize());
    QVERIFY(program.main().maximumSize().width() > 2 * program.main().width());
    QVERIFY(program.main().windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
}

void MainWindowTest::newTaskTakesFirstFreeNumberInAnyCase()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"new task 1", "NEW TASK 2"}, [](std::size_t, TSyncTask&) {});
    Program program(dir);
    clickTool(program, "NewBtn");
    auto* liTask = program.find<QListWidget>("liTask");
    QCOMPARE(listEntries(liTask), QStringList({"new task 1", "NEW TASK 2", "New Task 3"}));
    QCOMPARE(liTask->currentRow(), 2);
    QCOMPARE(program.find<QLineEdit>("edName")->text(), QStringLiteral("New Task 3"));
    QCOMPARE(program.find<QPlainTextEdit>("edDesc")->toPlainText(), QStringLiteral("Task description..."));
    QVERIFY(program.find<QLineEdit>("edName")->isEnabled());
    QVERIFY(program.state().Modified);
    const TSyncTask& task = *program.state().TaskList[2];
    QCOMPARE(task.Speed, 3000);
    QCOMPARE(task.MaxErr, std::uint16_t{10});
}

void MainWindowTest::copyGivesIdenticalUncheckedTask()
{
    QTemporaryDir dir;
    Program program(dir);
    // Copy with nothing selected is refused with an error box.
    clickTool(program, "AddBtn");
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
    QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Please select task first!"));
    QCOMPARE(program.state().TaskList.size(), std::size_t{0});

    clickTool(program, "NewBtn");
    QTest::keyClicks(program.find<QLineEdit>("edMainDir"), "/data/host");
    program.find<QComboBox>("cbInMirror")->setCurrentIndex(2);
    auto* liTask = program.find<QListWidget>("liTask");
    setCheck(liTask, 0, true);
    clickTool(program, "AddBtn");

    QCOMPARE(listEntries(liTask), QStringList({"New Task 1", "New Task 2"}));
    QCOMPARE(liTask->item(1)->checkState(), Qt::Unchecked);
    QCOMPARE(liTask->item(0)->checkState(), Qt::Checked);
    QCOMPARE(liTask->currentRow(), 1);
    QCOMPARE(std::memcmp(program.state().TaskList[0].get(), program.state().TaskList[1].get(), sizeof(TSyncTask)), 0);
    QCOMPARE(program.find<QLineEdit>("edMainDir")->text(), QStringLiteral("/data/host"));
    QCOMPARE(program.state().TaskList[1]->InMirror, acDelete);
}

void MainWindowTest::deleteLeavesNoSelectionAndKeepsChecks()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"a", "b", "c"}, [](std::size_t, TSyncTask&) {});
    Program program(dir);
    auto* liTask = program.find<QListWidget>("liTask");

    // Nothing selected: nothing happens.
    clickTool(program, "DelBtn");
    QCOMPARE(liTask->count(), 3);
    QVERIFY(!program.state().Modified);

    setCheck(liTask, 0, true);
    setCheck(liTask, 2, true);
    TSyncTask* third = program.state().TaskList[2].get();
    liTask->setCurrentRow(1);
    QCOMPARE(program.state().CurrentIndex, 1);
    clickTool(program, "DelBtn");
    QCOMPARE(listEntries(liTask), QStringList({"a", "c"}));
    QCOMPARE(program.state().TaskList[1].get(), third);
    QCOMPARE(program.state().CurrentIndex, -1);
    QVERIFY(liTask->selectedItems().isEmpty());
    QVERIFY(!program.find<QLineEdit>("edName")->isEnabled());
    QVERIFY(program.find<QLineEdit>("edName")->text().isEmpty());
    QCOMPARE(liTask->item(0)->checkState(), Qt::Checked);
    QCOMPARE(liTask->item(1)->checkState(), Qt::Checked);
    QVERIFY(program.state().Modified);

    // Deleting the only checked task leaves GoSync as it was.
    clickCheckBox(liTask, 1);
    QCOMPARE(liTask->item(1)->checkState(), Qt::Unchecked);
    QVERIFY(program.find<QToolButton>("GoSync")->isEnabled());
    liTask->setCurrentRow(0);
    clickTool(program, "DelBtn");
    QCOMPARE(listEntries(liTask), QStringList({"c"}));
    QCOMPARE(liTask->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(program.find<QToolButton>("GoSync")->isEnabled());
}

void MainWindowTest::typeChangeAnsweredNoThenYes()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) {
        WriteTextField(task.ExcludeList, "/old\r\n/tmp\r\n");
        task.IntoSub = kFlagTrue;
        task.IgnoreOn = kFlagTrue;
        task.DelOn = kFlagTrue;
        task.OnlyTypeOn = kFlagTrue;
        WriteCountedField(task.IgnoreList, "*.tmp\r\n");
        WriteCountedField(task.DelList, "*.bak\r\n");
        WriteCountedField(task.OnlyTypeList, "*.doc\r\n");
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    auto* edType = program.find<QComboBox>("edType");
    auto* liExclude = program.find<QListWidget>("liExclude");
    QCOMPARE(listEntries(liExclude), QStringList({"/old", "/tmp"}));
    const TSyncTask& task = *program.state().TaskList[0];

    program.dialogs.pushAnswer(QMessageBox::No);
    edType->setFocus();
    QTest::keyClick(edType, Qt::Key_Down);
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Warning"));
    QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Some properties may lose, Continue or Not?"));
    QCOMPARE(edType->currentIndex(), 0);
    QCOMPARE(task.SyncType, tyFolder);
    QCOMPARE(listEntries(liExclude), QStringList({"/old", "/tmp"}));
    QCOMPARE(ReadCountedField(task.IgnoreList), std::string("*.tmp\r\n"));
    QVERIFY(IsSet(task.IntoSub));
    QVERIFY(!program.state().Modified);

    program.dialogs.pushAnswer(QMessageBox::Yes);
    QTest::keyClick(edType, Qt::Key_Down);
    QCOMPARE(task.SyncType, tyFile);
    QCOMPARE(liExclude->count(), 0);
    QCOMPARE(ReadTextField(task.ExcludeList), std::string());
    QCOMPARE(task.IgnoreOn, std::uint8_t{0});
    QCOMPARE(task.DelOn, std::uint8_t{0});
    QCOMPARE(ReadCountedField(task.IgnoreList), std::string());
    QCOMPARE(ReadCountedField(task.DelList), std::string());
    QCOMPARE(ReadCountedField(task.OnlyTypeList), std::string());
    QCOMPARE(task.OnlyTypeOn, kFlagTrue);
    QCOMPARE(task.IntoSub, std::uint8_t{0});
    QVERIFY(!program.find<QCheckBox>("chkIntoSub")->isChecked());
    QVERIFY(!program.find<QCheckBox>("chkIntoSub")->isEnabled());
    QCOMPARE(program.find<QRadioButton>("Label4")->text(), QStringLiteral("File List"));
    QVERIFY(!program.find<QRadioButton>("rdOnly")->isEnabled());
    QVERIFY(program.state().Modified);
}

void MainWindowTest::fileTypeTaskShowsFileList()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"folders", "files"}, [](std::size_t i, TSyncTask& task) {
        task.OnlyDirs = kFlagTrue;
        if (i == 1)
            task.SyncType = tyFile;
    });
    Program program(dir);
    auto* liTask = program.find<QListWidget>("liTask");
    auto* label4 = program.find<QRadioButton>("Label4");
    auto* rdOnly = program.find<QRadioButton>("rdOnly");
    liTask->setCurrentRow(0);
    QVERIFY(rdOnly->isChecked());
    QVERIFY(rdOnly->isEnabled());
    QCOMPARE(label4->text(), QStringLiteral("Exclude folders"));

    liTask->setCurrentRow(1);
    QVERIFY(label4->isChecked());
    QCOMPARE(label4->text(), QStringLiteral("File List"));
    QVERIFY(!rdOnly->isEnabled());
    QVERIFY(!program.find<QCheckBox>("chkIntoSub")->isEnabled());
    QCOMPARE(program.find<QComboBox>("edType")->currentIndex(), 1);
    // Showing a task changes nothing in it.
    QVERIFY(!program.state().Modified);

    // The radio buttons store OnlyDirs on a folder task.
    liTask->setCurrentRow(0);
    QTest::mouseClick(label4, Qt::LeftButton);
    QCOMPARE(program.state().TaskList[0]->OnlyDirs, std::uint8_t{0});
    QVERIFY(program.state().Modified);
}

void MainWindowTest::draggedTaskKeepsEditorWhenRenamed()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"one", "two", "three"},
                [](std::size_t i, TSyncTask& task) { WriteTextField(task.MainDir, "/host" + std::to_string(i)); });
    Program program(dir);
    auto* liTask = program.find<QListWidget>("liTask");
    setCheck(liTask, 2, true);
    TSyncTask* dragged = program.state().TaskList[2].get();

    DragInList(liTask, TextOf(liTask, 2), TextOf(liTask, 0));
    QCOMPARE(listEntries(liTask), QStringList({"three", "one", "two"}));
    QCOMPARE(liTask->item(0)->checkState(), Qt::Checked);
    QCOMPARE(program.state().TaskList[0].get(), dragged);
    QCOMPARE(program.state().CurrentIndex, 0);
    QCOMPARE(liTask->currentRow(), 0);
    QCOMPARE(program.find<QLineEdit>("edMainDir")->text(), QStringLiteral("/host2"));
    QVERIFY(program.state().Modified);

    typeName(program, "renamed");
    QCOMPARE(listEntries(liTask), QStringList({"renamed", "one", "two"}));
    QCOMPARE(program.state().TaskNames[0], std::string("renamed"));
    QCOMPARE(program.state().TaskNames[2], std::string("two"));

    // A name longer than the box, as a file may hold, survives edits of other fields.
    program.state().TaskNames[1] = "a name of twenty chr";
    liTask->item(1)->setText(QStringLiteral("a name of twenty chr"));
    liTask->setCurrentRow(1);
    QCOMPARE(program.find<QLineEdit>("edName")->text(), QStringLiteral("a name of twent"));
    QTest::keyClicks(program.find<QLineEdit>("edMainDir"), "/x");
    QCOMPARE(liTask->item(1)->text(), QStringLiteral("a name of twenty chr"));
    QCOMPARE(program.state().TaskNames[1], std::string("a name of twenty chr"));

    // A name another task has is allowed.
    liTask->setCurrentRow(2);
    typeName(program, "one");
    QCOMPARE(listEntries(liTask), QStringList({"renamed", "a name of twenty chr", "one"}));
}

void MainWindowTest::checkMarksDriveGoSyncWithoutModified()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"a", "b"}, [](std::size_t, TSyncTask&) {});
    Program program(dir);
    auto* liTask = program.find<QListWidget>("liTask");
    auto* goSync = program.find<QToolButton>("GoSync");
    QVERIFY(!goSync->isEnabled());

    clickCheckBox(liTask, 1);
    QCOMPARE(liTask->item(1)->checkState(), Qt::Checked);
    QVERIFY(goSync->isEnabled());
    // A press on the check box toggles the mark without selecting or dragging.
    QVERIFY(liTask->selectedItems().isEmpty());
    clickCheckBox(liTask, 1);
    QVERIFY(!goSync->isEnabled());

    program.main().A1Click();
    QCOMPARE(liTask->item(0)->checkState(), Qt::Checked);
    QCOMPARE(liTask->item(1)->checkState(), Qt::Checked);
    QVERIFY(goSync->isEnabled());
    program.main().C1Click();
    QCOMPARE(liTask->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(!goSync->isEnabled());
    QVERIFY(!program.state().Modified);
}

void MainWindowTest::editorStoresCutFields()
{
    QTemporaryDir dir;
    Program program(dir);
    clickTool(program, "NewBtn");
    const TSyncTask& task = *program.state().TaskList[0];

    auto* edDesc = program.find<QPlainTextEdit>("edDesc");
    edDesc->setPlainText(QString(600, QLatin1Char('d')));
    QCOMPARE(ReadTextField(task.Desc), std::string(511, 'd'));
    edDesc->setPlainText(QStringLiteral("line one\nline two"));
    QCOMPARE(ReadTextField(task.Desc), std::string("line one\r\nline two"));

    // Typing stops at the field's 512 characters; the record keeps 511 bytes.
    program.find<QLineEdit>("edMirrorDir")->setText(QString(600, QLatin1Char('m')));
    QCOMPARE(ReadTextField(task.MirrorDir), std::string(511, 'm'));

    // Combo boxes store the code whose name they show, whatever its place in the list.
    program.find<QComboBox>("cbInMain")->setCurrentIndex(2);   // Delete
    program.find<QComboBox>("cbInMirror")->setCurrentIndex(1); // Host <- Mirror
    program.find<QComboBox>("cbEmptyDir")->setCurrentIndex(3); // Delete
    QCOMPARE(task.InMain, acDelete);
    QCOMPARE(task.InMirror, acMirrorToHost);
    QCOMPARE(task.EmptyDir, acDelete);
    QCOMPARE(program.main().TextToAction(QStringLiteral("no such action")), acIgnore);

    QTest::mouseClick(program.find<QCheckBox>("chkIntoSub"), Qt::LeftButton);
    QCOMPARE(task.IntoSub, kFlagTrue);

    // Reselecting shows what was stored.
    auto* liTask = program.find<QListWidget>("liTask");
    liTask->clearSelection();
    QVERIFY(program.find<QLineEdit>("edName")->text().isEmpty());
    liTask->setCurrentRow(0);
    QCOMPARE(program.find<QComboBox>("cbInMirror")->currentText(), QStringLiteral("Host <- Mirror"));
    QCOMPARE(edDesc->toPlainText(), QStringLiteral("line one\nline two"));
}

void MainWindowTest::saveButtonWritesConfiguration()
{
    QTemporaryDir dir;
    Program program(dir);
    clickTool(program, "NewBtn");
    QTest::keyClicks(program.find<QLineEdit>("edMainDir"), "/srv/a");
    clickTool(program, "ToolButton1");
    QVERIFY(!program.state().Modified);
    const ConfigContents saved = ReadConfigFile(ConfigPathIn(dir).toStdString());
    QCOMPARE(saved.TaskNames, std::vector<std::string>({"New Task 1"}));
    QCOMPARE(ReadTextField(saved.TaskList[0]->MainDir), std::string("/srv/a"));
    QCOMPARE(ReadTextField(saved.TaskList[0]->Desc), std::string("Task description..."));

    // A save that fails says why and keeps the changes marked as unsaved.
    clickTool(program, "NewBtn");
    QVERIFY(QFile::remove(ConfigPathIn(dir)));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Pelmora.cfg/blocked")));
    clickTool(program, "ToolButton1");
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].icon, QMessageBox::Critical);
    QVERIFY(program.dialogs.asked()[0].text.contains(QStringLiteral("Pelmora.cfg")));
    QVERIFY(program.state().Modified);
}

void MainWindowTest::emptyNameKeepsFocus()
{
    QTemporaryDir dir;
    Program program(dir);
    clickTool(program, "NewBtn");
    QApplication::setActiveWindow(&program.main());
    auto* edName = program.find<QLineEdit>("edName");
    auto* edMainDir = program.find<QLineEdit>("edMainDir");
    edName->setFocus();
    QCoreApplication::processEvents();
    QTest::keyClick(edName, Qt::Key_Tab);
    QCoreApplication::processEvents();
    QVERIFY(!edName->hasFocus());

    edName->setFocus();
    edName->clear();
    QTest::keyClick(edName, Qt::Key_Tab);
    QCoreApplication::processEvents();
    QVERIFY(edName->hasFocus());
    edMainDir->setFocus();
    QCoreApplication::processEvents();
    QVERIFY(edName->hasFocus());
    // The list entry follows the (empty) name, which the user must now give again.
    QCOMPARE(program.find<QListWidget>("liTask")->item(0)->text(), QString());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindow_test.moc"
