// The small skinned main window: it binds the modem library, starts the device worker, shows what the
// worker and the dial callback push into it, and runs the shutdown in its fixed order.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "manager/core/CModemWrapper.h"
#include "manager/core/DesktopModel.h"
#include "manager/core/DeviceContext.h"
#include "manager/core/ModemSession.h"
#include "manager/core/Reconnect.h"
#include "manager/core/StatusModel.h"
#include "manager/desktop/ModemBus.h"

namespace velmo::dialup {
class IDialupService;
}

namespace velmo::manager {

class CSettings;
class CProfiles;
class CDeviceStateMachine;
class CConnectionControl;
class QtDeviceView;
class QtUserPrompt;
class IUserPrompt;
class CScreenFlowThread;
class CHandOffQueue;
class CDesktopNotifier;
class ScreenFlowHost;
class SettingsWindow;
class CSkinBitmapButton;
class StatusPanel;
class NoticeWindow;
class AdvancedStatusDialog;
class RfGraphWindow;
class CTrayIcon;
namespace programming {
class AdvancedConfigWindow;
}
class ModemNotifyForwarder;
class NetworkSetupWindow;

// Process-wide flags that the exit path looks at.
struct ProcessFlags {
    static inline std::atomic<bool> mainWindowAlive{false};
    static inline std::atomic<bool> workerRunning{false};
};

// How long the shutdown waits for the worker, and its polling step.
inline constexpr int kWorkerEndWaitMs = 50000;
inline constexpr int kWorkerEndPollMs = 20;
inline constexpr int kBlinkTimerMs = 500;
// How long the shutdown lets the screens' flows finish once every question answers "cancel".
inline constexpr int kFlowEndWaitMs = 10000;
// The longest a roaming list download can take by its own time-outs (the largest list, every block at its
// 3 s limit), which the shutdown waits for.
inline constexpr int kPrlEndWaitMs = 30 * 60 * 1000;
// Timer 5: the advanced configuration is asked for this long after its key sequence.
inline constexpr int kAdvancedConfigurationDelayMs = 500;

class MainWindow : public QWidget, private IModemBusHost {
    Q_OBJECT
  public:
    enum ButtonId {
        kMinimize = 101,
        kClose = 102,
        kPanel = 103,
        kConnect = 104,
        kDisconnect = 105,
        kMenu = 106,
        kMenuDisabled = 217
    };
    struct Options {
        bool splash = true;
        bool startMinimized = false;
        // The worker's ticks and pauses, the screens' pauses and the shutdown bound; null: the real clock.
        platform::IClock* clock = nullptr;
        // Answers every question of the worker and the screens instead of dialogs (tests); null: dialogs.
        IUserPrompt* prompt = nullptr;
    };

    MainWindow(CSettings& settings, const Options& options);
    ~MainWindow() override;

    // The creation handler: builds the controls, binds the library, starts the worker. False when binding
    // failed; the application then ends.
    bool Create();

    // Display, on the window thread (the worker's calls arrive queued through QtDeviceView).
    void SetStatusText(const QString& text);
    void SetDeviceStatusCode(int code);
    void SetSignalLevel(int level);
    void SetBatteryLevel(int level);
    void SetChargingAnimation(bool on);
    void SetBatteryWord(uint16_t word);
    void SetTrafficFlag(bool on);
    void SetVoiceMailIcon(bool on);
    void SetNetworkImage(int image);
    void SetConnectionImage(int image);
    void SetConnectedLook(bool connected);
    void SetConnectButtonsEnabled(bool enabled);
    void SetMenuShown(bool shown);
    void ClearNotices();
    void ShowNoticeWindow(NoticeWindowId id);
    void StatusRefreshed();

    // The close button and the system close only start closing; the worker then asks for Shutdown.
    void StartClosing();
    // Runs once, when the worker has sent its quit requests (or the binding failed).
    void Shutdown();
    // A second start asked this copy to come forward.
    void BringToFront();
    // Opened from the settings window; at most one instance.
    void ShowAdvancedStatus();
    // Shows the advanced configuration window, made the first time (the SPC gate has passed).
    void ShowAdvancedConfiguration();
    // The RF graph window, made the first time ("RF Monitor" of the advanced status window).
    void ShowRfGraph();
    // Timer 5's work: the SPC gate, then the advanced configuration.
    void OnAdvancedConfigurationTimer();
    SettingsWindow* Settings() const { return settingsWindow_; }
    ScreenFlowHost* Flows() const { return flows_host_; }

    DeviceContext& Context() { return context_; }
    CModemWrapper& Wrapper() { return wrapper_; }
    ModemSession Session() { return ModemSession(wrapper_, context_, clock_); }
    StatusPanel* Panel() const { return panel_; }
    AdvancedStatusDialog* AdvancedStatus() const;
    programming::AdvancedConfigWindow* AdvancedConfiguration() const;
    RfGraphWindow* RfGraph() const;
    CSkinBitmapButton* Button(int id) const;
    int DeviceStatusCode() const { return context_.deviceStatusCode.load(); }
    bool InputBlocked() const { return inputBlocked_; }
    bool IsShutDown() const { return shutDown_; }

    NetworkSetupWindow* NetworkSetup() const { return networkSetup_; }

