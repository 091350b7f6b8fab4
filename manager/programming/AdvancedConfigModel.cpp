#include "AdvancedConfigModel.h"

#include <QFile>

#include "manager/core/PrefMode.h"
#include "manager/core/Texts.h"
#include "wire/LeCursor.h"

namespace velmo::manager::programming {

namespace {

#define T(text) QT_TRANSLATE_NOOP("velmo::manager::Tr", text)

constexpr ParamCode kNone = ParamCode::Esn;
constexpr const char* kLength10 = T("Invalid length - 10 digits only");
constexpr const char* kLength1 = T("Invalid length - 1 digits only");

// The window's parameters in the order of its controls.
constexpr FieldRow kRows[kRowCount] = {
    {T("ESN :"),
     "ESN",
     {1025, 0, 0, 0},
     1051,
     1052,
     {ParamCode::Esn, kNone},
     1,
     Shown::Hex32,
     Check::None,
     0,
     nullptr,
     nullptr},
    {T("MIN :"),
     "MIN",
     {1026, 0, 0, 0},
     1053,
     1054,
     {ParamCode::Min2, ParamCode::Min1},
     2,
     Shown::Min,
     Check::ExactLength,
     10,
     kLength10,
     T("MIN write failed!")},
    {T("MCC_M :"),
     "MCC_M",
     {1027, 0, 0, 0},
     1055,
     1056,
     {ParamCode::MccM, kNone},
     1,
     Shown::Text,
     Check::ExactLength,
     3,
     T("Invalid length - 3 digits only"),
     T("MCC_M write failed!")},
    {T("IMSI_M_11_12 :"),
     "IMSI_M_11_12",
     {1028, 0, 0, 0},
     1057,
     1058,
     {ParamCode::Imsi1112, kNone},
     1,
     Shown::Text,
     Check::ExactLength,
     2,
     T("Invalid length - 2 digits only"),
     T("IMSI_M_11_12 write failed!")},
    {T("DIR NUMBER :"),
     "DIR NUMBER",
     {1038, 0, 0, 0},
     1059,
     1060,
     {ParamCode::DirNumber, kNone},
     1,
     Shown::Text,
     Check::ExactLength,
     10,
     kLength10,
     T("MDM write failed!")},
    {T("MOB_TERM_HOME :"),
     "MOB_TERM_HOME",
     {1032, 0, 0, 0},
     1061,
     1062,
     {ParamCode::MobTermHome, kNone},
     1,
     Shown::Number,
     Check::ExactLength,
     1,
     kLength1,
     T("MOB_TERM_HOME write failed!")},
    {T("MOB_TERM_FOR_SID :"),
     "MOB_TERM_FOR_SID",
     {1031, 0, 0, 0},
     1063,
     1064,
     {ParamCode::MobTermForSid, kNone},
     1,
     Shown::Number,
     Check::ExactLength,
     1,
     kLength1,
     T("MOB_TERM_FOR_SID write failed!")},
    {T("MOB_TERM_FOR_NID :"),
     "MOB_TERM_FOR_NID",
     {1030, 0, 0, 0},
     1065,
     1066,
     {ParamCode::MobTermForNid, kNone},
     1,
     Shown::Number,
     Check::ExactLength,
     1,
     kLength1,
     T("MOB_TERM_FOR_NID write failed!")},
    {T("SCI :"),
     "SCI",
     {1029, 0, 0, 0},
     1067,
     1068,
     {ParamCode::Sci, kNone},
     1,
     Shown::Number,
     Check::ExactLength,
     1,
     kLength1,
     T("SCI write failed!")},
    {T("HOME SID_NID (800 MHz)"),
     "HOME SID_NID (800 MHz)",
     {1048, 1047, 0, 0},
     1077,
     1078,
     {ParamCode::HomeSidNid, kNone},
     1,
     Shown::Pair,
     Check::SidNid,
     0,
     "",
     T("HOME_SID_NID write failed!")},
    {T("SID_NID_LOCK (800 MHz)"),
     "SID_NID_LOCK (800 MHz)",
     {1046, 1045, 0, 0},
     1079,
     1080,
     {ParamCode::SidNidLock, kNone},
     1,
     Shown::Pair,
     Check::SidNid,
     0,
     "SID_NID_LOCK ",
     T("SID_NID_LOCK write failed!")},
    {T("SID_NID (1900 MHz)"),
     "SID_NID (1900 MHz)",
     {1044, 1043, 0, 0},
     1081,
     1082,
     {ParamCode::SidNid1900, kNone},
     1,
     Shown::Pair,
     Check::SidNid,
     0,
     "SID_NID_1900 ",
     T("SID_NID_1900 write failed!")},
    {T("CHAP ID :"),
     "CHAP ID",
     {1037, 0, 0, 0},
     1087,
     1088,
     {ParamCode::ChapId, kNone},
     1,
     Shown::Text,
     Check::MaxLength,
     64,
     T("Invalid length - CHAP ID length must be equal to or less than 64"),
     T("CHAP ID write failed!")},
    {T("CHAP Password :"),
     "CHAP Password",
     {1036, 0, 0, 0},
     1089,
     1090,
     {ParamCode::ChapPassword, kNone},
     1,
     Shown::NotRead,
     Check::MaxLength,
     14,
     T("Invalid length - CHAP Password length must be equal to or less than 14"),
     T("CHAP Password write failed!"),
     false},
    {T("PREF_MODE :"),
     "PREF_MODE",
     {1049, 0, 0, 0},
     1085,
     1086,
     {ParamCode::PrefMode, kNone},
     1,
     Shown::ModeList,
     Check::ListEntry,
     0,
     T("Invalid Pref_Mode!"),
     T("PREF_MODE write failed!")},
    {T(" Channel (800MHz) "),
     "Channel (800MHz)",
     {1042, 1041, 1040, 1039},
     1083,
     1084,
     {ParamCode::PrimaryChannels, ParamCode::SecondaryChannels},
     2,
     Shown::Channels,
     Check::AllFilled,
     0,
     T("Some channel empty"),
     T("Channel write failed!")},
};

constexpr int kReadAll[] = {kEsn,           kImsi1112,      kMccM,        kDirNumber,  kMin,
                            kMobTermForNid, kMobTermForSid, kMobTermHome, kSci,        kHomeSidNid,
                            kPrefMode,      kChannels,      kSidNidLock,  kSidNid1900, kChapId};

// The list's entries and the modes they stand for.
constexpr const char* kModeTexts[kModeEntries] = {T("EvDO Only"), T("1xRTT and EvDO"), T("1xRTT Only")};
constexpr uint16_t kModes[kModeEntries] = {prefmode::kModemEvdoOnly, prefmode::kModemHybrid,
                                           prefmode::kModem1xOnly};

constexpr const char* kMinSecondWriteFailed = T("MIN write failed !");
constexpr const char* kAKeyLength = T("Invalid length - 20 digits only!");
constexpr const char* kAKeyWriteFailed = T("AKey write failed!");
constexpr const char* kChannelNumber = T("Channel Invalid number");
constexpr const char* kSpcLength = T("SPC must be 6 digit number");
constexpr int kAKeyDigits = 20;
constexpr int kSpcDigits = 6;
constexpr uint32_t kLargest16 = 0xFFFF;

// The pair edits' own small labels, for their accessible names.
constexpr const char* kPairParts[] = {"SID", "NID"};
constexpr const char* kChannelParts[] = {"Primary A", "Primary B", "Seconadary A", "Seconadary B"};

#undef T

}  // namespace

std::span<const FieldRow> Rows() {
    return kRows;
}

const FieldRow& RowOf(int row) {
    return kRows[row >= 0 && row < kRowCount ? row : 0];
}

std::span<const int> ReadAllOrder() {
    return kReadAll;
}

QString ModeEntryText(int entry) {
    return entry >= 0 && entry < kModeEntries ? Tr::tr(kModeTexts[entry]) : QString();
}

int ModeEntryFor(uint16_t mode) {
    for (int i = 0; i < kModeEntries; ++i) {
        if (kModes[i] == mode) {
            return i;
        }
    }
    return -1;
}

std::optional<uint16_t> ModeForEntry(int entry) {
    if (entry < 0 || entry >= kModeEntries) {
        return std::nullopt;
    }
    return kModes[entry];
}

int EditCount(const FieldRow& row) {
    int n = 0;
    for (int id : row.edits) {
        n += id != 0 ? 1 : 0;
    }
    return n;
}

QString TextOf(std::span<const uint8_t> value, size_t size) {
    QByteArray bytes;
    for (size_t i = 0; i < size && i < value.size() && value[i] != 0; ++i) {
        bytes.append(static_cast<char>(value[i]));
    }
    // A modem's bytes: invalid UTF-8 becomes replacement characters.
    return QString::fromUtf8(bytes);
}

QString Hex32Of(std::span<const uint8_t> value) {
    return QStringLiteral("%1").arg(wire::Get32(value, 0), 8, 16, QLatin1Char('0')).toUpper();
}

QString NumberOf(std::span<const uint8_t> value) {
    return QString::number(value.empty() ? 0 : value[0]);
}

std::array<QString, 2> PairOf(std::span<const uint8_t> value) {
    return {QString::number(wire::Get16(value, 0)), QString::number(wire::Get16(value, 2))};
}

int CheckStateOf(std::span<const uint8_t> value) {
    // The box's state is the value itself; anything beyond its three states shows as undetermined.
    const int v = value.empty() ? kUndetermined : value[0];
    return v <= kUndetermined ? v : kUndetermined;
}

bool LooksUnread(const FieldRow& row, const FieldValue& value) {
    if (row.shown == Shown::ModeList) {
        return value.entry < 0;
    }
    for (int i = 0; i < EditCount(row); ++i) {
        if (value.texts[static_cast<size_t>(i)].isEmpty()) {
            return true;
        }
    }
    return false;
}

uint32_t LeadingNumber(const QString& text) {
    uint64_t n = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            break;
        }
        // Held at the top: a long run of digits must not wrap into a small, acceptable number.
        n = std::min<uint64_t>(n * 10 + static_cast<uint64_t>(c.unicode() - '0'), 0xFFFFFFFFu);
    }
    return static_cast<uint32_t>(n);
}

