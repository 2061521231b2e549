// The desktop trash on real folders: the home trash named by XDG_DATA_HOME, the trash of
// another mount (a tmpfs the test mounts, skipped where mounting is not allowed), which
// $topdir/.Trash is trusted, and the .trashinfo files a file manager reads back.

#include "platform/PosixFileSystem.h"
#include "platform/Trash.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

std::string Decode(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

struct TrashInfo
{
    bool header = false;
    std::string path; // decoded
    std::string date;
};

TrashInfo ParseInfo(const std::string& file)
{
    TrashInfo info;
    std::istringstream in(ReadBytes(file));
    std::string line;
    while (std::getline(in, line)) {
        if (line == "[Trash Info]")
            info.header = true;
        else if (line.rfind("Path=", 0) == 0)
            info.path = Decode(line.substr(5));
        else if (line.rfind("DeletionDate=", 0) == 0)
            info.date = line.substr(13);
    }
    return info;
}

// The trashed files of a trash folder: name in files/ -> (original path, bytes).
std::map<std::string, std::pair<std::string, std::string>> Contents(const std::string& trash)
{
    std::map<std::string, std::pair<std::string, std::string>> out;
    if (!fs::exists(trash + "/files"))
        return out;
    for (const auto& entry : fs::directory_iterator(trash + "/files")) {
        const std::string name = entry.path().filename().string();
        const TrashInfo info = ParseInfo(trash + "/info/" + name + ".trashinfo");
        EXPECT_TRUE(info.header) << name;
        // Local time, to the second: a file manager sorts and shows it.
        std::tm parsed{};
        EXPECT_NE(::strptime(info.date.c_str(), "%Y-%m-%dT%H:%M:%S", &parsed), nullptr) << info.date;
        parsed.tm_isdst = -1;
        EXPECT_LT(std::abs(std::difftime(std::mktime(&parsed), std::time(nullptr))), 120.0) << info.date;
        out[name] = {info.path, ReadBytes(entry.path().string())};
    }
    return out;
}

class TrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = folder.Path("/data");
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        home = data + "/Trash";
        side = folder.Path("/side");
        fs::create_directories(side);
    }

    TempFolder folder{"trash"};
    std::string data, home, side;
};

TEST_F(TrashTest, DeletedAndReplacedFilesLandInTheHomeTrashWithInfoAFileManagerReads)
{
    const std::string odd = "50% Grüße\nnew line.txt";
    WriteBytes(side + "/docs/" + odd, "odd bytes");
    WriteBytes(side + "/docs/a.txt", "first a");
    RootedFileSystem rooted({side});

    ASSERT_EQ(rooted.MoveToTrash(side + "/docs/" + odd, {}), 0);
    ASSERT_EQ(rooted.MoveToTrash(side + "/docs/a.txt", {}), 0);
    // The same name again, in the same run and in another one: both are kept.
    WriteBytes(side + "/docs/a.txt", "second a");
    ASSERT_EQ(rooted.MoveToTrash(side + "/docs/a.txt", {}), 0);
    WriteBytes(side + "/docs/a.txt", "third a");
    RootedFileSystem nextRun({side});
    ASSERT_EQ(nextRun.MoveToTrash(side + "/docs/a.txt", {}), 0);
    // A replace: the old file goes first, then the new one takes its name.
    WriteBytes(side + "/docs/r.txt", "old r");
    WriteBytes(side + "/docs/.new", "new r");
    TrashOutcome outcome;
    ASSERT_EQ(nextRun.ReplaceIntoTrash(side + "/docs/.new", side + "/docs/r.txt", true, {}, outcome), 0);
    EXPECT_TRUE(outcome.Trashed);
    EXPECT_EQ(ReadBytes(side + "/docs/r.txt"), "new r");
    // A new file replaces nothing and trashes nothing.
    WriteBytes(side + "/docs/.fresh", "fresh");
    ASSERT_EQ(nextRun.ReplaceIntoTrash(side + "/docs/.fresh", side + "/docs/f.txt", false, {}, outcome), 0);
    EXPECT_FALSE(outcome.Trashed);

    EXPECT_EQ(TreeOf(side), (std::set<std::string>{"docs/", "docs/f.txt", "docs/r.txt"}));
    std::multiset<std::pair<std::string, std::string>> trashed;
    for (const auto& [name, entry] : Contents(home))
        trashed.insert(entry);
    EXPECT_EQ(trashed, (std::multiset<std::pair<std::string, std::string>>{
                           {side + "/docs/" + odd, "odd bytes"},
                           {side + "/docs/a.txt", "first a"},
                           {side + "/docs/a.txt", "second a"},
                           {side + "/docs/a.txt", "third a"},
                           {side + "/docs/r.txt", "old r"},
                       }));
    // The path is written percent-encoded: the line break cannot split the .trashinfo.
    bool encoded = false;
    for (const auto& entry : fs::directory_iterator(home + "/info"))
        encoded =
            encoded || ReadBytes(entry.path().string()).find("50%25%20Gr%C3%BC%C3%9Fe%0Anew") != std::string::npos;
    EXPECT_TRUE(encoded);
    // A folder is not the trash's to take, and nothing missing is reported as trashed.
    fs::create_directories(side + "/folder");
    EXPECT_EQ(rooted.MoveToTrash(side + "/folder", {}), EISDIR);
    EXPECT_EQ(rooted.MoveToTrash(side + "/docs/none", {}), ENOENT);
    EXPECT_EQ(PosixFileSystem().MoveToTrash(side + "/docs/none", {}), ENOENT);
}

