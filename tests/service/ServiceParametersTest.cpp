#include "library/service/ServiceParameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "wire/LeCursor.h"

namespace velmo::service {
namespace {

using Bytes = std::vector<uint8_t>;

// Heap blocks of exactly the sizes the conversions are given, so that ASan reports any access past them.
template <size_t N>
class Block {
  public:
    explicit Block(uint8_t fill = 0) : data_(new uint8_t[N]) { std::memset(data_.get(), fill, N); }
    uint8_t* data() { return data_.get(); }
    uint8_t& operator[](size_t i) { return data_[i]; }
    Bytes bytes() const { return Bytes(data_.get(), data_.get() + N); }

  private:
    std::unique_ptr<uint8_t[]> data_;
};

// The item data a parameter write sends, or nothing when the value is refused.
std::optional<Bytes> Write(int32_t code, const Bytes& value) {
    Block<kParameterValueSize> v;
    std::copy_n(value.begin(), std::min(value.size(), kParameterValueSize), v.data());
    Block<kItemDataSize> data(0xCD);
    if (!BuildParameterWrite(code, v.data(), data.data())) {
        return std::nullopt;
    }
    return data.bytes();
}
std::optional<Bytes> Write(int32_t code, const std::string& text) {
    return Write(code, Bytes(text.begin(), text.end()));
}

// The 131-byte read reply of a parameter built from item data.
Bytes Read(int32_t code, const Bytes& item) {
    Block<kItemDataSize> data;
    std::copy_n(item.begin(), std::min(item.size(), kItemDataSize), data.data());
    Block<kParameterValueOffset + kParameterValueSize> out(0xCD);
    BuildParameterReply(code, data.data(), out.data());
    return out.bytes();
}

// The value part of a read reply, checking the header on the way.
Bytes Value(const Bytes& reply) {
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{0xE0, 0x22, 0x00, 0x00, 0x00}));
    return Bytes(reply.begin() + 5, reply.end());
}

// A value area holding text and zeros after it.
Bytes TextValue(const std::string& text) {
    Bytes v(kParameterValueSize, 0);
    std::memcpy(v.data(), text.data(), std::min(text.size(), v.size()));
    return v;
}

Bytes Counting(size_t n, uint8_t first = 1) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) {
        out[i] = static_cast<uint8_t>(first + i);
    }
    return out;
}

// --- Digit encodings
// ----------------------------------------------------------------------------------------

TEST(DigitEncodings, Min1OfTheDigits5550123) {
    const uint32_t min1 = (444u << 14) | (10u << 10) | 12u;
    EXPECT_EQ(EncodeMin1("5550123"), min1);
    for (const std::string& typed :
         {std::string("5550123"), std::string("555-0123"), std::string("(555) 0 123")}) {
        SCOPED_TRACE(typed);
        const auto data = Write(1, typed);
        ASSERT_TRUE(data);
        Bytes want(kItemDataSize, 0);
        for (size_t at : {1, 5}) {
            wire::Put32(want, at, min1);
        }
        EXPECT_EQ(*data, want);
        // Read back from the second place.
        EXPECT_EQ(Value(Read(1, *data)), TextValue("5550123"));
    }
}

TEST(DigitEncodings, GroupsCountDigitZeroAsTen) {
    EXPECT_EQ(EncodeGroup3("310"), 209);
    EXPECT_EQ(DecodeGroup3(209), "310");
    EXPECT_EQ(EncodeGroup3("000"), 999);
    EXPECT_EQ(DecodeGroup3(999), "000");
    EXPECT_EQ(EncodeGroup3("111"), 0);
    EXPECT_EQ(DecodeGroup3(0), "111");
    EXPECT_EQ(EncodeGroup2("00"), 99);
    EXPECT_EQ(DecodeGroup2(99), "00");
    EXPECT_EQ(EncodeGroup2("11"), 0);
    EXPECT_EQ(DecodeDigit(10), "0");
    EXPECT_EQ(DecodeDigit(1), "1");
    EXPECT_EQ(DecodeDigit(9), "9");
}

