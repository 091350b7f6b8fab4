// One reading of the library's RF snapshot: the values the RF graph samples, read without modem traffic.
#pragma once

#include <array>
#include <cstdint>

namespace velmo::manager {

// The pilot blocks come in buffers of this many entries, filled with -1 before each read; the library fills
// its leading entries only (7 for the active set and its energies, 41 for the neighbour set).
inline constexpr int kRfBlockEntries = 256;
using RfBlock = std::array<int16_t, kRfBlockEntries>;

struct RfReading {
    int32_t updateCount = 0;  // changes with every snapshot the library has decoded
    uint8_t drcIndex = 0;
    int16_t rxPower = -120;   // level 4
    int16_t txClosed = -120;  // level 1
    int16_t txPilot = -120;   // level 2
    int16_t txTotal = -120;   // level 3
    int16_t channel = -1;
    RfBlock activePilots{};     // block A
    RfBlock activeEnergies{};   // block B
    RfBlock neighbourPilots{};  // block C
};

}  // namespace velmo::manager
