// Request 60 (0x3C), the modem's user-level commands: one row per sub-command gives its command and version
// bytes, the request length, whether the answer comes in the large reply, how its arguments are laid out and
// what makes its answer acceptable. The request builders, the acceptors, the reply readers and the reply
// writers of the test doubles are all derived from these rows and the offsets below.
//
//   packet: 0 = 0x3C, 1 = version, 2 = command, 3.. arguments
//   reply:  128 bytes (1086 for the large form), the answer from byte 3 on
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "velmo/IOrvikModem.h"
#include "wire/LeCursor.h"

namespace velmo::manager::r60 {

inline constexpr uint8_t kRequest60 = 0x3C;
// Card codes travel in 8-byte fields, at most 8 characters, zero-filled.
inline constexpr size_t kCodeField = 8;
// The caller's short-message record; its bytes 3 and on follow the header of command 50.
inline constexpr size_t kSmsRecordSize = 1084;

// Where the fields sit in packets and replies.
inline constexpr size_t kVersionAt = 1;
inline constexpr size_t kCommandAt = 2;
inline constexpr size_t kArgsAt = 3;
inline constexpr size_t kStatusAt = 3;  // 16-bit status word (commands 0, 5, 34)
inline constexpr size_t kValueAt = 5;   // 16-bit value or text length after the status word
inline constexpr size_t kTextAt = 7;    // identity text of command 0 version 0
inline constexpr size_t kWordsAt = 5;   // the eight user-status words of command 34
inline constexpr size_t kUserStatusWords = 8;
inline constexpr size_t kCardEnableAt = 3;     // commands 35 to 40: PIN-request state,
inline constexpr size_t kCardAttemptsAt = 4;   // attempts left,
inline constexpr size_t kCardAckAt = 5;        // acknowledgement,
inline constexpr size_t kCardVerifyAt = 6;     // and, for 35 only, the PIN verification state
inline constexpr size_t kSmsAckAt = 6;         // command 50: 1 when stored
inline constexpr size_t kSmsReadAckAt = 5;     // command 51: 1 when read
inline constexpr size_t kSmsReadRecordAt = 6;  // command 51: the record
inline constexpr size_t kSmsReadRecordSize = 1076;
inline constexpr size_t kSmsReadFieldAAt = 1082;
inline constexpr size_t kSmsReadFieldBAt = 1084;
inline constexpr size_t kSmsCountAt = 4;  // command 54

enum class Command : uint8_t {
    DeviceText,     // 0 version 0: identity text (also the Ethernet keep-alive)
    Capability,     // 0 version 1: what the device reports of itself
    QuitMode,       // 5: the first quit packet
    QuitRelease,    // 16: the second quit packet
    UserStatus,     // 34: the periodic user status
    CardStatus,     // 35
    VerifyPin,      // 36
    SetPinRequest,  // 37
    ChangePin,      // 38
    PukStatus,      // 39
    UnblockPin,     // 40
    SmsStore,       // 50
    SmsRead,        // 51
    SmsDelete,      // 52
    SmsCount,       // 54
};

// How the arguments follow the three header bytes.
enum class Args : uint8_t {
    None,
    Word,       // one 16-bit value
    Code,       // one code field
    FlagCode,   // a flag byte, then a code field
    TwoCodes,   // two code fields
    SmsRecord,  // bytes 3.. of the caller's record
    SmsSlot,    // bytes 3 and 4 of the caller's record
    SmsBox,     // byte 3 of the caller's record
};

// What makes an answer acceptable (beyond the call itself succeeding).
enum class Accept : uint8_t {
    StatusAndText,  // status word 0 and a text length of 1 to 255
    StatusZero,     // status word 0
    Byte3Zero,      // byte 3 is 0
    CardAck,        // the acknowledgement byte is not 0
    SmsStored,      // byte 3 echoes the packet's byte 3 and byte 6 is 1
    SmsReadOk,      // byte 3 echoes the packet's byte 3 and byte 5 is 1
    SmsDeleted,     // bytes 3 and 4 echo the packet
    Answered,       // any answer
};

struct Row {
    Command id;
    const char* name;
    uint8_t command;
    uint8_t version;
    uint16_t requestLength;
    bool large;
    Args args;
    Accept accept;
    // Codes typed by the user or message contents travel in the arguments.
    bool personal;
};

inline constexpr Row kRows[] = {
    {Command::DeviceText, "device text", 0, 0, 3, false, Args::None, Accept::StatusAndText, false},
    {Command::Capability, "capability", 0, 1, 3, false, Args::None, Accept::StatusZero, false},
    {Command::QuitMode, "quit mode", 5, 0, 5, false, Args::Word, Accept::StatusZero, false},
    {Command::QuitRelease, "quit release", 16, 0, 3, false, Args::None, Accept::Byte3Zero, false},
    {Command::UserStatus, "user status", 34, 1, 5, false, Args::Word, Accept::StatusZero, false},
    {Command::CardStatus, "get uim status", 35, 1, 3, false, Args::None, Accept::CardAck, false},
    {Command::VerifyPin, "PIN verify", 36, 1, 11, false, Args::Code, Accept::CardAck, true},
    {Command::SetPinRequest, "PIN request", 37, 1, 12, false, Args::FlagCode, Accept::CardAck, true},
    {Command::ChangePin, "PIN change", 38, 1, 19, false, Args::TwoCodes, Accept::CardAck, true},
    {Command::PukStatus, "PUK check", 39, 1, 3, false, Args::None, Accept::CardAck, false},
    {Command::UnblockPin, "PIN unblock", 40, 1, 19, false, Args::TwoCodes, Accept::CardAck, true},
    {Command::SmsStore, "message store", 50, 1, kSmsRecordSize, false, Args::SmsRecord, Accept::SmsStored,
     true},
    {Command::SmsRead, "message read", 51, 1, 5, true, Args::SmsSlot, Accept::SmsReadOk, false},
    {Command::SmsDelete, "message delete", 52, 1, 5, false, Args::SmsSlot, Accept::SmsDeleted, false},
    {Command::SmsCount, "message count", 54, 1, 4, false, Args::SmsBox, Accept::Answered, false},
};

constexpr const Row& RowOf(Command id) {
    for (const Row& row : kRows) {
        if (row.id == id) {
            return row;
        }
    }
    return kRows[0];
}

// The row a packet belongs to (by command and version), or null.
const Row* FindRow(wire::ConstBytes packet);

constexpr size_t ReplySize(const Row& row) {
    return row.large ? kRequest60LargeReplySize : kRequest60ReplySize;
}

// The arguments a builder takes; each row reads the ones its layout names.
struct Arguments {
    uint16_t word = 0;
    uint8_t flag = 0;
    std::string_view code;
    std::string_view secondCode;
    // The caller's short-message record (kSmsRecordSize bytes; shorter ones are zero-extended).
    wire::ConstBytes record;

