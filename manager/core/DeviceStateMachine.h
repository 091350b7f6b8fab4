// The device worker: finds the modem, runs its start-up sequence, polls it in a fixed cycle and drives the
// orderly shutdown. Each state is one row of a table (value, name, step); every step and transition is
// traced by name with the clock's time, so a run under a fake clock gives a repeatable transcript.
#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "DeviceContext.h"

namespace velmo::manager {

class CConnectionControl;
class CModemWrapper;
class CSettings;
class CTrafficMeter;
class IDeviceView;
class IUserPrompt;
struct UserStatus;

struct MachineHooks {
    // The modem's driver reports a device (port detection); with automatic detection off always true.
    std::function<bool()> driverReportsDevice;
    // The preset profile on the first start with a device; true when it created profiles.
    std::function<bool()> createPreset;
    // Counts the data of the calls this manager dialled, once a polling cycle; may be null.
    CTrafficMeter* traffic = nullptr;
    // Seconds since the epoch, for the day a call's traffic is counted on and its start.
    std::function<int64_t()> nowSeconds;
};

// Exit codes of Run().
inline constexpr int kWorkerQuit = 1;
inline constexpr int kWorkerNoStep = 1000;

class CDeviceStateMachine {
  public:
    using TraceSink = std::function<void(const std::string&)>;

    CDeviceStateMachine(DeviceContext& context, CModemWrapper& wrapper, CSettings& settings,
                        IDeviceView& view, IUserPrompt& prompt, platform::IClock& clock,
                        CConnectionControl& connection, MachineHooks hooks);

    // Receives one line per step, transition and notable event; set before Run().
    void SetTrace(TraceSink sink) { trace_ = std::move(sink); }

    // The worker thread's body; returns 1 after the quit sequence, 1000 on a state without a step.
    int Run();

    int32_t RetryCount() const { return retry_.load(); }
    int32_t SearchFailures() const { return searchFailures_.load(); }
    int32_t Wait() const { return wait_.load(); }

    struct StateRow {
        int32_t value;
        const char* name;
        void (CDeviceStateMachine::*step)();
    };
    static const StateRow* FindState(int32_t value);

  private:
    // Machine steps.
    void StepUninit();
    void StepTryOpen();
    void StepNoModem();
    void StepEtherClose();
    void StepEtherIdle();
    void StepUsbIdle();
    void StepPrefMode();
    void StepCapability();
    void StepRuimCheck();
    void StepStatus0();
    void StepParameter11();
    void StepStatus2();
    void StepStatus3();
    void StepStatus45();
    void StepUserStatus();
    void StepEvaluate();
    void StepCycleEnd();
    void StepUsbClose();
    void StepPreQuit();
    void StepQuit();

    static const StateRow kStates[];

    void WaitTick();
    uint32_t PollTick() const;
    void SetState(int32_t state) { context_.state.store(state); }
    int32_t State() const { return context_.state.load(); }
    // The retry rule; true when this was the third consecutive failure (state 43 set).
    bool Fail(int32_t closeState = DM_STATE_USB_CLOSE);
    void ResetDeviceView();
    bool TryEthernet();
    bool TryUsb();
    void TakeOverDevice(int32_t linkType);
    // The fatal card outcomes: stop the application as the close button does.
    void RequestClose();
    void CloseEnding();
    void DecodeUserStatus(const std::array<uint16_t, 8>& words, UserStatus* user);
    void CopyStatus(const UserStatus* user);
    void CountTraffic();
    void SetDeviceStatusCode(int code);
    void SetLinkType(int32_t type);
    void Trace(const std::string& line);
    void Note(const std::string& what);

    DeviceContext& context_;
    CModemWrapper& wrapper_;
    CSettings& settings_;
    IDeviceView& view_;
    IUserPrompt& prompt_;
    platform::IClock& clock_;
    CConnectionControl& connection_;
    MachineHooks hooks_;
    TraceSink trace_;

    std::atomic<int32_t> wait_{0};
    std::atomic<int32_t> retry_{0};
    std::atomic<int32_t> searchFailures_{0};
    bool quit_ = false;
};

}  // namespace velmo::manager
