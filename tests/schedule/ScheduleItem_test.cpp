#include "schedule/ScheduleItem.h"

#include "tests/schedule/ScheduleEntries.h"

#include "core/DateTime.h"
#include "lang/Messages.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace pelmora {
namespace {

using namespace test;

// NextRun as date and time fields, compared to the second.
testing::AssertionResult runsAt(const TScheduleItem& item, int y, int m, int d, int h, int n, int s)
{
    const LocalDateTime v = DecodeDateTime(item.NextRun);
    if (v.year == y && v.month == m && v.day == d && v.hour == h && v.minute == n && v.second == s)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "next run " << v.year << "-" << v.month << "-" << v.day << " " << v.hour
                                       << ":" << v.minute << ":" << v.second;
}

TScheduleItem entry(std::uint8_t kind, double time, std::uint8_t weekDay = 1)
{
    TScheduleItem item{};
    item.Kind = kind;
    item.Time = time;
    item.WeekDay = weekDay;
    item.RepeatCount = -1;
    return item;
}

TEST(ComputeNextRun, DailyTimeEqualToNowCountsAsPassed)
{
    FakeClock clock(at(2024, 5, 15, 7, 59, 59));
    TScheduleItem item = entry(skDaily, timeOfDay(8, 0, 0));
    ComputeNextRun(item, clock);
    EXPECT_TRUE(runsAt(item, 2024, 5, 15, 8, 0, 0));

    clock.SetNow(at(2024, 5, 15, 8, 0, 0));
    ComputeNextRun(item, clock);
    EXPECT_TRUE(runsAt(item, 2024, 5, 16, 8, 0, 0));

    clock.SetNow(at(2024, 5, 31, 23, 0, 0)); // the next day is in the next month
    ComputeNextRun(item, clock);
    EXPECT_TRUE(runsAt(item, 2024, 6, 1, 8, 0, 0));
}

TEST(ComputeNextRun, WeeklyOnMonday)
{
    const double nine = timeOfDay(9, 0, 0);
    TScheduleItem item = entry(skWeekly, nine, 2);

    FakeClock wednesday(at(2024, 5, 15, 12, 0, 0));
    ComputeNextRun(item, wednesday);
    EXPECT_TRUE(runsAt(item, 2024, 5, 20, 9, 0, 0));

    FakeClock mondayBefore(at(2024, 5, 13, 8, 59, 59));
    ComputeNextRun(item, mondayBefore);
    EXPECT_TRUE(runsAt(item, 2024, 5, 13, 9, 0, 0));

    FakeClock mondayAt(at(2024, 5, 13, 9, 0, 0));
    ComputeNextRun(item, mondayAt);
    EXPECT_TRUE(runsAt(item, 2024, 5, 20, 9, 0, 0));

    FakeClock mondayAfter(at(2024, 5, 13, 18, 30, 0));
    ComputeNextRun(item, mondayAfter);
    EXPECT_TRUE(runsAt(item, 2024, 5, 20, 9, 0, 0));

    // Saturday (7) seen from Sunday (1), and Sunday seen from Saturday.
    TScheduleItem saturday = entry(skWeekly, nine, 7);
    FakeClock sunday(at(2024, 5, 12, 10, 0, 0));
    ComputeNextRun(saturday, sunday);
    EXPECT_TRUE(runsAt(saturday, 2024, 5, 18, 9, 0, 0));
    TScheduleItem onSunday = entry(skWeekly, nine, 1);
    FakeClock saturdayNight(at(2024, 5, 18, 23, 0, 0));
    ComputeNextRun(onSunday, saturdayNight);
    EXPECT_TRUE(runsAt(onSunday, 2024, 5, 19, 9, 0, 0));
}

TEST(ComputeNextRun, IntervalFromNow)
{
    FakeClock clock(at(2024, 5, 15, 22, 0, 0));
    TScheduleItem item = entry(skInterval, timeOfDay(1, 30, 0));
    ComputeNextRun(item, clock);
    EXPECT_TRUE(runsAt(item, 2024, 5, 15, 23, 30, 0));

    item.Time = timeOfDay(3, 0, 0);
    ComputeNextRun(item, clock);
    EXPECT_TRUE(runsAt(item, 2024, 5, 16, 1, 0, 0));

    clock.SetNow(at(2024, 12, 31, 23, 59, 30));
    item.Time = timeOfDay(0, 1, 0);
    ComputeNextRun(item, clock);
    EXPECT_TRUE(runsAt(item, 2025, 1, 1, 0, 0, 30));
}

TEST(ComputeNextRun, UnknownKindOrBadFieldsLeaveNextRun)
{
    FakeClock clock(at(2024, 5, 15, 12, 0, 0));
    TScheduleItem item = entry(7, 0.5);
    item.NextRun = 45000.25;
    ComputeNextRun(item, clock);
    EXPECT_EQ(double{item.NextRun}, 45000.25);

    TScheduleItem badDay = entry(skWeekly, 0.5, 9);
    badDay.NextRun = 45000.25;
    ComputeNextRun(badDay, clock);
    EXPECT_EQ(double{badDay.NextRun}, 45000.25);

    TScheduleItem nanTime = entry(skDaily, std::nan(""));
    ComputeNextRun(nanTime, clock);
    EXPECT_EQ(double{nanTime.NextRun}, 0.0);
    EXPECT_FALSE(IsArmed(nanTime));
}

class ScheduleEntries : public testing::Test
{
protected:
    void SetUp() override { SelectLanguage(kLangEnglishUS); }
    void TearDown() override { SelectLanguage(kLangEnglishUS); }
    ScheduleItems list;
    void add() { list.push_back(NewScheduleItem(list)); }
    std::string nameOf(std::size_t i) const { return ReadShortString(list[i]->Name); }
};

TEST_F(ScheduleEntries, NewEntryBytes)
{
    add();
    TScheduleItem expected{};
    std::memset(&expected, 0, sizeof expected);
    expected.Name.len = 10;
    std::memcpy(expected.Name.data, "Schedule 1", 10);
    expected.RepeatCount = -1;
    expected.WeekDay = 1;
    expected.Time = 0.5;
    EXPECT_EQ(std::memcmp(list[0].get(), &expected, sizeof expected), 0);
    EXPECT_EQ(list[0]->Kind, skInterval);
    EXPECT_FALSE(IsArmed(*list[0]));
    EXPECT_FALSE(IsInactive(*list[0]));
}

TEST_F(ScheduleEntries, DefaultNamesFillTheSmallestGap)
{
    add();
    add();
    add();
    EXPECT_EQ(nameOf(0), "Schedule 1");
    EXPECT_EQ(nameOf(1), "Schedule 2");
    EXPECT_EQ(nameOf(2), "Schedule 3");
    list.erase(list.begin() + 1);
    add();
    EXPECT_EQ(nameOf(2), "Schedule 2");
    add();
    EXPECT_EQ(nameOf(3), "Schedule 4");
    // The comparison is exact: a renamed "schedule 5" does not take "Schedule 5".
    WriteShortString(list[0]->Name, "schedule 5");
    add();
    EXPECT_EQ(nameOf(4), "Schedule 1");
    add();
    EXPECT_EQ(nameOf(5), "Schedule 5");
}

TEST_F(ScheduleEntries, DefaultNameUsesTheCurrentLanguage)
{
    SelectLanguage(kLangChineseTaiwan);
    add();
    EXPECT_EQ(nameOf(0), std::string(Msg(142)) + "1");
    EXPECT_NE(nameOf(0), "Schedule 1");
}

TEST(ScheduleShortString, BoundedTo15Bytes)
{
    TScheduleItem item{};
    WriteShortString(item.TaskName, "a-very-long-task-name");
    EXPECT_EQ(item.TaskName.len, 15);
    EXPECT_EQ(ReadShortString(item.TaskName), "a-very-long-tas");

    // Five 3-byte characters fill 15 bytes; a sixth is dropped whole.
    const std::string five = "\xE6\x8E\x92\xE7\xA8\x8B\xE6\x8E\x92\xE7\xA8\x8B\xE6\x8E\x92";
    WriteShortString(item.Name, five + "\xE7\xA8\x8B");
    EXPECT_EQ(ReadShortString(item.Name), five);
    WriteShortString(item.Name, "ab" + five);
    EXPECT_EQ(ReadShortString(item.Name), "ab\xE6\x8E\x92\xE7\xA8\x8B\xE6\x8E\x92\xE7\xA8\x8B");

    WriteShortString(item.Name, "x");
    EXPECT_EQ(std::string(item.Name.data + 1, 14), std::string(14, '\0'));

    // A length byte from a foreign file larger than the field reads as the whole field.
    item.Name.len = 200;
    EXPECT_EQ(ReadShortString(item.Name).size(), 15u);
}

TEST(ScheduleSanitize, NonFiniteDoublesAreNotArmed)
{
    TScheduleItem item = entry(skDaily, INFINITY);
    item.NextRun = std::nan("");
    SanitizeScheduleItem(item);
    EXPECT_EQ(double{item.NextRun}, 0.0);
    EXPECT_EQ(double{item.Time}, 0.0);
    EXPECT_FALSE(IsArmed(item));
}

} // namespace
} // namespace pelmora
