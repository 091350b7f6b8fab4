// The main window on the real library and the stand-in over a pty, with the worker running in real time:
// what a user sees at start-up, the card's PIN question, a connect through the dial-up service and the
// orderly close. Message boxes and card dialogs are answered by a responder that also records them.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "manager/app/MainWindow.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "manager/screens/AdvancedStatusDialog.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/NoticeWindow.h"
#include "manager/screens/PinEntryDialog.h"
#include "manager/screens/StatusPanel.h"
#include "simulator/ModemSimulator.h"

using namespace velmo::manager;

namespace {

constexpr int kReadyWaitMs = 30000;
constexpr int kDialWaitMs = 60000;

struct Shown {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers whatever modal window is up: card dialogs with the next scripted code, message boxes with OK.
class Responder : public QObject {
  public:
    Responder() {
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(20);
    }
    QStringList pins;  // one per PIN question; an empty entry leaves with "Exit"
    int pinQuestions = 0;
    QList<Shown> messages;

  private:
    void Poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (auto* pin = qobject_cast<PinEntryDialog*>(modal)) {
            const QString code = pinQuestions < pins.size() ? pins[pinQuestions] : QString();
            ++pinQuestions;
            if (code.isEmpty()) {
                pin->ExitButton()->click();
            } else {
                pin->PinEdit()->setText(code);
                pin->OkButton()->click();
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.append({box->text(), box->windowTitle(), box->icon()});
            box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click() : box->reject();
        }
    }
    QTimer timer_;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        const QByteArray base = dir_->path().toUtf8();
        qputenv("XDG_CONFIG_HOME", base + "/config");
        qputenv("VELMO_PORTS_DIR", base + "/ports");
        qputenv("VELMO_PHONEBOOK_DIR", base + "/phonebook");
        qputenv("VELMO_DIALUP_RUNTIME_DIR", base + "/dialup");
        qputenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1");
    }

    void cleanup() {
        window_.reset();
        sim_.reset();
        dir_.reset();
    }

    void startsFindsTheModemAndClosesInOrder() {
        StartStandIn("healthy-evdo");
        Responder responder;
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
        QVERIFY(responder.messages.isEmpty());

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
        const size_t before = sim_->Requests().size();
        QTest::mouseClick(window_->Button(MainWindow::kClose), Qt::LeftButton);
        QCOMPARE(panel->StatusText(), QStringLiteral("Zamykanie… "));
        // A second press, and the system close, change nothing.
        QTest::mouseClick(window_->Button(MainWindow::kClose), Qt::LeftButton);
        QVERIFY(!window_->close());
        QVERIFY(window_->isVisible() || finished);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 10000);
        QVERIFY(window_->IsShutDown());
        QVERIFY(!ProcessFlags::workerRunning.load());
        bool quit5 = false;
        bool quit16 = false;
        const auto requests = sim_->Requests();
        for (size_t i = before; i < requests.size(); ++i) {
            const auto& p = requests[i].packet;
            quit5 = quit5 || (p.size() >= 3 && p[0] == 0x3C && p[2] == 5);
            quit16 = quit16 || (p.size() >= 3 && p[0] == 0x3C && p[2] == 16);
        }
        QVERIFY(quit5);
        QVERIFY(quit16);
    }

