// What the settings window's general pane and the SPC gate do with the modem and the settings: loading and
// restoring the general options, Apply with its mode change and modem reset, and the SPC check before the
// advanced configuration. Flows: they run on the screen-flow thread, pause the worker themselves and ask the
// user through the prompt.
#pragma once

#include "ModemSession.h"
#include "SettingsModel.h"
#include "UserPrompt.h"

namespace velmo::manager {

class CSettings;

// Waits of Apply.
inline constexpr uint32_t kApplyStepMs = 100;
inline constexpr uint32_t kApplyResetWaitMs = 7000;

class CGeneralFlow {
  public:
    CGeneralFlow(const ModemSession& session, IUserPrompt& prompt) : session_(session), prompt_(prompt) {}

    // The options as stored, the system list from the modem's preferred mode.
    settings::GeneralOptions Load() const;
    // Check box 112 or the COM list changed: the restart message.
    void OnPortOptionChanged();
    // Check box 143: the defaults written at once (automatic port, COM1, both systems) and the restart
    // message; returns what the pane shows now.
    settings::GeneralOptions OnRestoreDefaults();
    // Apply: false when nothing was applied (a fixed port without a COM port). The preferred mode goes to the
    // modem with the worker paused; after a successful write the modem is taken offline twice and reset, the
    // worker is told to close the device and search again, and Apply waits for the modem to come back. The
    // options are saved whether or not the mode was written.
    bool OnApply(const settings::GeneralOptions& options);
    // Apply's last step alone: the options into the settings store.
    void SaveOptions(const settings::GeneralOptions& options);

  private:
    void Message(const QString& text);

    ModemSession session_;
    IUserPrompt& prompt_;
};

class CSpcGateFlow {
  public:
    CSpcGateFlow(const ModemSession& session, IUserPrompt& prompt) : session_(session), prompt_(prompt) {}

    // Before the advanced configuration opens: true when it may. Once per device search the SPC is asked for
    // and checked by the modem; a wrong one says "Błędny kod SPC".
    bool OnAdvancedConfiguration();

  private:
    ModemSession session_;
    IUserPrompt& prompt_;
};

}  // namespace velmo::manager
