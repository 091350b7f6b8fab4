// The PIN entry dialog: the card asks for its PIN. It only collects the code; the caller talks to the modem.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmo::manager {

inline constexpr int kCardCodeMaxLength = 8;
inline constexpr int kPinMinLength = 4;
inline constexpr int kPukMinLength = 8;

// "( Pozostały 3 próby )" and its plural forms; emptyForZero gives "" for 0 (the PIN dialog's rule).
QString RemainingAttemptsText(int attempts, bool emptyForZero);

class PinEntryDialog : public QDialog {
    Q_OBJECT
  public:
    // attemptsLeft 0 shows no attempts text.
    explicit PinEntryDialog(int attemptsLeft, QWidget* parent = nullptr);

    QString Pin() const;

    QLineEdit* PinEdit() const { return pin_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* ExitButton() const { return exit_; }
    QString AttemptsText() const;

  private:
    void UpdateOk();

    QLabel* prompt_ = nullptr;
    QLabel* attempts_ = nullptr;
    QLineEdit* pin_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* exit_ = nullptr;
};

}  // namespace velmo::manager
