#include "ProfileDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtUserPrompt.h"
#include "manager/core/Texts.h"

namespace velmo::manager {

ProfileDialog::ProfileDialog(const ProfileRecord& initial, IUserPrompt* prompt, QWidget* parent)
    : QDialog(parent), record_(initial) {
    setWindowTitle(AppCaption());
    if (prompt == nullptr) {
        ownPrompt_ = std::make_unique<QtUserPrompt>(this, nullptr);
        prompt = ownPrompt_.get();
    }
    prompt_ = prompt;
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

ProfileDialog::~ProfileDialog() = default;

void ProfileDialog::TryAccept() {
    if (const char* problem = ProfileEntryProblem(name_->text(), number_->text())) {
        prompt_->Message(Tr::tr(problem), AppCaption(), PromptIcon::Exclamation);
        // The number is the problem only when the name is there.
        const bool numberMissing = !name_->text().isEmpty() && number_->text().isEmpty();
        (numberMissing ? number_ : name_)->setFocus();
        return;
    }
    accept();
}

}  // namespace velmo::manager
