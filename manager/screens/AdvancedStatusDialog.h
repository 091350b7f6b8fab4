// The advanced status window: the raw status values in a list, refreshed after every polling cycle, and a row
// of card test buttons for engineers.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "MessageHook.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/DeviceContext.h"
#include "platform/Clock.h"

class QLabel;
class QPushButton;

namespace velmo::manager {

struct StatusField {
    QString label;
    QString value;
};

// The list as shown. rfModeText carries the last known "Rf Mode" text: a value without a name keeps it.
// rfBlockAFirst is the first 16-bit value of the RF block A (-1 when unknown).
std::vector<StatusField> AdvancedStatusFields(const ModemStatusRecord& status, int rfBlockAFirst,
                                              int packetState, QString* rfModeText);

// The card test buttons, in their order on screen.
enum class CardTest { Status, VerifyPin, EnablePin, DisablePin, ChangePin, PukStatus, UnblockPin };

class AdvancedStatusDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogId = 162;
    // Fixed codes of the test buttons.
    static constexpr const char* kTestPin = "1234";
    static constexpr const char* kTestNewPin = "1234";
    static constexpr const char* kTestPuk = "12345678";

    AdvancedStatusDialog(CModemWrapper& wrapper, DeviceContext& context, platform::IClock& clock,
                         QWidget* parent = nullptr);
    ~AdvancedStatusDialog() override;

    // Reads the status copy again.
    void Refresh();

    void SetMessageHook(MessageHook hook) { message_ = std::move(hook); }
    void SetConfirmHook(ConfirmHook hook) { confirm_ = std::move(hook); }
    // Where the first value of the RF block A comes from; without one the pilot PN falls back to nothing.
    void SetRfBlockReader(std::function<int()> reader) { rfBlockA_ = std::move(reader); }
    void SetPacketState(int state) { packetState_ = state; }

    // Runs one card test as its button does: confirmation, pause of the worker, command, answer.
    void RunCardTest(CardTest test);

    QString FieldValue(const QString& label) const;
    QPushButton* RfMonitorButton() const { return rfMonitor_; }
    QPushButton* CardTestButton(CardTest test) const;

    static QString CardTestTitle(CardTest test);

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    CModemWrapper& wrapper_;
    DeviceContext& context_;
    platform::IClock& clock_;
    MessageHook message_ = ShowMessageBox;
    ConfirmHook confirm_ = AskYesNo;
    std::function<int()> rfBlockA_;
    int packetState_ = 0;
    QString rfModeText_;
    std::vector<QLabel*> labels_;
    std::vector<QLabel*> values_;
    QPushButton* rfMonitor_ = nullptr;
    std::vector<QPushButton*> tests_;
    bool closedSent_ = false;
};

}  // namespace velmo::manager