    // The desktop: what the window shows now, the tray icon and the bus object (null while switched off or,
    // for the bus, while the name could not be had), and the switches of the "Pulpit" tab.
    ModemSnapshot Snapshot() const;
    CTrayIcon* Tray() const { return tray_; }
    CModemBus* Bus() const { return bus_; }
    const DesktopOptions& Desktop() const { return desktop_; }
    // Hands the snapshot to the tray, the bus and the notices (every blink tick, and when the text changes).
    void UpdateDesktop();

  public slots:
    // Another part of the program changed the stored settings.
    void ReloadSettings();
    // The settings window's " Ustawienia sieciowe " tab: the unit's pages, only on an Ethernet link in use.
    void OpenNetworkSetup();

  signals:
    // The shutdown has finished; the application may end.
    void finished();
    // The panel's line of text changed (the device status as the user reads it).
    void statusTextChanged(const QString& text);
    // The SPC gate let the user through to the advanced configuration.
    void advancedConfigurationAllowed();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void OnButton(int id);
    void OnBlinkTick();
    void BlockInput(int ms);
    void StartWorker();
    // The prompt the worker and the screens ask: the test's, or this window's dialogs.
    IUserPrompt& Prompt();
    // Runs the event loop until the screens' flows have finished or the bound has passed.
    void WaitForFlows();
    // A message has arrived (window thread): the desktop notice, and the in-box read again when shown.
    void OnMessageReport(const std::vector<uint8_t>& report);
    // The "Pulpit" switches taken up: the tray icon and the bus object made or dropped.
    void ApplyDesktopOptions();
    // IModemBusHost: the bus's requests, with the buttons' rules.
    std::optional<Refusal> RequestConnect() override;
    std::optional<Refusal> RequestDisconnect() override;
    void LoadBox(sms::Box box, BoxDone done) override;
    // A box read for the bus has come back from the flow thread.
    void OnBoxLoaded(const std::vector<uint8_t>& token);
    void ToggleShown();
    // A connect asked for by the user ends the automatic attempts.
    void StopReconnecting();

    CSettings& settings_;
    Options options_;
    platform::IClock& clock_;
    DeviceContext context_;
    CModemWrapper wrapper_;
    std::unique_ptr<dialup::IDialupService> dialup_;
    std::unique_ptr<CProfiles> profiles_;
    // Fed by the worker, read by the tooltip and the "Pulpit" tab.
    std::unique_ptr<CTrafficMeter> traffic_;
    // The view and the prompt outlive the window when the worker does not end in time.
    QtDeviceView* view_ = nullptr;
    QtUserPrompt* prompt_ = nullptr;
    // Report 17 copies, from the library's reader thread to this window's thread, and the desktop notices
    // they become.
    std::unique_ptr<CHandOffQueue> messages_;
    CDesktopNotifier* notifier_ = nullptr;
    // Boxes read for the bus: the flow thread fills the job, then pushes its number here (declared before the
    // flow thread, which therefore goes first). Window thread: loads_.
    struct BoxJob {
        std::vector<smspane::SmsRow> rows;
        std::optional<Refusal> refusal;
    };
    struct BoxLoad {
        std::shared_ptr<BoxJob> job;
        BoxDone done;
    };
    std::unique_ptr<CHandOffQueue> boxLoads_;
    std::map<uint32_t, BoxLoad> loads_;
    uint32_t nextLoad_ = 1;
    std::unique_ptr<ModemNotifyForwarder> notify_;
    std::unique_ptr<CDeviceStateMachine> machine_;
    std::unique_ptr<CConnectionControl> connection_;
    std::unique_ptr<CScreenFlowThread> flows_;
    // The main window's own flows (the SPC gate); the settings window.
    ScreenFlowHost* flows_host_ = nullptr;
    SettingsWindow* settingsWindow_ = nullptr;
    // Hidden until asked for; its web view is made when it is first shown.
    NetworkSetupWindow* networkSetup_ = nullptr;
    QTimer advancedTimer_;
    std::thread worker_;

    CSkinBitmapButton* minimize_ = nullptr;
    CSkinBitmapButton* close_ = nullptr;
    CSkinBitmapButton* connect_ = nullptr;
    CSkinBitmapButton* disconnect_ = nullptr;
    CSkinBitmapButton* menu_ = nullptr;
    CSkinBitmapButton* menuDisabled_ = nullptr;
    StatusPanel* panel_ = nullptr;
    std::array<NoticeWindow*, 3> notices_{};
    QPointer<AdvancedStatusDialog> advanced_;
    QPointer<programming::AdvancedConfigWindow> advancedConfig_;
    QPointer<RfGraphWindow> rfGraph_;

    // The desktop (window thread).
    DesktopOptions desktop_;
    CTrayIcon* tray_ = nullptr;
    CModemBus* bus_ = nullptr;
    CDesktopEvents events_;
    // Dialling again after a drop ("Pulpit"), on the window's clock.
    CReconnect reconnect_;
    // The user asked the connection to end; cleared when a new one is made.
    bool disconnectAsked_ = false;
    int signalLevel_ = 0;

    QTimer blinkTimer_;
    QTimer unblockTimer_;
    BlinkModel blink_;
    bool charging_ = false;
    uint16_t battery_ = 0xFFFF;
    int batteryLevel_ = 0;
    bool inputBlocked_ = false;
    bool minimized_ = false;
    bool shutdownStarted_ = false;
    bool shutDown_ = false;
    QPoint dragOffset_;
    bool dragging_ = false;
};

}  // namespace velmo::manager
