// Adding or editing a connection profile: name, user, password, whether to keep it, and the number to dial.
#pragma once

#include <QDialog>
#include <memory>

#include "manager/core/Profiles.h"
#include "manager/core/UserPrompt.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace velmo::manager {

class ProfileDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kSavePasswordId = 1009;

    // The fields start from initial; the name stays editable unless the caller locks it. prompt: null for
    // this dialog's own message boxes.
    explicit ProfileDialog(const ProfileRecord& initial = ProfileRecord(), IUserPrompt* prompt = nullptr,
                           QWidget* parent = nullptr);
    ~ProfileDialog() override;

    void SetNameEditable(bool editable);

    // The initial record with the dialog's fields written over it.
    ProfileRecord Record() const;

    QLineEdit* NameEdit() const { return name_; }
    QLineEdit* UserEdit() const { return user_; }
    QLineEdit* PasswordEdit() const { return password_; }
    QCheckBox* SavePasswordBox() const { return savePassword_; }
    QLineEdit* NumberEdit() const { return number_; }
    QPushButton* OkButton() const { return ok_; }

  public slots:
    // Checks the fields; accepts only when they are usable.
    void TryAccept();

  private:
    ProfileRecord record_;
    std::unique_ptr<IUserPrompt> ownPrompt_;
    IUserPrompt* prompt_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* savePassword_ = nullptr;
    QLineEdit* number_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace velmo::manager
