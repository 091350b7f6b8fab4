// Splits a received byte stream into packets, for the scripted peers of the tests. Built on the reference
// codec, not the production one, so that a codec fault cannot hide behind itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "transport/ReferenceCodec.h"

namespace velmo::testsupport {

using Bytes = refcodec::Bytes;

class FrameStream {
  public:
    // Feeds bytes as they arrive; returns the packets (FCS stripped) of the frames completed with a good FCS.
    std::vector<Bytes> Feed(const uint8_t* data, size_t n) {
        std::vector<Bytes> packets;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = data[i];
            if (b == 0x7E) {
                if (current_.size() >= 3 && refcodec::RefFcsRegister(current_) == 0xF0B8) {
                    current_.pop_back();  // the two FCS bytes
                    current_.pop_back();
                    packets.push_back(current_);
                }
                current_.clear();
                escape_ = false;
            } else if (b == 0x7D) {
                escape_ = true;
            } else {
                current_.push_back(escape_ ? static_cast<uint8_t>(b ^ 0x20) : b);
                escape_ = false;
            }
        }
        return packets;
    }

  private:
    Bytes current_;
    bool escape_ = false;
};

// A packet as a modem sends it: a leading flag (so that it decodes whatever the receiver's state), the
// stuffed packet and FCS, the closing flag.
inline Bytes Framed(const Bytes& packet) {
    Bytes wire = {0x7E};
    const Bytes frame = refcodec::RefEncode(packet);
    wire.insert(wire.end(), frame.begin(), frame.end());
    return wire;
}

// A packet of n bytes: head, then fill.
inline Bytes Packet(std::initializer_list<uint8_t> head, size_t n, uint8_t fill = 0) {
    Bytes out(head);
    out.resize(n, fill);
    return out;
}

}  // namespace velmo::testsupport
