#pragma once
// TScheduleItem: one schedule entry, a packed 52-byte record stored whole in the
// configuration file after the tasks, plus its defaults and the next-run rule.
// Plain data; used on the UI thread only (the timer thread never touches entries).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pelmora {

class Clock;

// Kinds of schedule.
inline constexpr std::uint8_t skInterval = 0;
inline constexpr std::uint8_t skDaily = 1;
inline constexpr std::uint8_t skWeekly = 2;

// NextRun at or below this value means "not armed".
inline constexpr double kNotArmedLimit = 1000.0;

#pragma pack(push, 1)

// A length byte (0..15) followed by 15 character bytes.
struct TShortString
{
    std::uint8_t len;
    char data[15];
};

struct TScheduleItem
{
    TShortString Name;        // unique among the entries (exact comparison)
    TShortString TaskName;    // the task to run, compared exactly with the task names
    std::uint8_t Kind;        // skInterval, skDaily, skWeekly
    std::uint8_t WeekDay;     // skWeekly: 1 = Sunday .. 7 = Saturday
    double Time;              // fraction of a day: time of day, or the interval length
    std::int16_t RepeatCount; // < 0 no limit, 0 inactive, n > 0 runs left
    double NextRun;           // days since 1899-12-30, local time; <= 1000 not armed
};

#pragma pack(pop)

inline constexpr std::size_t kScheduleRecordSize = 52;

static_assert(std::is_trivially_copyable_v<TScheduleItem>);
static_assert(std::is_standard_layout_v<TScheduleItem>);
static_assert(sizeof(TShortString) == 16);
static_assert(sizeof(TScheduleItem) == kScheduleRecordSize);
static_assert(offsetof(TScheduleItem, Name) == 0);
static_assert(offsetof(TScheduleItem, TaskName) == 16);
static_assert(offsetof(TScheduleItem, Kind) == 32);
static_assert(offsetof(TScheduleItem, WeekDay) == 33);
static_assert(offsetof(TScheduleItem, Time) == 34);
static_assert(offsetof(TScheduleItem, RepeatCount) == 42);
static_assert(offsetof(TScheduleItem, NextRun) == 44);

using ScheduleItems = std::vector<std::unique_ptr<TScheduleItem>>;

// The text of a short string; a length byte above 15 (from a foreign file) reads as 15.
std::string ReadShortString(const TShortString& field);
// Stores `text` cut to 15 bytes on a UTF-8 character boundary; the bytes after it are zeroed.
void WriteShortString(TShortString& field, std::string_view text);

// Message 142 followed by the smallest n >= 1 that no entry's Name equals.
std::string DefaultScheduleName(const ScheduleItems& existing);
// A new entry: zeros, RepeatCount -1, WeekDay 1 (Sunday), Time 0.5, Name as above.
std::unique_ptr<TScheduleItem> NewScheduleItem(const ScheduleItems& existing);

inline bool IsArmed(const TScheduleItem& item)
{
    return item.NextRun > kNotArmedLimit;
}
inline bool IsInactive(const TScheduleItem& item)
{
    return item.RepeatCount == 0;
}

// Sets item.NextRun from Kind, WeekDay and Time and the clock's local date and time. An
// unknown Kind, a weekly entry whose WeekDay is not 1..7, or a non-finite Time leaves
// NextRun as it is.
void ComputeNextRun(TScheduleItem& item, const Clock& clock);

// Makes an entry read from an untrusted file safe to use: a non-finite NextRun becomes
// 0 (not armed) and a non-finite Time becomes 0. Length bytes stay as stored;
// ReadShortString bounds them.
void SanitizeScheduleItem(TScheduleItem& item);

} // namespace pelmora
