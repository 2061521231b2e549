#include "platform/PosixFileSystem.h"

#include "platform/Trash.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pelmora {

namespace {

// The read-ahead window the kernel uses by default (128 KiB).
constexpr off_t kReadAheadBytes = 128 * 1024;

// Closes a descriptor on every path out of a function.
class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

void fillFrom(const struct stat& st, FileStat& out)
{
    out.size = st.st_size;
    out.mtimeSec = st.st_mtim.tv_sec;
    out.mode = st.st_mode & 07777;
    out.device = st.st_dev;
    out.inode = st.st_ino;
    out.allocated = static_cast<std::int64_t>(st.st_blocks) * 512;
    if (S_ISREG(st.st_mode))
        out.type = EntryType::File;
    else if (S_ISDIR(st.st_mode))
        out.type = EntryType::Dir;
    else
        out.type = EntryType::Other;
}

// Classifies an entry of an open folder. A link counts as the regular file it points to; a
// link to a folder, a dangling link and every special file are Other. Returns 0 or errno.
int statAt(int dirFd, const char* name, FileStat& out)
{
    struct stat st;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        if (::fstatat(dirFd, name, &target, 0) != 0 || !S_ISREG(target.st_mode)) {
            fillFrom(st, out);
            out.type = EntryType::Other;
            return 0;
        }
        fillFrom(target, out);
        return 0;
    }
    fillFrom(st, out);
    return 0;
}

class PosixFile final : public FileHandle
{
public:
    explicit PosixFile(int fd) : m_fd(fd) {}
    PosixFile(int fd, const struct stat& opened) : m_fd(fd), m_opened(true) { fillFrom(opened, m_openedStat); }
    ~PosixFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    std::int64_t Read(void* buffer, std::size_t size) override
    {
        if (m_fd < 0)
            return -EBADF;
        for (;;) {
            ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return -errno;
        }
    }

    std::int64_t Write(const void* buffer, std::size_t size) override
    {
        if (m_fd < 0)
            return -EBADF;
        const char* p = static_cast<const char*>(buffer);
        std::size_t done = 0;
        while (done < size) {
            ssize_t n = ::write(m_fd, p + done, size - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return done > 0 ? static_cast<std::int64_t>(done) : -errno;
            }
            done += static_cast<std::size_t>(n);
        }
        return static_cast<std::int64_t>(done);
    }

    int Stat(FileStat& out) override
    {
        out = FileStat();
        struct stat st;
        if (m_fd < 0)
            return EBADF;
        if (::fstat(m_fd, &st) != 0)
            return errno;
        fillFrom(st, out);
        return 0;
    }

    int OpenedStat(FileStat& out) override
    {
        if (!m_opened)
            return Stat(out);
        out = m_openedStat;
        return 0;
    }

    int SetMTime(std::int64_t mtimeSec) override
    {
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(mtimeSec);
        times[1].tv_nsec = 0;
        return m_fd >= 0 && ::futimens(m_fd, times) == 0 ? 0 : (m_fd < 0 ? EBADF : errno);
    }

    int SetMode(std::uint32_t mode) override
    {
        return m_fd >= 0 && ::fchmod(m_fd, static_cast<mode_t>(mode & 07777)) == 0 ? 0 : (m_fd < 0 ? EBADF : errno);
    }

    bool Local() const override { return true; }

