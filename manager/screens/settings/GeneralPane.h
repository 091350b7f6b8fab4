// The general options: automatic port search, the fixed COM port, the system selection, and the defaults.
#pragma once

#include "SettingsPane.h"
#include "manager/core/SettingsModel.h"

class QCheckBox;
class QComboBox;

namespace velmo::manager {

class GeneralPane : public SettingsPane {
    Q_OBJECT
  public:
    GeneralPane(const PaneServices& services, QWidget* parent);

    // From the settings store and the modem's preferred mode (the window is opening).
    void Load() override;
    void OnShown() override;
    // Runs Apply as a flow; then clears the changed flag and asks the main window to reload the settings.
    void Apply() override;
    // Timer 0: the system list follows the modem's presence.
    void KeepSystemListInStep();
    // "Profil domyślny" reset the port options: automatic search, COM1, saved as Apply saves them.
    void OnPresetRestored();

    settings::GeneralOptions Options() const;
    QCheckBox* FixedPortBox() const { return fixedPort_; }
    QComboBox* ComList() const { return comList_; }
    QComboBox* SystemList() const { return systemList_; }
    QCheckBox* DefaultsBox() const { return defaults_; }

  private:
    void Show(const settings::GeneralOptions& options);
    void OnFixedPortClicked();
    void OnComChanged();
    void OnDefaultsClicked();
    // Runs fn on the screen-flow thread with a general flow; then on the window thread afterwards.
    void RunFlow(std::function<void(class CGeneralFlow&)> fn, std::function<void()> then = {});

    QCheckBox* defaults_ = nullptr;
    QCheckBox* fixedPort_ = nullptr;
    QComboBox* comList_ = nullptr;
    QComboBox* systemList_ = nullptr;
    bool loading_ = false;
};

}  // namespace velmo::manager
