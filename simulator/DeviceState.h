// What the modem stand-in remembers about itself: identity, radio state, revisions, power, RUIM card, NV
// items and the roaming list. Replies are built from it, the control channel changes it, and it survives
// restarts in a small "key = value" text file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace velmo::sim {

inline constexpr size_t kNvDataSize = 128;
using NvData = std::array<uint8_t, kNvDataSize>;

// NV items with a meaning of their own to the stand-in.
enum NvItem : uint16_t {
    NvEsn = 0,  // read-only view of the ESN
    NvSlotCycleIndex = 5,
    NvPrefMode = 10,
    NvPrimaryChannels = 20,
    NvSecondaryChannels = 21,
    NvAKey = 25,
    NvMin1 = 32,
    NvMin2 = 33,
    NvSidNid1900 = 38,
    NvNamInUse = 82,
    NvSpc = 85,
    NvMcc = 176,
    NvImsi1112 = 177,
    NvDirNumber = 178,
    NvPrlArea = 231,
    NvSidNidLock = 255,
    NvPrlEnable = 256,
    NvHomeSidNid = 259,
    NvSpcChangeEnabled = 296,
    NvReadOnly459 = 459,
    NvChapId = 579,
    NvChapPassword = 580,
    NvCardMode = 855,  // 0 card required, 1 no card, 2 card optional
};

inline constexpr uint16_t kLastNvItem = 4095;  // higher numbers are no items of this modem
inline constexpr size_t kMaxPrlSize = 110000;

// Sub-system word at bytes 12-15 of the call manager reply.
enum class Service : uint8_t { None, OneX, Evdo };

struct DeviceState {
    std::string scenario = "healthy-evdo";

    // Status reply fields.
    uint32_t esn = 0x8F3A2C11;
    uint16_t rfMode = 1;  // CDMA
    uint16_t rxState = 3;
    uint16_t channel = 283;
    uint16_t pilotPn = 168;
    uint16_t sid = 4139;
    uint16_t nid = 65535;
    uint8_t rssi1x = 78;  // -78 dBm, kept positive as the status record does
    // Version reply fields.
    std::string compileDate = "Mar 14 2006";
    std::string compileTime = "10:22:31";
    std::string releaseDate = "Mar 14 2006";
    std::string releaseTime = "10:20:00";
    std::string versionDir = "vlm100r2";
    uint8_t stationClassMark = 0x2A;
    uint8_t caiRevision = 6;
    uint8_t model = 0x61;
    uint16_t firmwareRevision = 0x0402;
    uint8_t slotCycleIndex = 2;
    // Extended version text, modem clock and mode.
    std::string softwareRevision = "VLM100-R2.07.00 2006/03/14";
    int64_t timeOffsetMs = 0;              // modem time = host time + offset
    std::string operatingMode = "online";  // "online" or "offline"

    // Radio beyond the status reply.
    Service service = Service::Evdo;
    uint8_t evdoPresent = 1;
    uint8_t rssiEvdo = 72;  // EV-DO receive level magnitude, as rssi1x
    uint16_t evdoChannel = 25;
    uint8_t traffic = 0;  // a data call is up and moving data
    uint8_t dormant = 0;  // a data call is up but dormant
    uint8_t roaming = 0;
    uint32_t logRateHz = 5;  // log stream rate while EV-DO is up; 0 stops it

    // Request 60: identity text, capability value, user status.
    std::string identity = "VLM100 EV-DO USB modem";
    uint16_t capability = 1;
    uint8_t batteryState = 1;  // 0 charging, 1 charged (external power), 2 on battery, 3 battery error
    uint8_t batteryPercent = 100;
    uint16_t notices = 0;  // w0: bit 0 incoming call, bit 1 voice mail, bit 2 phone in use
    int16_t userW4 = -7;
    int16_t userW6 = 9;

    // RUIM card.
    uint8_t cardPresent = 1;
    uint8_t pinEnabled = 0;  // the card asks for the PIN at power-up
    std::string pin = "1234";
    std::string puk = "12345678";
    uint8_t pinAttempts = 3;
    uint8_t pukAttempts = 10;

    // Service programming.
    uint8_t spcLock = 1;  // 0: SPC-protected items are open to everyone (demos)

    // Blocks 32 and 34 (Block34 after its code byte).
    std::array<uint8_t, 3> block32{};
    std::array<uint8_t, 106> block34 = DefaultBlock34();

    // The roaming list as downloaded.
    std::vector<uint8_t> prl = DefaultPrl();
    // NV items, 128 data bytes each.
    std::map<uint16_t, NvData> nv = DefaultNvItems();
    // Short-message boxes (in-box, saved, out-box, drafts): whole 1079-byte records back to back.
    std::array<std::vector<uint8_t>, 4> smsBoxes{};

    // Session state: never persisted. A session ends when the port is closed or the modem resets.
    uint8_t spcUnlocked = 0;
    uint8_t pinVerified = 0;  // until the next reset
    bool prlReceiving = false;
    uint16_t prlNextBlock = 0;
    std::vector<uint8_t> prlIncoming;
    int16_t smsReadFail = -1;  // a read at this position of any box is refused; -1: none

    bool operator==(const DeviceState&) const = default;

    static std::array<uint8_t, 106> DefaultBlock34();
    static std::vector<uint8_t> DefaultPrl();
    static std::map<uint16_t, NvData> DefaultNvItems();
};

// A small but well-formed roaming list: length and version first (both most significant byte first), a CRC
// last.
std::vector<uint8_t> MakePrl(uint16_t version, size_t size = 44);
// Bytes 2-3 of the list, most significant first; 0 without a list.
uint16_t PrlVersion(const std::vector<uint8_t>& prl);

// The digit encodings of the NAM items: three-digit groups, two-digit groups and MIN1.
bool EncodeDigitGroup(std::string_view digits, uint16_t* out);
bool EncodeMin1(std::string_view digits, uint32_t* out);
std::string DecodeDigitGroup(uint16_t stored, size_t width);
std::string DecodeMin1(uint32_t stored);

// Names of the fields as they appear in the control channel, in file order; views of NV items and session
// fields included.
std::vector<std::string> StateFieldNames();
// The field's value as text; false for an unknown name. "nv.N" names item N.
bool GetStateField(const DeviceState& state, std::string_view name, std::string* value);
// Parses and stores one field (numbers decimal or 0x-hex, range-checked; texts length-checked; bytes as hex).
bool SetStateField(DeviceState& state, std::string_view name, std::string_view value, std::string* error);

// The persistent fields and NV items; session fields and views are left out.
std::string FormatState(const DeviceState& state);
// Reads "key = value" lines over state; '#' starts a comment. Bad lines are skipped and described in
// *warnings.
void ParseState(std::string_view text, DeviceState& state, std::string* warnings);

// ${VELMO_SIM_STATE}, else ${XDG_STATE_HOME:-$HOME/.local/state}/velmo/modem-sim.state.
std::string DefaultStatePath();
// Loads the file over defaults; a missing file yields defaults and is created. False on an I/O error.
bool LoadStateFile(const std::string& path, DeviceState& state, std::string* error);
// Reads the file over defaults without creating it; false when it does not exist or cannot be read.
bool ReadStateFile(const std::string& path, DeviceState& state, std::string* error);
// Writes the file atomically (temporary file, fsync, rename); creates missing parent folders.
bool SaveStateFile(const std::string& path, const DeviceState& state, std::string* error);

// Hex text "0C 14 3A" (or without blanks) to bytes; false on anything else.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* out);

}  // namespace velmo::sim
