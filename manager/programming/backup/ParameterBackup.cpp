#include "ParameterBackup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/Ports.h"
#include "platform/dialup/FileUtil.h"
#include "wire/LeCursor.h"

namespace velmo::programming {

namespace {

// Keys keep the order they are written in, so the file reads format, version, ESN, time, parameters.
using Json = nlohmann::ordered_json;

constexpr const char* kFormat = "velmo-parameter-backup";
constexpr int kVersion = 1;
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

constexpr StoredParameter kTable[] = {
    {0, "ESN", ValueKind::Esn, 4, false},
    {1, "MIN1", ValueKind::Digits, 7, true},
    {3, "MIN2", ValueKind::Digits, 3, true},
    {5, "MCC_M", ValueKind::Digits, 3, true},
    {7, "IMSI_M_11_12", ValueKind::Digits, 2, true},
    {11, "DIR NUMBER", ValueKind::Digits, 10, true},
    {12, "HOME SID_NID", ValueKind::Pair, 4, true},
    {14, "MOB_TERM_HOME", ValueKind::Byte, 1, true},
    {15, "MOB_TERM_FOR_SID", ValueKind::Byte, 1, true},
    {16, "MOB_TERM_FOR_NID", ValueKind::Byte, 1, true},
    {19, "Primary channels", ValueKind::Pair, 4, true},
    {20, "Secondary channels", ValueKind::Pair, 4, true},
    {22, "SCI", ValueKind::Byte, 1, true},
    {24, "SPC Change Enabled", ValueKind::Byte, 1, true},
    {27, "PREF_MODE", ValueKind::Mode, 2, true},
    {28, "CHAP ID", ValueKind::Text, 64, true},
    {30, "SID_NID_LOCK", ValueKind::Pair, 4, true},
    {31, "SID_NID (1900 MHz)", ValueKind::Pair, 4, true},
    {34, "Hybrid preference", ValueKind::Byte, 1, true},
};
constexpr const StoredParameter& kEsnRow = kTable[0];

std::optional<uint32_t> ParseNumber(std::string_view text, uint32_t max) {
    uint32_t v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || ptr != end || v > max) {
        return std::nullopt;
    }
    return v;
}

// The value as shown, from the read's value bytes; nullopt when the reply is too short to hold it.
std::optional<std::string> Shown(const StoredParameter& row, wire::ConstBytes bytes) {
    char buf[32];
    const size_t width = row.kind == ValueKind::Digits || row.kind == ValueKind::Text ? 0 : row.size;
    if (!wire::Fits(bytes.size(), 0, width)) {
        return std::nullopt;
    }
    switch (row.kind) {
        case ValueKind::Esn:
            std::snprintf(buf, sizeof buf, "%08X", wire::Get32(bytes, 0));
            return buf;
        case ValueKind::Digits:
        case ValueKind::Text:
            return wire::LeReader(bytes).Text(row.size);
        case ValueKind::Pair:
            std::snprintf(buf, sizeof buf, "%u,%u", wire::Get16(bytes, 0), wire::Get16(bytes, 2));
            return buf;
        case ValueKind::Byte:
            return std::to_string(wire::Get8(bytes, 0));
        case ValueKind::Mode:
            return std::to_string(wire::Get16(bytes, 0));
    }
    return std::nullopt;
}

// The write's value bytes for a shown value; nullopt when the value is not one the parameter can take, which
// is also how every value from a file is checked.
std::optional<std::vector<uint8_t>> Encoded(const StoredParameter& row, const std::string& value) {
    std::vector<uint8_t> out;
    switch (row.kind) {
        case ValueKind::Esn:
            return std::nullopt;
        case ValueKind::Digits:
            if (value.size() != row.size ||
                !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                return std::nullopt;
            }
            return std::vector<uint8_t>(value.begin(), value.end());
        case ValueKind::Text:
            if (value.size() > row.size || value.find('\0') != std::string::npos) {
                return std::nullopt;
            }
            return std::vector<uint8_t>(value.begin(), value.end());
        case ValueKind::Pair: {
            const size_t comma = value.find(',');
            if (comma == std::string::npos) {
                return std::nullopt;
            }
            const auto a = ParseNumber(std::string_view(value).substr(0, comma), 0xFFFF);
            const auto b = ParseNumber(std::string_view(value).substr(comma + 1), 0xFFFF);
            if (!a || !b) {
                return std::nullopt;
            }
            out.resize(4);
            wire::LeWriter(out).U16(static_cast<uint16_t>(*a)).U16(static_cast<uint16_t>(*b));
            return out;
        }
        case ValueKind::Byte: {
            const auto v = ParseNumber(value, 0xFF);
            if (!v) {
                return std::nullopt;
            }
            return std::vector<uint8_t>{static_cast<uint8_t>(*v)};
        }
        case ValueKind::Mode: {
            // Read as 16 bits, so nothing wider can have come from a modem.
            const auto v = ParseNumber(value, 0xFFFF);
            if (!v) {
                return std::nullopt;
            }
            out.resize(4);
            wire::Put32(out, 0, *v);
            return out;
        }
    }
    return std::nullopt;
}

std::string ExpectedValue(const StoredParameter& row) {
    switch (row.kind) {
        case ValueKind::Digits:
            return "a text of exactly " + std::to_string(row.size) + " digits";
        case ValueKind::Text:
            return "a text of at most " + std::to_string(row.size) + " bytes without a zero byte";
        case ValueKind::Pair:
            return "two numbers from 0 to 65535";
        case ValueKind::Byte:
            return "a number from 0 to 255";
        case ValueKind::Mode:
            return "a number from 0 to 65535";
        case ValueKind::Esn:
            break;
    }
    return "";
}

std::string RowLabel(const StoredParameter& row) {
    return "parameter " + std::to_string(row.code) + " (" + row.name + ")";
}

std::string NowUtc() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

bool ValidUtc(const std::string& text) {
    static constexpr char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}

bool ValidEsn(const std::string& text) {
    return text.size() == 8 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Texts go into the file as they are when they are UTF-8; anything else (a modem may hold any bytes) as hex,
// so that a restore writes back exactly what was read.
bool IsUtf8(const std::string& text) {
    try {
        (void)Json(text).dump();
        return true;
    } catch (const Json::type_error&) {
        return false;
    }
}

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 0xF];
    }
    return out;
}

