#include "CardFlow.h"

#include <optional>

#include "Texts.h"

namespace velmo::manager {

namespace {

// Every card message of the start-up has an OK button and no icon.
constexpr char kCardRefused[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Niewłaściwa karta RUIM");
constexpr char kWrongPinRetry[] = QT_TRANSLATE_NOOP(
    "velmo::manager::Tr", "Błąd: nieprawidłowy kod PIN.\n\nProszę sprawdzić swój PIN i wprowadzić ponownie.");
constexpr char kWrongPin[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Błąd: nieprawidłowy kod PIN.");
constexpr char kWrongPinCaption[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Niewłaściwy PIN");
constexpr char kWrongPukRetry[] = QT_TRANSLATE_NOOP(
    "velmo::manager::Tr", "Błąd: nieprawidłowy kod PUK.\n\nProszę sprawdzić swój PUK i wprowadzić ponownie.");
constexpr char kBlocked[] = QT_TRANSLATE_NOOP(
    "velmo::manager::Tr",
    "Poniewaz wprowadzono nieprawidlowy PUK dziesieciokrotnie, \nmodem zostal zablokowany.\n\nW celu "
    "odblokowania modemu skontaktuj sie z twoim opertorem.");
constexpr char kWrongPukCaption[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Niewłaściwy PUK");
constexpr char kCodeRight[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Kod poprawny");
constexpr char kDoneCaption[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wykonano pomyślnie");
constexpr char kNoPuk[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Nie wprowadzono kodu PUK");
constexpr char kNoNewPin[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Nie wprowadzono nowego kodu PIN");
constexpr char kCodesDiffer[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Niezgodność kodów");
constexpr char kMissingCaption[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Brakujące pole");

constexpr char kNoModem[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Nie znaleziono modemu");
constexpr char kNoAccess[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Błąd: Brak dostępu");
constexpr char kRequestOff[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Żądanie kodu PIN wyłączone");
constexpr char kRequestOn[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Żądanie kodu PIN włączone");
constexpr char kNoOldPin[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Nie wprowadzono starego kodu PIN");
constexpr char kPinChanged[] = QT_TRANSLATE_NOOP("velmo::manager::Tr", "Kod PIN został zmieniony");

// A card build has "R" as the sixth character of its software revision.
constexpr size_t kCardBuildAt = 5;
// Waits after a card command of the RUIM tab.
constexpr uint32_t kRuimCommandWaitMs = 100;

// The card test window's own caption for its questions.
constexpr char kAdvancedStatusCaption[] = "Advanced Status";

CardReply ReplyOf(const std::optional<CModemWrapper::CardAnswer>& answer) {
    return answer ? answer->reply : CardReply{};
}

}  // namespace

const char* PukEntryProblem(const PukEntry& entry) {
    if (entry.puk.isEmpty()) {
        return kNoPuk;
    }
    if (entry.newPin.isEmpty()) {
        return kNoNewPin;
    }
    if (entry.newPin != entry.confirmPin) {
        return kCodesDiffer;
    }
    return nullptr;
}

RuimTabState RuimTabStateFor(int32_t connectionState, const ModemStatusRecord& status, bool pinRequest) {
    if (connectionState == kConnDeviceFound) {
        return {};
    }
    const char sixth = status.SoftwareRevision[kCardBuildAt];
    if (sixth != 'R' && sixth != 'r') {
        return {};
    }
    return {pinRequest, true};
}

const char* PinChangeProblem(const QString& oldPin, const QString& newPin, const QString& confirmPin) {
    if (oldPin.isEmpty()) {
        return kNoOldPin;
    }
    if (newPin.isEmpty()) {
        return kNoNewPin;
    }
    // The fields hold eight characters: whatever differs beyond them was never typed into them.
    if (newPin.left(static_cast<qsizetype>(r60::kCodeField)) !=
        confirmPin.left(static_cast<qsizetype>(r60::kCodeField))) {
        return kCodesDiffer;
    }
    return nullptr;
}

QString CardTestTitle(CardTest test) {
    switch (test) {
        case CardTest::Status:
            return QStringLiteral("response of get uim status");
        case CardTest::VerifyPin:
            return QStringLiteral("response of PIN Verify");
        case CardTest::EnablePin:
            return QStringLiteral("response of PIN enable");
        case CardTest::DisablePin:
            return QStringLiteral("response of PIN disable");
        case CardTest::ChangePin:
            return QStringLiteral("response of PIN Change");
        case CardTest::PukStatus:
            return QStringLiteral("response of PUK Check");
        case CardTest::UnblockPin:
            return QStringLiteral("response of PIN Unblock");
    }
    return QString();
}

QString CardTestButtonText(CardTest test) {
    switch (test) {
        case CardTest::Status:
            return QStringLiteral("UIM Status");
        case CardTest::VerifyPin:
            return QStringLiteral("PIN Verify");
        case CardTest::EnablePin:
            return QStringLiteral("PIN Enable");
        case CardTest::DisablePin:
            return QStringLiteral("PIN Disable");
        case CardTest::ChangePin:
            return QStringLiteral("PIN Change");
        case CardTest::PukStatus:
            return QStringLiteral("PUK Check");
        case CardTest::UnblockPin:
            return QStringLiteral("PIN Unblock");
    }
    return QString();
}

QString CardTestQuestion(CardTest test) {
    const QString pin = QString::fromLatin1(kTestPin);
    const QString newPin = QString::fromLatin1(kTestNewPin);
    const QString puk = QString::fromLatin1(kTestPuk);
    const QString warning = QStringLiteral(
        "\n\nThis goes to the real card in the modem: a wrong code uses up one of its attempts, "
        "and repeated wrong codes block the card.\nSend it?");
    switch (test) {
        case CardTest::Status:
            return QStringLiteral("Send command 35 (get UIM status) to the card?");
        case CardTest::VerifyPin:
            return QStringLiteral("Send command 36 (PIN verify) with the PIN \"%1\".").arg(pin) + warning;
        case CardTest::EnablePin:
            return QStringLiteral("Send command 37 (PIN request on) with the PIN \"%1\".").arg(pin) + warning;
        case CardTest::DisablePin:
            return QStringLiteral("Send command 37 (PIN request off) with the PIN \"%1\".").arg(pin) +
                   warning;
        case CardTest::ChangePin:
            return QStringLiteral(
                       "Send command 38 (PIN change) from the PIN \"%1\" to the new PIN \"%2\". This "
                       "changes the card's PIN.")
                       .arg(pin, newPin) +
                   warning;
        case CardTest::PukStatus:
            return QStringLiteral("Send command 39 (PUK status) to the card?");
        case CardTest::UnblockPin:
            return QStringLiteral(
                       "Send command 40 (PIN unblock) with the PUK \"%1\" and the new PIN \"%2\". This "
                       "sets the card's PIN.")
                       .arg(puk, newPin) +
                   warning;
    }
    return QString();
}

QString CardAnswerText(CardTest test, const CardReply& reply) {
    QString text = QStringLiteral("enable = %1, remained time = %2, uim_ack = %3")
                       .arg(reply.enable)
                       .arg(reply.remainedTime)
                       .arg(reply.uimAck);
    if (test == CardTest::Status) {
        text += QStringLiteral(", pin_verification = %1").arg(reply.pinVerification);
    }
    return text;
}

template <class F>
auto CCardFlow::Command(F&& fn) -> decltype(fn()) {
    if (caller_ == Caller::Worker) {
        return fn();
    }
    decltype(fn()) result{};
    session_.Paused([&] { result = fn(); });
    return result;
}

void CCardFlow::OnCardRefused() {
    prompt_.Message(Tr::tr(kCardRefused), QString(), PromptIcon::None);
}

CardOutcome CCardFlow::OnCodeWanted(const CardReply& status) {
    return status.remainedTime > 0 ? AskPin(status.remainedTime) : AskPuk();
}

CardOutcome CCardFlow::AskPin(int attempts) {
    QString pin;
    session_.Context().RecordCardQuestion(1);
    if (!prompt_.AskPin(attempts, &pin)) {
        return CardOutcome::CloseAndQuit;
    }
    const CardReply r = ReplyOf(Command([&] { return session_.Wrapper().VerifyPin(pin.toStdString()); }));
    if (r.uimAck == 0) {
        prompt_.Message(r.remainedTime > 0 ? Tr::tr(kWrongPinRetry) : Tr::tr(kWrongPin),
                        Tr::tr(kWrongPinCaption), PromptIcon::None);
        return CardOutcome::CloseDevice;
    }
    prompt_.Message(Tr::tr(kCodeRight), Tr::tr(kDoneCaption), PromptIcon::None);
    return CardOutcome::Go;
}

CardOutcome CCardFlow::AskPuk() {
    const CardReply status = ReplyOf(Command([&] { return session_.Wrapper().PukStatus(); }));
    if (status.remainedTime == 0) {
        prompt_.Message(Tr::tr(kBlocked), Tr::tr(kWrongPukCaption), PromptIcon::None);
        return CardOutcome::CloseAndQuit;
    }
    PukEntry entry;
    session_.Context().RecordCardQuestion(2);
    if (!prompt_.AskPuk(status.remainedTime, &entry)) {
        return CardOutcome::CloseAndQuit;
    }
    if (const char* problem = PukEntryProblem(entry)) {
        prompt_.Message(Tr::tr(problem), Tr::tr(kMissingCaption), PromptIcon::None);
        return CardOutcome::CloseDevice;
    }
    const CardReply r = ReplyOf(Command(
        [&] { return session_.Wrapper().UnblockPin(entry.puk.toStdString(), entry.newPin.toStdString()); }));
    if (r.uimAck == 0) {
        const bool left = r.remainedTime > 0;
        prompt_.Message(left ? Tr::tr(kWrongPukRetry) : Tr::tr(kBlocked), Tr::tr(kWrongPukCaption),
                        PromptIcon::None);
        return left ? CardOutcome::CloseDevice : CardOutcome::CloseAndQuit;
    }
    prompt_.Message(Tr::tr(kCodeRight), Tr::tr(kDoneCaption), PromptIcon::None);
    return CardOutcome::Go;
}

void CCardFlow::OnCardTest(CardTest test) {
    if (prompt_.Message(CardTestQuestion(test), QString::fromLatin1(kAdvancedStatusCaption),
                        PromptIcon::Exclamation, PromptButtons::YesNo) != PromptAnswer::Yes) {
        return;
    }
    CModemWrapper& w = session_.Wrapper();
    const CardReply reply = ReplyOf(Command([&]() -> std::optional<CModemWrapper::CardAnswer> {
        switch (test) {
            case CardTest::Status:
                return w.CardStatus();
            case CardTest::VerifyPin:
                return w.VerifyPin(kTestPin);
            case CardTest::EnablePin:
                return w.SetPinRequest(false, kTestPin);
            case CardTest::DisablePin:
                return w.SetPinRequest(true, kTestPin);
            case CardTest::ChangePin:
                return w.ChangePin(kTestPin, kTestNewPin);
            case CardTest::PukStatus:
                return w.PukStatus();
            case CardTest::UnblockPin:
                return w.UnblockPin(kTestPuk, kTestNewPin);
        }
        return std::nullopt;
    }));
    prompt_.Message(CardAnswerText(test, reply), CardTestTitle(test), PromptIcon::None);
}

void CCardFlow::OnApplyPinRequest(bool disableChecked) {
    if (session_.NoModem()) {
        prompt_.Message(Tr::tr(kNoModem), QString(), PromptIcon::None);
        return;
    }
    QString pin;
    if (!prompt_.AskPin(0, &pin)) {
        return;
    }
    const auto answer =
        Command([&] { return session_.Wrapper().SetPinRequest(disableChecked, pin.toStdString()); });
    session_.Wait(kRuimCommandWaitMs);
    if (!answer || !answer->accepted) {
        prompt_.Message(Tr::tr(kNoAccess), Tr::tr(kWrongPinCaption), PromptIcon::None);
        return;
    }
    const bool requestOff = answer->reply.enable != 0;
    session_.Context().pinRequest.store(requestOff ? 0 : 1);
    prompt_.Message(Tr::tr(requestOff ? kRequestOff : kRequestOn), Tr::tr(kDoneCaption), PromptIcon::None);
}

bool CCardFlow::OnChangePin(const QString& oldPin, const QString& newPin, const QString& confirmPin) {
    if (session_.NoModem()) {
        prompt_.Message(Tr::tr(kNoModem), QString(), PromptIcon::None);
        return false;
    }
    const auto field = [](const QString& code) { return code.left(static_cast<qsizetype>(r60::kCodeField)); };
    if (const char* problem = PinChangeProblem(field(oldPin), field(newPin), field(confirmPin))) {
        prompt_.Message(Tr::tr(problem), Tr::tr(kMissingCaption), PromptIcon::None);
        return true;
    }
    const auto answer = Command([&] {
        return session_.Wrapper().ChangePin(field(oldPin).toStdString(), field(newPin).toStdString());
    });
    session_.Wait(kRuimCommandWaitMs);
    if (answer && answer->accepted) {
        prompt_.Message(Tr::tr(kPinChanged), Tr::tr(kDoneCaption), PromptIcon::None);
    } else {
        prompt_.Message(Tr::tr(kNoAccess), Tr::tr(kWrongPinCaption), PromptIcon::None);
    }
    return true;
}

}  // namespace velmo::manager
