#include "ProfileDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmo::manager {

ProfileDialog::ProfileDialog(const ProfileRecord& initial, QWidget* parent)
    : QDialog(parent), record_(initial) {
    setWindowTitle(QStringLiteral("VelmoManager"));
    name_ = new QLineEdit(initial.name, this);
    user_ = new QLineEdit(initial.userId, this);
    password_ = new QLineEdit(initial.password, this);
    password_->setEchoMode(QLineEdit::Password);
    savePassword_ = new QCheckBox(tr("Zapamiętaj hasło"), this);
    savePassword_->setChecked(initial.savePassword != 0);
    number_ = new QLineEdit(initial.phoneNumber, this);

    auto* form = new QFormLayout;
    form->addRow(tr("Nazwa:"), name_);
    form->addRow(tr("Użytkownik:"), user_);
    form->addRow(tr("Hasło:"), password_);
    form->addRow(QString(), savePassword_);
    form->addRow(tr("Numer dostępowy:"), number_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &ProfileDialog::TryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void ProfileDialog::SetNameEditable(bool editable) {
    name_->setReadOnly(!editable);
}

ProfileRecord ProfileDialog::Record() const {
    ProfileRecord out = record_;
    out.name = name_->text();
    out.userId = user_->text();
    out.password = password_->text();
    out.savePassword = savePassword_->isChecked() ? 1 : 0;
    out.phoneNumber = number_->text();
    return out;
}

void ProfileDialog::TryAccept() {
    const QString caption = QStringLiteral("VelmoManager");
    if (name_->text().isEmpty()) {
        message_(this, tr("Wprowadź nazwę profilu!"), caption, QMessageBox::Warning);
        name_->setFocus();
        return;
    }
    if (number_->text().isEmpty()) {
        message_(this, tr("Wprowadź numer dostępowy!"), caption, QMessageBox::Warning);
        number_->setFocus();
        return;
    }
    // The name becomes a settings group and a phonebook file.
    if (!IsValidProfileName(name_->text())) {
        message_(
            this,
            tr("Nazwa profilu nie może zawierać znaków „/” ani „\\”, znaków sterujących ani zaczynać się od "
               "kropki!"),
            caption, QMessageBox::Warning);
        name_->setFocus();
        return;
    }
    accept();
}

}  // namespace velmo::manager
