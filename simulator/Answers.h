// The stand-in's replies, built from the device state and sized by the command table.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "DeviceState.h"
#include "library/protocol/CommandTable.h"

namespace velmo::sim {

struct RequestContext;

// Reply packets (code first, little-endian fields).
std::vector<uint8_t> VersionReply(const DeviceState& state);
std::vector<uint8_t> StatusReply(const DeviceState& state);
std::vector<uint8_t> ReportLevelReply(std::span<const uint8_t> request);
std::vector<uint8_t> EventReportReply(std::span<const uint8_t> request);
std::vector<uint8_t> Request60Reply(std::span<const uint8_t> request);
// Mode request: 1 takes the modem offline, 2 resets it; the reply echoes the mode word.
std::vector<uint8_t> ModeReply(RequestContext& ctx);

// Unsolicited traffic for the flood fault: an RF log packet (0x10, record 0x1069) or a vendor report (0xE0,
// report code 40), alternating with the sequence number.
std::vector<uint8_t> FloodPacket(uint32_t sequence, const DeviceState& state);

// Frames a packet; with corruptFcs the FCS bytes are wrong. Empty when the packet does not fit in a frame.
std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> packet, bool corruptFcs = false);

}  // namespace velmo::sim
