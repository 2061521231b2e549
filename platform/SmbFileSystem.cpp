#include "platform/SmbFileSystem.h"

#include "platform/PartialFiles.h"
#include "platform/SmbLibrary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <vector>

namespace pelmora {

namespace {

constexpr auto kKnownDirLifetime = std::chrono::seconds(2);
constexpr std::size_t kMaxRemembered = 4096;

std::map<std::string, std::shared_ptr<SmbSession>>& Registry()
{
    static std::map<std::string, std::shared_ptr<SmbSession>> sessions;
    return sessions;
}

// errno right after a failed library call; a library that failed without saying why is
// reported as an I/O error rather than as success.
int LastError()
{
    return errno != 0 ? errno : EIO;
}

// The loaded library. Only code holding a context calls it, and only a loaded library gives one.
const SmbLibrary& Smb()
{
    return *SmbClient();
}

void CopyField(char* dest, int destLen, const std::string& value)
{
    if (destLen <= 0) {
        return;
    }
    const std::size_t n = std::min(value.size(), static_cast<std::size_t>(destLen - 1));
    std::memcpy(dest, value.data(), n);
    dest[n] = '\0';
}

FileStat ToFileStat(const struct stat& st)
{
    FileStat out;
    if (S_ISDIR(st.st_mode)) {
        out.type = EntryType::Dir;
    } else if (S_ISREG(st.st_mode)) {
        out.type = EntryType::File;
    } else {
        out.type = EntryType::Other;
    }
    out.size = static_cast<std::int64_t>(st.st_size);
    out.mtimeSec = static_cast<std::int64_t>(st.st_mtime);
    out.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    return out;
}

// Every request is a round trip to the server, and the engine moves files in small blocks:
// reads are served from a read-ahead buffer and writes collected until this many bytes are
// waiting, so a large file crosses the network in a few large requests.
constexpr std::size_t kTransferSize = 1024 * 1024;

class SmbFile : public FileHandle
{
public:
    SmbFile(std::shared_ptr<SmbSession> session, SMBCFILE* file, bool writing)
        : m_session(std::move(session)), m_file(file), m_writing(writing)
    {
        m_session->FileOpened();
    }
    ~SmbFile() override { Close(); }

    std::int64_t Read(void* buffer, std::size_t size) override
    {
        if (m_file == nullptr || m_session->Context() == nullptr) {
            return -ENOTCONN;
        }
        if (m_writing) {
            return -EBADF;
        }
        if (m_readPos == m_data.size()) {
            if (size >= kTransferSize) {
                return ReadServer(buffer, size);
            }
            m_data.resize(kTransferSize);
            const std::int64_t n = ReadServer(m_data.data(), m_data.size());
            m_data.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            m_readPos = 0;
            if (n <= 0) {
                return n;
            }
        }
        const std::size_t n = std::min(size, m_data.size() - m_readPos);
        std::memcpy(buffer, m_data.data() + m_readPos, n);
        m_readPos += n;
        return static_cast<std::int64_t>(n);
    }

    // Bytes are accepted into the buffer; a failure to send them shows in a later Write or in
    // Close, which the caller must check before it trusts the file.
    std::int64_t Write(const void* buffer, std::size_t size) override
    {
        if (m_file == nullptr || m_session->Context() == nullptr) {
            return -ENOTCONN;
        }
        if (!m_writing) {
            return -EBADF;
        }
        if (m_data.size() + size > kTransferSize) {
            if (const int err = Flush(); err != 0) {
                return -err;
            }
        }
        if (size >= kTransferSize) {
            const int err = WriteServer(static_cast<const char*>(buffer), size);
            return err != 0 ? -err : static_cast<std::int64_t>(size);
        }
        if (m_data.capacity() < kTransferSize) {
            m_data.reserve(kTransferSize);
        }
        m_data.insert(m_data.end(), static_cast<const char*>(buffer), static_cast<const char*>(buffer) + size);
        return static_cast<std::int64_t>(size);
    }

    int Close() override
    {
        if (m_file == nullptr) {
            return 0;
        }
        const int flushErr = m_session->Context() != nullptr ? Flush() : 0;
        SMBCFILE* file = m_file;
        m_file = nullptr;
        m_session->FileClosed();
        SMBCCTX* ctx = m_session->Context();
        if (ctx == nullptr) {
            // A forced disconnect freed the file with its context.
            return ENOTCONN;
        }
        errno = 0;
        const int closeErr = Smb().getFunctionClose(ctx)(ctx, file) < 0 ? LastError() : 0;
        return flushErr != 0 ? flushErr : closeErr;
    }

private:
    std::int64_t ReadServer(void* buffer, std::size_t size)
    {
        SMBCCTX* ctx = m_session->Context();
        errno = 0;
        const ssize_t n = Smb().getFunctionRead(ctx)(ctx, m_file, buffer, size);
        return n < 0 ? -LastError() : n;
    }

