#pragma once
// TQuitSignals: turns SIGTERM and SIGINT into a call on the UI thread, so that a program
// stopped by the desktop session or by kill can end in order. The signal handler only writes
// one byte to a pipe; a socket notifier on the pipe's other end makes the call.
// Create one instance, on the UI thread, after the QApplication.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace pelmora {

class TQuitSignals final : public QObject
{
public:
    // Installs the handlers for SIGTERM and SIGINT; `onQuit` runs on the UI thread, once per
    // signal received. Throws std::system_error when the pipe or a handler cannot be set up.
    explicit TQuitSignals(std::function<void(int signal)> onQuit, QObject* parent = nullptr);
    // Restores the default actions and closes the pipe.
    ~TQuitSignals() override;

private:
    void readSignals();

    std::function<void(int)> m_onQuit;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace pelmora
