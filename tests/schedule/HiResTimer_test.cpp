#include "schedule/HiResTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <system_error>
#include <thread>

namespace pelmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Polls until pred holds or the deadline passes; returns whether it held.
template <class Pred> bool WaitFor(Pred pred, std::chrono::milliseconds deadline = 1000ms)
{
    const auto end = Clock::now() + deadline;
    while (!pred()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(HiResTimer, TicksArriveOnAWorkerThreadAtTheInterval)
{
    THiResTimer timer;
    std::atomic<int> calls{0};
    std::atomic<bool> onOtherThread{true};
    std::atomic<bool> senderIsTimer{true};
    const auto mainThread = std::this_thread::get_id();
    timer.SetInterval(10);
    timer.SetOnTimer([&](THiResTimer& sender) {
        if (std::this_thread::get_id() == mainThread)
            onOtherThread = false;
        if (&sender != &timer)
            senderIsTimer = false;
        ++calls;
    });

    const auto start = Clock::now();
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    ASSERT_TRUE(WaitFor([&] { return calls >= 5; }));
    const auto elapsed = Clock::now() - start;
    timer.SetEnabled(false);

    EXPECT_FALSE(timer.Enabled());
    EXPECT_TRUE(onOtherThread);
    EXPECT_TRUE(senderIsTimer);
    // Ticks can come late on a busy machine, never early: five ticks need five intervals.
    EXPECT_GE(elapsed, 50ms);
    EXPECT_LE(calls.load(), 1 + static_cast<int>((Clock::now() - start) / 10ms));
}

TEST(HiResTimer, TicksDuringASlowHandlerCollapseIntoOneCall)
{
    THiResTimer timer;
    std::atomic<int> calls{0};
    timer.SetInterval(20);
    timer.SetOnTimer([&](THiResTimer&) {
        if (++calls == 1)
            std::this_thread::sleep_for(150ms); // seven ticks fall due meanwhile
    });
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return calls >= 2; }));
    std::this_thread::sleep_for(30ms);
    timer.SetEnabled(false);

    // The slow call, one call for all the ticks it covered, then at most two grid ticks
    // (and one for scheduling slack). Queued ticks would give nine or more.
    EXPECT_GE(calls.load(), 2);
    EXPECT_LE(calls.load(), 5);
}

TEST(HiResTimer, NoCallStartsAfterDisablingReturnsAndReEnablingWorks)
{
    THiResTimer timer;
    std::atomic<int> calls{0};
    std::atomic<bool> inCall{false};
    timer.SetInterval(1);
    timer.SetOnTimer([&](THiResTimer&) {
        inCall = true;
        std::this_thread::sleep_for(300us);
        ++calls;
        inCall = false;
    });

    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        const int before = calls;
        timer.SetEnabled(true);
        timer.SetEnabled(true); // no second worker
        ASSERT_TRUE(WaitFor([&] { return calls >= before + 3; }));
        timer.SetEnabled(false);
        EXPECT_FALSE(inCall) << "a call still running after disabling returned";
        const int atDisable = calls;
        std::this_thread::sleep_for(10ms);
        EXPECT_EQ(calls.load(), atDisable) << "a call started after disabling returned";
    }
}

TEST(HiResTimer, HandlerMayDisableOrDestroyItsOwnTimer)
{
    auto timer = std::make_unique<THiResTimer>();
    std::atomic<int> calls{0};
    timer->SetInterval(2);
    timer->SetOnTimer([&](THiResTimer& sender) {
        if (++calls == 3)
            sender.SetEnabled(false);
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return !timer->Enabled(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls.load(), 3);

    // Enabled again after stopping itself, and this time it frees itself from its own tick.
    std::atomic<bool> destroyed{false};
    THiResTimer* raw = timer.release();
    raw->SetOnTimer([&](THiResTimer& sender) {
        ++calls;
        delete &sender;
        destroyed = true;
    });
    raw->SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return destroyed.load(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls.load(), 4);
}

TEST(HiResTimer, IntervalChangeTakesEffectAtTheNextEnabling)
{
    THiResTimer timer;
    std::atomic<int> calls{0};
    timer.SetInterval(400);
    timer.SetOnTimer([&](THiResTimer&) { ++calls; });
    timer.SetEnabled(true);
    timer.SetInterval(5);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(calls.load(), 0) << "the running timer still uses 400 ms";

    timer.SetEnabled(false);
    const auto start = Clock::now();
    timer.SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return calls >= 3; }));
    EXPECT_LT(Clock::now() - start, 300ms) << "re-enabled timer should tick every 5 ms";
    EXPECT_EQ(timer.Interval(), 5u);
}

TEST(HiResTimer, FailureToStartRaisesAndLeavesTheTimerDisabled)
{
    THiResTimer failing([](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    });
    try {
        failing.SetEnabled(true);
        FAIL() << "no exception";
    } catch (const EHiResTimer& e) {
        EXPECT_STREQ(e.what(), "Unable to create a timer");
    }
    EXPECT_FALSE(failing.Enabled());

    THiResTimer zero;
    zero.SetInterval(0);
    EXPECT_THROW(zero.SetEnabled(true), EHiResTimer);
    EXPECT_FALSE(zero.Enabled());
}

} // namespace
} // namespace pelmora
