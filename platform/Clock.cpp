#include "platform/Clock.h"

#include "core/DateTime.h"

#include <chrono>
#include <thread>

namespace pelmora {
namespace {

class RealClock final : public Clock
{
public:
    double Now() const override
    {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return UnixToDays(ts.tv_sec) + static_cast<double>(ts.tv_nsec / 1'000'000) / 86'400'000.0;
    }

    std::uint64_t TickMs() const override
    {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
    }

    void SleepMs(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

} // namespace

Clock& SystemClock()
{
    static RealClock clock;
    return clock;
}

} // namespace pelmora
