#pragma once
// Runs of the engine with a side on the test Samba share: a local folder per test, an unattended
// run of a task between two folders, a connection made as a run start makes it, and the local
// file helpers the checks use. Used by the SMB run tests on one thread.

#include "tests/support/SmbTestServer.h"

#include "core/SyncTask.h"
#include "platform/NetConnection.h"
#include "platform/NetPath.h"
#include "sync/HeadlessRunner.h"
#include "sync/SyncLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace pelmora::test {

inline void WriteLocal(const std::string& path, const std::string& bytes, std::time_t mtime)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    struct timeval times[2] = {{mtime, 0}, {mtime, 0}};
    ::utimes(path.c_str(), times);
}

inline std::string ReadLocal(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The file's modification time, or -1 when it cannot be looked at.
inline std::time_t MTimeOf(const std::string& path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

// `size` bytes of a fixed pseudo-random pattern chosen by `seed`.
inline std::string Bytes(std::size_t size, unsigned seed)
{
    std::string out(size, '\0');
    unsigned x = seed;
    for (char& c : out) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return out;
}

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
        local = testing::TempDir() + "pelmora-" + m_tag + "-" + std::to_string(::getpid());
        std::filesystem::remove_all(local);
        std::filesystem::create_directories(local);
        InitSyncTask(task);
        task.SyncType = tyFolder;
        task.IntoSub = kFlagTrue;
        task.Speed = 0;
    }

    void TearDown() override
    {
        SmbServerTest::TearDown();
        if (!local.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(local, ec);
        }
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
};

} // namespace pelmora::test
