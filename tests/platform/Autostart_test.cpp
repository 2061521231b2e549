#include "platform/Autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/TempFolder.h"

namespace pelmora {
namespace {

// Sets one environment variable for the length of a test and puts the old value back.
class ScopedVariable
{
public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        m_had = std::getenv(name) != nullptr;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(Autostart, EntryIsWrittenUnderXdgConfigHomeAndRemovedAgain)
{
    test::TempFolder dir("autostart");
    ScopedVariable config("XDG_CONFIG_HOME", dir / "config");
    const std::string file = dir / "config/autostart/pelmora.desktop";
    EXPECT_EQ(AutostartFileName(), file);
    EXPECT_FALSE(AutostartEnabled());

    // The folders are made; the entry starts this program by its path in the notification area.
    ASSERT_TRUE(SetAutostart(true, "/opt/pelmora/pelmora"));
    EXPECT_TRUE(AutostartEnabled());
    const std::string text = dir.Read("/config/autostart/pelmora.desktop");
    EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=/opt/pelmora/pelmora /H\n"), std::string::npos) << text;
    // Switched on twice, it is still one entry, and no temporary file is left beside it.
    ASSERT_TRUE(SetAutostart(true, "/opt/pelmora/pelmora"));
    EXPECT_EQ(dir.Read("/config/autostart/pelmora.desktop"), text);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "config/autostart"), {}), 1);

    // A desktop that switches the entry off instead of removing it is believed.
    std::ofstream(file, std::ios::app) << "Hidden=true\n";
    EXPECT_FALSE(AutostartEnabled());

    ASSERT_TRUE(SetAutostart(false, ""));
    EXPECT_FALSE(dir.Exists("/config/autostart/pelmora.desktop"));
    EXPECT_FALSE(AutostartEnabled());
    EXPECT_TRUE(SetAutostart(false, "")) << "removing an entry that is not there";
}

TEST(Autostart, FolderFallsBackToHomeAndFailuresSayWhy)
{
    test::TempFolder dir("autostart-home");
    ScopedVariable home("HOME", dir.Root());
    {
        // Not absolute: ignored, as the base-directory rules say.
        ScopedVariable config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(AutostartFolder(), dir / ".config/autostart");
    }
    ScopedVariable config("XDG_CONFIG_HOME", "");
    EXPECT_EQ(AutostartFolder(), dir / ".config/autostart");

    // A file where the folder should be: nothing is written and the reason names the place.
    dir.File("/.config/autostart", "not a folder");
    std::string error;
    EXPECT_FALSE(SetAutostart(true, "/usr/bin/pelmora", &error));
    EXPECT_NE(error.find(".config/autostart"), std::string::npos) << error;
    EXPECT_FALSE(AutostartEnabled());
}

TEST(Autostart, ExecQuotesPathsThatNeedIt)
{
    EXPECT_EQ(DesktopExecArgument("/usr/bin/pelmora"), "/usr/bin/pelmora");
    EXPECT_EQ(DesktopExecArgument("/home/anna/my apps/pelmora"), "\"/home/anna/my apps/pelmora\"");
    EXPECT_EQ(DesktopExecArgument("/tmp/100%/pelmora"), "/tmp/100%%/pelmora");
    EXPECT_EQ(DesktopExecArgument("/tmp/a\"b$c`d\\e/pelmora"), "\"/tmp/a\\\"b\\$c\\`d\\\\e/pelmora\"");
    // In the file the value is a string as well: each backslash of the quoting is doubled.
    const std::string entry = AutostartEntry("/tmp/a\"b/pelmora");
    EXPECT_NE(entry.find("\nExec=\"/tmp/a\\\\\"b/pelmora\" /H\n"), std::string::npos) << entry;
}

} // namespace
} // namespace pelmora