    void trafficMadeElsewhereShowsConnectedAndBlinks() {
        StartStandIn("data-call");
        Responder responder;
        StartManager();
        StatusPanel* panel = window_->Panel();
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Połączono"), kReadyWaitMs);
        QTRY_VERIFY(window_->Button(MainWindow::kDisconnect)->isVisible());
        QVERIFY(!window_->Button(MainWindow::kConnect)->isVisible());
        // The traffic indicator blinks with the 500 ms timer while data flows.
        QTRY_VERIFY_WITH_TIMEOUT(panel->TrafficIndicator(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!panel->TrafficIndicator(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(panel->TrafficIndicator(), 3000);
        QVERIFY(responder.messages.isEmpty());
    }

    void noticesReachThePanelAndTheNoticeWindow() {
        StartStandIn("low-battery");
        Responder responder;
        StartManager();
        StatusPanel* panel = window_->Panel();
        // The low-battery notice takes the text's place in red for a second, then a blank second.
        QTRY_COMPARE_WITH_TIMEOUT(panel->ShownText(), QStringLiteral("Niski poziom baterii"), kReadyWaitMs);
        QCOMPARE(panel->ShownTextColour(), QColor(255, 0, 0));
        QTRY_VERIFY_WITH_TIMEOUT(panel->ShownText() != QStringLiteral("Niski poziom baterii"), 3000);
        // Voice mail: its icon, notice window B once, and the notice line in yellow.
        std::string error;
        QVERIFY2(sim_->SetField("notices", "2", &error), error.c_str());
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
        Responder responder;
        responder.pins = {QStringLiteral("9999"), QStringLiteral("1234")};
        StartManager();
        // The wrong PIN closes the device; it is found again and the card asks once more.
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs * 2);
        QCOMPARE(responder.pinQuestions, 2);
        QVERIFY(responder.messages.size() >= 2);
        QVERIFY(responder.messages[0].text.startsWith(QStringLiteral("Błąd: nieprawidłowy kod PIN.")));
        QCOMPARE(responder.messages[0].caption, QStringLiteral("Niewłaściwy PIN"));
        QCOMPARE(responder.messages[1].text, QStringLiteral("Kod poprawny"));
        QCOMPARE(responder.messages[1].caption, QStringLiteral("Wykonano pomyślnie"));
        QCOMPARE(responder.messages[1].icon, QMessageBox::NoIcon);
    }

    void connectDialsThePresetProfile() {
        StartStandIn("healthy-evdo");
        Responder responder;
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
        QTRY_VERIFY_WITH_TIMEOUT(!responder.messages.isEmpty(), kDialWaitMs);
        QVERIFY2(texts.indexOf(QStringLiteral("Łączenie… ")) >= 0,
                 qPrintable(texts.join(QStringLiteral(" | "))));
        const Shown& error = responder.messages.first();
        QVERIFY2(error.text.startsWith(QStringLiteral("Error ")), qPrintable(error.text));
        QCOMPARE(error.caption, QStringLiteral("Połączenie"));
        QCOMPARE(error.icon, QMessageBox::Critical);
        QTRY_VERIFY(!window_->InputBlocked());
        // The device is closed and found again.
        QTRY_COMPARE_WITH_TIMEOUT(panel->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
    }

  private:
    static int VisibleNoticeWindows() {
        int n = 0;
        for (QWidget* w : QApplication::allWidgets()) {
            n += qobject_cast<NoticeWindow*>(w) != nullptr && w->isVisible() ? 1 : 0;
        }
        return n;
    }

    void StartStandIn(const std::string& scenario) {
        velmo::sim::ModemSimulator::Options options;
        options.statePath = (dir_->path() + QStringLiteral("/modem-sim.state")).toStdString();
        options.scenario = scenario;
        sim_ = std::make_unique<velmo::sim::ModemSimulator>(options);
        std::string error;
        QVERIFY2(sim_->Start(&error), error.c_str());
        // A fixed port: automatic detection never sees a pty.
        QVERIFY(PrepareSettingsFile());
        RegistryKey key(kSettingKey, true);
        key.WriteDword(QStringLiteral("Disable AutoPort"), 1);
        key.WriteDword(QStringLiteral("COM Port Number"), static_cast<uint32_t>(sim_->Port() - 1));
        key.WriteDword(QStringLiteral("Current Port"), kLinkUsb);
    }

    void StartManager() {
        settings_.Load();
        MainWindow::Options options;
        options.splash = false;
        window_ = std::make_unique<MainWindow>(settings_, options);
        QVERIFY(window_->Create());
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<velmo::sim::ModemSimulator> sim_;
    CSettings settings_;
    std::unique_ptr<MainWindow> window_;
    QStringList texts_;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