    int Seek(std::int64_t offset) override
    {
        if (m_fd < 0)
            return EBADF;
        return ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) >= 0 ? 0 : errno;
    }

    int NextData(std::int64_t from, std::int64_t& start, std::int64_t& end) override
    {
        start = end = 0;
        if (m_fd < 0)
            return EBADF;
        const off_t data = ::lseek(m_fd, static_cast<off_t>(from), SEEK_DATA);
        if (data < 0)
            return errno == EINVAL ? ENOTSUP : errno;
        // Every file ends in a hole as far as SEEK_HOLE is concerned: the end of the file.
        const off_t hole = ::lseek(m_fd, data, SEEK_HOLE);
        if (hole < 0)
            return errno == EINVAL ? ENOTSUP : errno;
        start = data;
        end = hole;
        return 0;
    }

    int SetSize(std::int64_t size) override
    {
        if (m_fd < 0)
            return EBADF;
        while (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            if (errno != EINTR)
                return errno;
        }
        return 0;
    }

    int CloneFrom(FileHandle& source) override
    {
        auto* from = dynamic_cast<PosixFile*>(&source);
        if (from == nullptr)
            return ENOTSUP;
        if (m_fd < 0 || from->m_fd < 0)
            return EBADF;
        return ::ioctl(m_fd, FICLONE, from->m_fd) == 0 ? 0 : errno;
    }

    std::int64_t CopyRangeFrom(FileHandle& source, std::int64_t offset, std::int64_t length) override
    {
        auto* from = dynamic_cast<PosixFile*>(&source);
        if (from == nullptr)
            return -ENOTSUP;
        if (m_fd < 0 || from->m_fd < 0)
            return -EBADF;
        loff_t in = offset;
        loff_t out = offset;
        for (;;) {
            const ssize_t n = ::copy_file_range(from->m_fd, &in, m_fd, &out, static_cast<std::size_t>(length), 0);
            if (n >= 0)
                return n;
            if (errno != EINTR)
                return -errno;
        }
    }

    int Close() override
    {
        if (m_fd < 0)
            return 0;
        int fd = m_fd;
        m_fd = -1;
        // The descriptor is gone after close() even when it reports an error (Linux).
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
    bool m_opened = false;
    FileStat m_openedStat;
};

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

// Lists an open folder for ListDir. An entry whose type or attributes cannot be read is
// reported with its errno, never left out: it exists, and what it holds is unknown. One that
// has gone since the folder was read is left out.
int listOpenDir(int dirFd, const std::function<bool(const DirEntry&)>& onEntry)
{
    alignas(8) char buffer[32768];
    DirEntry entry;
    for (;;) {
        long n = ::syscall(SYS_getdents64, dirFd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        for (long pos = 0; pos < n;) {
            auto* d = reinterpret_cast<LinuxDirent64*>(buffer + pos);
            pos += d->d_reclen;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            entry.stat = FileStat();
            entry.error = 0;
            switch (d->d_type) {
            case DT_FIFO:
            case DT_CHR:
            case DT_BLK:
            case DT_SOCK:
                // Never stat'ed or opened: nothing the engine may touch.
                entry.stat.type = EntryType::Other;
                break;
            default:
                // Regular files and folders still need size, time and mode; links and
                // DT_UNKNOWN need classifying.
                if (const int err = statAt(dirFd, name, entry.stat); err != 0) {
                    if (err == ENOENT)
                        continue;
                    entry.stat.type = EntryType::Other;
                    entry.error = err;
                }
                break;
            }
            entry.name = std::string_view(name);
            if (!onEntry(entry))
                return 0;
        }
    }
}

// Opens `name` in an open folder for reading (a link to a file counts as that file). O_NONBLOCK
// keeps a FIFO from blocking the open; anything but a regular file is refused before a byte is
// read. 0 or errno.
int openReadAt(int dirFd, const char* name, std::unique_ptr<FileHandle>& out)
{
    Fd fd(::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
        return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    // Reads block again. Of the flags F_SETFL changes, the open set only O_NONBLOCK.
    ::fcntl(fd.get(), F_SETFL, 0);
    // A file within the kernel's usual read-ahead is read whole at once anyway.
    if (st.st_size > kReadAheadBytes)
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    out = std::make_unique<PosixFile>(fd.release(), st);
    return 0;
}

int createNewAt(int dirFd, const char* name, std::unique_ptr<FileHandle>& out)
{
    int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    out = std::make_unique<PosixFile>(fd);
    return 0;
}

int setMTimeAt(int dirFd, const char* name, std::int64_t mtimeSec)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(mtimeSec);
    times[1].tv_nsec = 0;
    return ::utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

} // namespace

int PosixFileSystem::ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry)
{
    // The scanner descends only into entries listed as Dir, never into links, so following a
    // link here happens only for a root the user named through one.
    Fd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno;
    return listOpenDir(dir.get(), onEntry);
}

int PosixFileSystem::Stat(const std::string& path, FileStat& out)
{
    out = FileStat();
    return statAt(AT_FDCWD, path.c_str(), out);
}

int PosixFileSystem::OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    return openReadAt(AT_FDCWD, path.c_str(), out);
}

int PosixFileSystem::CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    return createNewAt(AT_FDCWD, path.c_str(), out);
}

