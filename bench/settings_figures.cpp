// Figures of the settings window on the stand-in, in real time: how long the menu button takes to show the
// window (first and later openings), how long Apply with "Tylko 1xEvDO" takes from the click until the window
// takes input again, and the longest stretch in which the window did not repaint meanwhile (a timer asks for
// a repaint every 16 ms); and how long the advanced configuration window takes to read everything. Prints one
// line per figure.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "manager/app/MainWindow.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "manager/core/Texts.h"
#include "manager/programming/AdvancedConfigWindow.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/screens/StatusPanel.h"
#include "manager/screens/settings/GeneralPane.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/tests/core/Recorders.h"
#include "simulator/DeviceState.h"
#include "simulator/ModemSimulator.h"

using namespace velmo::manager;

namespace {

// Paint events of one widget, in milliseconds of one clock.
class PaintClock : public QObject {
  public:
    explicit PaintClock(QElapsedTimer& clock) : clock_(clock) {}
    std::vector<qint64> paints;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            paints.push_back(clock_.elapsed());
        }
        return false;
    }

  private:
    QElapsedTimer& clock_;
};

// Runs the event loop until done() or the time-out.
bool Until(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QByteArray base = dir.path().toUtf8();
    qputenv("XDG_CONFIG_HOME", base + "/config");
    qputenv("XDG_STATE_HOME", base + "/state");
    qputenv("VELMO_PORTS_DIR", base + "/ports");
    qputenv("VELMO_PHONEBOOK_DIR", base + "/phonebook");
    qputenv("VELMO_DIALUP_RUNTIME_DIR", base + "/dialup");
    qputenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1");

    velmo::sim::ModemSimulator::Options options;
    options.statePath = (dir.path() + QStringLiteral("/modem-sim.state")).toStdString();
    options.scenario = "healthy-evdo";
    velmo::sim::ModemSimulator sim(options);
    std::string error;
    if (!sim.Start(&error) || !PrepareSettingsFile()) {
        std::fprintf(stderr, "stand-in: %s\n", error.c_str());
        return 1;
    }
    CSettings::StoreFixedPort(static_cast<uint32_t>(sim.Port()));
    CSettings settings;
    settings.Load();
    test::RecordingPrompt prompt;
    MainWindow::Options windowOptions;
    windowOptions.splash = false;
    windowOptions.prompt = &prompt;
    MainWindow window(settings, windowOptions);
    if (!window.Create() || !Until([&] { return window.Panel()->StatusText() == ReadyText(); }, 30000)) {
        std::fprintf(stderr, "the manager did not get ready\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    SettingsWindow* menu = window.Settings();
    PaintClock paints(clock);
    menu->installEventFilter(&paints);
    for (int opening = 0; opening < 6; ++opening) {
        paints.paints.clear();
        const qint64 pressed = clock.elapsed();
        window.Button(MainWindow::kMenu)->Click();
        Until([&] { return !paints.paints.empty() && !menu->Flows()->Busy(); }, 10000);
        std::printf("%s opening: shown after %lld ms, ready for input after %lld ms\n",
                    opening == 0 ? "first" : "later", static_cast<long long>(paints.paints.front() - pressed),
                    static_cast<long long>(clock.elapsed() - pressed));
        menu->CancelButton()->click();
        Until([] { return false; }, 100);
    }

    window.Button(MainWindow::kMenu)->Click();
    Until([&] { return !menu->Flows()->Busy(); }, 10000);
    menu->SelectTab(0);
    menu->General()->SystemList()->setCurrentIndex(0);
    emit menu->General()->SystemList()->activated(0);
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, menu, [menu] { menu->update(); });
    repaint.start(16);
    paints.paints.clear();
    const qint64 applied = clock.elapsed();
    menu->ApplyButton()->click();
    Until([&] { return !menu->Flows()->Busy(); }, 60000);
    const qint64 done = clock.elapsed();
    repaint.stop();
    qint64 longest = 0;
    qint64 last = applied;
    for (qint64 at : paints.paints) {
        longest = std::max(longest, at - last);
        last = at;
    }
    longest = std::max(longest, done - last);
    std::printf("Apply \"Tylko 1xEvDO\": %lld ms from the click until the window takes input again\n",
                static_cast<long long>(done - applied));
    std::printf("longest stretch without a repaint during Apply: %lld ms (%zu repaints)\n",
                static_cast<long long>(longest), paints.paints.size());

    // The advanced configuration window reads everything when it opens and on "Refresh" (once the modem that
    // Apply has reset is ready again).
    Until([&] { return window.Panel()->StatusText() != ReadyText(); }, 15000);
    Until([&] { return window.Panel()->StatusText() == ReadyText(); }, 60000);
    Until([] { return false; }, 2000);
    const qint64 opened = clock.elapsed();
    window.ShowAdvancedConfiguration();
    programming::AdvancedConfigWindow* config = window.AdvancedConfiguration();
    Until([&] { return !config->Flows()->Busy(); }, 60000);
    std::printf("advanced configuration: opened and read all in %lld ms (1000 ms of it the settle wait)\n",
                static_cast<long long>(clock.elapsed() - opened));
    for (int refresh = 0; refresh < 3; ++refresh) {
        const qint64 pressed = clock.elapsed();
        config->Button(programming::kRefresh)->click();
        Until([&] { return !config->Flows()->Busy(); }, 60000);
        std::printf("advanced configuration: Refresh read all in %lld ms\n",
                    static_cast<long long>(clock.elapsed() - pressed));
    }

    // Roaming list downloads through the window, with its progress dialog.
    qobject_cast<QLineEdit*>(config->Control(programming::kSpcEdit))->setText(QStringLiteral("000000"));
    config->Button(programming::kUnlock)->click();
    Until([&] { return !config->Flows()->Busy() && config->Button(programming::kPrlDownload)->isEnabled(); },
          10000);
    for (const size_t size : {size_t(16384), size_t(65000)}) {
        const std::vector<uint8_t> list = velmo::sim::MakePrl(4321, size);
        QFile file(dir.path() + QStringLiteral("/list%1.prl").arg(size));
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char*>(list.data()), static_cast<qint64>(list.size()));
        file.close();
        qobject_cast<QLineEdit*>(config->Control(programming::kPrlPathEdit))->setText(file.fileName());
        const qint64 pressed = clock.elapsed();
        config->Button(programming::kPrlDownload)->click();
        Until([&] { return !config->Flows()->Busy(); }, 120000);
        const qint64 ms = std::max<qint64>(clock.elapsed() - pressed, 1);
        const size_t blocks = size / 120 + 1;
        std::printf(
            "PRL download of %zu bytes through the window: %lld ms (the first one with the backup), "
            "%zu blocks, %.0f blocks/s, %d progress updates (%.0f per second)\n",
            size, static_cast<long long>(ms), blocks, 1000.0 * static_cast<double>(blocks) / ms,
            config->ProgressUpdates(), 1000.0 * config->ProgressUpdates() / ms);
    }
    window.StartClosing();
    Until([&] { return window.IsShutDown(); }, 20000);
    return 0;
}
