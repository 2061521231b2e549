// The advanced options dialog: filling from the task, defaults, the length check, the
// clamps and the time-shift encoding, enabling for file-list tasks, cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <cstring>

#include "tests/ui/UiTestHelpers.h"
#include "ui/AdvForm.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

template <typename T> T* child(QDialog& dialog, const char* name)
{
    T* widget = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget named %s", name);
    return widget;
}

void clickButton(QDialog& dialog, const char* name)
{
    QTest::mouseClick(child<QPushButton>(dialog, name), Qt::LeftButton);
}

// Replaces the text of a spin field by typing, as a user does.
void typeInto(QSpinBox* spin, const QString& text)
{
    auto* edit = spin->findChild<QLineEdit*>();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Opens the dialog on the first task, lets `script` work in it, and returns its result.
template <typename Script> int openAdvanced(Program& program, Script script)
{
    program.dialogs.pushDialog([script](QDialog& dialog) mutable { return script(dialog); });
    QTest::mouseClick(program.find<QPushButton>("btnAdv"), Qt::LeftButton);
    return program.forms->advForm->result();
}

} // namespace

class AdvFormTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultsThenOk();
    void checkedListLengthLimit();
    void uncheckedLongListKeepsWholeLines();
    void numbersAreClampedAndShiftRoundTrips();
    void fileTaskEnabling();
    void cancelLeavesTaskAndModified();
    void credentialsAreMaskedAndSelectedOnEntry();
    void deletionsAndGuardRoundTripThroughTheRecord();
};

