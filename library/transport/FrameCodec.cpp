#include "FrameCodec.h"

#include "wire/LeCursor.h"

namespace velmo::transport {

namespace {

constexpr std::array<uint16_t, 256> MakeFcsTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned v = i;
        for (int bit = 0; bit < 8; ++bit) {
            v = (v & 1) ? (v >> 1) ^ 0x8408 : v >> 1;
        }
        table[i] = static_cast<uint16_t>(v);
    }
    return table;
}

}  // namespace

const std::array<uint16_t, 256> kFcsTable = MakeFcsTable();

static_assert(MakeFcsTable()[1] == 0x1189 && MakeFcsTable()[2] == 0x2312 && MakeFcsTable()[3] == 0x329B);

uint16_t ComputeFcs(const uint8_t* data, size_t n) {
    uint16_t fcs = kFcsInit;
    for (size_t i = 0; i < n; ++i) {
        fcs = FcsStep(fcs, data[i]);
    }
    return static_cast<uint16_t>(~fcs);
}

void TxFrame::BeginFrame() {
    length = 0;
    overflow = false;
}

void TxFrame::PutFrameByte(uint8_t byte) {
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

void TxFrame::EndFrame() {
    if (overflow) {
        return;
    }
    uint16_t fcs = kFcsInit;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        if (b == kEscapeByte && i + 1 < length) {
            b = static_cast<uint8_t>(bytes[++i] ^ kEscapeXor);
        }
        fcs = FcsStep(fcs, b);
    }
    std::array<uint8_t, 2> check{};
    wire::Put16(check, 0, static_cast<uint16_t>(~fcs));
    for (uint8_t b : check) {
        PutFrameByte(b);  // stuffed like the packet bytes
    }
    // The stuffing reserve guarantees room for the flag.
    bytes[length++] = kFlagByte;
}

void RxFrame::Reset() {
    count = 0;
    check = 0;
    escape = false;
}

RxState RxFrame::DecodeByte(uint8_t byte) {
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
                state =
                    (count >= kMinFrameCount && check == kFcsGoodResidue) ? RxState::Complete : RxState::Hunt;
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

void RxFrame::ProcessReceived(const uint8_t* block, long n, IFrameHandler& handler) {
    if (n <= 0) {
        return;
    }
    for (long i = 0; i < n; ++i) {
        switch (DecodeByte(block[i])) {
            case RxState::Hunt:
            case RxState::Start:
                Reset();
                break;
            case RxState::Complete:
                handler.OnFrame(bytes.data(), count);
                Reset();
                state = RxState::Start;
                break;
            case RxState::Body:
                break;
        }
    }
}

size_t EncodePacket(const uint8_t* packet, size_t n, TxFrame& frame) {
    frame.BeginFrame();
    for (size_t i = 0; i < n; ++i) {
        frame.PutFrameByte(packet[i]);
    }
    frame.EndFrame();
    return frame.overflow ? 0 : frame.length;
}

}  // namespace velmo::transport
