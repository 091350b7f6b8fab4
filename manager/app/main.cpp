// VelmoManager: one copy per user, a skinned main window, a device worker and an orderly shutdown.
#include <unistd.h>
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFont>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "MainWindow.h"
#include "manager/core/Diagnostics.h"
#include "manager/core/Language.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "manager/core/SingleInstance.h"
#include "manager/core/StopSignals.h"
#include "manager/core/Texts.h"
#include "manager/programming/AdvancedConfigWindow.h"
#include "manager/screens/CRealTimeGraph.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/RfGraphWindow.h"
#include "manager/screens/SkinImages.h"
#include "manager/screens/TrayIcon.h"
#include "manager/screens/settings/CFlatButton.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/screens/settings/SmsDialogs.h"
#include "manager/screens/settings/SmsPane.h"
#include "manager/web/CHtmlCtrl.h"
#include "manager/web/NetworkSetupWindow.h"

using namespace velmo::manager;

namespace {

constexpr unsigned long kExitFlagSleepMs = 1000;

// A flag still set at exit gets one second for its owner to finish, once each.
void SleepForUnfinishedFlags() {
    const bool flags[] = {ProcessFlags::workerRunning.load(), ProcessFlags::mainWindowAlive.load(),
                          CModemWrapper::Alive()};
    for (bool set : flags) {
        if (set) {
            QThread::msleep(kExitFlagSleepMs);
        }
    }
}

}  // namespace

// The tray's pictures, one file per state and a row of all of them.
static bool SaveTrayIcons(const QString& dir) {
    constexpr int kSize = 48;
    constexpr int kGap = 8;
    const std::vector<TrayLook> looks = AllTrayLooks();
    QPixmap row(static_cast<int>(looks.size()) * (kSize + kGap) + kGap, kSize + 2 * kGap);
    row.fill(Qt::transparent);
    QPainter painter(&row);
    bool ok = true;
    int x = kGap;
    for (const TrayLook& look : looks) {
        const QPixmap pixmap = TrayIconFor(look).pixmap(kSize);
        const QString file = QStringLiteral("%1/tray-%2.png").arg(dir, TrayLookName(look));
        if (!pixmap.save(file)) {
            std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(file));
            ok = false;
        }
        painter.drawPixmap(x, kGap, pixmap);
        x += kSize + kGap;
    }
    painter.end();
    const QString all = dir + QStringLiteral("/tray-icons.png");
    if (!row.save(all)) {
        std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(all));
        ok = false;
    }
    return ok;
}

