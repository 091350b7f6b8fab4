// Frame codec throughput over a 1 MiB stream of mixed frames: packets of 3 to 1100 bytes, one in five made
// mostly of bytes that need stuffing. Encode counts packet bytes in, decode counts wire bytes in. The
// *Bytewise runs are the byte-at-a-time codec the tests keep as the reference, for the before/after figures.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "library/transport/FrameCodec.h"
#include "tests/transport/ByteCodec.h"

namespace {

using velmo::transport::EncodePacket;
using velmo::transport::IFrameHandler;
using velmo::transport::kEscapeByte;
using velmo::transport::kFlagByte;
using velmo::transport::RxFrame;
using velmo::transport::RxState;
using velmo::transport::TxFrame;

constexpr size_t kStreamSize = size_t{1} << 20;
constexpr size_t kMinPacket = 3;
constexpr size_t kMaxPacket = 1100;

struct Corpus {
    std::vector<std::vector<uint8_t>> packets;
    std::vector<uint8_t> stream;  // a leading flag, then every packet framed
    size_t packetBytes = 0;
};

const Corpus& MixedFrames() {
    static const Corpus corpus = [] {
        Corpus c;
        std::mt19937 rng(42);
        auto tx = std::make_unique<TxFrame>();
        c.stream.push_back(kFlagByte);
        while (c.stream.size() < kStreamSize) {
            std::vector<uint8_t> packet(kMinPacket + rng() % (kMaxPacket - kMinPacket + 1));
            const bool dense = rng() % 5 == 0;
            for (auto& b : packet) {
                const uint32_t r = rng();
                b = dense && (r & 0x300) != 0 ? ((r & 1) != 0 ? kFlagByte : kEscapeByte)
                                              : static_cast<uint8_t>(r);
            }
            const size_t n = EncodePacket(packet.data(), packet.size(), *tx);
            c.stream.insert(c.stream.end(), tx->bytes.begin(), tx->bytes.begin() + static_cast<long>(n));
            c.packetBytes += packet.size();
            c.packets.push_back(std::move(packet));
        }
        return c;
    }();
    return corpus;
}

class CountingHandler final : public IFrameHandler {
  public:
    void OnFrame(const uint8_t* frame, size_t count) override {
        ++frames;
        bytes += count;
        benchmark::DoNotOptimize(frame);
    }
    size_t frames = 0;
    size_t bytes = 0;
};

void BM_FrameEncode(benchmark::State& state) {
    const Corpus& c = MixedFrames();
    auto tx = std::make_unique<TxFrame>();
    size_t wire = 0;
    for (auto _ : state) {
        for (const auto& p : c.packets) {
            wire += EncodePacket(p.data(), p.size(), *tx);
            benchmark::DoNotOptimize(tx->bytes.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.packetBytes));
    state.counters["frames"] = static_cast<double>(c.packets.size());
    state.counters["wire_bytes"] = static_cast<double>(wire / std::max<size_t>(state.iterations(), 1));
}
BENCHMARK(BM_FrameEncode)->Unit(benchmark::kMillisecond);

void BM_FrameEncodeBytewise(benchmark::State& state) {
    const Corpus& c = MixedFrames();
    auto tx = std::make_unique<velmo::bytecodec::ByteEncoder>();
    for (auto _ : state) {
        for (const auto& p : c.packets) {
            benchmark::DoNotOptimize(tx->Encode(p.data(), p.size()));
            benchmark::DoNotOptimize(tx->bytes.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.packetBytes));
}
BENCHMARK(BM_FrameEncodeBytewise)->Unit(benchmark::kMillisecond);

// Decoding in the block sizes the readers hand on: 1024 (serial), 1000 (network), and the stream at once.
void BM_FrameDecode(benchmark::State& state) {
    const Corpus& c = MixedFrames();
    const auto block = static_cast<size_t>(state.range(0));
    auto rx = std::make_unique<RxFrame>();
    for (auto _ : state) {
        rx->state = RxState::Hunt;
        rx->Reset();
        CountingHandler handler;
        for (size_t at = 0; at < c.stream.size(); at += block) {
            const size_t n = std::min(block, c.stream.size() - at);
            rx->ProcessReceived(c.stream.data() + at, static_cast<long>(n), handler);
        }
        if (handler.frames != c.packets.size()) {
            state.SkipWithError("decoder lost frames");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.stream.size()));
    state.counters["frames"] = static_cast<double>(c.packets.size());
}
BENCHMARK(BM_FrameDecode)->Arg(1024)->Arg(1000)->Arg(kStreamSize)->Unit(benchmark::kMillisecond);

void BM_FrameDecodeBytewise(benchmark::State& state) {
    const Corpus& c = MixedFrames();
    const auto block = static_cast<size_t>(state.range(0));
    auto rx = std::make_unique<velmo::bytecodec::ByteDecoder>();
    for (auto _ : state) {
        *rx = {};
        CountingHandler handler;
        for (size_t at = 0; at < c.stream.size(); at += block) {
            const size_t n = std::min(block, c.stream.size() - at);
            rx->Process(c.stream.data() + at, static_cast<long>(n), handler);
        }
        if (handler.frames != c.packets.size()) {
            state.SkipWithError("decoder lost frames");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.stream.size()));
}
BENCHMARK(BM_FrameDecodeBytewise)->Arg(1024)->Arg(1000)->Arg(kStreamSize)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
