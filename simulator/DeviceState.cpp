#include "DeviceState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <type_traits>

#include "platform/Ports.h"
#include "wire/LeCursor.h"

namespace velmo::sim {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseInteger(std::string_view text, int64_t min, uint64_t max, int64_t* out) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t magnitude = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return false;
    }
    if (negative) {
        if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ||
            -static_cast<int64_t>(magnitude) < min) {
            return false;
        }
        *out = -static_cast<int64_t>(magnitude);
        return true;
    }
    if (magnitude > max || magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return false;
    }
    *out = static_cast<int64_t>(magnitude);
    return true;
}

std::string HexText(const uint8_t* bytes, size_t n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) {
            text += ' ';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

NvData Item(std::initializer_list<uint8_t> bytes) {
    NvData d{};
    std::copy(bytes.begin(), bytes.end(), d.begin());
    return d;
}

NvData TextItem(uint8_t first, std::string_view text, bool lengthByte) {
    NvData d{};
    size_t at = 0;
    if (lengthByte) {
        d[at++] = static_cast<uint8_t>(text.size());
    } else {
        d[at++] = first;
    }
    for (char c : text) {
        d[at++] = static_cast<uint8_t>(c);
    }
    return d;
}

bool IsDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

uint16_t Crc16(const uint8_t* p, size_t n) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc = static_cast<uint16_t>(crc ^ (p[i] << 8));
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

}  // namespace

std::vector<uint8_t> MakePrl(uint16_t version, size_t size) {
    size = std::clamp<size_t>(size, 8, 0xFFFF);
    std::vector<uint8_t> p(size, 0);
    p[0] = static_cast<uint8_t>(size >> 8);
    p[1] = static_cast<uint8_t>(size);
    p[2] = static_cast<uint8_t>(version >> 8);
    p[3] = static_cast<uint8_t>(version);
    // Acquisition and system records: any stable bytes will do for a modem that only stores them.
    for (size_t i = 4; i + 2 < size; ++i) {
        p[i] = static_cast<uint8_t>((i * 37 + version) & 0xFF);
    }
    const uint16_t crc = Crc16(p.data(), size - 2);
    p[size - 2] = static_cast<uint8_t>(crc >> 8);
    p[size - 1] = static_cast<uint8_t>(crc);
    return p;
}

uint16_t PrlVersion(const std::vector<uint8_t>& prl) {
    return prl.size() >= 4 ? static_cast<uint16_t>(prl[2] << 8 | prl[3]) : 0;
}

bool EncodeDigitGroup(std::string_view digits, uint16_t* out) {
    if (digits.empty() || digits.size() > 3 || !IsDigits(digits)) {
        return false;
    }
    int value = 0;
    int ones = 0;
    for (char c : digits) {
        value = value * 10 + (c == '0' ? 10 : c - '0');
        ones = ones * 10 + 1;
    }
    *out = static_cast<uint16_t>(value - ones);
    return true;
}

bool EncodeMin1(std::string_view digits, uint32_t* out) {
    uint16_t high = 0;
    uint16_t low = 0;
    if (digits.size() != 7 || !IsDigits(digits) || !EncodeDigitGroup(digits.substr(0, 3), &high) ||
        !EncodeDigitGroup(digits.substr(4, 3), &low)) {
        return false;
    }
    const uint32_t single = digits[3] == '0' ? 10u : static_cast<uint32_t>(digits[3] - '0');
    *out = static_cast<uint32_t>(high) << 14 | single << 10 | low;
    return true;
}

std::string DecodeDigitGroup(uint16_t stored, size_t width) {
    std::string text(width, '0');
    for (size_t i = width; i-- > 0; stored /= 10) {
        text[i] = static_cast<char>('0' + (stored % 10 + 1) % 10);
    }
    return text;
}

std::string DecodeMin1(uint32_t stored) {
    const uint32_t single = (stored >> 10) & 0x0F;
    return DecodeDigitGroup(static_cast<uint16_t>((stored >> 14) & 0x3FF), 3) +
           static_cast<char>('0' + single % 10) + DecodeDigitGroup(static_cast<uint16_t>(stored & 0x3FF), 3);
}

std::array<uint8_t, 106> DeviceState::DefaultBlock34() {
    // Reply bytes 51, 101 and 105 (here one less: the code byte is not kept) hold 16-bit words.
    std::array<uint8_t, 106> b{};
    b[50] = 0x34;
    b[51] = 0x12;
    b[100] = 0x78;
    b[101] = 0x56;
    b[104] = 0xBC;
    b[105] = 0x9A;
    return b;
}

