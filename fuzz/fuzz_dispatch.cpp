// Arbitrary requests and replies through the command engine.
// Input: code, 16-bit request length L (little-endian), L request bytes, then received bytes.
// The request bytes are copied into a buffer of exactly L bytes so that any read past what the caller gave is
// an ASan report; a request the builder accepts must decode back to a frame of its code. The received bytes
// go through the decoder and dispatcher with the request outstanding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "library/protocol/Engine.h"
#include "library/transport/MemoryTransport.h"
#include "wire/LeCursor.h"

namespace {

class CheckingHandler final : public velmo::transport::IFrameHandler {
  public:
    void OnFrame(const uint8_t* frame, size_t count) override { frames.emplace_back(frame, frame + count); }
    std::vector<std::vector<uint8_t>> frames;
};

class Unsolicited final : public velmo::protocol::IUnsolicitedHandler {
  public:
    void OnLogPacket(const uint8_t* packet, size_t n) override { Touch(packet, n); }
    bool OnVendorPacket(const uint8_t* packet, size_t n) override {
        Touch(packet, n);
        return true;
    }
    unsigned sum = 0;

  private:
    void Touch(const uint8_t* packet, size_t n) {
        if (n < 1 || n > velmo::transport::kRxFrameSize - 2) {
            std::abort();
        }
        for (size_t i = 0; i < n; ++i) {
            sum += packet[i];
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const uint8_t code = data[0];
    const size_t length =
        std::min<size_t>(velmo::wire::Get16(velmo::wire::ConstBytes(data, size), 1), size - 3);
    const std::vector<uint8_t> request(data + 3, data + 3 + length);
    const uint8_t* received = data + 3 + length;
    const size_t receivedSize = size - 3 - length;

    auto engine = std::make_unique<velmo::protocol::Engine>();
    velmo::transport::MemoryTransport link(*engine);
    Unsolicited unsolicited;
    engine->SetTransport(&link);
    engine->SetUnsolicitedHandler(&unsolicited);

    if (engine->BuildRequest(code, request.data(), request.size()) == 0) {
        const auto& tx = engine->txFrame;
        if (tx.overflow || tx.length < 4 || tx.bytes[tx.length - 1] != velmo::transport::kFlagByte) {
            std::abort();
        }
        auto rx = std::make_unique<velmo::transport::RxFrame>();
        CheckingHandler frames;
        const uint8_t flag = velmo::transport::kFlagByte;
        rx->ProcessReceived(&flag, 1, frames);
        rx->ProcessReceived(tx.bytes.data(), tx.length, frames);
        if (frames.frames.size() != 1 || frames.frames[0][0] != code) {
            std::abort();
        }
    }
    engine->SendBuilt();

    // Two blocks, as a reader would hand them on.
    const size_t cut = receivedSize / 2;
    engine->OnReceived(received, cut);
    engine->OnReceived(received + cut, receivedSize - cut);

    std::vector<uint8_t> out(velmo::protocol::kRequest60LargeReplySize + 1);
    for (unsigned c = 0; c < 256; ++c) {
        engine->CopyBlock(static_cast<uint8_t>(c), out.data(), out.size());
    }
    (void)engine->Rf();
    (void)engine->LogBlock();
    return 0;
}
