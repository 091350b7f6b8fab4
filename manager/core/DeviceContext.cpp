#include "DeviceContext.h"

namespace velmo::manager {

namespace {

constexpr const char* kStateNames[DM_STATE_MAX_NUM + 1] = {
    "DM_STATE_UNKNOWN",      "DM_STATE_UNINIT",       "DM_STATE_TRY_OPEN",     "DM_STATE_NOMODEM",
    "DM_STATE_IDLE",         "DM_STATE_IDLE_0",       "DM_STATE_IDLE_0_1",     "DM_STATE_IDLE_0_2",
    "DM_STATE_IDLE_1",       "DM_STATE_IDLE_2",       "DM_STATE_IDLE_3",       "DM_STATE_IDLE_4",
    "DM_STATE_IDLE_5",       "DM_STATE_IDLE_6",       "DM_STATE_IDLE_7",       "DM_STATE_IDLE_8",
    "DM_STATE_IDLE_9",       "DM_STATE_IDLE_10",      "DM_STATE_IDLE_11",      "DM_STATE_ETHER_CLOSE",
    "DM_STATE_ETHER_IDLE",   "DM_STATE_ETHER_IDLE_0", "DM_STATE_ETHER_IDLE_1", "DM_STATE_ETHER_IDLE_2",
    "DM_STATE_ETHER_IDLE_3", "DM_STATE_ETHER_IDLE_4", "DM_STATE_ETHER_IDLE_5", "DM_STATE_ETHER_IDLE_6",
    "DM_STATE_ETHER_IDLE_7", "DM_STATE_ETHER_IDLE_8", "DM_STATE_USB_IDLE",     "DM_STATE_USB_IDLE_1",
    "DM_STATE_USB_IDLE_2",   "DM_STATE_USB_IDLE_3",   "DM_STATE_USB_IDLE_4",   "DM_STATE_USB_IDLE_5",
    "DM_STATE_USB_IDLE_6",   "DM_STATE_USB_IDLE_7",   "DM_STATE_USB_IDLE_8",   "DM_STATE_USB_IDLE_9",
    "DM_STATE_USB_IDLE_10",  "DM_STATE_USB_IDLE_11",  "DM_STATE_USB_IDLE_12",  "DM_STATE_USB_CLOSE",
    "DM_STATE_PRE_QUIT",     "DM_STATE_QUIT",         "DM_STATE_MAX_NUM",
};

// One wait step of the pause protocol and how many of them a side waits at most.
constexpr uint32_t kLockStepMs = 100;
constexpr int kLockSteps = 22;

}  // namespace

const char* DeviceStateName(int32_t state) {
    if (state < 0 || state > DM_STATE_MAX_NUM) {
        return "DM_STATE_INVALID";
    }
    return kStateNames[state];
}

bool StateLock(DeviceContext& context, platform::IClock& clock, bool on) {
    if (!on) {
        context.lockFlag.store(0);
        return true;
    }
    // Another screen holds the worker: give it a bounded chance to let go.
    for (int step = 0; step < kLockSteps && context.lockFlag.load() != 0 && !context.closing.load(); ++step) {
        clock.Sleep(kLockStepMs);
    }
    context.lockFlag.store(1);
    context.workerWakeup.Notify();
    // The worker may be inside a modem call; it reports at its next tick that it has stopped.
    for (int step = 0; step < kLockSteps && context.workerStepping.load() != 0 && !context.closing.load();
         ++step) {
        clock.Sleep(kLockStepMs);
    }
    return context.workerStepping.load() == 0;
}

}  // namespace velmo::manager
