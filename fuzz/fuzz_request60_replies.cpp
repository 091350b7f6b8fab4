// The manager's request-60 rows: packets, accept rules and reply readers. Input: one byte choosing the row,
// one byte of flags (bit 0: the reply as received, of any length, instead of the row's reply size), then the
// payload, from which the builder's arguments and the reply are taken. Packet and reply lie in heap blocks of
// exactly their sizes, so that ASan reports any read past either. Checked: the packet has the row's length
// and header and finds its row again, its arguments read back as given, the readers agree with the reply's
// bytes, an accepted device text states a length of 1 to 255, and replies made by the writers are accepted
// and read back as written.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "manager/core/Request60.h"

using namespace velmo::manager::r60;
namespace wire = velmo::wire;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// A copy of bytes in a heap block of exactly their size.
struct Block {
    explicit Block(std::span<const uint8_t> bytes) : data(new uint8_t[bytes.empty() ? 1 : bytes.size()]) {
        std::copy(bytes.begin(), bytes.end(), data.get());
        size = bytes.size();
    }
    std::span<const uint8_t> View() const { return {data.get(), size}; }
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

std::string_view TextOf(std::span<const uint8_t> bytes, size_t at, size_t n) {
    if (at >= bytes.size()) {
        return {};
    }
    n = std::min(n, bytes.size() - at);
    return {reinterpret_cast<const char*>(bytes.data() + at), n};
}

// A code field as the packet carries it: at most 8 characters, up to the first zero.
std::string FieldOf(std::string_view code) {
    code = code.substr(0, std::min(code.size(), kCodeField));
    return std::string(code.substr(0, code.find('\0')));
}

void CheckPacket(const Row& row, const Arguments& args, std::span<const uint8_t> packet) {
    Check(packet.size() == row.requestLength);
    Check(packet[0] == kRequest60 && packet[kVersionAt] == row.version && packet[kCommandAt] == row.command);
    Check(FindRow(packet) == &row);
    switch (row.args) {
        case Args::None:
            Check(std::all_of(packet.begin() + kArgsAt, packet.end(), [](uint8_t b) { return b == 0; }));
            break;
        case Args::Word:
            Check(WordArgument(packet) == args.word);
            break;
        case Args::Code:
            Check(CodeArgument(row, packet) == FieldOf(args.code));
            break;
        case Args::FlagCode:
            Check(FlagArgument(packet) == args.flag);
            Check(CodeArgument(row, packet) == FieldOf(args.code));
            break;
        case Args::TwoCodes:
            Check(CodeArgument(row, packet, 0) == FieldOf(args.code));
            Check(CodeArgument(row, packet, 1) == FieldOf(args.secondCode));
            break;
        case Args::SmsRecord:
        case Args::SmsSlot:
        case Args::SmsBox:
            // The record's bytes from 3 on, zero where the record ends.
            for (size_t i = kArgsAt; i < packet.size(); ++i) {
                Check(packet[i] == (i < args.record.size() ? args.record[i] : 0));
            }
            break;
    }
}

void CheckReaders(const Row& row, std::span<const uint8_t> request, std::span<const uint8_t> reply) {
    const bool accepted = Accepts(row, request, reply);
    const uint16_t status = wire::Get16(reply, kStatusAt);

    const std::string text = ReadDeviceText(reply);
    const uint16_t stated = ReadValue(reply);
    Check(stated == wire::Get16(reply, kValueAt));
    Check(text.size() <= stated && text.find('\0') == std::string::npos);
    Check(text == TextOf(reply, kTextAt, text.size()));
    if (row.accept == Accept::StatusAndText) {
        Check(accepted == (status == 0 && stated >= 1 && stated <= 255));
    }
    if (row.accept == Accept::StatusZero) {
        Check(accepted == (status == 0));
    }
    if (row.accept == Accept::Byte3Zero) {
        Check(accepted == (wire::Get8(reply, kArgsAt) == 0));
    }

    const CardReply card = ReadCard(row, reply);
    Check(card.enable == wire::Get8(reply, kCardEnableAt) &&
          card.remainedTime == wire::Get8(reply, kCardAttemptsAt) &&
          card.uimAck == wire::Get8(reply, kCardAckAt));
    Check(card.pinVerification == (row.id == Command::CardStatus ? wire::Get8(reply, kCardVerifyAt) : 0));
    if (row.accept == Accept::CardAck) {
        Check(accepted == (card.uimAck != 0));
    }

    const auto words = ReadUserStatus(reply);
    for (size_t i = 0; i < words.size(); ++i) {
        const size_t at = kWordsAt + 2 * i;
        Check(words[i] == (wire::Fits(reply.size(), at, 2) ? wire::Get16(reply, at) : 0));
    }

    const SmsAck ack = ReadSmsAck(reply);
    Check(ack.byte3 == wire::Get8(reply, kArgsAt) && ack.byte4 == wire::Get8(reply, kArgsAt + 1) &&
          ack.byte5 == wire::Get8(reply, kArgsAt + 2));
    if (row.accept == Accept::SmsDeleted) {
        Check(accepted ==
              (ack.byte3 == wire::Get8(request, kArgsAt) && ack.byte4 == wire::Get8(request, kArgsAt + 1)));
    }
    if (row.accept == Accept::SmsStored) {
        Check(accepted == (ack.byte3 == wire::Get8(request, kArgsAt) && wire::Get8(reply, kSmsAckAt) == 1));
    }

    const auto read = std::make_unique<SmsReadReply>(ReadSmsRead(reply));
    for (size_t i = 0; i < read->record.size(); ++i) {
        // Past the reply's end the record is zero-filled.
        const size_t at = kSmsReadRecordAt + i;
        Check(read->record[i] == (at < reply.size() ? reply[at] : 0));
    }
    Check(read->fieldA == wire::Get16(reply, kSmsReadFieldAAt) &&
          read->fieldB == wire::Get16(reply, kSmsReadFieldBAt));
    if (row.accept == Accept::SmsReadOk) {
        Check(accepted ==
              (read->byte3 == wire::Get8(request, kArgsAt) && wire::Get8(reply, kSmsReadAckAt) == 1));
    }

    const std::optional<uint8_t> count = ReadSmsCount(request, reply);
    Check(count.has_value() == (wire::Get8(reply, kArgsAt) == wire::Get8(request, kArgsAt)));
    Check(!count || *count == wire::Get8(reply, kSmsCountAt));
    if (row.accept == Accept::Answered) {
        Check(accepted);
    }
}

// A reply made by the writers for the packet, with the fields taken from the payload; it must read back as
// written, and it is made acceptable where the row's rule allows.
void CheckWriters(const Row& row, std::span<const uint8_t> packet, std::span<const uint8_t> payload) {
    std::vector<uint8_t> reply = EmptyReply(row, packet);
    Check(reply.size() == ReplySize(row));
    Check(std::equal(packet.begin(), packet.begin() + kArgsAt, reply.begin()));
    const Block empty(reply);
    CheckReaders(row, packet, empty.View());

    switch (row.accept) {
        case Accept::StatusAndText: {
            // Text up to its first zero, at least one character and as many as the reply holds with its zero.
            std::string text(TextOf(payload, 0, std::min<size_t>(255, ReplySize(row) - kTextAt - 1)));
            text = text.substr(0, text.find('\0'));
            if (text.empty()) {
                text = "x";
            }
            PutStatus(reply, 0);
            PutDeviceText(reply, text);
            const Block b(reply);
            Check(Accepts(row, packet, b.View()));
            Check(ReadDeviceText(b.View()) == text && ReadValue(b.View()) == text.size());
            break;
        }
        case Accept::StatusZero: {
            const uint16_t value = wire::Get16(payload, 0);
            PutStatus(reply, 0);
            PutValue(reply, value);
            std::array<uint16_t, kUserStatusWords> words{};
            if (row.id == Command::UserStatus) {
                for (size_t i = 0; i < words.size(); ++i) {
                    words[i] = wire::Get16(payload, 2 + 2 * i);
                }
                PutUserStatus(reply, words);
            }
            const Block b(reply);
            Check(Accepts(row, packet, b.View()));
            if (row.id == Command::UserStatus) {
                Check(ReadUserStatus(b.View()) == words);
            } else {
                Check(ReadValue(b.View()) == value);
            }
            break;
        }
        case Accept::Byte3Zero: {
            const Block b(reply);
            Check(Accepts(row, packet, b.View()));
            break;
        }
        case Accept::CardAck: {
            CardReply card{wire::Get8(payload, 0), wire::Get8(payload, 1), wire::Get8(payload, 2),
                           wire::Get8(payload, 3)};
            if (row.id != Command::CardStatus) {
                card.pinVerification = 0;
            }
            PutCard(row, reply, card);
            const Block b(reply);
            Check(ReadCard(row, b.View()) == card);
            Check(Accepts(row, packet, b.View()) == (card.uimAck != 0));
            break;
        }
        case Accept::SmsStored:
            wire::Put8(reply, kArgsAt, wire::Get8(packet, kArgsAt));
            wire::Put8(reply, kSmsAckAt, 1);
            break;
        case Accept::SmsReadOk:
            wire::Put8(reply, kArgsAt, wire::Get8(packet, kArgsAt));
            wire::Put8(reply, kSmsReadAckAt, 1);
            break;
        case Accept::SmsDeleted:
            wire::Put8(reply, kArgsAt, wire::Get8(packet, kArgsAt));
            wire::Put8(reply, kArgsAt + 1, wire::Get8(packet, kArgsAt + 1));
            break;
        case Accept::Answered:
            break;
    }
    const Block b(reply);
    if (row.accept != Accept::CardAck) {
        Check(Accepts(row, packet, b.View()));
    }
    CheckReaders(row, packet, b.View());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];
    const Row& row = kRows[data[0] % kRowCount];
    const bool asReceived = (data[1] & 1) != 0;
    const Block payload(std::span(data + 2, size - 2));
    const std::span<const uint8_t> in = payload.View();

    // Builder arguments from the payload's head; the codes run past 8 characters so that the cut is seen.
    Arguments args;
    args.word = wire::Get16(in, 0);
    args.flag = wire::Get8(in, 2);
    const std::string code(TextOf(in, 3, 10));
    const std::string second(TextOf(in, 13, 10));
    args.code = code;
    args.secondCode = second;
    args.record = in;
    const std::vector<uint8_t> built = Build(row, args);
    const Block packet(built);
    CheckPacket(row, args, packet.View());

    // Whatever packet the payload is, a row found for it has its command and version.
    if (const Row* found = FindRow(in)) {
        Check(in.size() > kCommandAt && found->command == in[kCommandAt] && found->version == in[kVersionAt]);
    }

    // The reply: the payload cut or zero-padded to the row's size, or as received.
    std::vector<uint8_t> replyBytes(in.begin(), in.end());
    if (!asReceived) {
        replyBytes.resize(ReplySize(row), 0);
    }
    const Block reply(replyBytes);
    CheckReaders(row, packet.View(), reply.View());
    CheckWriters(row, packet.View(), in);
    return 0;
}