std::optional<std::string> FromHex(const std::string& hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::string out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        uint8_t v = 0;
        const auto [ptr, ec] = std::from_chars(hex.data() + i, hex.data() + i + 2, v, 16);
        if (ec != std::errc() || ptr != hex.data() + i + 2) {
            return std::nullopt;
        }
        out += static_cast<char>(v);
    }
    return out;
}

Json ValueToJson(const StoredParameter& row, const std::string& value) {
    const auto bytes = Encoded(row, value);
    switch (row.kind) {
        case ValueKind::Pair:
            if (bytes) {
                return Json::array({wire::Get16(*bytes, 0), wire::Get16(*bytes, 2)});
            }
            break;
        case ValueKind::Byte:
        case ValueKind::Mode:
            if (bytes) {
                return wire::LoadLe(*bytes, 0, bytes->size());
            }
            break;
        default:
            break;
    }
    return value;  // a malformed value stays visible, and loading the file names it
}

// The shown value of a file's entry; nullopt when it is not of the parameter's kind.
std::optional<std::string> ValueFromJson(const StoredParameter& row, const Json& entry) {
    if (row.kind == ValueKind::Text && !entry.contains("value") && entry.contains("hex")) {
        const Json& hex = entry["hex"];
        return hex.is_string() ? FromHex(hex.get<std::string>()) : std::nullopt;
    }
    if (!entry.contains("value")) {
        return std::nullopt;
    }
    const Json& v = entry["value"];
    auto number = [](const Json& n) -> std::optional<uint64_t> {
        return n.is_number_unsigned() ? std::optional(n.get<uint64_t>()) : std::nullopt;
    };
    switch (row.kind) {
        case ValueKind::Digits:
        case ValueKind::Text:
            return v.is_string() ? std::optional(v.get<std::string>()) : std::nullopt;
        case ValueKind::Pair: {
            if (!v.is_array() || v.size() != 2 || !number(v[0]) || !number(v[1])) {
                return std::nullopt;
            }
            return std::to_string(*number(v[0])) + "," + std::to_string(*number(v[1]));
        }
        case ValueKind::Byte:
        case ValueKind::Mode:
            return number(v) ? std::optional(std::to_string(*number(v))) : std::nullopt;
        case ValueKind::Esn:
            break;
    }
    return std::nullopt;
}

