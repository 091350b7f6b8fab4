// The stand-in's replies, built from the device state and sized by the command table.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "DeviceState.h"
#include "library/protocol/CommandTable.h"

namespace velmo::sim {

struct RequestContext;

// Item status words of NV replies.
enum NvStatus : uint16_t {
    NvDone = 0,
    NvInactive = 5,      // the item was never written
    NvBadParameter = 6,  // no item of this modem, or a value it does not take
    NvReadOnly = 7,
    NvLocked = 8,  // protected by the service programming code, or SPC changes are disabled
};

// Byte 1 of the reply to a roaming list block.
enum PrlBlockStatus : uint8_t {
    PrlBlockTaken = 0,   // more blocks expected
    PrlListStored = 1,   // the last block: the list is stored
    PrlOutOfOrder = 2,   // not the block number expected (modulo 256)
    PrlBadBitCount = 3,  // more than 960 bits, not whole bytes, or the list grew too long
    PrlNotPrepared = 4,  // the modem is online, or the list area was not cleared first
};

// Derived device facts that several replies share.
bool EvdoUp(const DeviceState& s);           // online, in service and EV-DO present: the log stream runs
uint32_t ServiceWord(const DeviceState& s);  // 0 none, 2 CDMA 1x, 4 EV-DO; 0 while offline
uint8_t SystemState(const DeviceState& s);   // 5 online digital, 4 offline digital
// Items that only answer (reads of 25 and 85) or change (all of them) after the SPC was verified.
bool IsSpcProtected(uint16_t item);
bool IsSpcReadProtected(uint16_t item);

// Reply packets (code first, little-endian fields).
std::vector<uint8_t> VersionReply(const DeviceState& state);
std::vector<uint8_t> StatusReply(const DeviceState& state);
std::vector<uint8_t> TimeReply(const DeviceState& state);
std::vector<uint8_t> ExtVersionReply(const DeviceState& state);
std::vector<uint8_t> ReportLevelReply(std::span<const uint8_t> request);
std::vector<uint8_t> EventReportReply(std::span<const uint8_t> request);
// Subsystem 0x0F command 0 (call manager state), 0x05 command 8 (EV-DO state), 0x13 command 0 (file system
// hello); anything else gets the error frame.
std::vector<uint8_t> SubsystemReply(RequestContext& ctx);
std::vector<uint8_t> Block32Reply(RequestContext& ctx);
std::vector<uint8_t> Block34Reply(const DeviceState& state);
// A log packet with the 0x100A record: what a log request is answered with.
std::vector<uint8_t> LogRequestReply(const DeviceState& state);
// Mode request: 1 takes the modem offline, 2 resets it; the reply echoes the mode word.
std::vector<uint8_t> ModeReply(RequestContext& ctx);

// NV items, the service programming code and the roaming list.
std::vector<uint8_t> NvReadReply(RequestContext& ctx);
std::vector<uint8_t> NvWriteReply(RequestContext& ctx);
std::vector<uint8_t> SpcReply(RequestContext& ctx);
std::vector<uint8_t> PrlBlockReply(RequestContext& ctx);
std::vector<uint8_t> PrlReadReply(RequestContext& ctx);

// Request 60 as the modem answers it: identity, capability, quit sequence, user status, RUIM card. Commands
// it has no model for are echoed (Request60Reply).
std::vector<uint8_t> Request60Answer(RequestContext& ctx);
// The request copied into a reply of its size: 128 bytes, or 1086 for sub-command 0x33.
std::vector<uint8_t> Request60Reply(std::span<const uint8_t> request);

// Unsolicited traffic for the flood fault: an RF log packet (0x10, record 0x1069) or a vendor report (0xE0,
// report code 40), alternating with the sequence number.
std::vector<uint8_t> FloodPacket(uint32_t sequence, uint8_t rssi1x, int64_t timeOffsetMs);

// The RF log stream while EV-DO is up: records 0x1068 (DRC), 0x1069 (levels) and 0x108B (pilot sets), with
// values that wander around the device state's levels.
class LogStream {
  public:
    explicit LogStream(uint32_t seed = 0x5EED);
    std::vector<std::vector<uint8_t>> Tick(const DeviceState& state);
    // One 0x1069 record without valid levels and the receive level at -120 dB: EV-DO went away.
    std::vector<uint8_t> SignalLost(const DeviceState& state) const;

  private:
    int Wander(int& value, int step, int limit);

    std::minstd_rand rng_;
    int levelDrift_ = 0;  // 1/256 dB
    int pilotDrift_ = 0;
    uint32_t ticks_ = 0;
};

// A vendor report (0xE0) of the given code at its table size, fields from words:
//   4, 5, 6, 36, 37  VALUE                 16-bit call value
//   7                NUMBER                calling number
//   9                TEXT...               display text
//   17               NUMBER TEXT...        message number and body (address and time stamp from the state)
//   28               CODE VALUE            event code and 16-bit value
//   40               A B C                 three signal values
//   any code         BYTE...               bytes from byte 3 on (a code outside the table: as many as given)
bool VendorReport(uint8_t code, const std::vector<std::string>& words, const DeviceState& state,
                  std::vector<uint8_t>* packet, std::string* error);

// Frames a packet; with corruptFcs the FCS bytes are wrong. Empty when the packet does not fit in a frame.
std::vector<uint8_t> EncodeFrame(std::span<const uint8_t> packet, bool corruptFcs = false);

}  // namespace velmo::sim
