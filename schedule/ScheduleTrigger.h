#pragma once
// The schedule trigger: the tick counter that decides when a check is due (worker thread),
// and the check that picks at most one due entry, moves it on and names its task as
// pending (UI thread). No window code: the Qt side only posts and runs what these decide.

#include "schedule/ScheduleItem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

class Clock;

// A due entry may fire while now - NextRun is below this many days (4.32 seconds); later
// than that it counts as missed and is moved on without running.
inline constexpr double kMissedWindowDays = 0.00005;
// Counts the 20 ms ticks of the schedule timer. Used by the timer's worker thread only.
class TScheduleTicker
{
public:
    static constexpr std::uint64_t kTickMs = 20;
    static constexpr std::uint64_t kCheckEveryMs = 2000;

    // One tick: TickCount grows by 20. Returns true when a check is to be posted: the
    // count is a multiple of 2000 and no run is in progress (`runActive`, which the main
    // window sets for the length of every run).
    bool Tick(bool runActive)
    {
        TickCount += kTickMs;
        return TickCount % kCheckEveryMs == 0 && !runActive;
    }

    std::uint64_t TickCount = 0;
};

// The check of the schedule entries and the pending task name. UI thread only.
class TScheduleTrigger
{
public:
    explicit TScheduleTrigger(const Clock& clock) : m_clock(&clock) {}

    // Checks the entries in list order and fires at most one of them. Unarmed and inactive
    // entries are skipped, and so is everything while a fired task is still pending. A
    // missed entry gets its next run time and the walk goes on. The entry that fires gets
    // its next run time, its positive RepeatCount lowered by one, and its TaskName becomes
    // PendingScheduleTask. Returns true when an entry fired (the caller then starts its
    // task); false when nothing fired. Nothing here marks the configuration modified.
    bool OnCheckSche(ScheduleItems& list);

    // The task name of the entry that fired and whose run has not finished; empty if none.
    const std::string& PendingScheduleTask() const { return m_pending; }
    void ClearPending() { m_pending.clear(); }

    const Clock& clock() const { return *m_clock; }
    void SetClock(const Clock& clock) { m_clock = &clock; }

private:
    const Clock* m_clock;
    std::string m_pending;
};

// The indices of every task whose name equals `taskName` exactly (case-sensitive), in list
// order; empty when no task has that name.
std::vector<std::size_t> TasksNamed(const std::vector<std::string>& taskNames, std::string_view taskName);

} // namespace pelmora
