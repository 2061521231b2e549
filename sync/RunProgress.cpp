#include "sync/RunProgress.h"

#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "sync/SizeText.h"
#include "sync/SyncLog.h"

#include <algorithm>

namespace pelmora {

namespace {

// `amount` left at `perSecond`, in whole seconds rounded up.
std::int64_t SecondsFor(std::int64_t amount, std::int64_t perSecond)
{
    return (amount + perSecond - 1) / perSecond;
}

} // namespace

void RunProgress::Start(std::uint64_t nowMs, std::int64_t totalBytes, int fileCount, std::int64_t limitBytesPerSecond)
{
    m_active = true;
    m_totalBytes = totalBytes;
    m_limit = std::max<std::int64_t>(limitBytesPerSecond, 0);
    m_fileCount = fileCount;
    m_file = 0;
    m_filesDone = 0;
    m_nowMs = nowMs;
    m_doneBytes = 0;
    m_shown = false;
    m_shownMs = 0;
    m_rateShown = -1;
    m_leftShown = -1;
    m_samples[0] = Sample{nowMs, 0, 0};
    m_first = 0;
    m_count = 1;
}

const RunProgress::Sample& RunProgress::newest() const
{
    return m_samples[static_cast<std::size_t>((m_first + m_count - 1) % kSamples)];
}

bool RunProgress::Update(std::uint64_t nowMs, std::int64_t doneBytes, bool force)
{
    if (!m_active)
        return false;
    // The bytes are counted from the start of these operations; a tick never goes back.
    m_nowMs = std::max(nowMs, m_nowMs);
    m_doneBytes = doneBytes;
    if (m_nowMs - newest().ms >= kSampleMs) {
        if (m_count == kSamples) {
            m_first = (m_first + 1) % kSamples;
            --m_count;
        }
        m_samples[static_cast<std::size_t>((m_first + m_count) % kSamples)] = Sample{m_nowMs, doneBytes, m_filesDone};
        ++m_count;
    }
    // The oldest sample kept is the last one at least kWindowMs old, so the rate spans the
    // whole window once the run is that long.
    while (m_count > 1) {
        const Sample& second = m_samples[static_cast<std::size_t>((m_first + 1) % kSamples)];
        if (m_nowMs - second.ms < kWindowMs)
            break;
        m_first = (m_first + 1) % kSamples;
        --m_count;
    }
    if (!force && m_shown && m_nowMs - m_shownMs < kShowEveryMs)
        return false;
    m_shown = true;
    m_shownMs = m_nowMs;
    m_rateShown = BytesPerSecond();
    m_leftShown = SecondsLeft();
    return true;
}

std::int64_t RunProgress::BytesPerSecond() const
{
    const std::uint64_t span = m_nowMs - oldest().ms;
    if (!m_active || span < kMinSpanMs)
        return -1;
    return std::max<std::int64_t>(m_doneBytes - oldest().bytes, 0) * 1000 / static_cast<std::int64_t>(span);
}

std::int64_t RunProgress::SecondsLeft() const
{
    if (!m_active)
        return -1;
    const std::uint64_t span = m_nowMs - oldest().ms;
    const bool measured = span >= kMinSpanMs;
    if (m_totalBytes <= 0) {
        // Nothing to copy (deletions only): the operations left at the pace they went.
        const std::int64_t left = std::max(m_fileCount - m_filesDone, 0);
        if (left == 0)
            return 0;
        const std::int64_t done = m_filesDone - oldest().files;
        if (!measured || done <= 0)
            return -1;
        return (left * static_cast<std::int64_t>(span) + done * 1000 - 1) / (done * 1000);
    }
    const std::int64_t left = std::max<std::int64_t>(m_totalBytes - m_doneBytes, 0);
    if (left == 0)
        return 0;
    std::int64_t rate = measured ? BytesPerSecond() : -1;
    // A limited copy cannot go faster than its limit for long, whatever a burst of small files
    // measured; before anything is measured the limit is the best guess there is.
    if (m_limit > 0)
        rate = rate < 0 ? m_limit : std::min(rate, m_limit);
    if (rate <= 0)
        return -1;
    return SecondsFor(left, rate);
}

std::string RunProgress::Line() const
{
    const std::string file = std::to_string(m_file);
    const std::string count = std::to_string(m_fileCount);
    const std::int64_t rate = m_rateShown;
    const std::int64_t left = m_leftShown;
    if (!m_active || rate < 0 || left < 0)
        return ReplaceFirst(ReplaceFirst(Msg(kMsgProgressFiles), file), "%2", count);
    std::string line = ReplaceFirst(Msg(kMsgProgressLine), SizeText(rate));
    line = ReplaceFirst(line, "%2", DurationText(left));
    line = ReplaceFirst(line, "%3", file);
    return ReplaceFirst(line, "%4", count);
}

std::string DurationText(std::int64_t seconds)
{
    seconds = std::max<std::int64_t>(seconds, 0);
    if (seconds < 60)
        return ReplaceFirst(Msg(kMsgDurationSeconds), std::to_string(seconds));
    if (seconds < 3600)
        return ReplaceFirst(ReplaceFirst(Msg(kMsgDurationMinutes), std::to_string(seconds / 60)), "%2",
                            std::to_string(seconds % 60));
    return ReplaceFirst(ReplaceFirst(Msg(kMsgDurationHours), std::to_string(seconds / 3600)), "%2",
                        std::to_string(seconds % 3600 / 60));
}

} // namespace pelmora
