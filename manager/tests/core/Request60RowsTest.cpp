// The request-60 rows pinned against the packets and answer rules as the modem's user-level commands define
// them: every packet byte for byte, and each accept rule at its edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manager/core/Request60.h"

namespace velmo::manager::r60 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Reply(std::initializer_list<uint8_t> from3, size_t size = kRequest60ReplySize) {
    Bytes r(size, 0);
    std::copy(from3.begin(), from3.end(), r.begin() + 3);
    return r;
}

TEST(Request60Rows, PacketsByteForByte) {
    EXPECT_EQ(Build(RowOf(Command::DeviceText)), (Bytes{60, 0, 0}));
    EXPECT_EQ(Build(RowOf(Command::Capability)), (Bytes{60, 1, 0}));
    EXPECT_EQ(Build(RowOf(Command::QuitMode), Arguments::Word(3)), (Bytes{60, 0, 5, 3, 0}));
    EXPECT_EQ(Build(RowOf(Command::QuitMode), Arguments::Word(0x1234)), (Bytes{60, 0, 5, 0x34, 0x12}));
    EXPECT_EQ(Build(RowOf(Command::QuitRelease)), (Bytes{60, 0, 16}));
    EXPECT_EQ(Build(RowOf(Command::UserStatus)), (Bytes{60, 1, 34, 0, 0}));
    EXPECT_EQ(Build(RowOf(Command::CardStatus)), (Bytes{60, 1, 35}));
    EXPECT_EQ(Build(RowOf(Command::VerifyPin), Arguments::Codes("1234")),
              (Bytes{60, 1, 36, '1', '2', '3', '4', 0, 0, 0, 0}));
    EXPECT_EQ(Build(RowOf(Command::SetPinRequest), Arguments::FlagAndCode(1, "12345678")),
              (Bytes{60, 1, 37, 1, '1', '2', '3', '4', '5', '6', '7', '8'}));
    // Codes are cut to their 8-byte field.
    EXPECT_EQ(Build(RowOf(Command::ChangePin), Arguments::Codes("123456789", "12")),
              (Bytes{60, 1, 38, '1', '2', '3', '4', '5', '6', '7', '8', '1', '2', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Build(RowOf(Command::PukStatus)), (Bytes{60, 1, 39}));
    EXPECT_EQ(Build(RowOf(Command::UnblockPin), Arguments::Codes("87654321", "4321")),
              (Bytes{60, 1, 40, '8', '7', '6', '5', '4', '3', '2', '1', '4', '3', '2', '1', 0, 0, 0, 0}));

    // The message commands carry the caller's record from byte 3; the header is always the row's own.
    Bytes record(kSmsRecordSize, 0xEE);
    record[3] = 2;
    record[4] = 7;
    const Bytes store = Build(RowOf(Command::SmsStore), Arguments::Record(record));
    ASSERT_EQ(store.size(), kSmsRecordSize);
    EXPECT_EQ(Bytes(store.begin(), store.begin() + 5), (Bytes{60, 1, 50, 2, 7}));
    EXPECT_EQ(store.back(), 0xEE);
    EXPECT_EQ(Build(RowOf(Command::SmsRead), Arguments::Record(record)), (Bytes{60, 1, 51, 2, 7}));
    EXPECT_EQ(Build(RowOf(Command::SmsDelete), Arguments::Record(record)), (Bytes{60, 1, 52, 2, 7}));
    EXPECT_EQ(Build(RowOf(Command::SmsCount), Arguments::Record(record)), (Bytes{60, 1, 54, 2}));
    // A short record leaves the rest of the packet zero, never read past.
    EXPECT_EQ(Build(RowOf(Command::SmsRead), Arguments::Record(Bytes{1, 2, 3, 4})), (Bytes{60, 1, 51, 4, 0}));

    EXPECT_TRUE(RowOf(Command::SmsRead).large);
    for (const Row& row : kRows) {
        EXPECT_EQ(Build(row).size(), row.requestLength) << row.name;
        EXPECT_EQ(FindRow(Build(row)), &row) << row.name;
    }
    EXPECT_EQ(FindRow(Bytes{60, 2, 0}), nullptr);
    EXPECT_EQ(FindRow(Bytes{61, 0, 0}), nullptr);
    EXPECT_EQ(FindRow(Bytes{60, 0}), nullptr);
}

TEST(Request60Rows, AcceptRulesAtTheirEdges) {
    const auto accepts = [](Command c, const Bytes& reply, const Bytes& request = {}) {
        const Row& row = RowOf(c);
        return Accepts(row, request.empty() ? Build(row) : request, reply);
    };
    // Identity text: status 0 and a length of 1 to 255.
    EXPECT_FALSE(accepts(Command::DeviceText, Reply({0, 0, 0, 0})));
    EXPECT_TRUE(accepts(Command::DeviceText, Reply({0, 0, 1, 0})));
    EXPECT_TRUE(accepts(Command::DeviceText, Reply({0, 0, 255, 0})));
    EXPECT_FALSE(accepts(Command::DeviceText, Reply({0, 0, 0, 1})));  // 256
    EXPECT_FALSE(accepts(Command::DeviceText, Reply({1, 0, 3, 0})));
    // Status words.
    EXPECT_TRUE(accepts(Command::Capability, Reply({0, 0, 7, 0})));
    EXPECT_FALSE(accepts(Command::Capability, Reply({0, 1})));
    EXPECT_FALSE(accepts(Command::QuitMode, Reply({1, 0})));
    EXPECT_FALSE(accepts(Command::UserStatus, Reply({0, 1})));
    EXPECT_TRUE(accepts(Command::QuitRelease, Reply({0, 9})));
    EXPECT_FALSE(accepts(Command::QuitRelease, Reply({1})));
    // Card commands: the acknowledgement byte.
    for (Command c : {Command::CardStatus, Command::VerifyPin, Command::SetPinRequest, Command::ChangePin,
                      Command::PukStatus, Command::UnblockPin}) {
        EXPECT_TRUE(accepts(c, Reply({0, 0, 1}))) << RowOf(c).name;
        EXPECT_FALSE(accepts(c, Reply({1, 3, 0, 3}))) << RowOf(c).name;
    }
    // Messages: echoes of the packet.
    const Bytes slot = {60, 1, 51, 2, 5};
    EXPECT_TRUE(accepts(Command::SmsRead, Reply({2, 0, 1}, kRequest60LargeReplySize), slot));
    EXPECT_FALSE(accepts(Command::SmsRead, Reply({3, 0, 1}, kRequest60LargeReplySize), slot));
    EXPECT_FALSE(accepts(Command::SmsRead, Reply({2, 0, 0}, kRequest60LargeReplySize), slot));
    const Bytes del = {60, 1, 52, 2, 5};
    EXPECT_TRUE(accepts(Command::SmsDelete, Reply({2, 5, 9}), del));
    EXPECT_FALSE(accepts(Command::SmsDelete, Reply({2, 4}), del));
    Bytes store(kSmsRecordSize, 0);
    store[0] = 60, store[1] = 1, store[2] = 50, store[3] = 2;
    EXPECT_TRUE(accepts(Command::SmsStore, Reply({2, 0, 0, 1}), store));
    EXPECT_FALSE(accepts(Command::SmsStore, Reply({3, 0, 0, 1}), store));
    EXPECT_FALSE(accepts(Command::SmsStore, Reply({2, 0, 0, 2}), store));
    EXPECT_TRUE(accepts(Command::SmsCount, Reply({1, 9}), Bytes{60, 1, 54, 2}));
    // A reply too short for the fields it needs is not accepted (and never read past).
    EXPECT_FALSE(accepts(Command::DeviceText, Bytes{60, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(accepts(Command::CardStatus, Bytes{60, 1, 35}));
}

TEST(Request60Rows, ReadersAndTheDoublesWritersAgree) {
    Bytes reply = EmptyReply(RowOf(Command::DeviceText), Build(RowOf(Command::DeviceText)));
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 3), (Bytes{60, 0, 0}));
    PutDeviceText(reply, "VLM100");
    EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 14),
              (Bytes{0, 0, 6, 0, 'V', 'L', 'M', '1', '0', '0', 0}));
    EXPECT_EQ(ReadDeviceText(reply), "VLM100");
    // A stated length past the reply is cut at the reply's end; a zero ends the text early.
    Bytes longText = Reply({0, 0, 255, 0, 'A', 'B', 'C'});
    EXPECT_EQ(ReadDeviceText(longText), "ABC");
    Bytes full(kRequest60ReplySize, 'x');
    full[5] = 255;
    full[6] = 0;
    EXPECT_EQ(ReadDeviceText(full).size(), kRequest60ReplySize - kTextAt);

    const Row& status = RowOf(Command::UserStatus);
    reply = EmptyReply(status, Build(status));
    PutUserStatus(reply, {1, 0x0250, 1, 0xFFB8, 5, 95, 6, 1});
    EXPECT_EQ(Bytes(reply.begin() + 5, reply.begin() + 9), (Bytes{1, 0, 0x50, 0x02}));
    EXPECT_EQ(ReadUserStatus(reply)[3], 0xFFB8);

    const Row& card = RowOf(Command::CardStatus);
    reply = EmptyReply(card, Build(card));
    PutCard(card, reply, {0, 3, 1, 0});
    EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 7), (Bytes{0, 3, 1, 0}));
    EXPECT_EQ(ReadCard(card, reply), (CardReply{0, 3, 1, 0}));
    // pin_verification belongs to the status only.
    reply[6] = 3;
    EXPECT_EQ(ReadCard(RowOf(Command::VerifyPin), reply).pinVerification, 0);

    const Row& pin = RowOf(Command::SetPinRequest);
    const Bytes packet = Build(pin, Arguments::FlagAndCode(1, "1234"));
    EXPECT_EQ(FlagArgument(packet), 1);
    EXPECT_EQ(CodeArgument(pin, packet), "1234");
    const Row& unblock = RowOf(Command::UnblockPin);
    const Bytes up = Build(unblock, Arguments::Codes("12345678", "4321"));
    EXPECT_EQ(CodeArgument(unblock, up, 1), "4321");
    EXPECT_EQ(CodeArgument(unblock, Bytes{60, 1, 40, '1'}, 1), "");  // too short: no code, no read past

    const Bytes count = Reply({2, 9});
    EXPECT_EQ(ReadSmsCount(Bytes{60, 1, 54, 2}, count), std::optional<uint8_t>(9));
    EXPECT_EQ(ReadSmsCount(Bytes{60, 1, 54, 3}, count), std::nullopt);
    Bytes read(kRequest60LargeReplySize, 0);
    read[3] = 2;
    read[4] = 5;
    read[6] = 0xAB;
    read[1081] = 0xCD;
    read[1082] = 0x34;
    read[1083] = 0x12;
    read[1085] = 0x01;
    const SmsReadReply r = ReadSmsRead(read);
    EXPECT_EQ(r.byte4, 5);
    EXPECT_EQ(r.record.front(), 0xAB);
    EXPECT_EQ(r.record.back(), 0xCD);
    EXPECT_EQ(r.fieldA, 0x1234);
    EXPECT_EQ(r.fieldB, 0x0100);
}

}  // namespace
}  // namespace velmo::manager::r60
