#include "RuimPane.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <memory>

#include "CFlatButton.h"
#include "manager/core/CardFlow.h"
#include "manager/core/SettingsModel.h"
#include "manager/core/Texts.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager {

using namespace settings;

namespace {

constexpr int kCodeLength = 8;

QString Text(int id) {
    return Tr::tr(FindRow(RuimLayout(), id)->text);
}

}  // namespace

RuimPane::RuimPane(const PaneServices& services, QWidget* parent)
    : SettingsPane(services, RuimLayout(), parent) {
    // The group boxes first, so that everything else lies above them.
    AddControl(kRequestGroup, new QGroupBox(Text(kRequestGroup), this));
    AddControl(kChangeGroup, new QGroupBox(Text(kChangeGroup), this));
    off_ = new QRadioButton(Text(kRequestOff), this);
    on_ = new QRadioButton(Text(kRequestOn), this);
    // Not automatic: a click checks its button and clears the other, nothing else does.
    off_->setAutoExclusive(false);
    on_->setAutoExclusive(false);
    connect(off_, &QRadioButton::clicked, this, [this] { Check(false); });
    connect(on_, &QRadioButton::clicked, this, [this] { Check(true); });
    AddControl(kRequestOff, off_);
    AddControl(kRequestOn, on_);
    applyRequest_ = new CFlatButton(Text(kApplyRequest), this);
    applyRequest_->setAccessibleName(Text(kRequestGroup) + QStringLiteral(": ") + Text(kApplyRequest));
    AddControl(kApplyRequest, applyRequest_);
    connect(applyRequest_, &CFlatButton::clicked, this, &RuimPane::OnApplyRequest);

    const int labels[3] = {kOldPinLabel, kNewPinLabel, kConfirmPinLabel};
    const int edits[3] = {kOldPin, kNewPin, kConfirmPin};
    QLineEdit** fields[3] = {&old_, &new_, &confirm_};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(Text(labels[i]), this);
        auto* edit = new QLineEdit(this);
        edit->setFrame(true);
        edit->setEchoMode(QLineEdit::Password);
        edit->setMaxLength(kCodeLength);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        label->setBuddy(edit);
        edit->setAccessibleName(label->text().chopped(1));
        AddControl(labels[i], label);
        AddControl(edits[i], edit);
        *fields[i] = edit;
    }
    applyChange_ = new CFlatButton(Text(kApplyChange), this);
    applyChange_->setAccessibleName(Text(kChangeGroup) + QStringLiteral(": ") + Text(kApplyChange));
    AddControl(kApplyChange, applyChange_);
    connect(applyChange_, &CFlatButton::clicked, this, &RuimPane::OnApplyChange);
    Check(false);
    applyRequest_->setEnabled(false);
    applyChange_->setEnabled(false);
}

void RuimPane::Check(bool requestOn) {
    on_->setChecked(requestOn);
    off_->setChecked(!requestOn);
}

void RuimPane::EmptyEdits() {
    old_->clear();
    new_->clear();
    confirm_->clear();
}

void RuimPane::OnShown() {
    EmptyEdits();
    const DeviceContext& c = services_.session.Context();
    const RuimTabState state =
        RuimTabStateFor(c.connectionState.load(), c.StatusCopy(), c.pinRequest.load() != 0);
    Check(state.requestOn);
    applyRequest_->setEnabled(state.buttonsEnabled);
    applyChange_->setEnabled(state.buttonsEnabled);
}

void RuimPane::OnApplyRequest() {
    const ModemSession session = services_.session;
    const std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    const bool disable = off_->isChecked();
    services_.flows->Run([session, prompt, disable] {
        CCardFlow(session, *prompt, CCardFlow::Caller::Screen).OnApplyPinRequest(disable);
    });
}

void RuimPane::OnApplyChange() {
    const ModemSession session = services_.session;
    const std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    const QString oldPin = old_->text();
    const QString newPin = new_->text();
    const QString confirmPin = confirm_->text();
    auto answered = std::make_shared<bool>(false);
    services_.flows->Run(
        [session, prompt, oldPin, newPin, confirmPin, answered] {
            *answered = CCardFlow(session, *prompt, CCardFlow::Caller::Screen)
                            .OnChangePin(oldPin, newPin, confirmPin);
        },
        [this, answered] {
            if (*answered) {
                EmptyEdits();
            }
        });
}

}  // namespace velmo::manager