std::vector<uint8_t> DeviceState::DefaultPrl() {
    return MakePrl(10052);
}

std::map<uint16_t, NvData> DeviceState::DefaultNvItems() {
    // MIN 619 555 0100, MCC 310, IMSI_11_12 00, home SID 4139.
    uint16_t min2 = 0;
    uint32_t min1 = 0;
    uint16_t mcc = 0;
    uint16_t imsi = 0;
    EncodeDigitGroup("619", &min2);
    EncodeMin1("5550100", &min1);
    EncodeDigitGroup("310", &mcc);
    EncodeDigitGroup("00", &imsi);
    std::map<uint16_t, NvData> nv;
    nv[NvSlotCycleIndex] = Item({2});
    nv[NvPrefMode] = Item({0, 1, 0});  // 1xRTT and EV-DO
    nv[NvPrimaryChannels] = Item({0, 0x1B, 0x01, 0xB3, 0x02});
    nv[NvSecondaryChannels] = Item({0, 0x80, 0x01, 0x09, 0x03});
    nv[NvAKey] = Item({0});
    NvData item{};
    wire::Put32(item, 1, min1);
    wire::Put32(item, 5, min1);
    nv[NvMin1] = item;
    item = {};
    wire::Put16(item, 1, min2);
    wire::Put16(item, 3, min2);
    nv[NvMin2] = item;
    nv[34] = Item({0, 1});
    nv[35] = Item({0, 1});
    nv[36] = Item({0, 1});
    nv[NvSidNid1900] = Item({0, 0x2B, 0x10, 0xFF, 0xFF});
    nv[NvNamInUse] = Item({0, 0, 0, 0});
    nv[NvSpc] = Item({'0', '0', '0', '0', '0', '0'});
    item = {};
    wire::Put16(item, 1, mcc);
    nv[NvMcc] = item;
    nv[NvImsi1112] = Item({0, static_cast<uint8_t>(imsi)});
    nv[NvDirNumber] = TextItem(0, "6195550100", false);
    nv[NvPrlArea] = Item({0});
    nv[NvSidNidLock] = Item({0});
    nv[NvPrlEnable] = Item({0, 1});
    nv[NvHomeSidNid] = Item({0, 0x2B, 0x10, 0xFF, 0xFF});
    nv[266] = Item({0, 0});
    nv[290] = Item({0});
    nv[NvSpcChangeEnabled] = Item({1});
    nv[NvReadOnly459] = Item({1});
    nv[464] = Item({0});
    nv[562] = Item({0});
    nv[NvChapId] = TextItem(0, "user@velmo.example", true);
    nv[NvChapPassword] = TextItem(0, "velmo", true);
    nv[NvCardMode] = Item({1, 0});
    return nv;
}

namespace {

template <auto Member>
using FieldType = std::remove_cvref_t<decltype(std::declval<DeviceState&>().*Member)>;

template <auto Member>
std::string GetNumber(const DeviceState& s) {
    return std::to_string(s.*Member);
}

template <auto Member, int Digits>
std::string GetHex(const DeviceState& s) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llX", Digits, static_cast<unsigned long long>(s.*Member));
    return text;
}

template <auto Member, int64_t Min = std::numeric_limits<FieldType<Member>>::min(),
          uint64_t Max = std::numeric_limits<FieldType<Member>>::max()>
bool SetNumber(DeviceState& s, std::string_view v, std::string* error) {
    using T = FieldType<Member>;
    int64_t x = 0;
    if (!ParseInteger(v, Min, Max, &x)) {
        *error = "not a number in range: " + std::string(v);
        return false;
    }
    s.*Member = static_cast<T>(x);
    return true;
}

template <auto Member>
bool SetFlag(DeviceState& s, std::string_view v, std::string* error) {
    return SetNumber<Member, 0, 1>(s, v, error);
}

template <auto Member>
std::string GetText(const DeviceState& s) {
    return s.*Member;
}

bool CheckText(std::string_view v, size_t maxLength, std::string* error) {
    if (v.size() > maxLength) {
        *error = "text longer than " + std::to_string(maxLength) + " characters";
        return false;
    }
    for (char c : v) {
        if (c < 0x20 || c > 0x7E) {
            *error = "text must be printable ASCII";
            return false;
        }
    }
    return true;
}

