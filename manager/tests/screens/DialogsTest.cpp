// The card dialogs, the profile dialog and the advanced status window.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <vector>

#include "StubModem.h"
#include "manager/screens/AdvancedStatusDialog.h"
#include "manager/screens/PinEntryDialog.h"
#include "manager/screens/ProfileDialog.h"
#include "manager/screens/PukEntryDialog.h"

using namespace velmo;
using namespace velmo::manager;

namespace {

struct Message {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
};

MessageHook Recorder(std::vector<Message>* into) {
    return [into](QWidget*, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        into->push_back({text, caption, icon});
    };
}

// Records every request-60 packet and answers like a card that accepted it.
class CardStub : public test::StubModem {
  public:
    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) override {
        packets.emplace_back(request, request + count);
        std::memset(out128, 0, kRequest60ReplySize);
        out128[3] = 1;  // enable
        out128[4] = 3;  // remained time
        out128[5] = 1;  // uim_ack
        out128[6] = 2;  // pin_verification
        return kResultOk;
    }
    std::vector<std::vector<uint8_t>> packets;
};

// A card stub behind the wrapper, with an idle worker; the dialog under test is made after it and goes first.
struct CardRig {
    CardRig() {
        wrapper.Attach(&stub);
        context.workerStepping.store(0);
    }
    ~CardRig() { wrapper.Attach(nullptr); }
    CardStub stub;
    CModemWrapper wrapper;
    DeviceContext context;
    platform::FakeClock clock;
};

ModemStatusRecord SampleStatus() {
    ModemStatusRecord s{};
    s.Rssi1x = 85;
    s.RssiEvdo = 70;
    s.InService = 1;
    s.InTraffic = 0;
    s.Roam = 2;
    s.Sid = 4145;
    s.Nid = 65535;
    s.Channel = 283;
    s.RfMode = 5;
    s.PilotPn = 168;
    s.PrlVersion = 10021;
    s.CaiRevision = 6;
    s.FirmwareRevision = 37;
    s.SystemState = 5;
    s.NetworkKind = 1;
    std::memcpy(s.SoftwareRevision, "V1.2R-TEST", 10);
    return s;
}

QString Value(const std::vector<StatusField>& fields, const QString& label) {
    for (const StatusField& f : fields) {
        if (f.label == label) {
            return f.value;
        }
    }
    return QStringLiteral("<missing>");
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void AttemptsTexts();
    void PinOkNeedsFourDigits();
    void PukOkNeedsEightDigitPukAndTwoPins();

    void ProfileDialogRefusesMissingFields();
    void ProfileDialogRefusesUnusableName();
    void ProfileDialogAcceptsAndReturnsTheRecord();

    void StatusFieldsInOrderWithTheirTexts();
    void StatusRssiFollowsTheMode();
    void StatusRfModeKeepsTheLastKnownText();
    void StatusPilotFallsBackToRfBlock();
    void StatusOddValues();

    void CardTestSendsNothingWithoutConfirmation();
    void CardTestSendsTheConfirmedCodeAndShowsTheAnswer();
    void StatusDialogShowsTheContext();
};

void DialogsTest::AttemptsTexts() {
    QCOMPARE(RemainingAttemptsText(0, true), QString());
    QCOMPARE(RemainingAttemptsText(0, false), QStringLiteral("( Pozostało 0 prób )"));
    QCOMPARE(RemainingAttemptsText(1, true), QStringLiteral("( Pozostała 1 próba )"));
    QCOMPARE(RemainingAttemptsText(3, true), QStringLiteral("( Pozostały 3 próby )"));
    QCOMPARE(RemainingAttemptsText(5, false), QStringLiteral("( Pozostało 5 prób )"));
    QCOMPARE(RemainingAttemptsText(10, true), QStringLiteral("( Pozostało 10 prób )"));

    PinEntryDialog pin(0);
    QCOMPARE(pin.AttemptsText(), QString());
    PukEntryDialog puk(0);
    QCOMPARE(puk.AttemptsText(), QStringLiteral("( Pozostało 0 prób )"));
    PinEntryDialog pin2(2);
    QCOMPARE(pin2.AttemptsText(), QStringLiteral("( Pozostały 2 próby )"));
}

