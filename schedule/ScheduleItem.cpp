#include "schedule/ScheduleItem.h"

#include "core/DateTime.h"
#include "core/Utf8.h"
#include "lang/MessageIds.h"
#include "lang/Messages.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pelmora {
namespace {

constexpr double kMsPerDay = 86'400'000.0;

} // namespace

std::string ReadShortString(const TShortString& field)
{
    return std::string(field.data, std::min<std::size_t>(field.len, sizeof field.data));
}

void WriteShortString(TShortString& field, std::string_view text)
{
    const std::string_view kept = CutUtf8(text, sizeof field.data);
    field.len = static_cast<std::uint8_t>(kept.size());
    std::memcpy(field.data, kept.data(), kept.size());
    std::memset(field.data + kept.size(), 0, sizeof field.data - kept.size());
}

std::string DefaultScheduleName(const ScheduleItems& existing)
{
    const std::string prefix = Msg(kMsgNewScheduleName);
    std::string candidate;
    // n = count + 1 is always free unless names were cut to the same 15 bytes; the bound
    // only keeps such a list from looping for long.
    for (std::size_t n = 1; n <= existing.size() + 1000; ++n) {
        candidate = std::string(CutUtf8(prefix + std::to_string(n), sizeof TShortString::data));
        const bool taken = std::any_of(existing.begin(), existing.end(), [&](const auto& item) {
            return item && ReadShortString(item->Name) == candidate;
        });
        if (!taken)
            break;
    }
    return candidate;
}

std::unique_ptr<TScheduleItem> NewScheduleItem(const ScheduleItems& existing)
{
    auto item = std::make_unique<TScheduleItem>();
    std::memset(item.get(), 0, sizeof(TScheduleItem));
    item->RepeatCount = -1;
    item->WeekDay = 1;
    item->Time = 0.5;
    WriteShortString(item->Name, DefaultScheduleName(existing));
    return item;
}

void ComputeNextRun(TScheduleItem& item, const Clock& clock)
{
    const double time = item.Time;
    const double now = clock.Now();
    if (!std::isfinite(time) || !std::isfinite(now))
        return;
    // Times of day are compared in whole milliseconds: a clock reading of 08:00:00 and a
    // Time of 08:00:00 are equal even when their doubles differ in the last bits.
    const long long nowMs = std::llround(now * kMsPerDay);
    const long long msPerDay = static_cast<long long>(kMsPerDay);
    const long long todayNumber = (nowMs >= 0 ? nowMs : nowMs - msPerDay + 1) / msPerDay;
    const double today = static_cast<double>(todayNumber);
    const bool timePassed = nowMs - todayNumber * msPerDay >= std::llround(time * kMsPerDay);

    switch (item.Kind) {
    case skInterval:
        item.NextRun = now + time;
        break;
    case skDaily:
        item.NextRun = today + time + (timePassed ? 1 : 0);
        break;
    case skWeekly: {
        const int w = item.WeekDay;
        if (w < 1 || w > 7)
            return; // no such weekday: leave the entry as it is rather than invent a date
        const int d = DayOfWeek(today);
        if (d < w)
            item.NextRun = today + (w - d) + time;
        else if (w < d)
            item.NextRun = today + (w + 7 - d) + time;
        else
            item.NextRun = today + time + (timePassed ? 7 : 0);
        break;
    }
    default:
        break;
    }
}

void SanitizeScheduleItem(TScheduleItem& item)
{
    if (!std::isfinite(item.NextRun))
        item.NextRun = 0;
    if (!std::isfinite(item.Time))
        item.Time = 0;
}

} // namespace pelmora
