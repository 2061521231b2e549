#include "tests/support/SmbTestServer.h"

#include "platform/FileSystem.h"
#include "platform/NetConnection.h"
#include "platform/SmbFileSystem.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace pelmora {
namespace {

using test::SmbServerTest;

class SmbConnection : public SmbServerTest
{
protected:
    // The text of the EConnectError that Connect raises, or "" when it connects.
    std::string ConnectError(TNetConnection& con)
    {
        try {
            con.Connect();
        } catch (const EConnectError& e) {
            return e.what();
        }
        return "";
    }

    void Setup(TNetConnection& con, const std::string& remote, const std::string& password)
    {
        con.SetUserName(server->User());
        con.SetPassword(password);
        con.SetRemoteName(remote);
    }

    // Lists the top of the data share through the network file system; returns the errno.
    int ListData()
    {
        int count = 0;
        return FileSystemFor(server->DataRoot()).ListDir(server->DataRoot(), [&](const DirEntry&) {
            ++count;
            return true;
        });
    }
};

TEST_F(SmbConnection, ConnectsAndReachesFilesBelowTheShare)
{
    ASSERT_TRUE(server->MakeDiskDir(server->DataDir() + "/a/b/c"));
    ASSERT_TRUE(server->WriteDiskFile(server->DataDir() + "/a/b/c/note.txt", "hello share"));

    TNetConnection con;
    // The remote name as a run makes it from a folder three levels below the share.
    const std::string folder = server->DataRoot() + "/a/b/c";
    Setup(con, std::string(NetRemoteName(folder)), server->Password());
    EXPECT_EQ(con.RemoteName(), server->DataRoot());
    ASSERT_EQ(ConnectError(con), "");
    EXPECT_EQ(con.LocalName(), "");

    FileStat st;
    ASSERT_EQ(FileSystemFor(folder).Stat(folder + "/note.txt", st), 0);
    EXPECT_EQ(st.type, EntryType::File);
    EXPECT_EQ(st.size, 11);

    ASSERT_EQ(FileSystemFor(folder).Stat(folder, st), 0);
    EXPECT_EQ(st.type, EntryType::Dir);

    con.Disconnect(true);
    // Without the session only an anonymous one is left, which this share refuses; nothing
    // seen through the closed session may be reported from memory.
    EXPECT_NE(FileSystemFor(folder).Stat(folder + "/note.txt", st), 0);
    EXPECT_NE(FileSystemFor(folder).Stat(folder, st), 0);
}

TEST_F(SmbConnection, RefusedLoginsAndUnreachableShares)
{
    TNetConnection con;
    const std::string wrong = "not-the-Password-42";
    Setup(con, server->DataRoot(), wrong);
    const std::string text = ConnectError(con);
    EXPECT_EQ(text, "ERROR: User name or password incorrect");
    EXPECT_EQ(text.find(wrong), std::string::npos);

    // An unknown user is refused too, even on a share that lets guests in: the given
    // credentials are never swapped for an anonymous login.
    con.SetUserName("nosuchuser");
    con.SetPassword("whatever");
    con.SetRemoteName(server->PublicRoot());
    EXPECT_EQ(ConnectError(con), "ERROR: User name or password incorrect");

    Setup(con, "//127.0.0.1:" + std::to_string(server->Port()) + "/nosuchshare", server->Password());
    EXPECT_EQ(ConnectError(con), "ERROR: Network resource name is invalid or unlocatable");

    const std::uint16_t closed = test::FreeLoopbackPort();
    ASSERT_NE(closed, 0);
    Setup(con, "//127.0.0.1:" + std::to_string(closed) + "/data", server->Password());
    EXPECT_EQ(ConnectError(con), "ERROR: Network path not found");
}

TEST_F(SmbConnection, DisconnectLeavesNoSessionBehind)
{
    TNetConnection con;
    Setup(con, "smb://127.0.0.1:" + std::to_string(server->Port()) + "/data", server->Password());
    ASSERT_EQ(ConnectError(con), "");
    EXPECT_EQ(ListData(), 0);
    con.Disconnect(true);

    // A session still cached anywhere would let this one in.
    con.SetPassword("wrong-now");
    EXPECT_EQ(ConnectError(con), "ERROR: User name or password incorrect");
    EXPECT_NE(ListData(), 0);

    try {
        con.Disconnect(true);
        FAIL() << "a second disconnect succeeded";
    } catch (const EDisconnectError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Not connected to specified resource or on specified device");
    }
}

TEST_F(SmbConnection, ConnectionNamedByALocalName)
{
    TNetConnection con;
    Setup(con, server->DataRoot(), server->Password());
    con.SetLocalName("Z:");
    ASSERT_EQ(ConnectError(con), "");
    EXPECT_EQ(ListData(), 0);

    TNetConnection other;
    Setup(other, server->PublicRoot(), server->Password());
    other.SetLocalName(" z: ");
    EXPECT_EQ(ConnectError(other), "ERROR: Local device already assigned");

    con.SetLocalName("Y:");
    try {
        con.Disconnect(true);
        FAIL() << "disconnected a local name that was never connected";
    } catch (const EDisconnectError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Not connected to specified resource or on specified device");
    }
    EXPECT_EQ(ListData(), 0);

    con.SetLocalName("Z:");
    con.Disconnect(true);
    EXPECT_NE(ListData(), 0);
    // The name is free again.
    EXPECT_EQ(ConnectError(other), "");
    other.Disconnect(true);
}

TEST_F(SmbConnection, DisconnectWithOpenFiles)
{
    TNetConnection con;
    Setup(con, server->DataRoot(), server->Password());
    ASSERT_EQ(ConnectError(con), "");

    FileSystem& fs = FileSystemFor(server->DataRoot());
    std::unique_ptr<FileHandle> file;
    ASSERT_EQ(fs.CreateNew(server->DataRoot() + "/open.bin", file), 0);
    ASSERT_EQ(file->Write("abc", 3), 3);

    try {
        con.Disconnect(false);
        FAIL() << "disconnected without force while a file was open";
    } catch (const EDisconnectError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Files are open on resource and force disconnect not specified");
    }
    EXPECT_EQ(file->Write("def", 3), 3);

    con.Disconnect(true);
    // The file's session is gone: its calls fail instead of touching freed memory.
    EXPECT_LT(file->Write("ghi", 3), 0);
    EXPECT_NE(file->Close(), 0);
}

TEST_F(SmbConnection, AnonymousAccessWithoutConnecting)
{
    ASSERT_TRUE(server->WriteDiskFile(server->PublicDir() + "/readme.txt", "for everyone"));
    TNetConnection con; // a program that owns a connection reaches network paths
    const std::string root = server->PublicRoot();
    FileSystem& fs = FileSystemFor(root);
    std::unique_ptr<FileHandle> file;
    ASSERT_EQ(fs.OpenRead(root + "/readme.txt", file), 0);
    char buffer[64] = {};
    ASSERT_EQ(file->Read(buffer, sizeof buffer), 12);
    EXPECT_EQ(std::string(buffer, 12), "for everyone");
    EXPECT_EQ(file->Close(), 0);

    // The private share refuses an anonymous session.
    FileStat st;
    EXPECT_NE(fs.Stat(server->DataRoot(), st), 0);
}

// A server that accepts the connection and then says nothing.
TEST(SmbConnectionTimeout, SilentServerGivesUp)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(sock, 4), 0);
    ASSERT_EQ(::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len), 0);

    TNetConnection con;
    con.SetUserName("user");
    con.SetPassword("pw");
    con.SetRemoteName("//127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/data");
    const auto start = std::chrono::steady_clock::now();
    std::string text;
    try {
        con.Connect();
    } catch (const EConnectError& e) {
        text = e.what();
    }
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(sock);
    EXPECT_EQ(text, "ERROR: Network path not found");
    // It waits the whole 10 s for an answer, and not much longer.
    EXPECT_GE(took, std::chrono::milliseconds(9500));
    EXPECT_LT(took, std::chrono::seconds(30));
    test::UninstallSmbFileSystem();
}

} // namespace
} // namespace pelmora