// Texts go into fixed reply fields: bounded length, printable ASCII only.
template <auto Member, size_t MaxLength>
bool SetText(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (!CheckText(v, MaxLength, error)) {
        return false;
    }
    s.*Member = std::string(v);
    return true;
}

// Card codes: 4 to 8 digits (the manager copies at most 8 characters).
template <auto Member>
bool SetCode(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (v.size() < 4 || v.size() > 8 || !IsDigits(v)) {
        *error = "a card code is 4 to 8 digits";
        return false;
    }
    s.*Member = std::string(v);
    return true;
}

template <auto Member>
std::string GetBytes(const DeviceState& s) {
    return HexText((s.*Member).data(), (s.*Member).size());
}

template <auto Member>
bool SetByteArray(DeviceState& s, std::string_view v, std::string* error) {
    std::vector<uint8_t> bytes;
    auto& field = s.*Member;
    if (!ParseHexBytes(v, &bytes) || bytes.size() > field.size()) {
        *error = "expected up to " + std::to_string(field.size()) + " hex bytes";
        return false;
    }
    field.fill(0);
    std::copy(bytes.begin(), bytes.end(), field.begin());
    return true;
}

bool SetOperatingMode(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (v != "online" && v != "offline") {
        *error = "operating_mode is online or offline";
        return false;
    }
    s.operatingMode = std::string(v);
    return true;
}

constexpr std::pair<Service, std::string_view> kServiceNames[] = {
    {Service::None, "none"}, {Service::OneX, "1x"}, {Service::Evdo, "evdo"}};

std::string GetService(const DeviceState& s) {
    for (const auto& [value, name] : kServiceNames) {
        if (value == s.service) {
            return std::string(name);
        }
    }
    return "?";
}

bool SetService(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    for (const auto& [value, name] : kServiceNames) {
        if (name == v) {
            s.service = value;
            return true;
        }
    }
    *error = "service is none, 1x or evdo";
    return false;
}

std::string GetPrl(const DeviceState& s) {
    return HexText(s.prl.data(), s.prl.size());
}

bool SetPrl(DeviceState& s, std::string_view v, std::string* error) {
    std::vector<uint8_t> bytes;
    if (!ParseHexBytes(v, &bytes) || bytes.size() >= kMaxPrlSize) {
        *error = "expected the roaming list as hex bytes, below " + std::to_string(kMaxPrlSize);
        return false;
    }
    s.prl = std::move(bytes);
    return true;
}

// Views of NV items, for scenarios and the control channel; the items themselves are what is stored.
NvData& NvRef(DeviceState& s, uint16_t item) {
    return s.nv[item];
}
NvData NvCopy(const DeviceState& s, uint16_t item) {
    const auto it = s.nv.find(item);
    return it == s.nv.end() ? NvData{} : it->second;
}

std::string GetSpc(const DeviceState& s) {
    const NvData d = NvCopy(s, NvSpc);
    return std::string(d.begin(), d.begin() + 6);
}

bool SetSpc(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (v.size() != 6 || !IsDigits(v)) {
        *error = "the SPC is six digits";
        return false;
    }
    NvData& d = NvRef(s, NvSpc);
    d.fill(0);
    std::copy(v.begin(), v.end(), d.begin());
    return true;
}

template <uint16_t ItemNumber, size_t Offset>
std::string GetNv16(const DeviceState& s) {
    return std::to_string(wire::Get16(NvCopy(s, ItemNumber), Offset));
}

template <uint16_t ItemNumber, size_t Offset>
bool SetNv16(DeviceState& s, std::string_view v, std::string* error) {
    int64_t x = 0;
    if (!ParseInteger(v, 0, 0xFFFF, &x)) {
        *error = "not a 16-bit number: " + std::string(v);
        return false;
    }
    wire::Put16(NvRef(s, ItemNumber), Offset, static_cast<uint16_t>(x));
    return true;
}

std::string GetMin(const DeviceState& s) {
    return DecodeDigitGroup(wire::Get16(NvCopy(s, NvMin2), 3) & 0x3FF, 3) +
           DecodeMin1(wire::Get32(NvCopy(s, NvMin1), 5));
}

