// How a screen raises a message box or asks a yes/no question; tests put recorders in place of the real
// boxes.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace velmo::manager {

using MessageHook =
    std::function<void(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon)>;
// True when the user agrees.
using ConfirmHook = std::function<bool(QWidget* owner, const QString& text, const QString& caption)>;

// A modal QMessageBox with an OK button.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon);
// A modal question with Yes and No, No being the default.
bool AskYesNo(QWidget* owner, const QString& text, const QString& caption);

}  // namespace velmo::manager
