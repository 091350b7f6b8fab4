// The main window on the real library and the stand-in over a pty, with the worker running in real time:
// what a user sees at start-up, the card's PIN question, a connect through the dial-up service and the
// orderly close. Every question of the worker goes to the recorder, which answers from its script.
#include <signal.h>

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "StandInRig.h"
#include "manager/app/MainWindow.h"
#include "manager/core/Settings.h"
#include "manager/core/StopSignals.h"
#include "manager/programming/AdvancedConfigWindow.h"
#include "manager/screens/AdvancedStatusDialog.h"
#include "manager/screens/CRealTimeGraph.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/NoticeWindow.h"
#include "manager/screens/PinEntryDialog.h"
#include "manager/screens/RfGraphWindow.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/screens/StatusPanel.h"
#include "manager/screens/TrayIcon.h"
#include "manager/screens/settings/CFlatButton.h"
#include "manager/screens/settings/DesktopPane.h"
#include "manager/screens/settings/GeneralPane.h"
#include "manager/screens/settings/InfoPanes.h"
#include "manager/screens/settings/RuimPane.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/screens/settings/SmsDialogs.h"
#include "manager/screens/settings/SmsPane.h"
#include "manager/tests/core/Recorders.h"
#include "manager/tests/desktop/FakeNotificationServer.h"
#include "simulator/DeviceState.h"
#include "simulator/SmsBoxes.h"

using namespace velmo::manager;

namespace {

using velmo::manager::test::PromptRecord;
using velmo::manager::test::RecordingPrompt;

constexpr int kReadyWaitMs = 30000;
constexpr int kDialWaitMs = 60000;

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { QVERIFY(rig_.Prepare()); }

    void cleanup() {
        window_.reset();
        prompt_.Clear();
        prompt_.pins.clear();
        rig_.Stop();
    }

