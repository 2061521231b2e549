// The ways a file can be copied — in 16 KiB blocks under a speed limit, in chunks inside the
// kernel, through the process where the kernel cannot copy, in blocks without holes as on a
// share, and as a clone — give the same bytes, times and modes; holes stay holes wherever both
// files are local; an interrupted chunk copy leaves the old target and no temporary file.

#include "tests/support/TempFolder.h"
#include "tests/support/TestFiles.h"

#include "RunTest.h"
#include "core/DateTime.h"
#include "lang/Messages.h"
#include "sync/FileOps.h"
#include "sync/SizeText.h"
#include "sync/SyncLog.h"
#include "tests/support/FaultFileSystem.h"
#include "tests/support/run/HeadlessRunner.h"
#include "tests/support/run/RecordingView.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

using namespace test;

constexpr std::int64_t kMiB = 1024 * 1024;

// A file of `size` bytes with the given runs of data at their offsets and holes elsewhere.
struct SourceFile
{
    std::string rel;
    std::int64_t size;
    std::vector<std::pair<std::int64_t, std::string>> runs;
    std::time_t mtime;
    int mode;
    bool sparse; // far less is allocated than the size says

    std::string Content() const
    {
        std::string bytes(static_cast<std::size_t>(size), '\0');
        for (const auto& [offset, data] : runs)
            bytes.replace(static_cast<std::size_t>(offset), data.size(), data);
        return bytes;
    }

    void Write(const std::string& root) const
    {
        const std::string path = root + rel;
        WriteBytes(path, "");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << path;
        for (const auto& [offset, data] : runs)
            ASSERT_EQ(::pwrite(fd, data.data(), data.size(), offset), static_cast<ssize_t>(data.size()));
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        const struct timespec times[2] = {{0, UTIME_OMIT}, {mtime, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        ASSERT_EQ(::chmod(path.c_str(), static_cast<mode_t>(mode)), 0);
    }
};

std::vector<SourceFile> Sources()
{
    return {
        {"/empty", 0, {}, 1600000000, 0600, false},
        {"/one", 1, {{0, "x"}}, 1600000001, 0644, false},
        {"/blocks", 16385, {{0, Pattern(16385, 2)}}, 1600000002, 0755, false},
        // Two chunks and a piece: the kernel copy goes round more than once.
        {"/a/big.bin",
         2 * kCopyChunkSize + 12345,
         {{0, Pattern(2 * kCopyChunkSize + 12345, 3)}},
         1600000003,
         0444,
         false},
        // A hole first, runs of data in the middle (one of them over a chunk long), a hole at the end.
        {"/a/b/sparse.img",
         40 * kMiB,
         {{4 * kMiB, Pattern(kMiB + 3, 4)}, {20 * kMiB, Pattern(kCopyChunkSize + 4096, 5)}},
         1600000004,
         0640,
         true},
        // Nothing but a hole.
        {"/hole", 5 * kMiB, {}, 1600000005, 0600, true},
    };
}

std::int64_t Allocated(const std::string& path)
{
    return static_cast<std::int64_t>(StatOf(path).st_blocks) * 512;
}

// Every source copied from `from` to `to` has the source's bytes, its time (to the even second)
// and its mode; with `keepsHoles` a sparse source's copy takes no more room than the source.
void ExpectSameFiles(const std::string& from, const std::string& to, bool keepsHoles)
{
    for (const SourceFile& file : Sources()) {
        SCOPED_TRACE(file.rel);
        EXPECT_EQ(ReadBytes(to + file.rel), file.Content());
        const struct stat st = StatOf(to + file.rel);
        EXPECT_EQ(st.st_size, file.size);
        EXPECT_EQ(st.st_mtime, file.mtime - (file.mtime & 1));
        EXPECT_EQ(static_cast<int>(st.st_mode & 07777), file.mode);
        if (keepsHoles && file.sparse) {
            EXPECT_LT(Allocated(to + file.rel), file.size / 4);
            EXPECT_LE(Allocated(to + file.rel), Allocated(from + file.rel) + 64 * 1024);
        }
    }
    EXPECT_FALSE(HasPartialFile(to));
}

// A small btrfs file system in an image file, mounted while the object lives: the file system
// at hand that can clone. Root() is empty when none can be had, and Why() says why.
class CloningFileSystem
{
public:
    CloningFileSystem()
    {
        if (::geteuid() != 0) {
            m_why = "mounting a btrfs image needs root";
            return;
        }
        if (std::system("command -v mkfs.btrfs >/dev/null 2>&1") != 0) {
            m_why = "mkfs.btrfs is missing (btrfs-progs, scripts/install-deps.sh)";
            return;
        }
        const std::string image = FreshDir("btrfs-image") + "/fs.img";
        const std::string root = FreshDir("btrfs");
        WriteBytes(image, "");
        if (::truncate(image.c_str(), 256 * kMiB) != 0 ||
            std::system(("mkfs.btrfs -q -f '" + image + "' >/dev/null 2>&1").c_str()) != 0 ||
            std::system(("mount -o loop '" + image + "' '" + root + "' 2>/dev/null").c_str()) != 0) {
            m_why = "cannot make and loop-mount a btrfs image here";
            return;
        }
        m_root = root;
    }
    ~CloningFileSystem()
    {
        if (!m_root.empty())
            ::umount2(m_root.c_str(), MNT_DETACH);
    }
    CloningFileSystem(const CloningFileSystem&) = delete;
    CloningFileSystem& operator=(const CloningFileSystem&) = delete;

    const std::string& Root() const { return m_root; }
    const std::string& Why() const { return m_why; }

private:
    std::string m_root;
    std::string m_why;
};

class CopyPathsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SelectLanguage(kLangEnglishUS);
        host = FreshDir("host");
        mirror = FreshDir("mirror");
    }
    void TearDown() override { RemoveFreshDirs(); }