TEST(DigitEncodings, EveryGroupRoundTrips) {
    char digits[16];
    for (int v = 0; v < 1000; ++v) {
        std::snprintf(digits, sizeof digits, "%03d", v);
        const auto stored = EncodeGroup3(digits);
        ASSERT_TRUE(stored) << digits;
        ASSERT_LE(*stored, 999) << digits;
        ASSERT_EQ(DecodeGroup3(*stored), digits);
        ASSERT_EQ(EncodeGroup3(DecodeGroup3(static_cast<uint32_t>(v))), v);
    }
    for (int v = 0; v < 100; ++v) {
        std::snprintf(digits, sizeof digits, "%02d", v);
        const auto stored = EncodeGroup2(digits);
        ASSERT_TRUE(stored) << digits;
        ASSERT_LE(*stored, 99) << digits;
        ASSERT_EQ(DecodeGroup2(*stored), digits);
        ASSERT_EQ(EncodeGroup2(DecodeGroup2(static_cast<uint32_t>(v))), v);
    }
    for (uint32_t first = 0; first < 1000; first += 37) {
        for (uint32_t digit = 1; digit <= 10; ++digit) {
            for (uint32_t last = 0; last < 1000; last += 111) {
                const uint32_t stored = (first << 14) | (digit << 10) | last;
                if (stored == 0) {
                    continue;
                }
                const std::string text = DecodeMin1(stored);
                ASSERT_EQ(text.size(), 7u) << stored;
                ASSERT_EQ(EncodeMin1(text), stored);
            }
        }
    }
}

TEST(DigitEncodings, OutOfRangeStoredValuesDecodeToEmptyText) {
    for (uint32_t v : {1000u, 1023u, 0xFFFFu, 0xFFFFFFFFu}) {
        EXPECT_EQ(DecodeGroup3(v), "") << v;
    }
    for (uint32_t v : {100u, 255u}) {
        EXPECT_EQ(DecodeGroup2(v), "") << v;
    }
    for (uint32_t v : {0u, 11u, 15u}) {
        EXPECT_EQ(DecodeDigit(v), "") << v;
    }
    EXPECT_EQ(DecodeMin1(0), "");                                      // no MIN stored
    EXPECT_EQ(DecodeMin1((1000u << 14) | (1u << 10) | 1u), "");        // first group out of range
    EXPECT_EQ(DecodeMin1((1u << 14) | (0u << 10) | 1u), "");           // digit 0
    EXPECT_EQ(DecodeMin1((1u << 14) | (11u << 10) | 1u), "");          // digit 11
    EXPECT_EQ(DecodeMin1((1u << 14) | (1u << 10) | 1000u), "");        // last group out of range
    EXPECT_EQ(DecodeMin1(0x01000000u | (1u << 14) | (1u << 10)), "");  // more than 24 bits

    // Through the read conversions: an empty value, nothing written into the field.
    Bytes item(kItemDataSize, 0xFF);
    for (int32_t code : {1, 3, 5, 7}) {
        EXPECT_EQ(Value(Read(code, item)), Bytes(kParameterValueSize, 0)) << code;
    }
    item.assign(kItemDataSize, 0);
    EXPECT_EQ(Value(Read(1, item)), Bytes(kParameterValueSize, 0));
}

TEST(DigitEncodings, MalformedDigitTextsAreRefused) {
    for (const char* text : {"", "1", "12", "1234", "12a", "1 2", "-12"}) {
        EXPECT_FALSE(EncodeGroup3(text)) << text;
    }
    for (const char* text : {"", "1", "123", "1a", "/0", ":0"}) {
        EXPECT_FALSE(EncodeGroup2(text)) << text;
    }
    for (const char* text : {"", "555012", "55501234", "555012a"}) {
        EXPECT_FALSE(EncodeMin1(text)) << text;
    }
}

// --- Parameter writes
// ---------------------------------------------------------------------------------------

