#pragma once
// TSyncForm: the synchronisation window. It shows one run in progress (phase, current file,
// operation, totals, two gauges, a copying animation) and is the Qt view of the run driver:
// phases are queued calls to itself, message boxes go through the dialog service.
// Created once by the main window at start-up; used on the UI thread only.

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

#include "sync/RunDriver.h"
#include "sync/RunView.h"

class QLabel;
class QPushButton;

namespace pelmora {

class SyncLog;
class TPmGauge;

// The system's default beep. SetBeepHandler replaces it (tests count beeps; nullptr restores
// the real one).
void SystemBeep();
void SetBeepHandler(std::function<void()> handler);
class TresForm;
class TTreeVForm;

// SyncAnim: a small picture of sheets flying from one folder to another while files are
// copied. Plays while a run carries out its operations.
class TCopyAnimation : public QWidget
{
    Q_OBJECT
public:
    explicit TCopyAnimation(QWidget* parent = nullptr);
    void Play();
    void Stop();
    bool Playing() const { return m_timer.isActive(); }
    int Frame() const { return m_frame; }
    static constexpr int kFrameCount = 16;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_frame = 0;
};

// The window shows what the run reports without painting for every file: values are kept as
// they come and put on screen at most every kShowEveryMs, and pending input is handled at most
// every kInputEveryMs of work, which keeps Cancel and the painting live at no cost per file.
class TSyncForm : public QDialog, public RunView
{
    Q_OBJECT
public:
    static constexpr int kShowEveryMs = 60;
    static constexpr int kInputEveryMs = 10;

    explicit TSyncForm(QWidget* parent = nullptr);
    ~TSyncForm() override;

    // Sets the font, the caption (message 44) and the button text (message 45).
    void ApplyTexts();

    // The windows the run opens and the main window's status line. Any may be left unset:
    // without a preview window every plan is confirmed, without a results window nothing is
    // shown, and without a status sink the end line goes nowhere.
    void AttachWindows(TTreeVForm* preview, TresForm* results, std::function<void(const QString&)> statusSink);

    // Shows the window modally and carries out one run of request.Task, logging into `log`.
    // Returns when the run has ended and the window has closed; the driver of that run stays
    // readable through Driver() until the next run. Returns false when the run was refused
    // (no task, or a run is already going on).
    bool RunModal(const RunRequest& request, SyncLog& log);
    RunDriver* Driver() const { return m_driver.get(); }
    // Passed to the driver of every later run (RunDriver::SetCopyLanes); tests force lanes.
    void SetCopyLanes(int count, std::string program = {})
    {
        m_laneCount = count;
        m_laneProgram = std::move(program);
    }

    // RunView
    void SetLabel(RunLabel label, std::string_view text) override;
    void SetFileGauge(int percent) override;
    void SetTotalGauge(int percent) override;
    void SetAnimation(bool playing) override;
    BoxAnswer Ask(std::string_view text, std::string_view caption, BoxButtons buttons) override;
    int ShowPreview(RunDriver& run) override;
    void ShowResults() override;
    void Beep() override;
    void SetStatusLine(std::string_view text) override;
    void ProcessPendingInput() override;
    void Post(RunPhase phase) override;
    void CloseRunWindow() override;

    // The last text the run set on `label`, whether the window shows it yet or not.
    const std::string& LabelValue(RunLabel label) const { return m_values[index(label)]; }
    // Puts every value set so far on screen now.
    void ShowPendingValues();

    TCopyAnimation* SyncAnim = nullptr;
    QPushButton* btnCancel = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    TPmGauge* syncMeter = nullptr;
    TPmGauge* totMeter = nullptr;

public slots:
    void btnCancelClick();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    static constexpr std::size_t kLabels = 5;
    static constexpr std::size_t index(RunLabel label) { return static_cast<std::size_t>(label); }
    bool running() const;
    QLabel* labelFor(RunLabel label) const;
    // A value changed: it is shown when the show timer next fires.
    void valuesChanged();

    std::unique_ptr<RunDriver> m_driver;
    int m_laneCount = 0;
    std::string m_laneProgram;
    const RunRequest* m_request = nullptr;
    bool m_started = false;
    TTreeVForm* m_preview = nullptr;
    TresForm* m_results = nullptr;
    std::function<void(const QString&)> m_statusSink;

    // What the run has set, and what of it the window shows.
    std::array<std::string, kLabels> m_values;
    std::array<std::string, kLabels> m_shown;
    int m_fileGauge = 0;
    int m_totalGauge = 0;
    bool m_pending = false;
    QTimer m_showTimer;
    QElapsedTimer m_sinceShown;
    QElapsedTimer m_sinceInput;
};

} // namespace pelmora
