#include "schedule/HiResTimer.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <utility>

namespace pelmora {
namespace {

constexpr const char* kCreateFailed = "Unable to create a timer";

std::thread StartThread(std::function<void()> body)
{
    return std::thread(std::move(body));
}

} // namespace

THiResTimer::THiResTimer() : THiResTimer(StartThread) {}

THiResTimer::THiResTimer(ThreadStarter starter) : m_starter(std::move(starter)) {}

THiResTimer::~THiResTimer()
{
    SetEnabled(false);
}

bool THiResTimer::Enabled() const
{
    std::lock_guard lock(m_mutex);
    return m_run != nullptr;
}

THiResTimer::TimerEvent THiResTimer::OnTimer() const
{
    std::lock_guard lock(m_mutex);
    return m_onTimer;
}

void THiResTimer::SetOnTimer(TimerEvent handler)
{
    std::lock_guard lock(m_mutex);
    m_onTimer = handler;
    if (m_run) {
        std::lock_guard runLock(m_run->mutex);
        m_run->handler = std::move(handler);
    }
}

void THiResTimer::SetEnabled(bool value)
{
    if (value) {
        std::lock_guard lock(m_mutex);
        if (m_run)
            return;
        // A periodic timer with no period cannot exist; refusing it avoids a busy loop.
        const std::uint32_t interval = m_interval;
        if (interval == 0)
            throw EHiResTimer(kCreateFailed);
        auto run = std::make_shared<Run>();
        run->handler = m_onTimer;
        run->sender = this;
        run->interval = std::chrono::milliseconds(interval);
        // A worker left over from disabling inside OnTimer has been detached already, so
        // m_worker is never joinable here.
        try {
            m_worker = m_starter([run] { WorkerLoop(run); });
        } catch (const std::system_error&) {
            throw EHiResTimer(kCreateFailed);
        }
        m_run = std::move(run);
        return;
    }

    std::shared_ptr<Run> run;
    std::thread worker;
    {
        std::lock_guard lock(m_mutex);
        if (!m_run)
            return;
        run = std::move(m_run);
        worker = std::move(m_worker);
    }
    {
        std::lock_guard runLock(run->mutex);
        run->stop = true;
    }
    run->wake.notify_all();
    // Joined outside m_mutex: an OnTimer call still running may itself read the timer.
    if (!worker.joinable())
        return;
    if (worker.get_id() == std::this_thread::get_id())
        worker.detach(); // disabled from inside OnTimer: the worker ends when the call returns
    else
        worker.join();
}

void THiResTimer::WorkerLoop(const std::shared_ptr<Run>& run)
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(run->mutex);
    Clock::time_point next = Clock::now() + run->interval;
    for (;;) {
        if (run->wake.wait_until(lock, next, [&] { return run->stop; }))
            return;
        // Every tick due up to now is served by this one call; the next one is the first
        // tick of the grid that still lies ahead.
        const Clock::time_point now = Clock::now();
        const auto late = (now - next) / run->interval;
        next += (late + 1) * run->interval;
        TimerEvent handler = run->handler;
        THiResTimer* sender = run->sender;
        lock.unlock();
        if (handler) {
            try {
                handler(*sender);
            } catch (const std::exception& e) {
                // Nobody could catch it on this thread; keep ticking rather than terminate.
                std::fprintf(stderr, "OnTimer failed: %s\n", e.what());
            } catch (...) {
                std::fprintf(stderr, "OnTimer failed\n");
            }
        }
        lock.lock();
    }
}

} // namespace pelmora
