#pragma once
// A throwaway Samba server on 127.0.0.1 for the SMB tests: its own smb.conf, state folders
// and port under a temporary folder, one user with a password, a private share "data" and a
// guest share "public". Started by the test process and stopped by its process id.

#include "platform/SmbFileSystem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace pelmora::test {

class SmbTestServer
{
public:
    // The server of this test process, started on the first call. Check Running().
    static SmbTestServer& Get();
    ~SmbTestServer();

    bool Running() const { return m_pid > 0; }
    // Why the server is not running, for the skip message.
    const std::string& Reason() const { return m_reason; }

    std::uint16_t Port() const { return m_port; }
    const std::string& User() const { return m_user; }
    const std::string& Password() const { return m_password; }
    // "//127.0.0.1:<port>/data" and the folder on disk behind it.
    std::string DataRoot() const;
    std::string DataDir() const { return m_base + "/data"; }
    std::string PublicRoot() const;
    std::string PublicDir() const { return m_base + "/public"; }

    // Writes a file into a share's folder on disk, owned by the share's user as files
    // written over SMB are. Returns false on failure.
    bool WriteDiskFile(const std::string& path, const std::string& bytes) const;
    bool MakeDiskDir(const std::string& path) const;
    // Empties the share folders on disk.
    void ClearShares() const;

private:
    SmbTestServer();
    bool Start();
    void Stop();

    std::string m_base;
    std::string m_reason;
    std::string m_user = "pelmorasmb";
    std::string m_password = "Corr3ct-horse";
    std::uint16_t m_port = 0;
    int m_pid = -1;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
};

// Frees the anonymous sessions and unregisters the SMB file system, so that tests of the
// bare port that run later in the same process find it as a fresh process would.
void UninstallSmbFileSystem();

// Tests that need the server: skipped with the reason when smbd cannot start, and each
// begins with empty share folders.
class SmbServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = &SmbTestServer::Get();
        if (!server->Running()) {
            GTEST_SKIP() << "Samba server not available: " << server->Reason();
        }
        server->ClearShares();
        InstallSmbFileSystem();
    }

    // Leaves the process as it was: no anonymous sessions, no network file system.
    void TearDown() override { UninstallSmbFileSystem(); }

    SmbTestServer* server = nullptr;
};

// A free TCP port on 127.0.0.1 that nothing listens on at the time of the call; 0 on failure.
std::uint16_t FreeLoopbackPort();

} // namespace pelmora::test
