// The run's file system against another program that swaps a folder for a link while the run
// goes on, against links where names are written, and against paths longer than the system's
// path limit. Every case runs with both ways of resolving a path below a root.

#include "platform/PosixFileSystem.h"

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

namespace stdfs = std::filesystem;

class RootedFs : public testing::TestWithParam<RootedFileSystem::Resolve>
{
protected:
    void SetUp() override
    {
        base = m_folder.Root();
        root = base + "/root";
        outside = base + "/outside";
        stdfs::create_directories(root + "/sub");
        stdfs::create_directories(outside + "/empty");
        write(outside + "/victim.txt", "outside data");
        ::chmod((outside + "/victim.txt").c_str(), 0644);
    }

    static void write(const std::string& path, const std::string& content)
    {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string read(const std::string& path) { return test::ReadBytes(path); }
    // What another program does in the middle of a run: the folder moves aside and a link to
    // a folder outside the tree takes its name.
    void swapSubForLink()
    {
        stdfs::rename(root + "/sub", root + "/moved");
        stdfs::create_directory_symlink(outside, root + "/sub");
    }
    std::set<std::string> outsideTree() const
    {
        std::set<std::string> names;
        for (const auto& e : stdfs::recursive_directory_iterator(outside))
            names.insert(stdfs::relative(e.path(), outside).string());
        return names;
    }

    test::TempFolder m_folder{"rooted"};
    std::string base, root, outside;
};

TEST_P(RootedFs, NoCallReachesOutsideThroughAFolderSwappedForALink)
{
    RootedFileSystem fs({root}, GetParam());
    write(root + "/sub/a.txt", "a");
    // The handle of the root is taken before the swap, as a run takes it at its first call.
    FileStat st;
    ASSERT_EQ(fs.Stat(root + "/sub/a.txt", st), 0);
    EXPECT_EQ(st.type, EntryType::File);
    swapSubForLink();
    const std::set<std::string> before = outsideTree();
    struct stat victimBefore;
    ASSERT_EQ(::stat((outside + "/victim.txt").c_str(), &victimBefore), 0);

    std::unique_ptr<FileHandle> file;
    EXPECT_NE(fs.CreateNew(root + "/sub/new.txt", file), 0);
    EXPECT_EQ(file, nullptr);
    EXPECT_NE(fs.MakeDir(root + "/sub/made"), 0);
    EXPECT_NE(fs.Rename(root + "/moved/a.txt", root + "/sub/a.txt"), 0);
    EXPECT_NE(fs.RemoveFile(root + "/sub/victim.txt"), 0);
    EXPECT_NE(fs.RemoveDir(root + "/sub/empty"), 0);
    EXPECT_NE(fs.SetMTime(root + "/sub/victim.txt", 1000000000), 0);
    EXPECT_NE(fs.SetMode(root + "/sub/victim.txt", 0600), 0);
    EXPECT_NE(fs.OpenRead(root + "/sub/victim.txt", file), 0);
    int entries = 0;
    EXPECT_EQ(fs.ListDir(root + "/sub/", [&](const DirEntry&) { return ++entries, true; }), ELOOP);
    EXPECT_EQ(entries, 0);
    EXPECT_NE(fs.Stat(root + "/sub/victim.txt", st), 0);

    EXPECT_EQ(outsideTree(), before);
    EXPECT_EQ(read(outside + "/victim.txt"), "outside data");
    struct stat victimAfter;
    ASSERT_EQ(::stat((outside + "/victim.txt").c_str(), &victimAfter), 0);
    EXPECT_EQ(victimAfter.st_mtime, victimBefore.st_mtime);
    EXPECT_EQ(victimAfter.st_mode & 07777, 0644u);
    // The folder that moved aside is still reached under its new name.
    EXPECT_EQ(read(root + "/moved/a.txt"), "a");
    EXPECT_EQ(fs.RemoveFile(root + "/moved/a.txt"), 0);
}

// A copy keeps its folder open for the next copy into it. A link swapped in for that folder is
// still never followed: the copies go on in the folder itself, wherever it now is, and a
// deletion, which looks its folder up afresh, meets the link and is refused.
TEST_P(RootedFs, CopiesIntoAKeptFolderNeverFollowALinkSwappedInForIt)
{
    RootedFileSystem fs({root}, GetParam());
    write(root + "/sub/a.txt", "a");
    write(root + "/sub/old.txt", "old");
    std::unique_ptr<FileHandle> file;
    ASSERT_EQ(fs.OpenRead(root + "/sub/a.txt", file), 0);
    file.reset();
    swapSubForLink();
    const std::set<std::string> before = outsideTree();

    ASSERT_EQ(fs.CreateNew(root + "/sub/b.part", file), 0);
    ASSERT_EQ(file->Write("b", 1), 1);
    ASSERT_EQ(file->Close(), 0);
    file.reset();
    EXPECT_EQ(fs.SetMTime(root + "/sub/b.part", 1000000000), 0);
    EXPECT_EQ(fs.SetMode(root + "/sub/b.part", 0640), 0);
    EXPECT_EQ(fs.Rename(root + "/sub/b.part", root + "/sub/b.txt"), 0);
    EXPECT_EQ(read(root + "/moved/b.txt"), "b");
    EXPECT_NE(fs.RemoveFile(root + "/sub/old.txt"), 0);
    EXPECT_NE(fs.RemoveFile(root + "/sub/victim.txt"), 0);

    EXPECT_EQ(outsideTree(), before);
    EXPECT_EQ(read(outside + "/victim.txt"), "outside data");
    EXPECT_EQ(read(root + "/moved/old.txt"), "old");
}

// A kept folder that goes away is not written to: one removed and made again by another
// program gets the next copy in its new self, and one this file system renames or removes is
// forgotten, so a copy under the old name fails instead of landing under the new one.
TEST_P(RootedFs, AKeptFolderThatIsRemovedOrRenamedIsLookedUpAgain)
{
    RootedFileSystem fs({root}, GetParam());
    write(root + "/sub/a.txt", "a");
    std::unique_ptr<FileHandle> file;
    ASSERT_EQ(fs.OpenRead(root + "/sub/a.txt", file), 0);
    file.reset();
    stdfs::remove_all(root + "/sub");
    stdfs::create_directory(root + "/sub");
    ASSERT_EQ(fs.CreateNew(root + "/sub/b.txt", file), 0);
    file.reset();
    EXPECT_TRUE(stdfs::exists(root + "/sub/b.txt"));

    ASSERT_EQ(fs.Rename(root + "/sub", root + "/renamed"), 0);
    EXPECT_EQ(fs.CreateNew(root + "/sub/c.txt", file), ENOENT);
    EXPECT_FALSE(stdfs::exists(root + "/renamed/c.txt"));

    ASSERT_EQ(fs.OpenRead(root + "/renamed/b.txt", file), 0);
    file.reset();
    ASSERT_EQ(fs.RemoveFile(root + "/renamed/b.txt"), 0);
    ASSERT_EQ(fs.RemoveDir(root + "/renamed"), 0);
    ASSERT_EQ(fs.MakeDir(root + "/renamed"), 0);
    ASSERT_EQ(fs.CreateNew(root + "/renamed/d.txt", file), 0);
    file.reset();
    EXPECT_TRUE(stdfs::exists(root + "/renamed/d.txt"));
}

TEST_P(RootedFs, ALinkAtTheNameItselfIsReplacedOrRefusedNeverWrittenThrough)
{
    RootedFileSystem fs({root}, GetParam());
    stdfs::create_symlink(outside + "/victim.txt", root + "/sub/link.txt");

    // Reading and looking at a link to a file takes the file, as the listing does.
    FileStat st;
    ASSERT_EQ(fs.Stat(root + "/sub/link.txt", st), 0);
    EXPECT_EQ(st.type, EntryType::File);
    std::unique_ptr<FileHandle> file;
    EXPECT_EQ(fs.OpenRead(root + "/sub/link.txt", file), 0);
    file.reset();

    EXPECT_EQ(fs.CreateNew(root + "/sub/link.txt", file), EEXIST);
    EXPECT_NE(fs.SetMode(root + "/sub/link.txt", 0600), 0);
    EXPECT_EQ(fs.SetMTime(root + "/sub/link.txt", 1000000000), 0) << "the link's own time";
    write(root + "/sub/new.txt", "new");
    ASSERT_EQ(fs.Rename(root + "/sub/new.txt", root + "/sub/link.txt"), 0);
    EXPECT_FALSE(stdfs::is_symlink(root + "/sub/link.txt"));
    EXPECT_EQ(read(root + "/sub/link.txt"), "new");

    stdfs::create_symlink(outside + "/victim.txt", root + "/sub/link2.txt");
    EXPECT_EQ(fs.RemoveFile(root + "/sub/link2.txt"), 0);
    EXPECT_FALSE(stdfs::exists(stdfs::symlink_status(root + "/sub/link2.txt")));

    EXPECT_EQ(read(outside + "/victim.txt"), "outside data");
    struct stat victim;
    ASSERT_EQ(::stat((outside + "/victim.txt").c_str(), &victim), 0);
    EXPECT_EQ(victim.st_mode & 07777, 0644u);
    EXPECT_NE(victim.st_mtime, 1000000000);
}

TEST_P(RootedFs, PathsLongerThanTheSystemLimitWorkBelowARoot)
{
    RootedFileSystem fs({root}, GetParam());
    const std::string component(200, 'd');
    std::string path = root;
    for (int i = 0; i < 25; ++i) {
        path += "/" + component;
        ASSERT_EQ(fs.MakeDir(path), 0) << "level " << i;
    }
    ASSERT_GT(path.size(), static_cast<std::size_t>(PATH_MAX));
    std::unique_ptr<FileHandle> out;
    ASSERT_EQ(fs.CreateNew(path + "/deep.txt", out), 0);
    ASSERT_EQ(out->Write("deep", 4), 4);
    ASSERT_EQ(out->Close(), 0);
    FileStat st;
    ASSERT_EQ(fs.Stat(path + "/deep.txt", st), 0);
    EXPECT_EQ(st.size, 4);
    std::vector<std::string> names;
    ASSERT_EQ(fs.ListDir(path + "/", [&](const DirEntry& e) { return names.emplace_back(e.name), true; }), 0);
    EXPECT_EQ(names, std::vector<std::string>{"deep.txt"});
    std::unique_ptr<FileHandle> in;
    ASSERT_EQ(fs.OpenRead(path + "/deep.txt", in), 0);
    char buffer[8];
    EXPECT_EQ(in->Read(buffer, sizeof buffer), 4);
    EXPECT_EQ(fs.RemoveFile(path + "/deep.txt"), 0);
    EXPECT_EQ(fs.RemoveDir(path), 0);
}

TEST_P(RootedFs, TheRootItselfAndPathsOutsideIt)
{
    // A root named through a link is the folder the link names, as the user chose.
    stdfs::create_directory_symlink(root, base + "/via-link");
    RootedFileSystem fs({base + "/via-link", "//server/share/x"}, GetParam());
    FileStat st;
    ASSERT_EQ(fs.Stat(base + "/via-link/", st), 0);
    EXPECT_EQ(st.type, EntryType::Dir);
    write(root + "/top.txt", "top");
    int seen = 0;
    ASSERT_EQ(fs.ListDir(base + "/via-link/", [&](const DirEntry&) { return ++seen, true; }), 0);
    EXPECT_EQ(seen, 2); // sub and top.txt
    EXPECT_EQ(fs.RemoveDir(base + "/via-link"), EBUSY);
    EXPECT_EQ(fs.RemoveFile(base + "/via-link/../outside/victim.txt"), EXDEV);
    EXPECT_EQ(read(outside + "/victim.txt"), "outside data");

    // Outside every root the plain file system serves, links and all.
    ASSERT_EQ(fs.Stat(outside + "/victim.txt", st), 0);
    EXPECT_EQ(fs.MakeDir(outside + "/made"), 0);
    EXPECT_TRUE(stdfs::is_directory(outside + "/made"));

    // A root that does not exist yet is made like any folder and used from then on.
    RootedFileSystem later({base + "/later"}, GetParam());
    EXPECT_EQ(later.Stat(base + "/later/", st), ENOENT);
    ASSERT_EQ(later.MakeDir(base + "/later"), 0);
    ASSERT_EQ(later.MakeDir(base + "/later/in"), 0);
    EXPECT_TRUE(stdfs::is_directory(base + "/later/in"));
}

INSTANTIATE_TEST_SUITE_P(BothResolvers, RootedFs,
                         testing::Values(RootedFileSystem::Resolve::Auto, RootedFileSystem::Resolve::ComponentWise),
                         [](const auto& row) {
                             return row.param == RootedFileSystem::Resolve::Auto ? "Openat2" : "ComponentWise";
                         });

} // namespace
} // namespace pelmora
