// The RF sampler against a scripted snapshot: a new sample only when the marker changes, blocks handed over
// when their list changes and does not start with -1, the channel on change, one wake-up per drain, and the
// thread on the injected clock.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "manager/core/RfSampler.h"

namespace velmo::manager::test {
namespace {

RfReading Reading(int32_t count) {
    RfReading r;
    r.updateCount = count;
    r.activePilots.fill(-1);
    r.activeEnergies.fill(-1);
    r.neighbourPilots.fill(-1);
    return r;
}

TEST(RfSampler, HandsOverWhatChangedWithOneWakeUpPerDrain) {
    std::mutex m;
    RfReading now = Reading(7);
    bool readable = true;
    int wakes = 0;
    platform::FakeClock clock{0};
    CRfSampler sampler(
        [&]() -> std::optional<RfReading> {
            std::lock_guard lock(m);
            return readable ? std::optional<RfReading>(now) : std::nullopt;
        },
        clock, [&] { ++wakes; });

    sampler.Sample();
    sampler.Sample();  // the same marker: nothing new
    auto updates = sampler.Take();
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_TRUE(updates[0].snapshot.has_value());
    EXPECT_FALSE(updates[0].activePilots || updates[0].channel);  // blocks of -1, channel still -1
    EXPECT_EQ(wakes, 1);

    // A pilot list and a channel arrive; a block starting with -1 is not handed over.
    now.activePilots[0] = 120;
    now.activePilots[1] = 240;
    now.neighbourPilots[1] = 33;
    now.channel = 283;
    sampler.Sample();
    now.updateCount = 8;
    sampler.Sample();
    EXPECT_EQ(wakes, 2);  // one wake-up until the window drains
    updates = sampler.Take();
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_FALSE(updates[0].snapshot);
    ASSERT_TRUE(updates[0].activePilots);
    EXPECT_EQ((*updates[0].activePilots)[1], 240);
    EXPECT_FALSE(updates[0].neighbourPilots);
    EXPECT_EQ(updates[0].channel, 283);
    EXPECT_TRUE(updates[1].snapshot && !updates[1].activePilots && !updates[1].channel);

    // Nothing while the snapshot cannot be read at once.
    readable = false;
    sampler.Sample();
    EXPECT_TRUE(sampler.Take().empty());
}

TEST(RfSampler, TheThreadSamplesOnlyWhileRunning) {
    std::atomic<int32_t> count{0};
    std::atomic<int> reads{0};
    std::atomic<int> wakes{0};
    platform::FakeClock clock{0};
    CRfSampler sampler(
        [&]() -> std::optional<RfReading> {
            ++reads;
            return Reading(count.fetch_add(1));
        },
        clock, [&] { ++wakes; });
    EXPECT_FALSE(sampler.SamplingActive());
    sampler.SetRunning(true);
    while (wakes.load() == 0) {
        std::this_thread::yield();
    }
    EXPECT_GT(clock.Elapsed(), 0u);  // each look after a 10 ms step of the clock
    sampler.SetRunning(false);
    while (sampler.SamplingActive()) {
        std::this_thread::yield();
    }
    const int stopped = reads.load();
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::yield();
    }
    EXPECT_LE(reads.load(), stopped + 1);
    sampler.Close();
    EXPECT_FALSE(sampler.Take().empty());
}

}  // namespace
}  // namespace velmo::manager::test
