// The schedule dialog driven through its widgets, and a fired entry running its tasks.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "core/DateTime.h"
#include "lang/Messages.h"
#include "sync/RunDriver.h"
#include "tests/support/FakeClock.h"
#include "tests/ui/UiTestHelpers.h"
#include "ui/ResForm.h"
#include "ui/ScheduleForm.h"
#include "ui/SyncForm.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {

QString msg(int n)
{
    return QString::fromUtf8(Msg(n));
}

double at(int y, int m, int d, int h, int n, int s)
{
    return EncodeDateTime({y, m, d, h, n, s, 0});
}

std::unique_ptr<TScheduleItem> scheduleEntry(const std::string& name, const std::string& task, double nextRun,
                                             std::int16_t repeat = -1)
{
    ScheduleItems none;
    auto item = NewScheduleItem(none);
    WriteShortString(item->Name, name);
    WriteShortString(item->TaskName, task);
    item->Kind = skDaily;
    item->Time = 8.0 / 24;
    item->NextRun = nextRun;
    item->RepeatCount = repeat;
    return item;
}

void writeConfig(const QTemporaryDir& dir, const std::vector<std::string>& names, const TaskRecords& tasks,
                 const ScheduleItems& schedules)
{
    WriteConfigFile(ConfigPathIn(dir).toStdString(), SerializeConfig(names, tasks, schedules));
}

// Tasks 0..count-1 copying host<i>/a.txt ("content <i>") to the empty folder mirror<i>.
TaskRecords taskTrees(const std::filesystem::path& root, int count)
{
    TaskRecords tasks;
    for (int i = 0; i < count; ++i) {
        const auto host = root / ("host" + std::to_string(i));
        const auto mirror = root / ("mirror" + std::to_string(i));
        std::filesystem::create_directories(host);
        std::filesystem::create_directories(mirror);
        std::ofstream(host / "a.txt") << "content " << i;
        tasks.push_back(NewSyncTask());
        WriteTextField(tasks.back()->MainDir, host.string());
        WriteTextField(tasks.back()->MirrorDir, mirror.string());
        tasks.back()->InMain = acHostToMirror;
    }
    return tasks;
}

QStringList lines(QListWidget* list)
{
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->item(i)->text();
    return entries;
}

// The schedule dialog of a program start, opened as the toolbar button opens it but left
// open for the test, on a fake clock.
struct OpenDialog
{
    FakeClock clock{at(2024, 5, 15, 7, 0, 0)}; // a Wednesday
    TfmTask* form;

    explicit OpenDialog(Program& program) : form(program.forms->fmTask.get())
    {
        form->SetClock(clock);
        form->show();
        QApplication::setActiveWindow(form);
        QVERIFY(QTest::qWaitForWindowActive(form));
    }
    ~OpenDialog() { form->hide(); }

    // Leaves the focused field the way a user does: by moving to another control.
    void leaveTo(QWidget* next)
    {
        next->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
    }

    void retype(QLineEdit* edit, const QString& text)
    {
        edit->setFocus(Qt::TabFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        edit->setCursorPosition(0);
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            QTest::keyClicks(edit, text);
        } else {
            // Qt Test types ASCII keys only; the rest arrives as an input method would send it.
            QInputMethodEvent event;
            event.setCommitString(text);
            QApplication::sendEvent(edit, &event);
        }
    }
};

} // namespace

class ScheduleFormTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(ConfigPathIn(m_dir));
    }

    void openingShowsTheNamesAndAnEmptyDisabledEditor()
    {
        ScheduleItems schedules;
        schedules.push_back(scheduleEntry("morning", "backup", 0));
        schedules.push_back(scheduleEntry("evening", "photos", 0));
        TaskRecords tasks;
        tasks.push_back(NewSyncTask());
        tasks.push_back(NewSyncTask());
        writeConfig(m_dir, {"backup", "photos"}, tasks, schedules);
        Program program(m_dir);
        OpenDialog dialog(program);
        TfmTask& f = *dialog.form;

        QCOMPARE(lines(f.ListBox1), QStringList({"morning", "evening"}));
        QVERIFY(f.ListBox1->selectedItems().isEmpty());
        QCOMPARE(f.CurrentSchedule(), nullptr);
        for (QWidget* w : std::initializer_list<QWidget*>{f.Edit1, f.ComboBox1, f.ComboBox2, f.MaskEdit1, f.edRep})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(f.Edit1->text(), QString());
        QCOMPARE(f.MaskEdit1->text(), QString("01:00:00"));
        QCOMPARE(f.edRep->value(), 0);
        QCOMPARE(f.lbNext->text(), msg(143));
        QCOMPARE(f.ComboBox1->count(), 2);
        QCOMPARE(f.ComboBox1->itemText(1), QString("photos"));
        QCOMPARE(f.windowTitle(), msg(126));
        QVERIFY(!program.state().Modified);
    }

    void addingEditingAndDeletingEntries()
    {
        Program program(m_dir);
        OpenDialog dialog(program);
        TfmTask& f = *dialog.form;
        TAppState& state = program.state();

        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QCOMPARE(lines(f.ListBox1), QStringList({msg(142) + "1"}));
        QCOMPARE(f.ListBox1->currentRow(), 0);
        QCOMPARE(f.Edit1->text(), msg(142) + "1");
        QCOMPARE(f.ComboBox2->currentText(), msg(146));
        QCOMPARE(f.MaskEdit1->text(), QString("12:00:00"));
        QCOMPARE(f.edRep->value(), -1);
        QCOMPARE(f.ComboBox1->currentText(), QString());
        QVERIFY(f.Edit1->isEnabled());
        QVERIFY(!f.ComboBox3->isVisible());
        QVERIFY(state.Modified);
        QCOMPARE(state.ScheduleList.size(), std::size_t(1));
        QCOMPARE(double(state.ScheduleList[0]->NextRun), 0.0); // not armed until a field changes
        QCOMPARE(f.lbNext->text(), msg(143));                  // no date from 1899 for an entry that never fires

        // Naming the task arms the entry from the moment of the edit.
        f.ComboBox1->setFocus();
        QTest::keyClicks(f.ComboBox1, "nightly");
        QCOMPARE(QString::fromStdString(ReadShortString(state.ScheduleList[0]->TaskName)), QString("nightly"));
        QCOMPARE(double(state.ScheduleList[0]->NextRun), dialog.clock.Now() + 0.5);
        QCOMPARE(f.lbNext->text(), msg(143) + ScheduleDateTimeText(at(2024, 5, 15, 19, 0, 0)));
        QVERIFY(f.lbNext->text().endsWith(QStringLiteral("19:00:00")));

        // Every week shows the weekday list at the entry's day; back hides it, day kept.
        state.ScheduleList[0]->WeekDay = 3;
        f.ComboBox2->setCurrentIndex(2);
        QVERIFY(f.ComboBox3->isVisible());
        QCOMPARE(f.ComboBox3->currentText(), msg(134));
        QCOMPARE(state.ScheduleList[0]->Kind, skWeekly);
        QCOMPARE(double(state.ScheduleList[0]->NextRun), at(2024, 5, 21, 12, 0, 0)); // the coming Tuesday
        f.ComboBox2->setCurrentIndex(1);
        QVERIFY(!f.ComboBox3->isVisible());
        QCOMPARE(state.ScheduleList[0]->WeekDay, std::uint8_t(3));
        QCOMPARE(double(state.ScheduleList[0]->NextRun), at(2024, 5, 15, 12, 0, 0));

        // A repeat count of 0 makes the entry inactive: no next time is shown.
        f.edRep->setValue(0);
        QCOMPARE(state.ScheduleList[0]->RepeatCount, std::int16_t(0));
        QCOMPARE(f.lbNext->text(), msg(143));
        f.edRep->setValue(3);

        // Three entries, the second deleted: the next one added takes the free number 2.
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        f.ListBox1->setCurrentRow(1);
        QCOMPARE(f.Edit1->text(), msg(142) + "2");
        state.Modified = false;
        QTest::mouseClick(f.Button2, Qt::LeftButton);
        QVERIFY(state.Modified);
        QCOMPARE(lines(f.ListBox1), QStringList({msg(142) + "1", msg(142) + "3"}));
        QCOMPARE(state.ScheduleList.size(), std::size_t(2));
        QVERIFY(!f.Edit1->isEnabled());
        QCOMPARE(f.CurrentSchedule(), nullptr);
        QTest::mouseClick(f.Button2, Qt::LeftButton); // nothing selected: nothing happens
        QCOMPARE(state.ScheduleList.size(), std::size_t(2));
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QCOMPARE(f.ListBox1->item(2)->text(), msg(142) + "2");
        QVERIFY(program.dialogs.asked().empty());
    }

    void aBadTimeIsRefusedAndLeavesTheEntryUnarmed()
    {
        Program program(m_dir);
        OpenDialog dialog(program);
        TfmTask& f = *dialog.form;
        TAppState& state = program.state();
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        f.edRep->setValue(2); // arms it: 19:00 today
        const QString shownBefore = f.lbNext->text();
        TScheduleItem& item = *state.ScheduleList[0];
        QVERIFY(item.NextRun > 1000);

        program.dialogs.pushAnswer(QMessageBox::Ok);
        dialog.retype(f.MaskEdit1, "250000");
        QCOMPARE(f.MaskEdit1->text(), QString("25:00:00"));
        dialog.leaveTo(f.edRep);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].text, msg(145));
        QCOMPARE(program.dialogs.asked()[0].caption, msg(31));
        QCOMPARE(double(item.Time), 0.5);
        QCOMPARE(double(item.NextRun), 0.0);
        QCOMPARE(f.lbNext->text(), shownBefore);
        QVERIFY(f.MaskEdit1->hasFocus());

        // A good time taken over arms the entry again.
        dialog.retype(f.MaskEdit1, "063000");
        dialog.leaveTo(f.edRep);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(double(item.Time), 6.5 / 24);
        QCOMPARE(double(item.NextRun), dialog.clock.Now() + 6.5 / 24);

        // Escape while a bad time is typed: the box, and the dialog stays open.
        program.dialogs.pushAnswer(QMessageBox::Ok);
        dialog.retype(f.MaskEdit1, "236100");
        QTest::keyClick(f.MaskEdit1, Qt::Key_Escape);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(2));
        QVERIFY(f.isVisible());
        QCOMPARE(double(item.Time), 6.5 / 24);
    }

    void renamingChecksTheOtherNamesAndCutsToFifteenBytes()
    {
        Program program(m_dir);
        OpenDialog dialog(program);
        TfmTask& f = *dialog.form;
        TAppState& state = program.state();
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QTest::mouseClick(f.Button1, Qt::LeftButton); // selected: the second
        state.Modified = false;

        program.dialogs.pushAnswer(QMessageBox::Ok);
        dialog.retype(f.Edit1, msg(142) + "1");
        QVERIFY(state.Modified); // typing in the name counts as an edit
        dialog.leaveTo(f.edRep);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(1));
        QCOMPARE(program.dialogs.asked()[0].text, msg(144));
        QCOMPARE(ReadShortString(state.ScheduleList[1]->Name), Msg(142) + std::string("2"));
        QCOMPARE(f.ListBox1->item(1)->text(), msg(142) + "2");
        QVERIFY(f.Edit1->hasFocus());
        // Left again unchanged, the refused name is still refused.
        program.dialogs.pushAnswer(QMessageBox::Ok);
        dialog.leaveTo(f.edRep);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(2));

        // Its own name is no clash.
        dialog.retype(f.Edit1, msg(142) + "2");
        dialog.leaveTo(f.edRep);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(2));

        // Case counts: "schedule 1" is another name than "Schedule 1".
        dialog.retype(f.Edit1, (msg(142) + "1").toLower());
        dialog.leaveTo(f.edRep);
        QCOMPARE(program.dialogs.asked().size(), std::size_t(2));
        QCOMPARE(f.ListBox1->item(1)->text(), (msg(142) + "1").toLower());

        dialog.retype(f.Edit1, "abcdefghijklmnopqrst");
        dialog.leaveTo(f.edRep);
        QCOMPARE(ReadShortString(state.ScheduleList[1]->Name), std::string("abcdefghijklmno"));
        QCOMPARE(f.ListBox1->item(1)->text(), QString("abcdefghijklmno"));
        // Multi-byte letters are never cut in half.
        dialog.retype(f.Edit1, QString::fromUtf8("Sicherung größer"));
        dialog.leaveTo(f.edRep);
        QCOMPARE(ReadShortString(state.ScheduleList[1]->Name), std::string("Sicherung grö"));
        QCOMPARE(program.dialogs.asked().size(), std::size_t(2));

        // A name still being typed when the dialog is closed with Escape is taken over.
        dialog.retype(f.Edit1, "last");
        QTest::keyClick(f.Edit1, Qt::Key_Escape);
        QVERIFY(!f.isVisible());
        QCOMPARE(ReadShortString(state.ScheduleList[1]->Name), std::string("last"));
    }

    void theTimeFieldUsesTheLocaleTimeSeparator()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
        TAppState state;
        TfmTask form(state);
        form.ApplyTexts();
        FakeClock clock(at(2024, 5, 15, 7, 0, 0));
        form.SetClock(clock);
        form.show();
        QCOMPARE(form.MaskEdit1->text(), QString("01.00.00"));
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QCOMPARE(form.MaskEdit1->text(), QString("12.00.00"));
        form.MaskEdit1->selectAll();
        form.MaskEdit1->setCursorPosition(0);
        QTest::keyClicks(form.MaskEdit1, "063000");
        QCOMPARE(form.MaskEdit1->text(), QString("06.30.00"));
        form.MaskEdit1Exit();
        QCOMPARE(double(state.ScheduleList[0]->Time), 6.5 / 24);
        form.hide();

        // Next-run times in a locale whose data Qt cannot write whole.
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::Taiwan));
        const QString evening = ScheduleDateTimeText(at(2026, 12, 12, 22, 30, 5));
        QVERIFY2(evening.contains(QString::fromUtf8("下午")), qPrintable(evening));
        QVERIFY2(evening.startsWith(QStringLiteral("2026/12/12 ")) && evening.endsWith(QStringLiteral("10:30:05")),
                 qPrintable(evening));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(ScheduleDateTimeText(at(2026, 12, 12, 22, 30, 5)), QString("12/12/26 10:30:05 PM"));
        QLocale::setDefault(before);
    }

    void aCheckWhileTheDialogIsOpenUpdatesTheShownEntry()
    {
        ScheduleItems schedules;
        schedules.push_back(scheduleEntry("often", "missing", at(2024, 5, 15, 7, 0, 0), 2));
        TaskRecords tasks;
        writeConfig(m_dir, {}, tasks, schedules);
        Program program(m_dir);
        program.main().DisableScheduleTimer(); // the checks are the test's own
        OpenDialog dialog(program);            // its clock stands at the entry's time
        TfmTask& f = *dialog.form;
        f.ListBox1->setCurrentRow(0);
        QCOMPARE(f.edRep->value(), 2);

        f.OnCheckSche();
        QCOMPARE(program.state().ScheduleList[0]->RepeatCount, std::int16_t(1));
        QCOMPARE(f.edRep->value(), 1);
        QVERIFY(!program.state().Modified);
        // The next edit keeps the lowered count instead of writing the shown old one back.
        f.ComboBox2->setCurrentIndex(0);
        QCOMPARE(program.state().ScheduleList[0]->RepeatCount, std::int16_t(1));
        QTRY_VERIFY(f.PendingScheduleTask().empty()); // no task of that name: nothing ran
    }

    void aFiredEntryRunsEveryTaskOfItsNameUnattended()
    {
        namespace fs = std::filesystem;
        const fs::path root = fs::path(m_dir.path().toStdString()) / "trees";
        std::vector<std::string> names{"job", "other", "job"};
        TaskRecords tasks = taskTrees(root, 3);
        ScheduleItems schedules;
        const double due = at(2024, 5, 15, 8, 0, 0);
        schedules.push_back(scheduleEntry("s", "job", due, 1));
        writeConfig(m_dir, names, tasks, schedules);

        Program program(m_dir);
        program.main().DisableScheduleTimer();
        TfmTask& f = *program.forms->fmTask;
        FakeClock clock(due);
        f.SetClock(clock);
        f.OnCheckSche();
        QCOMPARE(f.PendingScheduleTask(), std::string("job"));
        f.OnCheckSche(); // pending: a second check changes nothing
        QTRY_VERIFY_WITH_TIMEOUT(f.PendingScheduleTask().empty(), 20000);

        auto read = [](const fs::path& p) {
            std::ifstream in(p);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        QCOMPARE(read(root / "mirror0" / "a.txt"), std::string("content 0"));
        QVERIFY(!fs::exists(root / "mirror1" / "a.txt"));
        QCOMPARE(read(root / "mirror2" / "a.txt"), std::string("content 2"));
        QVERIFY(!program.state().ScheduledRun);
        QCOMPARE(program.state().ScheduleList[0]->RepeatCount, std::int16_t(0));
        QVERIFY(!program.state().Modified);
        // Unattended: no preview, no results window, no box.
        QVERIFY(program.dialogs.asked().empty());
        QCOMPARE(program.dialogs.dialogsRun(), 0);
        QVERIFY(!program.forms->resForm->isVisible());
        QVERIFY(!program.main().RunActive());
        QVERIFY(program.main().isVisible());
    }

    void anEntryFiringDuringARunByHandWaitsForIt()
    {
        namespace fs = std::filesystem;
        const fs::path root = fs::path(m_dir.path().toStdString()) / "trees";
        TaskRecords tasks = taskTrees(root, 2);
        tasks[0]->AutoMode = 0xFF;
        for (int i = 0; i < 2000; ++i) // enough for the run to let timers through while it lists
            std::ofstream(root / "host0" / ("f" + std::to_string(i))) << i;
        ScheduleItems schedules;
        schedules.push_back(scheduleEntry("s", "job", at(2024, 5, 15, 8, 0, 0), 1));
        writeConfig(m_dir, {"by hand", "job"}, tasks, schedules);

        Program program(m_dir);
        program.main().DisableScheduleTimer();
        TfmTask& f = *program.forms->fmTask;
        bool fired = false;
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const RunDriver* run = program.forms->syncForm->Driver();
            if (!fired && run && !run->CanClose()) {
                // A check posted just before the run began, delivered during it.
                fired = true;
                const FakeClock due(at(2024, 5, 15, 8, 0, 0));
                f.SetClock(due);
                f.OnCheckSche();
                f.SetClock(SystemClock());
            }
        });
        poll.start();
        program.main().TaskListBox()->item(0)->setCheckState(Qt::Checked);
        program.main().GoSyncClick();
        poll.stop();
        QVERIFY(fired);
        QTRY_VERIFY_WITH_TIMEOUT(f.PendingScheduleTask().empty(), 20000);
        std::ifstream copied(root / "mirror1" / "a.txt");
        QCOMPARE(std::string(std::istreambuf_iterator<char>(copied), {}), std::string("content 1"));
        QVERIFY(fs::exists(root / "mirror0" / "f1999"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(ScheduleFormTest)
#include "ScheduleForm_test.moc"
