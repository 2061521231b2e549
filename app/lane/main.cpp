// pelmora-lane: a copy lane. A run with a side on a network share starts a few of these and
// hands each file operations to carry out over a connection of its own, so that the round
// trips of several files overlap. It talks to the run over its standard input and output and
// ends when the run closes them. Not meant to be started by hand.
#include "sync/LaneWorker.h"

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

int main()
{
    int type = 0;
    socklen_t length = sizeof type;
    if (::getsockopt(STDIN_FILENO, SOL_SOCKET, SO_TYPE, &type, &length) != 0) {
        std::fprintf(stderr, "pelmora-lane: started by a run of pelmora only\n");
        return 2;
    }
    // Ctrl+C in a terminal, or a quit signal sent to the whole process group, is the run's to
    // handle: it cancels, and a cancel ends every copy cleanly here. A lane ends when the run
    // closes the connection, also when the run itself is killed.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    return pelmora::RunLaneWorker(STDIN_FILENO, STDOUT_FILENO);
}

// The SMB client library keeps a small block per client context that it never frees; in the
// sanitizer build the leak checker is told to ignore that one, so a lane ends quietly.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libtalloc.so\n";
}
