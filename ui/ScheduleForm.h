#pragma once
// TfmTask: the schedule dialog, where schedule entries are added, edited and removed. Its
// edits go straight into ScheduleList. It also runs the periodic schedule check, open or not.
// Created once at start-up; shown modally from the main window. UI thread only.

#include <QDialog>
#include <QLocale>
#include <QString>

#include <functional>
#include <memory>

#include "schedule/ScheduleTrigger.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace pelmora {

class Clock;
class TcltForm;
struct TAppState;

// The separator the locale writes between hours and minutes (':' when it cannot be told).
QChar TimeSeparator(const QLocale& locale);
// The time-of-day part of a day count as the time field shows it: "hh:mm:ss", with the
// locale's separator.
QString ScheduleTimeText(double days, QChar separator = QLatin1Char(':'));
// Parses "h:mm:ss" or "hh:mm:ss" (hours 0..23, minutes and seconds 0..59; any one non-digit
// between them, blanks of the input mask ignored) into a fraction of a day. Returns false
// when the text is no time of day.
bool ParseScheduleTime(const QString& text, double& time);
// How a next run is written in `locale`: its short date and its time with seconds.
QString ScheduleDateTimeFormat(const QLocale& locale);
// A day count written that way in the default locale.
QString ScheduleDateTimeText(double days);

class TfmTask : public QDialog
{
    Q_OBJECT
public:
    // Edits the schedule of the main window's state when `parent` is the main window.
    explicit TfmTask(QWidget* parent = nullptr);
    // Edits the schedule of `state`; the task names for ComboBox1 come from it too.
    explicit TfmTask(TAppState& state, QWidget* parent = nullptr);
    ~TfmTask() override;

    void ApplyTexts();

    // The clock the next-run times are computed from (the system clock unless replaced).
    void SetClock(const Clock& clock);
    const Clock& clock() const { return m_trigger.clock(); }

    // Called on the UI thread when an entry fired, to start its task. By default it posts
    // OnDoSchedule to the main window.
    void SetOnScheduleFired(std::function<void()> handler) { m_onFired = std::move(handler); }

    // The schedule check: fires at most one due entry (see TScheduleTrigger).
    void OnCheckSche();
    const std::string& PendingScheduleTask() const { return m_trigger.PendingScheduleTask(); }
    void ClearPendingScheduleTask() { m_trigger.ClearPending(); }

    // The selected entry, or nullptr.
    TScheduleItem* CurrentSchedule() const { return m_current; }

    // The handlers, callable the way the controls call them.
    void FormShow();
    void ListBox1Click();
    void ComboBox2Change();
    void FieldChange(QObject* sender);
    void MaskEdit1Exit();
    void Edit1Enter();
    void Edit1Change();
    void Edit1Exit();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // Closing by Escape or the close box takes over a name or time still being typed, as
    // leaving the field does; a refused one keeps the dialog open.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void init();
    void buildControls();
    void showNextRun();
    TAppState& state() const { return *m_state; }

    std::unique_ptr<TAppState> m_ownState; // only without a main window
    TAppState* m_state = nullptr;
    TcltForm* m_main = nullptr;
    TScheduleTrigger m_trigger;
    std::function<void()> m_onFired;
    TScheduleItem* m_current = nullptr;
    bool m_inExit = false;
    bool m_sizedOnce = false;
    bool m_nameRefused = false;
    bool m_timeRefused = false;
    QChar m_timeSeparator = QLatin1Char(':');

public:
    QListWidget* ListBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* MaskEdit1 = nullptr;
    QLabel* Label4 = nullptr;
    QSpinBox* edRep = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lbNext = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
};

} // namespace pelmora
