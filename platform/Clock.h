#pragma once
// The clock port: local date and time as a day count, a millisecond tick and sleeping.
// Schedule and speed-limit logic take a Clock so that tests can run them on FakeClock.
// SystemClock() may be used from any thread; a FakeClock is driven by the test that owns it.

#include <atomic>
#include <cstdint>

namespace pelmora {

class Clock
{
public:
    virtual ~Clock() = default;
    // Local date and time: days since 1899-12-30, the fraction being the time of day (ms).
    virtual double Now() const = 0;
    // Milliseconds from an arbitrary start; never goes backwards.
    virtual std::uint64_t TickMs() const = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// The real clock: the system's local time, the monotonic tick and a real sleep.
Clock& SystemClock();

// A clock that stands still until told otherwise; SleepMs moves both the tick and Now().
class FakeClock final : public Clock
{
public:
    explicit FakeClock(double now = 0, std::uint64_t tickMs = 0) : m_now(now), m_tickMs(tickMs) {}

    double Now() const override { return m_now.load(); }
    std::uint64_t TickMs() const override { return m_tickMs.load(); }
    void SleepMs(std::uint32_t ms) override { Advance(ms); }

    void SetNow(double now) { m_now.store(now); }
    void Advance(std::uint64_t ms)
    {
        m_tickMs.fetch_add(ms);
        m_now.store(m_now.load() + static_cast<double>(ms) / 86'400'000.0);
    }

private:
    std::atomic<double> m_now;
    std::atomic<std::uint64_t> m_tickMs;
};

} // namespace pelmora
