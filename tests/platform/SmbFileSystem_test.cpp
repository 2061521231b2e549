#include "tests/support/SmbTestServer.h"
#include "tests/support/TestFiles.h"

#include "platform/FileSystem.h"
#include "platform/NetConnection.h"
#include "platform/SmbFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>

namespace pelmora {
namespace {

namespace fsys = std::filesystem;
using test::ReadBytes;

// Every test works on the private share through a connection made with the right password.
class SmbFiles : public test::SmbServerTest
{
protected:
    void SetUp() override
    {
        SmbServerTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_con.SetUserName(server->User());
        m_con.SetPassword(server->Password());
        m_con.SetRemoteName(server->DataRoot());
        m_con.Connect();
        root = server->DataRoot();
        disk = server->DataDir();
    }

    void TearDown() override
    {
        if (!IsSkipped()) {
            m_con.Disconnect(true);
        }
        SmbServerTest::TearDown();
    }

    FileSystem& Net() { return FileSystemFor(root); }

    // Writes a whole file through the network file system in blocks of `block` bytes;
    // returns the first errno.
    int WriteNet(const std::string& path, const std::string& bytes, std::size_t block = SIZE_MAX)
    {
        std::unique_ptr<FileHandle> file;
        if (const int err = Net().CreateNew(path, file); err != 0) {
            return err;
        }
        for (std::size_t pos = 0; pos < bytes.size(); pos += block) {
            const std::size_t size = std::min(block, bytes.size() - pos);
            const std::int64_t n = file->Write(bytes.data() + pos, size);
            if (n != static_cast<std::int64_t>(size)) {
                return n < 0 ? static_cast<int>(-n) : EIO;
            }
        }
        return file->Close();
    }

    // Reads a whole file through the network file system in blocks of `block` bytes.
    std::string ReadNet(const std::string& path, std::size_t block = 65536)
    {
        std::unique_ptr<FileHandle> file;
        if (Net().OpenRead(path, file) != 0) {
            return "<open failed>";
        }
        std::string out;
        std::string buffer(block, '\0');
        while (true) {
            const std::int64_t n = file->Read(buffer.data(), buffer.size());
            if (n < 0) {
                return "<read failed>";
            }
            if (n == 0) {
                break;
            }
            out.append(buffer.data(), static_cast<std::size_t>(n));
        }
        file->Close();
        return out;
    }

    std::map<std::string, FileStat> List(const std::string& path, int* err = nullptr)
    {
        std::map<std::string, FileStat> out;
        const int rc = Net().ListDir(path, [&](const DirEntry& e) {
            out.emplace(std::string(e.name), e.stat);
            return true;
        });
        if (err != nullptr) {
            *err = rc;
        }
        return out;
    }

    std::string root;
    std::string disk;

private:
    TNetConnection m_con;
};

TEST_F(SmbFiles, ListsFoldersWithSizesTimesAndKinds)
{
    ASSERT_TRUE(server->MakeDiskDir(disk + "/photos/2024"));
    ASSERT_TRUE(server->WriteDiskFile(disk + "/photos/a.jpg", std::string(1536, 'x')));
    ASSERT_TRUE(server->WriteDiskFile(disk + "/photos/empty.txt", ""));
    const std::int64_t when = 1700000000; // even, so any two-second rounding keeps it
    fsys::last_write_time(disk + "/photos/a.jpg",
                          fsys::file_time_type::clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(when))));

    int err = -1;
    const auto entries = List(root + "/photos", &err);
    ASSERT_EQ(err, 0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.at("2024").type, EntryType::Dir);
    EXPECT_EQ(entries.at("a.jpg").type, EntryType::File);
    EXPECT_EQ(entries.at("a.jpg").size, 1536);
    EXPECT_EQ(entries.at("a.jpg").mtimeSec, when);
    EXPECT_NE(entries.at("a.jpg").mode & 0200, 0u);
    EXPECT_EQ(entries.at("empty.txt").size, 0);

    // Stopping early is still a success.
    int seen = 0;
    EXPECT_EQ(Net().ListDir(root + "/photos", [&](const DirEntry&) { return ++seen < 1; }), 0);
    EXPECT_EQ(seen, 1);

    FileStat st;
    ASSERT_EQ(Net().Stat(root, st), 0);
    EXPECT_EQ(st.type, EntryType::Dir);
    EXPECT_EQ(Net().Stat(root + "/photos/missing.jpg", st), ENOENT);
    List(root + "/nowhere", &err);
    EXPECT_EQ(err, ENOENT);
}

