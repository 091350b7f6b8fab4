#include "library/transport/FrameCodec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "transport/ByteCodec.h"
#include "transport/ReferenceCodec.h"
#include "wire/LeCursor.h"

namespace velmo::transport {
namespace {

using velmo::refcodec::Bytes;
using velmo::refcodec::Concat;
using velmo::refcodec::RefEncode;
using velmo::refcodec::RefFcs;
using velmo::refcodec::RefFcsRegister;
using velmo::refcodec::WithFcs;

Bytes Encode(const Bytes& packet) {
    auto tx = std::make_unique<TxFrame>();
    const size_t n = EncodePacket(packet.data(), packet.size(), *tx);
    EXPECT_FALSE(tx->overflow);
    EXPECT_EQ(n, tx->length);
    return Bytes(tx->bytes.begin(), tx->bytes.begin() + tx->length);
}

class Recorder final : public IFrameHandler {
  public:
    void OnFrame(const uint8_t* frame, size_t count) override {
        ASSERT_GE(count, kMinFrameCount);
        ASSERT_LE(count, kRxFrameSize);
        frames.emplace_back(frame, frame + count);
    }
    std::vector<Bytes> frames;
};

// Feeds the stream in blocks cut at the given positions.
std::vector<Bytes> Receive(const Bytes& stream, const std::vector<size_t>& cuts = {}) {
    auto rx = std::make_unique<RxFrame>();
    Recorder rec;
    size_t from = 0;
    for (size_t cut : cuts) {
        rx->ProcessReceived(stream.data() + from, static_cast<long>(cut - from), rec);
        from = cut;
    }
    rx->ProcessReceived(stream.data() + from, static_cast<long>(stream.size() - from), rec);
    return rec.frames;
}

Bytes Random(std::mt19937& rng, size_t n, int flagPercent = 0) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> pct(0, 99);
    Bytes out(n);
    for (auto& b : out) {
        if (pct(rng) < flagPercent) {
            b = pct(rng) % 2 == 0 ? kFlagByte : kEscapeByte;
        } else {
            b = static_cast<uint8_t>(byte(rng));
        }
    }
    return out;
}

// A packet of n bytes whose FCS needs no stuffing (the last byte is adjusted until it does not).
Bytes PacketWithPlainFcs(size_t n, uint8_t fill) {
    Bytes p(n, fill);
    for (int v = 0; v < 256; ++v) {
        p.back() = static_cast<uint8_t>(v);
        if (v == kFlagByte || v == kEscapeByte) {
            continue;
        }
        const uint16_t fcs = RefFcs(p);
        const uint8_t lo = fcs & 0xFF;
        const uint8_t hi = fcs >> 8;
        if (lo != kFlagByte && lo != kEscapeByte && hi != kFlagByte && hi != kEscapeByte) {
            return p;
        }
    }
    ADD_FAILURE() << "no packet with a plain FCS";
    return p;
}

TEST(FrameCheckSequence, MatchesPublishedValues) {
    const std::string check = "123456789";
    EXPECT_EQ(ComputeFcs(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0x906E);
    EXPECT_EQ(kFcsTable[0], 0x0000);
    EXPECT_EQ(kFcsTable[1], 0x1189);
    EXPECT_EQ(kFcsTable[2], 0x2312);
    EXPECT_EQ(kFcsTable[3], 0x329B);
    // The whole table against the bitwise definition.
    for (unsigned i = 0; i < 256; ++i) {
        EXPECT_EQ(kFcsTable[i], RefFcsRegister({static_cast<uint8_t>(i)}, 0)) << "entry " << i;
    }
}

TEST(FrameCheckSequence, PacketPlusFcsEndsAtGoodResidue) {
    std::mt19937 rng(7);
    for (size_t n : {0u, 1u, 2u, 9u, 255u, 1500u}) {
        const Bytes framed = WithFcs(Random(rng, n));
        uint16_t reg = kFcsInit;
        for (uint8_t b : framed) {
            reg = FcsStep(reg, b);
        }
        EXPECT_EQ(reg, kFcsGoodResidue) << "n=" << n;
        EXPECT_EQ(ComputeFcs(framed.data(), n), RefFcs(Bytes(framed.begin(), framed.begin() + n)));
    }
}

TEST(FrameEncode, KnownRequests) {
    EXPECT_EQ(Encode({0x00}), (Bytes{0x00, 0x78, 0xF0, 0x7E}));
    EXPECT_EQ(Encode({0x0C}), (Bytes{0x0C, 0x14, 0x3A, 0x7E}));
    EXPECT_EQ(Encode({0x29, 0x02, 0x00}), (Bytes{0x29, 0x02, 0x00, 0x59, 0x6A, 0x7E}));
}

TEST(FrameEncode, StuffsFlagAndEscapeInPacket) {
    const Bytes packet = {0x26, 0x7E, 0x01, 0x7D, 0x5E, 0x5D, 0x7E};
    const Bytes frame = Encode(packet);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 10),
              (Bytes{0x26, 0x7D, 0x5E, 0x01, 0x7D, 0x5D, 0x5E, 0x5D, 0x7D, 0x5E}));
    EXPECT_EQ(frame, RefEncode(packet));
    // Exactly one flag, at the end.
    EXPECT_EQ(std::count(frame.begin(), frame.end(), kFlagByte), 1);
    EXPECT_EQ(frame.back(), kFlagByte);
}

