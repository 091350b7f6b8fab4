#include "SmsModel.h"

#include "Texts.h"

namespace velmo::manager::smspane {

namespace {

using K = ControlKind;

constexpr LayoutRow kPaneRows[] = {
    {kInBoxButton, K::Button, "InBox", W(1, 17), H(6, 30), W(6, 25), H(8, 30)},
    {kSavedBoxButton, K::Button, "SavedBox", W(5, 17), H(6, 30), W(12, 25), H(8, 30)},
    {kOutBoxButton, K::Button, "OutBox", W(9, 17), H(6, 30), W(18, 25), H(8, 30)},
    {kDraftBoxButton, K::Button, "DraftBox", W(13, 17), H(6, 30), W(24, 25), H(8, 30)},
    {kList, K::List, nullptr, W(1, 17), H(9, 30), W(97, 100), H(26, 30)},
    {kSendMsg, K::Button, "Send Msg", W(1, 17), H(27, 30), W(7, 25), H(29, 30)},
    {kForward, K::Button, "Forward", W(11, 34), H(27, 30), W(23, 50), H(29, 30)},
    {kReply, K::Button, "Reply", W(8, 17), H(27, 30), W(15, 25), H(29, 30)},
    {kDelete, K::Button, "Delete", W(23, 34), H(27, 30), W(41, 50), H(29, 30)},
    {kDeleteAll, K::Button, "Delete All", W(14, 17), H(27, 30), W(24, 25), H(29, 30)},
    // Above the box buttons, in the pane's free band: the load's progress "k / N" and its stop button.
    {kProgress, K::Value, nullptr, W(1, 17), H(3, 30), W(18, 25), H(5, 30)},
    {kStopLoad, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Przerwij"), W(19, 25), H(3, 30),
     W(24, 25), H(5, 30)},
};

constexpr const char* kTypes[] = {"Normal", "Interactive", "Urgent", "Emergency"};

}  // namespace

std::span<const LayoutRow> PaneLayout() {
    return kPaneRows;
}

std::vector<Column> Columns(bool inBox) {
    std::vector<Column> c = {{"Idx", 30}, {"Type", 70}, {"Time", 110}, {"OriginNumber", 100}, {"Msg", 300}};
    if (inBox) {
        c.insert(c.begin() + kStatusColumn, Column{"Status", 60});
    }
    return c;
}

QString TypeText(uint8_t priority) {
    return priority < std::size(kTypes) ? QString::fromLatin1(kTypes[priority]) : QString();
}

QString StatusText(uint16_t readStatus) {
    switch (readStatus) {
        case sms::kRead:
            return QStringLiteral("Read");
        case sms::kNotRead:
            return QStringLiteral("Not Read");
        default:
            return {};
    }
}

QString DisplayText(const std::u16string& text) {
    const std::u16string cut = sms::Cut(text);
    QString s = QString::fromUtf16(cut.data(), static_cast<qsizetype>(cut.size()));
    // One line per row: the list shows line breaks and other control characters as spaces.
    for (QChar& c : s) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char(' ');
        }
    }
    return s;
}

SmsRow MakeRow(int position, const sms::Message& m, const QString& time, bool inBox) {
    SmsRow r;
    r.position = position;
    r.slot = m.slot;
    r.priority = m.priority;
    r.readStatus = m.readStatus;
    r.type = TypeText(m.priority);
    r.status = inBox ? StatusText(m.readStatus) : QString();
    r.time = time;
    r.number = QString::fromLatin1(m.number.data(), static_cast<qsizetype>(m.number.size()));
    r.text = DisplayText(m.text);
    return r;
}

bool BoxButtonEnabled(const SmsPaneState& state, sms::Box box) {
    return box != state.box;
}

uint8_t ForwardPriority(const SmsRow& row) {
    return row.priority <= static_cast<uint8_t>(sms::Priority::Urgent) ? row.priority
                                                                       : uint8_t(sms::Priority::Emergency);
}

ComposeFields ForwardFields(const SmsRow& row) {
    ComposeFields f;
    f.priority = ForwardPriority(row);
    f.text = row.text.left(kMaxComposeCharacters);
    f.counter = CounterOf(f.text);
    return f;
}

ComposeFields ReplyFields(const SmsRow& row) {
    ComposeFields f;
    f.destination = row.number;
    return f;
}

sms::Message ComposedMessage(const ComposeFields& fields) {
    sms::Message m;
    m.priority = static_cast<uint8_t>(fields.priority);
    m.deliveryReport = fields.deliveryReport;
    m.number = fields.destination.toStdString();
    m.ownNumber = fields.ownNumber.toStdString();
    const std::u16string text(reinterpret_cast<const char16_t*>(fields.text.utf16()),
                              static_cast<size_t>(fields.text.size()));
    m.text = sms::Cut(text);
    return m;
}

std::optional<Notice> ComposeRefusal(const ComposeFields& fields) {
    if (fields.destination.isEmpty()) {
        return Notice{Tr::tr("Enter Origin Number!"), PromptIcon::Exclamation};
    }
    if (fields.ownNumber.isEmpty()) {
        return Notice{Tr::tr("Enter Phone Number!"), PromptIcon::Exclamation};
    }
    // The record holds 32 characters per number, and the modem dials what it is given.
    if (sms::NumberRefusal(fields.destination.toStdString())) {
        return Notice{Tr::tr("Numer odbiorcy może zawierać tylko cyfry oraz znaki +, * i # (najwyżej %1).")
                          .arg(sms::kNumberField),
                      PromptIcon::Exclamation};
    }
    if (sms::NumberRefusal(fields.ownNumber.toStdString())) {
        return Notice{Tr::tr("Numer telefonu może zawierać tylko cyfry oraz znaki +, * i # (najwyżej %1).")
                          .arg(sms::kNumberField),
                      PromptIcon::Exclamation};
    }
    return std::nullopt;
}

Notice Failure(const char* text) {
    return {Tr::tr(text), PromptIcon::Stop};
}

Notice Success(const char* text) {
    return {Tr::tr(text), PromptIcon::None};
}

QString TruncatedText(int count) {
    return Tr::tr("Skrzynka zawiera %1 wiadomości; lista pokazuje pierwsze %2.").arg(count).arg(kMaxRows);
}

QString CopyKeptText() {
    return Tr::tr("Wysłanie nie powiodło się; kopia wiadomości jest już zapisana w skrzynce OutBox.");
}

QString ViewerStatus(const SmsPaneState& state, const SmsRow& row) {
    return state.box == sms::Box::InBox ? row.status : QStringLiteral("None");
}

}  // namespace velmo::manager::smspane
