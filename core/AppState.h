#pragma once
// TAppState: the process-wide state that the windows share (task names and records, the
// schedule entries, the selection, the run-mode flags, the file names and the run's masks).
// The main window owns the one instance; everything in it is used on the UI thread only.

#include "core/SyncTask.h"
#include "schedule/ScheduleItem.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelmora {

struct TAppState
{
    // Task names in list order; TaskList[i] is the record of TaskNames[i].
    std::vector<std::string> TaskNames;
    TaskRecords TaskList;
    ScheduleItems ScheduleList;

    std::int32_t CurrentIndex = -1; // index into TaskNames / TaskList, -1 = none

    bool Modified = false;     // set by every edit; cleared by a successful SaveConfig
    bool Loading = false;      // set while an editor is filled; change handlers do nothing then
    bool AutoRun = false;      // unattended run from the command line
    bool StartHidden = false;  // "/H": start in the notification area
    bool CopyAll = false;      // "-C": the mirror folder is treated as empty
    bool ScheduledRun = false; // set around a run started by the scheduler
    bool ResultShown = false;  // a run of the current batch showed its results window

    std::string ConfigFileName;
    std::string LogFileName;

    // Filled at run start from the task's lists; read by the scanner.
    std::vector<std::string> IgnoreMasks;
    std::vector<std::string> DelMasks;
    std::vector<std::string> OnlyTypeMasks;

    std::string RunHostDir;
    std::string RunMirrorDir;

    // Messages 20..23, indexed by action code.
    std::array<std::string, 4> ActionNames;

    // The selected task's record, or nullptr when no task (or an invalid index) is selected.
    TSyncTask* CurrentTask() const
    {
        if (CurrentIndex < 0 || static_cast<std::size_t>(CurrentIndex) >= TaskList.size())
            return nullptr;
        return TaskList[static_cast<std::size_t>(CurrentIndex)].get();
    }

    std::size_t TaskCount() const { return TaskList.size(); }
};

} // namespace pelmora