TEST(FrameEncode, StuffsFcsBytes) {
    struct Want {
        const char* name;
        bool high;
        uint8_t value;
    };
    for (const Want& want : {Want{"low 7E", false, 0x7E}, Want{"low 7D", false, 0x7D},
                             Want{"high 7E", true, 0x7E}, Want{"high 7D", true, 0x7D}}) {
        SCOPED_TRACE(want.name);
        Bytes packet;
        for (unsigned v = 0; v < 0x10000 && packet.empty(); ++v) {
            Bytes candidate = {0x4B, 0, 0};
            wire::Put16(candidate, 1, static_cast<uint16_t>(v));
            if (candidate[1] == 0x7E || candidate[1] == 0x7D || candidate[2] == 0x7E ||
                candidate[2] == 0x7D) {
                continue;
            }
            const uint16_t fcs = RefFcs(candidate);
            if ((want.high ? fcs >> 8 : fcs & 0xFF) == want.value) {
                packet = candidate;
            }
        }
        ASSERT_FALSE(packet.empty());
        const Bytes frame = Encode(packet);
        EXPECT_EQ(frame, RefEncode(packet));
        const size_t at = want.high ? frame.size() - 3 : 3;
        ASSERT_GE(frame.size(), 7u);
        EXPECT_EQ(frame[at], kEscapeByte);
        EXPECT_EQ(frame[at + 1], want.value ^ kEscapeXor);
        EXPECT_EQ(Receive(Concat({{kFlagByte}, frame})), std::vector<Bytes>{WithFcs(packet)});
    }
}

TEST(FrameEncode, AgreesWithReferenceOnRandomPackets) {
    std::mt19937 rng(11);
    for (int i = 0; i < 300; ++i) {
        const size_t n = 1 + static_cast<size_t>(rng() % 2000);
        const Bytes packet = Random(rng, n, i % 3 == 0 ? 50 : 2);
        ASSERT_EQ(Encode(packet), RefEncode(packet)) << "n=" << n;
    }
}

TEST(TxFrameOverflow, PlainBytesKeepSixBytesInReserve) {
    auto tx = std::make_unique<TxFrame>();
    tx->BeginFrame();
    for (size_t i = 0; i < kTxFrameSize - 6; ++i) {
        tx->PutFrameByte(0x11);
    }
    EXPECT_FALSE(tx->overflow);
    EXPECT_EQ(tx->length, kTxFrameSize - 6);
    tx->PutFrameByte(0x11);
    EXPECT_TRUE(tx->overflow);
    EXPECT_EQ(tx->length, kTxFrameSize - 6);
    // Once overflowed, nothing more is stored and EndFrame adds neither FCS nor flag.
    tx->PutFrameByte(0x7E);
    tx->EndFrame();
    EXPECT_EQ(tx->length, kTxFrameSize - 6);
    EXPECT_TRUE(tx->overflow);
    EXPECT_EQ(tx->bytes[tx->length - 1], 0x11);

    tx->BeginFrame();
    EXPECT_EQ(tx->length, 0);
    EXPECT_FALSE(tx->overflow);
}

TEST(TxFrameOverflow, StuffedBytesKeepSevenBytesInReserve) {
    auto tx = std::make_unique<TxFrame>();
    tx->BeginFrame();
    for (size_t i = 0; i < kTxFrameSize - 8; ++i) {
        tx->PutFrameByte(0x11);
    }
    tx->PutFrameByte(0x7E);  // length + 7 == size - 1: fits
    EXPECT_FALSE(tx->overflow);
    EXPECT_EQ(tx->length, kTxFrameSize - 6);

    tx->BeginFrame();
    for (size_t i = 0; i < kTxFrameSize - 7; ++i) {
        tx->PutFrameByte(0x11);
    }
    tx->PutFrameByte(0x7D);  // length + 7 == size: does not fit, although a plain byte would
    EXPECT_TRUE(tx->overflow);
    EXPECT_EQ(tx->length, kTxFrameSize - 7);
}

