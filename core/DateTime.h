#pragma once
// Date and time conversions: day counts since 1899-12-30 (the doubles stored in records,
// the fraction being the time of day), packed DOS date-times, and Unix time via local time.
// Pure functions, safe on any thread (the local-offset cache is per thread).

#include <cstdint>
#include <ctime>

namespace pelmora {

struct LocalDateTime
{
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int msec = 0;
};

// 1980-01-01 00:00:00 and 2107-12-31 23:59:58, the range a packed DOS date-time holds.
inline constexpr std::uint32_t kDosMin = (0u << 25) | (1u << 21) | (1u << 16);
inline constexpr std::uint32_t kDosMax = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;

// Days since 1899-12-30 00:00 (day 0). Before that date the whole part counts backwards and
// the fraction is still the time of day: 1899-12-29 06:00 is -1.25. Fields out of their
// ranges are clamped to them.
double EncodeDateTime(const LocalDateTime& value);
// The inverse. Non-finite values decode as day 0; values beyond years 1..9999 are clamped.
LocalDateTime DecodeDateTime(double days);

// Weekday of a day count: 1 = Sunday .. 7 = Saturday.
int DayOfWeek(double days);

// Whole part (the date at 00:00) and time-of-day fraction, with the meaning above.
double DatePart(double days);
double TimePart(double days);

// Local time of a Unix time, as a day count (whole seconds).
double UnixToDays(std::time_t t);
// Unix time of a local day count (rounded to the second); non-finite values give 0.
std::time_t DaysToUnix(double days);

// Packs a Unix time as local DOS date-time: date in the high word (year-1980 bits 25-31,
// month 21-24, day 16-20), time in the low word (hour 11-15, minute 5-10, seconds/2 0-4).
// Times before 1980 or after 2107 clamp to kDosMin / kDosMax. Cheap: the local offset is
// cached per day (per thread), so the C library is asked about twice per distinct day.
std::uint32_t UnixToDos(std::time_t t);
// The Unix time of a packed local date-time; fields out of range are clamped.
std::time_t DosToUnix(std::uint32_t dos);
// The day count of a packed date-time, without going through Unix time.
double DosToDays(std::uint32_t dos);
// Packs a local day count (seconds rounded down to even); clamps as UnixToDos.
std::uint32_t DaysToDos(double days);

// Forgets the cached local offset; call after changing TZ and tzset().
void ResetLocalTimeCache();

} // namespace pelmora
