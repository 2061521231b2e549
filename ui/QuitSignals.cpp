#include "ui/QuitSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace pelmora {

namespace {

// Written only by the constructor and destructor, read by the handler.
volatile int g_writeEnd = -1;
int g_readEnd = -1;

extern "C" void onQuitSignal(int signal)
{
    // Only async-signal-safe calls here: write(2), and errno put back as it was.
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (g_writeEnd >= 0) {
        [[maybe_unused]] const ssize_t written = write(g_writeEnd, &byte, 1);
    }
    errno = saved;
}

bool install(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(signal, &action, nullptr) == 0;
}

} // namespace

TQuitSignals::TQuitSignals(std::function<void(int)> onQuit, QObject* parent)
    : QObject(parent), m_onQuit(std::move(onQuit))
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    g_readEnd = ends[0];
    g_writeEnd = ends[1];
    m_notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TQuitSignals::readSignals);
    if (!install(SIGTERM, onQuitSignal) || !install(SIGINT, onQuitSignal))
        throw std::system_error(errno, std::generic_category(), "sigaction");
}

TQuitSignals::~TQuitSignals()
{
    install(SIGTERM, SIG_DFL);
    install(SIGINT, SIG_DFL);
    const int writeEnd = g_writeEnd;
    g_writeEnd = -1;
    delete m_notifier;
    close(writeEnd);
    close(g_readEnd);
    g_readEnd = -1;
}

void TQuitSignals::readSignals()
{
    unsigned char received[16];
    ssize_t count;
    while ((count = read(g_readEnd, received, sizeof received)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            if (m_onQuit)
                m_onQuit(received[i]);
        }
    }
}

} // namespace pelmora
