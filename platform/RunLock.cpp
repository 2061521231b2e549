#include "platform/RunLock.h"

#include "core/Utf8.h"
#include "platform/ProgramPlace.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

constexpr std::string_view kLockFolderName = ".pelmora-locks";

} // namespace

std::string RunLockFolderFor(std::string_view configFileName)
{
    const auto slash = configFileName.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(kLockFolderName);
    return std::string(configFileName.substr(0, slash + 1)) + std::string(kLockFolderName);
}

std::string RunLockFileName(std::string_view taskName)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string folded = AsciiUpper(taskName);
    std::string name;
    name.reserve(folded.size() * 2 + 5);
    for (const char c : folded) {
        const auto byte = static_cast<unsigned char>(c);
        name += kHex[byte >> 4];
        name += kHex[byte & 0x0F];
    }
    // An empty name still gets a file of its own rather than a hidden ".lock".
    if (name.empty())
        name = "-";
    return name + ".lock";
}

RunLock::~RunLock()
{
    Release();
}

RunLock::RunLock(RunLock&& other) noexcept : m_fd(other.m_fd), m_error(other.m_error), m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

RunLock& RunLock::operator=(RunLock&& other) noexcept
{
    if (this != &other) {
        Release();
        m_fd = other.m_fd;
        m_error = other.m_error;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

RunLock::Status RunLock::Acquire(const std::string& folder, std::string_view taskName)
{
    Release();
    m_error = 0;
    m_path = folder + "/" + RunLockFileName(taskName);

    // The configuration's folder too, for an installed copy that has not saved yet.
    if (const int err = MakeFolders(folder, 0700); err != 0) {
        m_error = err;
        return Status::Unavailable;
    }
    // Close-on-exec: the copy-lane helpers started during the run must not keep the lock
    // alive after this process has gone. No following of a link planted in place of the file.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = errno;
        return Status::Unavailable;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Status::Busy;
        m_error = error;
        return Status::Unavailable;
    }
    m_fd = fd;
    return Status::Held;
}

void RunLock::Release()
{
    if (m_fd < 0)
        return;
    // Closing the only descriptor of this open file drops the lock.
    ::close(m_fd);
    m_fd = -1;
}

} // namespace pelmora
