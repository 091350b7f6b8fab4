// The RUIM tab: the card's PIN request switched on or off, and its PIN changed.
#pragma once

#include "SettingsPane.h"

class QLineEdit;
class QRadioButton;

namespace velmo::manager {

class CFlatButton;

class RuimPane : public SettingsPane {
    Q_OBJECT
  public:
    RuimPane(const PaneServices& services, QWidget* parent);

    // The edits emptied, the radio buttons and the two buttons set from the modem and the PIN-request flag.
    void OnShown() override;

    QRadioButton* OffButton() const { return off_; }
    QRadioButton* OnButton() const { return on_; }
    QLineEdit* OldPin() const { return old_; }
    QLineEdit* NewPin() const { return new_; }
    QLineEdit* ConfirmPin() const { return confirm_; }
    CFlatButton* ApplyRequestButton() const { return applyRequest_; }
    CFlatButton* ApplyChangeButton() const { return applyChange_; }

  private:
    void Check(bool requestOn);
    void OnApplyRequest();
    void OnApplyChange();
    void EmptyEdits();

    QRadioButton* off_ = nullptr;
    QRadioButton* on_ = nullptr;
    QLineEdit* old_ = nullptr;
    QLineEdit* new_ = nullptr;
    QLineEdit* confirm_ = nullptr;
    CFlatButton* applyRequest_ = nullptr;
    CFlatButton* applyChange_ = nullptr;
};

}  // namespace velmo::manager
