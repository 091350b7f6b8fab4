// The card dialogs, the profile dialog and the advanced status window.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "CardStub.h"
#include "Recorders.h"
#include "manager/core/ScreenFlowThread.h"
#include "manager/screens/AdvancedStatusDialog.h"
#include "manager/screens/PinEntryDialog.h"
#include "manager/screens/ProfileDialog.h"
#include "manager/screens/PukEntryDialog.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/screens/SpcEntryDialog.h"

using namespace velmo;
using namespace velmo::manager;

namespace {

using test::CardRig;
using test::Msg;
using test::PromptRecord;
using test::RecordingPrompt;

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

    void CardTestButtonRunsItsFlowOffTheWindowThread();
    void QtPromptBlocksTheAskingThreadAndCancelsWhenClosing();
    void QtPromptNoticesDoNotPileUp();
    void SpcDialogKeepsOnlySixCharacters();
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
    RecordingPrompt prompt;
    ProfileDialog dialog(ProfileRecord(), &prompt);
    dialog.show();
    dialog.NumberEdit()->setText(QStringLiteral("#777"));
    dialog.OkButton()->click();
    std::vector<PromptRecord> messages = prompt.Records();
    QCOMPARE(messages.size(), size_t(1));
    QCOMPARE(messages[0].text, QStringLiteral("Wprowadź nazwę profilu!"));
    QCOMPARE(messages[0].caption, QStringLiteral("VelmoManager"));
    QCOMPARE(messages[0].icon, PromptIcon::Exclamation);
    QVERIFY(dialog.isVisible());

    // The name is checked first even when both are missing.
    dialog.NumberEdit()->clear();
    dialog.OkButton()->click();
    QCOMPARE(prompt.Records().back().text, QStringLiteral("Wprowadź nazwę profilu!"));

    dialog.NameEdit()->setText(QStringLiteral("Dom"));
    dialog.OkButton()->click();
    messages = prompt.Records();
    QCOMPARE(messages.size(), size_t(3));
    QCOMPARE(messages.back().text, QStringLiteral("Wprowadź numer dostępowy!"));
    QCOMPARE(messages.back().caption, QStringLiteral("VelmoManager"));
    QCOMPARE(messages.back().icon, PromptIcon::Exclamation);
    QVERIFY(dialog.isVisible());
}

void DialogsTest::ProfileDialogRefusesUnusableName() {
    for (const QString& name : {QStringLiteral("a/b"), QStringLiteral("..x"), QStringLiteral("tab\there")}) {
        RecordingPrompt prompt;
        ProfileDialog dialog(ProfileRecord(), &prompt);
        dialog.show();
        dialog.NameEdit()->setText(name);
        dialog.NumberEdit()->setText(QStringLiteral("#777"));
        dialog.OkButton()->click();
        const std::vector<PromptRecord> messages = prompt.Records();
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
    RecordingPrompt prompt;
    ProfileDialog dialog(initial, &prompt);
    QCOMPARE(dialog.NameEdit()->text(), QStringLiteral("Praca"));
    QVERIFY(!dialog.SavePasswordBox()->isChecked());
    dialog.show();
    dialog.UserEdit()->setText(QStringLiteral("jan"));
    dialog.PasswordEdit()->setText(QStringLiteral("tajne"));
    dialog.SavePasswordBox()->setChecked(true);
    dialog.OkButton()->click();
    QVERIFY(prompt.Records().empty());
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

void DialogsTest::CardTestButtonRunsItsFlowOffTheWindowThread() {
    CardRig rig;
    CScreenFlowThread flows;
    // The prompt answers on the flow thread; the first question waits until the test has looked at the
    // window.
    struct GatedPrompt : RecordingPrompt {
        PromptAnswer Message(const QString& text, const QString& caption, PromptIcon icon,
                             PromptButtons buttons) override {
            if (buttons == PromptButtons::YesNo) {
                asking.store(true);
                while (!release.load()) {
                    QThread::msleep(1);
                }
            }
            return RecordingPrompt::Message(text, caption, icon, buttons);
        }
        std::atomic<bool> asking{false};
        std::atomic<bool> release{false};
    } prompt;
    AdvancedStatusDialog dialog(rig.Session(), flows, &prompt);
    dialog.show();
    bool idle = false;
    connect(dialog.Flows(), &ScreenFlowHost::idle, this, [&idle] { idle = true; });

    dialog.CardTestButton(CardTest::VerifyPin)->click();
    QTRY_VERIFY(prompt.asking.load());
    // While the flow runs the window keeps painting, shows the wait cursor and ignores input.
    QVERIFY(dialog.Flows()->Busy());
    QCOMPARE(dialog.cursor().shape(), Qt::WaitCursor);
    dialog.CardTestButton(CardTest::Status)->click();  // a click the filter lets through programmatically
    QTest::mouseClick(dialog.CardTestButton(CardTest::PukStatus), Qt::LeftButton);
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    prompt.release.store(true);
    QTRY_VERIFY(idle);
    QVERIFY(!dialog.Flows()->Busy());
    QVERIFY(dialog.cursor().shape() != Qt::WaitCursor);
    const auto packets = rig.stub.Packets();
    // The verify, then the status clicked through the API (queued behind it); the mouse click was ignored.
    QCOMPARE(packets.size(), size_t(2));
    QCOMPARE(packets[0], std::vector<uint8_t>({60, 1, 36, '1', '2', '3', '4', 0, 0, 0, 0}));
    QCOMPARE(packets[1], std::vector<uint8_t>({60, 1, 35}));
    const std::vector<PromptRecord> messages = prompt.Messages();
    QCOMPARE(messages.size(), size_t(4));
    QCOMPARE(messages[1].caption, QStringLiteral("response of PIN Verify"));
    QCOMPARE(rig.context.lockFlag.load(), 0);
}

// The Qt prompt: a question from another thread blocks it until the window thread has answered; once closing
// has started every question is answered "cancel" without a dialog.
void DialogsTest::QtPromptBlocksTheAskingThreadAndCancelsWhenClosing() {
    QWidget owner;
    owner.show();
    std::atomic<bool> closing{false};
    QtUserPrompt prompt(&owner, &closing);
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QCOMPARE(box->windowTitle(), QStringLiteral("VelmoManager"));
            QCOMPARE(box->textFormat(), Qt::PlainText);
            box->button(QMessageBox::Yes)->click();
        } else if (auto* spc = qobject_cast<SpcEntryDialog*>(QApplication::activeModalWidget())) {
            spc->SpcEdit()->setText(QStringLiteral("000000"));
            spc->OkButton()->click();
        }
    });
    answer.start(20);
    std::atomic<int> result{-1};
    QString code;
    std::atomic<bool> gotCode{false};
    std::thread asker([&] {
        result.store(static_cast<int>(prompt.Message(QStringLiteral("<b>x</b>"), QString(),
                                                     PromptIcon::Question, PromptButtons::YesNo)));
        gotCode.store(prompt.AskSpc(&code));
    });
    QTRY_VERIFY(gotCode.load());
    asker.join();
    QCOMPARE(result.load(), static_cast<int>(PromptAnswer::Yes));
    QCOMPARE(code, QStringLiteral("000000"));

    answer.stop();
    closing.store(true);
    std::thread late([&] {
        result.store(static_cast<int>(
            prompt.Message(QStringLiteral("late"), QString(), PromptIcon::None, PromptButtons::Ok)));
    });
    late.join();
    QCOMPARE(result.load(), static_cast<int>(PromptAnswer::Cancel));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