TEST(TxFrameOverflow, LargestPacketsThatFit) {
    const size_t largest = kTxFrameSize - 8;  // plain FCS: two bytes and the flag after the data
    {
        const Bytes packet = PacketWithPlainFcs(largest, 0x11);
        const Bytes frame = Encode(packet);
        EXPECT_EQ(frame, RefEncode(packet));
        EXPECT_EQ(frame.size(), largest + 3);
    }
    {
        const Bytes packet = PacketWithPlainFcs(largest + 1, 0x11);
        auto tx = std::make_unique<TxFrame>();
        EXPECT_EQ(EncodePacket(packet.data(), packet.size(), *tx), 0u);
        EXPECT_TRUE(tx->overflow);
    }
    {
        // Every byte stuffed: about half as many fit, with room left for a stuffed FCS.
        const Bytes packet((kTxFrameSize - 10) / 2, 0x7E);
        const Bytes frame = Encode(packet);
        EXPECT_EQ(frame, RefEncode(packet));
        auto tx = std::make_unique<TxFrame>();
        const Bytes more((kTxFrameSize - 6) / 2, 0x7D);
        EXPECT_EQ(EncodePacket(more.data(), more.size(), *tx), 0u);
        EXPECT_TRUE(tx->overflow);
    }
}

// A stream with leading flags and frames of every kind: stuffed bytes, stuffed FCS, sizes 3 .. a few hundred.
struct MixedStream {
    Bytes stream;
    std::vector<Bytes> frames;  // as the decoder must deliver them (with FCS)
};

MixedStream MakeMixedStream() {
    std::mt19937 rng(3);
    MixedStream m;
    m.stream = {kFlagByte, kFlagByte};
    const std::vector<Bytes> packets = {
        {0x00}, {0x7E, 0x7D, 0x7E}, Random(rng, 40, 30), {0x0C, 0x00}, Random(rng, 300, 5),
        {0x7D}, Random(rng, 7, 60),
    };
    for (const Bytes& p : packets) {
        const Bytes f = RefEncode(p);
        m.stream.insert(m.stream.end(), f.begin(), f.end());
        m.frames.push_back(WithFcs(p));
    }
    return m;
}

TEST(FrameDecode, SplitAtEveryBytePosition) {
    const MixedStream m = MakeMixedStream();
    ASSERT_EQ(Receive(m.stream), m.frames);
    for (size_t cut = 0; cut <= m.stream.size(); ++cut) {
        ASSERT_EQ(Receive(m.stream, {cut}), m.frames) << "cut at " << cut;
    }
    std::vector<size_t> everyByte;
    for (size_t i = 1; i < m.stream.size(); ++i) {
        everyByte.push_back(i);
    }
    EXPECT_EQ(Receive(m.stream, everyByte), m.frames);
}

TEST(FrameDecode, LeadingFlagsAreSkipped) {
    const auto frames = Receive({0x7E, 0x7E, 0x7E, 0x00, 0x78, 0xF0, 0x7E});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (Bytes{0x00, 0x78, 0xF0}));
}

TEST(FrameDecode, FrameWithoutOpeningFlagAtStartIsLost) {
    const Bytes stream = Concat({{0x00, 0x78, 0xF0, 0x7E}, {0x0C, 0x14, 0x3A, 0x7E}});
    EXPECT_EQ(Receive(stream), std::vector<Bytes>{(Bytes{0x0C, 0x14, 0x3A})});
}

TEST(FrameDecode, TwoFramesInOneBlockAndAFrameAndAHalf) {
    const Bytes a = RefEncode({0x1D, 0x01, 0x02});
    const Bytes b = RefEncode({0x7C, 0x7E, 0x00, 0x7D});
    const Bytes c = RefEncode({0x22, 0x33});
    const Bytes stream = Concat({{kFlagByte}, a, b, c});
    const std::vector<Bytes> want = {WithFcs({0x1D, 0x01, 0x02}), WithFcs({0x7C, 0x7E, 0x00, 0x7D}),
                                     WithFcs({0x22, 0x33})};
    EXPECT_EQ(Receive(stream), want);
    const size_t half = 1 + a.size() + b.size() / 2;
    EXPECT_EQ(Receive(stream, {half}), want);
}

