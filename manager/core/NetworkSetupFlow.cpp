#include "NetworkSetupFlow.h"

#include "Texts.h"

namespace velmo::manager {

void CNetworkSetupFlow::OnAppCommand(const AppCommand& command) {
    switch (command.kind) {
        case AppCommandKind::Minimise:
            if (hooks_.minimise) {
                hooks_.minimise();
            }
            return;
        case AppCommandKind::Beep:
            if (hooks_.beep) {
                hooks_.beep();
            }
            return;
        case AppCommandKind::Unexpected:
            // The text is the page's: the prompt shows it as plain text.
            prompt_.Message(command.text, Tr::tr("Unexpected Command"), PromptIcon::Question,
                            PromptButtons::Ok);
            return;
    }
}

}  // namespace velmo::manager
