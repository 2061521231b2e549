#include "schedule/ScheduleTrigger.h"

#include "tests/schedule/ScheduleEntries.h"

#include "core/DateTime.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelmora {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

using namespace test;

// One check as the program makes it: on a fired entry the pending task runs (here: is
// recorded) and the pending name is cleared, as the main window does after its runs.
struct Scheduler
{
    FakeClock clock;
    ScheduleItems list;
    TScheduleTrigger trigger{clock};
    std::vector<std::string> ran;

    explicit Scheduler(double now) : clock(now) {}

    bool checkAndRun()
    {
        if (!trigger.OnCheckSche(list))
            return false;
        ran.push_back(trigger.PendingScheduleTask());
        trigger.ClearPending();
        return true;
    }
};

TEST(ScheduleTrigger, TwoEntriesDueAtTheSameSecondRunOneAfterTheOther)
{
    const double due = at(2024, 5, 15, 8, 0, 0);
    Scheduler s(due);
    s.list.push_back(entry("first", skDaily, timeOfDay(8, 0, 0), due));
    s.list.push_back(entry("second", skDaily, timeOfDay(8, 0, 0), due));
    s.list.push_back(entry("third", skDaily, timeOfDay(8, 0, 0), due, 5));

    ASSERT_TRUE(s.trigger.OnCheckSche(s.list));
    EXPECT_EQ(s.trigger.PendingScheduleTask(), "first");
    EXPECT_DOUBLE_EQ(s.list[0]->NextRun, at(2024, 5, 16, 8, 0, 0));
    // While the first run is pending, checks do nothing at all.
    s.clock.Advance(2000);
    EXPECT_FALSE(s.trigger.OnCheckSche(s.list));
    EXPECT_DOUBLE_EQ(s.list[1]->NextRun, due);

    // The first run ended 3 s after the due time: the second still runs.
    s.trigger.ClearPending();
    s.clock.Advance(1000);
    ASSERT_TRUE(s.trigger.OnCheckSche(s.list));
    EXPECT_EQ(s.trigger.PendingScheduleTask(), "second");
    EXPECT_DOUBLE_EQ(s.list[1]->NextRun, at(2024, 5, 16, 8, 0, 0));

    // The second run took a minute: the third is moved on without running, count kept.
    s.trigger.ClearPending();
    s.clock.Advance(60'000);
    EXPECT_FALSE(s.trigger.OnCheckSche(s.list));
    EXPECT_DOUBLE_EQ(s.list[2]->NextRun, at(2024, 5, 16, 8, 0, 0));
    EXPECT_EQ(s.list[2]->RepeatCount, 5);
}

TEST(ScheduleTrigger, TheFiringWindowIsJustUnderFourAndAThirdSeconds)
{
    const double due = at(2024, 5, 15, 8, 0, 0);
    for (const auto& [lateMs, fires] : std::vector<std::pair<int, bool>>{{0, true}, {4000, true}, {4400, false}}) {
        Scheduler s(due + lateMs / 86'400'000.0);
        s.list.push_back(entry("job", skDaily, timeOfDay(8, 0, 0), due));
        EXPECT_EQ(s.checkAndRun(), fires) << lateMs << " ms late";
        EXPECT_DOUBLE_EQ(s.list[0]->NextRun, at(2024, 5, 16, 8, 0, 0)) << lateMs << " ms late";
    }
    // Before its time an entry is left alone.
    Scheduler early(due - kSecond);
    early.list.push_back(entry("job", skDaily, timeOfDay(8, 0, 0), due));
    EXPECT_FALSE(early.checkAndRun());
    EXPECT_DOUBLE_EQ(early.list[0]->NextRun, due);
}

TEST(ScheduleTrigger, StartingLateMovesAMissedEntryOnAndFiresTheNextDueOne)
{
    // The program starts at 09:00; the 08:00 daily entry was missed, the weekly one for
    // today 09:00 is due now.
    Scheduler s(at(2024, 5, 15, 9, 0, 0)); // a Wednesday
    s.list.push_back(entry("daily", skDaily, timeOfDay(8, 0, 0), at(2024, 5, 15, 8, 0, 0), 3));
    auto weekly = entry("weekly", skWeekly, timeOfDay(9, 0, 0), at(2024, 5, 15, 9, 0, 0));
    weekly->WeekDay = 4;
    s.list.push_back(std::move(weekly));

    ASSERT_TRUE(s.checkAndRun());
    EXPECT_EQ(s.ran, std::vector<std::string>{"weekly"});
    EXPECT_DOUBLE_EQ(s.list[0]->NextRun, at(2024, 5, 16, 8, 0, 0));
    EXPECT_EQ(s.list[0]->RepeatCount, 3);
    EXPECT_DOUBLE_EQ(s.list[1]->NextRun, at(2024, 5, 22, 9, 0, 0));
}

TEST(ScheduleTrigger, UnarmedAndInactiveEntriesNeverFire)
{
    const double now = at(2024, 5, 15, 8, 0, 0);
    Scheduler s(now);
    s.list.push_back(entry("unarmed", skInterval, 0, 0));
    s.list.push_back(entry("limit", skInterval, 0, kNotArmedLimit));
    s.list.push_back(entry("inactive", skInterval, 0, now, 0));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(s.checkAndRun());
        s.clock.Advance(2000);
    }
    EXPECT_TRUE(s.ran.empty());
    EXPECT_DOUBLE_EQ(s.list[0]->NextRun, 0);
    EXPECT_DOUBLE_EQ(s.list[2]->NextRun, now);
}

