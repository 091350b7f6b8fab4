// Unsolicited vendor reports: copied into the report ring and posted to the application's notification
// target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "Engine.h"
#include "velmo/IOrvikModem.h"

namespace velmo::protocol {

inline constexpr size_t kReportRingSize = 5000;

class Notifier final : public IUnsolicitedHandler {
  public:
    // Waits for a post() in progress, so the previous target may be destroyed once this returns.
    void SetTarget(IModemNotifyTarget* target);
    // Posts a message of the library's own to the target, if any, on the calling thread.
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam);

    void OnLogPacket(const uint8_t*, size_t) override {}
    bool OnVendorPacket(const uint8_t* packet, size_t n) override;

    size_t WritePosition() const;
    const uint8_t* Ring() const { return ring_.data(); }

  private:
    mutable std::mutex mutex_;
    IModemNotifyTarget* target_ = nullptr;
    size_t position_ = 0;
    std::array<uint8_t, kReportRingSize> ring_{};
};

}  // namespace velmo::protocol
