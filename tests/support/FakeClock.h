#pragma once
// FakeClock: a clock for tests that stands still until the test moves it. Driven by the test
// that owns it; its reads are atomic so that a worker thread may look at it.

#include "platform/Clock.h"

#include <atomic>
#include <cstdint>

namespace pelmora {

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