void DialogsTest::PinOkNeedsFourDigits() {
    PinEntryDialog dialog(3);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Weryfikacja kodu PIN"));
    QVERIFY(!dialog.OkButton()->isEnabled());
    QCOMPARE(dialog.ExitButton()->text(), QStringLiteral("Exit"));
    QCOMPARE(dialog.PinEdit()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(dialog.PinEdit(), QStringLiteral("1x2a3"));
    QCOMPARE(dialog.Pin(), QStringLiteral("123"));
    QVERIFY(!dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.PinEdit(), QStringLiteral("4"));
    QVERIFY(dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.PinEdit(), QStringLiteral("567890"));
    QCOMPARE(dialog.Pin(), QStringLiteral("12345678"));
    QTest::keyClick(dialog.PinEdit(), Qt::Key_Backspace);
    QTest::keyClick(dialog.PinEdit(), Qt::Key_Backspace);
    QTest::keyClick(dialog.PinEdit(), Qt::Key_Backspace);
    QTest::keyClick(dialog.PinEdit(), Qt::Key_Backspace);
    QTest::keyClick(dialog.PinEdit(), Qt::Key_Backspace);
    QVERIFY(!dialog.OkButton()->isEnabled());

    QTest::keyClicks(dialog.PinEdit(), QStringLiteral("9"));
    dialog.OkButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Pin(), QStringLiteral("1239"));
}

void DialogsTest::PukOkNeedsEightDigitPukAndTwoPins() {
    PukEntryDialog dialog(10);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Sprawdzanie kodu PUK"));
    QVERIFY(!dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.NewPinEdit(), QStringLiteral("1111"));
    QTest::keyClicks(dialog.ConfirmEdit(), QStringLiteral("1111"));
    QTest::keyClicks(dialog.PukEdit(), QStringLiteral("1234567"));
    QVERIFY(!dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.PukEdit(), QStringLiteral("8"));
    QVERIFY(dialog.OkButton()->isEnabled());
    QTest::keyClick(dialog.ConfirmEdit(), Qt::Key_Backspace);
    QVERIFY(!dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.ConfirmEdit(), QStringLiteral("2"));
    QVERIFY(dialog.OkButton()->isEnabled());
    QTest::keyClicks(dialog.PukEdit(), QStringLiteral("99"));
    QCOMPARE(dialog.Puk(), QStringLiteral("12345678"));
    QCOMPARE(dialog.NewPin(), QStringLiteral("1111"));
    QCOMPARE(dialog.ConfirmPin(), QStringLiteral("1112"));
}

void DialogsTest::ProfileDialogRefusesMissingFields() {
    std::vector<Message> messages;
    ProfileDialog dialog;
    dialog.SetMessageHook(Recorder(&messages));
    dialog.show();
    dialog.NumberEdit()->setText(QStringLiteral("#777"));
    dialog.OkButton()->click();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, QStringLiteral("Wprowadź nazwę profilu!"));
    QCOMPARE(messages[0].caption, QStringLiteral("VelmoManager"));
    QCOMPARE(messages[0].icon, QMessageBox::Warning);
    QVERIFY(dialog.isVisible());

    // The name is checked first even when both are missing.
    dialog.NumberEdit()->clear();
    dialog.OkButton()->click();
    QCOMPARE(messages.back().text, QStringLiteral("Wprowadź nazwę profilu!"));

    dialog.NameEdit()->setText(QStringLiteral("Dom"));
    dialog.OkButton()->click();
    QCOMPARE(messages.size(), size_t(3));
    QCOMPARE(messages.back().text, QStringLiteral("Wprowadź numer dostępowy!"));
    QCOMPARE(messages.back().caption, QStringLiteral("VelmoManager"));
    QCOMPARE(messages.back().icon, QMessageBox::Warning);
    QVERIFY(dialog.isVisible());
}