    // Copies every source from `from` to `to` with `ops`; the byte counts must add up to the
    // sizes, holes included.
    void CopyAll(FileOps& ops, const std::string& from, const std::string& to)
    {
        const std::int64_t before = doneBytes;
        std::int64_t sizes = 0;
        for (const SourceFile& file : Sources()) {
            EXPECT_EQ(ops.CopyFile(from + file.rel, to + file.rel, to), kCopyOk) << file.rel;
            sizes += file.size;
        }
        EXPECT_EQ(doneBytes - before, sizes);
        EXPECT_TRUE(log.Empty());
    }

    std::string host, mirror;
    SyncLog log;
    RecordingView view;
    RunState state = rsExecHost;
    std::int64_t totalBytes = 0;
    std::int64_t doneBytes = 0;
};

TEST_F(CopyPathsTest, EveryPathGivesTheSameBytesTimesAndModesAndKeepsHolesBetweenLocalFiles)
{
    for (const SourceFile& file : Sources())
        file.Write(host);
    view.record = false;

    {
        SCOPED_TRACE("inside the kernel, in chunks");
        FaultFileSystem watch(LocalFileSystem());
        watch.PassKernelCopies(true);
        FileOps ops(view, log, state, totalBytes, doneBytes);
        ops.SetFileSystem(&watch);
        CopyAll(ops, host, mirror + "/kernel");
        ExpectSameFiles(host, mirror + "/kernel", true);
        EXPECT_GT(watch.Calls(FsCall::CopyRange), 0);
        EXPECT_EQ(watch.Calls(FsCall::Read), 0);
    }
    {
        SCOPED_TRACE("through the process, where the kernel refuses to copy");
        FaultFileSystem refusing(LocalFileSystem());
        refusing.PassKernelCopies(true);
        refusing.AddFault({FsCall::CopyRange, {}, 0, EXDEV});
        FileOps ops(view, log, state, totalBytes, doneBytes);
        ops.SetFileSystem(&refusing);
        CopyAll(ops, host, mirror + "/process");
        ExpectSameFiles(host, mirror + "/process", true);
        EXPECT_GT(refusing.Calls(FsCall::Read), 0);
    }
    {
        SCOPED_TRACE("in 16 KiB blocks under a speed limit");
        FileOps ops(view, log, state, totalBytes, doneBytes);
        ops.SetSpeed(2000000); // 2 GB/s: a limit that costs the test little time
        CopyAll(ops, host, mirror + "/limited");
        ExpectSameFiles(host, mirror + "/limited", true);
    }
    {
        SCOPED_TRACE("in 16 KiB blocks through files that know no holes, as on a share");
        FaultFileSystem plain(LocalFileSystem());
        FileOps ops(view, log, state, totalBytes, doneBytes);
        ops.SetFileSystem(&plain);
        CopyAll(ops, host, mirror + "/plain");
        ExpectSameFiles(host, mirror + "/plain", false);
    }

    CloningFileSystem btrfs;
    if (btrfs.Root().empty())
        GTEST_SKIP() << "the clone path was not tried: " << btrfs.Why();
    SCOPED_TRACE("as a clone");
    for (const SourceFile& file : Sources())
        file.Write(btrfs.Root() + "/host");
    FaultFileSystem watch(LocalFileSystem());
    watch.PassKernelCopies(true);
    FileOps ops(view, log, state, totalBytes, doneBytes);
    ops.SetFileSystem(&watch);
    CopyAll(ops, btrfs.Root() + "/host", btrfs.Root() + "/mirror");
    ExpectSameFiles(btrfs.Root() + "/host", btrfs.Root() + "/mirror", true);
    EXPECT_EQ(watch.Calls(FsCall::Clone), 5); // every file but the empty one
    EXPECT_EQ(watch.Calls(FsCall::CopyRange), 0);
    EXPECT_EQ(watch.Calls(FsCall::Read), 0);
}

