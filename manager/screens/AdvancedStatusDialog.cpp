#include "AdvancedStatusDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>

namespace velmo::manager {

namespace {

constexpr uint16_t kModeEvdo = 10;
constexpr int kFieldCount = 15;
constexpr CardTest kAllTests[] = {CardTest::Status,     CardTest::VerifyPin, CardTest::EnablePin,
                                  CardTest::DisablePin, CardTest::ChangePin, CardTest::PukStatus,
                                  CardTest::UnblockPin};

QString WithText(int value, const QString& text) {
    return text.isEmpty() ? QString::number(value) : QStringLiteral("%1 %2").arg(value).arg(text);
}

QString RfModeName(int mode) {
    switch (mode) {
        case 0:
            return QStringLiteral("Analog");
        case 1:
            return QStringLiteral("Cellular");
        case 2:
            return QStringLiteral("PCN");
        case 3:
            return QStringLiteral("Sleep");
        case 4:
            return QStringLiteral("GPS");
        case 5:
            return QStringLiteral("HDR");
        default:
            return QString();
    }
}

QString SystemStateName(int state) {
    switch (state) {
        case 0:
            return QStringLiteral("power-down");
        case 3:
            return QStringLiteral("offline analog");
        case 4:
            return QStringLiteral("offline digital");
        case 5:
            return QStringLiteral("online digital");
        case 7:
            return QStringLiteral("reset");
        default:
            return QString();
    }
}

QString PacketStateName(int state) {
    switch (state) {
        case 0:
            return QStringLiteral("idle");
        case 1:
            return QStringLiteral("active");
        case 2:
            return QStringLiteral("dormant");
        default:
            return QStringLiteral("error");
    }
}

QString ButtonText(CardTest test) {
    switch (test) {
        case CardTest::Status:
            return QStringLiteral("UIM Status");
        case CardTest::VerifyPin:
            return QStringLiteral("PIN Verify");
        case CardTest::EnablePin:
            return QStringLiteral("PIN Enable");
        case CardTest::DisablePin:
            return QStringLiteral("PIN Disable");
        case CardTest::ChangePin:
            return QStringLiteral("PIN Change");
        case CardTest::PukStatus:
            return QStringLiteral("PUK Check");
        case CardTest::UnblockPin:
            return QStringLiteral("PIN Unblock");
    }
    return QString();
}

// What the confirmation tells the user before anything is sent.
QString ConfirmText(CardTest test) {
    const QString pin = QString::fromLatin1(AdvancedStatusDialog::kTestPin);
    const QString newPin = QString::fromLatin1(AdvancedStatusDialog::kTestNewPin);
    const QString puk = QString::fromLatin1(AdvancedStatusDialog::kTestPuk);
    const QString warning = QStringLiteral(
        "\n\nThis goes to the real card in the modem: a wrong code uses up one of its attempts, "
        "and repeated wrong codes block the card.\nSend it?");
    switch (test) {
        case CardTest::Status:
            return QStringLiteral("Send command 35 (get UIM status) to the card?");
        case CardTest::VerifyPin:
            return QStringLiteral("Send command 36 (PIN verify) with the PIN \"%1\".").arg(pin) + warning;
        case CardTest::EnablePin:
            return QStringLiteral("Send command 37 (PIN request on) with the PIN \"%1\".").arg(pin) + warning;
        case CardTest::DisablePin:
            return QStringLiteral("Send command 37 (PIN request off) with the PIN \"%1\".").arg(pin) +
                   warning;
        case CardTest::ChangePin:
            return QStringLiteral(
                       "Send command 38 (PIN change) from the PIN \"%1\" to the new PIN \"%2\". This "
                       "changes the card's PIN.")
                       .arg(pin, newPin) +
                   warning;
        case CardTest::PukStatus:
            return QStringLiteral("Send command 39 (PUK status) to the card?");
        case CardTest::UnblockPin:
            return QStringLiteral(
                       "Send command 40 (PIN unblock) with the PUK \"%1\" and the new PIN \"%2\". This "
                       "sets the card's PIN.")
                       .arg(puk, newPin) +
                   warning;
    }
    return QString();
}

}  // namespace

std::vector<StatusField> AdvancedStatusFields(const ModemStatusRecord& status, int rfBlockAFirst,
                                              int packetState, QString* rfModeText) {
    std::vector<StatusField> fields;
    fields.reserve(kFieldCount);
    const uint16_t mode = status.NetworkKind;
    const int rssi = mode == kModeEvdo ? status.RssiEvdo : status.Rssi1x;
    fields.push_back({QStringLiteral("Rssi"), QStringLiteral("-%1 dBm").arg(rssi)});
    fields.push_back({QStringLiteral("Service"),
                      WithText(status.InService, status.InService == 1 ? QStringLiteral("in service")
                                                                       : QStringLiteral("no service"))});
    fields.push_back(
        {QStringLiteral("In Use"),
         WithText(status.InTraffic, status.InTraffic == 1 ? QStringLiteral("in traffic mode")
                                                          : QStringLiteral("not in traffic mode"))});
    QString roam;
    switch (status.Roam) {
        case 0:
            roam = QStringLiteral("off");
            break;
        case 1:
            roam = QStringLiteral("on");
            break;
        case 2:
            roam = QStringLiteral("flashing");
            break;
        default:
            break;
    }
    fields.push_back({QStringLiteral("Roam"), WithText(status.Roam, roam)});
    fields.push_back({QStringLiteral("SID"), QString::number(status.Sid)});
    fields.push_back({QStringLiteral("NID"), QString::number(status.Nid)});
    fields.push_back({QStringLiteral("Channel"), QString::number(status.Channel)});
    const QString modeName = RfModeName(status.RfMode);
    if (!modeName.isEmpty() && rfModeText != nullptr) {
        *rfModeText = modeName;
    }
    fields.push_back(
        {QStringLiteral("Rf Mode"), WithText(status.RfMode, rfModeText != nullptr ? *rfModeText : modeName)});
    QString pilot;
    if (status.PilotPn != 0) {
        pilot = QString::number(status.PilotPn);
    } else if (rfBlockAFirst != -1) {
        pilot = QString::number(rfBlockAFirst);
    }
    fields.push_back({QStringLiteral("Pilot Pn"), pilot});
    fields.push_back(
        {QStringLiteral("System State"), WithText(status.SystemState, SystemStateName(status.SystemState))});
    fields.push_back({QStringLiteral("PRL Ver"), QString::number(status.PrlVersion)});
    fields.push_back({QStringLiteral("CAI Rev"), QString::number(status.CaiRevision)});
    fields.push_back({QStringLiteral("FW Rev"), QString::asprintf("%1.1f", status.FirmwareRevision / 10.0)});
    const size_t swLength = strnlen(status.SoftwareRevision, sizeof(status.SoftwareRevision));
    fields.push_back({QStringLiteral("SW Rev"),
                      QString::fromLatin1(status.SoftwareRevision, static_cast<qsizetype>(swLength))});
    fields.push_back({QStringLiteral("Packet State"), WithText(packetState, PacketStateName(packetState))});
    return fields;
}

QString AdvancedStatusDialog::CardTestTitle(CardTest test) {
    switch (test) {
        case CardTest::Status:
            return QStringLiteral("response of get uim status");
        case CardTest::VerifyPin:
            return QStringLiteral("response of PIN Verify");
        case CardTest::EnablePin:
            return QStringLiteral("response of PIN enable");
        case CardTest::DisablePin:
            return QStringLiteral("response of PIN disable");
        case CardTest::ChangePin:
            return QStringLiteral("response of PIN Change");
        case CardTest::PukStatus:
            return QStringLiteral("response of PUK Check");
        case CardTest::UnblockPin:
            return QStringLiteral("response of PIN Unblock");
    }
    return QString();
}

AdvancedStatusDialog::AdvancedStatusDialog(CModemWrapper& wrapper, DeviceContext& context,
                                           platform::IClock& clock, QWidget* parent)
    : QDialog(parent), wrapper_(wrapper), context_(context), clock_(clock) {
    setWindowTitle(QStringLiteral("Advanced Status"));
    setAttribute(Qt::WA_DeleteOnClose);

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
    // The RF graph is not part of this build.
    rfMonitor_->setEnabled(false);

    auto* testRow = new QGridLayout;
    int index = 0;
    for (CardTest test : kAllTests) {
        auto* button = new QPushButton(ButtonText(test), this);
        connect(button, &QPushButton::clicked, this, [this, test] { RunCardTest(test); });
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
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
}

void AdvancedStatusDialog::Refresh() {
    const int rfBlockA = rfBlockA_ ? rfBlockA_() : -1;
    const std::vector<StatusField> fields =
        AdvancedStatusFields(context_.StatusCopy(), rfBlockA, packetState_, &rfModeText_);
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

void AdvancedStatusDialog::RunCardTest(CardTest test) {
    if (!confirm_(this, ConfirmText(test), QStringLiteral("Advanced Status"))) {
        return;
    }
    const std::string pin = kTestPin;
    const std::string newPin = kTestNewPin;
    const std::string puk = kTestPuk;
    CardReply reply;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    StateLock(context_, clock_, true);
    switch (test) {
        case CardTest::Status:
            wrapper_.CardStatus(&reply);
            break;
        case CardTest::VerifyPin:
            wrapper_.VerifyPin(pin, &reply);
            break;
        case CardTest::EnablePin:
            wrapper_.EnablePin(false, pin, &reply);
            break;
        case CardTest::DisablePin:
            wrapper_.EnablePin(true, pin, &reply);
            break;
        case CardTest::ChangePin:
            wrapper_.ChangePin(pin, newPin, &reply);
            break;
        case CardTest::PukStatus:
            wrapper_.PukStatus(&reply);
            break;
        case CardTest::UnblockPin:
            wrapper_.UnblockPin(puk, newPin, &reply);
            break;
    }
    StateLock(context_, clock_, false);
    QApplication::restoreOverrideCursor();

    QString text = QStringLiteral("enable = %1, remained time = %2, uim_ack = %3")
                       .arg(reply.enable)
                       .arg(reply.remainedTime)
                       .arg(reply.uimAck);
    if (test == CardTest::Status) {
        text += QStringLiteral(", pin_verification = %1").arg(reply.pinVerification);
    }
    message_(this, text, CardTestTitle(test), QMessageBox::NoIcon);
}

void AdvancedStatusDialog::closeEvent(QCloseEvent* event) {
    if (!closedSent_) {
        closedSent_ = true;
        emit closed();
    }
    QDialog::closeEvent(event);
}

}  // namespace velmo::manager
