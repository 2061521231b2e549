#pragma once
// The fixture whole-run tests start from: a fresh host and mirror folder for each test, a task
// that walks sub-folders with neither speed nor error limit, an unattended request for it, and
// a look-up of a result-log line. Test thread only.

#include "core/SyncTask.h"
#include "lang/Messages.h"
#include "sync/RunDriver.h"
#include "sync/SyncLog.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace pelmora::test {

class RunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectLanguage(kLangEnglishUS);
        host = FreshDir("host");
        mirror = FreshDir("mirror");
        InitSyncTask(task);
        task.IntoSub = kFlagTrue;
        task.Speed = 0;
        task.MaxErr = 0;
    }
    void TearDown() override { RemoveFreshDirs(); }

    // An unattended run of `task` named `name` (no preview: what was planned is carried out).
    RunRequest UnattendedRequest(const std::string& name, const std::string& hostDir,
                                 const std::string& mirrorDir) const
    {
        RunRequest request;
        request.Task = &task;
        request.TaskName = name;
        request.HostDir = hostDir;
        request.MirrorDir = mirrorDir;
        request.AutoRun = true;
        return request;
    }

    // The usual mirroring task: copy what only the host has, or has newer or of another size;
    // delete what only the mirror has.
    void Mirroring()
    {
        task.InMain = acHostToMirror;
        task.InMirror = acDelete;
        task.SizeDiffer = acHostToMirror;
        task.NewInMain = acHostToMirror;
        task.NewInMirror = acHostToMirror;
    }

    static bool Logged(const SyncLog& log, const std::string& line)
    {
        return std::find(log.Lines().begin(), log.Lines().end(), line) != log.Lines().end();
    }

    std::string host, mirror;
    TSyncTask task{};
};

} // namespace pelmora::test