// A file system that cannot clone is asked once per folder, not for every file: on a tree of
// small files the refused call would cost as much as the copy. A busy file says nothing of
// the next one, so it does not stop the asking.
TEST_F(CopyPathsTest, ARefusedCloneIsAskedOncePerFolder)
{
    for (const char* rel : {"/x/1", "/x/2", "/x/3", "/y/1", "/y/2"})
        WriteBytes(host + rel, "data");
    FaultFileSystem refusing(LocalFileSystem());
    refusing.PassKernelCopies(true);
    refusing.AddFault({FsCall::Clone, {}, 0, EOPNOTSUPP});
    FileOps ops(view, log, state, totalBytes, doneBytes);
    ops.SetFileSystem(&refusing);
    for (const char* rel : {"/x/1", "/x/2", "/x/3", "/y/1", "/y/2"})
        EXPECT_EQ(ops.CopyFile(host + rel, mirror + rel, mirror), kCopyOk) << rel;
    EXPECT_EQ(refusing.Calls(FsCall::Clone), 2);
    EXPECT_EQ(ReadBytes(mirror + "/y/2"), "data");

    FaultFileSystem busy(LocalFileSystem());
    busy.PassKernelCopies(true);
    busy.AddFault({FsCall::Clone, {}, 0, ETXTBSY});
    FileOps again(view, log, state, totalBytes, doneBytes);
    again.SetFileSystem(&busy);
    for (const char* rel : {"/x/1", "/x/2", "/x/3"})
        EXPECT_EQ(again.CopyFile(host + rel, mirror + "/busy" + rel, mirror), kCopyOk) << rel;
    EXPECT_EQ(busy.Calls(FsCall::Clone), 3);
    EXPECT_TRUE(log.Empty());
}