int main(int argc, char* argv[]) {
    QElapsedTimer started;
    started.start();
    // Kept in memory from the start, for "Zapisz diagnostykę…".
    velmo::manager::diagnostics::Install();
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppCaption());
    QApplication::setOrganizationName(QStringLiteral("Brivanta"));
    // The desktop entry's name without .desktop; on Wayland it is the window's app id, by which the desktop
    // finds the entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.brivanta.VelmoManager"));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Connection manager for the Velmo CDMA data modem"));
    parser.addHelpOption();
    const QCommandLineOption minimized(QStringLiteral("minimized"),
                                       QStringLiteral("Start with the main window minimized."));
    const QCommandLineOption noSplash(QStringLiteral("no-splash"), QStringLiteral("Do not show the splash."));
    const QCommandLineOption embedding(QStringLiteral("Embedding"), QStringLiteral("Started for embedding."));
    const QCommandLineOption automation(QStringLiteral("Automation"),
                                        QStringLiteral("Started for automation."));
    const QCommandLineOption usePort(
        QStringLiteral("use-port"),
        QStringLiteral(
            "Store a fixed diagnostic port N in the settings (automatic detection off) and start."),
        QStringLiteral("N"));
    const QCommandLineOption reportTiming(
        QStringLiteral("report-timing"),
        QStringLiteral("Print when the window was shown and when the modem was "
                       "ready, in ms since start, on stderr."));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a picture of the main window once it reads ready."), QStringLiteral("FILE"));
    const QCommandLineOption settingsShots(
        QStringLiteral("screenshot-settings"),
        QStringLiteral("Once ready, open the settings window and save a picture of each of its tabs in DIR."),
        QStringLiteral("DIR"));
    const QCommandLineOption quitWhenReady(QStringLiteral("quit-when-ready"),
                                           QStringLiteral("Close once the modem is ready (for checks)."));
    const QCommandLineOption openNetworkSetup(
        QStringLiteral("open-network-setup-when-ready"),
        QStringLiteral(
            "Open the network setup window a second after the modem is ready (for measurements)."));
    const QCommandLineOption networkSetupShot(
        QStringLiteral("screenshot-network-setup"),
        QStringLiteral("Open the network setup window once ready, save a picture of it when its page has "
                       "loaded, and close."),
        QStringLiteral("FILE"));
    const QCommandLineOption openRfGraph(
        QStringLiteral("open-rf-graph-when-ready"),
        QStringLiteral("Open the RF graph and start it once the modem is ready (for measurements)."));
    const QCommandLineOption rfGraphShot(
        QStringLiteral("screenshot-rf-graph"),
        QStringLiteral(
            "Open the RF graph once ready, start it, save a picture of it after five seconds, and close."),
        QStringLiteral("FILE"));
    const QCommandLineOption messagesShots(
        QStringLiteral("screenshot-messages"),
        QStringLiteral(
            "Once ready, open the messages tab, save a picture of it when the in-box has been read "
            "and one of the compose dialog answering its first message in DIR, and close. With "
            "--report-timing, say how long the in-box took and the window's longest stall."),
        QStringLiteral("DIR"));
    const QCommandLineOption trayShots(
        QStringLiteral("screenshot-tray-icons"),
        QStringLiteral(
            "Save the tray icon of every connection state in DIR (tray-<state>.png, and all of them "
            "in a row as tray-icons.png), and exit."),
        QStringLiteral("DIR"));
    const QCommandLineOption language(
        QStringLiteral("language"),
        QStringLiteral("Speak pl (Polish) or en (English) instead of the desktop's language."),
        QStringLiteral("pl|en"));
    parser.addOptions({minimized, noSplash, embedding, automation, usePort, reportTiming, screenshot,
                       settingsShots, quitWhenReady, openNetworkSetup, networkSetupShot, openRfGraph,
                       rfGraphShot, messagesShots, trayShots, language});
    parser.process(app);
    if (parser.isSet(trayShots)) {
        return SaveTrayIcons(parser.value(trayShots)) ? 0 : 1;
    }

    UiLanguage uiLanguage = DesktopLanguage();
    if (parser.isSet(language)) {
        const auto chosen = ParseLanguage(parser.value(language));
        if (!chosen) {
            std::fprintf(stderr, "VelmoManager: --language takes pl or en\n");
            return 2;
        }
        uiLanguage = *chosen;
    }
    QString missing;
    if (!ApplyLanguage(app, uiLanguage, &missing)) {
        std::fprintf(stderr, "VelmoManager: no English translation (%s); the texts stay Polish\n",
                     qPrintable(missing));
    }

    SingleInstance instance;
    if (!instance.Claim()) {
        QMessageBox::information(nullptr, AppCaption(), Tr::tr("Aplikacja jest już uruchomiona."));
        return 0;
    }

    SetApplicationFont();

    PrepareSettingsFile();
    if (parser.isSet(usePort)) {
        bool ok = false;
        const uint port = parser.value(usePort).toUInt(&ok);
        if (!ok || port < 1 || port > kMaxComPortNumber + 1) {
            std::fprintf(stderr, "VelmoManager: --use-port takes a number from 1 to %u\n",
                         kMaxComPortNumber + 1);
            return 2;
        }
        CSettings::StoreFixedPort(port);
    }
    CSettings settings;
    settings.Load();

    MainWindow::Options options;
    options.startMinimized = parser.isSet(minimized);
    options.splash = !parser.isSet(noSplash) && !parser.isSet(embedding) && !parser.isSet(automation);
    // A stop signal or the end of the desktop session closes the program as its close button does; the
    // handlers are in place before the window exists, so nothing is killed half-way.
    StopSignals stopSignals;
    auto* window = new MainWindow(settings, options);
    QObject::connect(&stopSignals, &StopSignals::stopRequested, window, [window] { window->StartClosing(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window, [window] { window->StartClosing(); });
    QObject::connect(&instance, &SingleInstance::raiseRequested, window, &MainWindow::BringToFront);
    QObject::connect(window, &MainWindow::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    if (!window->Create()) {
        window->Shutdown();
        delete window;
        return 1;
    }
    if (parser.isSet(reportTiming)) {
        std::fprintf(stderr, "VelmoManager: window shown after %lld ms\n",
                     static_cast<long long>(started.elapsed()));
    }
    const QString screenshotFile = parser.value(screenshot);
    const bool timing = parser.isSet(reportTiming);
    const bool quitReady = parser.isSet(quitWhenReady);
    const QString settingsDir = parser.value(settingsShots);
    bool readySeen = false;
    QObject::connect(window, &MainWindow::statusTextChanged, window, [&](const QString& text) {
        if (readySeen || text != ReadyText()) {
            return;
        }
        readySeen = true;
        if (timing) {
            std::fprintf(stderr, "VelmoManager: ready after %lld ms\n",
                         static_cast<long long>(started.elapsed()));
        }
        if (!screenshotFile.isEmpty()) {
            // Let the panel paint the new text first.
            QTimer::singleShot(300, window, [window, screenshotFile] {
                if (!window->grab().save(screenshotFile)) {
                    std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(screenshotFile));
                }
            });
        }
        int quitAfterMs = 600;
        if (!settingsDir.isEmpty()) {
            // The menu button, then each tab that has a page, a picture each once it has painted.
            QTimer::singleShot(300, window, [window] { window->Button(MainWindow::kMenu)->Click(); });
            int at = 1300;
            for (int tab : {settings::kGeneral, settings::kProfiles, settings::kStatus, settings::kRuim,
                            settings::kInformation, settings::kDesktop}) {
                QTimer::singleShot(at, window, [window, tab] { window->Settings()->SelectTab(tab); });
                QTimer::singleShot(at + 400, window, [window, tab, settingsDir] {
                    const QString file = QStringLiteral("%1/settings-tab%2.png").arg(settingsDir).arg(tab);
                    if (!window->Settings()->grab().save(file)) {
                        std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(file));
                    }
                });
                at += 600;
            }
            // The advanced configuration window once it has read everything (the gate is the user's to pass).
            QTimer::singleShot(at, window, [window] { window->ShowAdvancedConfiguration(); });
            QTimer::singleShot(at + 1800, window, [window, settingsDir] {
                const QString file = settingsDir + QStringLiteral("/advanced-configuration.png");
                programming::AdvancedConfigWindow* config = window->AdvancedConfiguration();
                if (config == nullptr || !config->grab().save(file)) {
                    std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(file));
                }
            });
            // A message box as the program shows one.
            QTimer::singleShot(at + 2100, window, [window, settingsDir] {
                QMessageBox* box =
                    MakeMessageBox(window->Settings(), Tr::tr("Nie znaleziono modemu"), AppCaption(),
                                   PromptIcon::Exclamation, PromptButtons::YesNo);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->show();
                QTimer::singleShot(400, box, [box, settingsDir] {
                    const QString file = settingsDir + QStringLiteral("/message-box.png");
                    if (!box->grab().save(file)) {
                        std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(file));
                    }
                    box->close();
                });
            });
            quitAfterMs = at + 2800;
        }
        if (quitReady) {
            QTimer::singleShot(quitAfterMs, window, [window] { window->StartClosing(); });
        }
    });
    const QString networkShotFile = parser.value(networkSetupShot);
    const bool networkSetupWanted = parser.isSet(openNetworkSetup) || !networkShotFile.isEmpty();
    bool networkSetupOpened = false;
    QObject::connect(window, &MainWindow::statusTextChanged, window, [&](const QString& text) {
        if (!networkSetupWanted || networkSetupOpened || text != ReadyText()) {
            return;
        }
        networkSetupOpened = true;
        // A second first, so that a measurement reads the program as it was before.
        QTimer::singleShot(1000, window, [&, window] {
            window->OpenNetworkSetup();
            NetworkSetupWindow* setup = window->NetworkSetup();
            if (setup == nullptr || setup->View() == nullptr) {
                return;
            }
            if (timing) {
                std::fprintf(stderr, "VelmoManager: network setup shown after %lld ms\n",
                             static_cast<long long>(started.elapsed()));
            }
            QObject::connect(setup->View(), &CHtmlCtrl::pageLoaded, setup, [&, window, setup](bool ok) {
                if (timing) {
                    std::fprintf(stderr, "VelmoManager: network setup page %s after %lld ms\n",
                                 ok ? "loaded" : "failed", static_cast<long long>(started.elapsed()));
                }
                if (networkShotFile.isEmpty()) {
                    return;
                }
                // Let the view paint the page first.
                QTimer::singleShot(1000, setup, [window, setup, networkShotFile] {
                    if (!setup->grab().save(networkShotFile)) {
                        std::fprintf(stderr, "VelmoManager: could not write %s\n",
                                     qPrintable(networkShotFile));
                    }
                    window->StartClosing();
                });
            });
        });
    });
    const QString rfShotFile = parser.value(rfGraphShot);
    const bool rfGraphWanted = parser.isSet(openRfGraph) || !rfShotFile.isEmpty();
    bool rfGraphOpened = false;
    QObject::connect(window, &MainWindow::statusTextChanged, window, [&](const QString& text) {
        if (!rfGraphWanted || rfGraphOpened || text != ReadyText()) {
            return;
        }
        rfGraphOpened = true;
        window->ShowRfGraph();
        if (RfGraphWindow* graph = window->RfGraph(); graph != nullptr && timing) {
            // What painting the graphs cost, said when the window goes.
            QObject::connect(graph, &RfGraphWindow::closed, graph, [graph] {
                for (CRealTimeGraph* g : {graph->DrcGraph(), graph->PowerGraph()}) {
                    std::fprintf(stderr, "VelmoManager: %s: %d repaints, %.0f us each on average\n",
                                 qPrintable(g->Title()), g->Paints(),
                                 g->Paints() > 0 ? double(g->PaintMicroseconds()) / g->Paints() : 0.0);
                }
            });
        }
        if (RfGraphWindow* graph = window->RfGraph()) {
            graph->StartButton()->click();
        }
        if (!rfShotFile.isEmpty()) {
            QTimer::singleShot(5000, window, [window, rfShotFile] {
                RfGraphWindow* graph = window->RfGraph();
                if (graph == nullptr || !graph->grab().save(rfShotFile)) {
                    std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(rfShotFile));
                }
                window->StartClosing();
            });
        }
    });
    const QString messagesDir = parser.value(messagesShots);
    bool messagesOpened = false;
    QElapsedTimer loadClock;
    QElapsedTimer stallClock;
    qint64 longestStall = 0;
    QTimer stallProbe;
    stallProbe.setInterval(10);
    QObject::connect(&stallProbe, &QTimer::timeout, window,
                     [&] { longestStall = std::max(longestStall, stallClock.restart()); });
    QObject::connect(window, &MainWindow::statusTextChanged, window, [&](const QString& text) {
        if (messagesDir.isEmpty() || messagesOpened || text != ReadyText()) {
            return;
        }
        messagesOpened = true;
        window->Settings()->Open();
        SmsPane* pane = window->Settings()->Messages();
        // The window's longest stretch without handling a 10 ms timer while the box is read.
        loadClock.start();
        stallClock.start();
        stallProbe.start();
        window->Settings()->SelectTab(settings::kMessages);
        QObject::connect(
            pane, &SmsPane::boxShown, window,
            [&, window, pane] {
                stallProbe.stop();
                if (timing) {
                    std::fprintf(stderr, "VelmoManager: %d messages read in %lld ms, longest stall %lld ms\n",
                                 int(pane->State().rows.size()), static_cast<long long>(loadClock.elapsed()),
                                 static_cast<long long>(longestStall));
                }
                QTimer::singleShot(400, window, [&, window, pane] {
                    const QString file = messagesDir + QStringLiteral("/messages.png");
                    if (!window->Settings()->grab().save(file)) {
                        std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(file));
                    }
                    if (pane->List()->topLevelItemCount() > 0) {
                        pane->List()->setCurrentItem(pane->List()->topLevelItem(0));
                        pane->Button(smspane::kReply)->click();
                    } else {
                        pane->Button(smspane::kSendMsg)->click();
                    }
                });
                QTimer::singleShot(2400, window, [&, window, pane] {
                    const QString file = messagesDir + QStringLiteral("/message-compose.png");
                    SmsComposeDialog* compose = pane->Compose();
                    if (compose != nullptr) {
                        compose->MessageEdit()->setPlainText(
                            CurrentLanguage() == UiLanguage::English
                                ? QStringLiteral("Hello, I will call back after 5.")
                                : QStringLiteral("Dzień dobry, oddzwonię po 17."));
                    }
                    QTimer::singleShot(300, window, [window, compose, file] {
                        if (compose == nullptr || !compose->grab().save(file)) {
                            std::fprintf(stderr, "VelmoManager: could not write %s\n", qPrintable(file));
                        }
                        window->StartClosing();
                    });
                });
            },
            Qt::SingleShotConnection);
    });
    const int code = QApplication::exec();
    if (ProcessFlags::workerRunning.load()) {
        // The worker may still be inside the library: neither the window with its wrapper nor the library
        // may go away under it.
        SleepForUnfinishedFlags();
        std::fflush(nullptr);
        _exit(code);
    }
    delete window;
    SleepForUnfinishedFlags();
    return code;
}
