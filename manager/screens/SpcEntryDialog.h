// The SPC entry dialog: the service programming code, exactly six characters, before the modem's service
// parameters may be changed. It only collects the code; the modem checks it.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace velmo::manager {

inline constexpr int kSpcLength = 6;

class SpcEntryDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SpcEntryDialog(QWidget* parent = nullptr);
    // The same dialog asking for a new code once more.
    void SetRepeatPrompt();

    // The kept code: set by OK with six characters, cleared by anything else.
    QString Spc() const { return spc_; }
    bool Entered() const { return entered_; }

    QLineEdit* SpcEdit() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void TryAccept();
    void Cancel();

    QLabel* prompt_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString spc_;
    bool entered_ = false;
};

}  // namespace velmo::manager
