#include "QtUserPrompt.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "PinEntryDialog.h"
#include "ProfileDialog.h"
#include "PukEntryDialog.h"
#include "SpcEntryDialog.h"
#include "manager/core/Texts.h"

namespace velmo::manager {

namespace {

QMessageBox::Icon ToIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Exclamation:
            return QMessageBox::Warning;
        case PromptIcon::Stop:
            return QMessageBox::Critical;
        case PromptIcon::Information:
            return QMessageBox::Information;
        case PromptIcon::Question:
            return QMessageBox::Question;
        case PromptIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QString NoWaitBoxName() {
    return QStringLiteral("velmo-notice-box");
}

}  // namespace

QMessageBox* MakeMessageBox(QWidget* owner, const QString& text, const QString& caption, PromptIcon icon,
                            PromptButtons buttons) {
    auto* box = new QMessageBox(ToIcon(icon), caption.isEmpty() ? AppCaption() : caption, text,
                                QMessageBox::NoButton, owner);
    // Texts from the modem or the network are never read as markup.
    box->setTextFormat(Qt::PlainText);
    switch (buttons) {
        case PromptButtons::Ok:
            box->setStandardButtons(QMessageBox::Ok);
            break;
        case PromptButtons::OkCancel:
            box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case PromptButtons::YesNo:
            box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            // A question before something that changes the modem: Enter must not agree by accident.
            box->setDefaultButton(QMessageBox::No);
            break;
    }
    return box;
}

namespace {

PromptAnswer FromButton(int button) {
    switch (button) {
        case QMessageBox::Ok:
            return PromptAnswer::Ok;
        case QMessageBox::Yes:
            return PromptAnswer::Yes;
        case QMessageBox::No:
            return PromptAnswer::No;
        default:
            return PromptAnswer::Cancel;
    }
}

}  // namespace

void QtUserPrompt::Detach() {
    owner_.store(nullptr);
}

void QtUserPrompt::CancelOpen() {
    if (open_) {
        open_->reject();
    }
}

bool QtUserPrompt::RunOnWindow(const std::function<void(QWidget*)>& fn) {
    QWidget* owner = owner_.load();
    if (owner == nullptr) {
        return false;
    }
    if (QThread::currentThread() == owner->thread()) {
        fn(owner);
        return true;
    }
    // A call still queued when the window goes is dropped by Qt, which releases this thread.
    bool ran = false;
    QMetaObject::invokeMethod(
        owner,
        [&ran, &fn, this] {
            if (QWidget* w = owner_.load()) {
                fn(w);
                ran = true;
            }
        },
        Qt::BlockingQueuedConnection);
    return ran;
}

int QtUserPrompt::RunModal(QDialog* dialog) {
    open_ = dialog;
    // Closing may have started while this call was queued.
    const int result = Closing() ? QDialog::Rejected : dialog->exec();
    open_ = nullptr;
    return result;
}

PromptAnswer QtUserPrompt::Message(const QString& text, const QString& caption, PromptIcon icon,
                                   PromptButtons buttons) {
    if (Closing()) {
        return PromptAnswer::Cancel;
    }
    PromptAnswer answer = PromptAnswer::Cancel;
    RunOnWindow([&](QWidget* owner) {
        QMessageBox* box = MakeMessageBox(owner, text, caption, icon, buttons);
        const int result = RunModal(box);
        answer = result == QDialog::Rejected && buttons == PromptButtons::Ok
                     ? PromptAnswer::Ok
                     : FromButton(box->standardButton(box->clickedButton()));
        if (Closing()) {
            answer = PromptAnswer::Cancel;
        }
        delete box;
    });
    return answer;
}

void QtUserPrompt::MessageNoWait(const QString& text, const QString& caption, PromptIcon icon) {
    QWidget* owner = owner_.load();
    if (owner == nullptr || Closing()) {
        return;
    }
    QMetaObject::invokeMethod(
        owner,
        [owner, text, caption, icon] {
            // The same notice again (a dial that fails each time it is tried, with nobody at the desk) brings
            // the open box forward instead of stacking another on it.
            const QString title = caption.isEmpty() ? AppCaption() : caption;
            for (QMessageBox* open : owner->findChildren<QMessageBox*>(NoWaitBoxName(), Qt::FindDirectChildrenOnly)) {
                if (open->isVisible() && open->text() == text && open->windowTitle() == title &&
                    open->icon() == ToIcon(icon)) {
                    open->raise();
                    open->activateWindow();
                    return;
                }
            }
            QMessageBox* box = MakeMessageBox(owner, text, caption, icon, PromptButtons::Ok);
            box->setObjectName(NoWaitBoxName());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(true);
            box->show();
        },
        Qt::QueuedConnection);
}

bool QtUserPrompt::AskPin(int attemptsLeft, QString* pin) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        PinEntryDialog dialog(attemptsLeft, owner);
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing();
        if (ok) {
            *pin = dialog.Pin();
        }
    });
    return ok;
}

bool QtUserPrompt::AskPuk(int attemptsLeft, PukEntry* entry) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        PukEntryDialog dialog(attemptsLeft, owner);
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing();
        if (ok) {
            entry->puk = dialog.Puk();
            entry->newPin = dialog.NewPin();
            entry->confirmPin = dialog.ConfirmPin();
        }
    });
    return ok;
}

bool QtUserPrompt::AskSpc(QString* spc) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        SpcEntryDialog dialog(owner);
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing();
        if (ok) {
            *spc = dialog.Spc();
        }
    });
    return ok;
}

bool QtUserPrompt::AskSpcAgain(QString* spc) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        SpcEntryDialog dialog(owner);
        dialog.SetRepeatPrompt();
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing();
        if (ok) {
            *spc = dialog.Spc();
        }
    });
    return ok;
}

bool QtUserPrompt::AskOpenFile(const QString& caption, const QString& filter, QString* path) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        // The path given is where the dialog starts.
        QFileDialog dialog(owner, caption, *path, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing() && !dialog.selectedFiles().isEmpty();
        if (ok) {
            *path = dialog.selectedFiles().constFirst();
        }
    });
    return ok;
}

bool QtUserPrompt::AskSaveFile(const QString& caption, const QString& filter, QString* path) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        QFileDialog dialog(owner, caption, *path, filter);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing() && !dialog.selectedFiles().isEmpty();
        if (ok) {
            *path = dialog.selectedFiles().constFirst();
        }
    });
    return ok;
}

bool QtUserPrompt::AskProfile(const QString& title, ProfileRecord* record) {
    if (Closing()) {
        return false;
    }
    bool ok = false;
    RunOnWindow([&](QWidget* owner) {
        ProfileDialog dialog(*record, nullptr, owner);
        dialog.setWindowTitle(title);
        ok = RunModal(&dialog) == QDialog::Accepted && !Closing();
        if (ok) {
            *record = dialog.Record();
        }
    });
    return ok;
}

}  // namespace velmo::manager
