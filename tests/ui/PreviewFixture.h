#pragma once
// Builds a run's lists by hand for the preview tests: files with their planned operation and
// the folder lists as the scanner reports them (a folder after its sub-folders).

#include "core/DateTime.h"
#include "sync/FileLists.h"
#include "sync/Planner.h"

#include <cstdint>
#include <string>

namespace pelmora::testing {

// 2026-03-04 05:06:08, packed.
inline constexpr std::uint32_t kAge = ((2026u - 1980u) << 25) | (3u << 21) | (4u << 16) | (5u << 11) | (6u << 5) | 4u;

struct PreviewRun
{
    TRunLists lists;
    TPlanSummary plan;

    TMFileInfoRec* host(const std::string& path, std::int64_t size, TFileOp op, std::uint32_t age = kAge)
    {
        auto rec = TMFileInfoRec::Create(path, size, age, op);
        TMFileInfoRec* raw = rec.get();
        lists.HostFiles.Add(std::move(rec));
        return raw;
    }
    TMFileInfoRec* mirror(const std::string& path, std::int64_t size, TFileOp op, std::uint32_t age = kAge)
    {
        TMFileInfoRec* raw = TMFileInfoRec::Create(path, size, age, op).release();
        lists.MirrorFiles.Add(raw);
        return raw;
    }
    // Counts the plan the way the planner does, from the entries as they stand.
    void count()
    {
        plan = {};
        for (const TMFileInfoRec* e : lists.HostFiles) {
            if (e->Op == opHostToMirror) {
                ++plan.CopyToMirrorCount;
                plan.TotalBytes += e->Size;
            } else if (e->Op == opMirrorToHost) {
                ++plan.CopyToHostCount;
                const int m = lists.MirrorFiles.Find(e->RelPath());
                plan.TotalBytes += m >= 0 ? lists.MirrorFiles[m]->Size : 0;
            } else if (e->Op == opDelete) {
                ++plan.DeleteHostCount;
            }
        }
        for (const TMFileInfoRec* e : lists.MirrorFiles) {
            if (e->Op == opMirrorToHost) {
                ++plan.CopyToHostCount;
                plan.TotalBytes += e->Size;
            } else if (e->Op == opDelete) {
                ++plan.DeleteMirrorCount;
            }
        }
    }
};

inline bool SamePlan(const TPlanSummary& a, const TPlanSummary& b)
{
    return a.CopyToHostCount == b.CopyToHostCount && a.CopyToMirrorCount == b.CopyToMirrorCount &&
           a.DeleteHostCount == b.DeleteHostCount && a.DeleteMirrorCount == b.DeleteMirrorCount &&
           a.TotalBytes == b.TotalBytes && a.EmptyFolderCount == b.EmptyFolderCount;
}

} // namespace pelmora::testing
