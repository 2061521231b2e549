#pragma once
// The file-system port: every call the engine makes on files and folders goes through
// FileSystem, so that a network implementation can stand in for the local one and tests can
// inject failures. Implementations are used from one thread at a time (the UI thread).
//
// Paths are full paths as the engine builds them (root + relative path). Nothing above this
// port may assume a path is local: ask FileSystemFor(path) for the implementation.
// Every function returns 0 on success or an errno value on failure.

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pelmora {

enum class EntryType : std::uint8_t {
    File,  // a regular file, or a symbolic link to one (reported with the target's data)
    Dir,   // a real folder (a link to a folder is never reported as Dir)
    Other, // anything the engine must not touch: links to folders, dangling links, FIFOs, sockets, devices
};

struct FileStat
{
    EntryType type = EntryType::Other;
    std::int64_t size = 0;
    std::int64_t mtimeSec = 0; // last write, seconds since the Unix epoch (UTC)
    std::uint32_t mode = 0;    // permission bits (07777)
    // Which object this is, where the file system tells (0 and 0 where it does not, as on a
    // share): two paths with equal non-zero pairs name the same file or folder.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // Bytes of disk the file takes (st_blocks), -1 where the file system does not tell. Less
    // than its size: it may have holes.
    std::int64_t allocated = -1;
};

struct DirEntry
{
    std::string_view name; // valid only during the callback
    FileStat stat;
    // 0, or the errno of a failed attempt to read the entry's type and attributes: the entry
    // exists but nothing more is known of it (stat.type is then Other).
    int error = 0;
};

// An open file. Read and Write return the number of bytes moved, or -errno.
class FileHandle
{
public:
    virtual ~FileHandle() = default;
    virtual std::int64_t Read(void* buffer, std::size_t size) = 0;
    virtual std::int64_t Write(const void* buffer, std::size_t size) = 0;
    // Flushes and closes; returns 0 or errno. The destructor closes silently if not called.
    virtual int Close() = 0;

    // Calls on the open file itself: no path lookup, and never through a link. Each returns 0
    // or errno; ENOTSUP means the implementation has no such call and the caller uses the
    // path functions of FileSystem instead.
    virtual int Stat(FileStat& out)
    {
        (void)out;
        return ENOTSUP;
    }
    // What Stat gave when the file was opened, where the open read it anyway; else Stat now.
    virtual int OpenedStat(FileStat& out) { return Stat(out); }
    virtual int SetMTime(std::int64_t mtimeSec)
    {
        (void)mtimeSec;
        return ENOTSUP;
    }
    virtual int SetMode(std::uint32_t mode)
    {
        (void)mode;
        return ENOTSUP;
    }

    // Calls for copies between two files of the local file system: a copy inside the kernel,
    // and the holes of a sparse file kept. A file that has them answers Seek; one that does
    // not (a file on a share) returns ENOTSUP from each, and its bytes move by Read and Write.

    // True for a file of the local file system, which answers the calls below.
    virtual bool Local() const { return false; }
    // Moves the place where the next Read or Write begins. 0 or errno.
    virtual int Seek(std::int64_t offset)
    {
        (void)offset;
        return ENOTSUP;
    }
    // The first run of data at or after `from`: [start, end). ENXIO when only a hole, or the
    // end of the file, follows `from`. Moves the place of Read: Seek before reading again.
    // ENOTSUP where holes cannot be told apart from data (the whole file then counts as data).
    virtual int NextData(std::int64_t from, std::int64_t& start, std::int64_t& end)
    {
        (void)from;
        start = end = 0;
        return ENOTSUP;
    }
    // Cuts the file to `size` bytes, or makes it that long with a hole at its end. 0 or errno.
    virtual int SetSize(std::int64_t size)
    {
        (void)size;
        return ENOTSUP;
    }
    // Makes this new, empty file share all the data of `source` (a clone, which copies no
    // data). 0, or errno: EOPNOTSUPP, EXDEV, EINVAL or ETXTBSY where the file system cannot.
    virtual int CloneFrom(FileHandle& source)
    {
        (void)source;
        return ENOTSUP;
    }
    // Copies up to `length` bytes at `offset` of `source` to the same offset of this file,
    // inside the kernel. Returns the bytes copied (0 at the end of the source), or -errno:
    // -EXDEV, -ENOSYS, -EOPNOTSUPP or -EINVAL where the kernel cannot copy between the two.
    virtual std::int64_t CopyRangeFrom(FileHandle& source, std::int64_t offset, std::int64_t length)
    {
        (void)source;
        (void)offset;
        (void)length;
        return -ENOTSUP;
    }
};

// Where a side that has no desktop trash (a network share) keeps what a run deletes or
// replaces: "<Root>/.pelmora-trash/<Run>/" followed by the file's path below Root.
struct TrashSpot
{
    std::string Root; // the side's root, no trailing separator
    std::string Run;  // the run's start as "YYYY-MM-DD hhmmss"
};
inline constexpr std::string_view kRunTrashFolder = ".pelmora-trash";

// What a replace that keeps the old file did with it.
struct TrashOutcome
{
    bool Trashed = false; // an old file went to the trash
    int TrashError = 0;   // errno of a failed move into the trash; nothing was changed then
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Calls onEntry for each entry of the folder except "." and "..", in directory order.
    // Returning false from onEntry stops the listing early (still a success).
    virtual int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) = 0;
    // Type, size, time and mode of one path; links are classified as ListDir does.
    virtual int Stat(const std::string& path, FileStat& out) = 0;

    virtual int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) = 0;
    // Creates a new file for writing (fails with EEXIST if the name is taken), mode 0600.
    virtual int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) = 0;
    // Replaces `to` atomically when it exists (a link at `to` is replaced, never followed).
    virtual int Rename(const std::string& from, const std::string& to) = 0;
    // Rename for a target that was not there when the run listed its folder. A file system
    // whose safe replacing costs an extra request may skip looking for the target here.
    virtual int RenameNew(const std::string& from, const std::string& to) { return Rename(from, to); }
    virtual int SetMTime(const std::string& path, std::int64_t mtimeSec) = 0;
    virtual int SetMode(const std::string& path, std::uint32_t mode) = 0;
    virtual int MakeDir(const std::string& path) = 0;   // one level; EEXIST when present
    virtual int RemoveDir(const std::string& path) = 0; // only an empty folder
    virtual int RemoveFile(const std::string& path) = 0;

    // Moves the file (or link) at `path` into the trash instead of deleting it: the desktop
    // trash of its own file system on a local disk, `spot` on a share. Never copies and never
    // deletes. Returns 0, ENOENT when nothing is there, ENOTSUP when this file system keeps no
    // trash, or another errno (EROFS on a read-only mount).
    virtual int MoveToTrash(const std::string& path, const TrashSpot& spot)
    {
        (void)path;
        (void)spot;
        return ENOTSUP;
    }
    // Renames `from` over `to` as Rename does, but an existing `to` goes into the trash first
    // (as MoveToTrash) and is put back should the rename then fail, so `to` holds the old file,
    // or the new one, or nothing while the old one waits in the trash for the new one.
    // `toListed` false: the run found nothing at `to`, and a share skips looking. Returns 0 or
    // errno; outcome.TrashError says the old file could not be moved (nothing was changed).
    virtual int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                                 TrashOutcome& outcome)
    {
        (void)from;
        (void)to;
        (void)toListed;
        (void)spot;
        outcome.TrashError = ENOTSUP;
        return ENOTSUP;
    }
};

// A copy in progress writes to a file whose name begins with this prefix in the target's
// folder and renames it over the target at the end. The whole name says who writes it
// (platform/PartialFiles.h); the scanner skips exactly such names, so a file left behind by a
// crash is never taken for user data, while a user's ".pelmora-partial-notes" is.
inline constexpr std::string_view kPartialFilePrefix = ".pelmora-partial-";

// The local POSIX file system.
FileSystem& LocalFileSystem();

// The implementation that serves `path`: network paths ("//server/share/...") get the
// network implementation once it is registered, everything else the local one.
FileSystem& FileSystemFor(std::string_view path);

// Installs the implementation for network paths (nullptr removes it). Not owned.
void RegisterNetworkFileSystem(FileSystem* fs);

// True for "//server/share..." and "smb://server/share...".
bool IsNetworkPath(std::string_view path);

} // namespace pelmora