std::nullopt_t Refuse(std::string* error, const std::string& text) {
    if (error != nullptr) {
        *error = text;
    }
    return std::nullopt;
}

const BackupEntry* FindEntry(const Backup& backup, uint8_t code) {
    const auto it = std::find_if(backup.entries.begin(), backup.entries.end(),
                                 [code](const BackupEntry& e) { return e.code == code; });
    return it == backup.entries.end() ? nullptr : &*it;
}

// Control characters would reach a terminal or a label as they are.
std::string Printable(const std::string& text) {
    std::string out = text;
    std::replace_if(
        out.begin(), out.end(), [](char c) { return (c >= 0 && c < 0x20) || c == 0x7F; }, '?');
    return out;
}

std::string Normal(const std::string& path) {
    std::string out = std::filesystem::path(path).lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

}  // namespace

std::span<const StoredParameter> StoredParameters() {
    return kTable;
}

const StoredParameter* FindStoredParameter(uint8_t code) {
    const auto it = std::find_if(std::begin(kTable), std::end(kTable),
                                 [code](const auto& row) { return row.code == code; });
    return it == std::end(kTable) ? nullptr : it;
}

std::optional<Backup> ReadBackup(IParameterAccess& access, std::string* error) {
    const auto esnBytes = access.Read(kEsnRow.code);
    const auto esn = esnBytes ? Shown(kEsnRow, *esnBytes) : std::nullopt;
    if (!esn) {
        return Refuse(error, "the modem's ESN cannot be read");
    }
    Backup backup;
    backup.esn = *esn;
    backup.savedUtc = NowUtc();
    for (const StoredParameter& row : kTable) {
        if (row.kind == ValueKind::Esn) {
            continue;
        }
        const auto bytes = access.Read(row.code);
        const auto value = bytes ? Shown(row, *bytes) : std::nullopt;
        // A value the parameter could not take back (a MIN the modem cannot decode) counts as not read.
        if (!value || !Encoded(row, *value)) {
            backup.unread.push_back(row.code);
            continue;
        }
        backup.entries.push_back({row.code, row.name, *value});
    }
    return backup;
}

std::string BackupToJson(const Backup& backup) {
    // The ESN and time of a hand-built backup may be any bytes; they must not stop the file being written.
    auto dump = [](const Json& j) { return j.dump(-1, ' ', false, Json::error_handler_t::replace); };
    // One parameter a line, so that the file reads and edits well by hand.
    std::string parameters;
    for (const BackupEntry& entry : backup.entries) {
        const StoredParameter* row = FindStoredParameter(entry.code);
        if (row == nullptr || !row->writable) {
            continue;
        }
        Json item = {{"code", entry.code}, {"name", row->name}};
        if (row->kind == ValueKind::Text && !IsUtf8(entry.value)) {
            item["hex"] = Hex(entry.value);
        } else {
            item["value"] = ValueToJson(*row, entry.value);
        }
        parameters += (parameters.empty() ? "\n    " : ",\n    ") + dump(item);
    }
    return "{\n  \"format\": " + dump(kFormat) + ",\n  \"version\": " + dump(kVersion) +
           ",\n  \"esn\": " + dump(backup.esn) + ",\n  \"saved\": " + dump(backup.savedUtc) +
           ",\n  \"parameters\": [" + parameters + (parameters.empty() ? "" : "\n  ") +
           "],\n  \"unread\": " + dump(backup.unread) + "\n}\n";
}

