// Log packets through the decoder, one after another into the same log block and RF snapshot.
// Input: packets, each a 16-bit little-endian length and that many bytes (a short tail is the last packet).
// Every packet lies in a heap block of exactly its size, so any read past it is an ASan report. After each
// one the pilot sets must still be terminated within their arrays and the RF fields within their ranges.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "library/protocol/Decoders.h"
#include "wire/LeCursor.h"

namespace {

using velmo::protocol::RfSnapshot;

template <size_t N>
bool Terminated(const std::array<uint16_t, N>& set) {
    return std::find(set.begin(), set.end(), 0xFFFF) != set.end();
}

bool LevelInRange(int32_t level) {
    return level == velmo::protocol::kNoLevel || (level >= -128 && level <= 127);
}

void Check(const RfSnapshot& before, const RfSnapshot& after) {
    if (!Terminated(after.PilotSetA) || !Terminated(after.PilotSetB) || !Terminated(after.PilotSetC)) {
        std::abort();
    }
    if (after.RfUpdateCount != before.RfUpdateCount && after.RfUpdateCount != before.RfUpdateCount + 1) {
        std::abort();
    }
    if (after.DrcIndex > 15 || !LevelInRange(after.RfLevel1) || !LevelInRange(after.RfLevel2) ||
        !LevelInRange(after.RfLevel3) || !LevelInRange(after.RfLevel4)) {
        std::abort();
    }
    if (after.PilotChannel < -1 || after.PilotChannel > 0x7FF) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<uint8_t, velmo::protocol::kLogBlockSize> logBlock{};
    RfSnapshot rf;
    size_t at = 0;
    while (at < size) {
        size_t n = size - at;
        size_t skip = 0;
        if (n >= 2) {
            n = std::min<size_t>(velmo::wire::Get16(velmo::wire::ConstBytes(data, size), at), n - 2);
            skip = 2;
        }
        std::unique_ptr<uint8_t[]> packet(new uint8_t[n == 0 ? 1 : n]);
        std::memcpy(packet.get(), data + at + skip, n);
        const RfSnapshot before = rf;
        velmo::protocol::DecodeLogPacket(packet.get(), n, logBlock, rf);
        Check(before, rf);
        at += skip + n;
    }
    return 0;
}
