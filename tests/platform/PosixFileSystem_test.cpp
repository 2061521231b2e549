#include "platform/FileSystem.h"
#include "tests/support/FaultFileSystem.h"

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

// A temporary folder of its own for each test.
class LocalFs : public testing::Test
{
protected:
    void SetUp() override { root = m_folder.Root(); }
    std::string path(const std::string& rel) const { return root + rel; }
    void write(const std::string& rel, const std::string& content) const
    {
        std::ofstream(path(rel), std::ios::binary) << content;
    }
    std::string read(const std::string& rel) const { return test::ReadBytes(path(rel)); }
    std::map<std::string, FileStat> list(FileSystem& files, const std::string& rel = "") const
    {
        std::map<std::string, FileStat> out;
        EXPECT_EQ(files.ListDir(path(rel),
                                [&](const DirEntry& e) {
                                    out[std::string(e.name)] = e.stat;
                                    return true;
                                }),
                  0);
        return out;
    }

    test::TempFolder m_folder{"fs"};
    std::string root;
    FileSystem& fs = LocalFileSystem();
};

TEST_F(LocalFs, ListDirClassifiesEntriesWithoutFollowingFolderLinks)
{
    write("/file", "12345");
    ASSERT_EQ(::mkdir(path("/dir").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(path("/file").c_str(), path("/filelink").c_str()), 0);
    ASSERT_EQ(::symlink(path("/dir").c_str(), path("/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink(path("/none").c_str(), path("/dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(path("/fifo").c_str(), 0644), 0);
    struct timespec t[2] = {{1600000000, 0}, {1600000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("/file").c_str(), t, 0), 0);

    auto entries = list(fs);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries["file"].type, EntryType::File);
    EXPECT_EQ(entries["file"].size, 5);
    EXPECT_EQ(entries["file"].mtimeSec, 1600000000);
    EXPECT_EQ(entries["filelink"].type, EntryType::File);
    EXPECT_EQ(entries["filelink"].size, 5);
    EXPECT_EQ(entries["dir"].type, EntryType::Dir);
    EXPECT_EQ(entries["dirlink"].type, EntryType::Other);
    EXPECT_EQ(entries["dangling"].type, EntryType::Other);
    EXPECT_EQ(entries["fifo"].type, EntryType::Other);

    FileStat st;
    EXPECT_EQ(fs.Stat(path("/dirlink"), st), 0);
    EXPECT_EQ(st.type, EntryType::Other);
    EXPECT_EQ(fs.Stat(path("/dirlink/"), st), 0); // with a separator the link's folder is meant
    EXPECT_EQ(st.type, EntryType::Dir);
    EXPECT_EQ(fs.Stat(path("/none"), st), ENOENT);
    EXPECT_EQ(fs.ListDir(path("/none"), [](const DirEntry&) { return true; }), ENOENT);
    EXPECT_EQ(fs.ListDir(path("/file"), [](const DirEntry&) { return true; }), ENOTDIR);
}

TEST_F(LocalFs, ListDirHandlesLargeFoldersAndEarlyStop)
{
    ASSERT_EQ(::mkdir(path("/big").c_str(), 0755), 0);
    for (int i = 0; i < 1500; ++i)
        write("/big/a-rather-long-file-name-to-fill-the-buffer-" + std::to_string(i), "");
    EXPECT_EQ(list(fs, "/big").size(), 1500u);
    int seen = 0;
    EXPECT_EQ(fs.ListDir(path("/big"), [&](const DirEntry&) { return ++seen < 10; }), 0);
    EXPECT_EQ(seen, 10);
}

TEST_F(LocalFs, OpenReadRefusesFifoWithoutBlocking)
{
    ASSERT_EQ(::mkfifo(path("/fifo").c_str(), 0644), 0);
    auto result = std::async(std::launch::async, [&] {
        std::unique_ptr<FileHandle> h;
        return fs.OpenRead(path("/fifo"), h);
    });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(result.get(), 0);
    std::unique_ptr<FileHandle> h;
    EXPECT_EQ(fs.OpenRead(root, h), EISDIR);
}

TEST_F(LocalFs, CreateNewWritesPrivateFileAndNeverReplaces)
{
    std::unique_ptr<FileHandle> h;
    ASSERT_EQ(fs.CreateNew(path("/new"), h), 0);
    EXPECT_EQ(h->Write("hello", 5), 5);
    EXPECT_EQ(h->Close(), 0);
    EXPECT_EQ(read("/new"), "hello");
    struct stat st;
    ASSERT_EQ(::stat(path("/new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::unique_ptr<FileHandle> again;
    EXPECT_EQ(fs.CreateNew(path("/new"), again), EEXIST);
    write("/target", "keep");
    ASSERT_EQ(::symlink(path("/target").c_str(), path("/link").c_str()), 0);
    EXPECT_NE(fs.CreateNew(path("/link"), again), 0);
    EXPECT_EQ(read("/target"), "keep");

    std::unique_ptr<FileHandle> r;
    ASSERT_EQ(fs.OpenRead(path("/new"), r), 0);
    char buf[16];
    EXPECT_EQ(r->Read(buf, sizeof buf), 5);
    EXPECT_EQ(r->Read(buf, sizeof buf), 0);
}

TEST_F(LocalFs, RenameReplacesALinkNotItsTarget)
{
    write("/outside", "precious");
    ASSERT_EQ(::symlink(path("/outside").c_str(), path("/dest").c_str()), 0);
    write("/tmp", "new content");
    EXPECT_EQ(fs.Rename(path("/tmp"), path("/dest")), 0);
    EXPECT_EQ(read("/outside"), "precious");
    EXPECT_EQ(read("/dest"), "new content");
    struct stat st;
    ASSERT_EQ(::lstat(path("/dest").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(LocalFs, TimesModesFoldersAndRemoval)
{
    write("/f", "x");
    EXPECT_EQ(fs.SetMTime(path("/f"), 1500000000), 0);
    FileStat st;
    ASSERT_EQ(fs.Stat(path("/f"), st), 0);
    EXPECT_EQ(st.mtimeSec, 1500000000);
    EXPECT_EQ(fs.SetMode(path("/f"), 0640), 0);
    ASSERT_EQ(fs.Stat(path("/f"), st), 0);
    EXPECT_EQ(st.mode, 0640u);

    write("/other", "o");
    ::chmod(path("/other").c_str(), 0644);
    ASSERT_EQ(::symlink(path("/other").c_str(), path("/l").c_str()), 0);
    EXPECT_EQ(fs.SetMode(path("/l"), 0777), ELOOP);
    ASSERT_EQ(fs.Stat(path("/other"), st), 0);
    EXPECT_EQ(st.mode, 0644u);

    EXPECT_EQ(fs.MakeDir(path("/d")), 0);
    EXPECT_EQ(fs.MakeDir(path("/d")), EEXIST);
    write("/d/in", "i");
    EXPECT_EQ(fs.RemoveDir(path("/d")), ENOTEMPTY);
    EXPECT_EQ(fs.RemoveFile(path("/d/in")), 0);
    EXPECT_EQ(fs.RemoveDir(path("/d")), 0);
    EXPECT_EQ(fs.RemoveFile(path("/d/in")), ENOENT);
}

TEST(FileSystemFor, NetworkPathsNeverReachTheLocalFileSystem)
{
    EXPECT_TRUE(IsNetworkPath("//server/share"));
    EXPECT_TRUE(IsNetworkPath("smb://server/share"));
    EXPECT_TRUE(IsNetworkPath("SMB://server/share"));
    EXPECT_FALSE(IsNetworkPath("/data"));
    EXPECT_FALSE(IsNetworkPath("//"));
    EXPECT_FALSE(IsNetworkPath("///data"));
    EXPECT_FALSE(IsNetworkPath("smb:/x"));

    EXPECT_EQ(&FileSystemFor("/data"), &LocalFileSystem());
    FileSystem& unregistered = FileSystemFor("//server/share");
    EXPECT_NE(&unregistered, &LocalFileSystem());
    FileStat st;
    EXPECT_EQ(unregistered.Stat("//server/share", st), ENOTCONN);

    FaultFileSystem network(LocalFileSystem());
    RegisterNetworkFileSystem(&network);
    EXPECT_EQ(&FileSystemFor("//server/share/x"), &network);
    EXPECT_EQ(&FileSystemFor("/local"), &LocalFileSystem());
    RegisterNetworkFileSystem(nullptr);
    EXPECT_NE(&FileSystemFor("//server/share"), &network);
}

TEST_F(LocalFs, FaultWrapperFailsTheChosenCallsOnly)
{
    FaultFileSystem faulty(fs);
    faulty.FailNthWrite(2, ENOSPC);
    std::unique_ptr<FileHandle> h;
    ASSERT_EQ(faulty.CreateNew(path("/w"), h), 0);
    EXPECT_EQ(h->Write("ab", 2), 2);
    EXPECT_EQ(h->Write("cd", 2), -ENOSPC);
    EXPECT_EQ(h->Write("ef", 2), 2);
    EXPECT_EQ(h->Close(), 0);
    EXPECT_EQ(read("/w"), "abef");
    EXPECT_EQ(faulty.Calls(FsCall::Write), 3);

    write("/a", "a");
    faulty.FailRename(path("/b"), EXDEV);
    EXPECT_EQ(faulty.Rename(path("/a"), path("/b")), EXDEV);
    EXPECT_EQ(read("/a"), "a");
    EXPECT_EQ(faulty.Rename(path("/a"), path("/c")), 0);

    faulty.FailOpen(path("/c"), EACCES);
    std::unique_ptr<FileHandle> r;
    EXPECT_EQ(faulty.OpenRead(path("/c"), r), EACCES);
    EXPECT_EQ(faulty.OpenRead(path("/w"), r), 0);

    faulty.FailListDir(root, EIO);
    EXPECT_EQ(faulty.ListDir(root, [](const DirEntry&) { return true; }), EIO);

    faulty.ClearFaults();
    EXPECT_EQ(faulty.ListDir(root, [](const DirEntry&) { return true; }), 0);
    faulty.AddFault({FsCall::RemoveFile, {}, 0, EPERM});
    EXPECT_EQ(faulty.RemoveFile(path("/c")), EPERM);
    EXPECT_EQ(read("/c"), "a");
}

} // namespace
} // namespace pelmora
