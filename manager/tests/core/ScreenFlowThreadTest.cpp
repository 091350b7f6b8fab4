// The screens' flow thread: flows posted from several threads run one at a time, in the order each poster
// gave them, and what a flow wrote is seen by whoever its done woke; after Stop nothing more is taken.
// Plain (not atomic) data on purpose: the thread sanitizer run checks these hand-offs.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "manager/core/ScreenFlowThread.h"

namespace velmo::manager::test {
namespace {

using namespace std::chrono_literals;

TEST(ScreenFlowThread, FlowsRunOneAtATimeInOrderAndTheirWorkReachesTheWaiter) {
    CScreenFlowThread flows;
    std::vector<int> ran;  // written by the flows only
    bool inside = false;
    bool overlapped = false;
    std::mutex mutex;
    std::condition_variable cv;
    int done = 0;
    constexpr int kPerPoster = 50;
    const auto post = [&](int base) {
        for (int i = 0; i < kPerPoster; ++i) {
            ASSERT_TRUE(flows.Post(
                [&, n = base + i] {
                    overlapped = overlapped || inside;
                    inside = true;
                    std::this_thread::sleep_for(50us);
                    ran.push_back(n);
                    inside = false;
                },
                [&] {
                    std::lock_guard lock(mutex);
                    ++done;
                    cv.notify_all();
                }));
        }
    };
    std::thread other(post, 1000);
    post(0);
    other.join();
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return done == 2 * kPerPoster; }));
    }
    ASSERT_EQ(ran.size(), size_t{2 * kPerPoster});
    EXPECT_FALSE(overlapped);
    int lastOwn = -1;
    int lastOther = 999;
    for (int n : ran) {
        int& last = n >= 1000 ? lastOther : lastOwn;
        EXPECT_GT(n, last);
        last = n;
    }
}

TEST(ScreenFlowThread, StopRefusesLaterFlowsAndQueuedOnesAreDropped) {
    int doneCalls = 0;  // written on the flow thread, read after Stop joined it
    CScreenFlowThread flows;
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool release = false;
    ASSERT_TRUE(flows.Post(
        [&] {
            std::unique_lock lock(mutex);
            started = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
        },
        [&] { ++doneCalls; }));
    ASSERT_TRUE(flows.Post([] {}, [&] { ++doneCalls; }));  // queued behind the running one
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return started; }));
    }
    // Stop waits for the running flow: from another thread, while this one lets the flow go.
    std::thread stopper([&] { flows.Stop(); });
    while (flows.Post([] {})) {
        std::this_thread::sleep_for(1ms);  // the later posts race Stop: the first refusal ends this
    }
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    cv.notify_all();
    stopper.join();
    EXPECT_EQ(doneCalls, 1);  // the running flow's done, not the queued one's
}

}  // namespace
}  // namespace velmo::manager::test
