#include "config/TaskStore.h"

#include "core/DateTime.h"
#include "schedule/ScheduleTrigger.h"
#include "tests/schedule/ScheduleEntries.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// The schedule entries as the configuration file keeps them across a firing and a restart.

namespace pelmora {
namespace {

using namespace test;

} // namespace

TEST(ScheduleTrigger, RepeatCountTwoRunsTwiceAndARestartWithoutSavingRestoresIt)
{
    const test::TempFolder folder("trigger-repeat");
    const std::filesystem::path dir = folder.path();
    const double start = at(2024, 5, 15, 8, 0, 0);

    ScheduleItems stored;
    stored.push_back(entry("job", skInterval, timeOfDay(0, 10, 0), start, 2));
    TTaskStore state;
    state.ConfigFileName = (dir / "Pelmora.cfg").string();
    TaskRecords tasks;
    tasks.push_back(NewSyncTask());
    WriteConfigFile(state.ConfigFileName, SerializeConfig({"job"}, tasks, stored));
    LoadConfig(state);

    FakeClock clock(start);
    TScheduleTrigger trigger(clock);
    int runs = 0;
    for (int check = 0; check < 30 * 6; ++check) { // an hour of checks, 20 s apart
        if (trigger.OnCheckSche(state.ScheduleList)) {
            ++runs;
            trigger.ClearPending();
        }
        clock.Advance(20'000);
    }
    EXPECT_EQ(runs, 2);
    ASSERT_EQ(state.ScheduleList.size(), 1u);
    EXPECT_EQ(state.ScheduleList[0]->RepeatCount, 0) << "the entry stays in the list, inactive";
    EXPECT_FALSE(state.Modified) << "firing is no edit of the configuration";

    // The file still holds what was saved: a restart starts from two runs again.
    TTaskStore restarted;
    restarted.ConfigFileName = state.ConfigFileName;
    LoadConfig(restarted);
    ASSERT_EQ(restarted.ScheduleList.size(), 1u);
    EXPECT_EQ(restarted.ScheduleList[0]->RepeatCount, 2);
    EXPECT_DOUBLE_EQ(restarted.ScheduleList[0]->NextRun, start);
}

} // namespace pelmora
