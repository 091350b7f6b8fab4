#include "library/protocol/Decoders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "library/protocol/CommandTable.h"
#include "library/protocol/Engine.h"
#include "library/transport/MemoryTransport.h"
#include "support/FrameStream.h"
#include "wire/LeCursor.h"

namespace velmo::protocol {
namespace {

using testsupport::Bytes;

// A copy of the bytes in a heap block of exactly their size, so that ASan reports any read past the end.
class Exact {
  public:
    explicit Exact(const Bytes& bytes) : n_(bytes.size()), data_(new uint8_t[bytes.size() == 0 ? 1 : n_]) {
        std::copy(bytes.begin(), bytes.end(), data_.get());
    }
    uint8_t* data() { return data_.get(); }
    size_t size() const { return n_; }
    Bytes bytes() const { return Bytes(data_.get(), data_.get() + n_); }

  private:
    size_t n_;
    std::unique_ptr<uint8_t[]> data_;
};

// A log packet: code 0x10, a second byte, the length word, then the record: length, code, time stamp and the
// payload.
Bytes LogPacket(uint16_t recordCode, const Bytes& payload, uint16_t recordLength = 0x0123,
                uint64_t stamp = 0x8877665544332211ull) {
    Bytes p(16);
    p[0] = LogRequest;
    p[1] = 0x01;
    wire::Put16(p, 2, static_cast<uint16_t>(12 + payload.size()));
    wire::Put16(p, 4, recordLength);
    wire::Put16(p, 6, recordCode);
    wire::Put64(p, 8, stamp);
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

// 0x1069 payload: flag byte 13 and the level words at 16, 18, 20, 22.
Bytes LevelsPayload(uint8_t flags, uint16_t l1, uint16_t l2, uint16_t l3, uint16_t l4) {
    Bytes p(24, 0x33);
    p[13] = flags;
    wire::Put16(p, 16, l1);
    wire::Put16(p, 18, l2);
    wire::Put16(p, 20, l3);
    wire::Put16(p, 22, l4);
    return p;
}

struct PilotEntry {
    uint16_t pn;
    uint16_t strength;
};

// 0x108B payload: set sizes at 1, 6 and 8, the channel word at 3, entries of 10 bytes from 11.
Bytes PilotPayload(uint8_t active, uint8_t candidates, uint8_t neighbours, uint16_t channel,
                   const std::vector<PilotEntry>& entries) {
    Bytes p(11, 0x5A);
    p[1] = active;
    wire::Put16(p, 3, channel);
    p[6] = candidates;
    p[8] = neighbours;
    for (const PilotEntry& e : entries) {
        Bytes entry(10, 0xC3);
        wire::Put16(entry, 0, e.pn);
        wire::Put16(entry, 2, e.strength);
        p.insert(p.end(), entry.begin(), entry.end());
    }
    return p;
}

std::vector<PilotEntry> Entries(size_t n) {
    std::vector<PilotEntry> out;
    for (size_t i = 0; i < n; ++i) {
        out.push_back({static_cast<uint16_t>(0x100 + i), static_cast<uint16_t>(0x200 + i)});
    }
    return out;
}

struct Decoded {
    Decoded() { log.fill(0xEE); }
    void Decode(const Bytes& packet) {
        Exact exact(packet);
        DecodeLogPacket(exact.data(), exact.size(), log, rf);
    }
    std::array<uint8_t, kLogBlockSize> log{};
    RfSnapshot rf;
};

void ExpectSameRf(const RfSnapshot& a, const RfSnapshot& b) {
    EXPECT_EQ(a.DrcIndex, b.DrcIndex);
    EXPECT_EQ(a.RfUpdateCount, b.RfUpdateCount);
    EXPECT_EQ(a.RfLevel1, b.RfLevel1);
    EXPECT_EQ(a.RfLevel2, b.RfLevel2);
    EXPECT_EQ(a.RfLevel3, b.RfLevel3);
    EXPECT_EQ(a.RfLevel4, b.RfLevel4);
    EXPECT_EQ(a.PilotSetA, b.PilotSetA);
    EXPECT_EQ(a.PilotSetB, b.PilotSetB);
    EXPECT_EQ(a.PilotSetC, b.PilotSetC);
    EXPECT_EQ(a.PilotChannel, b.PilotChannel);
}

// --- Log packets: levels and DRC
// ----------------------------------------------------------------------------

TEST(LogLevels, WordsAreDividedBy256TowardZero) {
    Decoded d;
    d.Decode(LogPacket(LogRfLevels, LevelsPayload(0x20, 0xFF9C, 0x0100, 0xFEFF, 0xB500)));
    EXPECT_EQ(d.rf.RfLevel1, 0);   // -100 / 256
    EXPECT_EQ(d.rf.RfLevel2, 1);   // 256 / 256
    EXPECT_EQ(d.rf.RfLevel3, -1);  // -257 / 256
    EXPECT_EQ(d.rf.RfLevel4, -75);
    EXPECT_EQ(d.rf.RfUpdateCount, 1u);

    d.Decode(LogPacket(LogRfLevels, LevelsPayload(0xFF, 0x8000, 0x7FFF, 0xFF00, 0x00FF)));
    EXPECT_EQ(d.rf.RfLevel1, -128);
    EXPECT_EQ(d.rf.RfLevel2, 127);
    EXPECT_EQ(d.rf.RfLevel3, -1);
    EXPECT_EQ(d.rf.RfLevel4, 0);
    EXPECT_EQ(d.rf.RfUpdateCount, 2u);
}

TEST(LogLevels, WithoutFlag20TheFirstThreeAreNoLevelAndLevel4StillCounts) {
    Decoded d;
    d.Decode(LogPacket(LogRfLevels, LevelsPayload(0x20, 0xB500, 0xB500, 0xB500, 0xB500)));
    ASSERT_EQ(d.rf.RfLevel1, -75);
    // Every other bit set: only 0x20 matters.
    d.Decode(LogPacket(LogRfLevels, LevelsPayload(0xDF, 0xB500, 0xB500, 0xB500, 0xC400)));
    EXPECT_EQ(d.rf.RfLevel1, kNoLevel);
    EXPECT_EQ(d.rf.RfLevel2, kNoLevel);
    EXPECT_EQ(d.rf.RfLevel3, kNoLevel);
    EXPECT_EQ(d.rf.RfLevel4, -60);
    EXPECT_EQ(d.rf.RfUpdateCount, 2u);
}

TEST(LogDrc, UpperNibbleOfPayloadByte96CountsAsAnUpdate) {
    Decoded d;
    Bytes payload(97, 0x0F);
    payload[96] = 0xA7;
    d.Decode(LogPacket(LogDrc, payload));
    EXPECT_EQ(d.rf.DrcIndex, 0x0A);
    EXPECT_EQ(d.rf.RfUpdateCount, 1u);
    EXPECT_EQ(d.rf.RfLevel4, kNoLevel);
    payload[96] = 0x0F;
    d.Decode(LogPacket(LogDrc, payload));
    EXPECT_EQ(d.rf.DrcIndex, 0);
    EXPECT_EQ(d.rf.RfUpdateCount, 2u);
}

// --- Log packets: header and short records
// ------------------------------------------------------------------

TEST(LogHeader, LengthWordZeroChangesOnlyTheFirstFourBytes) {
    Decoded d;
    const RfSnapshot before = d.rf;
    // A whole level record follows the zero length word; it must not be looked at.
    Bytes packet = LogPacket(LogRfLevels, LevelsPayload(0x20, 0xB500, 0xB500, 0xB500, 0xB500));
    packet[1] = 0x07;
    wire::Put16(packet, 2, 0);
    d.Decode(packet);
    EXPECT_EQ(Bytes(d.log.begin(), d.log.begin() + 4), (Bytes{0x10, 0x07, 0x00, 0x00}));
    EXPECT_EQ(Bytes(d.log.begin() + 4, d.log.end()), Bytes(kLogBlockSize - 4, 0xEE));
    ExpectSameRf(d.rf, before);
}

TEST(LogHeader, HeaderTestRecordFillsItsFields) {
    Decoded d;
    Bytes payload = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                     0x09, 0x0A, 0x0B, 0x0C, 0xA1, 0xA2, 0xA3};
    payload.push_back(0x99);  // beyond what the record reads
    d.Decode(LogPacket(LogHeaderTest, payload, 0xBEEF, 0x0102030405060708ull));
    const Bytes want = {0x10, 0x01, 0x1C, 0x00,                          // code, second byte, length 28
                        0xEF, 0xBE,                                      // record length
                        0x0A, 0x10, 0x00, 0x00,                          // code, widened
                        0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,  // time stamp
                        0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                        0x09, 0x0A, 0x0B, 0x0C, 0xA1, 0xA2, 0xA3};
    EXPECT_EQ(Bytes(d.log.begin(), d.log.begin() + want.size()), want);
    EXPECT_EQ(Bytes(d.log.begin() + want.size(), d.log.end()), Bytes(kLogBlockSize - want.size(), 0xEE));
    EXPECT_EQ(d.rf.RfUpdateCount, 0u);
}

TEST(LogHeader, OtherRecordCodesFillOnlyTheHeader) {
    for (uint16_t code : {0x1000, 0x1019, 0x1067, 0x106A, 0x108A, 0xFFFF}) {
        SCOPED_TRACE(code);
        Decoded d;
        const RfSnapshot before = d.rf;
        d.Decode(LogPacket(code, Bytes(120, 0x20)));
        EXPECT_EQ(wire::Get16(d.log, 6), code);
        EXPECT_EQ(Bytes(d.log.begin() + 18, d.log.end()), Bytes(kLogBlockSize - 18, 0xEE));
        ExpectSameRf(d.rf, before);
    }
}

TEST(LogRecords, ShorterThanTheOffsetsTheirCodeReadsAreIgnoredWhole) {
    struct Case {
        uint16_t code;
        size_t needs;  // payload bytes the record's code reads
    };
    for (const Case c :
         {Case{LogDrc, 97}, Case{LogRfLevels, 24}, Case{LogPilotSets, 9}, Case{LogHeaderTest, 15}}) {
        SCOPED_TRACE(c.code);
        Decoded d;
        // A first full record so that "unchanged" is not just the defaults.
        Bytes full(120, 0x00);
        full[13] = 0x20;
        full[96] = 0x50;
        full[1] = 1;
        d.Decode(LogPacket(c.code, full));
        const RfSnapshot before = d.rf;
        const auto logBefore = d.log;
        for (size_t size = 0; size < c.needs; ++size) {
            Bytes payload(size, 0x7F);
            d.Decode(LogPacket(c.code, payload));
            ExpectSameRf(d.rf, before);
            EXPECT_EQ(Bytes(d.log.begin() + 18, d.log.end()), Bytes(logBefore.begin() + 18, logBefore.end()));
        }
    }
}

TEST(LogRecords, TruncatedHeadersWriteNothingBeyondWhatArrived) {
    const Bytes full = LogPacket(LogRfLevels, LevelsPayload(0x20, 0xB500, 0xB500, 0xB500, 0xB500));
    for (size_t n = 0; n < 16; ++n) {
        SCOPED_TRACE(n);
        Decoded d;
        const RfSnapshot before = d.rf;
        d.Decode(Bytes(full.begin(), full.begin() + static_cast<long>(n)));
        ExpectSameRf(d.rf, before);
        const size_t written = n < 4 ? 0 : 4;
        EXPECT_EQ(Bytes(d.log.begin(), d.log.begin() + written), Bytes(full.begin(), full.begin() + written));
        EXPECT_EQ(Bytes(d.log.begin() + written, d.log.end()), Bytes(kLogBlockSize - written, 0xEE));
    }
}

// --- Pilot sets
// ---------------------------------------------------------------------------------------------

TEST(PilotSets, EntriesTerminatorsAndChannel) {
    Decoded d;
    d.Decode(LogPacket(LogPilotSets, PilotPayload(6, 0, 0, 0, Entries(6))));
    // Two active, one candidate, three neighbours: the neighbours start after the candidate.
    d.Decode(LogPacket(LogPilotSets, PilotPayload(2, 1, 3, 0xF123, Entries(6))));
    EXPECT_EQ(d.rf.PilotSetA[0], 0x100);
    EXPECT_EQ(d.rf.PilotSetA[1], 0x101);
    EXPECT_EQ(d.rf.PilotSetA[2], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetB[0], 0x200);
    EXPECT_EQ(d.rf.PilotSetB[1], 0x201);
    EXPECT_EQ(d.rf.PilotSetB[2], 0xFFFF);
    // Past the terminator the earlier record's entries stay.
    EXPECT_EQ(d.rf.PilotSetA[3], 0x103);
    EXPECT_EQ(d.rf.PilotSetB[5], 0x205);
    EXPECT_EQ(d.rf.PilotSetC[0], 0x103);
    EXPECT_EQ(d.rf.PilotSetC[1], 0x104);
    EXPECT_EQ(d.rf.PilotSetC[2], 0x105);
    EXPECT_EQ(d.rf.PilotSetC[3], 0xFFFF);
    EXPECT_EQ(d.rf.PilotChannel, 0x123);
    EXPECT_EQ(d.rf.RfUpdateCount, 0u);  // pilot sets are not level updates
}

TEST(PilotSets, EmptyActiveSetTerminatesAtZero) {
    Decoded d;
    d.Decode(LogPacket(LogPilotSets, PilotPayload(3, 0, 0, 7, Entries(3))));
    d.Decode(LogPacket(LogPilotSets, PilotPayload(0, 2, 1, 0x07FF, Entries(3))));
    EXPECT_EQ(d.rf.PilotSetA[0], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetB[0], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetC[0], 0x102);
    EXPECT_EQ(d.rf.PilotSetC[1], 0xFFFF);
    EXPECT_EQ(d.rf.PilotChannel, 0x7FF);
}

TEST(PilotSets, OversizeSetsAreClampedAndTerminated) {
    Decoded d;
    // Nine active (room for six), fifty neighbours (room for forty), all of them received.
    d.Decode(LogPacket(LogPilotSets, PilotPayload(9, 0, 50, 1, Entries(59))));
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(d.rf.PilotSetA[i], 0x100 + i);
        EXPECT_EQ(d.rf.PilotSetB[i], 0x200 + i);
    }
    EXPECT_EQ(d.rf.PilotSetA[6], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetB[6], 0xFFFF);
    for (size_t i = 0; i < 40; ++i) {
        EXPECT_EQ(d.rf.PilotSetC[i], 0x100 + 9 + i) << i;  // the neighbours still start after all nine
    }
    EXPECT_EQ(d.rf.PilotSetC[40], 0xFFFF);