    // Returns 0 or an errno value.
    int WriteServer(const char* p, std::size_t size)
    {
        SMBCCTX* ctx = m_session->Context();
        std::size_t done = 0;
        while (done < size) {
            errno = 0;
            const ssize_t n = Smb().getFunctionWrite(ctx)(ctx, m_file, p + done, size - done);
            if (n < 0) {
                return LastError();
            }
            if (n == 0) {
                return EIO;
            }
            done += static_cast<std::size_t>(n);
        }
        return 0;
    }

    // Sends the collected bytes of a file being written. Returns 0 or an errno value; after a
    // failure the bytes are dropped, as the file is incomplete either way.
    int Flush()
    {
        if (!m_writing || m_data.empty()) {
            return 0;
        }
        const int err = WriteServer(m_data.data(), m_data.size());
        m_data.clear();
        return err;
    }

    std::shared_ptr<SmbSession> m_session;
    SMBCFILE* m_file;
    bool m_writing;
    // Read-ahead for a file opened for reading, collected writes for one being written.
    std::vector<char> m_data;
    std::size_t m_readPos = 0;
};

} // namespace

std::shared_ptr<SmbSession> SmbSession::Create(const NetPath& share, const std::string& userName,
                                               const std::string& password, int timeoutMs, int& err)
{
    static std::uint64_t lastId = 0;
    std::shared_ptr<SmbSession> session(new SmbSession());
    session->m_id = ++lastId;
    session->m_share = share;
    session->m_share.subPath.clear();
    // "DOMAIN\user" and "DOMAIN/user" name the workgroup as Windows accepts them.
    const std::size_t sep = userName.find_first_of("\\/");
    if (sep != std::string::npos) {
        session->m_workgroup = userName.substr(0, sep);
        session->m_userName = userName.substr(sep + 1);
    } else {
        session->m_userName = userName;
    }
    session->m_loginName = userName;
    session->m_password = password;
    const bool anonymous = userName.empty() && password.empty();

    const SmbLibrary* smb = SmbClient();
    if (smb == nullptr) {
        err = ELIBACC;
        return nullptr;
    }
    errno = 0;
    SMBCCTX* ctx = smb->new_context();
    if (ctx == nullptr) {
        err = LastError();
        return nullptr;
    }
    smb->setDebug(ctx, 0);
    smb->setOptionDebugToStderr(ctx, false);
    smb->setOptionUserData(ctx, session.get());
    smb->setFunctionAuthDataWithContext(ctx, &SmbSession::Authenticate);
    smb->setTimeout(ctx, timeoutMs);
    if (share.port != 0) {
        smb->setPort(ctx, share.port);
    }
    // Only the name and password given count: no ticket cache, no Kerberos, and no quiet
    // anonymous login when those credentials are refused.
    smb->setOptionUseKerberos(ctx, false);
    smb->setOptionFallbackAfterKerberos(ctx, true);
    smb->setOptionUseCCache(ctx, false);
    smb->setOptionNoAutoAnonymousLogin(ctx, !anonymous);

    errno = 0;
    if (smb->init_context(ctx) == nullptr) {
        err = LastError();
        smb->free_context(ctx, 1);
        return nullptr;
    }
    session->m_ctx = ctx;
    err = 0;
    return session;
}

SmbSession::~SmbSession()
{
    Close();
}

void SmbSession::Authenticate(SMBCCTX* ctx, const char*, const char*, char* workgroup, int workgroupLen, char* user,
                              int userLen, char* password, int passwordLen)
{
    const auto* self = static_cast<const SmbSession*>(Smb().getOptionUserData(ctx));
    if (self == nullptr) {
        return;
    }
    if (!self->m_workgroup.empty()) {
        CopyField(workgroup, workgroupLen, self->m_workgroup);
    }
    CopyField(user, userLen, self->m_userName);
    CopyField(password, passwordLen, self->m_password);
}

int SmbSession::CheckShare()
{
    if (m_ctx == nullptr) {
        return ENOTCONN;
    }
    const std::string url = SmbUrl(m_share);
    errno = 0;
    SMBCFILE* dir = Smb().getFunctionOpendir(m_ctx)(m_ctx, url.c_str());
    if (dir == nullptr) {
        return LastError();
    }
    Smb().getFunctionClosedir(m_ctx)(m_ctx, dir);
    return 0;
}

void SmbSession::Close()
{
    if (m_ctx != nullptr) {
        SMBCCTX* ctx = m_ctx;
        m_ctx = nullptr;
        Smb().setOptionUserData(ctx, nullptr);
        Smb().free_context(ctx, 1);
    }
    // The password is needed no longer; do not leave it in memory longer than the session.
    std::fill(m_password.begin(), m_password.end(), '\0');
    m_password.clear();
    m_loginName.clear();
}

void AddSmbSession(const std::string& key, std::shared_ptr<SmbSession> session)
{
    auto& sessions = Registry();
    auto it = sessions.find(key);
    if (it != sessions.end()) {
        it->second->Close();
        it->second = std::move(session);
    } else {
        sessions.emplace(key, std::move(session));
    }
}

std::shared_ptr<SmbSession> FindSmbSession(const std::string& key)
{
    auto& sessions = Registry();
    auto it = sessions.find(key);
    return it == sessions.end() ? nullptr : it->second;
}

std::shared_ptr<SmbSession> TakeSmbSession(const std::string& key)
{
    auto& sessions = Registry();
    auto it = sessions.find(key);
    if (it == sessions.end()) {
        return nullptr;
    }
    std::shared_ptr<SmbSession> session = std::move(it->second);
    sessions.erase(it);
    return session;
}

int SmbFileSystem::Resolve(const std::string& path, std::shared_ptr<SmbSession>& session, std::string& url)
{
    NetPath parsed;
    if (!ParseNetPath(path, parsed)) {
        return ENOENT;
    }
    const std::string key = NetShareKey(parsed);
    session = FindSmbSession(key);
    if (session == nullptr) {
        auto it = m_anonymous.find(key);
        if (it != m_anonymous.end()) {
            session = it->second;
        } else {
            int err = 0;
            session = SmbSession::Create(parsed, {}, {}, SmbSession::kTimeoutMs, err);
            if (session == nullptr) {
                return err;
            }
            m_anonymous.emplace(key, session);
        }
    }
    if (session->Context() == nullptr) {
        return ENOTCONN;
    }
    url = SmbUrl(parsed);
    return 0;
}

std::string SmbFileSystem::MemoryKey(const SmbSession& session, const std::string& url)
{
    // Shares compare names without regard to letter case, so "Docs" and "docs" are one folder.
    std::string key = std::to_string(session.Id()) + ' ' + url;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

void SmbFileSystem::Forget(const std::string& key)
{
    m_fresh.erase(key);
    const std::string below = key + '/';
    for (auto it = m_knownDirs.lower_bound(key); it != m_knownDirs.end();) {
        if (it->first == key || it->first.starts_with(below)) {
            it = m_knownDirs.erase(it);
        } else if (it->first.compare(0, key.size(), key) == 0) {
            ++it; // a sibling whose name continues this one ("a b" after "a")
        } else {
            break;
        }
    }
}

void SmbFileSystem::CloseAnonymousSessions()
{
    for (auto& [key, session] : m_anonymous) {
        session->Close();
    }
    m_anonymous.clear();
}

int SmbFileSystem::ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    SMBCCTX* ctx = session->Context();
    errno = 0;
    SMBCFILE* dir = Smb().getFunctionOpendir(ctx)(ctx, url.c_str());
    if (dir == nullptr) {
        return LastError();
    }
    // The server sends the whole listing with sizes and times when the folder is opened, so
    // each entry costs no further request.
    const auto readdir = Smb().getFunctionReaddirPlus2(ctx);
    while (true) {
        struct stat st
        {
        };
        const libsmb_file_info* info = readdir(ctx, dir, &st);
        if (info == nullptr) {
            break;
        }
        const std::string_view name = info->name != nullptr ? info->name : "";
        if (name.empty() || name == "." || name == "..") {
            continue;
        }
        DirEntry entry{name, ToFileStat(st)};
        if (!onEntry(entry)) {
            break;
        }
    }
    Smb().getFunctionClosedir(ctx)(ctx, dir);
    return 0;
}

int SmbFileSystem::Stat(const std::string& path, FileStat& out)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    const auto now = std::chrono::steady_clock::now();
    const std::string key = MemoryKey(*session, url);
    if (auto it = m_knownDirs.find(key); it != m_knownDirs.end()) {
        if (now - it->second.seen < kKnownDirLifetime) {
            out = it->second.stat;
            return 0;
        }
        m_knownDirs.erase(it);
    }
    SMBCCTX* ctx = session->Context();
    struct stat st
    {
    };
    errno = 0;
    if (Smb().getFunctionStat(ctx)(ctx, url.c_str(), &st) < 0) {
        return LastError();
    }
    out = ToFileStat(st);
    if (out.type == EntryType::Dir) {
        if (m_knownDirs.size() >= kMaxRemembered) {
            m_knownDirs.clear();
        }
        m_knownDirs[key] = KnownDir{out, now};
    }
    return 0;
}

