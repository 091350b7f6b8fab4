#include "Decoders.h"

#include "wire/LeCursor.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace velmo::protocol {

using wire::LeReader;

namespace {

constexpr size_t kLogRecordStart = 4;
constexpr size_t kLogPayloadStart = 16;
constexpr size_t kPilotEntryStart = 11;
constexpr size_t kPilotEntrySize = 10;
constexpr size_t kMaxActivePilots = kActivePilots - 1;
constexpr size_t kMaxNeighbourPilots = kNeighbourPilots - 1;

// Level words are 1/256 dB; C++ division truncates toward zero as the modem's tools do.
int32_t Level(LeReader& r, size_t at) {
    r.Seek(at);
    return r.S16() / 256;
}

void DecodePilotSets(const uint8_t* payload, size_t n, RfSnapshot& rf) {
    LeReader r(payload, n);
    if (!r.Has(0, 9)) {
        return;  // too short for the set sizes: ignored whole
    }
    r.Seek(1);
    const size_t active = r.U8();
    r.Seek(3);
    const uint16_t channel = r.U16();
    r.Seek(6);
    const size_t candidates = r.U8();
    r.Seek(8);
    const size_t neighbours = r.U8();
    const size_t received = n > kPilotEntryStart ? (n - kPilotEntryStart) / kPilotEntrySize : 0;
    auto entryWord = [&](size_t entry, size_t offset) {
        r.Seek(kPilotEntryStart + entry * kPilotEntrySize + offset);
        return r.U16();
    };

    const size_t a = std::min({active, kMaxActivePilots, received});
    for (size_t i = 0; i < a; ++i) {
        rf.PilotSetA[i] = entryWord(i, 0);
        rf.PilotSetB[i] = entryWord(i, 2);
    }
    rf.PilotSetA[a] = 0xFFFF;
    rf.PilotSetB[a] = 0xFFFF;

    const size_t firstNeighbour = active + candidates;
    const size_t neighboursReceived = received > firstNeighbour ? received - firstNeighbour : 0;
    const size_t c = std::min({neighbours, kMaxNeighbourPilots, neighboursReceived});
    for (size_t i = 0; i < c; ++i) {
        rf.PilotSetC[i] = entryWord(firstNeighbour + i, 0);
    }
    rf.PilotSetC[c] = 0xFFFF;
    rf.PilotChannel = static_cast<int16_t>(channel & 0x7FF);
}

}  // namespace

void DecodeLogPacket(const uint8_t* packet, size_t n, std::array<uint8_t, kLogBlockSize>& logBlock,
                     RfSnapshot& rf) {
    LeReader r(packet, n);
    const uint8_t code = r.U8();
    const uint8_t second = r.U8();
    const uint16_t length = r.U16();
    if (!r.ok()) {
        return;
    }
    logBlock[0] = code;
    logBlock[1] = second;
    wire::Put16(logBlock, 2, length);
    if (length == 0) {
        return;
    }
    const uint16_t recordLength = r.U16();
    const uint16_t recordCode = r.U16();
    const uint64_t stamp = r.U64();
    if (!r.ok()) {
        return;
    }
    wire::Put16(logBlock, 4, recordLength);
    wire::Put32(logBlock, 6, recordCode);
    wire::Put64(logBlock, 10, stamp);

    const uint8_t* payload = packet + kLogPayloadStart;
    const size_t payloadSize = n - kLogPayloadStart;
    LeReader p(payload, payloadSize);
    switch (recordCode) {
        case LogHeaderTest: {
            if (!p.Has(0, 15)) {
                return;
            }
            LeReader again(packet, n, kLogRecordStart);
            wire::Put16(logBlock, 4, again.U16());
            wire::Put32(logBlock, 6, again.U16());
            wire::Put64(logBlock, 10, again.U64());
            for (size_t i = 0; i < 6; ++i) {
                wire::Put16(logBlock, 18 + 2 * i, p.U16());
            }
            for (size_t i = 0; i < 3; ++i) {
                logBlock[30 + i] = p.U8();
            }
            return;
        }
        case LogDrc:
            if (!p.Has(96, 1)) {
                return;
            }
            p.Seek(96);
            rf.DrcIndex = static_cast<uint8_t>(p.U8() >> 4);
            ++rf.RfUpdateCount;
            return;
        case LogRfLevels: {
            if (!p.Has(22, 2)) {
                return;
            }
            rf.RfLevel4 = Level(p, 22);
            p.Seek(13);
            if ((p.U8() & 0x20) != 0) {
                rf.RfLevel1 = Level(p, 16);
                rf.RfLevel2 = Level(p, 18);
                rf.RfLevel3 = Level(p, 20);
            } else {
                rf.RfLevel1 = rf.RfLevel2 = rf.RfLevel3 = kNoLevel;
            }
            ++rf.RfUpdateCount;
            return;
        }
        case LogPilotSets:
            DecodePilotSets(payload, payloadSize, rf);
            return;
        default:
            return;
    }
}

