// Reply packets of the stand-in: the shared little-endian fields, plus the packet, text, time-stamp and
// log-packet builders every answer uses.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "wire/LeCursor.h"

namespace velmo::sim::wire {

// Answers say Put16/Get16/... unqualified after `using namespace wire;`: these are the shared ones.
using namespace velmo::wire;

// Fixed-width text field filled with `pad`.
inline void PutText(std::vector<uint8_t>& p, size_t at, size_t width, std::string_view text, char pad = ' ') {
    LeWriter(p, at).Text(text, width, pad);
}

inline std::vector<uint8_t> Packet(uint8_t code, size_t size) {
    std::vector<uint8_t> p(std::max<size_t>(size, 1), 0);
    p[0] = code;
    return p;
}

// Modem time stamp: 1.25 ms units since 6 Jan 1980 in the upper 48 bits.
inline uint64_t ModemTimeStamp(int64_t timeOffsetMs) {
    constexpr int64_t kGpsEpochMs = 315964800000;
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    // The offset comes from a control line, a scenario or the state file: any value, so the sum saturates.
    int64_t shifted = 0;
    if (__builtin_add_overflow(now, timeOffsetMs, &shifted)) {
        shifted = timeOffsetMs > 0 ? INT64_MAX : INT64_MIN;
    }
    const int64_t ms = shifted < kGpsEpochMs ? 0 : shifted - kGpsEpochMs;
    return (static_cast<uint64_t>(ms) * 4 / 5) << 16;
}

// A log packet (0x10) carrying one record: length, code, time stamp, payload.
inline std::vector<uint8_t> LogPacket(uint16_t record, const std::vector<uint8_t>& payload,
                                      int64_t timeOffsetMs) {
    const size_t recordLength = 12 + payload.size();
    std::vector<uint8_t> p;
    p.reserve(4 + recordLength);
    LeAppender(p)
        .U8(0x10)
        .U8(0)
        .U16(static_cast<uint16_t>(recordLength))
        .U16(static_cast<uint16_t>(recordLength))
        .U16(record)
        .U64(ModemTimeStamp(timeOffsetMs))
        .Bytes(payload);
    return p;
}

}  // namespace velmo::sim::wire
