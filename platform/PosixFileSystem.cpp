#include "platform/PosixFileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pelmora {

namespace {

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
};

struct LinuxDirent64
{
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

} // namespace

int PosixFileSystem::ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry)
{
    // The scanner descends only into entries listed as Dir, never into links, so following a
    // link here happens only for a root the user named through one.
    Fd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return errno;
    alignas(8) char buffer[32768];
    DirEntry entry;
    for (;;) {
        long n = ::syscall(SYS_getdents64, dir.get(), buffer, sizeof buffer);
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
                if (statAt(dir.get(), name, entry.stat) != 0)
                    entry.stat.type = EntryType::Other; // vanished meanwhile
                break;
            }
            entry.name = std::string_view(name);
            if (!onEntry(entry))
                return 0;
        }
    }
}

int PosixFileSystem::Stat(const std::string& path, FileStat& out)
{
    out = FileStat();
    return statAt(AT_FDCWD, path.c_str(), out);
}

int PosixFileSystem::OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    // O_NONBLOCK keeps a FIFO from blocking the open; anything but a regular file is refused
    // before a byte is read.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
        return errno;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    out = std::make_unique<PosixFile>(fd.release());
    return 0;
}

int PosixFileSystem::CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    out = std::make_unique<PosixFile>(fd);
    return 0;
}

int PosixFileSystem::Rename(const std::string& from, const std::string& to)
{
    // rename(2) replaces a link at `to` itself; it never writes through it.
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixFileSystem::SetMTime(const std::string& path, std::int64_t mtimeSec)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(mtimeSec);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
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

} // namespace pelmora
