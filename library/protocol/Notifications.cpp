#include "Notifications.h"

#include <algorithm>
#include <cstring>

namespace velmo::protocol {

void Notifier::SetTarget(IModemNotifyTarget* target) {
    std::lock_guard lk(mutex_);
    target_ = target;
}

void Notifier::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    // Under the lock, so that SetTarget still waits for a post in progress.
    std::lock_guard lk(mutex_);
    if (target_ != nullptr) {
        target_->post(message, wParam, lParam);
    }
}

size_t Notifier::WritePosition() const {
    std::lock_guard lk(mutex_);
    return position_;
}

bool Notifier::OnVendorPacket(const uint8_t* packet, size_t n) {
    if (n < 2) {
        return false;
    }
    const size_t size = ReportSize(packet[1]);
    if (size == 0) {
        return false;
    }
    std::lock_guard lk(mutex_);
    if (position_ + size > ring_.size()) {
        position_ = 0;
    }
    uint8_t* copy = ring_.data() + position_;
    // A report shorter on the wire than its size is padded with zeros, never with bytes of earlier frames.
    const size_t received = std::min(n, size);
    std::memcpy(copy, packet, received);
    std::memset(copy + received, 0, size - received);
    position_ += size;
    if (target_ != nullptr) {
        target_->post(kModemReportMessage, packet[1], reinterpret_cast<intptr_t>(copy));
    }
    return true;
}

}  // namespace velmo::protocol
