// The diagnostic commands, described once. The request builder, the reply dispatcher, the reply blocks, the
// waits and the modem stand-in's answers all read this table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "velmo/IOrvikModem.h"

namespace velmo::protocol {

enum CommandCode : uint8_t {
    VersionRequest = 0x00,
    StatusRequest = 0x0C,
    LogRequest = 0x10,
    ErrorBadCommand = 0x13,  // sent by the modem instead of a reply it cannot give
    ErrorBadParameter = 0x14,
    ErrorBadLength = 0x15,
    TimeRequest = 0x1D,
    ReportLevelRequest = 0x1F,
    Block32Request = 0x20,
    Block34Request = 0x22,
    NvReadRequest = 0x26,
    NvWriteRequest = 0x27,
    ModeRequest = 0x29,
    Request60 = 0x3C,
    SpcRequest = 0x41,
    PrlBlockRequest = 0x48,
    PrlReadRequest = 0x49,
    SubsystemRequest = 0x4B,
    EventReportRequest = 0x5D,
    MessagePacket = 0x60,
    EventPacket = 0x79,
    ExtVersionRequest = 0x7C,
    VendorPacket = 0xE0,
};

// How BuildRequest takes a request's fields from the request buffer p.
enum class RequestLayout : uint8_t {
    NoFields,     // the code byte only
    Fields,       // p[from] .. p[from + count - 1]
    ModeWord,     // p[1], then a zero high byte
    Request60,    // sub-command dependent
    Subsystem,    // subsystem dependent
    Unsupported,  // the builder refuses the code
};

// How a reply of the code is kept.
enum class ReplyKind : uint8_t {
    NotKept,  // releases a wait but keeps nothing
    Block,    // copied into the code's reply block (replySize bytes)
    Log,      // streamed log packet, decoded into the log block
    Vendor,   // vendor packet: unsolicited reports
};

// How the operation that sends the command waits.
enum class WaitKind : uint8_t {
    None,   // sends and returns at once
    Reply,  // WaitReply(timeout)
    Event,  // waits on the response event for kEventWaitMs in every mode
};

struct CommandRow {
    uint8_t code = 0;
    const char* name = nullptr;  // null: not a command the library sends or keeps
    RequestLayout layout = RequestLayout::NoFields;
    uint8_t from = 0;
    uint16_t count = 0;
    ReplyKind reply = ReplyKind::NotKept;
    uint16_t replySize = 0;
    WaitKind wait = WaitKind::None;
    uint16_t timeoutMs = 0;
    bool releasesWaiter = true;  // false for the streaming codes
};

inline constexpr uint32_t kEventWaitMs = 1000;
inline constexpr uint32_t kSerialWaitMs = 5000;

inline constexpr size_t kVersionReplySize = 55;
inline constexpr size_t kStatusReplySize = 48;
inline constexpr size_t kTimeReplySize = 9;
inline constexpr size_t kReportLevelReplySize = 87;
inline constexpr size_t kBlock32ReplySize = 3;
inline constexpr size_t kBlock34ReplySize = 107;
inline constexpr size_t kNvBlockSize = 133;
inline constexpr size_t kModeReplySize = 3;
inline constexpr size_t kRequest60ReplySize = 128;
inline constexpr size_t kRequest60LargeReplySize = 1086;
inline constexpr uint8_t kRequest60LargeSubcommand = 0x33;
inline constexpr size_t kSpcReplySize = 2;
inline constexpr size_t kPrlBlockReplySize = 4;
inline constexpr size_t kPrlReadReplySize = 128;
inline constexpr size_t kSubsystemReplySize = 44;
inline constexpr size_t kExtVersionReplySize = 62;
inline constexpr size_t kEventReportRequestSize = 110;
inline constexpr uint16_t kEventReportSubcommand = 854;
inline constexpr size_t kReportLevelRequestSize = 87;
inline constexpr size_t kRequestBufferSize = 2048;
inline constexpr size_t kRequest60BulkSize = 1081;

namespace detail {

constexpr bool IsUnsupported(unsigned c) {
    return (c >= 0x13 && c <= 0x18) || c == 0x33 || c == 0x34 || (c >= 0x37 && c <= 0x39) || c == 0x42 ||
           c == 0x47 || c == 0x4A || c == 0x4C || c == 0x52 || (c >= 0x55 && c <= 0x5C) ||
           (c >= 0x5E && c <= 0x7B) || c >= 0x7D;
}

constexpr CommandRow Row(uint8_t code, const char* name, RequestLayout layout, uint8_t from, uint16_t count,
                         ReplyKind reply, uint16_t replySize, WaitKind wait, uint16_t timeoutMs) {
    CommandRow r;
    r.code = code;
    r.name = name;
    r.layout = layout;
    r.from = from;
    r.count = count;
    r.reply = reply;
    r.replySize = replySize;
    r.wait = wait;
    r.timeoutMs = timeoutMs;
    return r;
}

constexpr std::array<CommandRow, 256> MakeTable() {
    using L = RequestLayout;
    using R = ReplyKind;
    using W = WaitKind;
    std::array<CommandRow, 256> t{};
    for (unsigned c = 0; c < 256; ++c) {
        t[c].code = static_cast<uint8_t>(c);
        t[c].layout = IsUnsupported(c) ? L::Unsupported : L::NoFields;
    }
    // Builder rows that are not commands of their own.
    t[0x0F] = Row(0x0F, nullptr, L::Fields, 0, 4, R::NotKept, 0, W::None, 0);
    t[0x35] = Row(0x35, nullptr, L::Fields, 1, 35, R::NotKept, 0, W::None, 0);
    for (uint8_t c : {0x3B, 0x3D, 0x3E}) {
        t[c] = Row(c, nullptr, L::Fields, 1, 6, R::NotKept, 0, W::None, 0);
    }
    t[0x46] = Row(0x46, nullptr, L::Fields, 0, 8, R::NotKept, 0, W::None, 0);

    // The command table proper.
    t[0x00] = Row(0x00, "VersionRequest", L::NoFields, 0, 0, R::Block, kVersionReplySize, W::Reply, 6000);
    t[0x0C] = Row(0x0C, "StatusRequest", L::NoFields, 0, 0, R::Block, kStatusReplySize, W::Reply, 3000);
    t[0x10] = Row(0x10, "LogRequest", L::NoFields, 0, 0, R::Log, 0, W::None, 0);
    t[0x1D] = Row(0x1D, "TimeRequest", L::NoFields, 0, 0, R::Block, kTimeReplySize, W::Reply, 3000);
    t[0x1F] = Row(0x1F, "ReportLevelRequest", L::Fields, 1, 86, R::Block, kReportLevelReplySize, W::None, 0);
    t[0x20] = Row(0x20, "Block32Request", L::Fields, 0, 3, R::Block, kBlock32ReplySize, W::Event, 1000);
    t[0x22] = Row(0x22, "Block34Request", L::NoFields, 0, 0, R::Block, kBlock34ReplySize, W::Event, 1000);
    t[0x26] = Row(0x26, "NvReadRequest", L::Fields, 1, 132, R::Block, kNvBlockSize, W::Reply, 6000);
    t[0x27] = Row(0x27, "NvWriteRequest", L::Fields, 1, 132, R::Block, kNvBlockSize, W::Reply, 3000);
    t[0x29] = Row(0x29, "ModeRequest", L::ModeWord, 1, 1, R::Block, kModeReplySize, W::Event, 1000);
    t[0x3C] = Row(0x3C, "Request60", L::Request60, 1, 2, R::Block, kRequest60LargeReplySize, W::Reply, 6000);
    t[0x41] = Row(0x41, "SpcRequest", L::Fields, 1, 6, R::Block, kSpcReplySize, W::Reply, 3000);
    t[0x48] = Row(0x48, "PrlBlockRequest", L::Fields, 1, 125, R::Block, kPrlBlockReplySize, W::Reply, 3000);
    t[0x49] = Row(0x49, "PrlReadRequest", L::Fields, 1, 2, R::Block, kPrlReadReplySize, W::Reply, 3000);
    t[0x4B] =
        Row(0x4B, "SubsystemRequest", L::Subsystem, 1, 3, R::Block, kSubsystemReplySize, W::Reply, 3000);
    t[0x5D] = Row(0x5D, "EventReportRequest", L::Fields, 1, 109, R::NotKept, 0, W::Reply, 6000);
    t[0x7C] =
        Row(0x7C, "ExtVersionRequest", L::NoFields, 0, 0, R::Block, kExtVersionReplySize, W::Reply, 3000);
    t[0xE0] = Row(0xE0, "VendorPacket", L::Unsupported, 0, 0, R::Vendor, 0, W::None, 0);

    // Streaming codes never end a wait.
    for (uint8_t c : {0x10, 0x1F, 0x60, 0x79}) {
        t[c].releasesWaiter = false;
    }
    return t;
}

}  // namespace detail

inline constexpr std::array<CommandRow, 256> kCommandTable = detail::MakeTable();

constexpr const CommandRow& Command(uint8_t code) {
    return kCommandTable[code];
}

using velmo::ReportSize;

static_assert(Command(0x7D).layout == RequestLayout::Unsupported);
static_assert(Command(0x7C).layout == RequestLayout::NoFields);
static_assert(Command(0x12).layout == RequestLayout::NoFields);

}  // namespace velmo::protocol
