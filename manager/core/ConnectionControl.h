// The connect and disconnect buttons, the dial-state callback and the connection evaluation the worker runs
// once per polling cycle. The buttons and the callback only set flags and the display; dialling and hanging
// up on request happen in the evaluation, on the worker.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>

#include "DeviceContext.h"
#include "Profiles.h"

namespace velmo::dialup {
class IDialupService;
}

namespace velmo::manager {

class CModemWrapper;
class CSettings;
class IDeviceView;
class IUserPrompt;

// How long the window stays blocked after a click, so that the worker can act before the next one.
inline constexpr int kConnectBlockMs = 3000;
inline constexpr int kDisconnectBlockMs = 5000;
// Longest error text appended to "Error %-3d: ".
inline constexpr int kDialErrorTextMax = 520;

struct ConnectionHooks {
    // "Default Profile" and the profile it names; false when it cannot be read.
    std::function<bool(ProfileRecord*)> readDefaultProfile;
    // The phonebook entry check of the default profile, and its re-creation when the check fails.
    std::function<bool()> checkDefaultEntry;
    std::function<bool()> repairDefaultEntry;
    // Seconds since the epoch, for the connection start time.
    std::function<int64_t()> nowSeconds;
};

// What the evaluation asks of the worker.
struct EvaluationOutcome {
    int32_t nextState = DM_STATE_USB_IDLE_12;
    int32_t wait = 2;
    bool clearRetry = false;
};

class CConnectionControl {
  public:
    // dialup may be null (no hang-up of a failed dial). The newest instance receives the dial callbacks.
    CConnectionControl(DeviceContext& context, CModemWrapper& wrapper, CSettings& settings, IDeviceView& view,
                       IUserPrompt& prompt, dialup::IDialupService* dialup, ConnectionHooks hooks);
    ~CConnectionControl();
    CConnectionControl(const CConnectionControl&) = delete;
    CConnectionControl& operator=(const CConnectionControl&) = delete;

    // Button handlers (window thread): milliseconds to show the wait cursor and block the window, 0 for none.
    int OnConnectButton();
    int OnDisconnectButton();

    // Handed to the library's Dial; reaches the instance through a process-wide pointer.
    static uint32_t DialStateCallback(uintptr_t connection, uint32_t message, uint32_t state, uint32_t error,
                                      uint32_t extendedError);

    // The worker's evaluation step; reads the status copy of the last cycle.
    EvaluationOutcome Evaluate();
    // Clears the four debounce counters (worker start).
    void ResetCounters();

    // The status text the callback shows for a dial state; nullopt-like: false when the text stays.
    static bool DialStateText(uint32_t state, QString* text);

  private:
    uint32_t OnDialState(uintptr_t connection, uint32_t state, uint32_t error);
    void ShowText(const QString& text);
    void HangUpEnding(EvaluationOutcome& out);
    void SetDeviceStatusCode(int code);

    DeviceContext& context_;
    CModemWrapper& wrapper_;
    CSettings& settings_;
    IDeviceView& view_;
    IUserPrompt& prompt_;
    dialup::IDialupService* dialup_;
    ConnectionHooks hooks_;

    // Worker only.
    int32_t connectedCount_ = 0;
    int32_t noNetworkCount_ = 0;
    int32_t readyCount_ = 0;
    int32_t dormantCount_ = 0;

    static inline std::atomic<CConnectionControl*> instance_{nullptr};
};

}  // namespace velmo::manager
