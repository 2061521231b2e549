#include "platform/ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pelmora {

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& program, int& err)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        err = errno;
        return nullptr;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 clears close-on-exec on the copies, so the child keeps exactly these two.
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling, whatever this process installed.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        err = rc;
        return nullptr;
    }
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    std::unique_ptr<ChildProcess> child(new ChildProcess());
    child->m_fd = fds[0];
    child->m_pid = pid;
    err = 0;
    return child;
}

ChildProcess::~ChildProcess()
{
    Stop();
}

int ChildProcess::Send(std::string_view bytes)
{
    return m_fd < 0 ? EPIPE : SendAll(m_fd, bytes);
}

long ChildProcess::Receive(std::string& into)
{
    return m_fd < 0 ? 0 : ReceiveAvailable(m_fd, into);
}

int SendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        return n < 0 ? errno : EPIPE;
    }
    return 0;
}

long ReceiveAvailable(int fd, std::string& into)
{
    char buffer[65536];
    long total = 0;
    while (true) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            total += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return total > 0 ? total : -1;
        // The end of the stream, or the connection broke: either way the other end is gone.
        return total > 0 ? total : 0;
    }
}

std::vector<std::size_t> WaitReadable(const std::vector<int>& fds, int timeoutMs)
{
    std::vector<pollfd> polled;
    polled.reserve(fds.size());
    for (const int fd : fds)
        polled.push_back(pollfd{fd, POLLIN, 0});
    std::vector<std::size_t> ready;
    int rc;
    do {
        rc = ::poll(polled.data(), polled.size(), timeoutMs);
    } while (rc < 0 && errno == EINTR && timeoutMs < 0);
    if (rc <= 0)
        return ready;
    for (std::size_t i = 0; i < polled.size(); ++i) {
        if (polled[i].revents != 0)
            ready.push_back(i);
    }
    return ready;
}

void ChildProcess::Stop(int graceMs)
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (m_pid <= 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (true) {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid || (r < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_pid = -1;
}

} // namespace pelmora