TEST_F(SmbFiles, ReadsAndWritesBytesExactly)
{
    // Larger than any single request, with every byte value.
    std::string big(5 * 1024 * 1024 + 77, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 131 + i / 4099) & 0xFF);
    }
    ASSERT_EQ(WriteNet(root + "/big.bin", big), 0);
    EXPECT_TRUE(ReadBytes(disk + "/big.bin") == big);
    EXPECT_TRUE(ReadNet(root + "/big.bin", 1 << 20) == big);
    // In the engine's small blocks, and in blocks that do not divide the buffer sizes.
    ASSERT_EQ(WriteNet(root + "/blocks.bin", big, 16384), 0);
    EXPECT_TRUE(ReadBytes(disk + "/blocks.bin") == big);
    EXPECT_TRUE(ReadNet(root + "/blocks.bin", 16384) == big);
    ASSERT_EQ(WriteNet(root + "/odd.bin", big, 700001), 0);
    EXPECT_TRUE(ReadBytes(disk + "/odd.bin") == big);
    EXPECT_TRUE(ReadNet(root + "/odd.bin", 999999) == big);

    ASSERT_TRUE(server->WriteDiskFile(disk + "/small.txt", "on the server"));
    EXPECT_EQ(ReadNet(root + "/small.txt", 4), "on the server");

    // Creating never overwrites.
    EXPECT_EQ(WriteNet(root + "/small.txt", "clobbered"), EEXIST);
    EXPECT_EQ(ReadBytes(disk + "/small.txt"), "on the server");

    std::unique_ptr<FileHandle> file;
    EXPECT_EQ(Net().OpenRead(root + "/absent.txt", file), ENOENT);
    EXPECT_EQ(Net().CreateNew(root + "/no/such/folder/x.txt", file), ENOENT);
}

TEST_F(SmbFiles, RenameReplacesTheTarget)
{
    ASSERT_TRUE(server->WriteDiskFile(disk + "/report.doc", "old version"));
    ASSERT_EQ(WriteNet(root + "/.pelmora-partial-1", "new version"), 0);
    ASSERT_EQ(Net().Rename(root + "/.pelmora-partial-1", root + "/report.doc"), 0);
    EXPECT_EQ(ReadBytes(disk + "/report.doc"), "new version");
    EXPECT_FALSE(fsys::exists(disk + "/.pelmora-partial-1"));

    // A rename to a new name in another folder.
    ASSERT_EQ(Net().MakeDir(root + "/archive"), 0);
    ASSERT_EQ(Net().Rename(root + "/report.doc", root + "/archive/report.doc"), 0);
    EXPECT_EQ(ReadBytes(disk + "/archive/report.doc"), "new version");
    EXPECT_FALSE(fsys::exists(disk + "/report.doc"));

    EXPECT_EQ(Net().Rename(root + "/gone.doc", root + "/x.doc"), ENOENT);
    EXPECT_EQ(Net().Rename(root + "/archive/report.doc", "/tmp/report.doc"), ENOENT);
}

