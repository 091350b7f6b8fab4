// The preferred system mode: the modem's values of parameter 27, the entries of the settings window's system
// list, and the three ways between them (what the device worker stores, what the settings window selects,
// what Apply writes back).
#pragma once

#include <cstdint>
#include <optional>

#include <QString>

namespace velmo::manager::prefmode {

// Values of parameter 27.
inline constexpr uint16_t kModemHybrid = 1;
inline constexpr uint16_t kModem1xOnly = 9;
inline constexpr uint16_t kModemEvdoOnly = 10;

// Entries of the system list, in their order.
enum ListEntry : int { kEvdoOnly = 0, kBoth = 1, k1xOnly = 2, kOther = 3 };
inline constexpr int kListEntries = 4;

// The value the device worker keeps in "Pref Mode" for what the modem reports: 10 -> EV-DO only,
// 9 -> 1xRTT only, anything else -> both.
constexpr uint32_t StoredEntryForModem(uint16_t mode) {
    return mode == kModemEvdoOnly ? kEvdoOnly : mode == kModem1xOnly ? k1xOnly : kBoth;
}

// The entry the settings window selects for the modem's mode: 10 -> EV-DO only, 1 -> both, anything else ->
// 1xRTT only.
constexpr int ListEntryForModem(uint16_t mode) {
    return mode == kModemEvdoOnly ? kEvdoOnly : mode == kModemHybrid ? kBoth : k1xOnly;
}

// The mode Apply writes for a list entry; "inne" writes none.
constexpr std::optional<uint16_t> ModemForListEntry(int entry) {
    switch (entry) {
        case kEvdoOnly:
            return kModemEvdoOnly;
        case kBoth:
            return kModemHybrid;
        case k1xOnly:
            return kModem1xOnly;
        default:
            return std::nullopt;
    }
}

// The list's texts ("Tylko 1xEvDO", "1xEvDO oraz 1xRTT", "Tylko 1xRTT", "inne"), translated.
QString ListText(int entry);
// The status table's name of a modem mode: 10 and 1 by their entries, anything else "Tylko 1xRTT".
QString ModeText(uint16_t mode);

}  // namespace velmo::manager::prefmode
