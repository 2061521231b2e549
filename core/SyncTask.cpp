#include "core/SyncTask.h"

#include <cmath>

namespace pelmora {

void InitSyncTask(TSyncTask& task)
{
    std::memset(&task, 0, sizeof task);
    task.Speed = 3000;
    task.MaxErr = 10;
    task.OnlyDirs = 0;
    task.Ignore1Hour = kFlagTrue;
    task.TimeShift = DefaultTimeShift();
}

std::unique_ptr<TSyncTask> NewSyncTask()
{
    auto task = std::make_unique<TSyncTask>();
    InitSyncTask(*task);
    return task;
}

void SanitizeSyncTask(TSyncTask& task)
{
    if (!std::isfinite(task.TimeShift))
        task.TimeShift = DefaultTimeShift();
}

} // namespace pelmora