int SmbFileSystem::OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    SMBCCTX* ctx = session->Context();
    errno = 0;
    SMBCFILE* file = Smb().getFunctionOpen(ctx)(ctx, url.c_str(), O_RDONLY, 0);
    if (file == nullptr) {
        return LastError();
    }
    out = std::make_unique<SmbFile>(session, file, false);
    return 0;
}

int SmbFileSystem::CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    SMBCCTX* ctx = session->Context();
    errno = 0;
    SMBCFILE* file = Smb().getFunctionOpen(ctx)(ctx, url.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (file == nullptr) {
        return LastError();
    }
    if (m_fresh.size() >= kMaxRemembered) {
        m_fresh.clear();
    }
    m_fresh.insert(MemoryKey(*session, url));
    out = std::make_unique<SmbFile>(session, file, true);
    return 0;
}

int SmbFileSystem::Rename(const std::string& from, const std::string& to)
{
    return rename(from, to, true);
}

int SmbFileSystem::RenameNew(const std::string& from, const std::string& to)
{
    return rename(from, to, false);
}

int SmbFileSystem::rename(const std::string& from, const std::string& to, bool lookForTarget)
{
    std::shared_ptr<SmbSession> fromSession;
    std::shared_ptr<SmbSession> toSession;
    std::string fromUrl;
    std::string toUrl;
    if (const int err = Resolve(from, fromSession, fromUrl); err != 0) {
        return err;
    }
    if (const int err = Resolve(to, toSession, toUrl); err != 0) {
        return err;
    }
    if (fromSession != toSession) {
        return EXDEV;
    }
    Forget(MemoryKey(*fromSession, fromUrl));
    Forget(MemoryKey(*fromSession, toUrl));
    SMBCCTX* ctx = fromSession->Context();
    const auto move = [ctx](const std::string& a, const std::string& b) {
        errno = 0;
        return Smb().getFunctionRename(ctx)(ctx, a.c_str(), ctx, b.c_str()) < 0 ? LastError() : 0;
    };

    if (!lookForTarget) {
        return move(fromUrl, toUrl);
    }
    // The library replaces an existing target by deleting it and renaming again, so should the
    // second step fail, neither file would be left. An existing target is moved aside under a
    // name the scanner skips instead, and moved back when the rename fails.
    struct stat st
    {
    };
    errno = 0;
    if (Smb().getFunctionStat(ctx)(ctx, toUrl.c_str(), &st) < 0) {
        const int err = LastError();
        return err == ENOENT ? move(fromUrl, toUrl) : err;
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    // The old file's own name goes last where it fits, so that should the program stop between
    // the two renames, a later run can put the file it set aside back in its place.
    std::string aside = to.substr(0, to.rfind('/') + 1);
    aside += NewAsideFileName(std::string_view(to).substr(to.rfind('/') + 1));
    std::shared_ptr<SmbSession> asideSession;
    std::string asideUrl;
    if (const int err = Resolve(aside, asideSession, asideUrl); err != 0) {
        return err;
    }
    if (const int err = move(toUrl, asideUrl); err != 0) {
        return err;
    }
    if (const int err = move(fromUrl, toUrl); err != 0) {
        move(asideUrl, toUrl);
        return err;
    }
    errno = 0;
    if (Smb().getFunctionUnlink(ctx)(ctx, asideUrl.c_str()) < 0) {
        // A read-only file cannot be deleted on a share until it is made writable.
        Smb().getFunctionChmod(ctx)(ctx, asideUrl.c_str(), 0644);
        Smb().getFunctionUnlink(ctx)(ctx, asideUrl.c_str());
    }
    return 0;
}

int SmbFileSystem::SetMTime(const std::string& path, std::int64_t mtimeSec)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    SMBCCTX* ctx = session->Context();
    struct timeval times[2]{};
    times[0].tv_sec = std::time(nullptr);
    times[1].tv_sec = static_cast<time_t>(mtimeSec);
    errno = 0;
    return Smb().getFunctionUtimes(ctx)(ctx, url.c_str(), times) < 0 ? LastError() : 0;
}