bool SetMin(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    uint16_t min2 = 0;
    uint32_t min1 = 0;
    if (v.size() != 10 || !EncodeDigitGroup(v.substr(0, 3), &min2) || !EncodeMin1(v.substr(3), &min1)) {
        *error = "the MIN is ten digits";
        return false;
    }
    NvData& m1 = NvRef(s, NvMin1);
    wire::Put32(m1, 1, min1);
    wire::Put32(m1, 5, min1);
    NvData& m2 = NvRef(s, NvMin2);
    wire::Put16(m2, 1, min2);
    wire::Put16(m2, 3, min2);
    return true;
}

std::string GetMdn(const DeviceState& s) {
    const NvData d = NvCopy(s, NvDirNumber);
    std::string text;
    for (size_t i = 1; i <= 10 && d[i] != 0; ++i) {
        text += static_cast<char>(d[i]);
    }
    return text;
}

bool SetMdn(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (v.size() != 10 || !IsDigits(v)) {
        *error = "the directory number is ten digits";
        return false;
    }
    NvRef(s, NvDirNumber) = TextItem(0, v, false);
    return true;
}

// The three- and two-digit groups of MCC_M and IMSI_M_11_12, as the parameter writes store them.
template <uint16_t ItemNumber, size_t Width>
std::string GetDigitGroup(const DeviceState& s) {
    const NvData d = NvCopy(s, ItemNumber);
    return DecodeDigitGroup(static_cast<uint16_t>(Width == 3 ? wire::Get16(d, 1) & 0x3FF : d[1]), Width);
}

template <uint16_t ItemNumber, size_t Width>
bool SetDigitGroup(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    uint16_t stored = 0;
    if (v.size() != Width || !EncodeDigitGroup(v, &stored)) {
        *error = "expected " + std::to_string(Width) + " digits";
        return false;
    }
    NvData& d = NvRef(s, ItemNumber);
    d.fill(0);
    if constexpr (Width == 3) {
        wire::Put16(d, 1, stored);
    } else {
        d[1] = static_cast<uint8_t>(stored);
    }
    return true;
}

// CHAP ID: a length byte, then the text (at most 64 characters, as the library writes it).
std::string GetChapId(const DeviceState& s) {
    const NvData d = NvCopy(s, NvChapId);
    return std::string(d.begin() + 1, d.begin() + 1 + std::min<size_t>(d[0], 64));
}

bool SetChapId(DeviceState& s, std::string_view v, std::string* error) {
    v = Trim(v);
    if (!CheckText(v, 64, error)) {
        return false;
    }
    NvRef(s, NvChapId) = TextItem(0, v, true);
    return true;
}

std::string GetCardMode(const DeviceState& s) {
    return std::to_string(NvCopy(s, NvCardMode)[0]);
}

bool SetCardMode(DeviceState& s, std::string_view v, std::string* error) {
    int64_t x = 0;
    if (!ParseInteger(v, 0, 2, &x)) {
        *error = "card_mode is 0 (card required), 1 (no card) or 2 (card optional)";
        return false;
    }
    NvRef(s, NvCardMode) = Item({static_cast<uint8_t>(x), 0});
    return true;
}

template <size_t Box>
std::string GetSmsBox(const DeviceState& s) {
    return HexText(s.smsBoxes[Box].data(), s.smsBoxes[Box].size());
}

template <size_t Box>
bool SetSmsBox(DeviceState& s, std::string_view v, std::string* error) {
    constexpr size_t kRecord = 1079;
    constexpr size_t kMaxRecords = 100;
    std::vector<uint8_t> bytes;
    if (!ParseHexBytes(v, &bytes) || bytes.size() % kRecord != 0 || bytes.size() > kMaxRecords * kRecord) {
        *error = "expected whole 1079-byte message records as hex, at most 100";
        return false;
    }
    s.smsBoxes[Box] = std::move(bytes);
    return true;
}

std::string GetPrlVersion(const DeviceState& s) {
    return std::to_string(PrlVersion(s.prl));
}

bool SetPrlVersion(DeviceState& s, std::string_view v, std::string* error) {
    int64_t x = 0;
    if (!ParseInteger(v, 0, 0xFFFF, &x)) {
        *error = "not a 16-bit number: " + std::string(v);
        return false;
    }
    s.prl = MakePrl(static_cast<uint16_t>(x));
    return true;
}

std::string GetPrlSize(const DeviceState& s) {
    return std::to_string(s.prl.size());
}

bool RefusePrlSize(DeviceState&, std::string_view, std::string* error) {
    *error = "follows the list: set prl or prl_version";
    return false;
}

