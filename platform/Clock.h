#pragma once
// The clock port: local date and time as a day count, a millisecond tick and sleeping.
// Schedule and speed-limit logic take a Clock so that tests can run them on a fake one.
// SystemClock() may be used from any thread.

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

} // namespace pelmora