int SmbFileSystem::SetMode(const std::string& path, std::uint32_t mode)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    SMBCCTX* ctx = session->Context();
    // A share keeps DOS attributes, not permission bits: only the owner's write bit has a
    // counterpart (read-only). The execute bits would turn into archive, system and hidden.
    const bool writable = (mode & S_IWUSR) != 0;
    const std::string key = MemoryKey(*session, url);
    if (writable && m_fresh.count(key) != 0) {
        return 0;
    }
    m_fresh.erase(key);
    const mode_t smbMode = writable ? 0644 : 0444;
    errno = 0;
    return Smb().getFunctionChmod(ctx)(ctx, url.c_str(), smbMode) < 0 ? LastError() : 0;
}

int SmbFileSystem::MakeDir(const std::string& path)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    SMBCCTX* ctx = session->Context();
    errno = 0;
    return Smb().getFunctionMkdir(ctx)(ctx, url.c_str(), 0755) < 0 ? LastError() : 0;
}

int SmbFileSystem::RemoveDir(const std::string& path)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    Forget(MemoryKey(*session, url));
    SMBCCTX* ctx = session->Context();
    errno = 0;
    return Smb().getFunctionRmdir(ctx)(ctx, url.c_str()) < 0 ? LastError() : 0;
}

int SmbFileSystem::RemoveFile(const std::string& path)
{
    std::shared_ptr<SmbSession> session;
    std::string url;
    if (const int err = Resolve(path, session, url); err != 0) {
        return err;
    }
    Forget(MemoryKey(*session, url));
    SMBCCTX* ctx = session->Context();
    errno = 0;
    return Smb().getFunctionUnlink(ctx)(ctx, url.c_str()) < 0 ? LastError() : 0;
}