void ParseExtVersionReply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize) {
    std::memset(block, 0, blockSize);
    if (blockSize == 0) {
        return;  // no room even for the terminator
    }
    LeReader r(packet, n);
    const wire::MutableBytes out(block, blockSize);
    size_t at = 0;
    for (int i = 0; i < 4 && at < blockSize; ++i) {
        block[at++] = r.U8();
    }
    for (int i = 0; i < 2 && wire::Fits(blockSize, at, 4); ++i, at += 4) {
        wire::Put32(out, at, r.U32());
    }
    constexpr size_t kTextMax = 49;
    for (size_t i = 0; i < kTextMax && r.remaining() > 0 && at < blockSize - 1; ++i) {
        const uint8_t c = r.U8();
        block[at++] = c;
        if (c == 0) {
            break;
        }
    }
    block[std::min(at, blockSize - 1)] = 0;
}

void ParsePrlReadReply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize) {
    std::memset(block, 0, blockSize);
    if (blockSize < 8) {
        return;
    }
    LeReader r(packet, n);
    const wire::MutableBytes out(block, blockSize);
    block[0] = r.U8();
    block[1] = r.U8();
    wire::Put16(out, 2, r.U16());
    block[4] = r.U8();
    block[5] = r.U8();
    const uint16_t bits = r.U16();
    wire::Put16(out, 6, bits);
    constexpr size_t kMaxData = 120;
    for (size_t i = 0; i < kMaxData && 8 * i < bits && r.remaining() > 0 && 8 + i < blockSize; ++i) {
        block[8 + i] = r.U8();
    }
}

void ParsePrlBlockReply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize) {
    std::memset(block, 0, blockSize);
    if (blockSize < 4) {
        return;
    }
    LeReader r(packet, n);
    block[0] = r.U8();
    block[1] = r.U8();
    wire::Put16(wire::MutableBytes(block, blockSize), 2, r.U16());
}

void ParseBlock34Reply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize) {
    std::memset(block, 0, blockSize);
    std::memcpy(block, packet, std::min(n, blockSize));
    // These words are kept most significant byte first.
    for (size_t at : {51u, 101u, 105u}) {
        if (at + 1 < blockSize) {
            std::swap(block[at], block[at + 1]);
        }
    }
}

