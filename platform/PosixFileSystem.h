#pragma once
// The local implementations of the file-system port, on POSIX calls (openat, getdents64,
// fstatat, rename, utimensat). PosixFileSystem takes paths as they are; RootedFileSystem
// resolves everything below a run's roots from open handles of those roots. Each instance is
// used on one thread (the UI thread, a copy lane's, or the mirror listing's worker, which gets
// an instance of its own); PosixFileSystem holds no state and serves any thread.

#include "platform/FileSystem.h"

#include <memory>
#include <string>
#include <vector>

namespace pelmora {

class DesktopTrash;

class PosixFileSystem final : public FileSystem
{
public:
    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override;
    int Stat(const std::string& path, FileStat& out) override;
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int Rename(const std::string& from, const std::string& to) override;
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override;
    int SetMode(const std::string& path, std::uint32_t mode) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
    // The desktop trash of the file's own file system; `spot` is not used.
    int MoveToTrash(const std::string& path, const TrashSpot& spot) override;
    int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                         TrashOutcome& outcome) override;
};

// The file system of one run. A path at or below one of its local roots is resolved from an
// open handle of that root, and no symbolic link below the root is followed on the way: a
// folder that another program swaps for a link while the run goes on cannot lead a create,
// write, rename, delete or time and mode change (nor a listing or a read) out of the tree; the
// call fails instead (ELOOP, EXDEV or ENOTDIR). Paths have no length limit below a root. The
// last name of a stat or a read may be a link to a file, which counts as that file; a write
// never goes through a link. The root itself is opened once, on first use, following a link
// the user named it through. Paths outside every root, and network roots, go to
// FileSystemFor(path).
//
// The steps of a copy (open to read, create, time and mode, rename) reuse the handle of the folder the
// previous copy worked in when they work in the same one. A link swapped in for that folder
// is never followed, since the handle names the folder itself; a folder that another program
// moves away while the run copies into it gets the rest of that folder's copies where it now
// is, as a copy already open would. Deletions always look their folder up afresh, and a folder
// this file system removes or renames is forgotten. One thread uses an instance at a time.
class RootedFileSystem final : public FileSystem
{
public:
    // How a path below a root is resolved: with openat2 and RESOLVE_BENEATH |
    // RESOLVE_NO_SYMLINKS where the kernel has it, else (or always, for tests of that path)
    // one folder at a time with O_NOFOLLOW.
    enum class Resolve {
        Auto,
        ComponentWise,
    };

    explicit RootedFileSystem(const std::vector<std::string>& roots = {}, Resolve resolve = Resolve::Auto);
    ~RootedFileSystem() override;
    RootedFileSystem(const RootedFileSystem&) = delete;
    RootedFileSystem& operator=(const RootedFileSystem&) = delete;

    // Adds a root (no trailing separator, except "/"); empty and network paths are ignored, as
    // is a root already held.
    void AddRoot(const std::string& root);

    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override;
    int Stat(const std::string& path, FileStat& out) override;
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int Rename(const std::string& from, const std::string& to) override;
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override;
    int SetMode(const std::string& path, std::uint32_t mode) override;
    int MakeDir(const std::string& path) override;
    // The root itself is never removed (EBUSY).
    int RemoveDir(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
    // The desktop trash, reached from the file's folder as every other write; the trash
    // folders are opened once per file system and kept until it goes.
    int MoveToTrash(const std::string& path, const TrashSpot& spot) override;
    int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                         TrashOutcome& outcome) override;

private:
    struct Root
    {
        std::string path;
        int fd = -1; // O_PATH handle of the root folder, -1 until opened
        // The folder below the root where the last copy worked, kept open for the next: a
        // run copies folder by folder, and looking the folder up again (beneath the root, no
        // links) for each step of each file costs as much as the step itself. -1 when none.
        int keptFd = -1;
        std::string kept;
    };
    class Parent;
    // Whether a call may use, and keep, the folder the last copy worked in. Copies do; calls
    // that delete or make folders always look their folder up afresh.
    enum class Keep {
        No,
        Yes,
    };
    // Closes the kept folder of `root`, or of every root.
    static void forgetKept(Root& root);
    void forgetKept();
    // Forgets a kept folder that `rel` (below `root`) names or holds: it is being renamed.
    static void forgetKeptUnder(Root& root, std::string_view rel);

    // The root that holds `path` (the longest one), with the part of `path` below it, without
    // leading separators ("" for the root itself); nullptr when no root holds it.
    Root* rootOf(std::string_view path, std::string_view& rel);
    // 0, or errno when the root folder cannot be opened (ENOENT while it does not exist).
    int openRoot(Root& root);
    // Opens `rel` below the root as a folder with `flags`, never following a link. Returns the
    // descriptor or -errno.
    int openBeneath(int rootFd, std::string_view rel, int flags) const;
    // Opens the folder that holds rel's last name and gives that name. 0 or errno.
    int openParent(Root& root, std::string_view rel, Parent& parent, Keep keep = Keep::No);
    // One call on a path: outside(FileSystemFor(path)) for a path outside every root, else
    // atParentFolder(folder descriptor, last name) on the folder that holds it.
    // With Keep::Yes the folder may be the kept one; should the call find nothing there
    // (ENOENT: the folder may have been removed meanwhile), it is looked up afresh and the
    // call made once more.
    template <typename Outside, typename AtParent>
    int atParent(const std::string& path, Outside outside, AtParent atParentFolder, Keep keep = Keep::No);

    // The folders of `from` and `to` below one root (one descriptor when they share it), for a
    // call on both. 0 or errno; EXDEV when they lie below different roots.
    int openParents(const std::string& from, const std::string& to, Parent& source, Parent& target,
                    Keep keep = Keep::No);
    DesktopTrash& trash();

    std::vector<Root> m_roots;
    Resolve m_resolve;
    std::unique_ptr<DesktopTrash> m_trash;
};

} // namespace pelmora
