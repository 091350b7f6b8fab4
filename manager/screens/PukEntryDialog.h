// The PUK entry dialog: after three wrong PINs the card wants its PUK and a new PIN.
#pragma once

#include <QDialog>
#include <QString>

#include "PinEntryDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmo::manager {

class PukEntryDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PukEntryDialog(int attemptsLeft, QWidget* parent = nullptr);

    QString Puk() const;
    QString NewPin() const;
    QString ConfirmPin() const;

    QLineEdit* PukEdit() const { return puk_; }
    QLineEdit* NewPinEdit() const { return newPin_; }
    QLineEdit* ConfirmEdit() const { return confirm_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* ExitButton() const { return exit_; }
    QString AttemptsText() const;

  private:
    void UpdateOk();

    QLabel* attempts_ = nullptr;
    QLineEdit* puk_ = nullptr;
    QLineEdit* newPin_ = nullptr;
    QLineEdit* confirm_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* exit_ = nullptr;
};

}  // namespace velmo::manager
