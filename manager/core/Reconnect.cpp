#include "Reconnect.h"

namespace velmo::manager {

namespace {

bool Dropped(int32_t state) {
    return state == kConnReady || state == kConnNoNetwork || state == kConnNone;
}

bool NoDevice(int32_t state) {
    return state == kConnNone || state == kConnDeviceFound;
}

}  // namespace

void CReconnect::Stop() {
    phase_ = Phase::Idle;
    attempt_ = 0;
    absent_ = false;
}

CReconnect::Action CReconnect::Update(const ReconnectInputs& in, uint32_t now) {
    const int32_t before = state_;
    state_ = in.connectionState;
    if (phase_ == Phase::Idle) {
        if (in.enabled && in.ownCall && CallUp(before) && Dropped(in.connectionState) &&
            !in.disconnectAsked && !in.closing) {
            phase_ = Phase::Waiting;
            attempt_ = 1;
            since_ = now;
            absent_ = false;
            dialErrors_ = in.dialErrors;
        }
        return Action::None;
    }
    if (!in.enabled || in.closing || in.disconnectAsked || CallUp(in.connectionState)) {
        Stop();
        return Action::None;
    }
    // The device searched for again after a failed dial: lost only when it stays away.
    if (NoDevice(in.connectionState)) {
        if (!absent_) {
            absent_ = true;
            absentSince_ = now;
        } else if (now - absentSince_ >= kReconnectDeviceLostMs) {
            Stop();
            return Action::None;
        }
    } else {
        absent_ = false;
    }
    if (phase_ == Phase::Dialling) {
        const bool failed = in.dialErrors != dialErrors_ || now - since_ >= kReconnectDialMs;
        if (!failed) {
            return Action::None;
        }
        dialErrors_ = in.dialErrors;
        if (attempt_ >= static_cast<int>(kReconnectDelaysMs.size())) {
            Stop();
            return Action::GaveUp;
        }
        ++attempt_;
        phase_ = Phase::Waiting;
        since_ = now;
        return Action::None;
    }
    // Waiting: due, and the modem ready to take the request.
    if (now - since_ < kReconnectDelaysMs[static_cast<size_t>(attempt_ - 1)] ||
        in.connectionState != kConnReady) {
        return Action::None;
    }
    phase_ = Phase::Dialling;
    since_ = now;
    dialErrors_ = in.dialErrors;
    return Action::Dial;
}

}  // namespace velmo::manager
