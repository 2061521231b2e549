#include "platform/SmbLibrary.h"

#include "platform/FileSystem.h"
#include "platform/NetConnection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pelmora {
namespace {

bool MapsMention(const std::string& name)
{
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find(name) != std::string::npos;
}

// The library is loaded once per process, so the missing one is tried in a freshly started
// copy of this program ("threadsafe" death tests start one), where nothing has loaded it yet.
// The child reports what it saw on standard error and ends with 0 only when all held.
TEST(SmbLibraryDeathTest, MissingLibraryRefusesSharesWithItsReason)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto child = [] {
        setenv("PELMORA_SMBCLIENT_LIBRARY", "libpelmora-absent-smbclient.so.0", 1);
        int bad = 0;
        // A login: refused with the loader's reason, not a network error code.
        TNetConnection net;
        net.SetRemoteName("//127.0.0.1/data");
        net.SetUserName("someone");
        net.SetPassword("secret");
        try {
            net.Connect();
            std::fputs("connected without a library\n", stderr);
            ++bad;
        } catch (const EConnectError& e) {
            std::fprintf(stderr, "%s\n", e.what());
        }
        // Anonymous access through the file system: a plain error code, no call through a
        // missing function.
        FileStat st;
        const int err = FileSystemFor("//127.0.0.1/data/a.txt").Stat("//127.0.0.1/data/a.txt", st);
        if (err != ELIBACC) {
            std::fprintf(stderr, "stat gave %d\n", err);
            ++bad;
        }
        if (SmbClient() != nullptr || NetClientError() != SmbClientError()) {
            std::fputs("the table or the reason disagree\n", stderr);
            ++bad;
        }
        std::exit(bad);
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(0),
                "^ERROR: The SMB client library libpelmora-absent-smbclient\\.so\\.0 could not be loaded: "
                "libpelmora-absent-smbclient\\.so\\.0: cannot open shared object file");
}

// The real library: loaded on the first use of a share and not before.
TEST(SmbLibraryDeathTest, LoadedOnFirstShareUse)
{
#ifdef PELMORA_SMBCLIENT_AT_START
    GTEST_SKIP() << "this build loads libsmbclient at start (see platform/CMakeLists.txt)";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto child = [] {
        unsetenv("PELMORA_SMBCLIENT_LIBRARY");
        int bad = 0;
        FileStat st;
        FileSystemFor("/tmp").Stat("/tmp", st);
        if (MapsMention("libsmbclient")) {
            std::fputs("loaded before any share was used\n", stderr);
            ++bad;
        }
        if (SmbClient() == nullptr || !SmbClientError().empty() || !MapsMention("libsmbclient")) {
            std::fprintf(stderr, "not loaded: %s\n", SmbClientError().c_str());
            ++bad;
        }
        std::exit(bad);
    };
    EXPECT_EXIT(child(), testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace pelmora