TEST(ScheduleTrigger, ZeroIntervalFiresAgainAtTheNextCheckOrIsMovedOnToIt)
{
    const double start = at(2024, 5, 15, 8, 0, 0);
    Scheduler s(start);
    s.list.push_back(entry("job", skInterval, 0, start));
    ASSERT_TRUE(s.checkAndRun());
    EXPECT_DOUBLE_EQ(s.list[0]->NextRun, start) << "due again at the moment of firing";

    // A short run: the next check, 2 s later, fires it again.
    s.clock.Advance(2000);
    EXPECT_TRUE(s.checkAndRun());

    // A run of 10 s: that check moves it on to its own time, the one after fires it.
    s.clock.Advance(10'000);
    const double lateCheck = s.clock.Now();
    EXPECT_FALSE(s.checkAndRun());
    EXPECT_DOUBLE_EQ(s.list[0]->NextRun, lateCheck);
    s.clock.Advance(2000);
    EXPECT_TRUE(s.checkAndRun());
    EXPECT_EQ(s.ran.size(), 3u);
}

TEST(ScheduleTrigger, ANameMatchingNoTaskStillUsesUpARun)
{
    const double now = at(2024, 5, 15, 8, 0, 0);
    Scheduler s(now);
    s.list.push_back(entry("gone", skDaily, timeOfDay(8, 0, 0), now, 1));
    ASSERT_TRUE(s.checkAndRun());
    EXPECT_TRUE(TasksNamed({"Gone", "gone ", "other"}, s.ran[0]).empty());
    EXPECT_EQ(s.list[0]->RepeatCount, 0);
    s.clock.Advance(86'400'000);
    EXPECT_FALSE(s.checkAndRun()) << "now inactive";
}

TEST(ScheduleTicker, PostsEveryTwoSecondsOnlyWhileNoRunIsActive)
{
    TScheduleTicker ticker;
    int posts = 0;
    for (int i = 0; i < 500; ++i) // 10 s of ticks without a run
        posts += ticker.Tick(false);
    EXPECT_EQ(posts, 5);
    EXPECT_EQ(ticker.TickCount, 10'000u);

    posts = 0;
    for (int i = 0; i < 500; ++i) // 10 s of a run
        posts += ticker.Tick(true);
    EXPECT_EQ(posts, 0);

    // The count goes on during the run: the first check after it comes on the two-second beat.
    for (int i = 0; i < 99; ++i)
        posts += ticker.Tick(false);
    EXPECT_EQ(posts, 0);
    posts += ticker.Tick(false);
    EXPECT_EQ(posts, 1);
}

} // namespace
} // namespace pelmora