int PosixFileSystem::Rename(const std::string& from, const std::string& to)
{
    // rename(2) replaces a link at `to` itself; it never writes through it.
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystem::SetMTime(const std::string& path, std::int64_t mtimeSec)
{
    return setMTimeAt(AT_FDCWD, path.c_str(), mtimeSec);
}

int PosixFileSystem::SetMode(const std::string& path, std::uint32_t mode)
{
    // chmod follows links and Linux cannot change a link's own mode: refuse links so that
    // the permissions of a file outside the tree are never changed.
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return errno;
    if (S_ISLNK(st.st_mode))
        return ELOOP;
    return ::chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) == 0 ? 0 : errno;
}

int PosixFileSystem::MakeDir(const std::string& path)
{
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

int PosixFileSystem::RemoveDir(const std::string& path)
{
    return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystem::RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

namespace {

// The folder of a path given as it is (links followed, as PosixFileSystem does) and its last
// name. Returns the O_PATH descriptor or -errno.
int openFolderOf(const std::string& path, std::string& name)
{
    std::string_view p = path;
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    const std::size_t slash = p.rfind('/');
    name.assign(slash == std::string_view::npos ? p : p.substr(slash + 1));
    if (name.empty() || name == "." || name == "..")
        return -EINVAL;
    const std::string folder =
        slash == std::string_view::npos ? std::string(".") : std::string(slash == 0 ? "/" : p.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

} // namespace

int PosixFileSystem::MoveToTrash(const std::string& path, const TrashSpot&)
{
    std::string name;
    const int fd = openFolderOf(path, name);
    if (fd < 0)
        return -fd;
    Fd folder(fd);
    DesktopTrash trash;
    return trash.Move(folder.get(), name.c_str());
}

int PosixFileSystem::ReplaceIntoTrash(const std::string& from, const std::string& to, bool, const TrashSpot&,
                                      TrashOutcome& outcome)
{
    outcome = TrashOutcome{};
    std::string fromName;
    std::string toName;
    const int fromFd = openFolderOf(from, fromName);
    if (fromFd < 0)
        return -fromFd;
    Fd fromFolder(fromFd);
    const int toFd = openFolderOf(to, toName);
    if (toFd < 0)
        return -toFd;
    Fd toFolder(toFd);
    DesktopTrash trash;
    return ReplaceKeepingOld(trash, fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str(), outcome);
}

// The folder that holds a path's last name, open for the *at() calls, and that name.
class RootedFileSystem::Parent
{
public:
    Parent() = default;
    Parent(const Parent&) = delete;
    Parent& operator=(const Parent&) = delete;
    ~Parent()
    {
        if (m_owned)
            ::close(m_fd);
    }
    void Set(int fd, bool owned)
    {
        m_fd = fd;
        m_owned = owned;
    }
    int fd() const { return m_fd; }
    std::string name;
    bool kept = false; // the root's kept folder

private:
    int m_fd = -1;
    bool m_owned = false;
};

namespace {

// Whether the kernel takes openat2: unknown until first tried, then remembered for the process.
std::atomic<int> g_openat2{-1};

std::string_view withoutTrailingSeparators(std::string_view rel)
{
    while (!rel.empty() && rel.back() == '/')
        rel.remove_suffix(1);
    return rel;
}

} // namespace

RootedFileSystem::RootedFileSystem(const std::vector<std::string>& roots, Resolve resolve) : m_resolve(resolve)
{
    for (const std::string& root : roots)
        AddRoot(root);
}

RootedFileSystem::~RootedFileSystem()
{
    forgetKept();
    for (Root& root : m_roots)
        if (root.fd >= 0)
            ::close(root.fd);
}

void RootedFileSystem::forgetKept(Root& root)
{
    if (root.keptFd >= 0)
        ::close(root.keptFd);
    root.keptFd = -1;
    root.kept.clear();
}

void RootedFileSystem::forgetKept()
{
    for (Root& root : m_roots)
        forgetKept(root);
}

void RootedFileSystem::forgetKeptUnder(Root& root, std::string_view rel)
{
    rel = withoutTrailingSeparators(rel);
    const std::string_view kept = root.kept;
    if (root.keptFd >= 0 && kept.compare(0, rel.size(), rel) == 0 &&
        (kept.size() == rel.size() || kept[rel.size()] == '/'))
        forgetKept(root);
}

void RootedFileSystem::AddRoot(const std::string& root)
{
    if (root.empty() || IsNetworkPath(root))
        return;
    for (const Root& held : m_roots)
        if (held.path == root)
            return;
    m_roots.push_back(Root{root, -1, -1, {}});
}

RootedFileSystem::Root* RootedFileSystem::rootOf(std::string_view path, std::string_view& rel)
{
    Root* best = nullptr;
    for (Root& root : m_roots) {
        const std::string& r = root.path;
        if (path.compare(0, r.size(), r) != 0)
            continue;
        if (path.size() > r.size() && r.back() != '/' && path[r.size()] != '/')
            continue;
        if (best == nullptr || r.size() > best->path.size())
            best = &root;
    }
    if (best != nullptr) {
        rel = path.substr(best->path.size());
        while (!rel.empty() && rel.front() == '/')
            rel.remove_prefix(1);
    }
    return best;
}

int RootedFileSystem::openRoot(Root& root)
{
    if (root.fd >= 0)
        return 0;
    root.fd = ::open(root.path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return root.fd >= 0 ? 0 : errno;
}

int RootedFileSystem::openBeneath(int rootFd, std::string_view rel, int flags) const
{
    const std::string path(rel);
    // openat2 takes at most PATH_MAX bytes; deeper paths go one folder at a time.
    if (m_resolve == Resolve::Auto && g_openat2.load() != 0 && path.size() < PATH_MAX) {
        struct open_how how = {};
        how.flags = static_cast<std::uint64_t>(flags | O_DIRECTORY | O_CLOEXEC);
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const long fd = ::syscall(SYS_openat2, rootFd, path.c_str(), &how, sizeof how);
            if (fd >= 0) {
                g_openat2 = 1;
                return static_cast<int>(fd);
            }
            // EAGAIN: a rename raced the lookup; the kernel asks for another try.
            if (errno != EAGAIN)
                break;
        }
        const int err = errno;
        if (!(err == ENOSYS || err == EPERM || err == E2BIG || (err == EINVAL && g_openat2.load() != 1)))
            return -err;
        // No openat2 here (an old kernel, or a sandbox that filters it).
        g_openat2 = 0;
    }
    int current = rootFd;
    std::size_t pos = 0;
    while (true) {
        const std::size_t slash = path.find('/', pos);
        const std::string name = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        const bool last = slash == std::string::npos || path.find_first_not_of('/', slash) == std::string::npos;
        int next = -1;
        int err = 0;
        if (name == "..") {
            err = EXDEV; // never above the root
        } else {
            const int how = (last ? flags : O_PATH) | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            next = ::openat(current, name.empty() ? "." : name.c_str(), how);
            err = errno;
            // O_NOFOLLOW | O_DIRECTORY on a link fails with ENOTDIR; say that it was a link.
            struct stat st;
            if (next < 0 && err == ENOTDIR && ::fstatat(current, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                err = ELOOP;
        }
        if (current != rootFd)
            ::close(current);
        if (next < 0)
            return -err;
        if (last)
            return next;
        current = next;
        pos = path.find_first_not_of('/', slash);
    }
}

int RootedFileSystem::openParent(Root& root, std::string_view rel, Parent& parent, Keep keep)
{
    if (const int err = openRoot(root); err != 0)
        return err;
    rel = withoutTrailingSeparators(rel);
    const std::size_t slash = rel.rfind('/');
    std::string_view folder = slash == std::string_view::npos ? std::string_view() : rel.substr(0, slash);
    parent.name.assign(slash == std::string_view::npos ? rel : rel.substr(slash + 1));
    if (parent.name.empty() || parent.name == "." || parent.name == "..")
        return EINVAL;
    folder = withoutTrailingSeparators(folder);
    if (folder.empty()) {
        parent.Set(root.fd, false);
        return 0;
    }
    if (keep == Keep::Yes && root.keptFd >= 0 && root.kept == folder) {
        parent.Set(root.keptFd, false);
        parent.kept = true;
        return 0;
    }
    const int fd = openBeneath(root.fd, folder, O_PATH);
    if (fd < 0)
        return -fd;
    if (keep == Keep::Yes) {
        forgetKept(root);
        root.keptFd = fd;
        root.kept.assign(folder);
        parent.Set(fd, false);
        parent.kept = true;
        return 0;
    }
    parent.Set(fd, true);
    return 0;
}

template <typename Outside, typename AtParent>
int RootedFileSystem::atParent(const std::string& path, Outside outside, AtParent atParentFolder, Keep keep)
{
    std::string_view rel;
    Root* root = rootOf(path, rel);
    if (root == nullptr)
        return outside(FileSystemFor(path));
    Parent parent;
    if (const int err = openParent(*root, rel, parent, keep); err != 0)
        return err;
    const int result = atParentFolder(parent.fd(), parent.name.c_str());
    if (result != ENOENT || !parent.kept)
        return result;
    forgetKept(*root);
    Parent fresh;
    if (const int err = openParent(*root, rel, fresh, keep); err != 0)
        return err;
    return atParentFolder(fresh.fd(), fresh.name.c_str());
}

int RootedFileSystem::ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry)
{
    std::string_view rel;
    Root* root = rootOf(path, rel);
    if (root == nullptr)
        return FileSystemFor(path).ListDir(path, onEntry);
    if (const int err = openRoot(*root); err != 0)
        return err;
    rel = withoutTrailingSeparators(rel);
    const int fd = rel.empty() ? ::openat(root->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                               : openBeneath(root->fd, rel, O_RDONLY);
    if (fd < 0)
        return rel.empty() ? errno : -fd;
    Fd dir(fd);
    return listOpenDir(dir.get(), onEntry);
}

int RootedFileSystem::Stat(const std::string& path, FileStat& out)
{
    out = FileStat();
    std::string_view rel;
    Root* root = rootOf(path, rel);
    if (root == nullptr)
        return FileSystemFor(path).Stat(path, out);
    if (withoutTrailingSeparators(rel).empty()) {
        if (const int err = openRoot(*root); err != 0)
            return err;
        struct stat st;
        if (::fstatat(root->fd, "", &st, AT_EMPTY_PATH) != 0)
            return errno;
        fillFrom(st, out);
        return 0;
    }
    return atParent(
        path, [&](FileSystem& outside) { return outside.Stat(path, out); },
        [&](int dirFd, const char* leaf) { return statAt(dirFd, leaf, out); });
}

int RootedFileSystem::OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    return atParent(
        path, [&](FileSystem& outside) { return outside.OpenRead(path, out); },
        [&](int dirFd, const char* leaf) { return openReadAt(dirFd, leaf, out); }, Keep::Yes);
}

int RootedFileSystem::CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    return atParent(
        path, [&](FileSystem& outside) { return outside.CreateNew(path, out); },
        [&](int dirFd, const char* leaf) { return createNewAt(dirFd, leaf, out); }, Keep::Yes);
}

int RootedFileSystem::openParents(const std::string& from, const std::string& to, Parent& source, Parent& target,
                                  Keep keep)
{
    std::string_view relFrom;
    std::string_view relTo;
    Root* rootFrom = rootOf(from, relFrom);
    Root* rootTo = rootOf(to, relTo);
    if (rootFrom != rootTo || rootFrom == nullptr)
        return EXDEV;
    forgetKeptUnder(*rootFrom, relFrom);
    if (const int err = openParent(*rootFrom, relFrom, source, keep); err != 0)
        return err;
    // A copy renames its temporary file within one folder: that folder is opened once.
    const std::size_t fromCut = withoutTrailingSeparators(relFrom).rfind('/');
    const std::size_t toCut = withoutTrailingSeparators(relTo).rfind('/');
    const bool sameFolder =
        fromCut == toCut && (fromCut == std::string_view::npos || relFrom.substr(0, fromCut) == relTo.substr(0, toCut));
    if (sameFolder) {
        target.Set(source.fd(), false);
        target.name.assign(withoutTrailingSeparators(relTo).substr(toCut == std::string_view::npos ? 0 : toCut + 1));
        if (target.name.empty() || target.name == "." || target.name == "..")
            return EINVAL;
        return 0;
    }
    // Another folder of the same root: keeping it would close the source's kept one.
    return openParent(*rootTo, relTo, target, Keep::No);
}

int RootedFileSystem::Rename(const std::string& from, const std::string& to)
{
    std::string_view rel;
    if (rootOf(from, rel) == nullptr && rootOf(to, rel) == nullptr)
        return FileSystemFor(to).Rename(from, to);
    Parent source;
    Parent target;
    if (const int err = openParents(from, to, source, target, Keep::Yes); err != 0)
        return err;
    // renameat replaces a link at the target itself; it never writes through it.
    if (::renameat(source.fd(), source.name.c_str(), target.fd(), target.name.c_str()) == 0)
        return 0;
    if (errno != ENOENT || !source.kept)
        return errno;
    forgetKept();
    Parent freshSource;
    Parent freshTarget;
    if (const int err = openParents(from, to, freshSource, freshTarget); err != 0)
        return err;
    return ::renameat(freshSource.fd(), freshSource.name.c_str(), freshTarget.fd(), freshTarget.name.c_str()) == 0
               ? 0
               : errno;
}

DesktopTrash& RootedFileSystem::trash()
{
    if (!m_trash)
        m_trash = std::make_unique<DesktopTrash>();
    return *m_trash;
}

int RootedFileSystem::MoveToTrash(const std::string& path, const TrashSpot& spot)
{
    forgetKept();
    return atParent(
        path, [&](FileSystem& outside) { return outside.MoveToTrash(path, spot); },
        [&](int dirFd, const char* leaf) { return trash().Move(dirFd, leaf); });
}

int RootedFileSystem::ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed,
                                       const TrashSpot& spot, TrashOutcome& outcome)
{
    outcome = TrashOutcome{};
    std::string_view rel;
    if (rootOf(from, rel) == nullptr && rootOf(to, rel) == nullptr)
        return FileSystemFor(to).ReplaceIntoTrash(from, to, toListed, spot, outcome);
    Parent source;
    Parent target;
    if (const int err = openParents(from, to, source, target, Keep::Yes); err != 0)
        return err;
    const int result =
        ReplaceKeepingOld(trash(), source.fd(), source.name.c_str(), target.fd(), target.name.c_str(), outcome);
    // A failure here is not tried again (the old file may have moved meanwhile); the next call
    // looks the folder up afresh.
    if (result != 0)
        forgetKept();
    return result;
}

int RootedFileSystem::SetMTime(const std::string& path, std::int64_t mtimeSec)
{
    return atParent(
        path, [&](FileSystem& outside) { return outside.SetMTime(path, mtimeSec); },
        [&](int dirFd, const char* leaf) { return setMTimeAt(dirFd, leaf, mtimeSec); }, Keep::Yes);
}

int RootedFileSystem::SetMode(const std::string& path, std::uint32_t mode)
{
    return atParent(
        path, [&](FileSystem& outside) { return outside.SetMode(path, mode); },
        [&](int dirFd, const char* leaf) {
            // With AT_SYMLINK_NOFOLLOW the C library changes the object it opened without
            // following the name, and refuses a link: a file swapped for a link meanwhile is
            // never reached.
            return ::fchmodat(dirFd, leaf, static_cast<mode_t>(mode & 07777), AT_SYMLINK_NOFOLLOW) == 0
                       ? 0
                       : (errno == EOPNOTSUPP ? ELOOP : errno);
        },
        Keep::Yes);
}

int RootedFileSystem::MakeDir(const std::string& path)
{
    std::string_view rel;
    Root* root = rootOf(path, rel);
    if (root == nullptr)
        return FileSystemFor(path).MakeDir(path);
    if (withoutTrailingSeparators(rel).empty())
        return LocalFileSystem().MakeDir(root->path);
    Parent parent;
    if (const int err = openParent(*root, rel, parent); err != 0)
        return err;
    return ::mkdirat(parent.fd(), parent.name.c_str(), 0777) == 0 ? 0 : errno;
}

int RootedFileSystem::RemoveDir(const std::string& path)
{
    std::string_view rel;
    Root* root = rootOf(path, rel);
    if (root == nullptr)
        return FileSystemFor(path).RemoveDir(path);
    if (withoutTrailingSeparators(rel).empty())
        return EBUSY;
    forgetKept();
    Parent parent;
    if (const int err = openParent(*root, rel, parent); err != 0)
        return err;
    return ::unlinkat(parent.fd(), parent.name.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

int RootedFileSystem::RemoveFile(const std::string& path)
{
    return atParent(
        path, [&](FileSystem& outside) { return outside.RemoveFile(path); },
        [&](int dirFd, const char* leaf) { return ::unlinkat(dirFd, leaf, 0) == 0 ? 0 : errno; });
}

} // namespace pelmora