TEST(ParameterWrite, MalformedValuesSendNothing) {
    struct Case {
        int32_t code;
        const char* value;
    };
    for (const Case c : {
             Case{1, ""},
             Case{1, "555012"},
             Case{1, "55501234"},
             Case{1, "555-012"},
             Case{1, "abcdefg"},
             Case{3, ""},
             Case{3, "12"},
             Case{3, "1234"},
             Case{3, "1-2"},
             Case{5, "31"},
             Case{5, "3a0"},
             Case{5, " 310"},
             Case{5, ""},
             Case{7, "1"},
             Case{7, "1x"},
             Case{7, ""},
             Case{11, "012345678"},
             Case{11, "01234567a9"},
             Case{11, "012 456789"},
             Case{11, ""},
             Case{26, ""},
             Case{26, "1234567890123456789x"},
             Case{26, "-1"},
             Case{26, "18446744073709551616"},
             Case{26, "99999999999999999999"},
         }) {
        EXPECT_FALSE(Write(c.code, c.value)) << c.code << " '" << c.value << "'";
    }
}

TEST(ParameterWrite, DigitFieldLayouts) {
    Bytes want(kItemDataSize, 0);
    wire::LeWriter(want, 1).U16(999).U16(999);
    EXPECT_EQ(Write(3, "000"), want);
    EXPECT_EQ(Write(3, "0-0-0"), want);  // separators are skipped for MIN2 as for MIN1

    want.assign(kItemDataSize, 0);
    want[1] = 209;
    EXPECT_EQ(Write(5, "310"), want);
    EXPECT_EQ(Write(5, "3105"), want);  // the first three characters

    want.assign(kItemDataSize, 0);
    want[1] = 1;
    EXPECT_EQ(Write(7, "12"), want);
    want[1] = 99;
    EXPECT_EQ(Write(7, "00"), want);

    want.assign(kItemDataSize, 0);
    std::memcpy(&want[1], "0123456789", 10);
    EXPECT_EQ(Write(11, "0123456789"), want);
}

TEST(ParameterWrite, AKeyIsOneDecimalNumberOf64Bits) {
    auto key = [](uint64_t v) {
        Bytes want(kItemDataSize, 0);
        wire::Put64(want, 1, v);
        return want;
    };
    EXPECT_EQ(Write(26, "12345678901234567890"), key(12345678901234567890ull));
    EXPECT_EQ(Write(26, "18446744073709551615"), key(UINT64_MAX));
    EXPECT_EQ(Write(26, "00000000000000000001"), key(1));
    EXPECT_EQ(Write(26, "7"), key(7));
    // Only the first twenty characters count.
    EXPECT_EQ(Write(26, "000000000000000000123"), key(12));
}

TEST(ParameterWrite, NumberAndByteLayouts) {
    const Bytes value = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    for (int32_t code : {12, 13, 19, 20, 27, 30, 31}) {
        Bytes want(kItemDataSize, 0);
        std::copy(value.begin(), value.begin() + 4, want.begin() + 1);
        EXPECT_EQ(Write(code, value), want) << code;
    }
    for (int32_t code : {14, 15, 16}) {
        Bytes want(kItemDataSize, 0);
        want[1] = 0x11;
        EXPECT_EQ(Write(code, value), want) << code;
    }
    for (int32_t code : {22, 24, 34, 36}) {
        Bytes want(kItemDataSize, 0);
        want[0] = 0x11;
        EXPECT_EQ(Write(code, value), want) << code;
    }
    Bytes spc(kItemDataSize, 0);
    std::memcpy(spc.data(), "123456", 6);
    EXPECT_EQ(Write(25, "1234567"), spc);

    Bytes enable(kItemDataSize, 0);
    enable[1] = 1;
    EXPECT_EQ(Write(33, Bytes{0x55}), enable);
    // Codes without a conversion, and the roaming list clear, write zero data whatever the value.
    for (int32_t code : {0, 2, 4, 6, 8, 9, 10, 17, 18, 21, 23, 32, 35, 37, -1, 1000}) {
        EXPECT_EQ(Write(code, Bytes(kParameterValueSize, 0x37)), Bytes(kItemDataSize, 0)) << code;
    }
}

