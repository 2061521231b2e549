#include "sync/Planner.h"

#include "core/DateTime.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

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

namespace {

// The records around `at` whose paths compare equal to `path` (names that differ only in the
// case of ASCII letters, which a case-sensitive file system holds side by side): calls
// visit(index) for each until it returns true; returns that index or -1.
template <typename Visit> int EqualNear(const TSortList& list, int at, std::string_view path, Visit visit)
{
    for (int i = at; i >= 0 && SameName(list[i]->RelPath(), path); --i)
        if (visit(i))
            return i;
    for (int i = at + 1; i < list.Count() && SameName(list[i]->RelPath(), path); ++i)
        if (visit(i))
            return i;
    return -1;
}

} // namespace

void CompareHostFiles(const TSyncTask& task, TRunLists& lists)
{
    const TTimeBounds bounds = TimeBoundsOf(task);
    const TSortList& mirrorFiles = lists.MirrorFiles;
    const TSortListIndex mirrorIndex(mirrorFiles);
    const TUnlistedPaths mirrorUnlisted(lists.MirrorUnlisted);
    const TUnlistedPaths hostUnlisted(lists.HostUnlisted);

    const auto pair = [&](TMFileInfoRec* h, int at) {
        TMFileInfoRec* m = mirrorFiles.Items(at);
        m->Op = opNone;
        if (SameTime(h->Age, m->Age, bounds)) {
            h->Op = h->Size == m->Size ? opNone : ToFileOp(task.SizeDiffer);
            return;
        }
        h->Op = ToFileOp(DosToDays(h->Age) > DosToDays(m->Age) ? task.NewInMain : task.NewInMirror);
    };
    // A host file without a mirror namesake: unless the mirror could not see that place, in
    // which case its file there may well exist and must be neither overwritten nor mirrored.
    const auto unpaired = [&](TMFileInfoRec* h) {
        h->Op = mirrorUnlisted.Covers(h->RelPath()) ? opNone : ToFileOp(task.InMain);
    };

    // The name comparison folds ASCII case, but on a case-sensitive file system "a.txt" and
    // "A.txt" are two files. A host file pairs with its byte-equal namesake first; only host
    // files that have none are paired afterwards, each with a different mirror file whose own
    // exact namesake is not on the host side.
    const bool exactFirst = !mirrorFiles.HasCustomOrder();
    std::vector<std::pair<TMFileInfoRec*, int>> foldOnly;
    for (TMFileInfoRec* h : lists.HostFiles) {
        if (h->Op != opNone)
            continue; // marked for deletion by the delete masks
        int at = mirrorIndex.Find(*h);
        if (at < 0) {
            unpaired(h);
            continue;
        }
        if (exactFirst && mirrorFiles[at]->RelPath() != h->RelPath()) {
            const std::string_view path = h->RelPath();
            const int near = at;
            at = EqualNear(mirrorFiles, near, path, [&](int i) { return mirrorFiles[i]->RelPath() == path; });
            if (at < 0) {
                foldOnly.emplace_back(h, near);
                continue;
            }
        }
        pair(h, at);
    }
    if (!foldOnly.empty()) {
        std::unordered_set<std::string_view> hostPaths;
        hostPaths.reserve(static_cast<std::size_t>(lists.HostFiles.Count()));
        for (const TMFileInfoRec* h : lists.HostFiles)
            hostPaths.insert(h->RelPath());
        std::unordered_set<int> taken;
        for (auto [h, near] : foldOnly) {
            const int at = EqualNear(mirrorFiles, near, h->RelPath(), [&](int i) {
                return !hostPaths.count(mirrorFiles[i]->RelPath()) && !taken.count(i);
            });
            if (at < 0) {
                unpaired(h);
                continue;
            }
            taken.insert(at);
            pair(h, at);
        }
    }

    // Mirror files only in the mirror keep their listed code, unless the host side could not
    // see that place: then they are left alone rather than deleted or copied over host files.
    if (task.InMirror != acIgnore && lists.HostUnlisted.Count() > 0) {
        for (TMFileInfoRec* m : mirrorFiles)
            if (m->Op == ToFileOp(task.InMirror) && hostUnlisted.Covers(m->RelPath()))
                m->Op = opNone;
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
        // "Only on one side" is not known where the other side could not look.
        const TUnlistedPaths hostUnlisted(lists.HostUnlisted);
        const TUnlistedPaths mirrorUnlisted(lists.MirrorUnlisted);
        // A folder whose own listing failed holds nothing known, which is not the same as empty.
        for (const TFolderLine& line : lists.MirrorFolders)
            if (line.Value == 0 && !mirrorUnlisted.Covers(line.Path) &&
                (deleteAll || (hostIndex.Find(line.Path) < 0 && !hostUnlisted.Covers(line.Path))))
                ++plan.EmptyFolderCount;
        for (const TFolderLine& line : lists.HostFolders)
            if (line.Value == 0 && !hostUnlisted.Covers(line.Path) &&
                (deleteAll || (mirrorIndex.Find(line.Path) < 0 && !mirrorUnlisted.Covers(line.Path))))
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