int SmbFileSystem::trash(const std::string& path, const TrashSpot& spot, std::string& where)
{
    const std::string& root = spot.Root;
    if (root.empty() || spot.Run.empty() || path.size() <= root.size() + 1 || path.compare(0, root.size(), root) != 0 ||
        path[root.size()] != '/')
        return ENOTSUP;
    const std::string_view rel = std::string_view(path).substr(root.size());
    std::string folder = root;
    folder += '/';
    folder += kRunTrashFolder;
    folder += '/';
    folder += spot.Run;
    folder += rel.substr(0, rel.rfind('/'));
    // The folders of the trash are made one level at a time below the root, as a copy's are.
    std::size_t pos = root.size();
    while (pos < folder.size()) {
        const std::size_t next = std::min(folder.find('/', pos + 1), folder.size());
        const std::string level = folder.substr(0, next);
        pos = next;
        FileStat st;
        int rc = Stat(level, st);
        if (rc == ENOENT) {
            rc = MakeDir(level);
            if (rc == EEXIST)
                rc = Stat(level, st);
            else if (rc == 0)
                st.type = EntryType::Dir;
        }
        if (rc != 0)
            return rc;
        if (st.type != EntryType::Dir)
            return ENOTDIR;
    }
    const std::string name(rel.substr(rel.rfind('/') + 1));
    for (int attempt = 1; attempt < 1000; ++attempt) {
        where = folder + "/" + name;
        if (attempt > 1)
            where += "." + std::to_string(attempt);
        FileStat st;
        const int rc = Stat(where, st);
        if (rc == ENOENT)
            return RenameNew(path, where);
        if (rc != 0)
            return rc;
    }
    return EEXIST;
}

int SmbFileSystem::MoveToTrash(const std::string& path, const TrashSpot& spot)
{
    std::string where;
    return trash(path, spot, where);
}

int SmbFileSystem::ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed,
                                    const TrashSpot& spot, TrashOutcome& outcome)
{
    outcome = TrashOutcome{};
    if (!toListed)
        return RenameNew(from, to);
    std::string where;
    const int trashed = trash(to, spot, where);
    if (trashed != 0 && trashed != ENOENT) {
        outcome.TrashError = trashed;
        return trashed;
    }
    const int rc = RenameNew(from, to);
    if (trashed == 0) {
        if (rc != 0)
            RenameNew(where, to);
        else
            outcome.Trashed = true;
    }
    return rc;
}

SmbFileSystem& InstallSmbFileSystem()
{
    static SmbFileSystem fs;
    RegisterNetworkFileSystem(&fs);
    return fs;
}

} // namespace pelmora
