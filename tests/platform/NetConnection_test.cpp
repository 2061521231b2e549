#include "platform/NetConnection.h"

#include "platform/FileSystem.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(NetConnection, PropertyRules)
{
    TNetConnection con;
    EXPECT_EQ(con.ResourceType(), rtDisk);

    con.SetLocalName("Z:");
    con.SetReconnectAtLogon(true);
    EXPECT_TRUE(con.ReconnectAtLogon());
    try {
        con.SetResourceType(rtAny);
        FAIL() << "rtAny accepted with a local name";
    } catch (const EParameterError& e) {
        EXPECT_STREQ(e.what(), "Cannot be rtAny when LocalName is set");
    }
    EXPECT_EQ(con.ResourceType(), rtDisk);

    // Blanks only: stored as given, and the reconnect flag goes off.
    con.SetLocalName("   ");
    EXPECT_EQ(con.LocalName(), "   ");
    EXPECT_FALSE(con.ReconnectAtLogon());
    try {
        con.SetReconnectAtLogon(true);
        FAIL() << "reconnect accepted without a local name";
    } catch (const EParameterError& e) {
        EXPECT_STREQ(e.what(), "No local resource assigned");
    }

    con.SetResourceType(rtAny);
    try {
        con.SetLocalName("Y:");
        FAIL() << "local name accepted with rtAny";
    } catch (const EParameterError& e) {
        EXPECT_STREQ(e.what(), "Cannot be set when ResourseType is rtAny");
    }
    EXPECT_EQ(con.LocalName(), "   ");
    con.SetLocalName("");
    EXPECT_EQ(con.LocalName(), "");
    RegisterNetworkFileSystem(nullptr); // installed by the constructor
}

TEST(NetConnection, ErrorTexts)
{
    EXPECT_EQ(ErrorText(1326), "User name or password incorrect");
    EXPECT_EQ(ErrorText(53), "Network path not found");
    EXPECT_EQ(ErrorText(67), "Network resource name is invalid or unlocatable");
    EXPECT_EQ(ErrorText(2401), "Files are open on resource and force disconnect not specified");
    EXPECT_EQ(ErrorText(1234), "1234: Unhandled Error");
    EXPECT_EQ(ErrorText(0), "0: Unhandled Error");
}

TEST(NetConnection, FailuresWithoutAServer)
{
    TNetConnection con;
    con.SetUserName("user");
    con.SetPassword("pw");

    con.SetRemoteName("//server-without-share");
    try {
        con.Connect();
        FAIL() << "connected to a path without a share";
    } catch (const EConnectError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Network resource name is invalid or unlocatable");
    }

    // No name service knows this server.
    con.SetRemoteName("//no-such-server.invalid/share");
    try {
        con.Connect();
        FAIL() << "connected to a server that does not exist";
    } catch (const EConnectError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Network path not found");
    }

    con.SetRemoteName("//127.0.0.1/share");
    try {
        con.Disconnect(true);
        FAIL() << "disconnected a share that was never connected";
    } catch (const EDisconnectError& e) {
        EXPECT_STREQ(e.what(), "ERROR: Not connected to specified resource or on specified device");
    }
    RegisterNetworkFileSystem(nullptr);
}

} // namespace
} // namespace pelmora
