#pragma once
// RecordingView: a run view without a window. It records every label, gauge value, message box
// and window the run driver asks for, and answers boxes and the preview from a script. Used by
// tests and benchmarks (through HeadlessRunner) on one thread.

#include "sync/RunView.h"

#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace pelmora {

// The number of the window's control that shows `label` (Label1 to Label5), by which the
// recorder files its texts.
constexpr int LabelNumber(RunLabel label)
{
    return static_cast<int>(label) + 1;
}

class RecordingView : public RunView
{
public:
    struct Box
    {
        std::string text;
        std::string caption;
        BoxButtons buttons;
        BoxAnswer answer;
    };

    // What the view has been told, in order. With `record` false only the current values
    // below are kept (benchmarks copy far too many blocks to keep them all).
    bool record = true;
    std::vector<std::string> labelHistory[6]; // [LabelNumber(label)], 1..5
    std::vector<int> fileGaugeHistory;
    std::vector<int> totalGaugeHistory;
    std::vector<Box> boxes;
    std::vector<RunPhase> dispatched;

    // The current state of the window.
    std::array<std::string, 6> labels; // [LabelNumber(label)], 1..5
    int fileGauge = 0;
    int totalGauge = 0;
    bool animating = false;
    int previewsShown = 0;
    int resultsShown = 0;
    int beeps = 0;
    std::string statusLine;
    bool closed = false;
    long pendingInputCalls = 0;

    // The script: answers for message boxes, in order; when it runs dry a YesNo box gets
    // Yes, a box whose default is No gets No, and an Ok box Ok. Preview results likewise (default 1, confirm).
    std::deque<BoxAnswer> answers;
    std::deque<int> previewResults;
    // Called by ShowPreview before it returns its result, to change the plan as a user would.
    std::function<void(RunDriver&)> onPreview;
    // Called on every ProcessPendingInput(): a test presses Cancel from here.
    std::function<void()> onPendingInput;

    void SetLabel(RunLabel label, std::string_view text) override;
    void SetFileGauge(int percent) override;
    void SetTotalGauge(int percent) override;
    void SetAnimation(bool playing) override { animating = playing; }
    BoxAnswer Ask(std::string_view text, std::string_view caption, BoxButtons buttons) override;
    int ShowPreview(RunDriver& run) override;
    void ShowResults() override { ++resultsShown; }
    void Beep() override { ++beeps; }
    void SetStatusLine(std::string_view text) override { statusLine = text; }
    void ProcessPendingInput() override;
    void Post(RunPhase phase) override { m_posted.push_back(phase); }
    void CloseRunWindow() override { closed = true; }

    // Takes the oldest posted phase; false when none is waiting.
    bool TakePosted(RunPhase& phase);

private:
    std::deque<RunPhase> m_posted;
};

} // namespace pelmora
