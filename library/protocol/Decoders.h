// Decoding of the replies and log records that carry the modem's state: the RF snapshot, the log block, the
// parsed reply forms and NV item unpacking. All of it runs on the reader thread; callers read the results
// through copies taken under the decoder lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace velmo::protocol {

inline constexpr size_t kActivePilots = 7;      // 6 entries and a terminator
inline constexpr size_t kNeighbourPilots = 41;  // 40 entries and a terminator
inline constexpr int32_t kNoLevel = -120;
inline constexpr size_t kLogBlockSize = 943;
inline constexpr size_t kNvItemAreaSize = 128;
inline constexpr uint16_t kNvReadAliasItem = 82;  // item 0 asks for item 82

enum LogCode : uint16_t {
    LogHeaderTest = 0x100A,
    LogDrc = 0x1068,
    LogRfLevels = 0x1069,
    LogPilotSets = 0x108B,
};

struct RfSnapshot {
    uint8_t DrcIndex = 0;
    uint32_t RfUpdateCount = 0;
    int32_t RfLevel1 = kNoLevel;
    int32_t RfLevel2 = kNoLevel;
    int32_t RfLevel3 = kNoLevel;
    int32_t RfLevel4 = kNoLevel;
    std::array<uint16_t, kActivePilots> PilotSetA = Filled<kActivePilots>();
    std::array<uint16_t, kActivePilots> PilotSetB = Filled<kActivePilots>();
    std::array<uint16_t, kNeighbourPilots> PilotSetC = Filled<kNeighbourPilots>();
    int16_t PilotChannel = -1;

  private:
    template <size_t N>
    static constexpr std::array<uint16_t, N> Filled() {
        std::array<uint16_t, N> a{};
        a.fill(0xFFFF);
        return a;
    }
};

// Decodes one log packet (code 0x10) into the log block and the RF snapshot. A record shorter than the
// offsets its code reads is ignored whole.
void DecodeLogPacket(const uint8_t* packet, size_t n, std::array<uint8_t, kLogBlockSize>& logBlock,
                     RfSnapshot& rf);

// Parsed reply forms, written into a reply block of blockSize bytes (zeroed first).
void ParseExtVersionReply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize);
void ParsePrlReadReply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize);
void ParsePrlBlockReply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize);
void ParseBlock34Reply(const uint8_t* packet, size_t n, uint8_t* block, size_t blockSize);

// True when the item has a decoder.
bool HasNvDecoder(uint16_t item);
// Unpacks an NV reply's item data (reply bytes 3..130) into area in the item's unpacked layout. Returns
// false, writing nothing, when the item has no decoder.
bool NvItemUnpack(const uint8_t* packet, size_t n, uint8_t* area, size_t areaSize);

// Whole seconds since 6 January 1980 as "YY/MM/DD HH:MM:SS" (17 characters and a zero).
void FormatTimeStampText(uint64_t seconds, char* out18);
// Device time stamp (64-bit count) to whole seconds since 6 January 1980.
constexpr uint64_t TimeStampSeconds(uint64_t stamp) {
    return stamp / 32768 / 1600;
}

}  // namespace velmo::protocol
