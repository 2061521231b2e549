#include "schedule/ScheduleTrigger.h"

#include "platform/Clock.h"

namespace pelmora {

bool TScheduleTrigger::OnCheckSche(ScheduleItems& list)
{
    if (!m_pending.empty())
        return false;

    TScheduleItem* fired = nullptr;
    for (const auto& entry : list) {
        if (!entry || !IsArmed(*entry) || IsInactive(*entry))
            continue;
        // Read for each entry: a missed entry's next run is computed from the same clock.
        const double now = m_clock->Now();
        if (now < entry->NextRun)
            continue;
        if (now - kMissedWindowDays >= entry->NextRun) {
            ComputeNextRun(*entry, *m_clock);
            continue;
        }
        fired = entry.get();
        break;
    }
    if (!fired)
        return false;

    m_pending = ReadShortString(fired->TaskName);
    ComputeNextRun(*fired, *m_clock);
    if (fired->RepeatCount > 0)
        --fired->RepeatCount;
    return true;
}

std::vector<std::size_t> TasksNamed(const std::vector<std::string>& taskNames, std::string_view taskName)
{
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < taskNames.size(); ++i) {
        if (taskNames[i] == taskName)
            matches.push_back(i);
    }
    return matches;
}

} // namespace pelmora
