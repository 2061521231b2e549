#include "core/DateTime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

namespace pelmora {
namespace {

// The tests expect Europe/Berlin (CET/CEST), as CTest sets it; a direct run sets it here.
class DateTimeTest : public testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
        ResetLocalTimeCache();
    }
};

std::uint32_t pack(int y, int m, int d, int h, int n, int s)
{
    return (static_cast<std::uint32_t>(y - 1980) << 25) | (static_cast<std::uint32_t>(m) << 21) |
           (static_cast<std::uint32_t>(d) << 16) | (static_cast<std::uint32_t>(h) << 11) |
           (static_cast<std::uint32_t>(n) << 5) | static_cast<std::uint32_t>(s / 2);
}

// The packed value the C library's own local time gives, the reference for UnixToDos.
std::uint32_t referenceDos(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    return pack(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

TEST_F(DateTimeTest, DayCountsOfKnownDates)
{
    EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
    EXPECT_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
    EXPECT_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);

    const LocalDateTime back = DecodeDateTime(-1.25);
    EXPECT_EQ(back.year, 1899);
    EXPECT_EQ(back.day, 29);
    EXPECT_EQ(back.hour, 6);

    const LocalDateTime t = DecodeDateTime(EncodeDateTime({2024, 2, 29, 23, 59, 59, 999}));
    EXPECT_EQ(t.year, 2024);
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 59);
    EXPECT_EQ(t.msec, 999);

    // A stored NaN or infinity decodes as a real date instead of undefined arithmetic.
    EXPECT_EQ(DecodeDateTime(std::nan("")).year, 1899);
    EXPECT_EQ(DecodeDateTime(INFINITY).year, 1899);
    EXPECT_EQ(DecodeDateTime(1e300).year, 9999);
}

TEST_F(DateTimeTest, WeekdaysCountFromSunday)
{
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2024, 1, 7, 0, 0, 0, 0})), 1);   // Sunday
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2024, 1, 8, 10, 0, 0, 0})), 2);  // Monday
    EXPECT_EQ(DayOfWeek(EncodeDateTime({2024, 1, 13, 23, 0, 0, 0})), 7); // Saturday
    EXPECT_EQ(DayOfWeek(0), 7);                                          // 1899-12-30 was a Saturday
}

TEST_F(DateTimeTest, PackedLayout)
{
    // 2024-06-15 13:45:31 CEST is 11:45:31 UTC; the odd second packs down to 30.
    const std::time_t t = 1718451931;
    EXPECT_EQ(UnixToDos(t), (44u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u);
    EXPECT_EQ(DosToUnix(UnixToDos(t)), t - 1);
    EXPECT_EQ(DosToDays(UnixToDos(t)), EncodeDateTime({2024, 6, 15, 13, 45, 30, 0}));
    EXPECT_EQ(DaysToDos(EncodeDateTime({2024, 6, 15, 13, 45, 31, 0})), UnixToDos(t));
}

TEST_F(DateTimeTest, PackedTimesClampToTheirRange)
{
    EXPECT_EQ(UnixToDos(0), kDosMin); // 1970
    // 1979-12-31 23:59:59 local (22:59:59 UTC) is just before the range.
    EXPECT_EQ(UnixToDos(315529199), kDosMin);
    EXPECT_EQ(UnixToDos(315529200), pack(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(UnixToDos(std::time_t{1} << 40), kDosMax);
    EXPECT_EQ(UnixToDos(-(std::time_t{1} << 40)), kDosMin);
    EXPECT_EQ(kDosMax, pack(2107, 12, 31, 23, 59, 58));
    // 2108-01-01 00:00:00 CET.
    EXPECT_EQ(UnixToDos(4354815600), kDosMax);
    EXPECT_EQ(UnixToDos(4354815599), kDosMax);
    EXPECT_EQ(UnixToDos(4354815597), pack(2107, 12, 31, 23, 59, 56));
}

// The cached offset must give what the C library gives, second by second across both
// daylight-saving changes of a year and at random times over the whole range.
TEST_F(DateTimeTest, CachedOffsetAgreesWithTheSystemAcrossDaylightSaving)
{
    const std::time_t springForward = 1711846800; // 2024-03-31 01:00:00 UTC
    const std::time_t fallBack = 1729990800;      // 2024-10-27 01:00:00 UTC
    for (std::time_t edge : {springForward, fallBack})
        for (std::time_t t = edge - 7200; t <= edge + 7200; ++t)
            ASSERT_EQ(UnixToDos(t), referenceDos(t)) << "t = " << t;
    EXPECT_EQ(UnixToDos(springForward - 1), pack(2024, 3, 31, 1, 59, 58));
    EXPECT_EQ(UnixToDos(springForward), pack(2024, 3, 31, 3, 0, 0));

    std::mt19937_64 random(42);
    std::uniform_int_distribution<std::time_t> anyTime(315532800, 4354700000);
    for (int i = 0; i < 20000; ++i) {
        const std::time_t t = anyTime(random);
        ASSERT_EQ(UnixToDos(t), referenceDos(t)) << "t = " << t;
    }
}

// Lord Howe Island moves its clocks by half an hour, at a time that is not on a whole UTC
// hour: the cached day that holds the change must be answered second by second.
TEST_F(DateTimeTest, CachedOffsetHandlesAHalfHourChange)
{
    setenv("TZ", "Australia/Lord_Howe", 1);
    tzset();
    ResetLocalTimeCache();
    const std::time_t change = 1728142200; // 2024-10-05 15:30:00 UTC
    for (std::time_t t = change - 5400; t <= change + 5400; ++t)
        ASSERT_EQ(UnixToDos(t), referenceDos(t)) << "t = " << t;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    ResetLocalTimeCache();
}

TEST_F(DateTimeTest, UnixAndDayCountsRoundTrip)
{
    for (std::time_t t :
         {std::time_t{946684800}, std::time_t{1711846799}, std::time_t{1711846800}, std::time_t{1729990799}}) {
        EXPECT_EQ(DaysToUnix(UnixToDays(t)), t);
        EXPECT_EQ(DosToUnix(UnixToDos(t)), t - t % 2) << t;
    }
    // 2000-01-01 00:00:00 UTC is 01:00 in Berlin.
    EXPECT_DOUBLE_EQ(UnixToDays(946684800), 36526.0 + 1.0 / 24);
}

TEST_F(DateTimeTest, GarbledPackedFieldsStayInRange)
{
    // Month 15, day 31 in a 30-day month, hour 31, minute 63, seconds field 31: clamped.
    const std::uint32_t garbled = (44u << 25) | (15u << 21) | (31u << 16) | (31u << 11) | (63u << 5) | 31u;
    const LocalDateTime v = DecodeDateTime(DosToDays(garbled));
    EXPECT_EQ(v.month, 12);
    EXPECT_EQ(v.day, 31);
    EXPECT_EQ(v.hour, 23);
    EXPECT_EQ(v.minute, 59);
    EXPECT_EQ(v.second, 58);
    EXPECT_GT(DosToUnix(garbled), 0);
}

} // namespace
} // namespace pelmora
