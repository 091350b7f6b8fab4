// Conversations with the RUIM card: the PIN or PUK that the card asks for when the device is opened, and the
// card test commands of the advanced status window. The flow asks the user through the prompt, checks what
// was typed and sends the card commands; screens send them inside the worker's pause, the worker's own card
// check sends them directly.
#pragma once

#include <QString>
#include <cstdint>

#include "CModemWrapper.h"
#include "ModemSession.h"
#include "UserPrompt.h"

namespace velmo::manager {

// The card test buttons, in their order on screen.
enum class CardTest { Status, VerifyPin, EnablePin, DisablePin, ChangePin, PukStatus, UnblockPin };
inline constexpr CardTest kCardTests[] = {CardTest::Status,     CardTest::VerifyPin, CardTest::EnablePin,
                                          CardTest::DisablePin, CardTest::ChangePin, CardTest::PukStatus,
                                          CardTest::UnblockPin};

// Fixed codes of the card test buttons.
inline constexpr char kTestPin[] = "1234";
inline constexpr char kTestNewPin[] = "1234";
inline constexpr char kTestPuk[] = "12345678";

// What the card conversation at start-up leaves for the device worker to do.
enum class CardOutcome {
    Go,            // the card is satisfied: go on with the start-up
    CloseDevice,   // close the device; the search starts again
    CloseAndQuit,  // close the device and end the application
};

// The problem with a PUK entry, or nullptr when it can be sent: an empty PUK, an empty new PIN, or a
// confirmation that differs from the new PIN.
const char* PukEntryProblem(const PukEntry& entry);

// The RUIM tab when it is shown: which radio button is checked and whether its two buttons can be used. A
// card build (the sixth character of the software revision "R" or "r") shows the PIN-request flag; anything
// else, and no modem, shows "Wyłączone" with both buttons disabled.
struct RuimTabState {
    bool requestOn = false;  // "Włączone" checked, else "Wyłączone"
    bool buttonsEnabled = false;
    bool operator==(const RuimTabState&) const = default;
};
RuimTabState RuimTabStateFor(int32_t connectionState, const ModemStatusRecord& status, bool pinRequest);

// The problem with a PIN change, or nullptr when it can be sent: an empty old PIN, an empty new PIN, or a
// confirmation that differs from the new PIN within the eight characters a field holds.
const char* PinChangeProblem(const QString& oldPin, const QString& newPin, const QString& confirmPin);

// Captions and button texts of the card tests.
QString CardTestTitle(CardTest test);
QString CardTestButtonText(CardTest test);
// What the confirmation of a card test says before anything is sent.
QString CardTestQuestion(CardTest test);
// "enable = %d, remained time = %d, uim_ack = %d" (", pin_verification = %d" for the status).
QString CardAnswerText(CardTest test, const CardReply& reply);

class CCardFlow {
  public:
    enum class Caller { Worker, Screen };

    CCardFlow(const ModemSession& session, IUserPrompt& prompt, Caller caller)
        : session_(session), prompt_(prompt), caller_(caller) {}

    // Start-up: the card did not accept the status request.
    void OnCardRefused();
    // Start-up: the card status says a code is wanted; the PIN while attempts remain, else the PUK.
    CardOutcome OnCodeWanted(const CardReply& status);

    // A card test button: asks first, naming the code it will send; then the command and its answer.
    void OnCardTest(CardTest test);

    // The RUIM tab's "Zastosuj" of the PIN request: the PIN dialog, then command 37 with the disable flag
    // (set when "Wyłączone" is checked); the PIN-request flag follows the card's answer.
    void OnApplyPinRequest(bool disableChecked);
    // Its "Zastosuj" of the PIN change: the fields checked, then command 38. True when a message was shown
    // about the fields or the card's answer (the tab then empties its edits).
    bool OnChangePin(const QString& oldPin, const QString& newPin, const QString& confirmPin);

  private:
    CardOutcome AskPin(int attempts);
    CardOutcome AskPuk();
    // Runs a card command as this caller must: inside the worker's pause for a screen.
    template <class F>
    auto Command(F&& fn) -> decltype(fn());

    const ModemSession& session_;
    IUserPrompt& prompt_;
    Caller caller_;
};

}  // namespace velmo::manager
