#include "core/DateTime.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <vector>

namespace pelmora {
namespace {

using namespace std::chrono;

constexpr long long kMsPerDay = 86'400'000;
constexpr long long kSecPerDay = 86'400;
// Day 0 of the stored day counts, 1899-12-30, counted from the Unix epoch.
constexpr long long kDay0FromUnix = -25'569;
constexpr double kMinDays = -693'593.0;  // 0001-01-01
constexpr double kMaxDays = 2'958'465.0; // 9999-12-31

// Proleptic Gregorian calendar arithmetic (the era-based algorithms that std::chrono's
// calendar types also use). Written out because UnixToDos is on the scanner's hot path and
// the library conversion measured about twice as slow as the whole rest of it.
constexpr long long civilToDayNumber(int y, int m, int d)
{
    const long long yy = y - (m <= 2 ? 1 : 0);
    const long long era = (yy >= 0 ? yy : yy - 399) / 400;
    const long long yoe = yy - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 - kDay0FromUnix;
}

void dayNumberToCivil(long long dayNumber, LocalDateTime& out)
{
    const long long z = dayNumber + kDay0FromUnix + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    out.year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
    out.month = static_cast<int>(m);
    out.day = static_cast<int>(d);
}

int lastDayOfMonth(int y, int m)
{
    return static_cast<int>(
        static_cast<unsigned>(year_month_day_last{year{y}, month_day_last{month{static_cast<unsigned>(m)}}}.day()));
}

long long floorDiv(long long a, long long b)
{
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Seconds of a local wall-clock time counted from 1970-01-01 00:00 as if it were UTC.
constexpr long long localEpochSeconds(int y, int m, int d, int h, int n, int s)
{
    return (civilToDayNumber(y, m, d) + kDay0FromUnix) * kSecPerDay + h * 3600LL + n * 60LL + s;
}

constexpr long long kDosMinLocal = localEpochSeconds(1980, 1, 1, 0, 0, 0);
constexpr long long kDosMaxLocal = localEpochSeconds(2107, 12, 31, 23, 59, 59);

long systemOffset(std::time_t t)
{
    std::tm tm{};
    if (localtime_r(&t, &tm) == nullptr)
        return 0;
    return tm.tm_gmtoff;
}

// The local offset is looked up once per day of Unix time, in a small direct-mapped table so
// that file times spread over years still hit it. Both ends of the day are asked: when they
// agree, the offset is taken as constant over the day (offsets change a few times a year,
// never and back within one day); on a day with a change every time is asked individually.
struct DayOffset
{
    long long day = std::numeric_limits<long long>::min();
    long offset = 0;
    bool uniform = false;
};

// 8192 days is over 22 years of file times; the table (128 KiB) is made on first use, so
// threads that never convert a time do not pay for it.
constexpr std::size_t kOffsetSlots = 8192;
thread_local std::vector<DayOffset> t_offsets;

long localOffset(std::time_t t)
{
    if (t_offsets.empty())
        t_offsets.resize(kOffsetSlots);
    const long long day = floorDiv(t, kSecPerDay);
    DayOffset& slot = t_offsets[static_cast<std::size_t>(day) % kOffsetSlots];
    if (slot.day != day) {
        const long first = systemOffset(static_cast<std::time_t>(day * kSecPerDay));
        const long last = systemOffset(static_cast<std::time_t>(day * kSecPerDay + kSecPerDay - 1));
        slot = DayOffset{day, first, first == last};
    }
    return slot.uniform ? slot.offset : systemOffset(t);
}

LocalDateTime localFields(long long localSeconds)
{
    LocalDateTime out;
    const long long dayNumber = floorDiv(localSeconds, kSecPerDay) - kDay0FromUnix;
    const long long secOfDay = localSeconds - floorDiv(localSeconds, kSecPerDay) * kSecPerDay;
    dayNumberToCivil(dayNumber, out);
    out.hour = static_cast<int>(secOfDay / 3600);
    out.minute = static_cast<int>(secOfDay / 60 % 60);
    out.second = static_cast<int>(secOfDay % 60);
    out.msec = 0;
    return out;
}

std::uint32_t packDos(const LocalDateTime& v)
{
    return (static_cast<std::uint32_t>(v.year - 1980) << 25) | (static_cast<std::uint32_t>(v.month) << 21) |
           (static_cast<std::uint32_t>(v.day) << 16) | (static_cast<std::uint32_t>(v.hour) << 11) |
           (static_cast<std::uint32_t>(v.minute) << 5) | static_cast<std::uint32_t>(v.second / 2);
}

std::uint32_t packClampedLocal(long long localSeconds)
{
    if (localSeconds < kDosMinLocal)
        return kDosMin;
    if (localSeconds > kDosMaxLocal)
        return kDosMax;
    return packDos(localFields(localSeconds));
}

LocalDateTime unpackDos(std::uint32_t dos)
{
    LocalDateTime v;
    v.year = 1980 + static_cast<int>(dos >> 25);
    v.month = std::clamp(static_cast<int>((dos >> 21) & 0x0F), 1, 12);
    v.day = std::clamp(static_cast<int>((dos >> 16) & 0x1F), 1, lastDayOfMonth(v.year, v.month));
    v.hour = std::min(static_cast<int>((dos >> 11) & 0x1F), 23);
    v.minute = std::min(static_cast<int>((dos >> 5) & 0x3F), 59);
    v.second = std::min(static_cast<int>(dos & 0x1F) * 2, 58);
    return v;
}

} // namespace

double EncodeDateTime(const LocalDateTime& value)
{
    const int y = std::clamp(value.year, 1, 9999);
    const int m = std::clamp(value.month, 1, 12);
    const int d = std::clamp(value.day, 1, lastDayOfMonth(y, m));
    const long long ms = std::clamp(value.hour, 0, 23) * 3'600'000LL + std::clamp(value.minute, 0, 59) * 60'000LL +
                         std::clamp(value.second, 0, 59) * 1000LL + std::clamp(value.msec, 0, 999);
    const double dayNumber = static_cast<double>(civilToDayNumber(y, m, d));
    const double time = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    return dayNumber >= 0 ? dayNumber + time : dayNumber - time;
}

LocalDateTime DecodeDateTime(double days)
{
    if (!std::isfinite(days))
        days = 0;
    days = std::clamp(days, kMinDays, kMaxDays + 0.99999999);
    long long dayNumber;
    long long msOfDay;
    if (days >= 0) {
        const long long ms = std::llround(days * static_cast<double>(kMsPerDay));
        dayNumber = ms / kMsPerDay;
        msOfDay = ms % kMsPerDay;
        if (dayNumber > static_cast<long long>(kMaxDays)) {
            dayNumber = static_cast<long long>(kMaxDays);
            msOfDay = kMsPerDay - 1;
        }
    } else {
        const double whole = std::trunc(days);
        dayNumber = static_cast<long long>(whole);
        msOfDay = std::min(std::llround((whole - days) * static_cast<double>(kMsPerDay)), kMsPerDay - 1);
    }
    LocalDateTime out;
    dayNumberToCivil(dayNumber, out);
    out.hour = static_cast<int>(msOfDay / 3'600'000);
    out.minute = static_cast<int>(msOfDay / 60'000 % 60);
    out.second = static_cast<int>(msOfDay / 1000 % 60);
    out.msec = static_cast<int>(msOfDay % 1000);
    return out;
}

double DatePart(double days)
{
    return std::isfinite(days) ? std::trunc(days) : 0.0;
}

double TimePart(double days)
{
    return std::isfinite(days) ? std::fabs(days - std::trunc(days)) : 0.0;
}

int DayOfWeek(double days)
{
    const double date = std::clamp(DatePart(days), kMinDays, kMaxDays);
    const weekday wd{sys_days{std::chrono::days{static_cast<long long>(date) + kDay0FromUnix}}};
    return static_cast<int>(wd.c_encoding()) + 1;
}

double UnixToDays(std::time_t t)
{
    return EncodeDateTime(localFields(static_cast<long long>(t) + localOffset(t)));
}

std::time_t DaysToUnix(double days)
{
    if (!std::isfinite(days))
        return 0;
    const LocalDateTime v = DecodeDateTime(days);
    std::tm tm{};
    tm.tm_year = v.year - 1900;
    tm.tm_mon = v.month - 1;
    tm.tm_mday = v.day;
    tm.tm_hour = v.hour;
    tm.tm_min = v.minute;
    tm.tm_sec = v.second + (v.msec >= 500 ? 1 : 0);
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::uint32_t UnixToDos(std::time_t t)
{
    // Far outside the range the offset cannot bring the time back into it, and the C
    // library need not be asked about years it may not represent.
    if (static_cast<long long>(t) < kDosMinLocal - 2 * kSecPerDay)
        return kDosMin;
    if (static_cast<long long>(t) > kDosMaxLocal + 2 * kSecPerDay)
        return kDosMax;
    return packClampedLocal(static_cast<long long>(t) + localOffset(t));
}

std::time_t DosToUnix(std::uint32_t dos)
{
    const LocalDateTime v = unpackDos(dos);
    std::tm tm{};
    tm.tm_year = v.year - 1900;
    tm.tm_mon = v.month - 1;
    tm.tm_mday = v.day;
    tm.tm_hour = v.hour;
    tm.tm_min = v.minute;
    tm.tm_sec = v.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

double DosToDays(std::uint32_t dos)
{
    return EncodeDateTime(unpackDos(dos));
}

std::uint32_t DaysToDos(double days)
{
    if (!std::isfinite(days))
        return kDosMin;
    const LocalDateTime v = DecodeDateTime(days);
    return packClampedLocal(localEpochSeconds(v.year, v.month, v.day, v.hour, v.minute, v.second));
}

void ResetLocalTimeCache()
{
    t_offsets.assign(t_offsets.size(), DayOffset{});
}

} // namespace pelmora