enum class Kind : uint8_t {
    Persistent,  // in the state file
    View,        // shows (part of) an NV item or the list; the item is what the file keeps
    Session,     // lives until the port closes or the modem resets
};

struct FieldDef {
    const char* name;
    std::string (*get)(const DeviceState&);
    bool (*set)(DeviceState&, std::string_view, std::string*);
    Kind kind = Kind::Persistent;
};

using S = DeviceState;
constexpr FieldDef kFields[] = {
    {"esn", GetHex<&S::esn, 8>, SetNumber<&S::esn>},
    {"rf_mode", GetNumber<&S::rfMode>, SetNumber<&S::rfMode>},
    {"rx_state", GetNumber<&S::rxState>, SetNumber<&S::rxState>},
    {"channel", GetNumber<&S::channel>, SetNumber<&S::channel>},
    {"pilot_pn", GetNumber<&S::pilotPn>, SetNumber<&S::pilotPn>},
    {"sid", GetNumber<&S::sid>, SetNumber<&S::sid>},
    {"nid", GetNumber<&S::nid>, SetNumber<&S::nid>},
    {"rssi_1x", GetNumber<&S::rssi1x>, SetNumber<&S::rssi1x>},
    {"compile_date", GetText<&S::compileDate>, SetText<&S::compileDate, 11>},
    {"compile_time", GetText<&S::compileTime>, SetText<&S::compileTime, 8>},
    {"release_date", GetText<&S::releaseDate>, SetText<&S::releaseDate, 11>},
    {"release_time", GetText<&S::releaseTime>, SetText<&S::releaseTime, 8>},
    {"version_dir", GetText<&S::versionDir>, SetText<&S::versionDir, 8>},
    {"station_class_mark", GetHex<&S::stationClassMark, 2>, SetNumber<&S::stationClassMark>},
    {"cai_revision", GetNumber<&S::caiRevision>, SetNumber<&S::caiRevision>},
    {"model", GetHex<&S::model, 2>, SetNumber<&S::model>},
    {"firmware_revision", GetHex<&S::firmwareRevision, 4>, SetNumber<&S::firmwareRevision>},
    {"slot_cycle_index", GetNumber<&S::slotCycleIndex>, SetNumber<&S::slotCycleIndex>},
    {"software_revision", GetText<&S::softwareRevision>, SetText<&S::softwareRevision, 49>},
    {"time_offset_ms", GetNumber<&S::timeOffsetMs>, SetNumber<&S::timeOffsetMs>},
    {"operating_mode", GetText<&S::operatingMode>, SetOperatingMode},
    {"scenario", GetText<&S::scenario>, SetText<&S::scenario, 64>},
    {"service", GetService, SetService},
    {"evdo_present", GetNumber<&S::evdoPresent>, SetFlag<&S::evdoPresent>},
    {"rssi_evdo", GetNumber<&S::rssiEvdo>, SetNumber<&S::rssiEvdo, 0, 125>},
    {"evdo_channel", GetNumber<&S::evdoChannel>, SetNumber<&S::evdoChannel, 0, 0x7FF>},
    {"traffic", GetNumber<&S::traffic>, SetFlag<&S::traffic>},
    {"dormant", GetNumber<&S::dormant>, SetFlag<&S::dormant>},
    {"roaming", GetNumber<&S::roaming>, SetFlag<&S::roaming>},
    {"log_rate_hz", GetNumber<&S::logRateHz>, SetNumber<&S::logRateHz, 0, 50>},
    {"identity", GetText<&S::identity>, SetText<&S::identity, 120>},
    {"capability", GetHex<&S::capability, 4>, SetNumber<&S::capability>},
    {"battery_state", GetNumber<&S::batteryState>, SetNumber<&S::batteryState>},
    {"battery_percent", GetNumber<&S::batteryPercent>, SetNumber<&S::batteryPercent>},
    {"notices", GetHex<&S::notices, 4>, SetNumber<&S::notices>},
    {"user_w4", GetNumber<&S::userW4>, SetNumber<&S::userW4>},
    {"user_w6", GetNumber<&S::userW6>, SetNumber<&S::userW6>},
    {"card_present", GetNumber<&S::cardPresent>, SetFlag<&S::cardPresent>},
    {"pin_enabled", GetNumber<&S::pinEnabled>, SetFlag<&S::pinEnabled>},
    {"pin", GetText<&S::pin>, SetCode<&S::pin>},
    {"puk", GetText<&S::puk>, SetCode<&S::puk>},
    {"pin_attempts", GetNumber<&S::pinAttempts>, SetNumber<&S::pinAttempts, 0, 3>},
    {"puk_attempts", GetNumber<&S::pukAttempts>, SetNumber<&S::pukAttempts, 0, 10>},
    {"spc_lock", GetNumber<&S::spcLock>, SetFlag<&S::spcLock>},
    {"block32", GetBytes<&S::block32>, SetByteArray<&S::block32>},
    {"block34", GetBytes<&S::block34>, SetByteArray<&S::block34>},
    {"prl", GetPrl, SetPrl},
    {"sms_inbox", GetSmsBox<0>, SetSmsBox<0>},
    {"sms_saved", GetSmsBox<1>, SetSmsBox<1>},
    {"sms_outbox", GetSmsBox<2>, SetSmsBox<2>},
    {"sms_drafts", GetSmsBox<3>, SetSmsBox<3>},
    {"spc", GetSpc, SetSpc, Kind::View},
    {"min", GetMin, SetMin, Kind::View},
    {"mdn", GetMdn, SetMdn, Kind::View},
    {"pref_mode", GetNv16<NvPrefMode, 1>, SetNv16<NvPrefMode, 1>, Kind::View},
    {"home_sid", GetNv16<NvHomeSidNid, 1>, SetNv16<NvHomeSidNid, 1>, Kind::View},
    {"home_nid", GetNv16<NvHomeSidNid, 3>, SetNv16<NvHomeSidNid, 3>, Kind::View},
    {"mcc", GetDigitGroup<NvMcc, 3>, SetDigitGroup<NvMcc, 3>, Kind::View},
    {"imsi_11_12", GetDigitGroup<NvImsi1112, 2>, SetDigitGroup<NvImsi1112, 2>, Kind::View},
    {"chap_id", GetChapId, SetChapId, Kind::View},
    {"card_mode", GetCardMode, SetCardMode, Kind::View},
    {"prl_version", GetPrlVersion, SetPrlVersion, Kind::View},
    {"prl_size", GetPrlSize, RefusePrlSize, Kind::View},
    {"spc_unlocked", GetNumber<&S::spcUnlocked>, SetFlag<&S::spcUnlocked>, Kind::Session},
    {"pin_verified", GetNumber<&S::pinVerified>, SetFlag<&S::pinVerified>, Kind::Session},
    {"sms_read_fail", GetNumber<&S::smsReadFail>, SetNumber<&S::smsReadFail, -1, 255>, Kind::Session},
};

