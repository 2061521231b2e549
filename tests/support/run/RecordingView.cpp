#include "tests/support/run/RecordingView.h"

namespace pelmora {

void RecordingView::SetLabel(RunLabel label, std::string_view text)
{
    const int line = LabelNumber(label);
    labels[static_cast<std::size_t>(line)] = text;
    if (record)
        labelHistory[line].emplace_back(text);
}

void RecordingView::SetFileGauge(int percent)
{
    fileGauge = percent;
    if (record)
        fileGaugeHistory.push_back(percent);
}

void RecordingView::SetTotalGauge(int percent)
{
    totalGauge = percent;
    if (record)
        totalGaugeHistory.push_back(percent);
}

BoxAnswer RecordingView::Ask(std::string_view text, std::string_view caption, BoxButtons buttons)
{
    BoxAnswer answer = buttons == BoxButtons::YesNo            ? BoxAnswer::Yes
                       : buttons == BoxButtons::YesNoDefaultNo ? BoxAnswer::No
                                                               : BoxAnswer::Ok;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    boxes.push_back({std::string(text), std::string(caption), buttons, answer});
    return answer;
}

int RecordingView::ShowPreview(RunDriver& run)
{
    ++previewsShown;
    if (onPreview)
        onPreview(run);
    int result = 1;
    if (!previewResults.empty()) {
        result = previewResults.front();
        previewResults.pop_front();
    }
    return result;
}

void RecordingView::ProcessPendingInput()
{
    ++pendingInputCalls;
    if (onPendingInput)
        onPendingInput();
}

bool RecordingView::TakePosted(RunPhase& phase)
{
    if (m_posted.empty())
        return false;
    phase = m_posted.front();
    m_posted.pop_front();
    return true;
}

} // namespace pelmora
