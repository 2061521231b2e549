#include "config/TaskStore.h"

#include <utility>

namespace pelmora {

void LoadConfig(TTaskStore& state)
{
    ConfigContents contents = ReadConfigFile(state.ConfigFileName);
    state.TaskNames = std::move(contents.TaskNames);
    state.TaskList = std::move(contents.TaskList);
    state.ScheduleList = std::move(contents.ScheduleList);
    state.CurrentIndex = -1;
    state.Modified = false;
}

void SaveConfig(TTaskStore& state)
{
    WriteConfigFile(state.ConfigFileName, SerializeConfig(state.TaskNames, state.TaskList, state.ScheduleList));
    state.Modified = false;
}

} // namespace pelmora