// A frame dropped for its FCS or its length ends at its flag, and that flag opens the next frame: a good
// frame right behind it is received (hunting on to the next flag lost it, and its sender waited it out).
TEST(FrameDecode, AGoodFrameRightAfterADroppedOneIsReceived) {
    Bytes bad = RefEncode({0x0C, 0x01, 0x02, 0x03});
    bad[1] ^= 0x01;
    const Bytes stream =
        Concat({{kFlagByte}, bad, RefEncode({0x00, 0x11}), {0x7E, 0x11, 0x7E}, RefEncode({0x1D, 0x22})});
    const std::vector<Bytes> want = {WithFcs({0x00, 0x11}), WithFcs({0x1D, 0x22})};
    EXPECT_EQ(Receive(stream), want);
    for (size_t cut = 1; cut < stream.size(); ++cut) {
        EXPECT_EQ(Receive(stream, {cut}), want) << cut;
    }
}

TEST(FrameDecode, FramesShorterThanThreeBytesAreDropped) {
    // 00 00 is the good FCS of an empty packet: only the length rule drops it.
    EXPECT_TRUE(Receive({0x7E, 0x00, 0x00, 0x7E}).empty());
    EXPECT_TRUE(Receive({0x7E, 0x11, 0x7E}).empty());
    // A one-byte packet makes a three-byte frame, the shortest kept.
    const Bytes stream =
        Concat({{0x7E, 0x00, 0x00, 0x7E}, RefEncode({0x00}), {kFlagByte}, RefEncode({0x0C})});
    EXPECT_EQ(Receive(stream), (std::vector<Bytes>{WithFcs({0x00}), WithFcs({0x0C})}));
}

TEST(FrameDecode, LengthLimitIs8192UnstuffedBytes) {
    std::mt19937 rng(5);
    const Bytes fits = Random(rng, kRxFrameSize - 2, 10);
    const Bytes tooLong = Random(rng, kRxFrameSize - 1, 10);
    const Bytes next = {0x0C, 0x44};
    {
        const auto frames = Receive(Concat({{kFlagByte}, RefEncode(fits), RefEncode(next)}));
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].size(), kRxFrameSize);
        EXPECT_EQ(frames[0], WithFcs(fits));
        EXPECT_EQ(frames[1], WithFcs(next));
    }
    {
        // The overlong frame's tail is hunted through up to its flag, which then opens the next frame.
        const auto frames = Receive(Concat({{kFlagByte}, RefEncode(tooLong), RefEncode(next)}));
        EXPECT_EQ(frames, std::vector<Bytes>{WithFcs(next)});
    }
}

TEST(FrameDecode, EscapeHandling) {
    const auto frames = Receive(Concat({{kFlagByte}, RefEncode({0x26, 0x7E, 0x7D, 0x5E})}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0][1], 0x7E);
    EXPECT_EQ(frames[0][2], 0x7D);
    EXPECT_EQ(frames[0][3], 0x5E);

    // 7D then 7E: the flag still closes the frame, and the pending escape does not leak into the next one.
    const Bytes stream = {0x7E, 0x00, 0x78, 0xF0, 0x7D, 0x7E, 0x0C, 0x14, 0x3A, 0x7E};
    EXPECT_EQ(Receive(stream), (std::vector<Bytes>{{0x00, 0x78, 0xF0}, {0x0C, 0x14, 0x3A}}));
    EXPECT_EQ(Receive(stream, {5}), (std::vector<Bytes>{{0x00, 0x78, 0xF0}, {0x0C, 0x14, 0x3A}}));
}

TEST(FrameDecode, EmptyAndNegativeBlocksAreIgnored) {
    auto rx = std::make_unique<RxFrame>();
    Recorder rec;
    const uint8_t flag = kFlagByte;
    rx->ProcessReceived(&flag, 0, rec);
    rx->ProcessReceived(&flag, -5, rec);
    EXPECT_EQ(rx->state, RxState::Hunt);
    EXPECT_TRUE(rec.frames.empty());
}

TEST(FrameDecode, RandomGarbageThenAFrameAfterAFlag) {
    std::mt19937 rng(99);
    const Bytes good = {0x00, 0x01, 0x7E, 0x02};
    for (int round = 0; round < 200; ++round) {
        const Bytes garbage = Random(rng, 1 + rng() % 3000, round % 4 == 0 ? 40 : 1);
        auto rx = std::make_unique<RxFrame>();
        Recorder rec;  // asserts the count bounds of whatever the garbage produces
        rx->ProcessReceived(garbage.data(), static_cast<long>(garbage.size()), rec);
        ASSERT_LE(rx->count, kRxFrameSize);
        const size_t before = rec.frames.size();
        // Two flags: the first may only close the garbage, the second opens the frame.
        const Bytes tail = Concat({{kFlagByte, kFlagByte}, RefEncode(good)});
        rx->ProcessReceived(tail.data(), static_cast<long>(tail.size()), rec);
        ASSERT_GE(rec.frames.size(), before + 1);
        EXPECT_EQ(rec.frames.back(), WithFcs(good)) << "round " << round;
    }
}

