#include "sync/Planner.h"

#include "sync/Listing.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <map>
#include <string>

namespace pelmora {
namespace {

using test::LocalTime;
using test::TempFolder;

TSyncTask planTask()
{
    TSyncTask task;
    std::memset(&task, 0, sizeof task);
    task.SyncType = tyFolder;
    task.IntoSub = kFlagTrue;
    task.InMain = acHostToMirror;
    task.InMirror = acDelete;
    task.SizeDiffer = acHostToMirror;
    task.NewInMain = acHostToMirror;
    task.NewInMirror = acMirrorToHost;
    task.TimeShift = 2.0 / 86400 + 0.00000001;
    return task;
}

// Two real trees, listed and planned as a run does it.
struct TwoTrees
{
    TempFolder host;
    TempFolder mirror;
    TRunLists lists;
    TPlanSummary plan;

    void listAndPlan(const TSyncTask& task, const TRunMasks& masks = TRunMasks(), bool listMirror = true)
    {
        RunState state = rsListHost;
        SideLister lister(task, state, masks, lists, nullptr);
        lister.ListHost(host.Root());
        if (listMirror) {
            state = rsListMirror;
            lister.ListMirror(mirror.Root());
        }
        plan = PlanRun(task, lists);
    }
    std::map<std::string, int> hostOps() const
    {
        std::map<std::string, int> out;
        for (const TMFileInfoRec* r : lists.HostFiles)
            out[std::string(r->RelPath())] = r->Op;
        return out;
    }
    std::map<std::string, int> mirrorOps() const
    {
        std::map<std::string, int> out;
        for (const TMFileInfoRec* r : lists.MirrorFiles)
            out[std::string(r->RelPath())] = r->Op;
        return out;
    }
};

const std::time_t kBase = LocalTime(2024, 3, 10, 12, 0, 0);

struct TimeCase
{
    int shiftSeconds;
    bool ignoreOneHour;
    int hostMinusMirror; // seconds
    int expectedOp;
};

class SameTimeRule : public testing::TestWithParam<TimeCase>
{
};

TEST_P(SameTimeRule, DecidesBetweenNothingAndNewerSide)
{
    const TimeCase& c = GetParam();
    TSyncTask task = planTask();
    task.TimeShift = c.shiftSeconds / 86400.0 + 0.00000001;
    task.Ignore1Hour = ToFlag(c.ignoreOneHour);
    TwoTrees run;
    run.host.FileOfSize("/f.dat", 10, kBase + c.hostMinusMirror);
    run.mirror.FileOfSize("/f.dat", 10, kBase);
    run.listAndPlan(task);
    EXPECT_EQ(run.hostOps().at("/f.dat"), c.expectedOp);
    EXPECT_EQ(run.mirrorOps().at("/f.dat"), opNone); // paired, so never "only in mirror"
}

INSTANTIATE_TEST_SUITE_P(Table, SameTimeRule,
                         testing::Values(TimeCase{2, false, 2, opNone}, TimeCase{2, false, -2, opNone},
                                         TimeCase{2, false, 4, opHostToMirror}, TimeCase{2, false, -4, opMirrorToHost},
                                         TimeCase{2, true, 3596, opHostToMirror}, TimeCase{2, true, 3598, opNone},
                                         TimeCase{2, true, 3600, opNone}, TimeCase{2, true, -3600, opNone},
                                         TimeCase{2, true, 3602, opNone}, TimeCase{2, true, -3602, opNone},
                                         TimeCase{2, true, 3604, opHostToMirror},
                                         TimeCase{2, true, -3604, opMirrorToHost},
                                         TimeCase{2, false, 3600, opHostToMirror},
                                         TimeCase{0, false, 2, opHostToMirror}));

TEST(Planner, SizesAtEqualTimeAndOlderOverwritesNewer)
{
    TSyncTask task = planTask();
    task.SizeDiffer = acMirrorToHost;
    task.NewInMain = acMirrorToHost; // the older mirror file overwrites the newer host file
    TwoTrees run;
    run.host.FileOfSize("/same", 10, kBase);
    run.mirror.FileOfSize("/same", 10, kBase);
    run.host.FileOfSize("/size", 10, kBase);
    run.mirror.FileOfSize("/size", 11, kBase);
    run.host.FileOfSize("/newer", 100, kBase + 10);
    run.mirror.FileOfSize("/newer", 70, kBase);
    run.listAndPlan(task);
    EXPECT_EQ(run.hostOps(), (std::map<std::string, int>{{"/newer", 3}, {"/same", 0}, {"/size", 3}}));
    EXPECT_EQ(run.plan.CopyToHostCount, 2u);
    EXPECT_EQ(run.plan.CopyToMirrorCount, 0u);
    // Copies to the host count the mirror file's size.
    EXPECT_EQ(run.plan.TotalBytes, 11 + 70);
    EXPECT_FALSE(NothingToDo(run.plan));
}

TEST(Planner, OnlyOnOneSideAndCopyAll)
{
    TSyncTask task = planTask();
    TwoTrees run;
    run.host.FileOfSize("/h", 5, kBase);
    run.host.FileOfSize("/both", 6, kBase);
    run.mirror.FileOfSize("/both", 6, kBase);
    run.mirror.FileOfSize("/m", 7, kBase);
    run.listAndPlan(task);
    EXPECT_EQ(run.hostOps(), (std::map<std::string, int>{{"/both", 0}, {"/h", 2}}));
    EXPECT_EQ(run.mirrorOps(), (std::map<std::string, int>{{"/both", 0}, {"/m", 1}}));
    EXPECT_EQ(run.plan.CopyToMirrorCount, 1u);
    EXPECT_EQ(run.plan.DeleteMirrorCount, 1u);
    EXPECT_EQ(run.plan.TotalBytes, 5);

    TwoTrees copyAll;
    copyAll.host.FileOfSize("/h", 5, kBase);
    copyAll.host.FileOfSize("/both", 6, kBase);
    copyAll.mirror.FileOfSize("/both", 6, kBase);
    copyAll.listAndPlan(task, TRunMasks(), false);
    EXPECT_EQ(copyAll.hostOps(), (std::map<std::string, int>{{"/both", 2}, {"/h", 2}}));
    EXPECT_EQ(copyAll.plan.CopyToMirrorCount, 2u);
    EXPECT_EQ(copyAll.plan.TotalBytes, 11);
}

TEST(Planner, DeleteMasksMarkBothSidesWithoutPairing)
{
    TSyncTask task = planTask();
    task.DelOn = kFlagTrue;
    task.InMirror = acMirrorToHost;
    TwoTrees run;
    run.host.FileOfSize("/x.tmp", 5, kBase);
    run.mirror.FileOfSize("/x.tmp", 5, kBase);
    run.mirror.FileOfSize("/only.tmp", 1, kBase);
    run.listAndPlan(task, TRunMasks::Compile({}, {"*.tmp"}, {}));
    EXPECT_EQ(run.hostOps(), (std::map<std::string, int>{{"/x.tmp", 1}}));
    EXPECT_EQ(run.mirrorOps(), (std::map<std::string, int>{{"/only.tmp", 1}, {"/x.tmp", 1}}));
    EXPECT_EQ(run.plan.DeleteHostCount, 1u);
    EXPECT_EQ(run.plan.DeleteMirrorCount, 2u);
    EXPECT_EQ(run.plan.TotalBytes, 0);
}

TEST(Planner, EmptyFoldersFollowTheEmptyDirAction)
{
    TwoTrees run;
    run.host.Dir("/x");    // empty, only in host
    run.host.Dir("/both"); // empty on both sides
    run.mirror.Dir("/both");
    run.host.File("/zero/z", "");                  // holds only a zero-byte file: still empty
    run.mirror.FileOfSize("/zero/data", 3, kBase); // ... but exists with data on the mirror side
    run.mirror.Dir("/m");                          // empty, only in mirror
    TSyncTask task = planTask();
    task.InMain = acIgnore;
    task.InMirror = acIgnore;

    task.EmptyDir = acMirrorToHost;
    run.listAndPlan(task);
    // "/x" removed from the host, "/m" created there; "/both" and "/zero" exist on the other side.
    EXPECT_EQ(run.plan.EmptyFolderCount, 2u);

    task.EmptyDir = acDelete;
    EXPECT_EQ(CountPlan(task, run.lists).EmptyFolderCount, 5u); // x, both (twice), zero, m
    task.EmptyDir = acIgnore;
    EXPECT_EQ(CountPlan(task, run.lists).EmptyFolderCount, 0u);
    EXPECT_TRUE(NothingToDo(CountPlan(task, run.lists)));
}

TEST(Planner, AllActionsIgnoredMeansNothingToDo)
{
    TSyncTask task = planTask();
    task.InMain = task.InMirror = task.SizeDiffer = task.NewInMain = task.NewInMirror = task.EmptyDir = acIgnore;
    TwoTrees run;
    run.host.FileOfSize("/h", 5, kBase);
    run.host.FileOfSize("/n", 5, kBase + 100);
    run.mirror.FileOfSize("/n", 5, kBase);
    run.mirror.FileOfSize("/m", 5, kBase);
    run.mirror.Dir("/empty");
    run.listAndPlan(task);
    EXPECT_TRUE(NothingToDo(run.plan));
}

TEST(Planner, NonFiniteTimeShiftCountsAsZero)
{
    TSyncTask task = planTask();
    task.TimeShift = std::numeric_limits<double>::quiet_NaN();
    const TTimeBounds b = TimeBoundsOf(task);
    EXPECT_EQ(b.TimeShift, 0);
    EXPECT_TRUE(SameTime(0x58000000u, 0x58000000u, b));
    EXPECT_FALSE(SameTime(0x58000000u, 0x58000001u, b));
}

TEST(Planner, ManyEmptyFoldersCountLikeTheLinearRule)
{
    TRunLists lists;
    for (int i = 0; i < 3000; ++i) {
        lists.HostFolders.Add("/h" + std::to_string(i), i % 3 == 0 ? 7 : 0);
        if (i % 2 == 0)
            lists.MirrorFolders.Add("/H" + std::to_string(i), 0);
    }
    TSyncTask task = planTask();
    task.EmptyDir = acHostToMirror;
    std::uint32_t expected = 0;
    for (const TFolderLine& l : lists.MirrorFolders)
        expected += l.Value == 0 && FindFolder(lists.HostFolders, l.Path) < 0;
    for (const TFolderLine& l : lists.HostFolders)
        expected += l.Value == 0 && FindFolder(lists.MirrorFolders, l.Path) < 0;
    EXPECT_EQ(CountPlan(task, lists).EmptyFolderCount, expected);
    EXPECT_EQ(expected, 1000u); // odd i with value 0
}

} // namespace
} // namespace pelmora
