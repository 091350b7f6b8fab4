// Arbitrary bytes through the receive state machine, fed whole and cut into two blocks at a fuzzed position:
// every delivered frame must lie within the count bounds and carry a good FCS, and the cut must not change
// what is delivered; the byte-at-a-time codec of the tests must deliver the same frames and end in the same
// state, and encode the same wire bytes. The input is also encoded as a packet and must decode back to
// itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "library/transport/FrameCodec.h"
#include "tests/transport/ByteCodec.h"

namespace {

using velmo::transport::IFrameHandler;

class CheckingHandler final : public IFrameHandler {
  public:
    void OnFrame(const uint8_t* frame, size_t count) override {
        if (count < velmo::transport::kMinFrameCount || count > velmo::transport::kRxFrameSize) {
            std::abort();
        }
        uint16_t reg = velmo::transport::kFcsInit;
        for (size_t i = 0; i < count; ++i) {  // reads every byte: ASan sees a frame shorter than count
            reg = velmo::transport::FcsStep(reg, frame[i]);
        }
        if (reg != velmo::transport::kFcsGoodResidue) {
            std::abort();
        }
        frames.emplace_back(frame, frame + count);
    }
    std::vector<std::vector<uint8_t>> frames;
};

std::vector<std::vector<uint8_t>> Decode(const uint8_t* data, size_t size, size_t cut) {
    auto rx = std::make_unique<velmo::transport::RxFrame>();
    CheckingHandler handler;
    rx->ProcessReceived(data, static_cast<long>(cut), handler);
    rx->ProcessReceived(data + cut, static_cast<long>(size - cut), handler);
    if (rx->count > velmo::transport::kRxFrameSize) {
        std::abort();
    }
    return handler.frames;
}

class Collect final : public IFrameHandler {
  public:
    void OnFrame(const uint8_t* frame, size_t count) override { frames.emplace_back(frame, frame + count); }
    std::vector<std::vector<uint8_t>> frames;
};

void CompareWithBytewise(const uint8_t* data, size_t size, size_t cut) {
    auto fast = std::make_unique<velmo::transport::RxFrame>();
    auto slow = std::make_unique<velmo::bytecodec::ByteDecoder>();
    Collect a;
    Collect b;
    for (const auto& [from, n] : {std::pair{size_t{0}, cut}, std::pair{cut, size - cut}}) {
        fast->ProcessReceived(data + from, static_cast<long>(n), a);
        slow->Process(data + from, static_cast<long>(n), b);
    }
    if (a.frames != b.frames || fast->state != slow->state || fast->count != slow->count ||
        fast->escape != slow->escape) {
        std::abort();
    }
    auto tx = std::make_unique<velmo::transport::TxFrame>();
    auto byteTx = std::make_unique<velmo::bytecodec::ByteEncoder>();
    const size_t n = velmo::transport::EncodePacket(data, size, *tx);
    if (n != byteTx->Encode(data, size) ||
        !std::equal(tx->bytes.begin(), tx->bytes.begin() + static_cast<long>(n), byteTx->bytes.begin())) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto whole = Decode(data, size, size);
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    if (Decode(data, size, cut) != whole) {
        std::abort();
    }
    CompareWithBytewise(data, size, cut);

    if (size > 0) {
        auto tx = std::make_unique<velmo::transport::TxFrame>();
        const size_t n = velmo::transport::EncodePacket(data, size, *tx);
        if (n != 0) {
            std::vector<uint8_t> stream = {velmo::transport::kFlagByte};
            stream.insert(stream.end(), tx->bytes.begin(), tx->bytes.begin() + static_cast<long>(n));
            const auto back = Decode(stream.data(), stream.size(), stream.size());
            if (back.size() != 1 || back[0].size() != size + 2 ||
                !std::equal(data, data + size, back[0].begin())) {
                std::abort();
            }
        } else if (!tx->overflow) {
            std::abort();
        }
    }
    return 0;
}