TEST(ParameterWrite, ChapTextsCarryTheirClampedLength) {
    const std::string longText(100, 'c');
    Bytes want(kItemDataSize, 0);
    want[0] = 64;
    std::fill(want.begin() + 1, want.begin() + 65, 'c');
    EXPECT_EQ(Write(28, longText), want);

    want.assign(kItemDataSize, 0);
    want[0] = 14;
    std::fill(want.begin() + 1, want.begin() + 15, 'c');
    EXPECT_EQ(Write(29, longText), want);

    want.assign(kItemDataSize, 0);
    want[0] = 5;
    std::memcpy(&want[1], "user1", 5);
    EXPECT_EQ(Write(28, "user1"), want);
    want[0] = 0;
    std::fill(want.begin() + 1, want.end(), 0);
    EXPECT_EQ(Write(29, ""), want);
}

// --- Parameter reads
// ----------------------------------------------------------------------------------------

TEST(ParameterRead, CopiesFromTheItemDataByCode) {
    const Bytes item = Counting(kItemDataSize, 0x01);
    auto from = [&](size_t at) {
        Bytes v(item.begin() + static_cast<long>(at), item.end());
        v.resize(kParameterValueSize, 0);
        return v;
    };
    for (int32_t code : {0, 22, 23, 24, 34, 35}) {
        EXPECT_EQ(Value(Read(code, item)), from(0)) << code;
    }
    for (int32_t code : {9, 11, 12, 14, 15, 16, 19, 20, 27, 30, 31}) {
        EXPECT_EQ(Value(Read(code, item)), from(1)) << code;
    }
    EXPECT_EQ(Value(Read(13, item)), from(3));
    // Codes without a read conversion leave the value empty.
    for (int32_t code : {2, 4, 6, 8, 10, 17, 18, 21, 25, 26, 32, 33, 36, 37, -1}) {
        EXPECT_EQ(Value(Read(code, item)), Bytes(kParameterValueSize, 0)) << code;
    }
}

TEST(ParameterRead, DigitConversionsAreTerminated) {
    Bytes item(kItemDataSize, 0xEE);
    wire::Put16(item, 1, 209);
    EXPECT_EQ(Value(Read(5, item)), TextValue("310"));

    item[1] = 98;
    EXPECT_EQ(Value(Read(7, item)), TextValue("09"));

    wire::Put16(item, 3, 999);
    EXPECT_EQ(Value(Read(3, item)), TextValue("000"));
}

TEST(ParameterRead, ChapLengthIsClampedBeforeTheTerminator) {
    Bytes item(kItemDataSize, 'x');
    for (const auto& [code, limit] : {std::pair{28, 64}, std::pair{29, 14}}) {
        for (uint8_t length :
             {uint8_t{0}, uint8_t{5}, static_cast<uint8_t>(limit), uint8_t{200}, uint8_t{255}}) {
            SCOPED_TRACE(std::to_string(code) + " length " + std::to_string(length));
            item[0] = length;
            const size_t kept = std::min<size_t>(length, static_cast<size_t>(limit));
            EXPECT_EQ(Value(Read(code, item)), TextValue(std::string(kept, 'x')));
        }
    }
}

TEST(ParameterItems, CodesMapToTheirItems) {
    const std::pair<int32_t, uint16_t> table[] = {
        {0, 0},       {1, 32},      {2, 32},      {3, 33},     {4, 33},   {5, 176},     {6, 176},
        {7, 177},     {8, 177},     {9, 266},     {10, 266},   {11, 178}, {12, 259},    {13, 259},
        {14, 34},     {15, 35},     {16, 36},     {19, 20},    {20, 21},  {22, 5},      {24, 296},
        {25, 85},     {26, 25},     {27, 10},     {28, 579},   {29, 580}, {30, 255},    {31, 38},
        {32, 231},    {33, 256},    {34, 562},    {35, 459},   {36, 464}, {17, 0x7FFF}, {18, 0x7FFF},
        {21, 0x7FFF}, {23, 0x7FFF}, {37, 0x7FFF}, {-1, 0x7FFF}};
    for (const auto& [code, item] : table) {
        EXPECT_EQ(ParameterItem(code), item) << code;
    }
}

}  // namespace
}  // namespace velmo::service
