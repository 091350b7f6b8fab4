// Replies (128 bytes, 1086 for a read; the request's first three bytes echoed):
//   54 count   3 count code, 4 messages in the box (0 for an unknown code)
//   51 read    3 box code, 4 position, 5 1 when read, 6..1084 the record
//   50 store   3 operation, 4 box code, 5 store status, 6 1 when the operation was carried out
//   52 delete  3 box code, 4 slot; 3 is 0xFF when nothing was deleted
// A store into a full box is carried out with status 4 (sent copy) or 0xFF (draft, saved copy) and stores
// nothing. A plain send stores nothing either: the message leaves the modem.
#include "SmsBoxes.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "Answers.h"
#include "Wire.h"
#include "sms/SmsRecord.h"

namespace velmo::sim {

namespace {

using namespace wire;
using sms::Box;
using sms::kRecordSize;

constexpr size_t kMaxMessages = 100;  // a box never holds more than the manager's slot table
constexpr size_t kReportBody = 255;

std::vector<uint8_t>& Records(DeviceState& s, Box b) {
    return s.smsBoxes[static_cast<size_t>(b)];
}

size_t CountIn(const DeviceState& s, Box b) {
    return s.smsBoxes[static_cast<size_t>(b)].size() / kRecordSize;
}

uint8_t SlotAt(const std::vector<uint8_t>& records, size_t i) {
    return records[i * kRecordSize + sms::kSlotAt];
}

// The lowest slot no message of the box has; 0xFF is the whole-box delete and never a slot.
uint8_t FreeSlot(const std::vector<uint8_t>& records) {
    std::array<bool, 256> used{};
    for (size_t i = 0; i < records.size() / kRecordSize; ++i) {
        used[SlotAt(records, i)] = true;
    }
    uint8_t slot = 0;
    while (used[slot] && slot < sms::kDeleteWholeBox - 1) {
        ++slot;
    }
    return slot;
}

// The modem's clock in the unit of a record's time stamp: seconds since 6 January 1980.
uint32_t Now(const DeviceState& s) {
    return static_cast<uint32_t>((ModemTimeStamp(s.timeOffsetMs) >> 16) / 800);
}

// Appends the record with a slot of this box; false when the box is full.
bool File(DeviceState& s, Box b, sms::Message m) {
    std::vector<uint8_t>& records = Records(s, b);
    const int capacity = sms::Info(b).capacity;
    const size_t limit = capacity > 0 ? static_cast<size_t>(capacity) : kMaxMessages;
    if (CountIn(s, b) >= limit) {
        return false;
    }
    m.slot = FreeSlot(records);
    if (m.timeStamp == 0) {
        m.timeStamp = Now(s);
    }
    const auto bytes = sms::Encode(m);
    records.insert(records.end(), bytes.begin(), bytes.end());
    return true;
}

std::vector<uint8_t> Count(std::span<const uint8_t> r, std::vector<uint8_t> p, const DeviceState& s) {
    if (r.size() < 4) {
        return p;
    }
    p[3] = r[3];
    const std::optional<Box> b = sms::BoxOfCountCode(r[3]);
    p[4] = b ? static_cast<uint8_t>(CountIn(s, *b)) : 0;
    return p;
}

std::vector<uint8_t> Read(std::span<const uint8_t> r, const DeviceState& s) {
    std::vector<uint8_t> p = Packet(protocol::Request60, sms::kReadReplySize);
    std::copy_n(r.begin(), std::min<size_t>(r.size(), 5), p.begin());
    if (r.size() < 5) {
        return p;
    }
    const std::optional<Box> b = sms::BoxOfCode(r[3]);
    const size_t position = r[4];
    if (!b || position >= CountIn(s, *b) || static_cast<int>(position) == s.smsReadFail) {
        return p;
    }
    p[5] = 1;
    const std::vector<uint8_t>& records = s.smsBoxes[static_cast<size_t>(*b)];
    std::copy_n(records.begin() + static_cast<std::ptrdiff_t>(position * kRecordSize), kRecordSize,
                p.begin() + sms::kReadRecordAt);
    return p;
}

std::vector<uint8_t> Store(RequestContext& ctx, std::vector<uint8_t> p) {
    const std::span<const uint8_t> r = ctx.packet;
    if (r.size() < 5) {
        return p;
    }
    const uint8_t op = r[3];
    const uint8_t boxCode = r[4];
    p[3] = op;
    p[4] = boxCode;
    const sms::Message m = sms::Decode(r.subspan(5));
    DeviceState& s = ctx.state;
    auto into = [&](Box want, uint8_t refused) {
        if (sms::BoxOfCode(boxCode) != want) {
            return;
        }
        p[6] = 1;
        if (!File(s, want, m)) {
            p[5] = refused;
            return;
        }
        ctx.stateChanged = true;
    };
    switch (static_cast<sms::StoreOp>(op)) {
        case sms::StoreOp::Send:
            if (boxCode == sms::kSendBoxCode) {
                p[6] = 1;
                p[5] = sms::NumberRefusal(m.number) ? sms::kSendRefused : 0;
            }
            break;
        case sms::StoreOp::Draft:
            into(Box::DraftBox, sms::kDraftRefused);
            break;
        case sms::StoreOp::SentCopy:
            into(Box::OutBox, sms::kSendRefused);
            break;
        case sms::StoreOp::SavedCopy:
            into(Box::SavedBox, sms::kDraftRefused);
            break;
        case sms::StoreOp::Rewrite: {
            const std::optional<Box> b = sms::BoxOfCode(boxCode);
            if (!b) {
                break;
            }
            std::vector<uint8_t>& records = Records(s, *b);
            for (size_t i = 0; i < records.size() / kRecordSize; ++i) {
                if (SlotAt(records, i) == m.slot) {
                    const auto bytes = sms::Encode(m);
                    std::copy(bytes.begin(), bytes.end(),
                              records.begin() + static_cast<std::ptrdiff_t>(i * kRecordSize));
                    ctx.stateChanged = true;
                    p[6] = 1;
                }
            }
            break;
        }
    }
    return p;
}

std::vector<uint8_t> Delete(RequestContext& ctx, std::vector<uint8_t> p) {
    const std::span<const uint8_t> r = ctx.packet;
    p[3] = 0xFF;
    if (r.size() < 5) {
        return p;
    }
    const std::optional<Box> b = sms::BoxOfCode(r[3]);
    if (!b) {
        return p;
    }
    std::vector<uint8_t>& records = Records(ctx.state, *b);
    const uint8_t slot = r[4];
    bool done = false;
    if (slot == sms::kDeleteWholeBox) {
        records.clear();
        done = true;
    }
    for (size_t i = 0; !done && i < records.size() / kRecordSize; ++i) {
        if (SlotAt(records, i) == slot) {
            const auto at = records.begin() + static_cast<std::ptrdiff_t>(i * kRecordSize);
            records.erase(at, at + static_cast<std::ptrdiff_t>(kRecordSize));
            done = true;
        }
    }
    if (done) {
        ctx.stateChanged = true;
        p[3] = r[3];
        p[4] = slot;
    }
    return p;
}

}  // namespace

std::optional<std::vector<uint8_t>> SmsAnswer(RequestContext& ctx) {
    const std::span<const uint8_t> r = ctx.packet;
    if (r.size() < 3 || r[1] != sms::kVersion) {
        return std::nullopt;
    }
    std::vector<uint8_t> p = Packet(protocol::Request60, sms::kReplySize);
    std::copy_n(r.begin(), 3, p.begin());
    switch (r[2]) {
        case sms::kCountCommand:
            return Count(r, std::move(p), ctx.state);
        case sms::kReadCommand:
            return Read(r, ctx.state);
        case sms::kStoreCommand:
            return Store(ctx, std::move(p));
        case sms::kDeleteCommand:
            return Delete(ctx, std::move(p));
        default:
            return std::nullopt;
    }
}

bool DeliverSms(DeviceState& s, const std::string& number, const std::string& utf8Text,
                std::vector<uint8_t>* report, std::string* error) {
    if (const std::optional<std::string> refusal = sms::NumberRefusal(number)) {
        *error = *refusal;
        return false;
    }
    sms::Message m;
    m.number = number;
    // The second number of a received message is the one it was sent to: the modem's own.
    GetStateField(s, "mdn", &m.ownNumber);
    m.text = sms::Cut(sms::FromUtf8(utf8Text));
    m.readStatus = sms::kNotRead;
    if (!File(s, Box::InBox, m)) {
        *error = "the in-box holds " + std::to_string(kMaxMessages) + " messages";
        return false;
    }
    const sms::Message filed = sms::Decode(std::span(Records(s, Box::InBox)).last(kRecordSize));

    std::vector<uint8_t> p = Packet(protocol::VendorPacket, ReportSize(17));
    p[1] = 17;
    p[2] = 0x83;
    Put32(p, 3, filed.slot);
    p[12] = static_cast<uint8_t>(number.size());
    PutText(p, 13, number.size(), number);
    constexpr time_t kModemEpoch = 315964800;  // 6 January 1980 in Unix time
    const time_t t = static_cast<time_t>(filed.timeStamp) + kModemEpoch;
    tm parts{};
    gmtime_r(&t, &parts);
    char when[32];
    std::snprintf(when, sizeof when, "%02d/%02d/%02d %02d:%02d:%02d", parts.tm_year % 100, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    PutText(p, 80, 17, when);
    // The body carries the text as UTF-8, cut where a character starts so that no half of one is sent.
    std::string body = sms::ToUtf8(filed.text);
    size_t n = std::min(body.size(), kReportBody);
    while (n < body.size() && n > 0 && (static_cast<uint8_t>(body[n]) & 0xC0) == 0x80) {
        --n;
    }
    body.resize(n);
    p[97] = static_cast<uint8_t>(n);
    PutText(p, 98, n, body);
    *report = std::move(p);
    return true;
}

}  // namespace velmo::sim