void DialogsTest::ProfileDialogRefusesUnusableName() {
    for (const QString& name : {QStringLiteral("a/b"), QStringLiteral("..x"), QStringLiteral("tab\there")}) {
        std::vector<Message> messages;
        ProfileDialog dialog;
        dialog.SetMessageHook(Recorder(&messages));
        dialog.show();
        dialog.NameEdit()->setText(name);
        dialog.NumberEdit()->setText(QStringLiteral("#777"));
        dialog.OkButton()->click();
        QCOMPARE(messages.size(), size_t(1));
        QVERIFY(messages[0].text.startsWith(QStringLiteral("Nazwa profilu nie może")));
        QVERIFY(dialog.isVisible());
    }
}

void DialogsTest::ProfileDialogAcceptsAndReturnsTheRecord() {
    ProfileRecord initial;
    initial.name = QStringLiteral("Praca");
    initial.phoneNumber = QStringLiteral("#777");
    initial.isDefault = 1;
    std::vector<Message> messages;
    ProfileDialog dialog(initial);
    dialog.SetMessageHook(Recorder(&messages));
    QCOMPARE(dialog.NameEdit()->text(), QStringLiteral("Praca"));
    QVERIFY(!dialog.SavePasswordBox()->isChecked());
    dialog.show();
    dialog.UserEdit()->setText(QStringLiteral("jan"));
    dialog.PasswordEdit()->setText(QStringLiteral("tajne"));
    dialog.SavePasswordBox()->setChecked(true);
    dialog.OkButton()->click();
    QVERIFY(messages.empty());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const ProfileRecord out = dialog.Record();
    QCOMPARE(out.name, QStringLiteral("Praca"));
    QCOMPARE(out.userId, QStringLiteral("jan"));
    QCOMPARE(out.password, QStringLiteral("tajne"));
    QCOMPARE(out.savePassword, 1);
    QCOMPARE(out.phoneNumber, QStringLiteral("#777"));
    QCOMPARE(out.isDefault, 1);
}

void DialogsTest::StatusFieldsInOrderWithTheirTexts() {
    QString rfText;
    const std::vector<StatusField> fields = AdvancedStatusFields(SampleStatus(), -1, 0, &rfText);
    QStringList labels;
    for (const StatusField& f : fields) {
        labels << f.label;
    }
    QCOMPARE(labels,
             QStringList({"Rssi", "Service", "In Use", "Roam", "SID", "NID", "Channel", "Rf Mode", "Pilot Pn",
                          "System State", "PRL Ver", "CAI Rev", "FW Rev", "SW Rev", "Packet State"}));
    QCOMPARE(Value(fields, "Service"), QStringLiteral("1 in service"));
    QCOMPARE(Value(fields, "In Use"), QStringLiteral("0 not in traffic mode"));
    QCOMPARE(Value(fields, "Roam"), QStringLiteral("2 flashing"));
    QCOMPARE(Value(fields, "SID"), QStringLiteral("4145"));
    QCOMPARE(Value(fields, "NID"), QStringLiteral("65535"));
    QCOMPARE(Value(fields, "Channel"), QStringLiteral("283"));
    QCOMPARE(Value(fields, "Rf Mode"), QStringLiteral("5 HDR"));
    QCOMPARE(Value(fields, "Pilot Pn"), QStringLiteral("168"));
    QCOMPARE(Value(fields, "System State"), QStringLiteral("5 online digital"));
    QCOMPARE(Value(fields, "PRL Ver"), QStringLiteral("10021"));
    QCOMPARE(Value(fields, "CAI Rev"), QStringLiteral("6"));
    QCOMPARE(Value(fields, "FW Rev"), QStringLiteral("3.7"));
    QCOMPARE(Value(fields, "SW Rev"), QStringLiteral("V1.2R-TEST"));
    QCOMPARE(Value(fields, "Packet State"), QStringLiteral("0 idle"));
}

void DialogsTest::StatusRssiFollowsTheMode() {
    ModemStatusRecord s = SampleStatus();
    QString rfText;
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "Rssi"), QStringLiteral("-85 dBm"));
    s.NetworkKind = 10;
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "Rssi"), QStringLiteral("-70 dBm"));
    s.NetworkKind = 0;
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "Rssi"), QStringLiteral("-85 dBm"));
}

