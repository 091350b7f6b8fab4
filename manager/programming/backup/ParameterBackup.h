// A backup of the modem's service parameters: read them all, keep them in a JSON file, write them back to the
// same modem. Qt-free, so that the manager and velmo-cli share it.
//
// Never stored: the SPC (25) and the A-key (26), which the modem does not give out, and the CHAP password
// (29), which is personal. The ESN is stored to tell the modem the backup belongs to, and never written.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmo::programming {

// How a backup reaches the parameters: the manager through its wrapper, the client through the interface.
class IParameterAccess {
  public:
    virtual ~IParameterAccess() = default;
    // The value bytes of a read (the reply from its byte 5); nullopt when the read failed (no reply or a
    // nonzero item status).
    virtual std::optional<std::vector<uint8_t>> Read(uint8_t code) = 0;
    // Writes the value bytes (the record's bytes from 4); false when the write failed.
    virtual bool Write(uint8_t code, std::span<const uint8_t> value) = 0;
};

// How a stored value is typed: what a read gives, what a write takes and how the JSON file holds it.
enum class ValueKind : uint8_t {
    Esn,     // 4 bytes, shown "%08X"; read only
    Digits,  // exactly size digit characters
    Text,    // at most size characters
    Pair,    // two 16-bit numbers, shown "SID,NID"
    Byte,    // one byte
    Mode,    // read as 16 bits, written as 32 bits
};

struct StoredParameter {
    uint8_t code;
    const char* name;
    ValueKind kind;
    uint8_t size;  // characters of a text, otherwise the bytes a read gives
    bool writable;
};

// Every stored parameter, in the order a restore writes them (MIN1 before MIN2).
std::span<const StoredParameter> StoredParameters();
// The row of a code; nullptr for a code that is not stored.
const StoredParameter* FindStoredParameter(uint8_t code);

struct BackupEntry {
    uint8_t code = 0;
    std::string name;
    // As shown: the text, "4139,65535" for a pair, the number of a byte or mode.
    std::string value;
};

struct Backup {
    std::string esn;       // "%08X"
    std::string savedUtc;  // ISO 8601, "2026-12-09T07:01:02Z"
    std::vector<BackupEntry> entries;
    std::vector<uint8_t> unread;  // codes whose read failed
};

// Reads every stored parameter; nullopt (with *error) when the ESN cannot be read.
std::optional<Backup> ReadBackup(IParameterAccess& access, std::string* error);

std::string BackupToJson(const Backup& backup);
// Refuses malformed files, unknown format or version, unknown or duplicate codes and values out of range,
// with a message that says which.
std::optional<Backup> BackupFromJson(const std::string& text, std::string* error);

// ${XDG_STATE_HOME:-$HOME/.local/state}/velmo/backups
std::string BackupFolder();
// BackupFolder()/<ESN>-<UTC time as 20261209T070102Z>.json
std::string DefaultBackupPath(const Backup& backup);

// Written atomically (temporary file, fsync, rename) with mode 0600; a missing folder is created 0700, and
// BackupFolder() is narrowed to 0700 when it is wider.
bool SaveBackup(const Backup& backup, const std::string& path, std::string* error);
// At most kBackupFileLimit bytes.
std::optional<Backup> LoadBackup(const std::string& path, std::string* error);
inline constexpr size_t kBackupFileLimit = 64 * 1024;

// The lines a confirmation lists before a restore, one per written value: "MIN1 (1): 5550123".
std::vector<std::string> RestoreLines(const Backup& backup);

struct RestoreResult {
    bool refused = false;  // the modem's ESN differs from the backup's, or cannot be read: nothing written
    std::string modemEsn;
    std::vector<uint8_t> failed;   // writes that failed
    std::vector<uint8_t> differs;  // written, but reading back gives another value (e.g. the modem is locked
                                   // by its SPC)
    // For each code of differs, in the same order, what reading back gave (value empty when the read failed).
    std::vector<BackupEntry> readBack;
    bool Ok() const { return !refused && failed.empty() && differs.empty(); }
};

// Reads the modem's ESN and refuses another; otherwise writes every writable entry in the table's order, then
// reads each back and compares.
RestoreResult RestoreBackup(IParameterAccess& access, const Backup& backup);

}  // namespace velmo::programming