    static Arguments Word(uint16_t value) {
        Arguments a;
        a.word = value;
        return a;
    }
    static Arguments Codes(std::string_view first, std::string_view second = {}) {
        Arguments a;
        a.code = first;
        a.secondCode = second;
        return a;
    }
    static Arguments FlagAndCode(uint8_t flag, std::string_view code) {
        Arguments a;
        a.flag = flag;
        a.code = code;
        return a;
    }
    static Arguments Record(wire::ConstBytes record) {
        Arguments a;
        a.record = record;
        return a;
    }
};

// The whole packet of a row, exactly requestLength bytes.
std::vector<uint8_t> Build(const Row& row, const Arguments& args = {});

// The row's accept rule on a reply (the call having succeeded).
bool Accepts(const Row& row, wire::ConstBytes request, wire::ConstBytes reply);

// Readers of the answers.
struct CardReply {
    uint8_t enable = 0;
    uint8_t remainedTime = 0;
    uint8_t uimAck = 0;
    uint8_t pinVerification = 0;  // command 35 only

    bool operator==(const CardReply&) const = default;
};
CardReply ReadCard(const Row& row, wire::ConstBytes reply);
// The identity text: at most its stated length, never past the reply, up to a zero.
std::string ReadDeviceText(wire::ConstBytes reply);
uint16_t ReadValue(wire::ConstBytes reply);
std::array<uint16_t, kUserStatusWords> ReadUserStatus(wire::ConstBytes reply);
// Bytes 3..5 of a store or delete answer.
struct SmsAck {
    uint8_t byte3 = 0;
    uint8_t byte4 = 0;
    uint8_t byte5 = 0;

    bool operator==(const SmsAck&) const = default;
};
SmsAck ReadSmsAck(wire::ConstBytes reply);
struct SmsReadReply {
    uint8_t byte3 = 0;
    uint8_t byte4 = 0;
    std::array<uint8_t, kSmsReadRecordSize> record{};
    uint16_t fieldA = 0;  // bytes 1082..1083
    uint16_t fieldB = 0;  // bytes 1084..1085
};
SmsReadReply ReadSmsRead(wire::ConstBytes reply);
// The count of command 54, returned only when byte 3 echoes the packet.
std::optional<uint8_t> ReadSmsCount(wire::ConstBytes request, wire::ConstBytes reply);

// Readers of the arguments, for the test doubles that answer these packets.
std::string CodeArgument(const Row& row, wire::ConstBytes packet, int which = 0);
uint8_t FlagArgument(wire::ConstBytes packet);
uint16_t WordArgument(wire::ConstBytes packet);

// Writers of answers, for the test doubles: a zeroed reply of the row's size with the header echoed, and the
// fields the readers above take.
std::vector<uint8_t> EmptyReply(const Row& row, wire::ConstBytes packet);
void PutStatus(wire::MutableBytes reply, uint16_t status);
void PutValue(wire::MutableBytes reply, uint16_t value);
void PutDeviceText(wire::MutableBytes reply, std::string_view text);
void PutUserStatus(wire::MutableBytes reply, const std::array<uint16_t, kUserStatusWords>& words);
void PutCard(const Row& row, wire::MutableBytes reply, const CardReply& card);

}  // namespace velmo::manager::r60
