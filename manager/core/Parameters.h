// The modem's service parameters as the manager uses them: one code per parameter and the size of the value
// that travels with it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmo::manager {

enum class ParamCode : uint8_t {
    Esn = 0,
    Min1 = 1,
    Min2 = 3,
    MccM = 5,
    Imsi1112 = 7,
    DirNumber = 11,
    HomeSidNid = 12,
    MobTermHome = 14,
    MobTermForSid = 15,
    MobTermForNid = 16,
    PrimaryChannels = 19,
    SecondaryChannels = 20,
    Sci = 22,
    SpcChangeEnabled = 24,
    Spc = 25,
    AKey = 26,
    PrefMode = 27,
    ChapId = 28,
    ChapPassword = 29,
    SidNidLock = 30,
    SidNid1900 = 31,
    PrlArea = 32,
    PrlEnable = 33,
    HybridPreference = 34,
};

constexpr uint8_t Raw(ParamCode code) {
    return static_cast<uint8_t>(code);
}

struct ParameterSize {
    ParamCode code;
    uint8_t size;
    bool writeOnly;
};

// The parameters the wrapper's cache holds, with their value sizes. The pairs (12, 19, 20, 30, 31) are two
// 16-bit values; the AKey must be exactly 20 characters; the CHAP texts are cut to their field.
inline constexpr ParameterSize kParameterSizes[] = {
    {ParamCode::Esn, 4, false},
    {ParamCode::Min1, 7, false},
    {ParamCode::Min2, 3, false},
    {ParamCode::MccM, 3, false},
    {ParamCode::Imsi1112, 2, false},
    {ParamCode::DirNumber, 10, false},
    {ParamCode::HomeSidNid, 4, false},
    {ParamCode::MobTermHome, 1, false},
    {ParamCode::MobTermForSid, 1, false},
    {ParamCode::MobTermForNid, 1, false},
    {ParamCode::PrimaryChannels, 4, false},
    {ParamCode::SecondaryChannels, 4, false},
    {ParamCode::Sci, 1, false},
    {ParamCode::SpcChangeEnabled, 1, false},
    {ParamCode::AKey, 20, true},
    {ParamCode::PrefMode, 2, false},
    {ParamCode::ChapId, 64, false},
    {ParamCode::ChapPassword, 14, true},
    {ParamCode::SidNidLock, 4, false},
    {ParamCode::SidNid1900, 4, false},
    {ParamCode::HybridPreference, 1, true},
};

constexpr const ParameterSize* FindParameter(ParamCode code) {
    for (const ParameterSize& p : kParameterSizes) {
        if (p.code == code) {
            return &p;
        }
    }
    return nullptr;
}

// NV item of the RUIM mode that the card check reads (2 bytes).
inline constexpr int32_t kNvRuimMode = 855;

}  // namespace velmo::manager