// Replacing goes through a copy of the old target under a hidden name: whatever fails, the
// target is either the old file or the new one, never missing, and nothing is left behind.
TEST_F(SmbFiles, ReplacingAFileNeverLeavesItMissing)
{
    const auto leftovers = [&] {
        int n = 0;
        for (const auto& entry : fsys::recursive_directory_iterator(disk)) {
            n += entry.path().filename().string().rfind(".pelmora-partial-", 0) == 0;
        }
        return n;
    };
    ASSERT_TRUE(server->WriteDiskFile(disk + "/keep.doc", "old version"));
    EXPECT_EQ(Net().Rename(root + "/.pelmora-partial-gone", root + "/keep.doc"), ENOENT);
    EXPECT_EQ(ReadBytes(disk + "/keep.doc"), "old version");

    // A folder in the way is never moved or replaced by a file.
    ASSERT_EQ(Net().MakeDir(root + "/folder"), 0);
    ASSERT_TRUE(server->WriteDiskFile(disk + "/folder/inside.txt", "inside"));
    ASSERT_EQ(WriteNet(root + "/.pelmora-partial-2", "file"), 0);
    EXPECT_EQ(Net().Rename(root + "/.pelmora-partial-2", root + "/folder"), EISDIR);
    EXPECT_EQ(ReadBytes(disk + "/folder/inside.txt"), "inside");
    ASSERT_EQ(Net().RemoveFile(root + "/.pelmora-partial-2"), 0);

    // A read-only target is replaced like any other.
    ASSERT_EQ(Net().SetMode(root + "/keep.doc", 0444), 0);
    ASSERT_EQ(WriteNet(root + "/.pelmora-partial-3", "new version"), 0);
    ASSERT_EQ(Net().Rename(root + "/.pelmora-partial-3", root + "/keep.doc"), 0);
    EXPECT_EQ(ReadBytes(disk + "/keep.doc"), "new version");
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(SmbFiles, SetsTimesAndReadOnly)
{
    ASSERT_EQ(WriteNet(root + "/t.txt", "times"), 0);
    const std::int64_t when = 1262304000; // 2010-01-01 00:00:00 UTC
    ASSERT_EQ(Net().SetMTime(root + "/t.txt", when), 0);
    struct stat st
    {
    };
    ASSERT_EQ(::stat((disk + "/t.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, when);
    FileStat fst;
    ASSERT_EQ(Net().Stat(root + "/t.txt", fst), 0);
    EXPECT_EQ(fst.mtimeSec, when);

    ASSERT_EQ(Net().SetMode(root + "/t.txt", 0444), 0);
    ASSERT_EQ(Net().Stat(root + "/t.txt", fst), 0);
    EXPECT_EQ(fst.mode & 0200, 0u);
    EXPECT_EQ(List(root).at("t.txt").mode & 0200, 0u);
    // Read-only on the share: the user cannot write it any more.
    std::unique_ptr<FileHandle> file;
    EXPECT_NE(Net().CreateNew(root + "/t.txt", file), 0);

    // An executable local file must not come out hidden or as a system file.
    ASSERT_EQ(Net().SetMode(root + "/t.txt", 0755), 0);
    ASSERT_EQ(Net().Stat(root + "/t.txt", fst), 0);
    EXPECT_NE(fst.mode & 0200, 0u);
    const auto entries = List(root);
    ASSERT_EQ(entries.count("t.txt"), 1u);
    EXPECT_EQ(entries.at("t.txt").mode & 0011, 0u);
    EXPECT_EQ(Net().SetMTime(root + "/none.txt", when), ENOENT);
}

TEST_F(SmbFiles, MakesAndRemovesFoldersAndFiles)
{
    ASSERT_EQ(Net().MakeDir(root + "/a"), 0);
    EXPECT_EQ(Net().MakeDir(root + "/a"), EEXIST);
    ASSERT_EQ(Net().MakeDir(root + "/a/b"), 0);
    EXPECT_TRUE(fsys::is_directory(disk + "/a/b"));
    ASSERT_EQ(WriteNet(root + "/a/b/f.txt", "x"), 0);

    EXPECT_NE(Net().RemoveDir(root + "/a/b"), 0) << "a folder with a file is not removed";
    EXPECT_TRUE(fsys::exists(disk + "/a/b/f.txt"));
    ASSERT_EQ(Net().RemoveFile(root + "/a/b/f.txt"), 0);
    EXPECT_FALSE(fsys::exists(disk + "/a/b/f.txt"));
    EXPECT_EQ(Net().RemoveFile(root + "/a/b/f.txt"), ENOENT);
    FileStat st;
    ASSERT_EQ(Net().Stat(root + "/a/b", st), 0);
    ASSERT_EQ(Net().RemoveDir(root + "/a/b"), 0);
    ASSERT_EQ(Net().RemoveDir(root + "/a"), 0);
    EXPECT_FALSE(fsys::exists(disk + "/a"));
    // Gone means gone, also for a folder asked about a moment ago.
    EXPECT_EQ(Net().Stat(root + "/a/b", st), ENOENT);

    ASSERT_EQ(Net().MakeDir(root + "/old name"), 0);
    ASSERT_EQ(Net().Stat(root + "/old name", st), 0);
    // Written in other letter case, as the share takes it.
    ASSERT_EQ(Net().Rename(root + "/OLD Name", root + "/new name"), 0);
    EXPECT_EQ(Net().Stat(root + "/old name", st), ENOENT);
    EXPECT_TRUE(fsys::is_directory(disk + "/new name"));
}

TEST_F(SmbFiles, NamesWithSpacesHashPercentAndNonAsciiLetters)
{
    const std::string folder = "Fotos 50% #2 Grüße";
    const std::string name = "Ünïcødé %41 ä#b 東京 (1).txt";
    ASSERT_EQ(Net().MakeDir(root + "/" + folder), 0);
    ASSERT_EQ(WriteNet(root + "/" + folder + "/" + name, "odd name"), 0);
    // Exactly these bytes on disk: "%41" not decoded to "A", "#" not taken as a fragment.
    EXPECT_EQ(ReadBytes(disk + "/" + folder + "/" + name), "odd name");

    const auto top = List(root);
    EXPECT_EQ(top.count(folder), 1u);
    const auto inner = List(root + "/" + folder);
    ASSERT_EQ(inner.size(), 1u);
    EXPECT_EQ(inner.begin()->first, name);

    // Characters that URLs treat specially, in a file made on the server's side.
    ASSERT_TRUE(server->WriteDiskFile(disk + "/" + folder + "/ 50%25 &+=;,@.txt", "from disk"));
    EXPECT_EQ(ReadNet(root + "/" + folder + "/ 50%25 &+=;,@.txt"), "from disk");
    // The same share written the other way, as a URL.
    EXPECT_EQ(ReadNet("smb:" + root + "/" + folder + "/" + name), "odd name");
}

} // namespace
} // namespace pelmora
