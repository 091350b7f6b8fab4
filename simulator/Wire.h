// Little helpers for building reply packets: little-endian fields at fixed offsets, bounds-checked.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace velmo::sim::wire {

inline void Put16(std::vector<uint8_t>& p, size_t at, uint16_t v) {
    p.at(at) = static_cast<uint8_t>(v);
    p.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

inline void Put32(std::vector<uint8_t>& p, size_t at, uint32_t v) {
    Put16(p, at, static_cast<uint16_t>(v));
    Put16(p, at + 2, static_cast<uint16_t>(v >> 16));
}

inline void Put64(std::vector<uint8_t>& p, size_t at, uint64_t v) {
    Put32(p, at, static_cast<uint32_t>(v));
    Put32(p, at + 4, static_cast<uint32_t>(v >> 32));
}

// Fixed-width text field filled with `pad`.
inline void PutText(std::vector<uint8_t>& p, size_t at, size_t width, std::string_view text, char pad = ' ') {
    for (size_t i = 0; i < width; ++i) {
        p.at(at + i) = static_cast<uint8_t>(i < text.size() ? text[i] : pad);
    }
}

inline uint16_t Get16(std::span<const uint8_t> p, size_t at) {
    return at + 1 < p.size() ? static_cast<uint16_t>(p[at] | p[at + 1] << 8) : 0;
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
    const int64_t ms = std::max<int64_t>(0, now + timeOffsetMs - kGpsEpochMs);
    return (static_cast<uint64_t>(ms) * 4 / 5) << 16;
}

// A log packet (0x10) carrying one record: length, code, time stamp, payload.
inline std::vector<uint8_t> LogPacket(uint16_t record, const std::vector<uint8_t>& payload,
                                      int64_t timeOffsetMs) {
    const size_t recordLength = 12 + payload.size();
    std::vector<uint8_t> p = Packet(0x10, 4 + recordLength);
    Put16(p, 2, static_cast<uint16_t>(recordLength));
    Put16(p, 4, static_cast<uint16_t>(recordLength));
    Put16(p, 6, record);
    Put64(p, 8, ModemTimeStamp(timeOffsetMs));
    std::copy(payload.begin(), payload.end(), p.begin() + 16);
    return p;
}

}  // namespace velmo::sim::wire