    // 255 of each and no room in the packet: nothing but terminators.
    d.Decode(LogPacket(LogPilotSets, PilotPayload(255, 255, 255, 1, {})));
    EXPECT_EQ(d.rf.PilotSetA[0], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetB[0], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetC[0], 0xFFFF);
}

TEST(PilotSets, CountsAreClampedToTheEntriesReceived) {
    Decoded d;
    // Five active and forty neighbours announced, eight entries received, the ninth cut in half.
    Bytes payload = PilotPayload(5, 0, 40, 2, Entries(8));
    payload.insert(payload.end(), {0x99, 0x99, 0x98, 0x98, 0x97});
    d.Decode(LogPacket(LogPilotSets, payload));
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(d.rf.PilotSetA[i], 0x100 + i);
    }
    EXPECT_EQ(d.rf.PilotSetA[5], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetC[0], 0x105);
    EXPECT_EQ(d.rf.PilotSetC[1], 0x106);
    EXPECT_EQ(d.rf.PilotSetC[2], 0x107);
    EXPECT_EQ(d.rf.PilotSetC[3], 0xFFFF);

    // Fewer entries than the active set.
    d.Decode(LogPacket(LogPilotSets, PilotPayload(5, 0, 0, 2, Entries(3))));
    EXPECT_EQ(d.rf.PilotSetA[2], 0x102);
    EXPECT_EQ(d.rf.PilotSetA[3], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetB[3], 0xFFFF);