void DialogsTest::StatusRfModeKeepsTheLastKnownText() {
    const char* names[] = {"Analog", "Cellular", "PCN", "Sleep", "GPS", "HDR"};
    ModemStatusRecord s = SampleStatus();
    QString rfText;
    for (uint8_t mode = 0; mode < 6; ++mode) {
        s.RfMode = mode;
        QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "Rf Mode"),
                 QStringLiteral("%1 %2").arg(mode).arg(QLatin1String(names[mode])));
    }
    s.RfMode = 9;
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "Rf Mode"), QStringLiteral("9 HDR"));
    QString fresh;
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &fresh), "Rf Mode"), QStringLiteral("9"));
}

void DialogsTest::StatusPilotFallsBackToRfBlock() {
    ModemStatusRecord s = SampleStatus();
    QString rfText;
    QCOMPARE(Value(AdvancedStatusFields(s, 300, 0, &rfText), "Pilot Pn"), QStringLiteral("168"));
    s.PilotPn = 0;
    QCOMPARE(Value(AdvancedStatusFields(s, 300, 0, &rfText), "Pilot Pn"), QStringLiteral("300"));
    QCOMPARE(Value(AdvancedStatusFields(s, 0, 0, &rfText), "Pilot Pn"), QStringLiteral("0"));
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "Pilot Pn"), QString());
}

void DialogsTest::StatusOddValues() {
    ModemStatusRecord s = SampleStatus();
    s.InService = 0;
    s.InTraffic = 1;
    s.Roam = 0;
    s.SystemState = 2;
    s.FirmwareRevision = 0;
    // A revision that fills its whole field has no terminator.
    std::memset(s.SoftwareRevision, 'A', sizeof(s.SoftwareRevision));
    QString rfText;
    auto fields = AdvancedStatusFields(s, -1, 2, &rfText);
    QCOMPARE(Value(fields, "Service"), QStringLiteral("0 no service"));
    QCOMPARE(Value(fields, "In Use"), QStringLiteral("1 in traffic mode"));
    QCOMPARE(Value(fields, "Roam"), QStringLiteral("0 off"));
    QCOMPARE(Value(fields, "System State"), QStringLiteral("2"));
    QCOMPARE(Value(fields, "FW Rev"), QStringLiteral("0.0"));
    QCOMPARE(Value(fields, "SW Rev"), QString(50, QLatin1Char('A')));
    QCOMPARE(Value(fields, "Packet State"), QStringLiteral("2 dormant"));
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 1, &rfText), "Packet State"), QStringLiteral("1 active"));
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 7, &rfText), "Packet State"), QStringLiteral("7 error"));
    s.FirmwareRevision = 125;
    QCOMPARE(Value(AdvancedStatusFields(s, -1, 0, &rfText), "FW Rev"), QStringLiteral("12.5"));
}

void DialogsTest::CardTestSendsNothingWithoutConfirmation() {
    CardRig rig;
    CardStub& stub = rig.stub;
    DeviceContext& context = rig.context;
    std::vector<Message> messages;
    std::vector<QString> questions;
    AdvancedStatusDialog dialog(rig.wrapper, context, rig.clock);
    dialog.SetMessageHook(Recorder(&messages));
    dialog.SetConfirmHook([&questions](QWidget*, const QString& text, const QString&) {
        questions.push_back(text);
        return false;
    });
    for (int t = 0; t <= static_cast<int>(CardTest::UnblockPin); ++t) {
        dialog.CardTestButton(static_cast<CardTest>(t))->click();
    }
    QCOMPARE(questions.size(), size_t(7));
    QVERIFY(stub.packets.empty());
    QVERIFY(messages.empty());
    QCOMPARE(context.lockFlag.load(), 0);
    // The questions name the codes they would send.
    QVERIFY(questions[1].contains(QStringLiteral("\"1234\"")));
    QVERIFY(questions[6].contains(QStringLiteral("\"12345678\"")));
}

