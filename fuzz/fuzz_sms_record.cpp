// The message record and its replies. Input: any bytes, taken as a record (shorter ones read as zero-filled),
// as a read reply and as text. A decoded record must encode to a record that decodes the same; a read reply
// gives a message only when its box code and flag say so; text must survive UTF-16 and back when it started
// as UTF-16 without a lone surrogate, and the cut must never leave half a character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "sms/SmsRecord.h"

using namespace velmo::sms;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact heap block, so that a read past the input is caught.
    const std::unique_ptr<uint8_t[]> block(new uint8_t[size > 0 ? size : 1]);
    for (size_t i = 0; i < size; ++i) {
        block[i] = data[i];
    }
    const std::span<const uint8_t> in(block.get(), size);

    const Message m = Decode(in);
    if (m.text.size() > kTextField / 2 || m.number.size() > kNumberField ||
        m.ownNumber.size() > kNumberField) {
        std::abort();
    }
    const auto encoded = Encode(m);
    if (!(Decode(encoded) == m)) {
        std::abort();
    }

    for (const BoxInfo& info : kBoxes) {
        const std::optional<Message> read = ReadOf(0, info.box, in);
        if (read && (in.size() < kReadRecordAt + kRecordSize || in[3] != info.boxCode || in[5] != 1)) {
            std::abort();
        }
        (void)CountOf(0, info.box, in);
        (void)DeleteAccepted(0, info.box, 7, in);
    }
    (void)StoreStatusOf(0, StoreOp::Send, in);

    const std::u16string text = FromUtf8(std::string_view(reinterpret_cast<const char*>(block.get()), size));
    if (FromUtf8(ToUtf8(text)) != text) {
        std::abort();
    }
    const std::u16string cut = Cut(text);
    if (cut.size() > kMaxTextUnits || (!cut.empty() && cut.back() >= 0xD800 && cut.back() <= 0xDBFF)) {
        std::abort();
    }
    (void)NumberRefusal(std::string(reinterpret_cast<const char*>(block.get()), size));
    return 0;
}