    // Sizes and channel only: the sets end at once, the channel is taken.
    d.Decode(LogPacket(LogPilotSets, Bytes{0x00, 0x04, 0x00, 0x55, 0x01, 0x00, 0x00, 0x00, 0x04}));
    EXPECT_EQ(d.rf.PilotSetA[0], 0xFFFF);
    EXPECT_EQ(d.rf.PilotSetC[0], 0xFFFF);
    EXPECT_EQ(d.rf.PilotChannel, 0x155);
}

// --- Parsed replies
// -----------------------------------------------------------------------------------------

// Runs a parser into an exact-size block prefilled with junk and returns the block.
template <class Parser>
Bytes Parse(Parser parse, const Bytes& packet, size_t blockSize) {
    Exact in(packet);
    Exact block(Bytes(blockSize, 0xCD));
    parse(in.data(), in.size(), block.data(), block.size());
    return block.bytes();
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(ParsedReplies, ExtendedVersionTextStopsAfterItsZero) {
    Bytes packet = {0x7C, 0x01, 0x02, 0x03, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    const Bytes head = packet;
    packet.insert(packet.end(), {'A', 'B', 'C', 0x00, 'X', 'Y', 'Z'});
    const Bytes block = Parse(ParseExtVersionReply, packet, kExtVersionReplySize);
    Bytes want = head;
    want.insert(want.end(), {'A', 'B', 'C', 0x00});
    want.resize(kExtVersionReplySize, 0);
    EXPECT_EQ(block, want);
}

TEST(ParsedReplies, ExtendedVersionTextOf49CharactersIsTerminated) {
    Bytes full = testsupport::Packet({0x7C}, 12);
    const Bytes text = Text(std::string(60, 'r'));
    full.insert(full.end(), text.begin(), text.end());
    const Bytes block = Parse(ParseExtVersionReply, full, kExtVersionReplySize);
    EXPECT_EQ(Bytes(block.begin() + 12, block.begin() + 61), Bytes(49, 'r'));
    EXPECT_EQ(block[61], 0);

    // Exactly 49 characters and the packet ends.
    full.resize(12 + 49);
    EXPECT_EQ(Parse(ParseExtVersionReply, full, kExtVersionReplySize), block);

    // The packet ends inside the text, or inside the numbers.
    full.resize(12 + 5);
    Bytes want(kExtVersionReplySize, 0);
    want[0] = 0x7C;
    std::fill(want.begin() + 12, want.begin() + 17, 'r');
    EXPECT_EQ(Parse(ParseExtVersionReply, full, kExtVersionReplySize), want);
    EXPECT_EQ(Parse(ParseExtVersionReply, Bytes{0x7C, 0x01, 0x02, 0x03, 0x11, 0x22}, kExtVersionReplySize),
              testsupport::Packet({0x7C, 0x01, 0x02, 0x03}, kExtVersionReplySize));
}

TEST(ParsedReplies, PrlReadCopiesDataBoundedByTheBitCount) {
    auto reply = [](uint16_t bits, size_t dataBytes) {
        Bytes p = {0x49, 0x01, 0x34, 0x12, 0x05, 0x06};
        wire::LeAppender(p).U16(bits);
        for (size_t i = 0; i < dataBytes; ++i) {
            p.push_back(static_cast<uint8_t>(0x80 + i));
        }
        return p;
    };
    struct Case {
        uint16_t bits;
        size_t received;
        size_t kept;
    };
    for (const Case c : {Case{0, 130, 0}, Case{1, 130, 1}, Case{8, 130, 1}, Case{9, 130, 2}, Case{20, 130, 3},
                         Case{960, 130, 120}, Case{0xFFFF, 130, 120}, Case{960, 10, 10}}) {
        SCOPED_TRACE(c.bits);
        const Bytes packet = reply(c.bits, c.received);
        const Bytes block = Parse(ParsePrlReadReply, packet, kPrlReadReplySize);
        Bytes want(packet.begin(), packet.begin() + 8 + static_cast<long>(c.kept));
        want.resize(kPrlReadReplySize, 0);
        EXPECT_EQ(block, want);
    }
    // Header cut short inside the word: a field that did not arrive whole reads as zero.
    EXPECT_EQ(Parse(ParsePrlReadReply, Bytes{0x49, 0x01, 0x34}, kPrlReadReplySize),
              testsupport::Packet({0x49, 0x01}, kPrlReadReplySize));
}

TEST(ParsedReplies, PrlBlockKeepsFourBytes) {
    EXPECT_EQ(Parse(ParsePrlBlockReply, Bytes{0x48, 0x01, 0x02, 0x03, 0x04, 0x05}, kPrlBlockReplySize),
              (Bytes{0x48, 0x01, 0x02, 0x03}));
    EXPECT_EQ(Parse(ParsePrlBlockReply, Bytes{0x48}, kPrlBlockReplySize), (Bytes{0x48, 0x00, 0x00, 0x00}));
}

TEST(ParsedReplies, Block34WordsAreStoredMostSignificantByteFirst) {
    Bytes packet(kBlock34ReplySize + 3);
    for (size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<uint8_t>(i);
    }
    const Bytes block = Parse(ParseBlock34Reply, packet, kBlock34ReplySize);
    Bytes want(packet.begin(), packet.begin() + kBlock34ReplySize);
    for (size_t at : {51, 101, 105}) {
        std::swap(want[at], want[at + 1]);
    }
    EXPECT_EQ(block, want);
    EXPECT_EQ(block[51], 52);
    EXPECT_EQ(block[52], 51);
    EXPECT_EQ(block[106], 105);

    // A short reply: zeros after what came, swapped like the rest.
    const Bytes shortPacket(packet.begin(), packet.begin() + 52);
    Bytes shortWant = shortPacket;
    shortWant.resize(kBlock34ReplySize, 0);
    std::swap(shortWant[51], shortWant[52]);
    EXPECT_EQ(Parse(ParseBlock34Reply, shortPacket, kBlock34ReplySize), shortWant);
}

// --- NV item unpacking
// --------------------------------------------------------------------------------------

Bytes NvReply(uint16_t item, const Bytes& data, uint8_t code = NvReadRequest) {
    Bytes p(kNvBlockSize, 0);
    p[0] = code;
    wire::Put16(p, 1, item);
    std::copy(data.begin(), data.begin() + static_cast<long>(std::min<size_t>(data.size(), 128)),
              p.begin() + 3);
    return p;
}

Bytes Counting(size_t n, uint8_t first = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(first + i);
    }
    return out;
}

// Unpacks into an exact 128-byte area holding `area` beforehand; returns the decoder's answer.
bool Unpack(const Bytes& packet, Bytes& area) {
    Exact in(packet);
    Exact out(area);
    const bool decoded = NvItemUnpack(in.data(), in.size(), out.data(), out.size());
    area = out.bytes();
    return decoded;
}

TEST(NvUnpack, ItemsWithTheWireLayoutWriteExactlyTheirSize) {
    struct Case {
        uint16_t item;
        size_t size;
    };
    std::vector<Case> cases = {{0, 4},    {5, 1},    {290, 1},  {296, 1}, {562, 1}, {20, 5},  {21, 5},
                               {33, 5},   {25, 9},   {32, 9},   {34, 3},  {35, 3},  {36, 3},  {38, 9},
                               {82, 4},   {85, 6},   {176, 3},  {177, 2}, {256, 2}, {266, 2}, {178, 11},
                               {255, 41}, {259, 81}, {579, 65}, {580, 15}};
    for (uint16_t item = 3050; item <= 3086; ++item) {
        cases.push_back({item, 15});
    }
    const Bytes data = Counting(128, 0x10);
    for (const Case c : cases) {
        SCOPED_TRACE(c.item);
        Bytes area(128, 0xEE);
        ASSERT_TRUE(Unpack(NvReply(c.item, data), area));
        EXPECT_EQ(Bytes(area.begin(), area.begin() + static_cast<long>(c.size)),
                  Bytes(data.begin(), data.begin() + static_cast<long>(c.size)));
        EXPECT_EQ(Bytes(area.begin() + static_cast<long>(c.size), area.end()), Bytes(128 - c.size, 0xEE));
    }
}

TEST(NvUnpack, Items10And231WidenTheir16BitFields) {
    Bytes area(128, 0xEE);
    ASSERT_TRUE(Unpack(NvReply(10, Bytes{0x01, 0x34, 0x92, 0x77, 0x77}), area));
    EXPECT_EQ(Bytes(area.begin(), area.begin() + 6), (Bytes{0x01, 0x34, 0x92, 0x00, 0x00, 0xEE}));

    // Item 231: a byte, then twelve entries of (byte, byte, 16-bit) that unpack to (byte, byte, 32-bit).
    Bytes wire = {0x42};
    Bytes want = {0x42};
    for (uint8_t e = 0; e < 12; ++e) {
        const uint8_t a = static_cast<uint8_t>(0x10 + e);
        const uint8_t b = static_cast<uint8_t>(0x20 + e);
        const uint8_t lo = static_cast<uint8_t>(0x30 + e);
        const uint8_t hi = static_cast<uint8_t>(0xF0 + e);
        wire.insert(wire.end(), {a, b, lo, hi});
        want.insert(want.end(), {a, b, lo, hi, 0x00, 0x00});
    }
    wire.resize(128, 0x99);
    area.assign(128, 0xEE);
    ASSERT_TRUE(Unpack(NvReply(231, wire), area));
    ASSERT_EQ(want.size(), 73u);
    EXPECT_EQ(Bytes(area.begin(), area.begin() + 73), want);
    EXPECT_EQ(Bytes(area.begin() + 73, area.end()), Bytes(128 - 73, 0xEE));
}

TEST(NvUnpack, DecodersWithoutAListedLayoutCopyTheWholeDataArea) {
    for (uint16_t item : {1, 61, 66, 91, 141, 237, 284, 333, 459, 464, 855, 906, 910}) {
        SCOPED_TRACE(item);
        Bytes area(128, 0xEE);
        const Bytes data = Counting(128, static_cast<uint8_t>(item));
        ASSERT_TRUE(Unpack(NvReply(item, data), area));
        EXPECT_EQ(area, data);
    }
}

TEST(NvUnpack, ItemsWithoutADecoderLeaveTheAreaUntouched) {
    for (uint16_t item : {62,  65,  92,  93,  103, 109, 127, 140, 142, 160,  175,  190,    193,
                          216, 238, 254, 285, 287, 293, 297, 334, 581, 3049, 3087, 0x7FFF, 0xFFFF}) {
        SCOPED_TRACE(item);
        EXPECT_FALSE(HasNvDecoder(item));
        Bytes area(128, 0xEE);
        EXPECT_FALSE(Unpack(NvReply(item, Counting(128)), area));
        EXPECT_EQ(area, Bytes(128, 0xEE));
    }
    // Too short to name an item.
    Bytes area(128, 0xEE);
    EXPECT_FALSE(Unpack(Bytes{NvReadRequest, 0x05}, area));
    EXPECT_EQ(area, Bytes(128, 0xEE));
}

TEST(NvUnpack, TheAreaIsNeverClearedBetweenDecodes) {
    Bytes area(128, 0x00);
    const Bytes first = Counting(128, 0x40);
    ASSERT_TRUE(Unpack(NvReply(259, first), area));
    ASSERT_TRUE(Unpack(NvReply(5, Bytes{0xAB}), area));
    Bytes want = first;
    std::fill(want.begin() + 81, want.end(), 0x00);  // item 259 writes 81 bytes
    want[0] = 0xAB;
    EXPECT_EQ(area, want);
}

TEST(NvUnpack, WriteRepliesNeverReachTheReadArea) {
    platform::FakeClock clock;
    Engine engine(clock);
    transport::MemoryTransport link(engine);
    engine.SetTransport(&link);
    link.Deliver(testsupport::Framed(NvReply(20, Counting(128, 0x01))));
    link.Deliver(testsupport::Framed(NvReply(20, Counting(128, 0x80), NvWriteRequest)));
    Bytes area(128);
    engine.CopyNvItemArea(area.data(), area.size());
    EXPECT_EQ(Bytes(area.begin(), area.begin() + 5), Counting(5, 0x01));
}

// --- Time stamp text
// ----------------------------------------------------------------------------------------

// Days from 1 January 1970 of a Gregorian date (the proleptic calendar's usual formula).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Civil {
    int64_t y;
    unsigned m, d;
};

