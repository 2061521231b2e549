#include "sync/Planner.h"

#include "core/DateTime.h"

#include <algorithm>
#include <cmath>

namespace pelmora {

TTimeBounds TimeBoundsOf(const TSyncTask& task)
{
    TTimeBounds b;
    double t = task.TimeShift;
    if (!std::isfinite(t) || t < 0)
        t = 0;
    b.TimeShift = t;
    b.HourLow = 1.0 / 24 - t;
    b.HourHigh = 1.0 / 24 + t;
    b.Ignore1Hour = IsSet(task.Ignore1Hour);
    return b;
}

bool SameTime(std::uint32_t ageA, std::uint32_t ageB, const TTimeBounds& bounds)
{
    if (ageA == ageB)
        return true;
    const double d = std::fabs(DosToDays(ageA) - DosToDays(ageB));
    if (d < bounds.TimeShift)
        return true;
    return bounds.Ignore1Hour && bounds.HourLow < d && d < bounds.HourHigh;
}

void CompareHostFiles(const TSyncTask& task, TRunLists& lists)
{
    const TTimeBounds bounds = TimeBoundsOf(task);
    const TSortListIndex mirrorIndex(lists.MirrorFiles);
    for (TMFileInfoRec* h : lists.HostFiles) {
        if (h->Op != opNone)
            continue; // marked for deletion by the delete masks
        const int at = mirrorIndex.Find(*h);
        if (at < 0) {
            h->Op = task.InMain;
            continue;
        }
        TMFileInfoRec* m = lists.MirrorFiles.Items(at);
        m->Op = opNone;
        if (SameTime(h->Age, m->Age, bounds)) {
            h->Op = h->Size == m->Size ? opNone : task.SizeDiffer;
            continue;
        }
        h->Op = DosToDays(h->Age) > DosToDays(m->Age) ? task.NewInMain : task.NewInMirror;
    }
}

TPlanSummary CountPlan(const TSyncTask& task, const TRunLists& lists)
{
    TPlanSummary plan;
    // A size of -1 marks a file that could not be opened; it adds no bytes.
    auto bytes = [](std::int64_t size) { return std::max<std::int64_t>(size, 0); };

    for (int i = lists.HostFiles.Count() - 1; i >= 0; --i) {
        const TMFileInfoRec* h = lists.HostFiles[i];
        switch (h->Op) {
        case opHostToMirror:
            ++plan.CopyToMirrorCount;
            plan.TotalBytes += bytes(h->Size);
            break;
        case opMirrorToHost: {
            ++plan.CopyToHostCount;
            const int at = lists.MirrorFiles.Find(h->RelPath());
            if (at >= 0)
                plan.TotalBytes += bytes(lists.MirrorFiles[at]->Size);
            break;
        }
        case opDelete:
            ++plan.DeleteHostCount;
            break;
        default:
            break;
        }
    }
    for (int i = lists.MirrorFiles.Count() - 1; i >= 0; --i) {
        const TMFileInfoRec* m = lists.MirrorFiles[i];
        if (m->Op == opMirrorToHost) {
            ++plan.CopyToHostCount;
            plan.TotalBytes += bytes(m->Size);
        } else if (m->Op == opDelete) {
            ++plan.DeleteMirrorCount;
        }
    }

    if (task.EmptyDir != acIgnore) {
        const bool deleteAll = task.EmptyDir == acDelete;
        const TFolderIndex hostIndex(lists.HostFolders);
        const TFolderIndex mirrorIndex(lists.MirrorFolders);
        for (const TFolderLine& line : lists.MirrorFolders)
            if (line.Value == 0 && (deleteAll || hostIndex.Find(line.Path) < 0))
                ++plan.EmptyFolderCount;
        for (const TFolderLine& line : lists.HostFolders)
            if (line.Value == 0 && (deleteAll || mirrorIndex.Find(line.Path) < 0))
                ++plan.EmptyFolderCount;
    }
    return plan;
}

TPlanSummary PlanRun(const TSyncTask& task, TRunLists& lists)
{
    CompareHostFiles(task, lists);
    return CountPlan(task, lists);
}

bool NothingToDo(const TPlanSummary& plan)
{
    return plan.CopyToHostCount == 0 && plan.CopyToMirrorCount == 0 && plan.DeleteHostCount == 0 &&
           plan.DeleteMirrorCount == 0 && plan.EmptyFolderCount == 0;
}

} // namespace pelmora