void AdvFormTest::defaultsThenOk()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) {
        task.AutoMode = kFlagTrue;
        task.DelOn = kFlagTrue;
        WriteCountedField(task.DelList, "*.old\r\n");
        WriteCountedField(task.NetName, "alice");
        task.Speed = 250;
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    TSyncTask before = *program.state().TaskList[0];

    openAdvanced(program, [](QDialog& dialog) {
        clickButton(dialog, "btnDef");
        if (!child<QPlainTextEdit>(dialog, "liIgnore")->isEnabled() ||
            child<QPlainTextEdit>(dialog, "liDel")->isEnabled())
            return int(QDialog::Rejected);
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(program.forms->advForm->result(), int(QDialog::Accepted));
    const TSyncTask& task = *program.state().TaskList[0];
    QCOMPARE(task.IgnoreOn, kFlagTrue);
    QCOMPARE(ReadCountedField(task.IgnoreList), std::string("*.tmp\r\n*.bak\r\n*.~*\r\n"));
    QCOMPARE(task.IgnoreList.len, std::uint8_t{20});
    QCOMPARE(task.DelOn, std::uint8_t{0});
    QCOMPARE(task.AutoMode, std::uint8_t{0});
    QCOMPARE(task.OnlyTypeOn, std::uint8_t{0});
    // What the defaults do not touch keeps what was shown.
    QCOMPARE(ReadCountedField(task.DelList), std::string("*.old\r\n"));
    QCOMPARE(ReadCountedField(task.NetName), std::string("alice"));
    QCOMPARE(task.Speed, 250);
    QCOMPARE(task.MaxErr, before.MaxErr);
    QCOMPARE(std::memcmp(&task.TimeShift, &before.TimeShift, sizeof(double)), 0);
    QVERIFY(program.state().Modified);
}

void AdvFormTest::checkedListLengthLimit()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) { task.IgnoreOn = kFlagTrue; });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);

    // 253 characters and the line end: 255 bytes, accepted.
    const QString fits(253, QLatin1Char('a'));
    openAdvanced(program, [&](QDialog& dialog) {
        child<QPlainTextEdit>(dialog, "liIgnore")->setPlainText(fits);
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
    QCOMPARE(program.state().TaskList[0]->IgnoreList.len, std::uint8_t{255});
    program.state().Modified = false;

    // One more character: refused, the dialog stays open with the focus in the list.
    bool stayedOpen = false;
    bool focusInList = false;
    openAdvanced(program, [&](QDialog& dialog) {
        dialog.activateWindow();
        auto* list = child<QPlainTextEdit>(dialog, "liIgnore");
        list->setPlainText(fits + QLatin1Char('b'));
        clickButton(dialog, "btnOk");
        stayedOpen = dialog.isVisible();
        focusInList = dialog.focusWidget() == list;
        return dialog.result();
    });
    QVERIFY(stayedOpen);
    QVERIFY(focusInList);
    QCOMPARE(program.dialogs.asked().size(), std::size_t{1});
    QCOMPARE(program.dialogs.asked()[0].caption, QStringLiteral("Error"));
    QCOMPARE(program.dialogs.asked()[0].text, QStringLiteral("Too many files!"));
    QCOMPARE(program.dialogs.asked()[0].icon, QMessageBox::Critical);
    QCOMPARE(ReadCountedField(program.state().TaskList[0]->IgnoreList), fits.toStdString() + "\r\n");
    QVERIFY(!program.state().Modified);
}

void AdvFormTest::uncheckedLongListKeepsWholeLines()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask&) {});
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    QString lines;
    for (int i = 0; i < 30; ++i)
        lines += QStringLiteral("*.file%1\n").arg(i, 2, 10, QLatin1Char('0')); // 8 chars + CR LF each: 300 bytes
    openAdvanced(program, [&](QDialog& dialog) {
        child<QPlainTextEdit>(dialog, "liDel")->setPlainText(lines);
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(program.dialogs.asked().size(), std::size_t{0});
    const TSyncTask& task = *program.state().TaskList[0];
    std::string expected = MaskListText(lines);
    QCOMPARE(expected.size(), std::size_t{300});
    // Only whole lines are kept: a mask cut in the middle ("*.fil", or "*" alone) would
    // select other files than the one written, and in the delete list delete them.
    QCOMPARE(ReadCountedField(task.DelList), expected.substr(0, 250));
    QCOMPARE(task.DelOn, std::uint8_t{0});
}

void AdvFormTest::numbersAreClampedAndShiftRoundTrips()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) {
        task.Speed = 123456; // out of range in the file
        task.MaxErr = 5000;
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    const TSyncTask& task = *program.state().TaskList[0];
    const double storedShift = task.TimeShift;

    QString shownSpeed, shownErr, shownShift;
    openAdvanced(program, [&](QDialog& dialog) {
        shownSpeed = child<QSpinBox>(dialog, "edSpeed")->findChild<QLineEdit*>()->text();
        shownErr = child<QSpinBox>(dialog, "edErr")->findChild<QLineEdit*>()->text();
        shownShift = child<QSpinBox>(dialog, "edShift")->findChild<QLineEdit*>()->text();
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(shownSpeed, QStringLiteral("10000"));
    QCOMPARE(shownErr, QStringLiteral("999"));
    QCOMPARE(shownShift, QStringLiteral("2"));
    // Two seconds come back as the very same double.
    QCOMPARE(std::memcmp(&task.TimeShift, &storedShift, sizeof(double)), 0);
    QCOMPARE(task.Speed, 10000);
    QCOMPARE(task.MaxErr, std::uint16_t{999});

    openAdvanced(program, [&](QDialog& dialog) {
        typeInto(child<QSpinBox>(dialog, "edSpeed"), QStringLiteral("20000"));
        typeInto(child<QSpinBox>(dialog, "edErr"), QString());
        typeInto(child<QSpinBox>(dialog, "edShift"), QStringLiteral("123")); // two characters fit
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(task.Speed, 10000);
    QCOMPARE(task.MaxErr, std::uint16_t{0});
    const double shift = task.TimeShift;
    QCOMPARE(shift, 12 / 86400.0 + 0.00000001);
}

void AdvFormTest::fileTaskEnabling()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"folders", "files"}, [](std::size_t i, TSyncTask& task) {
        task.IgnoreOn = kFlagTrue;
        task.OnlyTypeOn = 0;
        if (i == 1)
            task.SyncType = tyFile;
    });
    Program program(dir);
    auto* liTask = program.find<QListWidget>("liTask");

    liTask->setCurrentRow(0);
    bool ignoreListOn = false, onlyListOn = true;
    openAdvanced(program, [&](QDialog& dialog) {
        ignoreListOn = child<QPlainTextEdit>(dialog, "liIgnore")->isEnabled();
        onlyListOn = child<QPlainTextEdit>(dialog, "liOnlyType")->isEnabled();
        return int(QDialog::Rejected);
    });
    QVERIFY(ignoreListOn);
    QVERIFY(!onlyListOn);

    liTask->setCurrentRow(1);
    QStringList enabledBefore, enabledAfter;
    openAdvanced(program, [&](QDialog& dialog) {
        for (const char* name : {"chkIgnore", "chkDel", "chkOnlyType", "liIgnore", "liDel", "liOnlyType"}) {
            if (child<QWidget>(dialog, name)->isEnabled())
                enabledBefore << QString::fromLatin1(name);
        }
        QTest::mouseClick(child<QCheckBox>(dialog, "chkOnlyType"), Qt::LeftButton);
        if (child<QWidget>(dialog, "liOnlyType")->isEnabled())
            enabledAfter << QStringLiteral("liOnlyType");
        return int(QDialog::Rejected);
    });
    QCOMPARE(enabledBefore, QStringList({"chkOnlyType"}));
    QCOMPARE(enabledAfter, QStringList({"liOnlyType"}));
}

void AdvFormTest::cancelLeavesTaskAndModified()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) { WriteCountedField(task.NetName, "bob"); });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    const TSyncTask before = *program.state().TaskList[0];

    openAdvanced(program, [](QDialog& dialog) {
        child<QLineEdit>(dialog, "edNetName")->setText(QStringLiteral("mallory"));
        clickButton(dialog, "btnDef");
        typeInto(child<QSpinBox>(dialog, "edSpeed"), QStringLiteral("1"));
        clickButton(dialog, "btnCancel");
        return dialog.result();
    });
    QCOMPARE(std::memcmp(program.state().TaskList[0].get(), &before, sizeof(TSyncTask)), 0);
    QVERIFY(!program.state().Modified);

    // The next showing starts again from the record.
    QString shownName;
    openAdvanced(program, [&](QDialog& dialog) {
        shownName = child<QLineEdit>(dialog, "edNetName")->text();
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(shownName, QStringLiteral("bob"));
    QCOMPARE(std::memcmp(program.state().TaskList[0].get(), &before, sizeof(TSyncTask)), 0);
    QVERIFY(program.state().Modified);
}

void AdvFormTest::credentialsAreMaskedAndSelectedOnEntry()
{
    QTemporaryDir dir;
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) {
        WriteCountedField(task.NetName, "user");
        WriteCountedField(task.NetPass, "secret");
    });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);
    QString selected;
    bool masked = false;
    openAdvanced(program, [&](QDialog& dialog) {
        dialog.activateWindow();
        QApplication::setActiveWindow(&dialog);
        auto* pass = child<QLineEdit>(dialog, "edNetPass");
        masked = pass->echoMode() == QLineEdit::Password &&
                 child<QLineEdit>(dialog, "edNetName")->echoMode() == QLineEdit::Password;
        QTest::mouseClick(pass, Qt::LeftButton, {}, QPoint(4, pass->height() / 2));
        QCoreApplication::processEvents();
        selected = pass->selectedText();
        return int(QDialog::Rejected);
    });
    QVERIFY(masked);
    QCOMPARE(selected, QStringLiteral("secret"));
}

