// Time source for every wait in the library, the stand-in and the manager.
//
// All waits read one IClock so that tests can run multi-second time-outs in virtual time. The real clock is a
// steady millisecond counter that wraps at 2^32 like the tick count the protocol was designed around.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace velmo::platform {

// Ends a clock's wakeable sleep early: whoever changes what a sleeper waits for changes it first, then calls
// Notify(). Any thread.
class Wakeup {
  public:
    void Notify() {
        // Taking the lock orders this after a sleeper's check of its condition, so the notify is not lost.
        { std::lock_guard<std::mutex> lk(mutex_); }
        cv_.notify_all();
    }

  private:
    friend class SteadyClock;
    friend class FakeClock;
    std::mutex mutex_;
    std::condition_variable cv_;
};

class IClock {
  public:
    virtual ~IClock() = default;

    // Milliseconds since an arbitrary origin; wraps at 2^32.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;

    // Waits on cv (lk held) until pred() holds or ms have passed on this clock. Returns pred().
    virtual bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint32_t ms,
                         const std::function<bool()>& pred) = 0;
    // Sleeps ms, or less once woken() holds (checked when wakeup is notified). Returns woken().
    virtual bool SleepUnless(uint32_t ms, Wakeup& wakeup, const std::function<bool()>& woken) = 0;
};

class SteadyClock final : public IClock {
  public:
    uint32_t TickCount() override;
    void Sleep(uint32_t ms) override;
    bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint32_t ms,
                 const std::function<bool()>& pred) override;
    bool SleepUnless(uint32_t ms, Wakeup& wakeup, const std::function<bool()>& woken) override;
};

// The process-wide real clock.
IClock& RealClock();

// Virtual time for tests. Sleep() advances the clock at once and runs every action scheduled up to the new
// time (on the sleeping thread). A WaitFor() that is not satisfied within a short real grace period jumps the
// clock to its deadline, so a silent peer costs the grace period instead of the full time-out.
class FakeClock final : public IClock {
  public:
    static constexpr uint32_t kPollWaitMs = 10;

    explicit FakeClock(uint32_t start = 0, std::chrono::milliseconds grace = std::chrono::milliseconds(150));

    uint32_t TickCount() override;
    void Sleep(uint32_t ms) override;
    bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint32_t ms,
                 const std::function<bool()>& pred) override;
    // Steps through scheduled actions like Sleep() and stops at the first one after which woken() holds.
    bool SleepUnless(uint32_t ms, Wakeup& wakeup, const std::function<bool()>& woken) override;

    void Advance(uint32_t ms);
    // Runs fn once the virtual time has reached at (absolute, in the clock's own wrapping count).
    void At(uint64_t at, std::function<void()> fn);
    // Total virtual milliseconds that passed since construction (does not wrap).
    uint64_t Elapsed();

  private:
    void RunDue();
    // Advances ms through the due actions; with woken, stops after the first action that makes it hold.
    bool StepBy(uint32_t ms, const std::function<bool()>* woken);

    std::mutex mutex_;
    uint64_t now_;
    uint64_t start_;
    std::chrono::milliseconds grace_;
    struct Action {
        uint64_t at;
        std::function<void()> fn;
    };
    std::vector<Action> actions_;
};

// A Win32-style event on top of a clock: auto-reset releases one waiter per Set().
class Event {
  public:
    Event(IClock& clock, bool autoReset) : clock_(&clock), autoReset_(autoReset) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within ms.
    bool Wait(uint32_t ms);
    void SetClock(IClock& clock) { clock_ = &clock; }

  private:
    IClock* clock_;
    const bool autoReset_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace velmo::platform
