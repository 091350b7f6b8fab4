// The parsed reply forms (0x7C, 0x49, 0x48, 0x22). Input: one byte choosing the form and whether the block
// is the form's own size or a smaller one, then the packet. Packet and block lie in heap blocks of exactly
// their sizes, so that ASan reports any read or write past either.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "library/protocol/CommandTable.h"
#include "library/protocol/Decoders.h"

namespace {

using Parser = void (*)(const uint8_t*, size_t, uint8_t*, size_t);

struct Form {
    Parser parse;
    size_t blockSize;
};

const Form kForms[] = {
    {velmo::protocol::ParseExtVersionReply, velmo::protocol::kExtVersionReplySize},
    {velmo::protocol::ParsePrlReadReply, velmo::protocol::kPrlReadReplySize},
    {velmo::protocol::ParsePrlBlockReply, velmo::protocol::kPrlBlockReplySize},
    {velmo::protocol::ParseBlock34Reply, velmo::protocol::kBlock34ReplySize},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const Form& form = kForms[data[0] & 3];
    // Mostly the real size; sometimes a smaller block, which must be respected as well.
    const size_t blockSize =
        (data[0] & 0x80) != 0 ? (data[0] >> 2 & 0x1F) % (form.blockSize + 1) : form.blockSize;
    const size_t n = size - 1;
    std::unique_ptr<uint8_t[]> packet(new uint8_t[n == 0 ? 1 : n]);
    std::memcpy(packet.get(), data + 1, n);
    std::unique_ptr<uint8_t[]> block(new uint8_t[blockSize == 0 ? 1 : blockSize]);
    std::memset(block.get(), 0xCD, blockSize);
    form.parse(packet.get(), n, block.get(), blockSize);

    // The extended version text is always terminated inside its block.
    if (form.parse == velmo::protocol::ParseExtVersionReply && blockSize == form.blockSize &&
        block[blockSize - 1] != 0) {
        std::abort();
    }
    // Nothing but received bytes (or zeros) lands in a block.
    for (size_t i = 0; i < blockSize; ++i) {
        if (block[i] == 0xCD && std::memchr(packet.get(), 0xCD, n) == nullptr) {
            std::abort();
        }
    }
    return 0;
}
