// The short-message pane as tables and plain functions: its controls and columns, the rows made from the
// modem's records, the compose dialog's fields and their checks, and the texts of every outcome.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Layout.h"
#include "UserPrompt.h"
#include "sms/SmsRecord.h"

namespace velmo::manager::smspane {

// Control ids of the pane and its two dialogs.
enum ControlId : int {
    kInBoxButton = 226,
    kSavedBoxButton = 227,
    kOutBoxButton = 228,
    kDraftBoxButton = 229,
    kList = 230,
    kSendMsg = 231,
    kDelete = 232,
    kDeleteAll = 233,
    kForward = 239,
    kReply = 240,
    // The load's progress and its stop button, shown while a box is read.
    kProgress = 1240,
    kStopLoad = 1241,
    // Compose dialog.
    kOwnNumber = 1157,
    kDestination = 1158,
    kPriorityList = 1159,
    kDeliveryReport = 1161,
    kMessageEdit = 1162,
    kCounter = 1163,
    kSend = 1154,
    kSendSave = 1155,
    kSave = 1156,
    // Viewer.
    kViewIndex = 1164,
    kViewTime = 1165,
    kViewStatus = 1166,
    kViewNumber = 1167,
    kViewMessage = 1168,
    kViewSave = 1171,
};

constexpr int ButtonOf(sms::Box box) {
    return kInBoxButton + static_cast<int>(box);
}

std::span<const LayoutRow> PaneLayout();

// The list's columns in order; "Status" only while the in-box is on display.
struct Column {
    const char* title;
    int width;
};
std::vector<Column> Columns(bool inBox);
inline constexpr int kStatusColumn = 2;

// The rows a list holds: the slot table has this many entries.
inline constexpr int kMaxRows = 100;
// The compose dialog's message edit takes this many characters.
inline constexpr int kMaxComposeCharacters = 160;

// "Normal" … "Emergency" by the priority byte, empty for other values.
QString TypeText(uint8_t priority);
// "Read" for 1, "Not Read" for 3, empty otherwise.
QString StatusText(uint16_t readStatus);
// A record's text for the list: at most 260 code units, never half a character.
QString DisplayText(const std::u16string& text);

struct SmsRow {
    int position = 0;
    uint8_t slot = 0;  // the slot table's entry of this row
    uint8_t priority = 0;
    uint16_t readStatus = 0;
    QString type;
    QString status;  // empty outside the in-box
    QString time;
    QString number;
    QString text;
};
SmsRow MakeRow(int position, const sms::Message& m, const QString& time, bool inBox);

// What the pane shows; the flows take it and give back the next one.
struct SmsPaneState {
    sms::Box box = sms::Box::InBox;  // on display
    sms::Box previous = sms::Box::InBox;
    bool loaded = false;  // no box is read before a box button is pressed
    bool statusColumn = true;
    bool rowButtonsEnabled = false;
    std::vector<SmsRow> rows;
    // The box's count as the modem gave it; above kMaxRows the list holds the first kMaxRows.
    int count = 0;
};
bool BoxButtonEnabled(const SmsPaneState& state, sms::Box box);

// The compose dialog's fields.
struct ComposeFields {
    QString ownNumber;
    QString destination;
    int priority = 0;
    bool deliveryReport = false;
    QString text;
    int counter = 0;  // the counter's first value
};
// The number of UTF-16 code units the counter shows.
inline int CounterOf(const QString& text) {
    return static_cast<int>(text.size());
}
// Forward keeps priorities 0 to 2 and sends anything else as Emergency.
uint8_t ForwardPriority(const SmsRow& row);
ComposeFields ForwardFields(const SmsRow& row);
ComposeFields ReplyFields(const SmsRow& row);

// The record a composed message becomes: slot 0, time 0, attribute 0, read status 0, text cut to 260 units.
sms::Message ComposedMessage(const ComposeFields& fields);

struct Notice {
    QString text;
    PromptIcon icon = PromptIcon::None;
    bool operator==(const Notice&) const = default;
};
// Why a composed message cannot go out (empty or unusable numbers), checked before anything is sent.
std::optional<Notice> ComposeRefusal(const ComposeFields& fields);
// The texts of the outcomes, each with its icon.
Notice Failure(const char* text);
Notice Success(const char* text);
// A count above the slot table.
QString TruncatedText(int count);
// A send-and-save whose copy is stored but whose send failed.
QString CopyKeptText();

inline constexpr char kReadError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Read Error!");
inline constexpr char kCountError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Count Read Error!");
inline constexpr char kDraftFull[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Draft-Box Full!");
inline constexpr char kOutFull[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Out-Box Full!");
inline constexpr char kSavedFull[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Saved-Box Full!");
inline constexpr char kDraftSaved[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Msg Saved");
inline constexpr char kDraftError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Save Error!");
inline constexpr char kSent[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Msg sent");
inline constexpr char kSendError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Send Error!");
inline constexpr char kSentSaved[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Sent and Saved");
inline constexpr char kSendSaveError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "SMS Send&Save Error!");
inline constexpr char kCopied[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Msg Saved");
inline constexpr char kCopyError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Msg Save Error!");
inline constexpr char kDeleted[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Msg Deleted");
inline constexpr char kDeleteError[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Msg Delete Error!");
inline constexpr char kDeleteAllQuestion[] =
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "Do you want to delete all messages?");
inline constexpr char kAllDeleted[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "All Messages Deleted");

// The viewer's "Status" value: the row's cell in the in-box, "None" elsewhere.
QString ViewerStatus(const SmsPaneState& state, const SmsRow& row);

}  // namespace velmo::manager::smspane
