#include "platform/Trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace pelmora {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr std::size_t kNameMax = 255;

struct Identity
{
    std::uint64_t device = 0;
    std::uint64_t mount = 0;
    std::uint64_t inode = 0;
};

// Device, mount id and inode of `name` in `dirFd` ("" with AT_EMPTY_PATH: the folder itself),
// never following a link. The mount id tells two mounts of one file system apart, which a
// rename cannot cross either. Returns 0 or errno.
int identify(int dirFd, const char* name, Identity& out, mode_t* mode = nullptr)
{
    struct statx sx
    {
    };
    const int flags = AT_SYMLINK_NOFOLLOW | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name, flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, &sx) != 0)
        return errno;
    out.device = (static_cast<std::uint64_t>(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    out.mount = (sx.stx_mask & STATX_MNT_ID) != 0 ? sx.stx_mnt_id : 0;
    out.inode = sx.stx_ino;
    if (mode != nullptr)
        *mode = sx.stx_mode;
    return 0;
}

std::uint64_t deviceOf(const struct stat& st)
{
    return (static_cast<std::uint64_t>(major(st.st_dev)) << 32) | minor(st.st_dev);
}

// Opens (making it with mode 0700 when missing) the folder `name` in `dirFd`, never through a
// link, and checks that this user owns it. Returns the O_PATH descriptor or -errno.
int openOwnFolder(int dirFd, const char* name)
{
    if (::mkdirat(dirFd, name, 0700) != 0 && errno != EEXIST)
        return -errno;
    const int fd = ::openat(dirFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOTDIR ? -ELOOP : -errno;
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -EACCES;
    }
    return fd;
}

// Opens files/ and info/ of the trash folder `trashFd` (made when missing). 0 or errno.
int openTrashFolders(int trashFd, int& filesFd, int& infoFd)
{
    filesFd = openOwnFolder(trashFd, "files");
    if (filesFd < 0)
        return -filesFd;
    infoFd = openOwnFolder(trashFd, "info");
    if (infoFd < 0) {
        ::close(filesFd);
        filesFd = -1;
        return -infoFd;
    }
    return 0;
}

// Makes every missing folder of an absolute path, mode 0700. 0 or errno.
int makeFolders(const std::string& path)
{
    std::size_t pos = 1;
    while (pos <= path.size()) {
        const std::size_t slash = std::min(path.find('/', pos), path.size());
        const std::string prefix = path.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        pos = slash + 1;
    }
    return 0;
}

// The device of the nearest folder of `path` that exists.
int nearestDevice(std::string path, std::uint64_t& device)
{
    while (true) {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) {
            device = deviceOf(st);
            return 0;
        }
        if (errno != ENOENT && errno != ENOTDIR)
            return errno;
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos || path == "/")
            return ENOENT;
        path.resize(slash == 0 ? 1 : slash);
    }
}

// The base of a trashed file's name: the name itself, cut (at a UTF-8 character boundary)
// so that a numbered form and ".trashinfo" still fit in one name.
std::string trashBase(std::string_view name)
{
    const std::size_t room = kNameMax - kInfoSuffix.size() - 12;
    if (name.size() <= room)
        return std::string(name);
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(name.substr(0, cut));
}

std::string localStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

int writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace

int RenameNoReplace(int fromDir, const char* from, int toDir, const char* to)
{
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: look first, then rename.
    struct stat st;
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

std::string EncodeTrashPath(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string HomeTrashFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return std::string(data) + "/Trash";
    const char* home = std::getenv("HOME");
    std::string base = home != nullptr && home[0] == '/' ? home : "";
    if (base.empty()) {
        if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_dir != nullptr)
            base = pw->pw_dir;
    }
    if (base.empty())
        return {};
    if (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return (base == "/" ? std::string() : base) + "/.local/share/Trash";
}

std::string TrashedPathOf(int dirFd, std::string_view name)
{
    // The folder as the kernel knows it now: links and relative spellings resolved, which is
    // where a restore must put the file back.
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirFd);
    std::string folder(PATH_MAX, '\0');
    const ssize_t n = ::readlink(link, folder.data(), folder.size());
    if (n > 0 && static_cast<std::size_t>(n) < folder.size() && folder[0] == '/') {
        folder.resize(static_cast<std::size_t>(n));
    } else {
        folder.clear();
    }
    if (folder.empty() || folder == "/")
        return "/" + std::string(name);
    return folder + "/" + std::string(name);
}

