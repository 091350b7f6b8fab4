// Connecting again after a drop: when a connection this manager dialled ends without the user asking, the
// default profile is dialled again after 5, 15 and 30 s. A dial error closes the device and the worker
// searches again; only a device not found again within 60 s counts as lost. The attempts stop on success, on
// the user's disconnect, when the device is lost, or after the third failure. Plain logic on the window
// thread, fed with the time of the injectable clock.
#pragma once

#include <array>
#include <cstdint>

#include "DeviceContext.h"

namespace velmo::manager {

inline constexpr std::array<uint32_t, 3> kReconnectDelaysMs{5000, 15000, 30000};
// A device gone this long during the attempts is lost.
inline constexpr uint32_t kReconnectDeviceLostMs = 60000;
// A dial that neither connects nor fails within this time counts as failed.
inline constexpr uint32_t kReconnectDialMs = 90000;

struct ReconnectInputs {
    bool enabled = false;
    int32_t connectionState = kConnNone;
    // The connection now or last up was dialled by this manager.
    bool ownCall = false;
    // The user asked the connection to end.
    bool disconnectAsked = false;
    bool closing = false;
    uint32_t dialErrors = 0;
};

class CReconnect {
  public:
    enum class Action {
        None,
        Dial,    // make the connect button's request now
        GaveUp,  // the third attempt failed: say so, once
    };

    Action Update(const ReconnectInputs& in, uint32_t nowMs);
    // The user connects by hand: the attempts end.
    void Cancel() { Stop(); }
    // Attempts are under way (the dial-error box stays away meanwhile).
    bool Active() const { return phase_ != Phase::Idle; }
    // 1..3 while an attempt is waited for or dialling.
    int Attempt() const { return attempt_; }

  private:
    enum class Phase { Idle, Waiting, Dialling };
    void Stop();

    Phase phase_ = Phase::Idle;
    int32_t state_ = kConnNone;
    int attempt_ = 0;
    uint32_t since_ = 0;  // Waiting: when the wait began; Dialling: when the dial was asked for
    uint32_t absentSince_ = 0;
    bool absent_ = false;
    uint32_t dialErrors_ = 0;
};

}  // namespace velmo::manager
