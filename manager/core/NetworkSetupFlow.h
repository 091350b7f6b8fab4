// What the network setup window does with the application commands of the unit's pages: minimise the main
// window, beep, or say which command it did not expect. Needs no modem, so it runs on the window thread.
#pragma once

#include <functional>

#include "NetworkSetupModel.h"
#include "UserPrompt.h"

namespace velmo::manager {

struct AppCommandHooks {
    std::function<void()> minimise;
    std::function<void()> beep;
};

class CNetworkSetupFlow {
  public:
    CNetworkSetupFlow(IUserPrompt& prompt, AppCommandHooks hooks)
        : prompt_(prompt), hooks_(std::move(hooks)) {}

    // A link of the page was an application command.
    void OnAppCommand(const AppCommand& command);

  private:
    IUserPrompt& prompt_;
    AppCommandHooks hooks_;
};

}  // namespace velmo::manager
