#pragma once
// Runs of the engine with a side on the test Samba share: a local folder per test, an unattended
// run of a task between two folders and a connection made as a run start makes it. Used by the
// SMB run tests on one thread.

#include "tests/support/SmbTestServer.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "core/SyncTask.h"
#include "platform/NetConnection.h"
#include "platform/NetPath.h"
#include "sync/SyncLog.h"
#include "tests/support/run/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace pelmora::test {

class SmbRunTest : public SmbServerTest
{
protected:
    // `tag` names the test's local folder below the temporary folder.
    explicit SmbRunTest(std::string tag) : m_tag(std::move(tag)) {}

    void SetUp() override
    {
        SmbServerTest::SetUp();
        if (IsSkipped())
            return;
        m_local = std::make_unique<TempFolder>(m_tag);
        local = m_local->Root();
        InitSyncTask(task);
        task.SyncType = tyFolder;
        task.IntoSub = kFlagTrue;
        task.Speed = 0;
    }

    void TearDown() override
    {
        SmbServerTest::TearDown();
        m_local.reset();
    }

    // Runs the task unattended from `host` to `mirror`; returns the driver for its counters.
    const RunDriver& Run(const std::string& host, const std::string& mirror)
    {
        RunRequest request;
        request.Task = &task;
        request.TaskName = "share";
        request.HostDir = host;
        request.MirrorDir = mirror;
        request.AutoRun = true;
        EXPECT_TRUE(runner.Run(request));
        return runner.Driver();
    }

    // Connects to the share of `path` with the share user's credentials, as a run start does.
    void Connect(TNetConnection& con, const std::string& path)
    {
        con.SetUserName(server->User());
        con.SetPassword(server->Password());
        con.SetRemoteName(NetRemoteName(path));
        con.Connect();
    }

    std::string local;
    TSyncTask task{};
    SyncLog log;
    HeadlessRunner runner{log};

private:
    std::string m_tag;
    std::unique_ptr<TempFolder> m_local;
};

} // namespace pelmora::test
