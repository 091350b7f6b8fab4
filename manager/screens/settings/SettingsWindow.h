// The settings window " Menu": eight tabs over the general options, the connection profiles, the status
// table, the card's PIN, the product information, the modem's messages and the desktop; OK, "Anuluj" and
// "Zastosuj".
// Created hidden with the main window, opened by its menu button, and always back on " Informacje " when it
// closes.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>

#include "SettingsPane.h"
#include "manager/core/SettingsModel.h"

class QPushButton;
class QTabBar;

namespace velmo::manager {

class CScreenFlowThread;
class DesktopPane;
class GeneralPane;
class InformationPane;
class ProfilesPane;
class SmsPane;
class StatusPane;

// Timer periods of the window.
inline constexpr int kInformationTimerMs = 3000;
inline constexpr int kStatusTimerMs = 1000;

class SettingsWindow : public QDialog {
    Q_OBJECT
  public:
    // services.prompt may be empty: the window then asks through dialogs of its own.
    SettingsWindow(PaneServices services, CScreenFlowThread& flows, QWidget* owner);
    ~SettingsWindow() override;

    // The menu button: the options and lists read afresh, the changed flag cleared, the window shown.
    void Open();
    // Closes a question one of its flows has open (the application is closing).
    void CancelQuestions();

    int CurrentTab() const { return current_; }
    void SelectTab(int tab);
    QTabBar* Tabs() const { return tabs_; }
    QWidget* TabArea() const { return area_; }
    SettingsPane* Pane(int tab) const { return panes_[static_cast<size_t>(tab)]; }
    GeneralPane* General() const;
    ProfilesPane* Profiles() const;
    StatusPane* Status() const;
    InformationPane* Information() const;
    SmsPane* Messages() const;
    DesktopPane* Desktop() const;
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QPushButton* ApplyButton() const { return apply_; }
    ScreenFlowHost* Flows() const { return services_.flows; }
    const settings::KeySequence& Keys() const { return keys_; }

  signals:
    // "55555555" and "88888888" on the information tab.
    void advancedConfigurationRequested();
    void advancedStatusRequested();
    // The " Ustawienia sieciowe " tab was chosen.
    void networkSetupRequested();
    // OK or "Anuluj": the window is gone and the main window comes forward.
    void finished();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void OnTabChanged(int tab);
    void ShowPane(int tab);
    void UpdateApply();
    // "Zastosuj": every pane with changes applies them.
    void ApplyChanged();
    void OnOk();
    void OnCancel();
    void Finish();
    void OnInformationTimer();
    void OnStatusTimer();
    void PlacePanes();

    PaneServices services_;
    QTabBar* tabs_ = nullptr;
    QWidget* area_ = nullptr;
    std::array<SettingsPane*, settings::kTabCount> panes_{};
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* apply_ = nullptr;
    int current_ = settings::kHomeTab;
    settings::KeySequence keys_;
    QTimer informationTimer_;
    QTimer statusTimer_;
    bool switching_ = false;
};

}  // namespace velmo::manager