Civil CivilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

uint64_t SecondsSinceEpoch1980(int y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0,
                               unsigned s = 0) {
    const int64_t days = DaysFromCivil(y, mo, d) - DaysFromCivil(1980, 1, 6);
    return static_cast<uint64_t>(days * 86400 + h * 3600 + mi * 60 + s);
}

std::string Format(uint64_t seconds) {
    Exact out(Bytes(kTimeStampTextSize, 0xCD));
    FormatTimeStampText(seconds, reinterpret_cast<char*>(out.data()));
    EXPECT_EQ(out.data()[17], 0);
    return std::string(reinterpret_cast<const char*>(out.data()));
}

TEST(TimeStampText, KnownDates) {
    EXPECT_EQ(Format(0), "80/01/06 00:00:00");
    struct Case {
        int y;
        unsigned mo, d, h, mi, s;
        const char* text;
    };
    for (const Case c : {
             Case{1980, 1, 6, 23, 59, 59, "80/01/06 23:59:59"},
             Case{1980, 2, 29, 12, 0, 0, "80/02/29 12:00:00"},
             Case{1980, 3, 1, 0, 0, 0, "80/03/01 00:00:00"},
             Case{1980, 12, 31, 0, 0, 0, "80/12/31 00:00:00"},  // day 366 of a leap year
             Case{1981, 1, 1, 0, 0, 0, "81/01/01 00:00:00"},
             Case{1981, 2, 28, 23, 59, 59, "81/02/28 23:59:59"},
             Case{1981, 3, 1, 0, 0, 0, "81/03/01 00:00:00"},
             Case{1983, 12, 31, 23, 59, 59, "83/12/31 23:59:59"},
             Case{1984, 2, 29, 0, 0, 0, "84/02/29 00:00:00"},
             Case{1984, 3, 1, 0, 0, 0, "84/03/01 00:00:00"},
             Case{1984, 12, 31, 7, 8, 9, "84/12/31 07:08:09"},
             Case{1999, 12, 31, 23, 59, 59, "99/12/31 23:59:59"},
             Case{2000, 1, 1, 0, 0, 0, "00/01/01 00:00:00"},
             Case{2000, 2, 29, 10, 20, 30, "00/02/29 10:20:30"},
             Case{2000, 3, 1, 0, 0, 0, "00/03/01 00:00:00"},
             Case{2000, 12, 31, 0, 0, 0, "00/12/31 00:00:00"},
             Case{2038, 1, 19, 3, 14, 8, "38/01/19 03:14:08"},
         }) {
        EXPECT_EQ(Format(SecondsSinceEpoch1980(c.y, c.mo, c.d, c.h, c.mi, c.s)), c.text);
    }
}