DesktopTrash::~DesktopTrash()
{
    for (Place* place : m_places) {
        ::close(place->filesFd);
        ::close(place->infoFd);
        delete place;
    }
}

void DesktopTrash::forget(Place* place)
{
    for (auto it = m_places.begin(); it != m_places.end(); ++it) {
        if (*it == place) {
            ::close(place->filesFd);
            ::close(place->infoFd);
            delete place;
            m_places.erase(it);
            return;
        }
    }
}

int DesktopTrash::homePlace(std::uint64_t device, Place*& out)
{
    const std::string home = HomeTrashFolder();
    if (home.empty())
        return ENOENT;
    for (Place* place : m_places) {
        if (!place->home.empty() && place->home == home) {
            if (place->device != device)
                return EXDEV;
            out = place;
            return 0;
        }
    }
    // The home trash serves the files of the file system its data folder is on.
    std::uint64_t homeDevice = 0;
    if (const int err = nearestDevice(home, homeDevice); err != 0)
        return err;
    if (homeDevice != device)
        return EXDEV;
    if (const int err = makeFolders(home); err != 0)
        return err;
    const int trashFd = ::open(home.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (trashFd < 0)
        return errno;
    auto* place = new Place{device, 0, home, -1, -1};
    const int err = openTrashFolders(trashFd, place->filesFd, place->infoFd);
    ::close(trashFd);
    if (err != 0) {
        delete place;
        return err;
    }
    Identity id;
    if (identify(place->filesFd, "", id) == 0)
        place->mount = id.mount;
    m_places.push_back(place);
    out = place;
    return 0;
}

int DesktopTrash::mountPlace(int dirFd, std::uint64_t device, std::uint64_t mount, Place*& out)
{
    for (Place* place : m_places) {
        if (place->home.empty() && place->device == device && place->mount == mount) {
            out = place;
            return 0;
        }
    }
    // The top folder of the entry's mount: up from its folder while ".." is on the same mount.
    int top = ::openat(dirFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (top < 0)
        return errno;
    Identity here;
    if (const int err = identify(top, "", here); err != 0) {
        ::close(top);
        return err;
    }
    while (true) {
        const int up = ::openat(top, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (up < 0)
            break;
        Identity above;
        if (identify(up, "", above) != 0 || above.device != here.device || above.mount != here.mount ||
            above.inode == here.inode) {
            ::close(up);
            break;
        }
        ::close(top);
        top = up;
        here = above;
    }

    int trashFd = -1;
    // $topdir/.Trash/$uid, when an administrator prepared .Trash: a real folder with the
    // sticky bit, so that users cannot remove each other's trash.
    struct stat shared;
    if (::fstatat(top, ".Trash", &shared, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX) != 0) {
        const int sharedFd = ::openat(top, ".Trash", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sharedFd >= 0) {
            const std::string uid = std::to_string(::geteuid());
            trashFd = openOwnFolder(sharedFd, uid.c_str());
            ::close(sharedFd);
        }
    }
    int filesFd = -1;
    int infoFd = -1;
    int err = 0;
    if (trashFd >= 0) {
        err = openTrashFolders(trashFd, filesFd, infoFd);
        ::close(trashFd);
        trashFd = -1;
    }
    if (filesFd < 0) {
        const std::string own = ".Trash-" + std::to_string(::geteuid());
        trashFd = openOwnFolder(top, own.c_str());
        err = trashFd < 0 ? -trashFd : openTrashFolders(trashFd, filesFd, infoFd);
        if (trashFd >= 0)
            ::close(trashFd);
    }
    ::close(top);
    if (err != 0)
        return err;
    auto* place = new Place{device, mount, {}, filesFd, infoFd};
    m_places.push_back(place);
    out = place;
    return 0;
}

int DesktopTrash::placeFor(int dirFd, std::uint64_t device, std::uint64_t mount, bool skipHome, Place*& out)
{
    if (!skipHome) {
        const int err = homePlace(device, out);
        if (err == 0 && (out->mount == 0 || mount == 0 || out->mount == mount))
            return 0;
    }
    return mountPlace(dirFd, device, mount, out);
}

int DesktopTrash::Move(int dirFd, const char* name, TrashedFile* out)
{
    Identity entry;
    mode_t mode = 0;
    if (const int err = identify(dirFd, name, entry, &mode); err != 0)
        return err;
    // Folders are not the run's to trash: it removes only empty ones, and those as before.
    if (S_ISDIR(mode))
        return EISDIR;
    const std::string info =
        "[Trash Info]\nPath=" + EncodeTrashPath(TrashedPathOf(dirFd, name)) + "\nDeletionDate=" + localStamp() + "\n";
    const std::string base = trashBase(name);
    bool skipHome = false;
    bool retried = false;
    while (true) {
        Place* place = nullptr;
        if (const int err = placeFor(dirFd, entry.device, entry.mount, skipHome, place); err != 0)
            return err;
        int result = EEXIST;
        std::string trashName;
        // The .trashinfo is made first and exclusively: its name reserves the name in files/.
        for (unsigned attempt = 1; result == EEXIST && attempt < 10000; ++attempt) {
            trashName = base;
            if (attempt > 1) {
                // A few plain numbers, then numbers that seldom clash, so that a thousand
                // deletions of one name do not try every earlier number each time.
                const unsigned number = attempt < 8 ? attempt : attempt * 7919u + static_cast<unsigned>(::getpid());
                trashName += "." + std::to_string(number);
            }
            const std::string infoName = trashName + std::string(kInfoSuffix);
            const int infoFd =
                ::openat(place->infoFd, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (infoFd < 0) {
                result = errno;
                continue;
            }
            result = writeAll(infoFd, info);
            if (::close(infoFd) != 0 && result == 0)
                result = errno;
            if (result == 0)
                result = RenameNoReplace(dirFd, name, place->filesFd, trashName.c_str());
            if (result != 0)
                ::unlinkat(place->infoFd, infoName.c_str(), 0);
        }
        if (result == 0) {
            if (out != nullptr)
                *out = TrashedFile{place->filesFd, place->infoFd, trashName};
            return 0;
        }
        if (result == EXDEV && !place->home.empty() && !skipHome) {
            // The home trash is on this file system but another mount of it (a bind mount, a
            // subvolume): the mount's own trash takes the file.
            skipHome = true;
            continue;
        }
        if (result == ENOENT && !retried) {
            // The trash folder was removed while it was held open: find it again, once.
            Identity still;
            if (identify(dirFd, name, still) != 0)
                return ENOENT;
            forget(place);
            retried = true;
            continue;
        }
        return result;
    }
}

int DesktopTrash::PutBack(const TrashedFile& trashed, int dirFd, const char* name)
{
    if (const int err = RenameNoReplace(trashed.filesFd, trashed.name.c_str(), dirFd, name); err != 0)
        return err;
    const std::string infoName = trashed.name + std::string(kInfoSuffix);
    ::unlinkat(trashed.infoFd, infoName.c_str(), 0);
    return 0;
}

int ReplaceKeepingOld(DesktopTrash& trash, int fromDir, const char* from, int toDir, const char* to,
                      TrashOutcome& outcome)
{
    outcome = TrashOutcome{};
    for (int attempt = 0; attempt < 4; ++attempt) {
        int rc = RenameNoReplace(fromDir, from, toDir, to);
        if (rc != EEXIST)
            return rc;
        // The old file goes first, the new one follows into its free name: should the program
        // stop in between, the old file is in the trash and the new one is still complete
        // under its temporary name, which the next run clears away and copies again.
        TrashedFile trashed;
        rc = trash.Move(toDir, to, &trashed);
        if (rc == ENOENT)
            continue;
        // A folder in the way is a failed rename, as it is without the trash.
        if (rc == EISDIR)
            return rc;
        if (rc != 0) {
            outcome.TrashError = rc;
            return rc;
        }
        rc = RenameNoReplace(fromDir, from, toDir, to);
        if (rc == 0) {
            outcome.Trashed = true;
            return 0;
        }
        trash.PutBack(trashed, toDir, to);
        if (rc != EEXIST)
            return rc;
    }
    return EEXIST;
}

} // namespace pelmora
