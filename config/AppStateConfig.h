#pragma once
// Loads and saves the windows' shared state through the configuration file. The file itself
// knows only plain records (config/ConfigFile.h); these two functions copy them into and out
// of TAppState. UI thread only.

#include "config/ConfigFile.h"
#include "core/AppState.h"

#include <utility>

namespace pelmora {

// Replaces TaskNames, TaskList and ScheduleList of `state` with the contents of
// state.ConfigFileName, clears Modified and selects no task. Throws EConfigError when the
// file cannot be opened or read (or is larger than kMaxConfigFileSize); `state` is then
// unchanged.
inline void LoadConfig(TAppState& state)
{
    ConfigContents contents = ReadConfigFile(state.ConfigFileName);
    state.TaskNames = std::move(contents.TaskNames);
    state.TaskList = std::move(contents.TaskList);
    state.ScheduleList = std::move(contents.ScheduleList);
    state.CurrentIndex = -1;
    state.Modified = false;
}

// Writes the state's tasks and schedules to state.ConfigFileName and clears Modified. The
// file is replaced atomically (written beside it, flushed to disk, renamed over it) and has
// mode 0600. Throws EConfigError on any failure; the previous file and Modified are then
// unchanged and no temporary file is left behind.
inline void SaveConfig(TAppState& state)
{
    WriteConfigFile(state.ConfigFileName, SerializeConfig(state.TaskNames, state.TaskList, state.ScheduleList));
    state.Modified = false;
}

} // namespace pelmora
