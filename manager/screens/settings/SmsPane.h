// The "Wiadomości" tab: the modem's four message boxes listed one at a time, with the messages opened,
// composed, forwarded, answered and deleted from here. The widget renders the pane's state and hands every
// control to the message flow on the settings window's flow thread.
#pragma once

#include <QPointer>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "SettingsPane.h"
#include "SmsDialogs.h"
#include "manager/core/SmsFlow.h"

class QProgressBar;
class QTreeWidget;

namespace velmo::manager {

class CFlatButton;
class CScreenFlowThread;

class SmsPane : public SettingsPane {
    Q_OBJECT
  public:
    SmsPane(const PaneServices& services, CScreenFlowThread& flows, QWidget* parent);
    ~SmsPane() override;

    // The first time the tab is shown with a modem, the in-box is read.
    void OnShown() override;
    // A new message has arrived: when the in-box is on display it is read again once the current action is
    // over (a load, a delete or an open viewer would lose the rows' places otherwise).
    void OnMessageArrived();

    const smspane::SmsPaneState& State() const { return state_; }
    QTreeWidget* List() const { return list_; }
    CFlatButton* BoxButton(sms::Box box) const { return boxes_[static_cast<size_t>(box)]; }
    CFlatButton* Button(int id) const;
    QProgressBar* Progress() const { return progress_; }
    CFlatButton* StopButton() const { return stop_; }
    // The dialogs open now, or null.
    SmsComposeDialog* Compose() const { return compose_; }
    SmsViewerDialog* Viewer() const { return viewer_; }
    // Dialogs made from here ask through this prompt instead of their own (tests).
    void SetDialogPrompt(std::shared_ptr<IUserPrompt> prompt) { dialogPrompt_ = std::move(prompt); }

  signals:
    // A box has been read into the list (or its reading ended).
    void boxShown();

  private:
    using Action = std::function<smspane::SmsPaneState(CSmsFlow&, const smspane::SmsPaneState&,
                                                       const CSmsFlow::Progress&, const std::atomic<bool>*)>;
    // Runs action on the flow thread with progress shown, and renders what it gives back.
    void RunAction(Action action, bool showsProgress);
    void ShowBox(sms::Box box);
    void Render(const smspane::SmsPaneState& state);
    void SetColumns(bool inBox);
    void OnSelection();
    void OnOpen();
    void OnCompose(CSmsFlow::Compose kind);
    void OnDelete();
    void OnDeleteAll();
    void OnProgress();
    void RefreshIfDue();
    int SelectedRow() const;

    CScreenFlowThread& flowThread_;
    smspane::SmsPaneState state_;  // window thread only
    std::array<CFlatButton*, sms::kBoxCount> boxes_{};
    std::map<int, CFlatButton*> buttons_;
    QTreeWidget* list_ = nullptr;
    QProgressBar* progress_ = nullptr;
    CFlatButton* stop_ = nullptr;
    QPointer<SmsComposeDialog> compose_;
    QPointer<SmsViewerDialog> viewer_;
    std::shared_ptr<IUserPrompt> dialogPrompt_;
    int columnsFor_ = -1;  // the list's columns are those of the in-box (1) or another box (0)
    bool refreshDue_ = false;
    bool running_ = false;
    // The load's progress, written by the flow thread and read here after its wake-up.
    struct Shared {
        std::mutex mutex;
        int read = 0;   // guarded by mutex
        int count = 0;  // guarded by mutex
        std::atomic<bool> stop{false};
        SmsPane* pane = nullptr;  // guarded by mutex; cleared when the pane goes or a new action starts
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace velmo::manager
