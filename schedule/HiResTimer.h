#pragma once
// THiResTimer: a periodic timer whose OnTimer handler runs on a worker thread of its own,
// so a busy UI thread never delays a tick. The properties are set from one controlling
// thread (normally the UI thread); OnTimer may itself disable the timer.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace pelmora {

// Raised when the timer cannot be started; the text is "Unable to create a timer".
class EHiResTimer : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class THiResTimer
{
public:
    using TimerEvent = std::function<void(THiResTimer& sender)>;
    // Starts the worker thread running the given body; throws std::system_error when the
    // thread cannot be made. Replaceable so that a failing start can be tested.
    using ThreadStarter = std::function<std::thread(std::function<void()> body)>;

    THiResTimer();
    explicit THiResTimer(ThreadStarter starter);
    // Disables the timer first.
    ~THiResTimer();

    THiResTimer(const THiResTimer&) = delete;
    THiResTimer& operator=(const THiResTimer&) = delete;

    bool Enabled() const;
    // Enabling starts ticks every Interval ms; the first comes one Interval after enabling.
    // Throws EHiResTimer when the worker thread cannot be made or Interval is 0; Enabled
    // stays false then. Disabling wakes and stops the worker: once it returns, no OnTimer
    // call starts any more (a call already running finishes; when disabled from inside
    // OnTimer that call is the caller's own). Setting the current value does nothing.
    void SetEnabled(bool value);

    // Both are read only when the timer is enabled: a change while it is enabled takes
    // effect at the next enabling.
    std::uint32_t Interval() const { return m_interval; }
    void SetInterval(std::uint32_t ms) { m_interval = ms; }
    // Kept for callers that set it; steady_clock waits are already finer than a millisecond.
    std::uint32_t Resolution() const { return m_resolution; }
    void SetResolution(std::uint32_t ms) { m_resolution = ms; }

    // Called on the worker thread with this timer as sender. Ticks that fall due while a
    // call is still running collapse into one further call: they are lost, not queued.
    // May be changed while enabled; the next tick uses the new handler.
    TimerEvent OnTimer() const;
    void SetOnTimer(TimerEvent handler);

private:
    // What one enabled period shares with its worker thread. The worker owns a reference,
    // so a worker that finishes after the timer was disabled (from inside OnTimer) or even
    // destroyed never touches freed memory.
    struct Run
    {
        std::mutex mutex;
        std::condition_variable wake;
        bool stop = false;
        TimerEvent handler;
        THiResTimer* sender = nullptr;
        std::chrono::milliseconds interval{0};
    };

    static void WorkerLoop(const std::shared_ptr<Run>& run);

    ThreadStarter m_starter;
    mutable std::mutex m_mutex; // guards m_run, m_worker, m_onTimer
    std::shared_ptr<Run> m_run; // non-null while enabled
    std::thread m_worker;
    TimerEvent m_onTimer;
    // Atomic because OnTimer, on the worker thread, may read them or re-enable the timer.
    std::atomic<std::uint32_t> m_interval{100};
    std::atomic<std::uint32_t> m_resolution{100};
};

} // namespace pelmora
