// What a screen's flow talks to the modem through: the wrapper, the worker's shared state and the clock, with
// the three patterns every screen uses — the worker's pause around its requests, one retry of a failed
// request, and waits on the injected clock.
#pragma once

#include <cstdint>
#include <utility>

#include "CModemWrapper.h"
#include "DeviceContext.h"
#include "platform/Clock.h"

namespace velmo::manager {

// A modem request made from a screen is tried once more after this pause when it fails.
inline constexpr uint32_t kScreenRetryMs = 200;

class ModemSession {
  public:
    ModemSession(CModemWrapper& wrapper, DeviceContext& context, platform::IClock& clock)
        : wrapper_(wrapper), context_(context), clock_(clock) {}

    CModemWrapper& Wrapper() const { return wrapper_; }
    DeviceContext& Context() const { return context_; }
    platform::IClock& Clock() const { return clock_; }

    // Runs fn with the worker paused and releases it afterwards; fn runs even when the worker did not stop
    // within the bound. Returns whether it stopped. Pauses do not nest.
    template <class F>
    bool Paused(F&& fn) const {
        WorkerPause pause(context_, clock_);
        std::forward<F>(fn)();
        return pause.WorkerStopped();
    }

    // Runs fn (which returns true on success) and, when it fails, once more after the given pause.
    template <class F>
    bool RetryOnce(F&& fn, uint32_t pauseMs = kScreenRetryMs) const {
        if (fn()) {
            return true;
        }
        clock_.Sleep(pauseMs);
        return fn();
    }

    void Wait(uint32_t ms) const { clock_.Sleep(ms); }
    bool Closing() const { return context_.closing.load(); }
    // No modem has been taken over yet (the connection state says "device found" only).
    bool NoModem() const { return context_.connectionState.load() == kConnDeviceFound; }

  private:
    CModemWrapper& wrapper_;
    DeviceContext& context_;
    platform::IClock& clock_;
};

}  // namespace velmo::manager
