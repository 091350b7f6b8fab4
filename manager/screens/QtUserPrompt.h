// The Qt side of the prompt interface for one owning window: message boxes, the card and SPC dialogs and the
// file-open dialog, shown modal over that window on the window thread. A question asked from another thread
// blocks it until answered; once closing has started every question is answered "cancel" at once and an open
// one is closed.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>

#include "manager/core/UserPrompt.h"

class QDialog;
class QMessageBox;

namespace velmo::manager {

// The message box the prompt shows for Message(), not yet shown (for pictures of it).
QMessageBox* MakeMessageBox(QWidget* owner, const QString& text, const QString& caption, PromptIcon icon,
                            PromptButtons buttons);

class QtUserPrompt final : public IUserPrompt {
  public:
    // closing may be null (nothing ever closes this window's questions early).
    QtUserPrompt(QWidget* owner, const std::atomic<bool>* closing) : owner_(owner), closing_(closing) {}
    // The owner is going: later questions are answered "cancel".
    void Detach();
    // Closes whatever question is open (window thread).
    void CancelOpen();

    PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons) override;
    void MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) override;
    bool AskPin(int attemptsLeft, QString* pin) override;
    bool AskPuk(int attemptsLeft, PukEntry* entry) override;
    bool AskSpc(QString* spc) override;
    bool AskSpcAgain(QString* spc) override;
    bool AskOpenFile(const QString& caption, const QString& filter, QString* path) override;
    bool AskSaveFile(const QString& caption, const QString& filter, QString* path) override;
    bool AskProfile(const QString& title, ProfileRecord* record) override;

  private:
    bool Closing() const { return closing_ != nullptr && closing_->load(); }
    // Runs fn on the window thread and waits for it; false when there is no window any more.
    bool RunOnWindow(const std::function<void(QWidget*)>& fn);
    int RunModal(QDialog* dialog);

    std::atomic<QWidget*> owner_;
    const std::atomic<bool>* closing_;
    QPointer<QDialog> open_;
};

}  // namespace velmo::manager
