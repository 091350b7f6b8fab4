// Message boxes and card dialogs for the worker and the dial callback, shown on the window thread and owned
// by the main window. A worker's question blocks it until answered; once closing has started every question
// is answered "cancel" at once and an open one is closed.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "manager/core/UserPrompt.h"

class QDialog;

namespace velmo::manager {

class QtUserPrompt final : public IUserPrompt {
  public:
    QtUserPrompt(QWidget* owner, const std::atomic<bool>* closing) : owner_(owner), closing_(closing) {}
    void Detach();
    // Closes whatever prompt is open (window thread).
    void CancelOpen();

    PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                         PromptButtons buttons) override;
    void MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) override;
    bool AskPin(int attemptsLeft, QString* pin) override;
    bool AskPuk(int attemptsLeft, PukEntry* entry) override;

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
