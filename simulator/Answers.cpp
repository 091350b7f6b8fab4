#include "Answers.h"

#include <algorithm>
#include <array>
#include <string>

#include "ModemSimulator.h"
#include "Wire.h"
#include "library/transport/FrameCodec.h"

namespace velmo::sim {

using namespace protocol;
using namespace wire;

namespace {

constexpr uint16_t kEntryOffline = 2;  // status word at 32-33 once the modem has gone offline
constexpr uint8_t kSubsystemCallManager = 0x0F;
constexpr uint8_t kSubsystemHdr = 0x05;
constexpr uint8_t kSubsystemFileSystem = 0x13;
constexpr uint16_t kHdrStateCommand = 8;
constexpr size_t kFileSystemHelloSize = 44;

// Call manager call states: 5 is a traffic channel; a dormant data call keeps its call without one.
constexpr uint32_t kCallIdle = 0;
constexpr uint32_t kCallDormant = 2;
constexpr uint32_t kCallTraffic = 5;

std::vector<uint8_t> BadLength(std::span<const uint8_t> request) {
    std::vector<uint8_t> p = ErrorReply(request);
    p[0] = ErrorBadLength;
    return p;
}

}  // namespace

bool EvdoUp(const DeviceState& s) {
    return s.operatingMode == "online" && s.service != Service::None && s.evdoPresent != 0;
}

uint32_t ServiceWord(const DeviceState& s) {
    if (s.operatingMode != "online") {
        return 0;
    }
    switch (s.service) {
        case Service::OneX:
            return 2;
        case Service::Evdo:
            return 4;
        default:
            return 0;
    }
}

uint8_t SystemState(const DeviceState& s) {
    return s.operatingMode == "online" ? 5 : 4;
}

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

std::vector<uint8_t> TimeReply(const DeviceState& s) {
    std::vector<uint8_t> p = Packet(TimeRequest, kTimeReplySize);
    Put64(p, 1, ModemTimeStamp(s.timeOffsetMs));
    return p;
}

std::vector<uint8_t> ExtVersionReply(const DeviceState& s) {
    // Code, three hardware bytes, firmware revision and build number, then the revision text and its zero.
    std::vector<uint8_t> p = Packet(ExtVersionRequest, kExtVersionReplySize);
    p[1] = s.model;
    p[2] = s.caiRevision;
    p[3] = s.stationClassMark;
    Put32(p, 4, s.firmwareRevision);
    Put32(p, 8, 0x0207);
    PutText(p, 12, kExtVersionReplySize - 12, s.softwareRevision, '\0');
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

std::vector<uint8_t> SubsystemReply(RequestContext& ctx) {
    const std::span<const uint8_t> r = ctx.packet;
    const DeviceState& s = ctx.state;
    if (r.size() < 4) {
        return BadLength(r);
    }
    const uint8_t subsystem = r[1];
    const uint16_t command = Get16(r, 2);
    std::vector<uint8_t> p = Packet(SubsystemRequest, kSubsystemReplySize);
    std::copy_n(r.begin(), 4, p.begin());
    if (subsystem == kSubsystemCallManager && command == 0) {
        // 4-7 call state, 8 system state, 12-15 service, 16-19 preferred mode, 20-23 roaming indicator.
        const bool callUp = s.traffic != 0 || s.dormant != 0;
        Put32(p, 4, !callUp ? kCallIdle : s.dormant != 0 ? kCallDormant : kCallTraffic);
        p[8] = SystemState(s);
        Put32(p, 12, ServiceWord(s));
        const auto mode = s.nv.find(NvPrefMode);
        Put32(p, 16, mode == s.nv.end() ? 0 : Get16(mode->second, 1));
        Put32(p, 20, s.roaming);
        return p;
    }
    if (subsystem == kSubsystemHdr && command == kHdrStateCommand) {
        // 4 EV-DO present, 5 connection (0 none, 1 dormant, 2 traffic), 6-7 EV-DO channel.
        p[4] = EvdoUp(s) ? 1 : 0;
        p[5] = !EvdoUp(s) ? 0 : s.dormant != 0 ? 1 : s.traffic != 0 ? 2 : 0;
        Put16(p, 6, s.evdoChannel);
        return p;
    }
    if (subsystem == kSubsystemFileSystem && command == 0) {
        // Hello: the proposed window sizes and versions are taken as they are.
        if (r.size() != kFileSystemHelloSize) {
            return BadLength(r);
        }
        std::copy(r.begin(), r.end(), p.begin());
        return p;
    }
    return ErrorReply(r);  // no other subsystem command of this modem is known here
}

std::vector<uint8_t> Block32Reply(RequestContext& ctx) {
    const std::span<const uint8_t> r = ctx.packet;
    if (r.size() != 4) {
        return BadLength(r);
    }
    std::copy(r.begin() + 1, r.end(), ctx.state.block32.begin());
    ctx.stateChanged = true;
    return {Block32Request, r[2], r[3]};
}

std::vector<uint8_t> Block34Reply(const DeviceState& s) {
    std::vector<uint8_t> p = Packet(Block34Request, kBlock34ReplySize);
    std::copy(s.block34.begin(), s.block34.end(), p.begin() + 1);
    return p;
}

std::vector<uint8_t> LogRequestReply(const DeviceState& s) {
    // Record 0x100A: six words and three bytes of the modem's own choosing.
    std::vector<uint8_t> payload(15, 0);
    Put16(payload, 0, s.rxState);
    Put16(payload, 2, s.channel);
    Put16(payload, 4, s.pilotPn);
    Put16(payload, 6, s.sid);
    Put16(payload, 8, s.nid);
    Put16(payload, 10, s.rssi1x);
    payload[12] = s.batteryPercent;
    payload[13] = s.caiRevision;
    payload[14] = s.slotCycleIndex;
    return LogPacket(0x100A, payload, s.timeOffsetMs);
}

std::vector<uint8_t> ModeReply(RequestContext& ctx) {
    std::array<uint8_t, 2> word{};
    LeReader(ctx.packet, 1).Bytes(word);  // a short request leaves the missing byte zero
    const uint16_t mode = Get16(word, 0);
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

std::vector<uint8_t> Request60Reply(std::span<const uint8_t> request) {
    const bool large = request.size() > 2 && request[2] == kRequest60LargeSubcommand;
    std::vector<uint8_t> p =
        Packet(Request60, large ? protocol::kRequest60LargeReplySize : protocol::kRequest60ReplySize);
    std::copy_n(request.begin(), std::min(request.size(), p.size()), p.begin());
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
    std::array<uint8_t, 2> bad{};
    Put16(bad, 0, static_cast<uint16_t>(transport::ComputeFcs(packet.data(), packet.size()) ^ 0xA5A5));
    for (uint8_t b : bad) {
        tx.PutFrameByte(b);
    }
    if (tx.overflow) {
        return {};
    }
    tx.bytes[tx.length++] = transport::kFlagByte;  // the stuffing reserve keeps room for it
    return {tx.bytes.begin(), tx.bytes.begin() + tx.length};
}

}  // namespace velmo::sim