const FieldDef* FindField(std::string_view name) {
    for (const FieldDef& f : kFields) {
        if (name == f.name) {
            return &f;
        }
    }
    return nullptr;
}

constexpr std::string_view kNvPrefix = "nv.";

// "nv.N" with N an item number of this modem.
bool ParseNvName(std::string_view name, uint16_t* item) {
    if (name.substr(0, kNvPrefix.size()) != kNvPrefix) {
        return false;
    }
    int64_t n = 0;
    if (!ParseInteger(name.substr(kNvPrefix.size()), 0, kLastNvItem, &n)) {
        return false;
    }
    *item = static_cast<uint16_t>(n);
    return true;
}

std::string NvText(const NvData& d) {
    // Trailing zeros are left out; an all-zero item is one zero byte.
    size_t n = kNvDataSize;
    while (n > 1 && d[n - 1] == 0) {
        --n;
    }
    return HexText(d.data(), n);
}

// mkdir -p with mode 0700 for the folders it creates.
bool MakeParents(const std::string& path) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        const std::string dir = path.substr(0, pos);
        if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>* out) {
    out->clear();
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else if (c == ' ' || c == '\t' || c == ':' || c == '\r') {
            if (high >= 0) {
                return false;  // a lone digit
            }
            continue;
        } else {
            return false;
        }
        if (high < 0) {
            high = v;
        } else {
            out->push_back(static_cast<uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return high < 0;
}

std::vector<std::string> StateFieldNames() {
    std::vector<std::string> names;
    for (const FieldDef& f : kFields) {
        names.emplace_back(f.name);
    }
    return names;
}

bool GetStateField(const DeviceState& state, std::string_view name, std::string* value) {
    if (uint16_t item = 0; ParseNvName(name, &item)) {
        const auto it = state.nv.find(item);
        if (it == state.nv.end()) {
            return false;
        }
        *value = NvText(it->second);
        return true;
    }
    const FieldDef* f = FindField(name);
    if (f == nullptr) {
        return false;
    }
    *value = f->get(state);
    return true;
}

bool SetStateField(DeviceState& state, std::string_view name, std::string_view value, std::string* error) {
    if (uint16_t item = 0; ParseNvName(name, &item)) {
        std::vector<uint8_t> bytes;
        if (!ParseHexBytes(value, &bytes) || bytes.size() > kNvDataSize) {
            *error = std::string(name) + ": expected up to 128 hex bytes";
            return false;
        }
        NvData d{};
        std::copy(bytes.begin(), bytes.end(), d.begin());
        state.nv[item] = d;
        return true;
    }
    const FieldDef* f = FindField(name);
    if (f == nullptr) {
        *error = "unknown field " + std::string(name);
        return false;
    }
    std::string why;
    if (!f->set(state, value, &why)) {
        *error = std::string(name) + ": " + why;
        return false;
    }
    return true;
}

std::string FormatState(const DeviceState& state) {
    std::string text = "# velmo modem stand-in device state\n";
    for (const FieldDef& f : kFields) {
        if (f.kind != Kind::Persistent) {
            continue;
        }
        text += f.name;
        text += " = ";
        text += f.get(state);
        text += '\n';
    }
    for (const auto& [item, data] : state.nv) {
        text += std::string(kNvPrefix) + std::to_string(item) + " = " + NvText(data) + '\n';
    }
    return text;
}

void ParseState(std::string_view text, DeviceState& state, std::string* warnings) {
    int lineNo = 0;
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        ++lineNo;
        line = Trim(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const size_t eq = line.find('=');
        std::string error = "no '='";
        if (eq != std::string_view::npos) {
            const std::string_view name = Trim(line.substr(0, eq));
            const FieldDef* f = FindField(name);
            if (f != nullptr && f->kind != Kind::Persistent) {
                error = std::string(name) + ": not kept in the state file";
            } else if (SetStateField(state, name, Trim(line.substr(eq + 1)), &error)) {
                continue;
            }
        }
        if (warnings != nullptr) {
            *warnings += "line " + std::to_string(lineNo) + ": " + error + "\n";
        }
    }
}

std::string DefaultStatePath() {
    if (const char* path = std::getenv("VELMO_SIM_STATE"); path != nullptr && *path != '\0') {
        return path;
    }
    return platform::StateHome() + "/velmo/modem-sim.state";
}

bool ReadStateFile(const std::string& path, DeviceState& state, std::string* error) {
    state = DeviceState{};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int saved = errno;
        *error = ErrnoText("cannot open", path);
        errno = saved;  // LoadStateFile tells a missing file from others by it
        return false;
    }
    // Room for the largest roaming list in hex and every NV item.
    constexpr size_t kMaxStateFile = 4u << 20;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *error = ErrnoText("cannot read", path);
            close(fd);
            return false;
        }
        if (got == 0 || text.size() > kMaxStateFile) {
            break;
        }
        text.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    std::string warnings;
    ParseState(text, state, &warnings);
    if (!warnings.empty()) {
        std::fprintf(stderr, "velmo-modem-sim: %s: ignored\n%s", path.c_str(), warnings.c_str());
    }
    return true;
}

bool LoadStateFile(const std::string& path, DeviceState& state, std::string* error) {
    if (ReadStateFile(path, state, error)) {
        return true;
    }
    if (errno == ENOENT) {
        state = DeviceState{};
        return SaveStateFile(path, state, error);
    }
    return false;
}

bool SaveStateFile(const std::string& path, const DeviceState& state, std::string* error) {
    if (!MakeParents(path)) {
        *error = ErrnoText("cannot create the folder of", path);
        return false;
    }
    const std::string temp = path + ".tmp." + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = ErrnoText("cannot create", temp);
        return false;
    }
    const std::string text = FormatState(state);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            break;
        }
        done += static_cast<size_t>(wrote);
    }
    // A crash must leave either the old file or the new one, never half of one.
    const bool ok = done == text.size() && fsync(fd) == 0;
    const int savedErrno = errno;
    close(fd);
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        errno = ok ? errno : savedErrno;
        *error = ErrnoText("cannot write", path);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace velmo::sim
