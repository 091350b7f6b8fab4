// The NAM parameter conversions. Input: a code byte, then bytes used both as an item's data (128 bytes) and
// as a parameter value (126 bytes), each in a heap block of exactly that size; the output blocks are exact
// too. Decoded digit texts must encode back to the stored value; accepted writes must read back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "library/service/ServiceParameters.h"
#include "wire/LeCursor.h"

namespace {

using namespace velmo::service;
namespace wire = velmo::wire;

void CheckDigits(const std::string& text, size_t width) {
    if (!text.empty() && text.size() != width) {
        std::abort();
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            std::abort();
        }
    }
}

void CheckDecoders(uint32_t v) {
    const std::string g3 = DecodeGroup3(v);
    CheckDigits(g3, 3);
    if (!g3.empty() && EncodeGroup3(g3) != v) {
        std::abort();
    }
    const std::string g2 = DecodeGroup2(v);
    CheckDigits(g2, 2);
    if (!g2.empty() && EncodeGroup2(g2) != v) {
        std::abort();
    }
    const std::string min1 = DecodeMin1(v);
    CheckDigits(min1, 7);
    if (!min1.empty() && EncodeMin1(min1) != v) {
        std::abort();
    }
    CheckDigits(DecodeDigit(v), 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int32_t code = static_cast<int8_t>(data[0]);
    std::unique_ptr<uint8_t[]> item(new uint8_t[kItemDataSize]());
    std::memcpy(item.get(), data + 1, std::min(size - 1, kItemDataSize));
    std::unique_ptr<uint8_t[]> value(new uint8_t[kParameterValueSize]());
    std::memcpy(value.get(), data + 1, std::min(size - 1, kParameterValueSize));

    std::unique_ptr<uint8_t[]> reply(new uint8_t[kParameterValueOffset + kParameterValueSize]);
    BuildParameterReply(code, item.get(), reply.get());
    if (reply[0] != 0xE0 || reply[1] != 0x22) {
        std::abort();
    }
    const wire::ConstBytes itemBytes(item.get(), kItemDataSize);
    CheckDecoders(wire::Get32(itemBytes, 1));
    CheckDecoders(wire::Get16(itemBytes, 3));
    CheckDecoders(item[0]);

    std::unique_ptr<uint8_t[]> written(new uint8_t[kItemDataSize]);
    if (!BuildParameterWrite(code, value.get(), written.get())) {
        return 0;
    }
    // What was accepted reads back as the digits that went in.
    const auto text = [&](size_t at) { return std::string(reinterpret_cast<const char*>(reply.get()) + at); };
    std::string digits;
    for (size_t i = 0; i < kParameterValueSize && value[i] != 0; ++i) {
        if (value[i] >= '0' && value[i] <= '9') {
            digits.push_back(static_cast<char>(value[i]));
        }
    }
    switch (code) {
        case 1:
            if (const wire::ConstBytes w(written.get(), kItemDataSize);
                wire::Get32(w, 1) != wire::Get32(w, 5)) {
                std::abort();
            }
            BuildParameterReply(1, written.get(), reply.get());
            if (text(kParameterValueOffset) != digits) {
                std::abort();
            }
            break;
        case 3:
            BuildParameterReply(3, written.get(), reply.get());
            if (text(kParameterValueOffset) != digits) {
                std::abort();
            }
            break;
        case 5:
            BuildParameterReply(5, written.get(), reply.get());
            if (text(kParameterValueOffset) != std::string(reinterpret_cast<const char*>(value.get()), 3)) {
                std::abort();
            }
            break;
        case 28:
        case 29:
            if (written[0] > (code == 28 ? 64 : 14)) {
                std::abort();
            }
            break;
        default:
            break;
    }
    return 0;
}
