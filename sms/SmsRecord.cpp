#include "SmsRecord.h"

#include <algorithm>

#include "wire/LeCursor.h"

namespace velmo::sms {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

void PutNumber(std::span<uint8_t> r, size_t lengthAt, size_t at, const std::string& number) {
    const size_t n = std::min(number.size(), kNumberField);
    r[lengthAt] = static_cast<uint8_t>(n);
    std::copy_n(number.begin(), n, r.begin() + static_cast<std::ptrdiff_t>(at));
}

std::string NumberAt(std::span<const uint8_t> r, size_t lengthAt, size_t at) {
    const size_t n = std::min<size_t>(wire::Get8(r, lengthAt), kNumberField);
    std::string out;
    for (size_t i = 0; i < n && wire::Get8(r, at + i) != 0; ++i) {
        out += static_cast<char>(wire::Get8(r, at + i));
    }
    return out;
}

bool Ok(int32_t result, std::span<const uint8_t> reply, size_t need) {
    return result == 0 && reply.size() >= need;
}

}  // namespace

std::array<uint8_t, kRecordSize> Encode(const Message& m) {
    std::array<uint8_t, kRecordSize> r{};
    wire::Put8(r, kSlotAt, m.slot);
    wire::Put8(r, kPriorityAt, m.priority);
    wire::Put8(r, kDeliveryReportAt, m.deliveryReport ? 1 : 0);
    wire::Put32(r, kTimeStampAt, m.timeStamp);
    wire::Put8(r, kAttributeAt, m.attribute);
    PutNumber(r, kNumberLengthAt, kNumberAt, m.number);
    PutNumber(r, kOwnNumberLengthAt, kOwnNumberAt, m.ownNumber);
    const size_t units = std::min(m.text.size(), kTextField / 2);
    wire::Put16(r, kTextLengthAt, static_cast<uint16_t>(units * 2));
    for (size_t i = 0; i < units; ++i) {
        wire::Put16(r, kTextAt + 2 * i, m.text[i]);
    }
    wire::Put16(r, kReadStatusAt, m.readStatus);
    return r;
}

Message Decode(std::span<const uint8_t> r) {
    Message m;
    m.slot = wire::Get8(r, kSlotAt);
    m.priority = wire::Get8(r, kPriorityAt);
    m.deliveryReport = wire::Get8(r, kDeliveryReportAt) != 0;
    m.timeStamp = wire::Get32(r, kTimeStampAt);
    m.attribute = wire::Get8(r, kAttributeAt);
    m.number = NumberAt(r, kNumberLengthAt, kNumberAt);
    m.ownNumber = NumberAt(r, kOwnNumberLengthAt, kOwnNumberAt);
    const size_t bytes = std::min<size_t>(wire::Get16(r, kTextLengthAt), kTextField) & ~size_t{1};
    for (size_t i = 0; i < bytes / 2; ++i) {
        m.text += static_cast<char16_t>(wire::Get16(r, kTextAt + 2 * i));
    }
    m.readStatus = wire::Get16(r, kReadStatusAt);
    return m;
}

std::optional<Box> BoxNamed(std::string_view name) {
    for (const BoxInfo& b : kBoxes) {
        if (name == b.name) {
            return b.box;
        }
    }
    return std::nullopt;
}

std::optional<Box> BoxOfCode(uint8_t boxCode) {
    for (const BoxInfo& b : kBoxes) {
        if (boxCode == b.boxCode) {
            return b.box;
        }
    }
    return std::nullopt;
}

std::optional<Box> BoxOfCountCode(uint8_t countCode) {
    for (const BoxInfo& b : kBoxes) {
        if (countCode == b.countCode) {
            return b.box;
        }
    }
    return std::nullopt;
}

std::array<uint8_t, 4> CountRequest(Box b) {
    return {kRequest60, kVersion, kCountCommand, Info(b).countCode};
}

std::array<uint8_t, 5> ReadRequest(Box b, uint8_t position) {
    return {kRequest60, kVersion, kReadCommand, Info(b).boxCode, position};
}

std::array<uint8_t, kStoreRequestSize> StoreRequest(StoreOp op, uint8_t boxCode, const Message& m) {
    std::array<uint8_t, kStoreRequestSize> p{kRequest60, kVersion, kStoreCommand, static_cast<uint8_t>(op),
                                             boxCode};
    const std::array<uint8_t, kRecordSize> record = Encode(m);
    std::copy(record.begin(), record.end(), p.begin() + 5);
    return p;
}

std::array<uint8_t, 5> DeleteRequest(Box b, uint8_t slot) {
    return {kRequest60, kVersion, kDeleteCommand, Info(b).boxCode, slot};
}

std::optional<uint8_t> CountOf(int32_t result, Box b, std::span<const uint8_t> reply) {
    if (!Ok(result, reply, 5)) {
        return std::nullopt;
    }
    return reply[3] == Info(b).countCode ? reply[4] : 0;
}

std::optional<Message> ReadOf(int32_t result, Box b, std::span<const uint8_t> reply) {
    if (!Ok(result, reply, kReadRecordAt + kRecordSize) || reply[3] != Info(b).boxCode || reply[5] != 1) {
        return std::nullopt;
    }
    return Decode(reply.subspan(kReadRecordAt, kRecordSize));
}

std::optional<uint8_t> StoreStatusOf(int32_t result, StoreOp op, std::span<const uint8_t> reply) {
    if (!Ok(result, reply, 7) || reply[3] != static_cast<uint8_t>(op) || reply[6] != 1) {
        return std::nullopt;
    }
    return reply[5];
}

bool DeleteAccepted(int32_t result, Box b, uint8_t slot, std::span<const uint8_t> reply) {
    return Ok(result, reply, 5) && reply[3] == Info(b).boxCode && reply[4] == slot;
}

bool StoreSucceeded(StoreOp op, uint8_t status) {
    switch (op) {
        case StoreOp::Send:
        case StoreOp::SentCopy:
            return status != kSendRefused;
        case StoreOp::Draft:
        case StoreOp::SavedCopy:  // a full saved box answers as a full draft box does
            return status != kDraftRefused;
        default:
            return true;
    }
}

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    while (i < s.size()) {
        const uint8_t b = byte(i);
        size_t extra = 0;
        char32_t c = 0;
        char32_t min = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= extra && i + k < s.size() && (byte(i + k) & 0xC0) == 0x80; ++k) {
            c = c << 6 | (byte(i + k) & 0x3F);
        }
        if (k <= extra || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += kReplacement;
            i += k;  // the lead byte and the continuation bytes it took
            continue;
        }
        i += k;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string ToUtf8(std::u16string_view t) {
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        char32_t c = t[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (t[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string Cut(std::u16string_view text, size_t units) {
    if (text.size() <= units) {
        return std::u16string(text);
    }
    // A high surrogate at the cut would leave half a character.
    if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF) {
        --units;
    }
    return std::u16string(text.substr(0, units));
}

std::optional<std::string> NumberRefusal(const std::string& number) {
    if (number.empty()) {
        return "the number is empty";
    }
    if (number.size() > kNumberField) {
        return "the number has " + std::to_string(number.size()) + " characters; at most " +
               std::to_string(kNumberField) + " fit";
    }
    for (const char c : number) {
        if (!((c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#')) {
            return "the number may hold only digits, '+', '*' and '#'";
        }
    }
    return std::nullopt;
}

}  // namespace velmo::sms
