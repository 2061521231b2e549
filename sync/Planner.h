#pragma once
// Comparison and operation planning: pairs every host file with its mirror namesake, sets
// the planned operation of each entry from the task's actions, and counts the plan (files to
// copy and delete, bytes to copy, empty-folder operations). UI thread, once per run.

#include "core/SyncTask.h"
#include "sync/FileLists.h"

#include <cstdint>

namespace pelmora {

// Counts and byte totals of the planned operations, shared by planning, the preview and the
// copy progress.
struct TPlanSummary
{
    std::uint32_t CopyToHostCount = 0;   // code 3 on either list
    std::uint32_t CopyToMirrorCount = 0; // code 2 on the host list
    std::uint32_t DeleteHostCount = 0;
    std::uint32_t DeleteMirrorCount = 0;
    std::int64_t TotalBytes = 0; // sizes of all files to copy
    std::int64_t DoneBytes = 0;  // advanced by the copies
    std::uint32_t EmptyFolderCount = 0;
};

// The run's same-time bounds, in days: TimeShift T and the one-hour window 1/24 - T .. 1/24 + T.
struct TTimeBounds
{
    double TimeShift = 0;
    double HourLow = 0;
    double HourHigh = 0;
    bool Ignore1Hour = false;
};
// A TimeShift that is not a finite, non-negative number counts as 0.
TTimeBounds TimeBoundsOf(const TSyncTask& task);

// True when two packed times count as the same time: equal, or less than TimeShift apart, or
// (with Ignore1Hour) strictly between HourLow and HourHigh apart, in either direction.
bool SameTime(std::uint32_t ageA, std::uint32_t ageB, const TTimeBounds& bounds);

// Compares every host entry whose Op is still 0 with its mirror namesake (found as
// TSortList::Find finds it, through a hash index built once) and sets both codes.
void CompareHostFiles(const TSyncTask& task, TRunLists& lists);

// Counts the plan into a freshly zeroed summary. FindFolder lookups go through one index
// per folder list, so the count stays O(n) in the number of folders.
TPlanSummary CountPlan(const TSyncTask& task, const TRunLists& lists);

// Compares and counts: the whole planning step between the mirror listing and the preview.
TPlanSummary PlanRun(const TSyncTask& task, TRunLists& lists);

// True when the plan holds no file copy, no delete and no empty-folder operation.
bool NothingToDo(const TPlanSummary& plan);

} // namespace pelmora
