#include "SmsDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "manager/core/SmsFlow.h"
#include "manager/core/Texts.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager {

using namespace smspane;

namespace {

constexpr const char* kPriorities[] = {"NORMAL", "INTERACTIVE", "URGENT", "EMERGENCY"};

// Digits and the dial characters, as many as a record holds.
QLineEdit* NumberEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(static_cast<int>(sms::kNumberField));
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9+*#]*")), edit));
    return edit;
}

QLabel* Label(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text.trimmed().remove(QLatin1Char(':')).trimmed());
    return label;
}

// A value from the modem or the other party: plain text, one line, read-only.
QLineEdit* ValueField(const QString& text, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setReadOnly(true);
    field->setCursorPosition(0);
    return field;
}

}  // namespace

SmsComposeDialog::SmsComposeDialog(const ModemSession& session, CScreenFlowThread& flows,
                                   const ComposeFields& start, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle(QStringLiteral("Send Msg"));
    setObjectName(QStringLiteral("SmsComposeDialog"));
    host_ = new ScreenFlowHost(this, flows);
    prompt_ = std::make_shared<QtUserPrompt>(this, &session_.Context().closing);

    own_ = NumberEdit(this);
    own_->setText(start.ownNumber);
    destination_ = NumberEdit(this);
    destination_->setText(start.destination);
    priority_ = new QComboBox(this);
    for (const char* p : kPriorities) {
        priority_->addItem(QString::fromLatin1(p));
    }
    priority_->setCurrentIndex(std::clamp(start.priority, 0, 3));
    report_ = new QCheckBox(QStringLiteral("Delivery Report"), this);
    report_->setChecked(start.deliveryReport);
    message_ = new QPlainTextEdit(this);
    message_->setAccessibleName(Tr::tr("Treść wiadomości"));
    message_->setTabChangesFocus(true);
    message_->setPlainText(start.text.left(kMaxComposeCharacters));
    counter_ = new QLabel(QString::number(start.counter), this);
    counter_->setAccessibleName(Tr::tr("Liczba znaków"));
    auto* limit = new QLabel(QStringLiteral("/ %1").arg(kMaxComposeCharacters), this);
    connect(message_, &QPlainTextEdit::textChanged, this, &SmsComposeDialog::OnTextChanged);

    auto* grid = new QGridLayout;
    grid->addWidget(Label(QStringLiteral("Phone Number "), own_, this), 0, 0);
    grid->addWidget(own_, 0, 1);
    grid->addWidget(Label(QStringLiteral("Destination Number"), destination_, this), 1, 0);
    grid->addWidget(destination_, 1, 1);
    grid->addWidget(Label(QStringLiteral("Priority"), priority_, this), 2, 0);
    grid->addWidget(priority_, 2, 1);
    grid->addWidget(report_, 3, 1);
    auto* count = new QHBoxLayout;
    count->addStretch();
    count->addWidget(counter_);
    count->addWidget(limit);

    send_ = new QPushButton(QStringLiteral("Send"), this);
    sendSave_ = new QPushButton(QStringLiteral("SendSave"), this);
    save_ = new QPushButton(QStringLiteral("Save"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(send_, &QPushButton::clicked, this, [this] { Run(Action::Send); });
    connect(sendSave_, &QPushButton::clicked, this, [this] { Run(Action::SendSave); });
    connect(save_, &QPushButton::clicked, this, [this] { Run(Action::Save); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(send_);
    buttons->addWidget(sendSave_);
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(message_, 1);
    layout->addLayout(count);
    layout->addLayout(buttons);
    resize(sizeHint().expandedTo(QSize(420, 320)));
    (start.destination.isEmpty() ? destination_ : static_cast<QWidget*>(message_))->setFocus();
}

SmsComposeDialog::~SmsComposeDialog() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(prompt_.get())) {
        own->Detach();
    }
}

ComposeFields SmsComposeDialog::Fields() const {
    ComposeFields f;
    f.ownNumber = own_->text();
    f.destination = destination_->text();
    f.priority = priority_->currentIndex();
    f.deliveryReport = report_->isChecked();
    f.text = message_->toPlainText();
    f.counter = CounterOf(f.text);
    return f;
}

void SmsComposeDialog::OnTextChanged() {
    if (trimming_) {
        return;
    }
    QString text = message_->toPlainText();
    if (text.size() > kMaxComposeCharacters) {
        // At most 160 characters; a pair that would be cut in half goes as a whole.
        qsizetype keep = kMaxComposeCharacters;
        if (text.at(keep - 1).isHighSurrogate()) {
            --keep;
        }
        text.truncate(keep);
        trimming_ = true;
        message_->setPlainText(text);
        message_->moveCursor(QTextCursor::End);
        trimming_ = false;
    }
    counter_->setText(QString::number(CounterOf(text)));
}

void SmsComposeDialog::Run(Action action) {
    const ModemSession session = session_;
    const std::shared_ptr<IUserPrompt> prompt = prompt_;
    const ComposeFields fields = Fields();
    host_->Run([session, prompt, fields, action] {
        CSmsFlow flow(session, *prompt);
        switch (action) {
            case Action::Send:
                flow.OnSend(fields);
                break;
            case Action::SendSave:
                flow.OnSendSave(fields);
                break;
            case Action::Save:
                flow.OnSave(fields);
                break;
        }
    });
}

SmsViewerDialog::SmsViewerDialog(const ModemSession& session, CScreenFlowThread& flows,
                                 const SmsPaneState& state, const SmsRow& row, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle(QStringLiteral("Message"));
    setObjectName(QStringLiteral("SmsViewerDialog"));
    host_ = new ScreenFlowHost(this, flows);
    prompt_ = std::make_shared<QtUserPrompt>(this, &session_.Context().closing);

    auto* grid = new QGridLayout;
    const QString values[4] = {QString::number(row.position), row.time, ViewerStatus(state, row), row.number};
    const char* labels[4] = {"Index : ", "Time : ", "Status : ", "Phone Num : "};
    for (int i = 0; i < 4; ++i) {
        QLineEdit* field = ValueField(values[i], this);
        grid->addWidget(Label(QString::fromLatin1(labels[i]), field, this), i, 0);
        grid->addWidget(field, i, 1);
    }
    message_ = new QPlainTextEdit(this);
    message_->setReadOnly(true);
    message_->setPlainText(row.text);
    message_->setTabChangesFocus(true);
    grid->addWidget(Label(QStringLiteral("Message : "), message_, this), 4, 0, Qt::AlignTop);
    grid->addWidget(message_, 4, 1);

    save_ = new QPushButton(QStringLiteral("SAVE"), this);
    save_->setVisible(state.box == sms::Box::InBox);
    const int position = row.position;
    connect(save_, &QPushButton::clicked, this, [this, position] {
        const ModemSession s = session_;
        const std::shared_ptr<IUserPrompt> prompt = prompt_;
        host_->Run([s, prompt, position] { CSmsFlow(s, *prompt).OnCopyToSaved(position); });
    });
    auto* ok = new QPushButton(Tr::tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    resize(sizeHint().expandedTo(QSize(380, 280)));
}

SmsViewerDialog::~SmsViewerDialog() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(prompt_.get())) {
        own->Detach();
    }
}

}  // namespace velmo::manager
