// Questions and messages for the user, for the device worker and every screen flow. The window thread answers
// them with modal dialogs owned by the asking window; a call from another thread blocks until the user has
// answered. Once closing has started every prompt answers at once as if cancelled.
#pragma once

#include <QString>

#include "Profiles.h"

namespace velmo::manager {

enum class PromptIcon { None, Exclamation, Stop, Information, Question };
enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptAnswer { Ok, Cancel, Yes, No };

// Names for logs and test records.
constexpr const char* PromptIconName(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::None:
            return "none";
        case PromptIcon::Exclamation:
            return "exclamation";
        case PromptIcon::Stop:
            return "stop";
        case PromptIcon::Information:
            return "information";
        case PromptIcon::Question:
            return "question";
    }
    return "none";
}
constexpr const char* PromptButtonsName(PromptButtons buttons) {
    switch (buttons) {
        case PromptButtons::Ok:
            return "ok";
        case PromptButtons::OkCancel:
            return "ok-cancel";
        case PromptButtons::YesNo:
            return "yes-no";
    }
    return "ok";
}

struct PukEntry {
    QString puk;
    QString newPin;
    QString confirmPin;
};

class IUserPrompt {
  public:
    virtual ~IUserPrompt() = default;

    // A modal message box; an empty caption shows the application's name.
    virtual PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                                 PromptButtons buttons = PromptButtons::Ok) = 0;
    // Queued without waiting for the answer (the dial-state callback must never block).
    virtual void MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) = 0;
    // The PIN and PUK entry dialogs; false when the user left with "Exit" (or the application is closing).
    virtual bool AskPin(int attemptsLeft, QString* pin) = 0;
    virtual bool AskPuk(int attemptsLeft, PukEntry* entry) = 0;
    // The SPC entry dialog: true with exactly six characters, false when the user cancelled.
    virtual bool AskSpc(QString* spc) = 0;
    // The SPC dialog once more, for a new code to be typed twice; as AskSpc.
    virtual bool AskSpcAgain(QString* spc) = 0;
    // The file-open dialog, starting in the folder or at the file *path names; false when the user cancelled.
    virtual bool AskOpenFile(const QString& caption, const QString& filter, QString* path) = 0;
    // The file-save dialog, suggesting the file *path names (asking before it replaces a file); false when
    // the user cancelled.
    virtual bool AskSaveFile(const QString& caption, const QString& filter, QString* path) = 0;
    // The profile dialog titled title, its fields starting from *record; false when the user cancelled. On OK
    // *record holds what was typed (the dialog has checked the name and the number).
    virtual bool AskProfile(const QString& title, ProfileRecord* record) = 0;
};

}  // namespace velmo::manager