TEST(TimeStampText, EveryDayThrough2099) {
    // The four-year cycle agrees with the calendar until 2100, which it counts as a leap year.
    char want[32];
    for (int64_t day = DaysFromCivil(1980, 1, 6); day <= DaysFromCivil(2099, 12, 31); ++day) {
        const Civil c = CivilFromDays(day);
        std::snprintf(want, sizeof want, "%02d/%02u/%02u 23:59:59", static_cast<int>(c.y % 100), c.m, c.d);
        ASSERT_EQ(Format(SecondsSinceEpoch1980(static_cast<int>(c.y), c.m, c.d, 23, 59, 59)), want);
    }
}

TEST(TimeStampText, LargeValuesDoNotOverflow) {
    // 2^32 - 1 seconds lies past 2100, which the cycle counts as a leap year: one day behind the calendar.
    EXPECT_EQ(Format(0xFFFFFFFFull), "16/02/11 06:28:15");
    EXPECT_EQ(Format(0x7FFFFFFFull), "48/01/24 03:14:07");
    const std::string far = Format(uint64_t{1} << 40);
    EXPECT_EQ(far.size(), 17u);
    EXPECT_EQ(far[2], '/');
    EXPECT_EQ(far[8], ' ');
    EXPECT_EQ(far[14], ':');
    EXPECT_EQ(Format(UINT64_MAX - 432000).size(), 17u);
}

TEST(TimeStampText, DeviceCountToSeconds) {
    constexpr uint64_t kPerSecond = 32768ull * 1600;
    EXPECT_EQ(TimeStampSeconds(0), 0u);
    EXPECT_EQ(TimeStampSeconds(kPerSecond - 1), 0u);
    EXPECT_EQ(TimeStampSeconds(kPerSecond), 1u);
    EXPECT_EQ(TimeStampSeconds(UINT64_MAX), UINT64_MAX / kPerSecond);
}

}  // namespace
}  // namespace velmo::protocol
