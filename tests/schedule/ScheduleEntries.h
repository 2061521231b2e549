#pragma once
// Dates, times of day and schedule entries written the short way, for the schedule tests and
// the configuration tests that keep entries across a restart. Test thread only.

#include "core/DateTime.h"
#include "schedule/ScheduleItem.h"

#include <cstdint>
#include <memory>
#include <string>

namespace pelmora::test {

// A local date and time as the day count entries keep.
inline double at(int y, int m, int d, int h, int n, int s)
{
    return EncodeDateTime({y, m, d, h, n, s, 0});
}

// A time of day as the fraction of a day that Time holds.
inline double timeOfDay(int h, int n, int s)
{
    return (h * 3600 + n * 60 + s) / 86400.0;
}

// An entry for `task` of `kind` (weekday Monday) with its time, next run and repeat count.
inline std::unique_ptr<TScheduleItem> entry(const std::string& task, std::uint8_t kind, double time, double nextRun,
                                            std::int16_t repeat = -1)
{
    auto item = std::make_unique<TScheduleItem>();
    *item = TScheduleItem{};
    WriteShortString(item->TaskName, task);
    item->Kind = kind;
    item->WeekDay = 1;
    item->Time = time;
    item->NextRun = nextRun;
    item->RepeatCount = repeat;
    return item;
}

} // namespace pelmora::test
