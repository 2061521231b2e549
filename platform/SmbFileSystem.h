#pragma once
// The file-system port for network paths, over the SMB client library. A path below a share
// for which TNetConnection opened a session goes through that session; any other network
// path goes through an anonymous session of its own. UI thread only.

#include "platform/FileSystem.h"
#include "platform/NetPath.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

struct _SMBCCTX;

namespace pelmora {

// One SMB client context bound to one share. Open files keep the session alive; Close frees
// the context at once, after which those files fail with ENOTCONN.
class SmbSession
{
public:
    // How long a request may wait for the server: a login, and every request after it.
    static constexpr int kTimeoutMs = 10000;

    // Creates a context for the share of `share`. With credentials (a user name or a
    // password given) it never logs in anonymously instead. `timeoutMs` bounds each request.
    // Returns nullptr and sets `err` (an errno value) when the library cannot start: ELIBACC
    // when it cannot be loaded at all (SmbClientError() says why).
    static std::shared_ptr<SmbSession> Create(const NetPath& share, const std::string& userName,
                                              const std::string& password, int timeoutMs, int& err);
    ~SmbSession();
    SmbSession(const SmbSession&) = delete;
    SmbSession& operator=(const SmbSession&) = delete;

    // Opens and closes the share's top folder, which logs in. Returns 0 or an errno value.
    int CheckShare();
    // Frees the context and drops every connection it held. Safe to call twice.
    void Close();

    _SMBCCTX* Context() const { return m_ctx; }
    // Different for every session this process creates, so what is remembered about one
    // session's files is never taken for another's.
    std::uint64_t Id() const { return m_id; }
    const NetPath& Share() const { return m_share; }
    // The user name as given (a "DOMAIN\user" form included) and the password, for a helper
    // process that logs in to the same share on its own connection. Empty once closed.
    const std::string& LoginName() const { return m_loginName; }
    const std::string& Password() const { return m_password; }
    int OpenFiles() const { return m_openFiles; }
    void FileOpened() { ++m_openFiles; }
    void FileClosed() { --m_openFiles; }

private:
    SmbSession() = default;
    static void Authenticate(_SMBCCTX* ctx, const char* server, const char* share, char* workgroup, int workgroupLen,
                             char* user, int userLen, char* password, int passwordLen);

    _SMBCCTX* m_ctx = nullptr;
    std::uint64_t m_id = 0;
    NetPath m_share;
    std::string m_workgroup;
    std::string m_userName;
    std::string m_loginName;
    std::string m_password;
    int m_openFiles = 0;
};

// The sessions opened by TNetConnection, by NetShareKey. Adding replaces (and closes) a
// session already held for the same share. Take returns nullptr when none is held.
void AddSmbSession(const std::string& key, std::shared_ptr<SmbSession> session);
std::shared_ptr<SmbSession> FindSmbSession(const std::string& key);
std::shared_ptr<SmbSession> TakeSmbSession(const std::string& key);

class SmbFileSystem : public FileSystem
{
public:
    int ListDir(const std::string& path, const std::function<bool(const DirEntry&)>& onEntry) override;
    int Stat(const std::string& path, FileStat& out) override;
    int OpenRead(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int CreateNew(const std::string& path, std::unique_ptr<FileHandle>& out) override;
    int Rename(const std::string& from, const std::string& to) override;
    // A plain library rename, one request less: should a file have appeared at `to` since the
    // listing, the library deletes it and renames again.
    int RenameNew(const std::string& from, const std::string& to) override;
    int SetMTime(const std::string& path, std::int64_t mtimeSec) override;
    int SetMode(const std::string& path, std::uint32_t mode) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int RemoveFile(const std::string& path) override;
    // A share has no trash: the file is moved on the server into the run's folder under
    // ".pelmora-trash" at the side's root, keeping its path below the root (one rename; a
    // name taken there by an earlier run of the same second gets a number).
    int MoveToTrash(const std::string& path, const TrashSpot& spot) override;
    int ReplaceIntoTrash(const std::string& from, const std::string& to, bool toListed, const TrashSpot& spot,
                         TrashOutcome& outcome) override;

    // Frees the anonymous sessions (they are opened again on the next call).
    void CloseAnonymousSessions();

private:
    // The session and URL for a network path. Returns 0 or an errno value (ENOENT when the
    // path is not a network path).
    int Resolve(const std::string& path, std::shared_ptr<SmbSession>& session, std::string& url);
    // The key of `url` in the two memories below: the session's id, then the URL.
    static std::string MemoryKey(const SmbSession& session, const std::string& url);
    // Drops what is remembered about the path of `key` and everything below it.
    void Forget(const std::string& key);
    // Rename and RenameNew; `lookForTarget` moves an existing target aside first.
    int rename(const std::string& from, const std::string& to, bool lookForTarget);
    // MoveToTrash, giving the path the file now has.
    int trash(const std::string& path, const TrashSpot& spot, std::string& where);

    std::map<std::string, std::shared_ptr<SmbSession>> m_anonymous;

    // Each request is a round trip, and a copy asks for its target folder every time. A
    // folder seen a moment ago is taken as still there; should it have gone meanwhile, the
    // next create in it fails and says so.
    struct KnownDir
    {
        FileStat stat;
        std::chrono::steady_clock::time_point seen;
    };
    std::map<std::string, KnownDir> m_knownDirs;
    // Files this object created and has not renamed, removed or made read-only since: they are
    // writable already, so making them writable needs no request.
    std::set<std::string> m_fresh;
};

// The process's SMB file system, (re)registered for network paths by every call.
SmbFileSystem& InstallSmbFileSystem();

} // namespace pelmora
