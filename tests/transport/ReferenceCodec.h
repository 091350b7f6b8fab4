// A deliberately naive frame codec for tests: bitwise FCS, std::vector everywhere. Expected wire bytes are
// computed with it instead of with the production codec, so a fault in the codec cannot hide behind itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace velmo::refcodec {

using Bytes = std::vector<uint8_t>;

// FCS register after running over data from init, without the final complement.
inline uint16_t RefFcsRegister(const Bytes& data, uint16_t init = 0xFFFF) {
    uint16_t fcs = init;
    for (uint8_t b : data) {
        fcs ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            fcs =
                (fcs & 1) != 0 ? static_cast<uint16_t>((fcs >> 1) ^ 0x8408) : static_cast<uint16_t>(fcs >> 1);
        }
    }
    return fcs;
}

inline uint16_t RefFcs(const Bytes& packet) {
    return static_cast<uint16_t>(~RefFcsRegister(packet));
}

inline void RefStuff(uint8_t b, Bytes& out) {
    if (b == 0x7E || b == 0x7D) {
        out.push_back(0x7D);
        out.push_back(static_cast<uint8_t>(b ^ 0x20));
    } else {
        out.push_back(b);
    }
}

// Packet, FCS low byte, FCS high byte, all stuffed, then the closing flag.
inline Bytes RefEncode(const Bytes& packet) {
    Bytes out;
    for (uint8_t b : packet) {
        RefStuff(b, out);
    }
    const uint16_t fcs = RefFcs(packet);
    RefStuff(static_cast<uint8_t>(fcs & 0xFF), out);
    RefStuff(static_cast<uint8_t>(fcs >> 8), out);
    out.push_back(0x7E);
    return out;
}

// Packet followed by its two FCS bytes: what a decoder hands on for a good frame.
inline Bytes WithFcs(const Bytes& packet) {
    Bytes out = packet;
    const uint16_t fcs = RefFcs(packet);
    out.push_back(static_cast<uint8_t>(fcs & 0xFF));
    out.push_back(static_cast<uint8_t>(fcs >> 8));
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// Splits a byte stream at flags and returns the packets (FCS stripped) of the frames whose FCS is good.
// Enough for a well-behaved peer; it does not model the hunting of the real decoder.
inline std::vector<Bytes> RefDecodeStream(const Bytes& stream) {
    std::vector<Bytes> packets;
    Bytes cur;
    bool escape = false;
    for (uint8_t b : stream) {
        if (b == 0x7E) {
            if (cur.size() >= 3 && RefFcsRegister(cur) == 0xF0B8) {
                cur.pop_back();  // the two FCS bytes; resize() here trips a false g++ 12 -O2 warning
                cur.pop_back();
                packets.push_back(cur);
            }
            cur.clear();
            escape = false;
        } else if (b == 0x7D) {
            escape = true;
        } else {
            cur.push_back(escape ? static_cast<uint8_t>(b ^ 0x20) : b);
            escape = false;
        }
    }
    return packets;
}

}  // namespace velmo::refcodec