void DialogsTest::CardTestSendsTheConfirmedCodeAndShowsTheAnswer() {
    CardRig rig;
    CardStub& stub = rig.stub;
    DeviceContext& context = rig.context;
    std::vector<Message> messages;
    AdvancedStatusDialog dialog(rig.wrapper, context, rig.clock);
    dialog.SetMessageHook(Recorder(&messages));
    dialog.SetConfirmHook([&context](QWidget*, const QString&, const QString&) {
        // Nothing is paused before the user agrees.
        return context.lockFlag.load() == 0;
    });

    dialog.RunCardTest(CardTest::Status);
    QCOMPARE(stub.packets.size(), size_t(1));
    QCOMPARE(stub.packets[0], std::vector<uint8_t>({60, 1, 35}));
    QCOMPARE(messages.back().caption, QStringLiteral("response of get uim status"));
    QCOMPARE(messages.back().text,
             QStringLiteral("enable = 1, remained time = 3, uim_ack = 1, pin_verification = 2"));

    dialog.RunCardTest(CardTest::VerifyPin);
    const std::vector<uint8_t> verify = {60, 1, 36, '1', '2', '3', '4', 0, 0, 0, 0};
    QCOMPARE(stub.packets.back(), verify);
    QCOMPARE(messages.back().caption, QStringLiteral("response of PIN Verify"));
    QCOMPARE(messages.back().text, QStringLiteral("enable = 1, remained time = 3, uim_ack = 1"));

    dialog.RunCardTest(CardTest::DisablePin);
    QCOMPARE(stub.packets.back().at(3), uint8_t(1));
    QCOMPARE(messages.back().caption, QStringLiteral("response of PIN disable"));
    dialog.RunCardTest(CardTest::EnablePin);
    QCOMPARE(stub.packets.back().at(3), uint8_t(0));
    QCOMPARE(messages.back().caption, QStringLiteral("response of PIN enable"));
    dialog.RunCardTest(CardTest::ChangePin);
    QCOMPARE(stub.packets.back().at(2), uint8_t(38));
    QCOMPARE(messages.back().caption, QStringLiteral("response of PIN Change"));
    dialog.RunCardTest(CardTest::PukStatus);
    QCOMPARE(stub.packets.back(), std::vector<uint8_t>({60, 1, 39}));
    QCOMPARE(messages.back().caption, QStringLiteral("response of PUK Check"));
    dialog.RunCardTest(CardTest::UnblockPin);
    QCOMPARE(stub.packets.back().at(2), uint8_t(40));
    QCOMPARE(stub.packets.back().at(3), uint8_t('1'));
    QCOMPARE(stub.packets.back().at(10), uint8_t('8'));
    QCOMPARE(messages.size(), size_t(7));
    // The worker is released after every command.
    QCOMPARE(context.lockFlag.load(), 0);
    QVERIFY(QApplication::overrideCursor() == nullptr);
}

void DialogsTest::StatusDialogShowsTheContext() {
    test::StubModem stub;
    CModemWrapper wrapper;
    wrapper.Attach(&stub);
    DeviceContext context;
    platform::FakeClock clock;
    auto* dialog = new AdvancedStatusDialog(wrapper, context, clock);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Advanced Status"));
    QVERIFY(!dialog->RfMonitorButton()->isEnabled());
    {
        std::lock_guard<std::mutex> lk(context.statusLock);
        context.statusCopy = SampleStatus();
        context.statusCopy.PilotPn = 0;
    }
    dialog->SetRfBlockReader([] { return 77; });
    dialog->Refresh();
    QCOMPARE(dialog->FieldValue("SID"), QStringLiteral("4145"));
    QCOMPARE(dialog->FieldValue("Pilot Pn"), QStringLiteral("77"));
    bool closed = false;
    connect(dialog, &AdvancedStatusDialog::closed, this, [&closed] { closed = true; });
    dialog->show();
    dialog->close();
    QVERIFY(closed);
    wrapper.Attach(nullptr);
}

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
