// Received bytes through the engine with the report notifier attached, as the reader thread hands them on.
// Every post must name a table code, point into the ring with its whole copy inside it, and the copy must
// start with the report's own code pair. The same bytes are also offered to the notifier directly as one
// vendor packet in an exact-size heap block, whose copy must be the packet's bytes and then zeros.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "library/protocol/Engine.h"
#include "library/protocol/Notifications.h"
#include "library/transport/MemoryTransport.h"

namespace {

using velmo::protocol::kReportRingSize;
using velmo::protocol::Notifier;

class CheckingTarget final : public velmo::IModemNotifyTarget {
  public:
    explicit CheckingTarget(const Notifier& notifier) : notifier_(notifier) {}
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        const size_t size = velmo::ReportSize(static_cast<uint8_t>(wParam));
        const auto* copy = reinterpret_cast<const uint8_t*>(lParam);
        const uint8_t* ring = notifier_.Ring();
        if (message != velmo::kModemReportMessage || wParam > 255 || size == 0 || copy < ring ||
            static_cast<size_t>(copy - ring) + size > kReportRingSize || copy[0] != 0xE0 ||
            copy[1] != wParam) {
            std::abort();
        }
        unsigned sum = 0;
        for (size_t i = 0; i < size; ++i) {
            sum += copy[i];
        }
        checksum += sum;
        last = copy;
        ++posts;
    }
    unsigned checksum = 0;
    const uint8_t* last = nullptr;
    size_t posts = 0;

  private:
    const Notifier& notifier_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto engine = std::make_unique<velmo::protocol::Engine>();
    Notifier notifier;
    CheckingTarget target(notifier);
    notifier.SetTarget(&target);
    engine->SetUnsolicitedHandler(&notifier);
    velmo::transport::MemoryTransport link(*engine);
    engine->SetTransport(&link);
    engine->BuildRequest(velmo::protocol::VendorPacket);
    engine->SendBuilt();
    const uint8_t flag = 0x7E;
    engine->OnReceived(&flag, 1);
    engine->OnReceived(data, size);

    // The same bytes as one vendor packet (the dispatcher hands the notifier nothing else).
    std::unique_ptr<uint8_t[]> packet(new uint8_t[size == 0 ? 1 : size]);
    std::memcpy(packet.get(), data, size);
    if (size > 0) {
        packet[0] = velmo::protocol::VendorPacket;
    }
    const size_t before = target.posts;
    const bool posted = notifier.OnVendorPacket(packet.get(), size);
    const size_t reportSize = size >= 2 ? velmo::ReportSize(data[1]) : 0;
    if (posted != (reportSize != 0) || target.posts != before + (posted ? 1 : 0)) {
        std::abort();
    }
    if (posted) {
        const size_t received = size < reportSize ? size : reportSize;
        if (std::memcmp(target.last, packet.get(), received) != 0) {
            std::abort();
        }
        for (size_t i = received; i < reportSize; ++i) {
            if (target.last[i] != 0) {
                std::abort();
            }
        }
    }
    return 0;
}
