#include "Clock.h"

#include <algorithm>
#include <thread>

namespace velmo::platform {

uint32_t SteadyClock::TickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

void SteadyClock::Sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SteadyClock::WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint32_t ms,
                          const std::function<bool()>& pred) {
    return cv.wait_for(lk, std::chrono::milliseconds(ms), pred);
}

bool SteadyClock::SleepUnless(uint32_t ms, Wakeup& wakeup, const std::function<bool()>& woken) {
    std::unique_lock<std::mutex> lk(wakeup.mutex_);
    return wakeup.cv_.wait_for(lk, std::chrono::milliseconds(ms), woken);
}

IClock& RealClock() {
    static SteadyClock clock;
    return clock;
}

FakeClock::FakeClock(uint32_t start, std::chrono::milliseconds grace)
    : now_(start), start_(start), grace_(grace) {}

uint32_t FakeClock::TickCount() {
    std::lock_guard lk(mutex_);
    return static_cast<uint32_t>(now_);
}

uint64_t FakeClock::Elapsed() {
    std::lock_guard lk(mutex_);
    return now_ - start_;
}

void FakeClock::Advance(uint32_t ms) {
    {
        std::lock_guard lk(mutex_);
        now_ += ms;
    }
    RunDue();
}

void FakeClock::Sleep(uint32_t ms) {
    StepBy(ms, nullptr);
}

bool FakeClock::SleepUnless(uint32_t ms, Wakeup&, const std::function<bool()>& woken) {
    return woken() || StepBy(ms, &woken);
}

bool FakeClock::StepBy(uint32_t ms, const std::function<bool()>* woken) {
    // Step through scheduled actions so that each one sees the time it asked for.
    uint64_t target;
    {
        std::lock_guard lk(mutex_);
        target = now_ + ms;
    }
    for (;;) {
        std::function<void()> due;
        {
            std::lock_guard lk(mutex_);
            auto it = std::min_element(actions_.begin(), actions_.end(),
                                       [](const Action& a, const Action& b) { return a.at < b.at; });
            if (it == actions_.end() || it->at > target) {
                now_ = std::max(now_, target);
                return woken != nullptr && (*woken)();
            }
            now_ = std::max(now_, it->at);
            due = std::move(it->fn);
            actions_.erase(it);
        }
        due();
        if (woken != nullptr && (*woken)()) {
            return true;
        }
    }
}

void FakeClock::At(uint64_t at, std::function<void()> fn) {
    {
        std::lock_guard lk(mutex_);
        actions_.push_back({at, std::move(fn)});
    }
    RunDue();
}

void FakeClock::RunDue() {
    for (;;) {
        std::function<void()> due;
        {
            std::lock_guard lk(mutex_);
            auto it =
                std::find_if(actions_.begin(), actions_.end(), [&](const Action& a) { return a.at <= now_; });
            if (it == actions_.end()) {
                return;
            }
            due = std::move(it->fn);
            actions_.erase(it);
        }
        due();
    }
}

bool FakeClock::WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk, uint32_t ms,
                        const std::function<bool()>& pred) {
    if (ms <= kPollWaitMs) {
        // Short waits are polling steps: they pass in virtual time at once, like Sleep().
        if (pred()) {
            return true;
        }
        lk.unlock();
        Sleep(ms);
        lk.lock();
        return pred();
    }
    uint64_t deadline;
    {
        std::lock_guard clk(mutex_);
        deadline = now_ + ms;
    }
    const auto realDeadline = std::chrono::steady_clock::now() + grace_;
    while (!pred()) {
        {
            std::lock_guard clk(mutex_);
            if (now_ >= deadline) {
                return false;
            }
        }
        if (std::chrono::steady_clock::now() >= realDeadline) {
            // Nothing happened in real time: let the virtual time-out expire.
            uint64_t remaining;
            {
                std::lock_guard clk(mutex_);
                remaining = deadline > now_ ? deadline - now_ : 0;
            }
            lk.unlock();
            Sleep(static_cast<uint32_t>(remaining));
            lk.lock();
            return pred();
        }
        cv.wait_for(lk, std::chrono::milliseconds(1));
    }
    return true;
}

void Event::Set() {
    {
        std::lock_guard lk(mutex_);
        signalled_ = true;
    }
    if (autoReset_) {
        cv_.notify_one();
    } else {
        cv_.notify_all();
    }
}

void Event::Reset() {
    std::lock_guard lk(mutex_);
    signalled_ = false;
}

bool Event::Wait(uint32_t ms) {
    std::unique_lock lk(mutex_);
    const bool got = clock_->WaitFor(cv_, lk, ms, [this] { return signalled_; });
    if (got && autoReset_) {
        signalled_ = false;
    }
    return got;
}

}  // namespace velmo::platform
