// The little-endian cursor every packet goes through: byte order, and what happens at the end of the buffer.
#include "wire/LeCursor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace velmo::wire {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kHuge = std::numeric_limits<size_t>::max();

TEST(LeFields, ReadLowByteFirstAndOnlyWhenTheFieldFits) {
    const Bytes b = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    EXPECT_EQ(Get8(b, 7), 0x88);
    EXPECT_EQ(Get16(b, 6), 0x8877);  // exactly fitting
    EXPECT_EQ(Get32(b, 4), 0x88776655u);
    EXPECT_EQ(Get64(b, 0), 0x8877665544332211ull);
    // One byte short: nothing of the field, not its first bytes.
    EXPECT_EQ(Get8(b, 8), 0);
    EXPECT_EQ(Get16(b, 7), 0);
    EXPECT_EQ(Get32(b, 5), 0u);
    EXPECT_EQ(Get64(ConstBytes(b).first(7), 0), 0u);
    // Offsets where at + width wraps around.
    for (size_t at : {kHuge, kHuge - 1, kHuge - 3, kHuge - 7}) {
        EXPECT_EQ(Get16(b, at), 0) << at;
        EXPECT_EQ(Get64(b, at), 0u) << at;
    }
    EXPECT_EQ(Get16({}, 0), 0);
}

TEST(LeFields, WritesLowByteFirstAndNothingWhenTheFieldDoesNotFit) {
    Bytes b(8, 0xEE);
    EXPECT_TRUE(Put16(b, 6, 0x0102));  // exactly fitting
    EXPECT_TRUE(Put32(b, 0, 0x03040506));
    EXPECT_EQ(b, (Bytes{0x06, 0x05, 0x04, 0x03, 0xEE, 0xEE, 0x02, 0x01}));
    EXPECT_TRUE(Put64(b, 0, 0x0807060504030201ull));
    EXPECT_EQ(b, (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}));

    const Bytes before = b;
    EXPECT_FALSE(Put8(b, 8, 0xAA));
    EXPECT_FALSE(Put16(b, 7, 0xAAAA));  // one byte short: not even the low byte goes in
    EXPECT_FALSE(Put32(b, 5, 0xAAAAAAAA));
    EXPECT_FALSE(Put64(MutableBytes(b).first(7), 0, ~0ull));
    for (size_t at : {kHuge, kHuge - 1, kHuge - 7}) {
        EXPECT_FALSE(Put16(b, at, 0xAAAA)) << at;
        EXPECT_FALSE(Put64(b, at, ~0ull)) << at;
    }
    EXPECT_EQ(b, before);
}

TEST(LeReader, ReadsInOrderAndAShortReadEndsTheReader) {
    const Bytes b = {0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xAA};
    LeReader r(b);
    EXPECT_EQ(r.U8(), 0x01);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0x12345678u);
    EXPECT_EQ(r.S16(), -2);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 1u);
    // One byte left: the word is not read from it, and the byte is not there afterwards either.
    EXPECT_EQ(r.U16(), 0);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_EQ(r.U8(), 0);
    // A later seek back does not make the failed read good.
    r.Seek(0);
    EXPECT_EQ(r.U8(), 0x01);
    EXPECT_FALSE(r.ok());

    LeReader far(b, kHuge - 1);
    EXPECT_EQ(far.remaining(), 0u);
    EXPECT_EQ(far.U16(), 0);
    EXPECT_FALSE(far.ok());
    EXPECT_FALSE(far.Has(kHuge, 2));

    LeReader skipped(b);
    skipped.Skip(b.size() + 1);
    EXPECT_FALSE(skipped.ok());
    EXPECT_TRUE(LeReader(b).View(b.size() + 1).empty());
}

TEST(LeReader, BytesPastTheEndAreZeroFilled) {
    const Bytes b = {0x01, 0x02, 0x03};
    LeReader r(b, 1);
    std::array<uint8_t, 4> out;
    out.fill(0xEE);
    r.Bytes(out);
    EXPECT_EQ(out, (std::array<uint8_t, 4>{0x02, 0x03, 0x00, 0x00}));
    EXPECT_FALSE(r.ok());

    LeReader whole(b);
    std::array<uint8_t, 3> exact{};
    whole.Bytes(exact);
    EXPECT_EQ(exact, (std::array<uint8_t, 3>{0x01, 0x02, 0x03}));
    EXPECT_TRUE(whole.ok());
}

TEST(LeReader, TextStopsAtZeroAndAtItsWidthAndSkipsTheWholeField) {
    const Bytes b = {'a', 'b', 0, 'c', 'd', 'e', 'f', 'g'};
    LeReader r(b);
    EXPECT_EQ(r.Text(4), "ab");  // the byte after the zero is not part of it
    EXPECT_EQ(r.U8(), 'd');
    EXPECT_EQ(r.Text(2), "ef");  // no zero: cut at the width
    EXPECT_EQ(r.U8(), 'g');
    EXPECT_TRUE(r.ok());

    LeReader shortText(b, 5);
    EXPECT_EQ(shortText.Text(8), "efg");
    EXPECT_FALSE(shortText.ok());
}

TEST(LeWriter, WritesInOrderAndRefusesWhatDoesNotFit) {
    std::array<uint8_t, 8> buf;
    buf.fill(0xEE);
    LeWriter w(buf);
    w.U8(0x01).U16(0x0302).Text("xy", 3, '.');
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(w.pos(), 6u);
    w.U32(0x07060504);  // two bytes left
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.pos(), 6u);
    EXPECT_EQ(buf, (std::array<uint8_t, 8>{0x01, 0x02, 0x03, 'x', 'y', '.', 0xEE, 0xEE}));
    const auto before = buf;
    LeWriter far(buf, kHuge - 1);
    EXPECT_FALSE(far.U16(0xAAAA).Fill(1).Text("q", 1).ok());
    EXPECT_EQ(buf, before);

    Bytes grown = {0xC0};
    LeAppender(grown).U16(0x0201).U32(0x06050403).Text("z", 2);
    EXPECT_EQ(grown, (Bytes{0xC0, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 'z', 0x00}));
}

}  // namespace
}  // namespace velmo::wire
