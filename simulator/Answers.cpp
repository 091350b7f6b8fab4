#include "Answers.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "ModemSimulator.h"
#include "library/transport/FrameCodec.h"

namespace velmo::sim {

namespace {

using namespace protocol;

void Put16(std::vector<uint8_t>& p, size_t at, uint16_t v) {
    p.at(at) = static_cast<uint8_t>(v);
    p.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

void Put32(std::vector<uint8_t>& p, size_t at, uint32_t v) {
    Put16(p, at, static_cast<uint16_t>(v));
    Put16(p, at + 2, static_cast<uint16_t>(v >> 16));
}

void Put64(std::vector<uint8_t>& p, size_t at, uint64_t v) {
    Put32(p, at, static_cast<uint32_t>(v));
    Put32(p, at + 4, static_cast<uint32_t>(v >> 32));
}

// Fixed-width text field, space padded as the firmware does.
void PutText(std::vector<uint8_t>& p, size_t at, size_t width, const std::string& text) {
    for (size_t i = 0; i < width; ++i) {
        p.at(at + i) = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
    }
}

std::vector<uint8_t> Packet(uint8_t code, size_t size) {
    std::vector<uint8_t> p(std::max<size_t>(size, 1), 0);
    p[0] = code;
    return p;
}

// Modem time stamp: 1.25 ms units since 6 Jan 1980 in the upper 48 bits.
uint64_t ModemTimeStamp(const DeviceState& state) {
    constexpr int64_t kGpsEpochMs = 315964800000;
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const int64_t ms = std::max<int64_t>(0, now + state.timeOffsetMs - kGpsEpochMs);
    return (static_cast<uint64_t>(ms) * 4 / 5) << 16;
}

constexpr uint16_t kRfLogRecord = 0x1069;
constexpr uint16_t kEntryOffline = 2;  // status word at 32-33 once the modem has gone offline
constexpr uint8_t kVendorRfReport = 40;

}  // namespace

std::vector<uint8_t> VersionReply(const DeviceState& s) {
    std::vector<uint8_t> p = Packet(VersionRequest, Command(VersionRequest).replySize);
    PutText(p, 1, 11, s.compileDate);
    PutText(p, 12, 8, s.compileTime);
    PutText(p, 20, 11, s.releaseDate);
    PutText(p, 31, 8, s.releaseTime);
    PutText(p, 39, 8, s.versionDir);
    p.at(47) = s.stationClassMark;
    p.at(48) = s.caiRevision;
    p.at(49) = s.model;
    Put16(p, 50, s.firmwareRevision);
    p.at(52) = s.slotCycleIndex;
    p.at(53) = 1;  // vocoder major
    p.at(54) = 0;  // vocoder minor
    return p;
}

std::vector<uint8_t> StatusReply(const DeviceState& s) {
    std::vector<uint8_t> p = Packet(StatusRequest, Command(StatusRequest).replySize);
    Put32(p, 4, s.esn);
    Put16(p, 8, s.rfMode);
    Put16(p, 23, s.rxState);
    Put16(p, 32, s.operatingMode == "offline" ? kEntryOffline : 0);
    Put16(p, 34, s.channel);
    Put16(p, 37, s.pilotPn);
    Put16(p, 39, s.sid);
    Put16(p, 41, s.nid);
    Put16(p, 45, s.rssi1x);
    return p;
}

std::vector<uint8_t> ReportLevelReply(std::span<const uint8_t> request) {
    std::vector<uint8_t> p = Packet(ReportLevelRequest, Command(ReportLevelRequest).replySize);
    p.at(1) = request.size() > 1 ? request[1] : 0;
    return p;
}

std::vector<uint8_t> EventReportReply(std::span<const uint8_t> request) {
    // Code and sub-command: the configuration was taken.
    return {request.begin(),
            request.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(request.size(), 3))};
}

std::vector<uint8_t> Request60Reply(std::span<const uint8_t> request) {
    const bool large = request.size() > 2 && request[2] == kRequest60LargeSubcommand;
    std::vector<uint8_t> p =
        Packet(Request60, large ? protocol::kRequest60LargeReplySize : protocol::kRequest60ReplySize);
    std::copy_n(request.begin(), std::min(request.size(), p.size()), p.begin());
    return p;
}

std::vector<uint8_t> ModeReply(RequestContext& ctx) {
    uint16_t mode = ctx.packet.size() > 1 ? ctx.packet[1] : 0;
    if (ctx.packet.size() > 2) {
        mode = static_cast<uint16_t>(mode | ctx.packet[2] << 8);
    }
    if (mode == 1 && ctx.state.operatingMode != "offline") {
        ctx.state.operatingMode = "offline";
        ctx.stateChanged = true;
    } else if (mode == 2) {
        ctx.reset = true;
        if (ctx.state.operatingMode != "online") {
            ctx.state.operatingMode = "online";
            ctx.stateChanged = true;
        }
    }
    std::vector<uint8_t> p = Packet(ModeRequest, Command(ModeRequest).replySize);
    Put16(p, 1, mode);
    return p;
}

std::vector<uint8_t> FloodPacket(uint32_t sequence, const DeviceState& s) {
    if (sequence % 2 != 0) {
        std::vector<uint8_t> p = Packet(VendorPacket, 8);
        p[1] = kVendorRfReport;
        Put32(p, 2, sequence);
        Put16(p, 6, s.rssi1x);
        return p;
    }
    constexpr size_t kPayload = 24;
    constexpr size_t kRecord = 12 + kPayload;
    std::vector<uint8_t> p = Packet(LogRequest, 4 + kRecord);
    Put16(p, 2, kRecord);
    Put16(p, 4, kRecord);
    Put16(p, 6, kRfLogRecord);
    Put64(p, 8, ModemTimeStamp(s));
    const size_t payload = 16;
    p.at(payload + 13) = 0x20;  // first three levels valid
    const int level = -static_cast<int>(s.rssi1x);
    Put16(p, payload + 16, static_cast<uint16_t>((level - 2) * 256));
    Put16(p, payload + 18, static_cast<uint16_t>((level - 5) * 256));
    Put16(p, payload + 20, static_cast<uint16_t>(-12 * 256));
    Put16(p, payload + 22, static_cast<uint16_t>((level + 3) * 256));
    return p;
}

std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> packet, bool corruptFcs) {
    transport::TxFrame tx;
    if (!corruptFcs) {
        const size_t n = transport::EncodePacket(packet.data(), packet.size(), tx);
        return {tx.bytes.begin(), tx.bytes.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    tx.BeginFrame();
    for (uint8_t b : packet) {
        tx.PutFrameByte(b);
    }
    const uint16_t bad = static_cast<uint16_t>(transport::ComputeFcs(packet.data(), packet.size()) ^ 0xA5A5);
    tx.PutFrameByte(static_cast<uint8_t>(bad & 0xFF));
    tx.PutFrameByte(static_cast<uint8_t>(bad >> 8));
    if (tx.overflow) {
        return {};
    }
    tx.bytes[tx.length++] = transport::kFlagByte;  // the stuffing reserve keeps room for it
    return {tx.bytes.begin(), tx.bytes.begin() + tx.length};
}

}  // namespace velmo::sim
