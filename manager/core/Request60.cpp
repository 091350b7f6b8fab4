#include "Request60.h"

#include <algorithm>

namespace velmo::manager::r60 {

namespace {

constexpr uint16_t kMaxTextLength = 255;

void PutCode(wire::MutableBytes packet, size_t at, std::string_view code) {
    wire::LeWriter(packet, at).Text(code.substr(0, std::min(code.size(), kCodeField)), kCodeField);
}

size_t CodeOffset(const Row& row, int which) {
    const size_t first = row.args == Args::FlagCode ? kArgsAt + 1 : kArgsAt;
    return first + static_cast<size_t>(which) * kCodeField;
}

}  // namespace

const Row* FindRow(wire::ConstBytes packet) {
    if (packet.size() <= kCommandAt || packet[0] != kRequest60) {
        return nullptr;
    }
    for (const Row& row : kRows) {
        if (row.command == packet[kCommandAt] && row.version == packet[kVersionAt]) {
            return &row;
        }
    }
    return nullptr;
}

std::vector<uint8_t> Build(const Row& row, const Arguments& args) {
    std::vector<uint8_t> packet(row.requestLength, 0);
    wire::LeWriter w(packet);
    w.U8(kRequest60).U8(row.version).U8(row.command);
    switch (row.args) {
        case Args::None:
            break;
        case Args::Word:
            w.U16(args.word);
            break;
        case Args::Code:
            PutCode(packet, CodeOffset(row, 0), args.code);
            break;
        case Args::FlagCode:
            w.U8(args.flag);
            PutCode(packet, CodeOffset(row, 0), args.code);
            break;
        case Args::TwoCodes:
            PutCode(packet, CodeOffset(row, 0), args.code);
            PutCode(packet, CodeOffset(row, 1), args.secondCode);
            break;
        case Args::SmsRecord:
        case Args::SmsSlot:
        case Args::SmsBox: {
            // The record's own bytes from 3 on, as far as the packet reaches; the header stays ours.
            const size_t from = std::min(args.record.size(), kArgsAt);
            const size_t n = std::min(args.record.size() - from, packet.size() - kArgsAt);
            std::copy_n(args.record.begin() + static_cast<std::ptrdiff_t>(from), n, packet.begin() + kArgsAt);
            break;
        }
    }
    return packet;
}

bool Accepts(const Row& row, wire::ConstBytes request, wire::ConstBytes reply) {
    switch (row.accept) {
        case Accept::StatusAndText: {
            const uint16_t length = wire::Get16(reply, kValueAt);
            return wire::Get16(reply, kStatusAt) == 0 && length >= 1 && length <= kMaxTextLength;
        }
        case Accept::StatusZero:
            return wire::Get16(reply, kStatusAt) == 0;
        case Accept::Byte3Zero:
            return wire::Get8(reply, kArgsAt) == 0;
        case Accept::CardAck:
            return wire::Get8(reply, kCardAckAt) != 0;
        case Accept::SmsStored:
            return wire::Get8(reply, kArgsAt) == wire::Get8(request, kArgsAt) &&
                   wire::Get8(reply, kSmsAckAt) == 1;
        case Accept::SmsReadOk:
            return wire::Get8(reply, kArgsAt) == wire::Get8(request, kArgsAt) &&
                   wire::Get8(reply, kSmsReadAckAt) == 1;
        case Accept::SmsDeleted:
            return wire::Get8(reply, kArgsAt) == wire::Get8(request, kArgsAt) &&
                   wire::Get8(reply, kArgsAt + 1) == wire::Get8(request, kArgsAt + 1);
        case Accept::Answered:
            return true;
    }
    return false;
}

CardReply ReadCard(const Row& row, wire::ConstBytes reply) {
    CardReply card;
    card.enable = wire::Get8(reply, kCardEnableAt);
    card.remainedTime = wire::Get8(reply, kCardAttemptsAt);
    card.uimAck = wire::Get8(reply, kCardAckAt);
    card.pinVerification = row.id == Command::CardStatus ? wire::Get8(reply, kCardVerifyAt) : uint8_t{0};
    return card;
}

std::string ReadDeviceText(wire::ConstBytes reply) {
    wire::LeReader r(reply, kTextAt);
    const size_t length = std::min<size_t>(wire::Get16(reply, kValueAt), r.remaining());
    return r.Text(length);
}

uint16_t ReadValue(wire::ConstBytes reply) {
    return wire::Get16(reply, kValueAt);
}

std::array<uint16_t, kUserStatusWords> ReadUserStatus(wire::ConstBytes reply) {
    std::array<uint16_t, kUserStatusWords> words{};
    wire::LeReader r(reply, kWordsAt);
    for (uint16_t& w : words) {
        w = r.U16();
    }
    return words;
}

SmsAck ReadSmsAck(wire::ConstBytes reply) {
    return {wire::Get8(reply, kArgsAt), wire::Get8(reply, kArgsAt + 1), wire::Get8(reply, kArgsAt + 2)};
}

SmsReadReply ReadSmsRead(wire::ConstBytes reply) {
    SmsReadReply out;
    out.byte3 = wire::Get8(reply, kArgsAt);
    out.byte4 = wire::Get8(reply, kArgsAt + 1);
    wire::LeReader(reply, kSmsReadRecordAt).Bytes(out.record);
    out.fieldA = wire::Get16(reply, kSmsReadFieldAAt);
    out.fieldB = wire::Get16(reply, kSmsReadFieldBAt);
    return out;
}

std::optional<uint8_t> ReadSmsCount(wire::ConstBytes request, wire::ConstBytes reply) {
    if (wire::Get8(reply, kArgsAt) != wire::Get8(request, kArgsAt)) {
        return std::nullopt;
    }
    return wire::Get8(reply, kSmsCountAt);
}

std::string CodeArgument(const Row& row, wire::ConstBytes packet, int which) {
    return wire::LeReader(packet, CodeOffset(row, which)).Text(kCodeField);
}

uint8_t FlagArgument(wire::ConstBytes packet) {
    return wire::Get8(packet, kArgsAt);
}

uint16_t WordArgument(wire::ConstBytes packet) {
    return wire::Get16(packet, kArgsAt);
}

std::vector<uint8_t> EmptyReply(const Row& row, wire::ConstBytes packet) {
    std::vector<uint8_t> reply(ReplySize(row), 0);
    std::copy_n(packet.begin(), std::min(packet.size(), kArgsAt), reply.begin());
    return reply;
}

void PutStatus(wire::MutableBytes reply, uint16_t status) {
    wire::Put16(reply, kStatusAt, status);
}

void PutValue(wire::MutableBytes reply, uint16_t value) {
    wire::Put16(reply, kValueAt, value);
}

void PutDeviceText(wire::MutableBytes reply, std::string_view text) {
    wire::Put16(reply, kValueAt, static_cast<uint16_t>(text.size()));
    wire::LeWriter(reply, kTextAt).Text(text, text.size() + 1);
}

void PutUserStatus(wire::MutableBytes reply, const std::array<uint16_t, kUserStatusWords>& words) {
    wire::LeWriter w(reply, kWordsAt);
    for (uint16_t word : words) {
        w.U16(word);
    }
}

void PutCard(const Row& row, wire::MutableBytes reply, const CardReply& card) {
    wire::Put8(reply, kCardEnableAt, card.enable);
    wire::Put8(reply, kCardAttemptsAt, card.remainedTime);
    wire::Put8(reply, kCardAckAt, card.uimAck);
    if (row.id == Command::CardStatus) {
        wire::Put8(reply, kCardVerifyAt, card.pinVerification);
    }
}

}  // namespace velmo::manager::r60