bool AllDigits(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

namespace {

std::vector<uint8_t> Latin(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> values, size_t width) {
    std::vector<uint8_t> out;
    for (uint32_t v : values) {
        for (size_t i = 0; i < width; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}

WritePlan Refuse(const QString& text) {
    WritePlan plan;
    plan.refusal = text;
    return plan;
}

WritePlan Nothing() {
    WritePlan plan;
    plan.nothing = true;
    return plan;
}

}  // namespace

WritePlan PlanWrite(int index, const FieldValue& value) {
    const FieldRow& row = RowOf(index);
    const QString& text = value.texts[0];
    WritePlan plan;
    switch (row.check) {
        case Check::None:
            return Nothing();
        case Check::ExactLength:
            if (text.isEmpty()) {
                return Nothing();
            }
            // Only digits reach the modem: a refused character in the second half of MIN would leave the
            // first half written.
            if (text.size() != row.length || !AllDigits(text)) {
                return Refuse(Tr::tr(row.checkMessage));
            }
            if (row.shown == Shown::Min) {
                plan.writes.push_back({ParamCode::Min1, Latin(text.right(7))});
                plan.writes.push_back({ParamCode::Min2, Latin(text.left(3))});
            } else if (row.shown == Shown::Number) {
                plan.writes.push_back({row.codes[0], {static_cast<uint8_t>(LeadingNumber(text))}});
            } else {
                plan.writes.push_back({row.codes[0], Latin(text)});
            }
            return plan;
        case Check::MaxLength: {
            if (text.isEmpty()) {
                return Nothing();
            }
            const QByteArray bytes = text.toUtf8();
            if (bytes.size() > row.length) {
                return Refuse(Tr::tr(row.checkMessage));
            }
            plan.writes.push_back({row.codes[0], std::vector<uint8_t>(bytes.begin(), bytes.end())});
            return plan;
        }
        case Check::SidNid: {
            const QString& nid = value.texts[1];
            if (text.isEmpty() && nid.isEmpty()) {
                return Nothing();
            }
            const QString prefix = QString::fromLatin1(row.checkMessage);
            if (text.isEmpty()) {
                return Refuse(prefix + QStringLiteral("SID invalid"));
            }
            if (LeadingNumber(text) > kLargest16) {
                return Refuse(prefix + QStringLiteral("SID Invalid number"));
            }
            if (nid.isEmpty()) {
                return Refuse(prefix + QStringLiteral("NID invalid"));
            }
            if (LeadingNumber(nid) > kLargest16) {
                return Refuse(prefix + QStringLiteral("NID Invalid number"));
            }
            plan.writes.push_back({row.codes[0], Words({LeadingNumber(text), LeadingNumber(nid)}, 2)});
            return plan;
        }
        case Check::ListEntry: {
            const std::optional<uint16_t> mode = ModeForEntry(value.entry);
            if (!mode) {
                return Refuse(Tr::tr(row.checkMessage));
            }
            plan.writes.push_back({row.codes[0], Words({*mode}, 4)});
            return plan;
        }
        case Check::AllFilled: {
            int filled = 0;
            for (int i = 0; i < 4; ++i) {
                filled += value.texts[static_cast<size_t>(i)].isEmpty() ? 0 : 1;
            }
            if (filled == 0) {
                return Nothing();
            }
            if (filled < 4) {
                return Refuse(Tr::tr(row.checkMessage));
            }
            std::array<uint32_t, 4> n{};
            for (size_t i = 0; i < n.size(); ++i) {
                n[i] = LeadingNumber(value.texts[i]);
                // 70000 would otherwise be written as 4464.
                if (n[i] > kLargest16) {
                    return Refuse(Tr::tr(kChannelNumber));
                }
            }
            plan.writes.push_back({row.codes[0], Words({n[0], n[1]}, 2)});
            plan.writes.push_back({row.codes[1], Words({n[2], n[3]}, 2)});
            return plan;
        }
    }
    return Nothing();
}

WritePlan PlanAKeyWrite(const QString& text) {
    if (text.isEmpty()) {
        return Nothing();
    }
    if (text.size() != kAKeyDigits || !AllDigits(text)) {
        return Refuse(Tr::tr(kAKeyLength));
    }
    WritePlan plan;
    plan.writes.push_back({ParamCode::AKey, Latin(text)});
    return plan;
}

QString WriteFailedText(int row, size_t index) {
    if (row == kMin && index == 1) {
        return Tr::tr(kMinSecondWriteFailed);
    }
    if (row < 0) {
        return Tr::tr(kAKeyWriteFailed);
    }
    return Tr::tr(RowOf(row).writeFailed);
}

std::optional<QString> SpcRefusal(const QString& text) {
    if (text.size() != kSpcDigits || !AllDigits(text)) {
        return Tr::tr(kSpcLength);
    }
    return std::nullopt;
}

PrlFile LoadPrlFile(const QString& path) {
    PrlFile out;
    if (path.isEmpty()) {
        out.refusal = Tr::tr("No PRL File Name!");
        return out;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.refusal = Tr::tr("Could not open PRL file!");
        return out;
    }
    const qint64 size = file.size();
    if (size >= kPrlFileLimit) {
        out.refusal = Tr::tr("PRL File Too Large!");
        return out;
    }
    const QByteArray bytes = file.read(kPrlFileLimit);
    if (bytes.size() < size) {
        out.refusal = Tr::tr("PRL File Read Error!");
        return out;
    }
    // The first two bytes give the list's length, high byte first; a file too short to hold them is no list.
    const int field =
        bytes.size() >= 2 ? (static_cast<uint8_t>(bytes[0]) << 8 | static_cast<uint8_t>(bytes[1])) : -1;
    if (field != bytes.size()) {
        out.refusal = Tr::tr("PRL File Invalid!");
        return out;
    }
    out.bytes.assign(bytes.begin(), bytes.end());
    return out;
}

QString EditName(const FieldRow& row, int index) {
    const QString name = QString::fromLatin1(row.name);
    if (row.shown == Shown::Pair && index >= 0 && index < 2) {
        return name + QLatin1Char(' ') + QLatin1String(kPairParts[index]);
    }
    if (row.shown == Shown::Channels && index >= 0 && index < 4) {
        return name + QLatin1Char(' ') + QLatin1String(kChannelParts[index]);
    }
    // A single edit is named after its label.
    return Tr::tr(row.label).trimmed();
}

QString ButtonName(const FieldRow& row, bool write) {
    return QString::fromLatin1(row.name) + (write ? QStringLiteral(" W") : QStringLiteral(" R"));
}

}  // namespace velmo::manager::programming
