#include "platform/NetPath.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(NetPath, SplitsEveryWrittenForm)
{
    NetPath p;
    ASSERT_TRUE(ParseNetPath("//fileserver/backup/2024/photos", p));
    EXPECT_EQ(p.server, "fileserver");
    EXPECT_EQ(p.port, 0);
    EXPECT_EQ(p.share, "backup");
    EXPECT_EQ(p.subPath, "/2024/photos");

    ASSERT_TRUE(ParseNetPath("smb://nas:4450/media", p));
    EXPECT_EQ(p.server, "nas");
    EXPECT_EQ(p.port, 4450);
    EXPECT_EQ(p.share, "media");
    EXPECT_EQ(p.subPath, "");

    ASSERT_TRUE(ParseNetPath("SMB://Nas/Media/", p));
    EXPECT_EQ(p.share, "Media");
    EXPECT_EQ(p.subPath, "");

    // Doubled separators and "." name the same folder.
    ASSERT_TRUE(ParseNetPath("//nas/media//a/./b", p));
    EXPECT_EQ(p.subPath, "/a/b");
}

TEST(NetPath, RejectsWhatIsNoShare)
{
    NetPath p;
    for (const char* text : {"/data/x", "relative", "//", "//server", "//server/", "///share/x", "//:445/share",
                             "//server:0/share", "//server:65536/share", "//server:44x/share", "//server:/share",
                             "//server/share/../other", "smb:/server/share"}) {
        EXPECT_FALSE(ParseNetPath(text, p)) << text;
    }
}

TEST(NetPath, RemoteNameStopsBeforeTheFourthSeparator)
{
    EXPECT_EQ(NetRemoteName("//server/share/a/b/c"), "//server/share");
    EXPECT_EQ(NetRemoteName("//server:4450/share/a"), "//server:4450/share");
    EXPECT_EQ(NetRemoteName("smb://server/share/a"), "smb://server/share");
    EXPECT_EQ(NetRemoteName("//server/share"), "//server/share");
    EXPECT_EQ(NetRemoteName("//server"), "//server");
}

TEST(NetPath, ShareKeyIgnoresLetterCaseAndSpelling)
{
    NetPath a;
    NetPath b;
    NetPath c;
    ASSERT_TRUE(ParseNetPath("//NAS/Media/x", a));
    ASSERT_TRUE(ParseNetPath("smb://nas/media", b));
    ASSERT_TRUE(ParseNetPath("//nas:4450/media", c));
    EXPECT_EQ(NetShareKey(a), NetShareKey(b));
    EXPECT_NE(NetShareKey(a), NetShareKey(c));
}

TEST(NetPath, UrlEncodesEveryComponent)
{
    NetPath p;
    ASSERT_TRUE(ParseNetPath("//nas:4450/my share/50% off #1/Grüße?;@.txt", p));
    EXPECT_EQ(SmbUrl(p), "smb://nas:4450/my%20share/50%25%20off%20%231/Gr%C3%BC%C3%9Fe%3F%3B%40.txt");
    EXPECT_EQ(UrlEncodeComponent("a-b_c.d~e"), "a-b_c.d~e");
}

} // namespace
} // namespace pelmora
