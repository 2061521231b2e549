#pragma once
// ChildProcess: a helper program started with one end of a socket pair as its standard input
// and output, so that the two processes exchange messages over one connection; and the calls
// both ends use on such a connection. Writing never raises SIGPIPE: writing to a process that
// has gone fails with EPIPE instead.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace pelmora {

class ChildProcess
{
public:
    // Starts `program` with no arguments; standard error is shared with this process.
    // Returns nullptr and sets `err` (an errno value) when it cannot be started.
    static std::unique_ptr<ChildProcess> Start(const std::string& program, int& err);
    // Closes the connection and waits for the child (see Stop).
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The parent's end of the connection, non-blocking, for poll().
    int Fd() const { return m_fd; }
    pid_t Pid() const { return m_pid; }

    // Sends all of `bytes`, waiting for room when the connection is full. Returns 0 or an
    // errno value (EPIPE once the child has gone).
    int Send(std::string_view bytes);
    // Appends what has arrived to `into` without waiting. Returns the number of bytes read,
    // 0 when the child closed its end (or has gone), or -1 when nothing is waiting.
    long Receive(std::string& into);

    // Closes the connection, which tells the child to finish, and waits up to `graceMs` for
    // it to exit before killing it. Safe to call twice.
    void Stop(int graceMs = 5000);

private:
    ChildProcess() = default;
    int m_fd = -1;
    pid_t m_pid = -1;
};

// Sends all of `bytes` on the socket `fd`, waiting for room when it is full. Returns 0 or an
// errno value (EPIPE once the other end has gone).
int SendAll(int fd, std::string_view bytes);
// Appends what has arrived on the socket `fd` to `into` without waiting. Returns the number of
// bytes read, 0 when the other end closed (or the connection broke), -1 when nothing is waiting.
long ReceiveAvailable(int fd, std::string& into);
// Waits up to `timeoutMs` (-1: no limit) until some of `fds` can be read (or were closed);
// returns their positions in `fds`, none when the time ran out.
std::vector<std::size_t> WaitReadable(const std::vector<int>& fds, int timeoutMs);

} // namespace pelmora
