// Questions and messages for the user. The window thread answers them with modal dialogs owned by the main
// window; the worker's calls block until the user has answered. Once closing has started every prompt
// answers at once as if cancelled.
#pragma once

#include <QString>

namespace velmo::manager {

enum class PromptIcon { None, Exclamation, Stop, Information, Question };
enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptAnswer { Ok, Cancel, Yes, No };

struct PukEntry {
    QString puk;
    QString newPin;
    QString confirmPin;
};

class IUserPrompt {
  public:
    virtual ~IUserPrompt() = default;

    // An empty caption shows the application's name.
    virtual PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                                 PromptButtons buttons = PromptButtons::Ok) = 0;
    // Queued without waiting for the answer (the dial-state callback must never block).
    virtual void MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) = 0;
    // False when the user left with "Exit" (or the application is closing).
    virtual bool AskPin(int attemptsLeft, QString* pin) = 0;
    virtual bool AskPuk(int attemptsLeft, PukEntry* entry) = 0;
};

}  // namespace velmo::manager
