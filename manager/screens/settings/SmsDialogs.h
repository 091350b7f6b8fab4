// The message dialogs: "Send Msg" composes a message and sends or stores it, "Message" shows one. They only
// collect and show; what they do with the modem is the message flow's, run on the dialog's own flow host and
// asked through the dialog's own prompt.
#pragma once

#include <QDialog>
#include <memory>

#include "manager/core/ModemSession.h"
#include "manager/core/SmsModel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace velmo::manager {

class CScreenFlowThread;
class IUserPrompt;
class ScreenFlowHost;

class SmsComposeDialog : public QDialog {
    Q_OBJECT
  public:
    SmsComposeDialog(const ModemSession& session, CScreenFlowThread& flows,
                     const smspane::ComposeFields& start, QWidget* parent);
    ~SmsComposeDialog() override;

    smspane::ComposeFields Fields() const;
    void SetPrompt(std::shared_ptr<IUserPrompt> prompt) { prompt_ = std::move(prompt); }
    ScreenFlowHost* Flows() const { return host_; }

    QLineEdit* OwnNumber() const { return own_; }
    QLineEdit* Destination() const { return destination_; }
    QComboBox* Priority() const { return priority_; }
    QCheckBox* DeliveryReport() const { return report_; }
    QPlainTextEdit* MessageEdit() const { return message_; }
    QLabel* Counter() const { return counter_; }
    QPushButton* SendButton() const { return send_; }
    QPushButton* SendSaveButton() const { return sendSave_; }
    QPushButton* SaveButton() const { return save_; }

  private:
    enum class Action { Send, SendSave, Save };
    void Run(Action action);
    void OnTextChanged();

    ModemSession session_;
    std::shared_ptr<IUserPrompt> prompt_;
    ScreenFlowHost* host_ = nullptr;
    QLineEdit* own_ = nullptr;
    QLineEdit* destination_ = nullptr;
    QComboBox* priority_ = nullptr;
    QCheckBox* report_ = nullptr;
    QPlainTextEdit* message_ = nullptr;
    QLabel* counter_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* sendSave_ = nullptr;
    QPushButton* save_ = nullptr;
    bool trimming_ = false;
};

class SmsViewerDialog : public QDialog {
    Q_OBJECT
  public:
    // "SAVE" is there only for a message of the in-box.
    SmsViewerDialog(const ModemSession& session, CScreenFlowThread& flows, const smspane::SmsPaneState& state,
                    const smspane::SmsRow& row, QWidget* parent);
    ~SmsViewerDialog() override;

    void SetPrompt(std::shared_ptr<IUserPrompt> prompt) { prompt_ = std::move(prompt); }
    ScreenFlowHost* Flows() const { return host_; }
    QPushButton* SaveButton() const { return save_; }
    QPlainTextEdit* MessageView() const { return message_; }

  private:
    ModemSession session_;
    std::shared_ptr<IUserPrompt> prompt_;
    ScreenFlowHost* host_ = nullptr;
    QPlainTextEdit* message_ = nullptr;
    QPushButton* save_ = nullptr;
};

}  // namespace velmo::manager