// A notice that does not wait (a dial error) repeated while its box is still open brings that box forward;
// a different notice gets its own box, and a closed box is gone.
void DialogsTest::QtPromptNoticesDoNotPileUp() {
    QWidget owner;
    owner.show();
    QtUserPrompt prompt(&owner, nullptr);
    const auto boxes = [&owner] {
        QList<QMessageBox*> visible;
        for (QMessageBox* box : owner.findChildren<QMessageBox*>()) {
            if (box->isVisible()) {
                visible.append(box);
            }
        }
        return visible;
    };
    std::thread dialler([&] {
        for (int i = 0; i < 3; ++i) {
            prompt.MessageNoWait(QStringLiteral("Error 734: x"), QStringLiteral("Połączenie"), PromptIcon::Stop);
        }
        prompt.MessageNoWait(QStringLiteral("Error 777: y"), QStringLiteral("Połączenie"), PromptIcon::Stop);
    });
    dialler.join();
    QTRY_COMPARE(boxes().size(), 2);
    QTest::qWait(50);
    QCOMPARE(boxes().size(), 2);
    for (QMessageBox* box : boxes()) {
        box->button(QMessageBox::Ok)->click();
    }
    QTRY_VERIFY(owner.findChildren<QMessageBox*>().isEmpty());
    prompt.MessageNoWait(QStringLiteral("Error 734: x"), QStringLiteral("Połączenie"), PromptIcon::Stop);
    QTRY_COMPARE(boxes().size(), 1);
}

void DialogsTest::SpcDialogKeepsOnlySixCharacters() {
    SpcEntryDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral(" Sprawdzanie kodu SPC"));
    QCOMPARE(dialog.SpcEdit()->maxLength(), 6);
    QCOMPARE(dialog.SpcEdit()->echoMode(), QLineEdit::Password);
    dialog.show();
    // Five characters: "Błędny kod SPC", and the dialog stays open without a code.
    QString shown;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    answer.start(20);
    QTest::keyClicks(dialog.SpcEdit(), QStringLiteral("12345"));
    dialog.OkButton()->click();
    QCOMPARE(shown, QStringLiteral("Błędny kod SPC"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.Entered());
    QVERIFY(dialog.Spc().isEmpty());
    QTest::keyClicks(dialog.SpcEdit(), QStringLiteral("67"));
    QCOMPARE(dialog.SpcEdit()->text(), QStringLiteral("123456"));
    dialog.OkButton()->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.Entered());
    QCOMPARE(dialog.Spc(), QStringLiteral("123456"));
}

void DialogsTest::StatusDialogShowsTheContext() {
    test::StubModem stub;
    CModemWrapper wrapper;
    wrapper.Attach(&stub);
    DeviceContext context;
    platform::FakeClock clock;
    CScreenFlowThread flows;
    auto* dialog = new AdvancedStatusDialog(ModemSession(wrapper, context, clock), flows);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Advanced Status"));
    // "RF Monitor" opens the RF graph through the main window.
    QVERIFY(dialog->RfMonitorButton()->isEnabled());
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
