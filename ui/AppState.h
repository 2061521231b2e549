#pragma once
// TAppState: the process-wide state that the windows share: the tasks and schedule entries
// with the selection (TTaskStore), the editor's Loading flag, the run-mode flags, the log
// file's name and what the last run start prepared. The main window owns the one instance;
// everything in it is used on the UI thread only.

#include "config/TaskStore.h"

#include <array>
#include <string>
#include <vector>

namespace pelmora {

struct TAppState : TTaskStore
{
    bool Loading = false;      // set while an editor is filled; change handlers do nothing then
    bool AutoRun = false;      // unattended run from the command line
    bool StartHidden = false;  // "/H": start in the notification area
    bool CopyAll = false;      // "-C": the mirror folder is treated as empty
    bool ScheduledRun = false; // set around a run started by the scheduler
    bool ResultShown = false;  // a run of the current batch showed its results window

    std::string LogFileName;

    // What the last run start prepared from the task: its roots and its three mask lists.
    std::vector<std::string> IgnoreMasks;
    std::vector<std::string> DelMasks;
    std::vector<std::string> OnlyTypeMasks;

    std::string RunHostDir;
    std::string RunMirrorDir;

    // Messages 20..23, indexed by action code.
    std::array<std::string, 4> ActionNames;
};

} // namespace pelmora
