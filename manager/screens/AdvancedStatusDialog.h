// The advanced status window: the raw status values in a list, refreshed after every polling cycle, and a row
// of card test buttons for engineers whose flows run on the screen-flow thread.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "manager/core/AdvancedStatusModel.h"
#include "manager/core/CardFlow.h"
#include "manager/core/ModemSession.h"

class QLabel;
class QPushButton;

namespace velmo::manager {

class CScreenFlowThread;
class IUserPrompt;
class ScreenFlowHost;

class AdvancedStatusDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kDialogId = 162;

    // prompt: null for this window's own message boxes (tests give a recorder).
    AdvancedStatusDialog(const ModemSession& session, CScreenFlowThread& flows, IUserPrompt* prompt = nullptr,
                         QWidget* parent = nullptr);
    ~AdvancedStatusDialog() override;

    // Reads the status copy again.
    void Refresh();
    // Closes a question this window's flow has open (the application is closing).
    void CancelQuestions();

    // Where the first value of the RF block A comes from; without one the pilot PN falls back to nothing.
    void SetRfBlockReader(std::function<int()> reader) { rfBlockA_ = std::move(reader); }
    void SetPacketState(int state) { packetState_ = state; }

    QString FieldValue(const QString& label) const;
    QPushButton* RfMonitorButton() const { return rfMonitor_; }
    QPushButton* CardTestButton(CardTest test) const;
    ScreenFlowHost* Flows() const { return host_; }

  signals:
    void closed();
    // "RF Monitor": the main window shows its RF graph window.
    void rfMonitorRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnCardTest(CardTest test);

    ModemSession session_;
    std::shared_ptr<IUserPrompt> prompt_;
    ScreenFlowHost* host_ = nullptr;
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
