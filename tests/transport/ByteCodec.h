// The frame codec as it was written first, one byte at a time: the decoder's state machine fed byte by
// byte, the encoder's FCS taken by reading back the stuffed frame. The production codec must give the same
// frames and the same wire bytes; the codec benchmark runs both for its before/after figures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "library/transport/FrameCodec.h"

namespace velmo::bytecodec {

using transport::FcsStep;
using transport::IFrameHandler;
using transport::kEscapeByte;
using transport::kEscapeXor;
using transport::kFcsGoodResidue;
using transport::kFcsInit;
using transport::kFlagByte;
using transport::kMinFrameCount;
using transport::kRxFrameSize;
using transport::kTxFrameSize;
using transport::RxState;

struct ByteDecoder {
    RxState state = RxState::Hunt;
    uint16_t count = 0;
    uint16_t check = 0;
    bool escape = false;
    std::array<uint8_t, kRxFrameSize> bytes{};

    RxState Step(uint8_t byte) {
        switch (state) {
            case RxState::Hunt:
                if (byte == kFlagByte) {
                    state = RxState::Start;
                }
                return state;
            case RxState::Start:
                if (byte == kFlagByte) {
                    return state;
                }
                count = 0;
                check = kFcsInit;
                escape = false;
                state = RxState::Body;
                [[fallthrough]];
            case RxState::Body:
                if (byte == kFlagByte) {
                    // A dropped frame's flag opens the next frame, as a good frame's does.
                    state = (count >= kMinFrameCount && check == kFcsGoodResidue) ? RxState::Complete
                                                                                  : RxState::Start;
                    return state;
                }
                if (byte == kEscapeByte) {
                    escape = true;
                    return state;
                }
                if (escape) {
                    escape = false;
                    byte ^= kEscapeXor;
                }
                if (count < kRxFrameSize) {
                    bytes[count++] = byte;
                    check = FcsStep(check, byte);
                } else {
                    state = RxState::Hunt;
                }
                return state;
            case RxState::Complete:
            default:
                state = RxState::Hunt;
                return state;
        }
    }

    void Process(const uint8_t* block, long n, IFrameHandler& handler) {
        for (long i = 0; i < n; ++i) {
            switch (Step(block[i])) {
                case RxState::Hunt:
                case RxState::Start:
                    count = 0;
                    check = 0;
                    escape = false;
                    break;
                case RxState::Complete:
                    handler.OnFrame(bytes.data(), count);
                    count = 0;
                    check = 0;
                    escape = false;
                    state = RxState::Start;
                    break;
                case RxState::Body:
                    break;
            }
        }
    }
};

struct ByteEncoder {
    uint16_t length = 0;
    bool overflow = false;
    std::array<uint8_t, kTxFrameSize> bytes{};

    void Put(uint8_t byte) {
        if (overflow) {
            return;
        }
        if (byte == kFlagByte || byte == kEscapeByte) {
            if (length + 7u < kTxFrameSize) {
                bytes[length++] = kEscapeByte;
                bytes[length++] = static_cast<uint8_t>(byte ^ kEscapeXor);
            } else {
                overflow = true;
            }
        } else if (length + 6u < kTxFrameSize) {
            bytes[length++] = byte;
        } else {
            overflow = true;
        }
    }

    // The frame's length, 0 on overflow.
    size_t Encode(const uint8_t* packet, size_t n) {
        length = 0;
        overflow = false;
        for (size_t i = 0; i < n; ++i) {
            Put(packet[i]);
        }
        if (overflow) {
            return 0;
        }
        uint16_t fcs = kFcsInit;
        for (size_t i = 0; i < length; ++i) {
            uint8_t b = bytes[i];
            if (b == kEscapeByte && i + 1 < length) {
                b = static_cast<uint8_t>(bytes[++i] ^ kEscapeXor);
            }
            fcs = FcsStep(fcs, b);
        }
        fcs = static_cast<uint16_t>(~fcs);
        Put(static_cast<uint8_t>(fcs & 0xFF));
        Put(static_cast<uint8_t>(fcs >> 8));
        if (overflow) {
            return 0;
        }
        bytes[length++] = kFlagByte;
        return length;
    }
};

}  // namespace velmo::bytecodec
