#include "MessageHook.h"

namespace velmo::manager {

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace velmo::manager