std::optional<Backup> BackupFromJson(const std::string& text, std::string* error) {
    const Json doc = Json::parse(text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        return Refuse(error, "not a JSON object");
    }
    if (!doc.contains("format") || doc["format"] != kFormat) {
        return Refuse(error, std::string("not a parameter backup (\"format\" is not \"") + kFormat + "\")");
    }
    if (!doc.contains("version") || !doc["version"].is_number_integer()) {
        return Refuse(error, "the backup has no version");
    }
    if (doc["version"] != kVersion) {
        return Refuse(error, "backup version " + doc["version"].dump() +
                                 " is not supported (this program reads version " + std::to_string(kVersion) +
                                 ")");
    }
    Backup backup;
    if (!doc.contains("esn") || !doc["esn"].is_string() || !ValidEsn(doc["esn"].get<std::string>())) {
        return Refuse(error, "\"esn\" must be 8 hexadecimal digits");
    }
    backup.esn = Upper(doc["esn"].get<std::string>());
    if (!doc.contains("saved") || !doc["saved"].is_string() || !ValidUtc(doc["saved"].get<std::string>())) {
        return Refuse(error, "\"saved\" must be a UTC time such as 2026-12-09T07:01:02Z");
    }
    backup.savedUtc = doc["saved"].get<std::string>();
    const Json none = Json::array();
    const Json& parameters = doc.contains("parameters") ? doc["parameters"] : none;
    const Json& unread = doc.contains("unread") ? doc["unread"] : none;
    if (!parameters.is_array() || !unread.is_array()) {
        return Refuse(error, "\"parameters\" and \"unread\" must be lists");
    }
    std::vector<uint8_t> seen;
    // The code of a list item; refused when it is not one of a stored, writable parameter or comes twice.
    auto codeOf = [&](const Json& code, const StoredParameter** row) -> bool {
        const uint64_t raw = code.is_number_unsigned() ? code.get<uint64_t>() : 0;
        *row = code.is_number_unsigned() && raw <= 0xFF ? FindStoredParameter(static_cast<uint8_t>(raw))
                                                        : nullptr;
        if (*row == nullptr || !(*row)->writable) {
            Refuse(error,
                   "unknown parameter code " + code.dump(-1, ' ', false, Json::error_handler_t::replace));
            return false;
        }
        if (std::find(seen.begin(), seen.end(), (*row)->code) != seen.end()) {
            Refuse(error, RowLabel(**row) + " is listed twice");
            return false;
        }
        seen.push_back((*row)->code);
        return true;
    };
    for (const Json& item : parameters) {
        const StoredParameter* row = nullptr;
        if (!item.is_object() || !item.contains("code")) {
            return Refuse(error, "every parameter needs a \"code\"");
        }
        if (!codeOf(item["code"], &row)) {
            return std::nullopt;
        }
        const auto value = ValueFromJson(*row, item);
        if (!value || !Encoded(*row, *value)) {
            return Refuse(error, RowLabel(*row) + ": the value must be " + ExpectedValue(*row));
        }
        backup.entries.push_back({row->code, row->name, *value});
    }
    for (const Json& code : unread) {
        const StoredParameter* row = nullptr;
        if (!codeOf(code, &row)) {
            return std::nullopt;
        }
        backup.unread.push_back(row->code);
    }
    // The table's order, whatever the file's, so that a restore and its lines follow it.
    auto order = [](uint8_t code) { return FindStoredParameter(code) - kTable; };
    std::sort(backup.entries.begin(), backup.entries.end(),
              [&](const BackupEntry& a, const BackupEntry& b) { return order(a.code) < order(b.code); });
    std::sort(backup.unread.begin(), backup.unread.end(),
              [&](uint8_t a, uint8_t b) { return order(a) < order(b); });
    return backup;
}

