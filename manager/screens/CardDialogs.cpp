#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "PinEntryDialog.h"
#include "PukEntryDialog.h"
#include "QtUserPrompt.h"
#include "SpcEntryDialog.h"
#include "manager/core/Texts.h"

namespace velmo::manager {

namespace {

QLineEdit* MakeCodeEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(kCardCodeMaxLength);
    edit->setEchoMode(QLineEdit::Password);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    return edit;
}

// OK and Exit in a row at the bottom; OK starts disabled.
QHBoxLayout* MakeButtons(QDialog* dialog, QPushButton** ok, QPushButton** exit) {
    *ok = new QPushButton(QCoreApplication::translate("PinEntryDialog", "OK"), dialog);
    *exit = new QPushButton(QCoreApplication::translate("PinEntryDialog", "Exit"), dialog);
    (*ok)->setEnabled(false);
    (*ok)->setDefault(true);
    QObject::connect(*ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(*exit, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(*ok);
    row->addWidget(*exit);
    return row;
}

}  // namespace

QString RemainingAttemptsText(int attempts, bool emptyForZero) {
    if (attempts == 0 && emptyForZero) {
        return QString();
    }
    if (attempts == 1) {
        return QCoreApplication::translate("PinEntryDialog", "( Pozostała %1 próba )").arg(attempts);
    }
    if (attempts >= 2 && attempts <= 4) {
        return QCoreApplication::translate("PinEntryDialog", "( Pozostały %1 próby )").arg(attempts);
    }
    return QCoreApplication::translate("PinEntryDialog", "( Pozostało %1 prób )").arg(attempts);
}

// --- PIN --------------------------------------------------------------------------------------------------

PinEntryDialog::PinEntryDialog(int attemptsLeft, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Weryfikacja kodu PIN"));
    prompt_ = new QLabel(tr("Wprowadź kod PIN"), this);
    attempts_ = new QLabel(RemainingAttemptsText(attemptsLeft, true), this);
    pin_ = MakeCodeEdit(this);
    // A screen reader names the field and reads the attempts left with it.
    pin_->setAccessibleName(tr("Kod PIN"));
    pin_->setAccessibleDescription(attempts_->text());
    prompt_->setBuddy(pin_);
    connect(pin_, &QLineEdit::textChanged, this, &PinEntryDialog::UpdateOk);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt_);
    layout->addWidget(attempts_);
    layout->addWidget(pin_);
    layout->addLayout(MakeButtons(this, &ok_, &exit_));
    pin_->setFocus();
}

QString PinEntryDialog::Pin() const {
    return pin_->text();
}

QString PinEntryDialog::AttemptsText() const {
    return attempts_->text();
}

void PinEntryDialog::UpdateOk() {
    ok_->setEnabled(pin_->text().size() >= kPinMinLength);
}

// --- PUK --------------------------------------------------------------------------------------------------

PukEntryDialog::PukEntryDialog(int attemptsLeft, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Sprawdzanie kodu PUK"));
    auto* explanation =
        new QLabel(tr("Wprowadzono 3 razy niewłaściwy kod PIN.\nW celu aktywacji wprowadź kod PUK."), this);
    auto* prompt = new QLabel(tr("Wprowadź kod PUK oraz nowy kod PIN"), this);
    attempts_ = new QLabel(RemainingAttemptsText(attemptsLeft, false), this);
    puk_ = MakeCodeEdit(this);
    newPin_ = MakeCodeEdit(this);
    confirm_ = MakeCodeEdit(this);
    puk_->setAccessibleName(tr("Kod PUK"));
    puk_->setAccessibleDescription(attempts_->text());
    newPin_->setAccessibleName(tr("Nowy kod PIN"));
    confirm_->setAccessibleName(tr("Potwierdzenie nowego kodu PIN"));
    for (QLineEdit* edit : {puk_, newPin_, confirm_}) {
        connect(edit, &QLineEdit::textChanged, this, &PukEntryDialog::UpdateOk);
    }

    auto* form = new QFormLayout;
    form->addRow(tr("PUK:"), puk_);
    form->addRow(tr("Nowy kod PIN:"), newPin_);
    // Text rows make each label the buddy of its field.
    form->addRow(tr("Potwierdź nowy kod PIN:"), confirm_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addWidget(prompt);
    layout->addWidget(attempts_);
    layout->addLayout(form);
    layout->addLayout(MakeButtons(this, &ok_, &exit_));
    puk_->setFocus();
}

QString PukEntryDialog::Puk() const {
    return puk_->text();
}

QString PukEntryDialog::NewPin() const {
    return newPin_->text();
}

QString PukEntryDialog::ConfirmPin() const {
    return confirm_->text();
}

QString PukEntryDialog::AttemptsText() const {
    return attempts_->text();
}

void PukEntryDialog::UpdateOk() {
    ok_->setEnabled(newPin_->text().size() >= kPinMinLength && confirm_->text().size() >= kPinMinLength &&
                    puk_->text().size() >= kPukMinLength);
}

// --- SPC --------------------------------------------------------------------------------------------------

SpcEntryDialog::SpcEntryDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr(" Sprawdzanie kodu SPC"));
    auto* prompt = prompt_ = new QLabel(tr("Podaj kod SPC (6 cyfr)"), this);
    edit_ = new QLineEdit(this);
    edit_->setMaxLength(kSpcLength);
    edit_->setEchoMode(QLineEdit::Password);
    edit_->setAccessibleName(tr("Kod SPC"));
    prompt->setBuddy(edit_);
    ok_ = new QPushButton(tr("OK"), this);
    cancel_ = new QPushButton(tr("Anuluj"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &SpcEntryDialog::TryAccept);
    connect(cancel_, &QPushButton::clicked, this, &SpcEntryDialog::Cancel);

    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok_);
    row->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(edit_);
    layout->addLayout(row);
}

void SpcEntryDialog::SetRepeatPrompt() {
    prompt_->setText(tr("Podaj nowy kod SPC ponownie (6 cyfr)"));
}

void SpcEntryDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    edit_->setFocus();
}

void SpcEntryDialog::TryAccept() {
    if (edit_->text().size() == kSpcLength) {
        spc_ = edit_->text();
        entered_ = true;
        accept();
        return;
    }
    spc_.clear();
    entered_ = false;
    QtUserPrompt(this, nullptr)
        .Message(tr("Błędny kod SPC"), AppCaption(), PromptIcon::Exclamation, PromptButtons::Ok);
    edit_->setFocus();
}

void SpcEntryDialog::Cancel() {
    spc_.clear();
    entered_ = false;
    reject();
}

}  // namespace velmo::manager