// A tmpfs of the test's own: another file system than the home trash's.
class OtherMountTrash : public TrashTest
{
protected:
    void SetUp() override
    {
        TrashTest::SetUp();
        mnt = folder.Path("/mnt");
        fs::create_directories(mnt);
        if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=4m,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "); needs root";
        mounted = true;
        WriteBytes(mnt + "/dir/file.txt", "on the other mount");
    }
    void TearDown() override
    {
        if (mounted)
            ::umount2(mnt.c_str(), MNT_DETACH);
    }

    // Trashes mnt/dir/file.txt with a run's file system, which is closed again after.
    int Trash()
    {
        RootedFileSystem rooted({mnt + "/dir"});
        return rooted.MoveToTrash(mnt + "/dir/file.txt", {});
    }

    std::string mnt;
    bool mounted = false;
    const std::string uid = std::to_string(::geteuid());
};

TEST_F(OtherMountTrash, UsesTheMountsOwnTrashAndNeverCopiesIntoTheHomeTrash)
{
    ASSERT_EQ(Trash(), 0);
    const std::string own = mnt + "/.Trash-" + uid;
    struct stat st
    {
    };
    ASSERT_EQ(::lstat(own.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(Contents(own), (std::map<std::string, std::pair<std::string, std::string>>{
                                 {"file.txt", {mnt + "/dir/file.txt", "on the other mount"}}}));
    EXPECT_TRUE(Contents(home).empty());
    EXPECT_FALSE(fs::exists(mnt + "/dir/file.txt"));
}

TEST_F(OtherMountTrash, AnAdministratorsTrashIsUsedOnlyWhenItIsARealFolderWithTheStickyBit)
{
    // A link named .Trash, and a .Trash without the sticky bit: neither is trusted.
    fs::create_directories(mnt + "/elsewhere");
    fs::create_directory_symlink(mnt + "/elsewhere", mnt + "/.Trash");
    ::chmod((mnt + "/elsewhere").c_str(), 01777);
    ASSERT_EQ(Trash(), 0);
    EXPECT_TRUE(fs::is_empty(mnt + "/elsewhere"));
    EXPECT_EQ(Contents(mnt + "/.Trash-" + uid).size(), 1u);

    fs::remove(mnt + "/.Trash");
    fs::create_directories(mnt + "/.Trash");
    ::chmod((mnt + "/.Trash").c_str(), 0777);
    WriteBytes(mnt + "/dir/file.txt", "second");
    ASSERT_EQ(Trash(), 0);
    EXPECT_TRUE(fs::is_empty(mnt + "/.Trash"));
    EXPECT_EQ(Contents(mnt + "/.Trash-" + uid).size(), 2u);

    // With the sticky bit it is the trash of every user: this one's is .Trash/<uid>.
    ::chmod((mnt + "/.Trash").c_str(), 01777);
    WriteBytes(mnt + "/dir/file.txt", "third");
    ASSERT_EQ(Trash(), 0);
    EXPECT_EQ(Contents(mnt + "/.Trash/" + uid), (std::map<std::string, std::pair<std::string, std::string>>{
                                                    {"file.txt", {mnt + "/dir/file.txt", "third"}}}));
    EXPECT_TRUE(Contents(home).empty());
}

TEST_F(OtherMountTrash, AReadOnlyMountKeepsTheFile)
{
    ASSERT_EQ(::mount(nullptr, mnt.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
    EXPECT_EQ(Trash(), EROFS);
    EXPECT_EQ(ReadBytes(mnt + "/dir/file.txt"), "on the other mount");
    EXPECT_TRUE(Contents(home).empty());
}

} // namespace
} // namespace pelmora
