// The network setup window on the stand-in's Ethernet unit, opened from the settings window's tab as a user
// opens it: the unit's page in the web view, made only then, and each "app:" link clicked with the mouse.
// Every request of the view is watched, and any that would leave loopback is blocked and fails the test.
#include <unistd.h>

#include <QApplication>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QUdpSocket>
#include <QWebEngineUrlRequestInterceptor>
#include <memory>

#include "manager/app/MainWindow.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "manager/screens/StatusPanel.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/tests/app/StandInRig.h"
#include "manager/tests/core/Recorders.h"
#include "manager/web/CHtmlCtrl.h"
#include "manager/web/NetworkSetupWindow.h"
#include "simulator/EthernetUnit.h"

using namespace velmo::manager;
using velmo::manager::test::Msg;
using velmo::manager::test::PromptRecord;
using velmo::manager::test::RecordingPrompt;

namespace {

constexpr int kReadyWaitMs = 30000;
constexpr int kPageWaitMs = 30000;

// A UDP port that is free right now, for the discovery's answers.
uint16_t FreeUdpPort() {
    QUdpSocket socket;
    return socket.bind(QHostAddress::LocalHost, 0) ? socket.localPort() : 0;
}

class LoopbackOnly : public QWebEngineUrlRequestInterceptor {
  public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        if (url.host().isEmpty()) {
            return;  // data:, about: and the like reach no host
        }
        hosts << url.host();
        if (!QHostAddress(url.host()).isLoopback()) {
            info.block(true);
            strays << url.toString();
        }
    }
    QStringList hosts;
    QStringList strays;
};

}  // namespace

class NetworkSetupTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { QVERIFY(rig_.Prepare()); }

    void cleanup() {
        window_.reset();
        prompt_.Clear();
        unit_.reset();
        sim_.reset();
        rig_.Stop();
    }

    void opensOnTheUnitAndFollowsEveryAppLink() {
        StartUnit();
        StartManager();
        NetworkSetupWindow* setup = window_->NetworkSetup();
        QVERIFY(setup != nullptr);
        QVERIFY(!setup->isVisible());
        QCOMPARE(setup->accessibleName(), QStringLiteral("Network Setup"));
        // The engine is not started before the window is shown, and it can only go to the stand-in.
        QVERIFY(setup->View() == nullptr);
        const QString page = QStringLiteral("http://127.0.0.1:%1").arg(unit_->HttpPort());
        QCOMPARE(setup->PageAddress(), page);
        LoopbackOnly watch;
        setup->SetRequestInterceptor(&watch);
        int beeps = 0;
        setup->SetBeep([&] { ++beeps; });

        // The tab opens the window and the settings window stays where it was.
        SettingsWindow* settings = window_->Settings();
        settings->Open();
        const int tabBefore = settings->CurrentTab();
        settings->Tabs()->setCurrentIndex(settings::kNetwork);
        QCOMPARE(settings->CurrentTab(), tabBefore);
        QTRY_VERIFY(setup->isVisible());
        CHtmlCtrl* view = setup->View();
        QVERIFY(view != nullptr);
        QVERIFY(!view->accessibleName().isEmpty());
        QCOMPARE(view->geometry(), QRect(9, 7, 761, 545));
        QVERIFY(CHtmlCtrl::CreateFromPlaceholder(NetworkSetupWindow::kPlaceholderId + 1, setup) == nullptr);
        QSignalSpy loads(view, &CHtmlCtrl::pageLoaded);
        QTRY_VERIFY_WITH_TIMEOUT(loads.count() >= 1, kPageWaitMs);
        QCOMPARE(loads.takeFirst().at(0).toBool(), true);
        QCOMPARE(view->url(), QUrl(page + QStringLiteral("/")));
        QVERIFY(QTest::qWaitForWindowExposed(setup));

        QVERIFY(ClickLink(view, "beep"));
        QTRY_COMPARE(beeps, 1);
        QVERIFY(ClickLink(view, "beep-lower"));
        QTRY_COMPARE(prompt_.Records().size(), size_t(1));
        QVERIFY(ClickLink(view, "empty"));
        QTRY_COMPARE(prompt_.Records().size(), size_t(2));
        QCOMPARE(prompt_.Records(), (std::vector<PromptRecord>{
                                        Msg("beep", "Unexpected Command", PromptIcon::Question),
                                        Msg("", "Unexpected Command", PromptIcon::Question),
                                    }));
        QVERIFY(!window_->isMinimized());
        QVERIFY(ClickLink(view, "minimise"));
        QTRY_VERIFY(window_->isMinimized());
        QCOMPARE(beeps, 1);
        // The links left the page as it was, and the failure Qt reports after each was not passed on.
        QCOMPARE(view->url(), QUrl(page + QStringLiteral("/")));
        QTest::qWait(200);
        QCOMPARE(loads.count(), 0);

        // Hiding goes back to the unit's first page, ready for the next time.
        setup->hide();
        QTRY_VERIFY_WITH_TIMEOUT(loads.count() >= 1, kPageWaitMs);
        QCOMPARE(loads.takeFirst().at(0).toBool(), true);

        QVERIFY(!watch.hosts.isEmpty());
        QVERIFY2(watch.strays.isEmpty(), qPrintable(watch.strays.join(QLatin1Char(' '))));
    }

    void refusesOnAUsbLink() {
        QCOMPARE(rig_.Start("healthy-evdo"), std::string());
        StartManager();
        window_->Settings()->Open();
        window_->Settings()->Tabs()->setCurrentIndex(settings::kNetwork);
        QTRY_COMPARE(prompt_.Records().size(), size_t(1));
        QCOMPARE(prompt_.Records().front(), Msg("Opcja dostępna tylko przy połączeniu Ethernet",
                                                "VelmoManager", PromptIcon::Exclamation));
        QVERIFY(!window_->NetworkSetup()->isVisible());
        QVERIFY(window_->NetworkSetup()->View() == nullptr);
    }

  private:
    // The stand-in behind an Ethernet unit on loopback, on ports of its own, with its pages on a free port.
    void StartUnit() {
        velmo::sim::ModemSimulator::Options options;
        options.statePath = (rig_.Dir() + QStringLiteral("/modem-sim.state")).toStdString();
        options.scenario = "healthy-evdo";
        sim_ = std::make_unique<velmo::sim::ModemSimulator>(options);
        std::string error;
        QVERIFY2(sim_->Start(&error), error.c_str());
        velmo::sim::EthernetUnit::Options unitOptions;
        unitOptions.discoveryPort = 0;
        unitOptions.dataPort = 0;
        unitOptions.httpPort = 0;
        unitOptions.replyPort = FreeUdpPort();
        unit_ = std::make_unique<velmo::sim::EthernetUnit>(*sim_, unitOptions);
        QVERIFY2(unit_->Start(&error), error.c_str());
        // The library's discovery goes to the unit on loopback, never to the broadcast default.
        qputenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1");
        qputenv("VELMO_DISCOVERY_PORT", QByteArray::number(unit_->DiscoveryPort()));
        qputenv("VELMO_DISCOVERY_REPLY_PORT", QByteArray::number(unit_->ReplyPort()));
        qputenv("VELMO_DATA_PORT", QByteArray::number(unit_->DataPort()));
        qputenv("VELMO_UNIT_HTTP_PORT", QByteArray::number(unit_->HttpPort()));
        QVERIFY(PrepareSettingsFile());
        CSettings::WriteCurrentPort(kLinkEthernet);
    }

    void StartManager() {
        settings_ = std::make_unique<CSettings>();
        settings_->Load();
        MainWindow::Options options;
        options.splash = false;
        options.prompt = &prompt_;
        window_ = std::make_unique<MainWindow>(*settings_, options);
        QVERIFY(window_->Create());
        QTRY_COMPARE_WITH_TIMEOUT(window_->Panel()->StatusText(), QStringLiteral("Gotowy"), kReadyWaitMs);
    }

    // A real click in the middle of the link, scrolled into view: a script's click() is no user gesture.
    static bool ClickLink(CHtmlCtrl* view, const char* id) {
        QVariantList centre;
        bool answered = false;
        view->page()->runJavaScript(
            QStringLiteral(
                "(() => { const e = document.getElementById('%1'); e.scrollIntoView({block: 'center'});"
                " const r = e.getBoundingClientRect();"
                " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                .arg(QLatin1String(id)),
            [&](const QVariant& result) {
                centre = result.toList();
                answered = true;
            });
        if (!QTest::qWaitFor([&] { return answered; }) || centre.size() != 2) {
            return false;
        }
        const QPoint at(qRound(centre[0].toDouble()), qRound(centre[1].toDouble()));
        if (!view->rect().contains(at)) {
            return false;
        }
        // Let the scrolled page reach the screen before the click lands.
        QTest::qWait(100);
        QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, at);
        return true;
    }

    velmo::manager::test::StandInRig rig_;
    std::unique_ptr<velmo::sim::ModemSimulator> sim_;
    std::unique_ptr<velmo::sim::EthernetUnit> unit_;
    RecordingPrompt prompt_;
    std::unique_ptr<CSettings> settings_;
    std::unique_ptr<MainWindow> window_;
};

int main(int argc, char** argv) {
    // The engine's sandbox does not run as root; only tests and the demo turn it off.
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QApplication app(argc, argv);
    NetworkSetupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NetworkSetupTest.moc"