class Collect final : public IFrameHandler {
  public:
    void OnFrame(const uint8_t* frame, size_t count) override { frames.emplace_back(frame, frame + count); }
    std::vector<Bytes> frames;
};

// The run-at-a-time codec against the byte-at-a-time one: the same wire bytes for every packet length up to
// the frame limit and every density of bytes to stuff, and the same frames and end state for valid streams,
// streams with flipped, dropped and inserted bytes, garbage and overlong frames, cut into random blocks.
TEST(FrameCodecAgainstBytes, SameWireBytesAndSameFramesOnAnyInput) {
    std::mt19937 rng(2026);
    auto tx = std::make_unique<TxFrame>();
    auto byTx = std::make_unique<bytecodec::ByteEncoder>();
    std::uniform_int_distribution<size_t> len(0, kTxFrameSize);
    for (int round = 0; round < 400; ++round) {
        const size_t n =
            round < 40 ? kTxFrameSize - 12 + static_cast<size_t>(round % 12) : len(rng) / (1 + round % 4);
        const Bytes packet = Random(rng, n, round % 5 * 20);
        const size_t got = EncodePacket(packet.data(), packet.size(), *tx);
        ASSERT_EQ(got, byTx->Encode(packet.data(), packet.size())) << n;
        ASSERT_TRUE(
            std::equal(tx->bytes.begin(), tx->bytes.begin() + static_cast<long>(got), byTx->bytes.begin()));
        // Byte by byte through the public calls gives the same frame.
        tx->BeginFrame();
        for (uint8_t b : packet) {
            tx->PutFrameByte(b);
        }
        tx->EndFrame();
        ASSERT_EQ(tx->overflow ? size_t{0} : size_t{tx->length}, got);
    }

    std::uniform_int_distribution<int> pct(0, 99);
    for (int round = 0; round < 300; ++round) {
        Bytes stream;
        if (round % 3 != 0) {
            stream.push_back(kFlagByte);
        }
        const int frames = 1 + round % 7;
        for (int f = 0; f < frames; ++f) {
            const size_t n =
                round % 29 == 0 ? kRxFrameSize + static_cast<size_t>(pct(rng)) : 1 + rng() % 1500;
            const Bytes packet = Random(rng, n, pct(rng) % 40);
            Bytes frame = n <= kTxFrameSize ? Encode(packet) : Concat({packet, {kFlagByte}});
            const int harm = pct(rng);
            if (harm < 15 && frame.size() > 2) {
                frame[rng() % (frame.size() - 1)] ^= static_cast<uint8_t>(1 + rng() % 255);
            } else if (harm < 25 && frame.size() > 2) {
                frame.erase(frame.begin() + static_cast<long>(rng() % (frame.size() - 1)));
            } else if (harm < 35) {
                frame.insert(frame.begin() + static_cast<long>(rng() % frame.size()),
                             pct(rng) % 2 == 0 ? kEscapeByte : kFlagByte);
            } else if (harm < 40) {
                frame = Random(rng, rng() % 300, 10);
            }
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
        auto rx = std::make_unique<RxFrame>();
        auto byRx = std::make_unique<bytecodec::ByteDecoder>();
        Collect fast;
        Collect slow;
        for (size_t at = 0; at < stream.size();) {
            const size_t block = std::min(stream.size() - at, 1 + rng() % (round % 2 == 0 ? 64 : 4096));
            rx->ProcessReceived(stream.data() + at, static_cast<long>(block), fast);
            byRx->Process(stream.data() + at, static_cast<long>(block), slow);
            at += block;
        }
        ASSERT_EQ(fast.frames, slow.frames) << round;
        ASSERT_EQ(rx->state, byRx->state) << round;
        ASSERT_EQ(rx->count, byRx->count) << round;
        ASSERT_EQ(rx->escape, byRx->escape) << round;
    }
}

TEST(FrameCodecAgainstBytes, FcsRunMatchesTheBitwiseRegisterAtEveryLength) {
    std::mt19937 rng(7);
    for (size_t n = 0; n < 70; ++n) {
        const Bytes data = Random(rng, n);
        for (uint16_t init : {uint16_t{0xFFFF}, uint16_t{0x1234}}) {
            ASSERT_EQ(FcsRun(init, data.data(), data.size()), RefFcsRegister(data, init)) << n;
        }
    }
}

}  // namespace
}  // namespace velmo::transport