void AdvFormTest::deletionsAndGuardRoundTripThroughTheRecord()
{
    QTemporaryDir dir;
    // A record of an older program: every Reserved byte zero.
    WriteConfig(dir, {"t"}, [](std::size_t, TSyncTask& task) { std::memset(task.Reserved, 0, sizeof task.Reserved); });
    Program program(dir);
    program.find<QListWidget>("liTask")->setCurrentRow(0);

    // Shows the defaults, then switches both off.
    QString shown;
    bool guarded = false;
    openAdvanced(program, [&](QDialog& dialog) {
        auto* deletions = child<QComboBox>(dialog, "cbDeletions");
        shown = deletions->currentText();
        guarded = child<QCheckBox>(dialog, "chkGuard")->isChecked();
        deletions->setCurrentIndex(1);
        child<QCheckBox>(dialog, "chkGuard")->setChecked(false);
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(shown, QStringLiteral("Move to trash"));
    QVERIFY(guarded);
    const TSyncTask& task = *program.state().TaskList[0];
    QCOMPARE(task.Reserved[0], std::uint8_t{1});
    QCOMPARE(task.Reserved[1], std::uint8_t{1});
    for (std::size_t i = 2; i < sizeof task.Reserved; ++i)
        QCOMPARE(task.Reserved[i], std::uint8_t{0});
    QVERIFY(program.state().Modified);

    // The next showing fills from the record; back to the defaults gives zero bytes again.
    openAdvanced(program, [&](QDialog& dialog) {
        auto* deletions = child<QComboBox>(dialog, "cbDeletions");
        shown = deletions->currentText();
        guarded = child<QCheckBox>(dialog, "chkGuard")->isChecked();
        deletions->setCurrentIndex(0);
        child<QCheckBox>(dialog, "chkGuard")->setChecked(true);
        clickButton(dialog, "btnOk");
        return dialog.result();
    });
    QCOMPARE(shown, QStringLiteral("Delete permanently"));
    QVERIFY(!guarded);
    QCOMPARE(task.Reserved[0], std::uint8_t{0});
    QCOMPARE(task.Reserved[1], std::uint8_t{0});

    // Cancel writes nothing back.
    openAdvanced(program, [&](QDialog& dialog) {
        child<QComboBox>(dialog, "cbDeletions")->setCurrentIndex(1);
        clickButton(dialog, "btnCancel");
        return dialog.result();
    });
    QCOMPARE(task.Reserved[0], std::uint8_t{0});
}

QTEST_MAIN(AdvFormTest)
#include "AdvForm_test.moc"
