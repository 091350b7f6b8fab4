#include "FrameCodec.h"

#include <algorithm>
#include <cstring>

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

// kSlices[k][v]: the register after byte v from zero, followed by k zero bytes; eight of them take eight
// bytes in one step.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeSliceTables() {
    std::array<std::array<uint16_t, 256>, 8> t{};
    t[0] = MakeFcsTable();
    for (size_t k = 1; k < t.size(); ++k) {
        for (unsigned v = 0; v < 256; ++v) {
            const uint16_t prev = t[k - 1][v];
            t[k][v] = static_cast<uint16_t>((prev >> 8) ^ t[0][prev & 0xFF]);
        }
    }
    return t;
}

constexpr auto kSlices = MakeSliceTables();

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

constexpr bool Special(uint8_t b) {
    return b == kFlagByte || b == kEscapeByte;
}

// A mask with the high bit set in the bytes of w that are a flag or an escape; exact up to its lowest set
// bit, which is all the callers use.
constexpr uint64_t SpecialMask(uint64_t w) {
    const uint64_t f = w ^ (kOnes * kFlagByte);
    const uint64_t e = w ^ (kOnes * kEscapeByte);
    return ((f - kOnes) & ~f & kHighs) | ((e - kOnes) & ~e & kHighs);
}

// The number of leading bytes that are neither flag nor escape, eight at a time while none is.
size_t PlainRun(const uint8_t* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        if (const uint64_t mask = SpecialMask(w); mask != 0) {
            return i + static_cast<size_t>(__builtin_ctzll(mask) / 8);
        }
    }
    while (i < n && !Special(p[i])) {
        ++i;
    }
    return i;
}

uint16_t Fcs8(uint16_t fcs, const uint8_t* p) {
    const unsigned x = fcs ^ (p[0] | (unsigned{p[1]} << 8));
    return static_cast<uint16_t>(kSlices[7][x & 0xFF] ^ kSlices[6][x >> 8] ^ kSlices[5][p[2]] ^
                                 kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^ kSlices[1][p[6]] ^
                                 kSlices[0][p[7]]);
}

}  // namespace

const std::array<uint16_t, 256> kFcsTable = MakeFcsTable();

uint16_t FcsRun(uint16_t fcs, const uint8_t* p, size_t n) {
    while (n >= 8) {
        const unsigned x = fcs ^ (p[0] | (unsigned{p[1]} << 8));
        fcs = static_cast<uint16_t>(kSlices[7][x & 0xFF] ^ kSlices[6][x >> 8] ^ kSlices[5][p[2]] ^
                                    kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^
                                    kSlices[1][p[6]] ^ kSlices[0][p[7]]);
        p += 8;
        n -= 8;
    }
    for (; n > 0; --n) {
        fcs = FcsStep(fcs, *p++);
    }
    return fcs;
}

static_assert(MakeFcsTable()[1] == 0x1189 && MakeFcsTable()[2] == 0x2312 && MakeFcsTable()[3] == 0x329B);

uint16_t ComputeFcs(const uint8_t* data, size_t n) {
    return static_cast<uint16_t>(~FcsRun(kFcsInit, data, n));
}

void TxFrame::BeginFrame() {
    length = 0;
    overflow = false;
    fcs = kFcsInit;
}

// A stuffed byte needs two places, a plain one one, and room stays for the rest of the frame.
bool TxFrame::PutStuffed(uint8_t byte) {
    if (overflow) {
        return false;
    }
    if (Special(byte)) {
        if (length + 7u < kTxFrameSize) {
            bytes[length++] = kEscapeByte;
            bytes[length++] = static_cast<uint8_t>(byte ^ kEscapeXor);
            return true;
        }
    } else if (length + 6u < kTxFrameSize) {
        bytes[length++] = byte;
        return true;
    }
    overflow = true;
    return false;
}

void TxFrame::PutFrameByte(uint8_t byte) {
    if (PutStuffed(byte)) {
        fcs = FcsStep(fcs, byte);
    }
}

void TxFrame::PutFrameBytes(const uint8_t* p, size_t n) {
    while (n > 0 && !overflow) {
        const size_t run = PlainRun(p, n);
        const size_t room = length + 6u < kTxFrameSize ? kTxFrameSize - 6u - length : 0;
        const size_t take = std::min(run, room);
        std::memcpy(bytes.data() + length, p, take);
        fcs = FcsRun(fcs, p, take);
        length = static_cast<uint16_t>(length + take);
        if (take < run) {
            overflow = true;
            return;
        }
        p += take;
        n -= take;
        if (n > 0) {
            PutFrameByte(*p++);
            --n;
        }
    }
}

void TxFrame::EndFrame() {
    if (overflow) {
        return;
    }
    std::array<uint8_t, 2> check{};
    wire::Put16(check, 0, static_cast<uint16_t>(~fcs));
    for (uint8_t b : check) {
        PutStuffed(b);  // stuffed like the packet bytes
    }
    if (overflow) {
        return;
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
                // A dropped frame's closing flag opens the next frame as a good frame's does: hunting on
                // from here would lose a good frame that follows with this one flag between them.
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

// Inside a frame: eight plain bytes at a time, then single plain bytes and escape pairs, straight into the
// buffer. Stops before a flag, an escape it cannot pair here (at the block's end, or before a flag or another
// escape), a byte past the frame's limit, or the block's end; the state machine takes it from there.
const uint8_t* RxFrame::BodyRun(const uint8_t* p, const uint8_t* end) {
    size_t n = count;
    uint16_t c = check;
    while (p < end) {
        if (end - p >= 8 && n + 8 <= kRxFrameSize) {
            uint64_t w;
            std::memcpy(&w, p, sizeof w);
            const uint64_t mask = SpecialMask(w);
            if (mask == 0) {
                std::memcpy(bytes.data() + n, p, 8);
                c = Fcs8(c, p);
                n += 8;
                p += 8;
                continue;
            }
            // The plain bytes before the first special one.
            for (const uint8_t* stop = p + __builtin_ctzll(mask) / 8; p < stop; ++p) {
                bytes[n++] = *p;
                c = FcsStep(c, *p);
            }
        }
        uint8_t b = *p;
        if (b == kFlagByte || n >= kRxFrameSize) {
            break;
        }
        if (b == kEscapeByte) {
            if (end - p < 2 || Special(p[1])) {
                break;
            }
            b = static_cast<uint8_t>(p[1] ^ kEscapeXor);
            ++p;
        }
        bytes[n++] = b;
        c = FcsStep(c, b);
        ++p;
    }
    count = static_cast<uint16_t>(n);
    check = c;
    return p;
}

void RxFrame::ProcessReceived(const uint8_t* block, long n, IFrameHandler& handler) {
    if (n <= 0) {
        return;
    }
    const uint8_t* p = block;
    const uint8_t* const end = block + n;
    while (p < end) {
        if (state == RxState::Body && !escape) {
            p = BodyRun(p, end);
            if (p == end) {
                break;
            }
        }
        switch (DecodeByte(*p++)) {
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
    frame.PutFrameBytes(packet, n);
    frame.EndFrame();
    return frame.overflow ? 0 : frame.length;
}

}  // namespace velmo::transport