    void startsFindsTheModemAndClosesInOrder() {
        StartStandIn("healthy-evdo");
        StartManager();
        StatusPanel* panel = window_->Panel();
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QVERIFY(window_->Button(MainWindow::kConnect)->isVisible());
        QVERIFY(window_->Button(MainWindow::kConnect)->isEnabled());
        QVERIFY(!window_->Button(MainWindow::kDisconnect)->isVisible());
        QTRY_VERIFY(window_->Button(MainWindow::kMenu)->isVisible());
        QVERIFY(!window_->Button(MainWindow::kMenuDisabled)->isVisible());
        QCOMPARE(panel->ConnectionImage(), 2);  // USB on a fixed port
        QCOMPARE(panel->NetworkImage(), 4);     // EV-DO
        QVERIFY(panel->SignalLevel() >= 2);
        QCOMPARE(window_->DeviceStatusCode(), 3);
        QVERIFY(prompt_.Records().empty());

        // The advanced status window: one instance, refreshed from the polling, forgotten when closed.
        window_->ShowAdvancedStatus();
        AdvancedStatusDialog* advanced = window_->AdvancedStatus();
        QVERIFY(advanced != nullptr);
        QTRY_VERIFY(advanced->FieldValue(QStringLiteral("SID")).toInt() > 0);
        QVERIFY(advanced->FieldValue(QStringLiteral("Rssi")).endsWith(QStringLiteral(" dBm")));
        window_->ShowAdvancedStatus();
        QCOMPARE(window_->AdvancedStatus(), advanced);
        advanced->close();
        QTRY_VERIFY(window_->AdvancedStatus() == nullptr);

        // The close button only starts closing; the worker sends its quit requests, then the window goes.
        bool finished = false;
        connect(window_.get(), &MainWindow::finished, this, [&finished] { finished = true; });
        const size_t before = rig_.Sim().Requests().size();
        QTest::mouseClick(window_->Button(MainWindow::kClose), Qt::LeftButton);
        QCOMPARE(panel->StatusText(), QStringLiteral("Zamykanie… "));
        // A second press, and the system close, change nothing.
        QTest::mouseClick(window_->Button(MainWindow::kClose), Qt::LeftButton);
        QVERIFY(!window_->close());
        QVERIFY(window_->isVisible() || finished);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 10000);
        QVERIFY(window_->IsShutDown());
        QVERIFY(!ProcessFlags::workerRunning.load());
        QVERIFY(rig_.QuitRequestsSince(before));
    }

    void trafficMadeElsewhereShowsConnectedAndBlinks() {
        StartStandIn("data-call");
        StartManager();
        StatusPanel* panel = window_->Panel();
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Połączono"), kReadyWaitMs);
        QTRY_VERIFY(window_->Button(MainWindow::kDisconnect)->isVisible());
        QVERIFY(!window_->Button(MainWindow::kConnect)->isVisible());
        // The traffic indicator blinks with the 500 ms timer while data flows.
        QTRY_VERIFY_WITH_TIMEOUT(panel->TrafficIndicator(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->TrafficIndicator(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(panel->TrafficIndicator(), 3000);
        QVERIFY(prompt_.Records().empty());
    }

    void noticesReachThePanelAndTheNoticeWindow() {
        StartStandIn("low-battery");
        StartManager();
        StatusPanel* panel = window_->Panel();
        // The low-battery notice takes the text's place in red for a second, then a blank second.
        QTRY_COMPARE_WITH_TIMEOUT(panel->ShownText(), QStringLiteral("Niski poziom baterii"), kReadyWaitMs);
        QCOMPARE(panel->ShownTextColour(), QColor(255, 0, 0));
        QTRY_VERIFY_WITH_TIMEOUT(panel->ShownText() != QStringLiteral("Niski poziom baterii"), 3000);
        // Voice mail: its icon, notice window B once, and the notice line in yellow.
        std::string error;
        QVERIFY2(rig_.Sim().SetField("notices", "2", &error), error.c_str());
        QTRY_VERIFY_WITH_TIMEOUT(panel->VoiceMailIcon(), 5000);
        QTRY_VERIFY(VisibleNoticeWindows() == 1);
        QTRY_COMPARE_WITH_TIMEOUT(panel->ShownText(), QStringLiteral("Poczta głosowa"), 5000);
        QCOMPARE(panel->ShownTextColour(), QColor(255, 255, 50));
    }

    void startsMinimizedWhenAsked() {
        StartStandIn("healthy-evdo");
        settings_.Load();
        MainWindow::Options options;
        options.splash = false;
        options.startMinimized = true;
        options.prompt = &prompt_;
        window_ = std::make_unique<MainWindow>(settings_, options);
        QVERIFY(window_->Create());
        QTRY_VERIFY(window_->isMinimized());
        // The minimize button does the same later on; the worker goes on either way.
        window_->showNormal();
        QTRY_VERIFY(!window_->isMinimized());
        QTest::mouseClick(window_->Button(MainWindow::kMinimize), Qt::LeftButton);
        QVERIFY(window_->isMinimized());
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
    }

    void cardAsksForThePinAtStartUp() {
        StartStandIn("card-pin");
        prompt_.pins = {QStringLiteral("9999"), QStringLiteral("1234")};
        StartManager();
        // The wrong PIN closes the device; it is found again and the card asks once more.
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs * 2);
        int pinQuestions = 0;
        for (const PromptRecord& r : prompt_.Records()) {
            pinQuestions += r.kind == "pin" ? 1 : 0;
        }
        QCOMPARE(pinQuestions, 2);
        const std::vector<PromptRecord> messages = prompt_.Messages();
        QVERIFY(messages.size() >= 2);
        QVERIFY(messages[0].text.startsWith(QStringLiteral("Błąd: nieprawidłowy kod PIN.")));
        QCOMPARE(messages[0].caption, QStringLiteral("Niewłaściwy PIN"));
        QCOMPARE(messages[1].text, QStringLiteral("Kod poprawny"));
        QCOMPARE(messages[1].caption, QStringLiteral("Wykonano pomyślnie"));
        QCOMPARE(messages[1].icon, PromptIcon::None);
    }

    void connectDialsThePresetProfile() {
        StartStandIn("healthy-evdo");
        StartManager();
        StatusPanel* panel = window_->Panel();
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QStringList& texts = texts_;
        texts.clear();
        connect(window_.get(), &MainWindow::statusTextChanged, this,
                [this](const QString& t) { texts_ << t; });
        QTest::mouseClick(window_->Button(MainWindow::kConnect), Qt::LeftButton);
        // The window ignores input for a while so that the worker acts before the next click.
        QVERIFY(window_->InputBlocked());
        // This machine cannot bring PPP up: the dial ends with the service's error text.
        QTRY_VERIFY_WITH_TIMEOUT(!prompt_.Messages().empty(), kDialWaitMs);
        QVERIFY2(texts.indexOf(QStringLiteral("Łączenie… ")) >= 0,
                 qPrintable(texts.join(QStringLiteral(" | "))));
        const PromptRecord error = prompt_.Messages().front();
        QVERIFY2(error.text.startsWith(QStringLiteral("Error ")), qPrintable(error.text));
        QCOMPARE(error.caption, QStringLiteral("Połączenie"));
        QCOMPARE(error.icon, PromptIcon::Stop);
        // The dial really went out on the modem's AT port.
        const std::vector<std::string> commands = rig_.AtPort().Commands();
        QVERIFY(std::find(commands.begin(), commands.end(), "ATD#777") != commands.end());
        QTRY_VERIFY(!window_->InputBlocked());
        // The device is closed and found again.
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
    }

    // A stop signal runs the same shutdown as the close button: the quit requests, and the connection this
    // manager dialled is hung up when the service object goes. pppd is a stand-in script here (this kernel
    // has no PPP): it reports a link that came up and stays until it is told to terminate.
    void stopSignalQuitsInOrderAndHangsUp() {
        const QString dir = rig_.Dir();
        QVERIFY(UseLinkingPppd());

        StartStandIn("healthy-evdo");
        StopSignals stopSignals;
        QVERIFY(stopSignals.Installed());
        StartManager();
        connect(&stopSignals, &StopSignals::stopRequested, window_.get(),
                [this] { window_->StartClosing(); });
        bool finished = false;
        connect(window_.get(), &MainWindow::finished, this, [&finished] { finished = true; });
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTest::mouseClick(window_->Button(MainWindow::kConnect), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(dir + QStringLiteral("/pppd-up")) || !prompt_.Messages().empty(), kDialWaitMs);
        const std::vector<PromptRecord> dialMessages = prompt_.Messages();
        QVERIFY2(dialMessages.empty(),
                 qPrintable(dialMessages.empty() ? QString() : dialMessages.front().text));
        const size_t before = rig_.Sim().Requests().size();

        ::raise(SIGTERM);
        QTRY_COMPARE(window_->Panel()->StatusText(), QStringLiteral("Zamykanie… "));
        ::raise(SIGTERM);  // a second signal during the shutdown changes nothing
        QTRY_VERIFY_WITH_TIMEOUT(finished, 20000);
        QVERIFY(window_->IsShutDown());
        QVERIFY(!ProcessFlags::workerRunning.load());
        QVERIFY(QFile::exists(dir + QStringLiteral("/pppd-hungup")));
        QVERIFY(rig_.QuitRequestsSince(before));
        qunsetenv("VELMO_PPPD_PATH");
    }

    // The menu button opens the settings window on the information tab with what the worker read; Apply with
    // "Tylko 1xEvDO" writes the mode, takes the modem offline twice, resets it, and the device is found
    // again.
    void settingsWindowAppliesTheSystemOnTheStandIn() {
        StartStandIn("healthy-evdo");
        StartManager();
        StatusPanel* panel = window_->Panel();
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTest::mouseClick(window_->Button(MainWindow::kMenu), Qt::LeftButton);
        SettingsWindow* settings = window_->Settings();
        QTRY_VERIFY(settings->isVisible());
        QCOMPARE(settings->CurrentTab(), int(settings::kInformation));
        InformationPane* info = settings->Information();
        QCOMPARE(info->Value(settings::kNumberValue).size(), 13);  // "(619)555-0100"
        QCOMPARE(info->Value(settings::kEsnValue).size(), 8);
        QVERIFY(!info->Value(settings::kPrlValue).isEmpty());
        QVERIFY(!info->Value(settings::kSoftwareValue).isEmpty());
        QCOMPARE(info->Value(settings::kIdentityValue), QStringLiteral("VLM100 EV-DO USB modem"));

        texts_.clear();
        connect(window_.get(), &MainWindow::statusTextChanged, this,
                [this](const QString& t) { texts_ << t; });
        settings->SelectTab(settings::kGeneral);
        QTRY_VERIFY(!settings->Flows()->Busy());
        GeneralPane* general = settings->General();
        general->SystemList()->setCurrentIndex(0);
        emit general->SystemList()->activated(0);
        QVERIFY(settings->ApplyButton()->isEnabled());
        const size_t before = rig_.Sim().Requests().size();
        settings->ApplyButton()->click();
        QVERIFY(settings->Flows()->Busy());
        QTRY_VERIFY_WITH_TIMEOUT(!settings->Flows()->Busy(), 30000);
        QVERIFY(!settings->ApplyButton()->isEnabled());
        // On the wire: the NV write of the preferred mode (item 10, value 10), then offline, offline, reset.
        std::vector<std::string> seen;
        const auto requests = rig_.Sim().Requests();
        for (size_t i = before; i < requests.size(); ++i) {
            const auto& p = requests[i].packet;
            if (p.size() >= 5 && p[0] == 0x27 && p[1] == 10 && p[2] == 0) {
                seen.push_back("mode " + std::to_string(p[4]));
            } else if (p.size() >= 2 && p[0] == 0x29) {
                seen.push_back(p[1] == 1 ? "offline" : p[1] == 2 ? "reset" : "mode change");
            }
        }
        QCOMPARE(seen, (std::vector<std::string>{"mode 10", "offline", "offline", "reset"}));
        // The worker closed the device and found it again.
        QTRY_VERIFY_WITH_TIMEOUT(texts_.contains(QStringLiteral("Urządzenie niedostępne")), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        CSettings stored;
        stored.Load();
        QCOMPARE(stored.Loaded().prefMode, 0u);
        QVERIFY(prompt_.Messages().empty());
    }

    // "55555555" on the information tab runs the SPC gate: a wrong code is refused, 000000 lets the user
    // through and is not asked again; "88888888" opens the advanced status window.
    void hiddenKeySequencesOnTheStandIn() {
        StartStandIn("healthy-evdo");
        StartManager();
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTest::mouseClick(window_->Button(MainWindow::kMenu), Qt::LeftButton);
        SettingsWindow* settings = window_->Settings();
        QVERIFY(QTest::qWaitForWindowActive(settings));
        const auto type = [settings](const QString& keys) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClicks(focus != nullptr && focus->window() == settings ? focus : settings, keys);
        };
        int allowed = 0;
        connect(window_.get(), &MainWindow::advancedConfigurationAllowed, this, [&allowed] { ++allowed; });
        prompt_.spcs = {QStringLiteral("123456"), QStringLiteral("000000")};
        // The window ignores input while its flows read the options and the profiles.
        QTRY_VERIFY(!settings->Flows()->Busy());
        type(QStringLiteral("55555555"));
        QTRY_COMPARE(prompt_.Messages().size(), size_t(1));
        QCOMPARE(prompt_.Messages()[0].text, QStringLiteral("Błędny kod SPC"));
        QCOMPARE(prompt_.Messages()[0].icon, PromptIcon::Stop);
        QCOMPARE(allowed, 0);
        type(QStringLiteral("55555555"));
        QTRY_COMPARE(allowed, 1);
        type(QStringLiteral("55555555"));
        QTRY_COMPARE(allowed, 2);
        int asked = 0;
        for (const PromptRecord& r : prompt_.Records()) {
            asked += r.kind == "spc" ? 1 : 0;
        }
        QCOMPARE(asked, 2);

        // The passed gate opened the advanced configuration window, read from the stand-in; a second pass
        // only showed it again.
        programming::AdvancedConfigWindow* config = window_->AdvancedConfiguration();
        QVERIFY(config != nullptr);
        const auto edit = [config](int id) { return qobject_cast<QLineEdit*>(config->Control(id))->text(); };
        QTRY_COMPARE_WITH_TIMEOUT(edit(1025), QStringLiteral("8F3A2C11"), kReadyWaitMs);
        QTRY_VERIFY(!config->Flows()->Busy());
        QCOMPARE(edit(1048), QStringLiteral("4139"));
        // A backup lands in the state folder.
        prompt_.Clear();
        QTest::mouseClick(config->Button(programming::kBackup), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(prompt_.Messages().size(), size_t(1), kReadyWaitMs);
        QCOMPARE(prompt_.Messages()[0].icon, PromptIcon::Information);
        QVERIFY(prompt_.Messages()[0].text.contains(qEnvironmentVariable("XDG_STATE_HOME")));
        // The port closed and opened again: the SPC is asked once more, and writing back is allowed after it.
        QTest::mouseClick(config->Button(programming::kClosePort), Qt::LeftButton);
        QTRY_VERIFY(!config->PortText().isEmpty());
        QVERIFY(!config->Button(programming::kRefresh)->isEnabled());
        prompt_.spcs = {QStringLiteral("000000")};
        QTest::mouseClick(config->Button(programming::kOpenPort), Qt::LeftButton);
        QTRY_VERIFY(config->PortText().isEmpty());
        QTRY_VERIFY(config->Button(programming::kRestore)->isEnabled());
        QVERIFY(prompt_.spcs.empty());
        type(QStringLiteral("88888888"));
        QTRY_VERIFY(window_->AdvancedStatus() != nullptr);
    }

    // The RUIM tab on a card build: the PIN request off and on again, and the PIN changed, as the stand-in's
    // card sees them.
    void ruimTabSwitchesTheRequestAndChangesThePin() {
        StartStandIn("card-pin");
        prompt_.pins = {QStringLiteral("1234"), QStringLiteral("1234"), QStringLiteral("1234")};
        StartManager();
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTest::mouseClick(window_->Button(MainWindow::kMenu), Qt::LeftButton);
        SettingsWindow* settings = window_->Settings();
        QTRY_VERIFY(!settings->Flows()->Busy());
        settings->SelectTab(settings::kRuim);
        auto* ruim = static_cast<RuimPane*>(settings->Pane(settings::kRuim));
        // The card asked for its PIN at start-up: "Włączone", both buttons usable.
        QVERIFY(ruim->OnButton()->isChecked());
        QVERIFY(ruim->ApplyRequestButton()->isEnabled());
        QCOMPARE(rig_.Sim().State().pinEnabled, uint8_t(1));

        QTest::mouseClick(ruim->OffButton(), Qt::LeftButton);
        QVERIFY(ruim->OffButton()->isChecked() && !ruim->OnButton()->isChecked());
        ruim->ApplyRequestButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!settings->Flows()->Busy(), 10000);
        QCOMPARE(rig_.Sim().State().pinEnabled, uint8_t(0));
        QCOMPARE(prompt_.Messages().back().text, QStringLiteral("Żądanie kodu PIN wyłączone"));

        QTest::mouseClick(ruim->OnButton(), Qt::LeftButton);
        ruim->ApplyRequestButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!settings->Flows()->Busy(), 10000);
        QCOMPARE(rig_.Sim().State().pinEnabled, uint8_t(1));
        QCOMPARE(prompt_.Messages().back().text, QStringLiteral("Żądanie kodu PIN włączone"));

        QTest::keyClicks(ruim->OldPin(), QStringLiteral("1234"));
        QTest::keyClicks(ruim->NewPin(), QStringLiteral("2468x"));  // digits only
        QTest::keyClicks(ruim->ConfirmPin(), QStringLiteral("2468"));
        ruim->ApplyChangeButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!settings->Flows()->Busy(), 10000);
        QCOMPARE(prompt_.Messages().back().text, QStringLiteral("Kod PIN został zmieniony"));
        QCOMPARE(rig_.Sim().State().pin, std::string("2468"));
        QVERIFY(ruim->OldPin()->text().isEmpty() && ruim->ConfirmPin()->text().isEmpty());
    }

    // The advanced configuration on the stand-in: unlocked, MIN written after a backup, and a roaming list
    // downloaded with progress while a close request waits for it.
    void advancedConfigurationWritesAndDownloadsOnTheStandIn() {
        StartStandIn("healthy-evdo");
        StartManager();
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        window_->ShowAdvancedConfiguration();
        programming::AdvancedConfigWindow* config = window_->AdvancedConfiguration();
        QTRY_VERIFY_WITH_TIMEOUT(!config->Flows()->Busy(), kReadyWaitMs);
        const auto edit = [config](int id) { return qobject_cast<QLineEdit*>(config->Control(id)); };
        edit(programming::kSpcEdit)->setText(QStringLiteral("000000"));
        config->Button(programming::kUnlock)->click();
        QTRY_VERIFY_WITH_TIMEOUT(config->Button(1054)->isEnabled(), 10000);

        edit(1026)->setText(QStringLiteral("6195550123"));
        prompt_.Clear();
        config->Button(1054)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!config->Flows()->Busy(), 10000);
        // The backup was on disk before the write, and said so.
        const QDir backups(qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/velmo/backups"));
        QCOMPARE(backups.entryList(QDir::Files).size(), 1);
        QCOMPARE(prompt_.Messages().size(), size_t(1));
        std::string min;
        QVERIFY(velmo::sim::GetStateField(rig_.Sim().State(), "min", &min));
        QCOMPARE(QString::fromStdString(min), QStringLiteral("6195550123"));

        const std::vector<uint8_t> list = velmo::sim::MakePrl(4321, 16000);
        QFile file(rig_.Dir() + QStringLiteral("/list.prl"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(list.data()), static_cast<qint64>(list.size()));
        file.close();
        edit(programming::kPrlPathEdit)->setText(file.fileName());
        // Blocks answered slowly, so that the close request comes in the middle of the list.
        rig_.Sim().SetFault({velmo::sim::FaultMode::Slow, 0x48, 20});
        config->Button(programming::kPrlDownload)->click();
        QTRY_VERIFY(config->Progress() != nullptr && config->ProgressUpdates() > 1);
        window_->StartClosing();
        QCOMPARE(window_->Panel()->StatusText(),
                 QStringLiteral("Zamykanie po zakończeniu ładowania listy PRL… "));
        QTRY_VERIFY_WITH_TIMEOUT(window_->IsShutDown(), 60000);
        QVERIFY(rig_.Sim().State().prl == list);
    }

    // "RF Monitor" opens the RF graph; with "Start" it follows the stand-in's stream at 50 Hz.
    // A message delivered to the stand-in: the desktop notice and the in-box; opened and marked read,
    // answered with a copy kept in the out-box, saved, and deleted.
    void aDeliveredMessageIsNoticedReadAnsweredSavedAndDeleted() {
        QDBusConnection serverBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("velmo-test-notices"));
        auto server = std::make_unique<velmo::manager::test::CFakeNotificationServer>(serverBus);
        QVERIFY(server->Registered());
        StartStandIn("healthy-evdo");
        StartManager();
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        SettingsWindow* settings = window_->Settings();
        SmsPane* pane = settings->Messages();
        pane->SetDialogPrompt(std::shared_ptr<IUserPrompt>(&prompt_, [](IUserPrompt*) {}));
        settings->Open();
        settings->SelectTab(settings::kMessages);
        QTRY_VERIFY_WITH_TIMEOUT(pane->State().loaded && !pane->Progress()->isVisible(), 10000);
        QCOMPARE(pane->List()->topLevelItemCount(), 0);

        std::vector<uint8_t> report;
        std::string error;
        QVERIFY(rig_.Sim().UpdateState(
            [&](velmo::sim::DeviceState& s, std::string* why) {
                return velmo::sim::DeliverSms(s, "5551234567", "Dzień dobry <b>", &report, why);
            },
            &error));
        rig_.Sim().SendUnsolicited(report);
        QTRY_COMPARE_WITH_TIMEOUT(int(server->Calls().size()), 1, 10000);
        QCOMPARE(server->Calls()[0].summary, QStringLiteral("Nowa wiadomość"));
        QCOMPARE(server->Calls()[0].body, QStringLiteral("5551234567\nDzień dobry &lt;b&gt;"));
        QTRY_COMPARE_WITH_TIMEOUT(pane->List()->topLevelItemCount(), 1, 10000);
        QTreeWidget* list = pane->List();
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("Not Read"));
        QCOMPARE(list->topLevelItem(0)->text(5), QStringLiteral("Dzień dobry <b>"));

        // Opened, then closed: marked read in the modem.
        list->setCurrentItem(list->topLevelItem(0));
        emit list->itemActivated(list->topLevelItem(0), 0);
        QVERIFY(pane->Viewer() != nullptr);
        QSignalSpy shown(pane, &SmsPane::boxShown);
        // "SAVE": a copy in the saved box.
        pane->Viewer()->SaveButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!prompt_.Messages().empty(), 10000);
        QCOMPARE(prompt_.Messages().back().text, QStringLiteral("Msg Saved"));
        pane->Viewer()->accept();
        QVERIFY(shown.wait(10000));
        QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("Read"));
        const auto held = [this](velmo::sms::Box box) {
            const velmo::sim::DeviceState state = rig_.Sim().State();
            const auto& records = state.smsBoxes[static_cast<size_t>(box)];
            std::vector<velmo::sms::Message> out;
            for (size_t at = 0; at + velmo::sms::kRecordSize <= records.size();
                 at += velmo::sms::kRecordSize) {
                out.push_back(velmo::sms::Decode(std::span(records).subspan(at, velmo::sms::kRecordSize)));
            }
            return out;
        };
        QCOMPARE(held(velmo::sms::Box::InBox).at(0).readStatus, velmo::sms::kRead);
        QCOMPARE(held(velmo::sms::Box::SavedBox).size(), size_t(1));

        // Reply: the compose dialog addressed to the sender; sent with a copy in the out-box.
        list->setCurrentItem(list->topLevelItem(0));
        pane->Button(smspane::kReply)->click();
        QTRY_VERIFY_WITH_TIMEOUT(pane->Compose() != nullptr, 10000);
        SmsComposeDialog* compose = pane->Compose();
        QCOMPARE(compose->Destination()->text(), QStringLiteral("5551234567"));
        QVERIFY(!compose->OwnNumber()->text().isEmpty());
        compose->MessageEdit()->setPlainText(QStringLiteral("Dzień dobry, dziękuję 😀"));
        compose->SendSaveButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(prompt_.Messages().back().text, QStringLiteral("SMS Sent and Saved"),
                                  10000);
        compose->reject();
        const std::vector<velmo::sms::Message> out = held(velmo::sms::Box::OutBox);
        QCOMPARE(out.size(), size_t(1));
        QCOMPARE(out[0].number, std::string("5551234567"));
        QVERIFY(out[0].text == u"Dzień dobry, dziękuję 😀");

        // Deleted from the in-box.
        list->setCurrentItem(list->topLevelItem(0));
        pane->Button(smspane::kDelete)->click();
        QVERIFY(shown.wait(10000));
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(held(velmo::sms::Box::InBox).empty());
        QCOMPARE(int(server->Calls().size()), 1);
        server.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("velmo-test-notices"));
    }

    // Other programs on the session bus: the properties follow the modem and announce their changes, Connect
    // and Disconnect act as the buttons do or say why not, a box is listed, and the connection made and
    // ended reaches the desktop as one notice (the ending was asked for, so it is no "lost" notice).
    void theBusFollowsTheModemAndConnectsAsTheButtonDoes() {
        QDBusConnection serverBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("velmo-test-notices"));
        auto server = std::make_unique<velmo::manager::test::CFakeNotificationServer>(serverBus);
        QVERIFY(server->Registered());
        QDBusConnection client =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("velmo-test-client"));
        QVERIFY(client.connect(QLatin1String(kBusService), QLatin1String(kBusPath),
                               QStringLiteral("org.freedesktop.DBus.Properties"),
                               QStringLiteral("PropertiesChanged"), this,
                               SLOT(OnPropertiesChanged(QString, QVariantMap, QStringList))));
        changes_.clear();
        QVERIFY(UseLinkingPppd());
        StartStandIn("healthy-evdo");
        StartManager();
        QVERIFY(window_->Bus() != nullptr);
        // Another window has the user's attention, so that notices are shown.
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);

        // No modem yet: refused with the reason.
        QDBusMessage reply = CallBus(client, QStringLiteral("Connect"));
        QCOMPARE(reply.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(reply.errorName(), QStringLiteral("com.brivanta.VelmoManager.Error.NoModem"));

        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTRY_COMPARE(BusProperty(client, "ConnectionState").toInt(), int(kConnReady));
        QCOMPARE(BusProperty(client, "StatusText").toString(), QStringLiteral("Gotowy"));
        QCOMPARE(BusProperty(client, "NetworkType").toString(), QStringLiteral("EV-DO"));
        QCOMPARE(BusProperty(client, "Esn").toString(),
                 QStringLiteral("%1").arg(rig_.Sim().State().esn, 8, 16, QLatin1Char('0')).toUpper());
        QVERIFY(BusProperty(client, "SignalEvdoDbm").toInt() < 0);
        QCOMPARE(BusProperty(client, "LinkType").toInt(), 1);
        QTRY_VERIFY(std::any_of(changes_.begin(), changes_.end(), [](const QVariantMap& c) {
            return c.value(QStringLiteral("StatusText")).toString() == QStringLiteral("Gotowy");
        }));
        reply = CallBus(client, QStringLiteral("Disconnect"));
        QCOMPARE(reply.errorName(), QStringLiteral("com.brivanta.VelmoManager.Error.NotConnected"));

        // A message in the in-box, listed for another program.
        std::vector<uint8_t> report;
        std::string error;
        QVERIFY(rig_.Sim().UpdateState(
            [&](velmo::sim::DeviceState& s, std::string* why) {
                return velmo::sim::DeliverSms(s, "5551234567", "Dzień dobry", &report, why);
            },
            &error));
        reply = CallBus(client, QStringLiteral("ListMessages"), {QStringLiteral("InBox")});
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        const auto messages = qdbus_cast<QList<QVariantMap>>(reply.arguments().value(0));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].value(QStringLiteral("number")).toString(), QStringLiteral("5551234567"));
        QCOMPARE(messages[0].value(QStringLiteral("text")).toString(), QStringLiteral("Dzień dobry"));
        QCOMPARE(messages[0].value(QStringLiteral("status")).toString(), QStringLiteral("Not Read"));
        reply = CallBus(client, QStringLiteral("ListMessages"), {QStringLiteral("Trash")});
        QCOMPARE(reply.errorName(), QStringLiteral("com.brivanta.VelmoManager.Error.UnknownBox"));

        // Connect answers at once and dials the preset profile; the window takes input meanwhile. The modem
        // then carries the call (the stand-in is told so, as the network would).
        const auto dial = [&] {
            QFile::remove(rig_.Dir() + QStringLiteral("/pppd-up"));
            const QDBusMessage r = CallBus(client, QStringLiteral("Connect"));
            QVERIFY2(r.type() == QDBusMessage::ReplyMessage, qPrintable(r.errorMessage()));
            QVERIFY(!window_->InputBlocked());
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(rig_.Dir() + QStringLiteral("/pppd-up")), kDialWaitMs);
            std::string why;
            QVERIFY(rig_.Sim().SetField("traffic", "1", &why));
            QTRY_COMPARE_WITH_TIMEOUT(BusProperty(client, "ConnectionState").toInt(), int(kConnConnected),
                                      kReadyWaitMs);
        };
        dial();
        QTRY_COMPARE(NoticeSummaries(*server), QStringList{QStringLiteral("Połączono")});
        QTRY_VERIFY(window_->Tray()->DisconnectAction()->isEnabled());
        QVERIFY(!window_->Tray()->ConnectAction()->isEnabled());
        reply = CallBus(client, QStringLiteral("Connect"));
        QCOMPARE(reply.errorName(), QStringLiteral("com.brivanta.VelmoManager.Error.AlreadyConnected"));

        // Ended on request: hung up, and no notice of a lost connection.
        reply = CallBus(client, QStringLiteral("Disconnect"));
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(rig_.Dir() + QStringLiteral("/pppd-hungup")), kDialWaitMs);
        std::string why;
        QVERIFY(rig_.Sim().SetField("traffic", "0", &why));
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);

        // The traffic ends without anyone asking: the connection is lost.
        dial();
        QVERIFY(rig_.Sim().SetField("traffic", "0", &why));
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTRY_COMPARE(NoticeSummaries(*server),
                     (QStringList{QStringLiteral("Połączono"), QStringLiteral("Połączono"),
                                  QStringLiteral("Połączenie przerwane")}));
        qunsetenv("VELMO_PPPD_PATH");
        window_.reset();
        server.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("velmo-test-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("velmo-test-notices"));
    }

    // Switched on, a connection that drops is dialled again after 5 s, with no box of its own.
    void aDroppedConnectionIsDialledAgain() {
        QVERIFY(PrepareSettingsFile());
        DesktopOptions options;
        options.reconnect = true;
        options.Save();
        QVERIFY(UseLinkingPppd());
        StartStandIn("healthy-evdo");
        StartManager();
        QVERIFY(window_->Desktop().reconnect);
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        const QString dir = rig_.Dir();
        ConnectWithTheButton();
        if (QTest::currentTestFailed()) {
            return;
        }
        std::string why;

        // The modem hangs up: the link goes, the traffic ends.
        QFile::remove(dir + QStringLiteral("/pppd-up"));
        QFile drop(dir + QStringLiteral("/pppd-drop"));
        QVERIFY(drop.open(QIODevice::WriteOnly));
        drop.close();
        QVERIFY(rig_.Sim().SetField("traffic", "0", &why));
        QElapsedTimer sinceDrop;
        sinceDrop.start();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + QStringLiteral("/pppd-up")), kDialWaitMs);
        QVERIFY2(sinceDrop.elapsed() >= 4000, qPrintable(QString::number(sinceDrop.elapsed())));
        QVERIFY(rig_.Sim().SetField("traffic", "1", &why));
        QTRY_COMPARE_WITH_TIMEOUT(window_->Context().connectionState.load(), int32_t(kConnConnected),
                                  kReadyWaitMs);
        const std::vector<std::string> commands = rig_.AtPort().Commands();
        QCOMPARE(std::count(commands.begin(), commands.end(), "ATD#777"), 2);
        // The hang-up itself is the service's error; the automatic dial adds none.
        const std::vector<PromptRecord> messages = prompt_.Messages();
        QCOMPARE(messages.size(), size_t(1));
        QVERIFY2(messages[0].text.startsWith(QStringLiteral("Error 619")), qPrintable(messages[0].text));
        qunsetenv("VELMO_PPPD_PATH");
    }

    // What our call moves, as the interface's counters give it: in the tooltip and on the "Pulpit" tab while
    // the call is up, in the day file once it ends. The counters come from a statistics folder of our own.
    void theCountersOfOurCallReachTheTooltipTheTabAndTheDayFile() {
        const QString dir = rig_.Dir();
        const QString stats = dir + QStringLiteral("/sys/ppp0/statistics");
        QVERIFY(QDir().mkpath(stats));
        const auto counters = [&](qint64 rx, qint64 tx) {
            for (const auto& [name, value] : {std::pair{"rx_bytes", rx},
                                              {"tx_bytes", tx},
                                              {"rx_packets", rx / 1000},
                                              {"tx_packets", tx / 1000}}) {
                QFile file(stats + QLatin1Char('/') + QLatin1String(name));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(QByteArray::number(value) + '\n');
            }
        };
        counters(0, 0);  // the link's interface counts from zero
        qputenv("VELMO_SYSFS_NET_DIR", (dir + QStringLiteral("/sys")).toUtf8());
        const QByteArray stateHome = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", dir.toUtf8());
        QVERIFY(UseLinkingPppd());
        StartStandIn("healthy-evdo");
        StartManager();
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        ConnectWithTheButton();
        if (QTest::currentTestFailed()) {
            return;
        }
        std::string why;
        counters(2500000, 300000);
        QTRY_VERIFY_WITH_TIMEOUT(
            window_->Snapshot().traffic && window_->Snapshot().traffic->bytesReceived == 2500000,
            kReadyWaitMs);
        const TrafficCounts now = *window_->Snapshot().traffic;
        QCOMPARE(now.bytesSent, uint64_t(300000));
        QCOMPARE(now.packetsReceived, uint64_t(2500));
        const int64_t started = window_->Context().connectionStart.load();
        QVERIFY(started > 0 && std::abs(std::time(nullptr) - started) < 60);
        QTRY_VERIFY(window_->Tray()->ToolTip().contains(TrafficLine(now)));

        window_->Settings()->Open();
        window_->Settings()->SelectTab(settings::kDesktop);
        DesktopPane* pane = window_->Settings()->Desktop();
        QTRY_VERIFY(pane->TrafficNow()->text().contains(FormatBytes(2500000)));
        QTRY_COMPARE(pane->TrafficTable()->rowCount(), 2);  // today and the total
        QCOMPARE(pane->TrafficTable()->item(0, 1)->text(), FormatBytes(2500000));
        QCOMPARE(pane->TrafficTable()->item(1, 0)->text(), QStringLiteral("Razem"));
        window_->Settings()->close();
        QTRY_VERIFY(window_->isVisible() && !window_->InputBlocked());

        QTest::mouseClick(window_->Button(MainWindow::kDisconnect), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + QStringLiteral("/pppd-hungup")), kDialWaitMs);
        QVERIFY(rig_.Sim().SetField("traffic", "0", &why));
        QTRY_VERIFY_WITH_TIMEOUT(!window_->Snapshot().traffic, kReadyWaitMs);
        // The file is written when the call ends.
        const auto firstDay = [&] {
            QFile file(dir + QStringLiteral("/velmo/traffic.json"));
            return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll())
                                                        .object()
                                                        .value(QStringLiteral("days"))
                                                        .toArray()
                                                        .at(0)
                                                        .toObject()
                                                  : QJsonObject();
        };
        QTRY_COMPARE(firstDay().value(QStringLiteral("bytesReceived")).toInteger(), qint64(2500000));
        const QJsonObject day = firstDay();
        QCOMPARE(day.value(QStringLiteral("date")).toString(), QDate::currentDate().toString(Qt::ISODate));
        QCOMPARE(day.value(QStringLiteral("bytesReceived")).toInteger(), qint64(2500000));
        QCOMPARE(day.value(QStringLiteral("bytesSent")).toInteger(), qint64(300000));
        QVERIFY(day.value(QStringLiteral("connectedMs")).toInteger() > 0);
        qunsetenv("VELMO_PPPD_PATH");
        qunsetenv("VELMO_SYSFS_NET_DIR");
        qputenv("XDG_STATE_HOME", stateHome);
    }

    // The card asking for its PIN, a dial error and a low battery reach the desktop, each once.
    void theCardADialErrorAndALowBatteryReachTheDesktop() {
        QDBusConnection serverBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("velmo-test-notices"));
        auto server = std::make_unique<velmo::manager::test::CFakeNotificationServer>(serverBus);
        QVERIFY(server->Registered());
        StartStandIn("card-pin");
        prompt_.pins = {QStringLiteral("1234")};
        StartManager();
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &elsewhere);
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        QTRY_COMPARE(NoticeSummaries(*server), QStringList{QStringLiteral("Karta RUIM prosi o kod PIN")});

        // This machine cannot bring PPP up: the dial ends with the service's error text.
        QTest::mouseClick(window_->Button(MainWindow::kConnect), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(server->Calls().size(), qsizetype(2), kDialWaitMs);
        QCOMPARE(server->Calls()[1].summary, QStringLiteral("Błąd połączenia"));
        QVERIFY2(server->Calls()[1].body.startsWith(QStringLiteral("Error ")),
                 qPrintable(server->Calls()[1].body));
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);

        std::string error;
        QVERIFY(rig_.Sim().SetField("battery_state", "2", &error));
        QVERIFY(rig_.Sim().SetField("battery_percent", "15", &error));
        QTRY_COMPARE_WITH_TIMEOUT(server->Calls().size(), qsizetype(3), 10000);
        QCOMPARE(server->Calls()[2].summary, QStringLiteral("Niski poziom baterii"));
        QCOMPARE(server->Calls()[2].body, QStringLiteral("Bateria modemu: 15 %."));
        QTest::qWait(1500);
        QCOMPARE(server->Calls().size(), qsizetype(3));
        window_.reset();
        server.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("velmo-test-notices"));
    }

    void rfGraphFollowsTheStandInsStream() {
        StartStandIn("healthy-evdo");
        std::string error;
        QVERIFY(rig_.Sim().SetField("log_rate_hz", "50", &error));
        StartManager();
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
        window_->ShowAdvancedStatus();
        QTest::mouseClick(window_->AdvancedStatus()->RfMonitorButton(), Qt::LeftButton);
        RfGraphWindow* graph = window_->RfGraph();
        QVERIFY(graph != nullptr);
        QCOMPARE(graph->windowTitle(), QStringLiteral(" EvDO RF Signal Graph"));
        QTest::mouseClick(graph->StartButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(graph->Samples() >= 25, 10000);
        QVERIFY(graph->PowerGraph()->Data().Count(0) >= 25);
        QVERIFY(!graph->ValueText(1118).isEmpty());
        QVERIFY(!graph->ValueText(1105).isEmpty());
        QCOMPARE(graph->StartButton()->text(), QStringLiteral("Stop"));
        // Stopped, the graph stands still.
        QTest::mouseClick(graph->StartButton(), Qt::LeftButton);
        QTest::qWait(100);
        const int stopped = graph->Samples();
        QTest::qWait(300);
        QCOMPARE(graph->Samples(), stopped);
        graph->close();
        QTRY_VERIFY(window_->RfGraph() == nullptr);
    }

  private:
    static int VisibleNoticeWindows() {
        int n = 0;
        for (QWidget* w : QApplication::allWidgets()) {
            n += qobject_cast<NoticeWindow*>(w) != nullptr && w->isVisible() ? 1 : 0;
        }
        return n;
    }

  public slots:
    void OnPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
        if (interface == QLatin1String(kBusInterface)) {
            changes_.append(changed);
        }
    }

  private:
    // The connect button on a ready modem, the linking pppd's link up, the modem carrying the call.
    void ConnectWithTheButton() {
        QTest::mouseClick(window_->Button(MainWindow::kConnect), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(rig_.Dir() + QStringLiteral("/pppd-up")), kDialWaitMs);
        std::string why;
        QVERIFY(rig_.Sim().SetField("traffic", "1", &why));
        QTRY_COMPARE_WITH_TIMEOUT(window_->Context().connectionState.load(), int32_t(kConnConnected),
                                  kReadyWaitMs);
    }

    // pppd is a stand-in script here (this kernel has no PPP): it reports a link that came up and stays until
    // it is told to terminate, or until the file pppd-drop appears (the modem hung up).
    bool UseLinkingPppd() {
        const QString dir = rig_.Dir();
        QFile script(dir + QStringLiteral("/pppd"));
        if (!script.open(QIODevice::WriteOnly)) {
            return false;
        }
        script.write(
            QStringLiteral("#!/bin/sh\n"
                           "cat <&3 >/dev/null\n"
                           "trap 'echo \"Terminating on signal 15\"; touch %1/pppd-hungup; exit 5' TERM\n"
                           "printf '%s\\n' 'Serial connection established.' 'Using interface ppp0' "
                           "'Connect: ppp0 <--> /dev/ttyUSB1' 'local  IP address 10.64.64.65' "
                           "'remote IP address 10.112.112.112'\n"
                           "touch %1/pppd-up\n"
                           "while [ ! -e %1/pppd-drop ]; do sleep 0.05; done\n"
                           "rm -f %1/pppd-drop\n"
                           "echo 'Modem hangup'; echo 'Connection terminated.'; exit 16\n")
                .arg(dir)
                .toUtf8());
        script.close();
        qputenv("VELMO_PPPD_PATH", (dir + QStringLiteral("/pppd")).toUtf8());
        return script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A call to the manager's object from another connection, waited for with the event loop running (the
    // object answers on this thread).
    static QDBusMessage CallBus(QDBusConnection& client, const QString& method, const QVariantList& args = {},
                                const char* interface = kBusInterface) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(kBusService), QLatin1String(kBusPath), QLatin1String(interface), method);
        call.setArguments(args);
        QDBusPendingCall pending = client.asyncCall(call, 30000);
        QElapsedTimer timer;
        timer.start();
        while (!pending.isFinished() && timer.elapsed() < 30000) {
            QTest::qWait(10);
        }
        return pending.reply();
    }
    static QVariant BusProperty(QDBusConnection& client, const char* name) {
        const QDBusMessage reply =
            CallBus(client, QStringLiteral("Get"), {QLatin1String(kBusInterface), QLatin1String(name)},
                    "org.freedesktop.DBus.Properties");
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QStringList NoticeSummaries(const velmo::manager::test::CFakeNotificationServer& server) const {
        QStringList out;
        for (const auto& call : server.Calls()) {
            out << call.summary;
        }
        return out;
    }

    void StartStandIn(const std::string& scenario) {
        const std::string error = rig_.Start(scenario);
        QVERIFY2(error.empty(), error.c_str());
    }

    void StartManager() {
        settings_.Load();
        MainWindow::Options options;
        options.splash = false;
        options.prompt = &prompt_;
        window_ = std::make_unique<MainWindow>(settings_, options);
        QVERIFY(window_->Create());
    }

    velmo::manager::test::StandInRig rig_;
    CSettings settings_;
    RecordingPrompt prompt_;
    std::unique_ptr<MainWindow> window_;
    QStringList texts_;
    QList<QVariantMap> changes_;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
