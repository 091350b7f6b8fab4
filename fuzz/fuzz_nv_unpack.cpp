// NV replies through the item unpacker. Input: one byte choosing the area size (0..128), then the reply. The
// reply and the area lie in heap blocks of exactly their sizes; an item without a decoder must leave the area
// as it was, and an item with one must be reported as decoded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "library/protocol/Decoders.h"
#include "wire/LeCursor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t areaSize = data[0] % (velmo::protocol::kNvItemAreaSize + 1);
    const size_t n = size - 1;
    std::unique_ptr<uint8_t[]> packet(new uint8_t[n == 0 ? 1 : n]);
    std::memcpy(packet.get(), data + 1, n);
    std::unique_ptr<uint8_t[]> area(new uint8_t[areaSize == 0 ? 1 : areaSize]);
    std::memset(area.get(), 0xA5, areaSize);
    const std::vector<uint8_t> before(area.get(), area.get() + areaSize);

    const bool decoded = velmo::protocol::NvItemUnpack(packet.get(), n, area.get(), areaSize);
    const bool hasItem = n >= 3;
    const uint16_t item = velmo::wire::Get16(velmo::wire::ConstBytes(packet.get(), n), 1);
    if (decoded != (hasItem && velmo::protocol::HasNvDecoder(item))) {
        std::abort();
    }
    if (!decoded && !std::equal(before.begin(), before.end(), area.get())) {
        std::abort();
    }
    return 0;
}