std::string BackupFolder() {
    return platform::StateHome() + "/velmo/backups";
}

std::string DefaultBackupPath(const Backup& backup) {
    std::string stamp = backup.savedUtc;
    std::erase_if(stamp, [](char c) { return c == '-' || c == ':'; });
    return BackupFolder() + "/" + backup.esn + "-" + stamp + ".json";
}

bool SaveBackup(const Backup& backup, const std::string& path, std::string* error) {
    auto fail = [&](const std::string& what) {
        Refuse(error, what + ": " + std::strerror(errno));
        return false;
    };
    if (path.empty() || path.back() == '/') {
        errno = EINVAL;
        return fail("no file name given");
    }
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 && !dialup::MakeDirectories(folder, kFolderMode)) {
        return fail("cannot create the folder " + folder);
    }
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return fail("cannot use the folder " + folder);
    }
    // Only our own folder is narrowed: a folder the user named may be shared on purpose.
    if ((st.st_mode & 077) != 0 && Normal(folder) == Normal(BackupFolder()) &&
        chmod(folder.c_str(), kFolderMode) != 0) {
        return fail("cannot make the folder " + folder + " private");
    }
    if (!dialup::WriteFileAtomically(path, BackupToJson(backup), kFileMode)) {
        return fail("cannot write " + path);
    }
    return true;
}

std::optional<Backup> LoadBackup(const std::string& path, std::string* error) {
    std::string text;
    if (!dialup::ReadSmallFile(path, text, kBackupFileLimit)) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) {
            return Refuse(error, "cannot read " + path + ": " + std::strerror(errno));
        }
        if (!S_ISREG(st.st_mode)) {
            return Refuse(error, path + " is not a regular file");
        }
        if (static_cast<uint64_t>(st.st_size) > kBackupFileLimit) {
            return Refuse(error, path + " is larger than a backup can be (64 KiB)");
        }
        return Refuse(error, "cannot read " + path);
    }
    std::string why;
    auto backup = BackupFromJson(text, &why);
    if (!backup) {
        return Refuse(error, path + ": " + why);
    }
    return backup;
}

std::vector<std::string> RestoreLines(const Backup& backup) {
    std::vector<std::string> lines;
    for (const StoredParameter& row : kTable) {
        const BackupEntry* entry = FindEntry(backup, row.code);
        if (row.writable && entry != nullptr) {
            lines.push_back(std::string(row.name) + " (" + std::to_string(row.code) +
                            "): " + Printable(entry->value));
        }
    }
    return lines;
}

RestoreResult RestoreBackup(IParameterAccess& access, const Backup& backup) {
    RestoreResult result;
    const auto esnBytes = access.Read(kEsnRow.code);
    const auto esn = esnBytes ? Shown(kEsnRow, *esnBytes) : std::nullopt;
    result.modemEsn = esn.value_or("");
    if (!esn || *esn != Upper(backup.esn)) {
        result.refused = true;
        return result;
    }
    std::vector<std::pair<const StoredParameter*, const BackupEntry*>> written;
    for (const StoredParameter& row : kTable) {
        const BackupEntry* entry = FindEntry(backup, row.code);
        if (!row.writable || entry == nullptr) {
            continue;
        }
        const auto bytes = Encoded(row, entry->value);
        if (!bytes || !access.Write(row.code, *bytes)) {
            result.failed.push_back(row.code);
            continue;
        }
        written.emplace_back(&row, entry);
    }
    // Read back after all the writes, so that a value a later write changed is caught as well.
    for (const auto& [row, entry] : written) {
        const auto bytes = access.Read(row->code);
        const auto value = bytes ? Shown(*row, *bytes) : std::nullopt;
        if (value != entry->value) {
            result.differs.push_back(row->code);
            result.readBack.push_back({row->code, row->name, value.value_or("")});
        }
    }
    return result;
}

}  // namespace velmo::programming
