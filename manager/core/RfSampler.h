// The RF graph's sampler: a thread of its own that looks at the library's RF snapshot every 10 ms while
// sampling runs and hands what changed to the window through a queue the window owns. It never touches a
// widget: the window drains the queue when the wake-up it is given arrives.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "RfReading.h"
#include "platform/Clock.h"

namespace velmo::manager {

inline constexpr uint32_t kRfSampleStepMs = 10;

// What one look at the snapshot found new: a snapshot to plot (its marker changed), a pilot block whose list
// changed (and does not start with -1), a new channel.
struct RfUpdate {
    std::optional<RfReading> snapshot;
    std::optional<RfBlock> activePilots;
    std::optional<RfBlock> activeEnergies;
    std::optional<RfBlock> neighbourPilots;
    std::optional<int> channel;
};

class CRfSampler {
  public:
    // reader gives the snapshot, or nothing when it cannot be read at once; wake is called on the sampler's
    // thread when the queue gets something and no wake-up is pending.
    CRfSampler(std::function<std::optional<RfReading>()> reader, platform::IClock& clock,
               std::function<void()> wake);
    ~CRfSampler();
    CRfSampler(const CRfSampler&) = delete;
    CRfSampler& operator=(const CRfSampler&) = delete;

    // "Start" and "Stop": the thread starts with the first Start and idles while stopped.
    void SetRunning(bool running);
    bool Running() const { return running_.load(); }
    // Whether the thread is sampling right now (not idle).
    bool SamplingActive() const { return active_.load(); }
    // Ends the thread (the window closes).
    void Close();

    // The window thread takes what has arrived; the next wake-up may then be posted.
    std::vector<RfUpdate> Take();

    // One look at the snapshot, as the thread makes it after each step (tests call it directly).
    void Sample();

  private:
    void Run();

    std::function<std::optional<RfReading>()> reader_;
    platform::IClock& clock_;
    std::function<void()> wake_;
    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> closing_{false};
    std::thread thread_;  // started and joined by the window thread

    // The sampler thread's own memory of what it handed over last.
    std::optional<int32_t> lastCount_;
    RfBlock lastA_{}, lastB_{}, lastC_{};
    int lastChannel_ = -1;

    std::mutex queueLock_;  // guards the two below
    std::deque<RfUpdate> queue_;
    bool wakePending_ = false;
};

}  // namespace velmo::manager