namespace {

bool InRanges(uint16_t item) {
    static constexpr std::pair<uint16_t, uint16_t> kRanges[] = {
        {0, 61},    {66, 91},   {94, 102},  {104, 108}, {110, 126}, {141, 141}, {155, 159},
        {161, 174}, {176, 179}, {184, 189}, {191, 192}, {194, 198}, {206, 215}, {217, 237},
        {240, 252}, {255, 284}, {286, 286}, {290, 292}, {296, 296}, {325, 333}, {459, 459},
        {464, 464}, {562, 562}, {579, 580}, {855, 855}, {906, 906}, {910, 910}, {3050, 3086},
    };
    for (const auto& [lo, hi] : kRanges) {
        if (item >= lo && item <= hi) {
            return true;
        }
    }
    return false;
}

// Field widths of an item's wire layout in order: '1', '2', '4', '8', and 'W' for a 16-bit field widened to
// 32 bits when unpacked. Empty: the unpacked layout is the wire layout over the whole data area.
std::string Layout(uint16_t item) {
    auto rep = [](const std::string& s, int times) {
        std::string out;
        for (int i = 0; i < times; ++i) {
            out += s;
        }
        return out;
    };
    switch (item) {
        case 0:
            return "4";
        case 5:
        case 290:
        case 296:
        case 562:
            return "1";
        case 10:
            return "1W";
        case 20:
        case 21:
        case 33:
            return "122";
        case 25:
            return "18";
        case 32:
            return "144";
        case 34:
        case 35:
        case 36:
            return "111";
        case 38:
            return "12222";
        case 82:
            return "1111";
        case 85:
            return "111111";
        case 176:
            return "12";
        case 177:
        case 256:
        case 266:
            return "11";
        case 178:
            return rep("1", 11);
        case 231:
            return std::string("1").append(rep("11W", 12));
        case 255:
            return std::string("1").append(rep("2", 20));
        case 259:
            return std::string("1").append(rep("2", 40));
        case 579:
            return rep("1", 65);
        case 580:
            return rep("1", 15);
        default:
            if (item >= 3050 && item <= 3086) {
                return rep("1", 15);
            }
            return {};
    }
}

}  // namespace

bool HasNvDecoder(uint16_t item) {
    return InRanges(item);
}

bool NvItemUnpack(const uint8_t* packet, size_t n, uint8_t* area, size_t areaSize) {
    LeReader head(packet, n, 1);
    const uint16_t item = head.U16();
    if (!head.ok() || !HasNvDecoder(item)) {
        return false;
    }
    constexpr size_t kDataStart = 3;
    constexpr size_t kDataSize = 128;
    const size_t dataEnd = std::min(n, kDataStart + kDataSize);
    LeReader r(packet, dataEnd, kDataStart);
    const std::string layout = Layout(item);
    if (layout.empty()) {
        const size_t copy = std::min({dataEnd > kDataStart ? dataEnd - kDataStart : 0, areaSize, kDataSize});
        std::memcpy(area, packet + kDataStart, copy);
        return true;
    }
    const wire::MutableBytes out(area, areaSize);
    size_t at = 0;
    for (char f : layout) {
        const size_t width = f == '1' ? 1 : f == '2' ? 2 : f == '4' || f == 'W' ? 4 : 8;
        if (!wire::Fits(areaSize, at, width)) {
            break;
        }
        switch (f) {
            case '1':
                area[at] = r.U8();
                break;
            case '2':
                wire::Put16(out, at, r.U16());
                break;
            case 'W':
                wire::Put32(out, at, r.U16());
                break;
            case '4':
                wire::Put32(out, at, r.U32());
                break;
            default:
                wire::Put64(out, at, r.U64());
                break;
        }
        at += width;
    }
    return true;
}

void FormatTimeStampText(uint64_t seconds, char* out18) {
    static constexpr uint32_t kCycle[] = {0, 366, 731, 1096, 1461};
    static constexpr uint32_t kLeapMonths[] = {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366};
    static constexpr uint32_t kCommonMonths[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    uint64_t t = seconds + 432000;  // from 6 January to 1 January 1980
    const uint64_t sec = t % 60;
    t /= 60;
    const uint64_t min = t % 60;
    t /= 60;
    const uint64_t hour = t % 24;
    uint64_t days = t / 24;
    uint64_t year = 1980 + 4 * (days / 1461);
    days %= 1461;
    int y = 0;
    while (y < 3 && days >= kCycle[y + 1]) {
        ++y;
    }
    year += static_cast<uint64_t>(y);
    days -= kCycle[y];
    const uint32_t* months = y == 0 ? kLeapMonths : kCommonMonths;
    int m = 0;
    while (m < 11 && days >= months[m + 1]) {
        ++m;
    }
    const uint64_t day = days - months[m] + 1;
    std::snprintf(out18, 18, "%02u/%02u/%02u %02u:%02u:%02u", static_cast<unsigned>(year % 100),
                  static_cast<unsigned>(m + 1), static_cast<unsigned>(day % 100), static_cast<unsigned>(hour),
                  static_cast<unsigned>(min), static_cast<unsigned>(sec));
}

}  // namespace velmo::protocol
