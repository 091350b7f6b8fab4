// What the modem stand-in remembers about itself: identity, radio state and revisions. Replies are built from
// it, the control channel changes it, and it survives restarts in a small "key = value" text file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmo::sim {

struct DeviceState {
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

    bool operator==(const DeviceState&) const = default;
};

// Names of the fields as they appear in the state file and the control channel, in file order.
std::vector<std::string> StateFieldNames();
// The field's value as text; false for an unknown name.
bool GetStateField(const DeviceState& state, std::string_view name, std::string* value);
// Parses and stores one field (numbers decimal or 0x-hex, range-checked; texts length-checked).
bool SetStateField(DeviceState& state, std::string_view name, std::string_view value, std::string* error);

std::string FormatState(const DeviceState& state);
// Reads "key = value" lines over state; '#' starts a comment. Bad lines are skipped and described in
// *warnings.
void ParseState(std::string_view text, DeviceState& state, std::string* warnings);

// ${VELMO_SIM_STATE}, else ${XDG_STATE_HOME:-$HOME/.local/state}/velmo/modem-sim.state.
std::string DefaultStatePath();
// Loads the file over defaults; a missing file yields defaults and is created. False on an I/O error.
bool LoadStateFile(const std::string& path, DeviceState& state, std::string* error);
// Writes the file atomically (temporary file, fsync, rename); creates missing parent folders.
bool SaveStateFile(const std::string& path, const DeviceState& state, std::string* error);

}  // namespace velmo::sim
