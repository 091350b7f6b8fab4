// The wakeable sleep the worker waits its ticks in.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Clock.h"

namespace velmo::platform {
namespace {

TEST(ClockTest, AWakeableSleepEndsAtTheActionThatWakesItOrRunsItsLength) {
    FakeClock clock(1000);
    Wakeup wakeup;
    bool flag = false;
    std::vector<uint32_t> ran;
    clock.At(1030, [&] { ran.push_back(clock.TickCount()); });
    clock.At(1070, [&] {
        ran.push_back(clock.TickCount());
        flag = true;
    });
    clock.At(1090, [&] { ran.push_back(clock.TickCount()); });
    EXPECT_TRUE(clock.SleepUnless(500, wakeup, [&] { return flag; }));
    EXPECT_EQ(clock.TickCount(), 1070u);
    EXPECT_EQ(ran, (std::vector<uint32_t>{1030, 1070}));
    // Already woken: no time passes.
    EXPECT_TRUE(clock.SleepUnless(500, wakeup, [&] { return flag; }));
    EXPECT_EQ(clock.TickCount(), 1070u);
    flag = false;
    EXPECT_FALSE(clock.SleepUnless(500, wakeup, [&] { return flag; }));
    EXPECT_EQ(clock.TickCount(), 1570u);
    EXPECT_EQ(ran.size(), 3u);
}

TEST(ClockTest, ANotifyFromAnotherThreadEndsARealSleep) {
    // Would sleep ten minutes (and fail the suite's time limit) if the notification were lost.
    Wakeup wakeup;
    std::atomic<bool> stop{false};
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop.store(true);
        wakeup.Notify();
    });
    EXPECT_TRUE(RealClock().SleepUnless(600000, wakeup, [&] { return stop.load(); }));
    other.join();
}

}  // namespace
}  // namespace velmo::platform
