#include "tests/support/SmbTestServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pelmora::test {

namespace fs = std::filesystem;

namespace {

bool PortAnswers(std::uint16_t port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(sock);
    return ok;
}

std::string Tail(const std::string& file)
{
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.size() > 1500 ? text.substr(text.size() - 1500) : text;
}

} // namespace

std::uint16_t FreeLoopbackPort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) {
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    std::uint16_t port = 0;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(sock);
    return port;
}

void UninstallSmbFileSystem()
{
    InstallSmbFileSystem().CloseAnonymousSessions();
    RegisterNetworkFileSystem(nullptr);
}

SmbTestServer& SmbTestServer::Get()
{
    static SmbTestServer server;
    return server;
}

SmbTestServer::SmbTestServer()
{
    if (!Start()) {
        Stop();
    }
}

SmbTestServer::~SmbTestServer()
{
    Stop();
    if (!m_base.empty()) {
        std::error_code ec;
        fs::remove_all(m_base, ec);
    }
}

std::string SmbTestServer::DataRoot() const
{
    return "//127.0.0.1:" + std::to_string(m_port) + "/data";
}

std::string SmbTestServer::PublicRoot() const
{
    return "//127.0.0.1:" + std::to_string(m_port) + "/public";
}

bool SmbTestServer::Start()
{
    const char* smbd = "/usr/sbin/smbd";
    if (::access(smbd, X_OK) != 0) {
        m_reason = "smbd is not installed (Debian package samba)";
        return false;
    }
    if (::geteuid() != 0) {
        m_reason = "smbd needs root to serve a share as its user";
        return false;
    }

    std::string pattern = testing::TempDir() + "pelmora-smb-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        m_reason = "cannot create a temporary folder";
        return false;
    }
    m_base = pattern;
    // smbd serves the shares as their user, who must be able to walk down to them.
    fs::permissions(m_base, fs::perms(0755));
    for (const char* sub : {"data", "public", "private", "lock", "state", "cache", "pid", "ncalrpc", "log"}) {
        fs::create_directories(m_base + "/" + sub);
    }

    // One system user for every test process; a concurrent useradd of the same name fails,
    // so look the user up again afterwards instead of trusting the exit status.
    if (::getpwnam(m_user.c_str()) == nullptr) {
        const std::string cmd = "useradd -M -N -s /usr/sbin/nologin " + m_user + " >/dev/null 2>&1";
        (void)std::system(cmd.c_str());
    }
    const passwd* pw = ::getpwnam(m_user.c_str());
    if (pw == nullptr) {
        m_reason = "cannot create the system user " + m_user;
        return false;
    }
    m_uid = pw->pw_uid;
    m_gid = pw->pw_gid;
    if (::chown(DataDir().c_str(), m_uid, m_gid) != 0 || ::chown(PublicDir().c_str(), m_uid, m_gid) != 0) {
        m_reason = "cannot hand the share folders to " + m_user;
        return false;
    }
    const std::string reach = "runuser -u " + m_user + " -- test -x " + DataDir() + " >/dev/null 2>&1";
    if (std::system(reach.c_str()) != 0) {
        m_reason = m_user + " cannot reach " + m_base + " (a folder above it is closed to others)";
        return false;
    }

    m_port = FreeLoopbackPort();
    if (m_port == 0) {
        m_reason = "no free port on 127.0.0.1";
        return false;
    }
    const std::string conf = m_base + "/smb.conf";
    {
        std::ofstream out(conf);
        out << "[global]\n"
            << "  interfaces = 127.0.0.1\n"
            << "  bind interfaces only = yes\n"
            << "  smb ports = " << m_port << "\n"
            << "  private dir = " << m_base << "/private\n"
            << "  lock directory = " << m_base << "/lock\n"
            << "  state directory = " << m_base << "/state\n"
            << "  cache directory = " << m_base << "/cache\n"
            << "  pid directory = " << m_base << "/pid\n"
            << "  ncalrpc dir = " << m_base << "/ncalrpc\n"
            << "  log file = " << m_base << "/log/log.%m\n"
            << "  server role = standalone server\n"
            << "  passdb backend = tdbsam\n"
            << "  disable netbios = yes\n"
            << "  load printers = no\n"
            << "  printcap name = /dev/null\n"
            << "  disable spoolss = yes\n"
            << "  guest account = " << m_user << "\n"
            << "[data]\n"
            << "  path = " << DataDir() << "\n"
            << "  read only = no\n"
            << "  valid users = " << m_user << "\n"
            << "[public]\n"
            << "  path = " << PublicDir() << "\n"
            << "  read only = no\n"
            << "  guest ok = yes\n"
            << "  force user = " << m_user << "\n";
        if (!out) {
            m_reason = "cannot write " + conf;
            return false;
        }
    }
    const std::string addUser = "printf '%s\\n%s\\n' '" + m_password + "' '" + m_password + "' | smbpasswd -c " + conf +
                                " -s -a " + m_user + " >/dev/null 2>&1";
    if (std::system(addUser.c_str()) != 0) {
        m_reason = "smbpasswd -a failed";
        return false;
    }

    const std::string logFile = m_base + "/log/smbd.out";
    const pid_t pid = ::fork();
    if (pid < 0) {
        m_reason = "fork failed";
        return false;
    }
    if (pid == 0) {
        // The server must not outlive a test process that crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int fd = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
        }
        ::execl(smbd, smbd, "-F", "--debug-stdout", "-d", "1", "-s", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    m_pid = pid;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (PortAnswers(m_port)) {
            return true;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_reason = "smbd exited at start: " + Tail(logFile);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_reason = "smbd did not open port " + std::to_string(m_port) + ": " + Tail(logFile);
    return false;
}

void SmbTestServer::Stop()
{
    if (m_pid <= 0) {
        return;
    }
    // smbd leads its own process group; the group holds the workers of each connection.
    ::kill(-m_pid, SIGTERM);
    ::kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 250; ++i) {
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

bool SmbTestServer::WriteDiskFile(const std::string& path, const std::string& bytes) const
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out) {
            return false;
        }
    }
    return ::chown(path.c_str(), m_uid, m_gid) == 0;
}

bool SmbTestServer::MakeDiskDir(const std::string& path) const
{
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        return false;
    }
    // Every folder made on the way belongs to the share's user too.
    for (fs::path dir = path; dir.string().size() > m_base.size() + 1; dir = dir.parent_path()) {
        if (::chown(dir.c_str(), m_uid, m_gid) != 0) {
            return false;
        }
    }
    return true;
}

void SmbTestServer::ClearShares() const
{
    for (const std::string& dir : {DataDir(), PublicDir()}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir, ec)) {
            fs::remove_all(entry.path(), ec);
        }
    }
}

} // namespace pelmora::test

// The SMB client library keeps a small block per client context that it never frees (seen
// with a bare smbc_new_context/smbc_free_context loop); the leak checker of the sanitizer
// build is told to ignore it, and only it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libtalloc.so\n";
}