TEST_F(CopyPathsTest, AnInterruptedChunkCopyLeavesTheOldTargetAndNoTemporaryFile)
{
    const std::string data = Pattern(3 * kCopyChunkSize, 6);
    WriteBytes(host + "/d/big.bin", data, 1600000000, 0644);

    struct Case
    {
        std::string name;
        int cancelAtInput; // cancel at this call of ProcessPendingInput (0: never)
        std::vector<FsFault> faults;
        int expected;
        std::string line;
        std::int64_t done;
    };
    const std::vector<Case> cases = {
        {"cancel after the first chunk", 1, {}, kCopyCancelled, "Break copying, path: /d/big.bin", kCopyChunkSize},
        {"the kernel copy fails in the second chunk",
         0,
         {{FsCall::CopyRange, {}, 2, EIO}},
         kCopyIoFailed,
         "Error when copying file, path: /d/big.bin",
         kCopyChunkSize},
        {"a write fails after the kernel refused to copy",
         0,
         {{FsCall::CopyRange, {}, 0, ENOSYS}, {FsCall::Write, {}, 3, ENOSPC}},
         kCopyIoFailed,
         "Error when copying file, path: /d/big.bin",
         2 * static_cast<std::int64_t>(kCopyBufferSize)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(mirror + "/d/big.bin", "old", 1500000000, 0600);
        SyncLog caseLog;
        RunState caseState = rsExecHost;
        std::int64_t total = static_cast<std::int64_t>(data.size());
        std::int64_t done = 0;
        int inputs = 0;
        view.onPendingInput = [&] {
            if (++inputs == c.cancelAtInput)
                caseState = rsCancelled;
        };
        FaultFileSystem faulty(LocalFileSystem());
        faulty.PassKernelCopies(true);
        for (const FsFault& fault : c.faults)
            faulty.AddFault(fault);
        FileOps ops(view, caseLog, caseState, total, done);
        ops.SetFileSystem(&faulty);

        EXPECT_EQ(ops.CopyFile(host + "/d/big.bin", mirror + "/d/big.bin", mirror), c.expected);

        EXPECT_EQ(caseLog.Lines(), std::vector<std::string>{c.line});
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(ReadBytes(mirror + "/d/big.bin"), "old");
        EXPECT_EQ(StatOf(mirror + "/d/big.bin").st_mtime, 1500000000);
        EXPECT_EQ(TreeOf(mirror), (std::set<std::string>{"d/", "d/big.bin"}));
    }
}

TEST_F(CopyPathsTest, ChunkCopiesShowProgressAfterEveryChunkUpToTheExactTotal)
{
    const std::int64_t size = 2 * kCopyChunkSize + kCopyChunkSize / 2;
    WriteBytes(host + "/big", Pattern(static_cast<std::size_t>(size), 7), 1600000000);
    totalBytes = size;
    int inputs = 0;
    view.onPendingInput = [&] { ++inputs; };
    FileOps ops(view, log, state, totalBytes, doneBytes);

    EXPECT_EQ(ops.CopyFile(host + "/big", mirror + "/big", mirror), kCopyOk);

    EXPECT_EQ(view.fileGaugeHistory, (std::vector<int>{0, 40, 80, 100}));
    EXPECT_EQ(view.totalGaugeHistory, (std::vector<int>{40, 80, 100}));
    EXPECT_EQ(view.labels[LabelNumber(RunLabel::Total)], "Total: " + SizeText(size) + " bytes finish, 0 bytes remain");
    EXPECT_EQ(inputs, 3);
}

// A whole run keeps the holes of what it copies, with and without a speed limit, and counts
// them in its progress: the total gauge ends full.
class SparseRunTest : public RunTest
{
};

TEST_F(SparseRunTest, MirroredSparseFilesStaySparseWithAndWithoutASpeedLimit)
{
    Mirroring();
    const SourceFile disk{"/vm/disk.img", 64 * kMiB, {{kMiB, Pattern(12288, 8)}, {48 * kMiB, "end"}},
                          1600000000,     0600,      true};
    disk.Write(host);
    for (const std::int32_t speed : {0, 1000000}) {
        SCOPED_TRACE(speed);
        task.Speed = speed;
        const std::string target = FreshDir("target");
        SyncLog log;
        HeadlessRunner runner(log);
        ASSERT_TRUE(runner.Run(UnattendedRequest("Sparse", host, target)));

        EXPECT_EQ(ReadBytes(target + disk.rel), disk.Content());
        EXPECT_LT(Allocated(target + disk.rel), kMiB);
        EXPECT_EQ(StatOf(target + disk.rel).st_mtime, 1600000000);
        EXPECT_EQ(runner.View().totalGauge, 100);
        EXPECT_FALSE(HasPartialFile(target));
    }
}

} // namespace
} // namespace pelmora
