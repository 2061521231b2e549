#pragma once
// A file system for tests that passes every call to another one and fails chosen calls with a
// chosen errno (the n-th write, a rename, an open or a listing of a given path), so failure
// paths are tested without root tricks. Single-threaded, like the port it wraps.

#include "tests/support/ForwardingFileSystem.h"

#include <array>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace pelmora {

enum class FsCall : int {
    ListDir,
    Stat,
    OpenRead,
    CreateNew,
    Rename, // the path of a fault matches either the source or the target
    SetMTime,
    SetMode,
    MakeDir,
    RemoveDir,
    RemoveFile,
    Read,      // on a handle opened through this wrapper; the path is the one it was opened with
    Write,     // likewise
    Close,     // likewise
    ListEntry, // reading one entry's type and attributes during a listing; the path is the entry's
    Clone,     // on a handle, with PassKernelCopies on; the path is the target's
    CopyRange, // likewise, one kernel copy of a chunk
    Trash,     // moving a file into the trash: MoveToTrash, and the old file of ReplaceIntoTrash
    Count_
};

struct FsFault
{
    FsCall call = FsCall::Write;
    std::string path; // empty: any path
    int nth = 1;      // fail the n-th matching call (1-based); 0 fails every matching call
    int error = EIO;  // errno to report
};

// Every call it checks is counted and may fail; whatever it does not check is forwarded as is.
class FaultFileSystem final : public ForwardingFileSystem
{
public:
    explicit FaultFileSystem(FileSystem& inner) : ForwardingFileSystem(inner) {}

    void AddFault(FsFault fault) { m_faults.push_back({std::move(fault), 0}); }
    void ClearFaults() { m_faults.clear(); }
    // Convenience forms of AddFault.
    void FailNthWrite(int nth, int error) { AddFault({FsCall::Write, {}, nth, error}); }
    void FailRename(std::string path, int error) { AddFault({FsCall::Rename, std::move(path), 0, error}); }
    // Both OpenRead and CreateNew of the path fail.
    void FailOpen(const std::string& path, int error)
    {
        AddFault({FsCall::OpenRead, path, 0, error});
        AddFault({FsCall::CreateNew, path, 0, error});
    }
    void FailListDir(std::string path, int error) { AddFault({FsCall::ListDir, std::move(path), 0, error}); }

    // The handles this wrapper hands out answer only Read, Write and Close by default, as a
    // file on a share does, so copies through it move in blocks. With `pass` true they also
    // pass on the calls of local files (clone, kernel copy, holes), and Clone and CopyRange
    // faults apply.
    void PassKernelCopies(bool pass) { m_passKernelCopies = pass; }
    bool PassesKernelCopies() const { return m_passKernelCopies; }

    // Called with every call and its path before the call is checked and passed on, so that a
    // test can change the tree at an exact point of a run (another program racing the run).
    std::function<void(FsCall call, const std::string& path)> BeforeCall;

    // How many calls of a kind reached the wrapper (failed ones included).
    int Calls(FsCall call) const { return m_calls[static_cast<std::size_t>(call)]; }

    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override;
    int Stat(const std::string& path, FileStat& out) override;
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int Rename(const std::string& from, const std::string& to) override;
    // Counted and failed as Rename.
    int RenameNew(const std::string& from, const std::string& to) override;
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override;
    int SetMode(const std::string& path, std::uint32_t mode) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
    int MoveToTrash(const std::string& path, const TrashSpot& spot) override;
    // Its rename is counted and failed as Rename, its trashing of `to` as Trash.
    int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                         TrashOutcome& outcome) override;

    // Counts the call and returns the errno of the first fault it triggers, or 0. Used by the
    // handles this wrapper hands out.
    int Check(FsCall call, const std::string& path, const std::string* otherPath = nullptr);

private:
    struct Armed
    {
        FsFault fault;
        int seen;
    };
    std::vector<Armed> m_faults;
    bool m_passKernelCopies = false;
    std::array<int, static_cast<std::size_t>(FsCall::Count_)> m_calls{};
};

} // namespace pelmora
