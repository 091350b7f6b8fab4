#include <gtest/gtest.h>

#include <vector>

#include "sms/SmsRecord.h"

namespace velmo::sms {
namespace {

const std::string kPolish = "Zażółć gęślą jaźń \xF0\x9F\x98\x80";  // and U+1F600, outside the BMP

Message Known() {
    Message m;
    m.slot = 7;
    m.priority = 2;
    m.deliveryReport = true;
    m.timeStamp = 0x12345678;
    m.attribute = 0x5A;
    m.number = "+48601*23#";
    m.ownNumber = "5551234567";
    m.text = FromUtf8(kPolish);
    m.readStatus = kNotRead;
    return m;
}

std::vector<uint8_t> ExpectedRecord() {
    std::vector<uint8_t> r(kRecordSize, 0);
    r[0] = 7;
    r[1] = 2;
    r[2] = 1;
    r[3] = 0x78, r[4] = 0x56, r[5] = 0x34, r[6] = 0x12;
    r[7] = 0x5A;
    r[8] = 10;
    const std::string n = "+48601*23#";
    std::copy(n.begin(), n.end(), r.begin() + 9);
    r[41] = 10;
    const std::string own = "5551234567";
    std::copy(own.begin(), own.end(), r.begin() + 42);
    const std::vector<uint16_t> units = {'Z', 'a',    0x017C, 0x00F3, 0x0142, 0x0107, ' ',
                                         'g', 0x0119, 0x015B, 'l',    0x0105, ' ',    'j',
                                         'a', 0x017A, 0x0144, ' ',    0xD83D, 0xDE00};
    r[74] = static_cast<uint8_t>(units.size() * 2);
    for (size_t i = 0; i < units.size(); ++i) {
        r[76 + 2 * i] = static_cast<uint8_t>(units[i]);
        r[77 + 2 * i] = static_cast<uint8_t>(units[i] >> 8);
    }
    r[1076] = 3;
    return r;
}

TEST(SmsPackets, EachRequestHasItsExactBytes) {
    const std::vector<uint8_t> record = ExpectedRecord();
    const auto encoded = Encode(Known());
    EXPECT_EQ(std::vector<uint8_t>(encoded.begin(), encoded.end()), record);
    EXPECT_EQ(Decode(encoded), Known());
    EXPECT_EQ(ToUtf8(Decode(encoded).text), kPolish);

    const auto store = StoreRequest(StoreOp::SentCopy, Info(Box::OutBox).boxCode, Known());
    std::vector<uint8_t> expected = {0x3C, 0x01, 0x32, 2, 0};
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(std::vector<uint8_t>(store.begin(), store.end()), expected);

    EXPECT_EQ(CountRequest(Box::SavedBox), (std::array<uint8_t, 4>{0x3C, 0x01, 0x36, 7}));
    EXPECT_EQ(ReadRequest(Box::InBox, 3), (std::array<uint8_t, 5>{0x3C, 0x01, 0x33, 1, 3}));
    EXPECT_EQ(DeleteRequest(Box::DraftBox, kDeleteWholeBox),
              (std::array<uint8_t, 5>{0x3C, 0x01, 0x34, 4, 0xFF}));
    EXPECT_EQ(StoreRequest(StoreOp::Send, kSendBoxCode, Known())[4], 8);
}

TEST(SmsPackets, RepliesAreAcceptedOnlyByTheirRules) {
    std::vector<uint8_t> count(kReplySize, 0);
    count[3] = 5, count[4] = 12;
    EXPECT_EQ(CountOf(0, Box::OutBox, count), 12);
    EXPECT_EQ(CountOf(0, Box::DraftBox, count), 0);  // another count code: accepted, counts 0
    EXPECT_EQ(CountOf(1, Box::OutBox, count), std::nullopt);

    std::vector<uint8_t> read(kReadReplySize, 0);
    read[3] = 1, read[5] = 1;
    const auto record = Encode(Known());
    std::copy(record.begin(), record.end(), read.begin() + kReadRecordAt);
    EXPECT_EQ(ReadOf(0, Box::InBox, read), Known());
    EXPECT_EQ(ReadOf(0, Box::SavedBox, read), std::nullopt);  // wrong box code
    read[5] = 0;
    EXPECT_EQ(ReadOf(0, Box::InBox, read), std::nullopt);
    EXPECT_EQ(ReadOf(0, Box::InBox, std::span(read).first(100)), std::nullopt);

    std::vector<uint8_t> store(kReplySize, 0);
    store[3] = 1, store[5] = kSendRefused, store[6] = 1;
    EXPECT_EQ(StoreStatusOf(0, StoreOp::Draft, store), kSendRefused);
    EXPECT_EQ(StoreStatusOf(0, StoreOp::Send, store), std::nullopt);  // another operation echoed
    store[6] = 0;
    EXPECT_EQ(StoreStatusOf(0, StoreOp::Draft, store), std::nullopt);
    EXPECT_TRUE(StoreSucceeded(StoreOp::Draft, kSendRefused));
    EXPECT_FALSE(StoreSucceeded(StoreOp::Draft, kDraftRefused));
    EXPECT_TRUE(StoreSucceeded(StoreOp::Send, kDraftRefused));
    EXPECT_FALSE(StoreSucceeded(StoreOp::Send, kSendRefused));
    EXPECT_FALSE(StoreSucceeded(StoreOp::SentCopy, kSendRefused));
    // A full saved box refuses its copy as a full draft box does.
    EXPECT_FALSE(StoreSucceeded(StoreOp::SavedCopy, kDraftRefused));
    EXPECT_TRUE(StoreSucceeded(StoreOp::SavedCopy, 0));

    std::vector<uint8_t> del(kReplySize, 0);
    del[3] = 3, del[4] = 9;
    EXPECT_TRUE(DeleteAccepted(0, Box::SavedBox, 9, del));
    EXPECT_FALSE(DeleteAccepted(0, Box::SavedBox, 8, del));
    EXPECT_FALSE(DeleteAccepted(0, Box::OutBox, 9, del));
}

TEST(SmsRecord, HostileLengthsAreClamped) {
    std::array<uint8_t, kRecordSize> r = Encode(Known());
    r[74] = 0xFF, r[75] = 0xFF, r[8] = 200;
    const Message m = Decode(r);
    EXPECT_EQ(m.text.size(), kTextField / 2);
    EXPECT_EQ(m.number, "+48601*23#");  // the number stops at its zero fill
    r[74] = 7, r[75] = 0;
    EXPECT_EQ(Decode(r).text.size(), 3u);
    EXPECT_EQ(Decode(std::span(r).first(80)).text.size(), 3u);  // a short record reads zeros past its end
}

TEST(SmsText, ConvertsCutsAndRefuses) {
    EXPECT_EQ(FromUtf8("a\xC5\x82\xFF"
                       "b\xE2\x82"),
              u"a\u0142\uFFFDb\uFFFD");
    EXPECT_EQ(ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");

    std::u16string text(kMaxTextUnits - 1, u'a');
    text += u"\U0001F600";
    EXPECT_EQ(Cut(text).size(), kMaxTextUnits - 1);  // the pair would straddle the cut
    text.insert(text.begin(), u'b');
    EXPECT_EQ(Cut(text).size(), kMaxTextUnits);

    EXPECT_EQ(NumberRefusal("+48*601#23"), std::nullopt);
    EXPECT_NE(NumberRefusal(std::string(33, '1')), std::nullopt);
    EXPECT_EQ(NumberRefusal(std::string(32, '1')), std::nullopt);
    EXPECT_NE(NumberRefusal("60l234"), std::nullopt);
    EXPECT_NE(NumberRefusal(""), std::nullopt);
    EXPECT_EQ(BoxNamed("drafts"), Box::DraftBox);
    EXPECT_EQ(BoxOfCode(0), Box::OutBox);
}

}  // namespace
}  // namespace velmo::sms
