#pragma once
// TTaskStore: what the configuration file holds (task names, one record per name, the
// schedule entries) together with the file's name, the selected task and whether anything
// changed since the last load or save, and the two calls that load and save it. The main
// window's state builds on it. UI thread only.

#include "config/ConfigFile.h"
#include "core/SyncTask.h"
#include "schedule/ScheduleItem.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelmora {

struct TTaskStore
{
    // Task names in list order; TaskList[i] is the record of TaskNames[i].
    std::vector<std::string> TaskNames;
    TaskRecords TaskList;
    ScheduleItems ScheduleList;

    std::int32_t CurrentIndex = -1; // index into TaskNames / TaskList, -1 = none
    bool Modified = false;          // set by every edit; cleared by a successful load or save

    std::string ConfigFileName;

    // The selected task's record, or nullptr when no task (or an invalid index) is selected.
    TSyncTask* CurrentTask() const
    {
        if (CurrentIndex < 0 || static_cast<std::size_t>(CurrentIndex) >= TaskList.size())
            return nullptr;
        return TaskList[static_cast<std::size_t>(CurrentIndex)].get();
    }

    std::size_t TaskCount() const { return TaskList.size(); }
};

// Replaces TaskNames, TaskList and ScheduleList of `state` with the contents of
// state.ConfigFileName, clears Modified and selects no task. Throws EConfigError when the
// file cannot be opened or read (or is larger than kMaxConfigFileSize); `state` is then
// unchanged.
void LoadConfig(TTaskStore& state);

// Writes the state's tasks and schedules to state.ConfigFileName and clears Modified. The
// file is replaced atomically (written beside it, flushed to disk, renamed over it) and has
// mode 0600. Throws EConfigError on any failure; the previous file and Modified are then
// unchanged and no temporary file is left behind.
void SaveConfig(TTaskStore& state);

} // namespace pelmora
