// The advanced configuration window as data: one row per parameter with its label, its edits and buttons, the
// parameter codes it reads and writes, how the value is shown and how a typed value is checked. Reading all,
// each "R" and each "W" are loops over these rows.
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "manager/core/Parameters.h"

namespace velmo::manager::programming {

inline constexpr int kWindowId = 170;

// Control ids of the window's other controls.
enum ControlId : int {
    kAKeyEdit = 1035,
    kAKeyWrite = 1069,
    kSpcEdit = 1034,
    kUnlock = 1070,
    kChangeSpc = 1071,
    kSpcChangeBox = 1050,
    kSpcChangeRead = 1072,
    kSpcChangeSet = 1073,
    kPrlPathEdit = 1033,
    kPrlFile = 1092,
    kPrlDownload = 1091,
    kOpenPort = 1075,
    kClosePort = 1074,
    kRefresh = 1076,
};

enum class Shown {
    Hex32,     // "%08X" of the 32-bit value
    Min,       // the MIN2 digits followed by the MIN1 digits
    Text,      // the characters up to the first zero
    Number,    // "%d" of one byte
    Pair,      // "%d" of two 16-bit values
    Channels,  // two pairs: primary A, B and secondary A, B
    ModeList,  // a selection of the mode list
    NotRead,   // write-only
};

// What a "W" checks before it writes.
enum class Check {
    None,         // writes nothing (the ESN)
    ExactLength,  // exactly length characters
    MaxLength,    // at most length characters
    SidNid,       // SID and NID not empty and below 65536
    ListEntry,    // a list entry is selected
    AllFilled,    // every edit of the row filled
};

struct FieldRow {
    const char* label;         // the label's text, as shown
    const char* name;          // the row's name for accessibility and the buttons' names
    std::array<int, 4> edits;  // edit ids, 0 where unused (the mode list's id for PREF_MODE)
    int read;                  // the "R" button, 0 none
    int write;                 // the "W" button, 0 none
    std::array<ParamCode, 2> codes;
    int codeCount;
    Shown shown;
    Check check;
    int length;                // for the length checks
    const char* checkMessage;  // a failed check (the SID/NID prefix for pairs)
    const char* writeFailed;   // a failed write (the first of MIN's two)
    bool readActs = true;      // the "R" of the CHAP password does nothing
};

enum Row : int {
    kEsn,
    kMin,
    kMccM,
    kImsi1112,
    kDirNumber,
    kMobTermHome,
    kMobTermForSid,
    kMobTermForNid,
    kSci,
    kHomeSidNid,
    kSidNidLock,
    kSidNid1900,
    kChapId,
    kChapPassword,
    kPrefMode,
    kChannels,
    kRowCount,
};

std::span<const FieldRow> Rows();
const FieldRow& RowOf(int row);

// The order in which opening and "Refresh" read the values (SPC Change Enabled comes after the last row).
std::span<const int> ReadAllOrder();

// The mode list, in its order.
inline constexpr int kModeEntries = 3;
QString ModeEntryText(int entry);
// The entry shown for a mode (10, 1, 9); -1, an empty text, for any other.
int ModeEntryFor(uint16_t mode);
std::optional<uint16_t> ModeForEntry(int entry);

// The three states of the SPC Change Enabled box.
inline constexpr int kUnchecked = 0;
inline constexpr int kChecked = 1;
inline constexpr int kUndetermined = 2;

// What a row shows: up to four edit texts, or the list's entry.
struct FieldValue {
    std::array<QString, 4> texts;
    int entry = -1;
    bool operator==(const FieldValue&) const = default;
};

struct ConfigValues {
    std::array<FieldValue, kRowCount> rows;
    int spcChangeEnabled = kUndetermined;
    bool operator==(const ConfigValues&) const = default;
};

// How many edits a row has.
int EditCount(const FieldRow& row);

// The value bytes of one parameter read shown in a row's edits; index says which pair of the channels row
// (0 primary, 1 secondary) and which half of MIN (0 MIN2, 1 MIN1).
QString TextOf(std::span<const uint8_t> value, size_t size);
QString Hex32Of(std::span<const uint8_t> value);
QString NumberOf(std::span<const uint8_t> value);
std::array<QString, 2> PairOf(std::span<const uint8_t> value);
int CheckStateOf(std::span<const uint8_t> value);

// After an "R": the row still looks unread (an edit of it empty, or no list entry).
bool LooksUnread(const FieldRow& row, const FieldValue& value);

// What a "W" does with what its row shows: nothing (an empty edit), a refusal with the row's message, or the
// parameter writes in their order, each with its value bytes.
struct ParameterWrite {
    ParamCode code;
    std::vector<uint8_t> value;
};
struct WritePlan {
    bool nothing = false;
    QString refusal;
    std::vector<ParameterWrite> writes;
};
WritePlan PlanWrite(int row, const FieldValue& value);
// The A-key: exactly 20 digits.
WritePlan PlanAKeyWrite(const QString& text);
// The message when the write at index of a plan failed.
QString WriteFailedText(int row, size_t index);

// A number taken from a text by its leading decimal digits (0 without any), held at the top of 32 bits.
uint32_t LeadingNumber(const QString& text);
bool AllDigits(const QString& text);

// The SPC of the Unlock and Change SPC buttons: six digits, else this message.
std::optional<QString> SpcRefusal(const QString& text);

// A roaming list file as the download takes it: the bytes, or the message of the first check that fails.
inline constexpr qint64 kPrlFileLimit = 110000;
struct PrlFile {
    QString refusal;
    std::vector<uint8_t> bytes;
};
PrlFile LoadPrlFile(const QString& path);

// The accessible name of a row's edit (index of edits) and of its buttons ("MIN R", "MIN W").
QString EditName(const FieldRow& row, int index);
QString ButtonName(const FieldRow& row, bool write);

}  // namespace velmo::manager::programming
