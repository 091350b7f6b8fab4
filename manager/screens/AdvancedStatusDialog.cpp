#include "AdvancedStatusDialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtUserPrompt.h"
#include "ScreenFlowHost.h"

namespace velmo::manager {

AdvancedStatusDialog::AdvancedStatusDialog(const ModemSession& session, CScreenFlowThread& flows,
                                           IUserPrompt* prompt, QWidget* parent)
    : QDialog(parent), session_(session) {
    setWindowTitle(QStringLiteral("Advanced Status"));
    setAttribute(Qt::WA_DeleteOnClose);
    if (prompt != nullptr) {
        prompt_ = std::shared_ptr<IUserPrompt>(prompt, [](IUserPrompt*) {});
    } else {
        // The prompt may still be asked by a flow when the window goes: the flow keeps it alive and it
        // answers "cancel" once detached.
        prompt_ = std::make_shared<QtUserPrompt>(this, &session_.Context().closing);
    }
    host_ = new ScreenFlowHost(this, flows);

    auto* grid = new QGridLayout;
    QString unused;
    const std::vector<StatusField> blank = AdvancedStatusFields(ModemStatusRecord{}, -1, 0, &unused);
    for (size_t i = 0; i < blank.size(); ++i) {
        auto* label = new QLabel(blank[i].label, this);
        auto* value = new QLabel(this);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(label, static_cast<int>(i), 0);
        grid->addWidget(value, static_cast<int>(i), 1);
        labels_.push_back(label);
        values_.push_back(value);
    }

    rfMonitor_ = new QPushButton(QStringLiteral("RF Monitor"), this);
    connect(rfMonitor_, &QPushButton::clicked, this, &AdvancedStatusDialog::rfMonitorRequested);

    auto* testRow = new QGridLayout;
    int index = 0;
    for (CardTest test : kCardTests) {
        auto* button = new QPushButton(CardTestButtonText(test), this);
        connect(button, &QPushButton::clicked, this, [this, test] { OnCardTest(test); });
        testRow->addWidget(button, index / 4, index % 4);
        tests_.push_back(button);
        ++index;
    }

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(rfMonitor_);
    bottom->addStretch();
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(testRow);
    layout->addLayout(bottom);
    Refresh();
}

AdvancedStatusDialog::~AdvancedStatusDialog() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(prompt_.get())) {
        own->Detach();
    }
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

void AdvancedStatusDialog::CancelQuestions() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(prompt_.get())) {
        own->CancelOpen();
    }
}

void AdvancedStatusDialog::Refresh() {
    const int rfBlockA = rfBlockA_ ? rfBlockA_() : -1;
    const std::vector<StatusField> fields =
        AdvancedStatusFields(session_.Context().StatusCopy(), rfBlockA, packetState_, &rfModeText_);
    for (size_t i = 0; i < fields.size() && i < values_.size(); ++i) {
        values_[i]->setText(fields[i].value);
    }
}

QString AdvancedStatusDialog::FieldValue(const QString& label) const {
    for (size_t i = 0; i < labels_.size(); ++i) {
        if (labels_[i]->text() == label) {
            return values_[i]->text();
        }
    }
    return QString();
}

QPushButton* AdvancedStatusDialog::CardTestButton(CardTest test) const {
    const auto index = static_cast<size_t>(test);
    return index < tests_.size() ? tests_[index] : nullptr;
}

void AdvancedStatusDialog::OnCardTest(CardTest test) {
    const ModemSession session = session_;
    const std::shared_ptr<IUserPrompt> prompt = prompt_;
    host_->Run(
        [session, prompt, test] { CCardFlow(session, *prompt, CCardFlow::Caller::Screen).OnCardTest(test); });
}

void AdvancedStatusDialog::closeEvent(QCloseEvent* event) {
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
    QDialog::closeEvent(event);
}

}  // namespace velmo::manager
