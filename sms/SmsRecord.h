// Short messages as the modem keeps them: the 1079-byte record, the four boxes, and the request-60 packets
// (count 54, read 51, store 50, delete 52) with the rules by which their replies are accepted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmo::sms {

inline constexpr size_t kRecordSize = 1079;
inline constexpr size_t kSlotAt = 0;
inline constexpr size_t kPriorityAt = 1;
inline constexpr size_t kDeliveryReportAt = 2;
inline constexpr size_t kTimeStampAt = 3;
inline constexpr size_t kAttributeAt = 7;
inline constexpr size_t kNumberLengthAt = 8;
inline constexpr size_t kNumberAt = 9;
inline constexpr size_t kOwnNumberLengthAt = 41;
inline constexpr size_t kOwnNumberAt = 42;
inline constexpr size_t kTextLengthAt = 74;
inline constexpr size_t kTextAt = 76;
inline constexpr size_t kReadStatusAt = 1076;

inline constexpr size_t kNumberField = 32;
inline constexpr size_t kTextField = 1000;
// Composed texts are cut to this many UTF-16 code units.
inline constexpr size_t kMaxTextUnits = 260;

inline constexpr uint8_t kRequest60 = 0x3C;
inline constexpr uint8_t kVersion = 0x01;
inline constexpr uint8_t kStoreCommand = 0x32;
inline constexpr uint8_t kReadCommand = 0x33;
inline constexpr uint8_t kDeleteCommand = 0x34;
inline constexpr uint8_t kCountCommand = 0x36;
inline constexpr size_t kStoreRequestSize = 5 + kRecordSize;
inline constexpr size_t kReplySize = 128;
inline constexpr size_t kReadReplySize = 1086;
inline constexpr size_t kReadRecordAt = 6;

inline constexpr uint8_t kSendBoxCode = 8;        // a store that only sends names this pseudo box
inline constexpr uint8_t kDeleteWholeBox = 0xFF;  // delete slot: every message of the box
inline constexpr uint8_t kSendRefused = 4;        // store status: a send failed
inline constexpr uint8_t kDraftRefused = 0xFF;    // store status: a draft was not stored
inline constexpr uint16_t kRead = 1;
inline constexpr uint16_t kNotRead = 3;

enum class Priority : uint8_t { Normal = 0, Interactive = 1, Urgent = 2, Emergency = 3 };

struct Message {
    uint8_t slot = 0;
    uint8_t priority = 0;
    bool deliveryReport = false;
    uint32_t timeStamp = 0;
    uint8_t attribute = 0;
    std::string number;     // the other party, ASCII
    std::string ownNumber;  // the modem's directory number, ASCII
    std::u16string text;
    uint16_t readStatus = 0;
    bool operator==(const Message&) const = default;
};

std::array<uint8_t, kRecordSize> Encode(const Message& m);
// Reads a record; missing bytes read as zero, a text length that is odd or above the field is clamped.
Message Decode(std::span<const uint8_t> record);

enum class Box : uint8_t { InBox = 0, SavedBox = 1, OutBox = 2, DraftBox = 3 };
inline constexpr size_t kBoxCount = 4;

struct BoxInfo {
    Box box;
    const char* button;  // the pane's button text
    const char* name;    // the client's word for it
    uint8_t countCode;
    uint8_t boxCode;
    int capacity;  // messages allowed before a store is refused; 0: no limit
};

inline constexpr std::array<BoxInfo, kBoxCount> kBoxes{{
    {Box::InBox, "InBox", "inbox", 4, 1, 0},
    {Box::SavedBox, "SavedBox", "saved", 7, 3, 20},
    {Box::OutBox, "OutBox", "outbox", 5, 0, 30},
    {Box::DraftBox, "DraftBox", "drafts", 6, 4, 10},
}};

constexpr const BoxInfo& Info(Box b) {
    return kBoxes[static_cast<size_t>(b)];
}
std::optional<Box> BoxNamed(std::string_view name);
std::optional<Box> BoxOfCode(uint8_t boxCode);
std::optional<Box> BoxOfCountCode(uint8_t countCode);

enum class StoreOp : uint8_t { Send = 0, Draft = 1, SentCopy = 2, SavedCopy = 3, Rewrite = 4 };

std::array<uint8_t, 4> CountRequest(Box b);
std::array<uint8_t, 5> ReadRequest(Box b, uint8_t position);
std::array<uint8_t, kStoreRequestSize> StoreRequest(StoreOp op, uint8_t boxCode, const Message& m);
std::array<uint8_t, 5> DeleteRequest(Box b, uint8_t slot);

// Each takes the operation's result (0 done) and its reply; nullopt / false when the reply is not accepted.
// An accepted count whose reply names another count code counts 0.
std::optional<uint8_t> CountOf(int32_t result, Box b, std::span<const uint8_t> reply);
std::optional<Message> ReadOf(int32_t result, Box b, std::span<const uint8_t> reply);
// The store status of an accepted store.
std::optional<uint8_t> StoreStatusOf(int32_t result, StoreOp op, std::span<const uint8_t> reply);
bool DeleteAccepted(int32_t result, Box b, uint8_t slot, std::span<const uint8_t> reply);
// Whether an accepted store with this status did what was asked.
bool StoreSucceeded(StoreOp op, uint8_t status);

// UTF-8 and UTF-16; invalid UTF-8 and unpaired surrogates become U+FFFD.
std::u16string FromUtf8(std::string_view text);
std::string ToUtf8(std::u16string_view text);
// At most units code units, never ending inside a surrogate pair.
std::u16string Cut(std::u16string_view text, size_t units = kMaxTextUnits);

// Why a number cannot be sent: empty, longer than the record holds, or not a dial string.
std::optional<std::string> NumberRefusal(const std::string& number);

}  // namespace velmo::sms
