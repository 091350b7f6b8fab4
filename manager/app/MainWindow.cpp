#include "MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDBusConnection>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QScreen>
#include <QThread>
#include <cstring>
#include <ctime>

#include "QtDeviceView.h"
#include "manager/core/ConnectionControl.h"
#include "manager/core/DeviceStateMachine.h"
#include "manager/core/Diagnostics.h"
#include "manager/core/HandOffQueue.h"
#include "manager/core/NetworkSetupModel.h"
#include "manager/core/PortDetection.h"
#include "manager/core/Profiles.h"
#include "manager/core/ScreenFlowThread.h"
#include "manager/core/Settings.h"
#include "manager/core/SettingsFlows.h"
#include "manager/core/SmsFlow.h"
#include "manager/core/SmsNotice.h"
#include "manager/core/Texts.h"
#include "manager/core/Traffic.h"
#include "manager/desktop/DesktopNotifier.h"
#include "manager/programming/AdvancedConfigWindow.h"
#include "manager/screens/AdvancedStatusDialog.h"
#include "manager/screens/CSkinBitmapButton.h"
#include "manager/screens/NoticeWindow.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/RfGraphWindow.h"
#include "manager/screens/ScreenFlowHost.h"
#include "manager/screens/SkinImages.h"
#include "manager/screens/SplashWindow.h"
#include "manager/screens/StatusPanel.h"
#include "manager/screens/TrayIcon.h"
#include "manager/screens/settings/SettingsWindow.h"
#include "manager/screens/settings/SmsPane.h"
#include "manager/web/NetworkSetupWindow.h"
#include "platform/dialup/DialupService.h"
#include "platform/ThreadName.h"

Q_LOGGING_CATEGORY(lcMainWindow, "velmo.manager.window", QtWarningMsg)

namespace velmo::manager {

namespace {
constexpr int kWindowWidth = 335;
constexpr int kWindowHeight = 173;
constexpr int kCorner = 5;
constexpr int kBackgroundBitmap = 139;
constexpr int kIcon = 128;

// Answers a flow run for another program: nothing is shown, every question is declined, and the first
// message (a failure) is kept for the caller.
class QuietPrompt final : public IUserPrompt {
  public:
    PromptAnswer Message(const QString& text, const QString&, PromptIcon, PromptButtons) override {
        Keep(text);
        return PromptAnswer::Cancel;
    }
    void MessageNoWait(const QString& text, const QString&, PromptIcon) override { Keep(text); }
    bool AskPin(int, QString*) override { return false; }
    bool AskPuk(int, PukEntry*) override { return false; }
    bool AskSpc(QString*) override { return false; }
    bool AskSpcAgain(QString*) override { return false; }
    bool AskOpenFile(const QString&, const QString&, QString*) override { return false; }
    bool AskSaveFile(const QString&, const QString&, QString*) override { return false; }
    bool AskProfile(const QString&, ProfileRecord*) override { return false; }
    const std::optional<QString>& First() const { return first_; }

  private:
    void Keep(const QString& text) {
        if (!first_) {
            first_ = text;
        }
    }
    std::optional<QString> first_;
};
}  // namespace

// The library's one window message. Report 17 (a message has arrived) is copied on the reader thread into the
// window's queue, which wakes the window thread; the other reports are only logged (everything shown comes
// from polling). PRL progress is handed on at once, inside the downloading call.
class ModemNotifyForwarder final : public IModemNotifyTarget {
  public:
    ModemNotifyForwarder(CModemWrapper& wrapper, CHandOffQueue* messages)
        : wrapper_(wrapper), messages_(messages) {}
    void post(uint32_t message, uintptr_t wParam, intptr_t lParam) override {
        if (message == kPrlProgressMessage) {
            // Posted on the downloading thread, inside the call: handed on at once.
            wrapper_.OnPrlProgress(wParam, lParam);
            return;
        }
        if (message == kModemReportMessage && wParam == kMessageReport && lParam != 0) {
            std::lock_guard lock(mutex_);
            if (messages_ != nullptr) {
                messages_->Push({reinterpret_cast<const uint8_t*>(lParam), ReportSize(kMessageReport)});
            }
            return;
        }
        qCDebug(lcMainWindow) << "report" << message << wParam;
    }
    // The queue is going: later reports are dropped.
    void Detach() {
        std::lock_guard lock(mutex_);
        messages_ = nullptr;
    }

  private:
    static constexpr uint8_t kMessageReport = 17;
    CModemWrapper& wrapper_;
    std::mutex mutex_;
    CHandOffQueue* messages_;  // guarded by mutex_
};

MainWindow::MainWindow(CSettings& settings, const Options& options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      settings_(settings),
      options_(options),
      clock_(options.clock != nullptr ? *options.clock : platform::RealClock()) {
    ProcessFlags::mainWindowAlive.store(true);
    setWindowTitle(AppCaption());
    setAttribute(Qt::WA_DeleteOnClose, false);
    wrapper_.SetClosingFlag(&context_.closing);
    wrapper_.SetSettings(&settings_.Record());
    wrapper_.SetPortDetector([] { return FindDiagnosticPort(); });
}

MainWindow::~MainWindow() {
    if (!shutdownStarted_ && ProcessFlags::workerRunning.load()) {
        // Destroyed without the close sequence (a test, or the application object going away first).
        context_.RequestClosing();
        Shutdown();
    }
    if (notify_ != nullptr) {
        notify_->Detach();
    }
    if (view_ != nullptr) {
        view_->Detach();
    }
    if (prompt_ != nullptr) {
        prompt_->Detach();
    }
    if (!ProcessFlags::workerRunning.load()) {
        delete view_;
        delete prompt_;
    }
    settings_.Save();
    ProcessFlags::mainWindowAlive.store(false);
}

void MainWindow::OnMessageReport(const std::vector<uint8_t>& report) {
    const std::optional<SmsNotice> notice = ReadSmsNotice(report);
    if (!notice || shutdownStarted_) {
        return;
    }
    notifier_->Notify(NoticeTitle(), NoticeBody(*notice), QStringLiteral("mail-message-new"));
    if (settingsWindow_ != nullptr) {
        settingsWindow_->Messages()->OnMessageArrived();
    }
}

CSkinBitmapButton* MainWindow::Button(int id) const {
    switch (id) {
        case kMinimize:
            return minimize_;
        case kClose:
            return close_;
        case kConnect:
            return connect_;
        case kDisconnect:
            return disconnect_;
        case kMenu:
            return menu_;
        case kMenuDisabled:
            return menuDisabled_;
        default:
            return nullptr;
    }
}

bool MainWindow::Create() {
    setFixedSize(kWindowWidth, kWindowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    const int w = kWindowWidth;
    const int h = kWindowHeight;
    // Cut 5-pixel corners.
    const QPolygon outline({QPoint(kCorner, 0), QPoint(0, kCorner), QPoint(0, h - kCorner),
                            QPoint(kCorner, h), QPoint(w - kCorner, h), QPoint(w, h - kCorner),
                            QPoint(w, kCorner), QPoint(w - kCorner, 0), QPoint(kCorner, 0)});
    setMask(QRegion(outline));
    setWindowIcon(QIcon(Skin(kIcon)));

    // The name is what a screen reader says for the picture.
    auto makeButton = [this](int bitmap, int id, int frames, int x, int y, const QString& name) {
        auto* button = new CSkinBitmapButton(bitmap, this, id, frames, x, y);
        button->SetDrawFocus(false);
        button->setAccessibleName(name);
        connect(button, &CSkinBitmapButton::clicked, this, &MainWindow::OnButton);
        return button;
    };
    minimize_ = makeButton(141, kMinimize, 2, 282, 10, tr("Minimalizuj"));
    close_ = makeButton(142, kClose, 2, 301, 10, tr("Zamknij"));
    panel_ = new StatusPanel(this);
    panel_->move(15, 17);
    connect_ = makeButton(241, kConnect, 3, 176, 117, tr("Połącz"));
    disconnect_ = makeButton(242, kDisconnect, 3, 176, 117, tr("Rozłącz"));
    menu_ = makeButton(157, kMenu, 2, 237, 10, tr("Menu"));
    menuDisabled_ = makeButton(225, kMenuDisabled, 3, 237, 10, tr("Menu"));
    disconnect_->hide();
    menu_->hide();
    menuDisabled_->setEnabled(false);
    connect_->setEnabled(false);
    disconnect_->setEnabled(false);
    setWindowOpacity(1.0);

    if (options_.startMinimized) {
        QMetaObject::invokeMethod(
            this, [this] { showMinimized(); }, Qt::QueuedConnection);
    }
    SetDeviceStatusCode(1);
    SetStatusText(Tr::tr("Inicjalizacja… "));

    view_ = new QtDeviceView(this);
    prompt_ = new QtUserPrompt(this, &context_.closing);

    flows_ = std::make_unique<CScreenFlowThread>();

    if (wrapper_.Bind([this](const std::string& message) {
            Prompt().Message(QString::fromStdString(message), QString(), PromptIcon::Stop, PromptButtons::Ok);
        }) != 0) {
        return false;
    }
    notifier_ = new CDesktopNotifier(this);
    boxLoads_ = std::make_unique<CHandOffQueue>([this](std::vector<uint8_t> token) { OnBoxLoaded(token); });
    messages_ =
        std::make_unique<CHandOffQueue>([this](std::vector<uint8_t> report) { OnMessageReport(report); });
    notify_ = std::make_unique<ModemNotifyForwarder>(wrapper_, messages_.get());
    wrapper_.SetNotifyWindow(notify_.get());

    if (options_.splash && !options_.startMinimized) {
        auto* splash = new SplashWindow(this);
        connect(splash, &SplashWindow::gone, this, [this] { update(); });
        splash->Start();
    }
    static constexpr int kNoticeBitmaps[3] = {178, 180, 181};
    for (int i = 0; i < 3; ++i) {
        notices_[i] = new NoticeWindow(kNoticeBitmaps[i], &context_.noticeShown[i], this);
    }

    dialup_ = dialup::CreateDialupService();
    profiles_ = std::make_unique<CProfiles>(wrapper_, *dialup_);
    ConnectionHooks hooks;
    hooks.readDefaultProfile = [this](ProfileRecord* record) {
        const QString name = profiles_->DefaultName();
        return !name.isEmpty() && profiles_->Read(name, record);
    };
    hooks.checkDefaultEntry = [this] { return profiles_->EntryCheck(profiles_->DefaultName()); };
    hooks.repairDefaultEntry = [this] { return profiles_->RepairEntry(profiles_->DefaultName()); };
    hooks.nowSeconds = [] { return static_cast<int64_t>(std::time(nullptr)); };
    connection_ = std::make_unique<CConnectionControl>(context_, wrapper_, settings_, *view_, Prompt(),
                                                       dialup_.get(), std::move(hooks));

    // The settings window, hidden until the menu button; made before the worker runs, so the library's
    // version is read while nobody else is inside the library.
    flows_host_ = new ScreenFlowHost(this, *flows_);
    PaneServices services(Session());
    services.settings = &settings_;
    if (options_.prompt != nullptr) {
        services.prompt = std::shared_ptr<IUserPrompt>(options_.prompt, [](IUserPrompt*) {});
    }
    services.statusText = [this] { return panel_->StatusText(); };
    services.reloadSettings = [this] { ReloadSettings(); };
    services.productText = settings::ProductText(QString::fromStdString(wrapper_.LibraryVersion()));
    services.profiles = profiles_.get();
    traffic_ = std::make_unique<CTrafficMeter>(TrafficFilePath());
    services.traffic = traffic_.get();
    settingsWindow_ = new SettingsWindow(std::move(services), *flows_, this);
    connect(settingsWindow_, &SettingsWindow::finished, this, [this] {
        show();
        raise();
    });
    connect(settingsWindow_, &SettingsWindow::advancedStatusRequested, this, &MainWindow::ShowAdvancedStatus);
    advancedTimer_.setSingleShot(true);
    connect(&advancedTimer_, &QTimer::timeout, this, &MainWindow::OnAdvancedConfigurationTimer);
    connect(settingsWindow_, &SettingsWindow::advancedConfigurationRequested, this,
            [this] { advancedTimer_.start(kAdvancedConfigurationDelayMs); });
    NetworkSetupHooks networkHooks;
    // The worker's copy: reading the wrapper here would wait for its call lock.
    networkHooks.discoveredAddress = [this] { return QString::fromStdString(context_.DiscoveredAddress()); };
    networkHooks.commands.minimise = [this] {
        if (!context_.closing.load()) {
            showMinimized();
        }
    };
    networkHooks.commands.beep = [] { QApplication::beep(); };
    networkHooks.prompt = options_.prompt;
    networkHooks.closing = &context_.closing;
    networkSetup_ = new NetworkSetupWindow(std::move(networkHooks), this);
    connect(settingsWindow_, &SettingsWindow::networkSetupRequested, this, &MainWindow::OpenNetworkSetup);

    tray_ = new CTrayIcon(this);
    connect(tray_, &CTrayIcon::connectRequested, this, [this] { OnButton(kConnect); });
    connect(tray_, &CTrayIcon::disconnectRequested, this, [this] { OnButton(kDisconnect); });
    connect(tray_, &CTrayIcon::showWindowRequested, this, &MainWindow::BringToFront);
    connect(tray_, &CTrayIcon::settingsRequested, this, [this] {
        if (!menu_->isHidden()) {
            OnButton(kMenu);
        }
    });
    connect(tray_, &CTrayIcon::quitRequested, this, &MainWindow::StartClosing);
    connect(tray_, &CTrayIcon::toggleRequested, this, &MainWindow::ToggleShown);
    desktop_ = DesktopOptions::Load();
    ApplyDesktopOptions();

    show();
    connect(&blinkTimer_, &QTimer::timeout, this, &MainWindow::OnBlinkTick);
    blinkTimer_.start(kBlinkTimerMs);
    unblockTimer_.setSingleShot(true);
    connect(&unblockTimer_, &QTimer::timeout, this, [this] {
        inputBlocked_ = false;
        QApplication::restoreOverrideCursor();
    });
    StartWorker();
    return true;
}

void MainWindow::StartWorker() {
    MachineHooks hooks;
    hooks.driverReportsDevice = [this] {
        return DriverReportsDevice(settings_.Record().automaticPort.load() != 0, wrapper_.OsClass());
    };
    hooks.createPreset = [this] { return profiles_->CreatePreset(false); };
    hooks.traffic = traffic_.get();
    hooks.nowSeconds = [] { return static_cast<int64_t>(std::time(nullptr)); };
    machine_ = std::make_unique<CDeviceStateMachine>(context_, wrapper_, settings_, *view_, Prompt(), clock_,
                                                     *connection_, std::move(hooks));
    ProcessFlags::workerRunning.store(true);
    worker_ = std::thread([this] {
        platform::NameThisThread("velmo-worker");
        machine_->Run();
        ProcessFlags::workerRunning.store(false);
    });
}

IUserPrompt& MainWindow::Prompt() {
    if (options_.prompt != nullptr) {
        return *options_.prompt;
    }
    return *prompt_;
}

void MainWindow::OnButton(int id) {
    if (inputBlocked_) {
        return;
    }
    switch (id) {
        case kMinimize:
            if (!context_.closing.load()) {
                showMinimized();
            }
            break;
        case kClose:
            StartClosing();
            break;
        case kConnect:
            StopReconnecting();
            BlockInput(connection_->OnConnectButton());
            break;
        case kDisconnect: {
            const int block = connection_->OnDisconnectButton();
            disconnectAsked_ = disconnectAsked_ || block > 0;
            BlockInput(block);
            break;
        }
        case kMenu:
            if (!context_.closing.load()) {
                settingsWindow_->Open();
            }
            break;
        default:
            break;
    }
}

void MainWindow::BlockInput(int ms) {
    if (ms <= 0) {
        return;
    }
    if (!inputBlocked_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    inputBlocked_ = true;
    unblockTimer_.start(ms);
}

void MainWindow::StartClosing() {
    bool expected = false;
    if (!context_.closing.compare_exchange_strong(expected, true)) {
        return;
    }
    SetStatusText(context_.prlDownloading.load() ? Tr::tr("Zamykanie po zakończeniu ładowania listy PRL… ")
                                                 : Tr::tr("Zamykanie… "));
    if (prompt_ != nullptr) {
        prompt_->CancelOpen();
    }
    if (!ProcessFlags::workerRunning.load()) {
        // Nothing will post the close (binding failed or the worker is gone).
        QMetaObject::invokeMethod(
            this, [this] { Shutdown(); }, Qt::QueuedConnection);
    }
}

void MainWindow::Shutdown() {
    if (shutdownStarted_) {
        return;
    }
    shutdownStarted_ = true;
    context_.RequestClosing();
    context_.disconnectRequested.store(1);
    // A roaming list half sent leaves the modem offline without a list: the download ends first, within its
    // own time-outs, and is not aborted.
    const uint32_t waitStart = clock_.TickCount();
    while (context_.prlDownloading.load() &&
           clock_.TickCount() - waitStart < static_cast<uint32_t>(kPrlEndWaitMs)) {
        QEventLoop loop;
        QTimer::singleShot(kWorkerEndPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    wrapper_.Abort();
    blinkTimer_.stop();
    if (prompt_ != nullptr) {
        prompt_->CancelOpen();
    }
    advancedTimer_.stop();
    if (advanced_ != nullptr) {
        advanced_->CancelQuestions();
    }
    if (advancedConfig_ != nullptr) {
        advancedConfig_->CancelQuestions();
    }
    if (settingsWindow_ != nullptr) {
        settingsWindow_->CancelQuestions();
    }
    if (networkSetup_ != nullptr) {
        networkSetup_->CancelQuestions();
    }
    // Every question now answers "cancel" and every pause lets go: the flows end quickly.
    WaitForFlows();
    for (NoticeWindow*& notice : notices_) {
        delete notice;
        notice = nullptr;
    }
    delete advanced_.data();
    delete advancedConfig_.data();
    delete rfGraph_.data();
    delete settingsWindow_;
    settingsWindow_ = nullptr;
    delete networkSetup_;
    networkSetup_ = nullptr;

    // Wait for the worker with the event loop running, so that a question it is asking gets its "cancel".
    const uint32_t start = clock_.TickCount();
    while (ProcessFlags::workerRunning.load() &&
           clock_.TickCount() - start < static_cast<uint32_t>(kWorkerEndWaitMs)) {
        QEventLoop loop;
        QTimer::singleShot(kWorkerEndPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (!ProcessFlags::workerRunning.load()) {
        if (worker_.joinable()) {
            worker_.join();
        }
        if (traffic_ != nullptr) {
            traffic_->Save();
        }
        wrapper_.Close();
        wrapper_.Unbind();
    } else {
        // The worker may still be inside the library: leave the wrapper and the library alone.
        qCWarning(lcMainWindow) << "the device worker did not end in time";
        worker_.detach();
    }
    // Another program's questions end here; a box still being read is answered "closing".
    delete bus_;
    bus_ = nullptr;
    if (tray_ != nullptr) {
        tray_->SetShown(false);
    }
    shutDown_ = true;
    hide();
    emit finished();
}

void MainWindow::OnAdvancedConfigurationTimer() {
    if (context_.closing.load()) {
        return;
    }
    const ModemSession session = Session();
    IUserPrompt* prompt = &Prompt();
    auto allowed = std::make_shared<bool>(false);
    flows_host_->Run(
        [session, prompt, allowed] { *allowed = CSpcGateFlow(session, *prompt).OnAdvancedConfiguration(); },
        [this, allowed] {
            if (*allowed && !context_.closing.load()) {
                ShowAdvancedConfiguration();
                emit advancedConfigurationAllowed();
            }
        });
}

void MainWindow::WaitForFlows() {
    if (flows_ == nullptr) {
        return;
    }
    // A flow may be waiting for the window thread to answer a question: keep the event loop running.
    const uint32_t start = clock_.TickCount();
    while (!flows_->Idle() && clock_.TickCount() - start < static_cast<uint32_t>(kFlowEndWaitMs)) {
        QEventLoop loop;
        QTimer::singleShot(kWorkerEndPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (flows_->Idle()) {
        flows_->Stop();
    } else {
        // It is stuck inside the library: like a worker that does not end, it is left alone.
        qCWarning(lcMainWindow) << "a screen's flow did not end in time";
        (void)flows_.release();
    }
}

void MainWindow::BringToFront() {
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::ReloadSettings() {
    settings_.Reload();
    desktop_ = DesktopOptions::Load();
    ApplyDesktopOptions();
}

// --- the desktop -----------------------------------------------------------------------------------------

void MainWindow::ApplyDesktopOptions() {
    if (shutdownStarted_) {
        return;
    }
    if (diagnostics::Enabled() != desktop_.diagnostics) {
        diagnostics::SetEnabled(desktop_.diagnostics);
    }
    tray_->SetShown(desktop_.trayIcon);
    if (!tray_->Shown() && isHidden() && !shutDown_) {
        // Only the tray could bring a hidden window back.
        show();
    }
    if (desktop_.busInterface && bus_ == nullptr) {
        bus_ = new CModemBus(*this, QDBusConnection::sessionBus(), this);
        QString why;
        if (bus_->Register(&why)) {
            bus_->Publish(Snapshot());
        } else {
            qCInfo(lcMainWindow) << "no D-Bus interface:" << why;
            delete bus_;
            bus_ = nullptr;
        }
    } else if (!desktop_.busInterface && bus_ != nullptr) {
        delete bus_;
        bus_ = nullptr;
    }
}

ModemSnapshot MainWindow::Snapshot() const {
    ModemSnapshot s;
    s.connectionState = context_.connectionState.load();
    s.statusText = panel_->StatusText();
    s.linkType = settings_.Record().linkType.load();
    s.signalBars = s.connectionState >= kConnReady ? BarsFromSignalLevel(signalLevel_) : 0;
    s.menuShown = !menu_->isHidden();
    s.connectEnabled = !connect_->isHidden() && connect_->isEnabled();
    s.disconnectEnabled = !disconnect_->isHidden() && disconnect_->isEnabled();
    s.closing = context_.closing.load();
    s.connectionStart = context_.connectionStart.load();
    s.disconnectAsked = disconnectAsked_ || context_.disconnectRequested.load() != 0;
    s.ownCall = context_.ownCall.load();
    s.automaticDial = reconnect_.Active();
    s.cardQuestionKind = context_.cardQuestionKind.load();
    s.cardQuestions = context_.cardQuestions.load();
    s.dialErrors = context_.dialErrors.load();
    s.lastDialError = QString::fromStdString(context_.LastDialError());
    if (traffic_ != nullptr && s.ownCall && CallUp(s.connectionState)) {
        s.traffic = traffic_->Current();
    }
    FillModemValues(s, context_.StatusCopy(), context_.User(), context_.capability.load(),
                    context_.deviceStatusCode.load());
    return s;
}

void MainWindow::UpdateDesktop() {
    if (tray_ == nullptr || shutDown_) {
        return;
    }
    const ModemSnapshot s = Snapshot();
    tray_->Update(s, static_cast<int64_t>(std::time(nullptr)));
    if (bus_ != nullptr) {
        bus_->Publish(s);
    }
    // Nothing pops up while the user is looking at the main window itself.
    const bool watched = isActiveWindow();
    const auto notify = [&](const DesktopNotice& notice) {
        if (desktop_.notifications && !watched && !s.closing) {
            notifier_->Notify(notice.title, notice.body.toHtmlEscaped(), notice.icon);
        }
    };
    for (const DesktopNotice& notice : events_.Update(s)) {
        notify(notice);
    }
    ReconnectInputs in;
    in.enabled = desktop_.reconnect;
    in.connectionState = s.connectionState;
    in.ownCall = s.ownCall;
    in.disconnectAsked = s.disconnectAsked;
    in.closing = s.closing;
    in.dialErrors = s.dialErrors;
    switch (reconnect_.Update(in, clock_.TickCount())) {
        case CReconnect::Action::Dial:
            qCInfo(lcMainWindow) << "dialling again after a drop, attempt" << reconnect_.Attempt();
            context_.automaticDial.store(true);
            connection_->OnConnectButton();
            break;
        case CReconnect::Action::GaveUp: {
            const DesktopNotice notice = ReconnectFailedNotice();
            Prompt().MessageNoWait(notice.body, Tr::tr("Połączenie"), PromptIcon::Exclamation);
            notify(notice);
            break;
        }
        case CReconnect::Action::None:
            break;
    }
    context_.automaticDial.store(reconnect_.Active());
    if (!CallUp(s.connectionState)) {
        disconnectAsked_ = false;
    }
}

void MainWindow::StopReconnecting() {
    reconnect_.Cancel();
    context_.automaticDial.store(false);
}

void MainWindow::ToggleShown() {
    if (context_.closing.load()) {
        return;
    }
    if (isVisible() && !isMinimized()) {
        hide();
    } else {
        BringToFront();
    }
}

std::optional<Refusal> MainWindow::RequestConnect() {
    if (auto refusal = ConnectRefusal(Snapshot())) {
        return refusal;
    }
    if (inputBlocked_) {
        return Refuse("Busy", QStringLiteral("VelmoManager is still acting on the previous request"));
    }
    // The button's request; the window stays as it was, since nobody clicked it.
    StopReconnecting();
    connection_->OnConnectButton();
    return std::nullopt;
}

std::optional<Refusal> MainWindow::RequestDisconnect() {
    if (auto refusal = DisconnectRefusal(Snapshot())) {
        return refusal;
    }
    if (inputBlocked_) {
        return Refuse("Busy", QStringLiteral("VelmoManager is still acting on the previous request"));
    }
    disconnectAsked_ = disconnectAsked_ || connection_->OnDisconnectButton() > 0;
    return std::nullopt;
}

void MainWindow::LoadBox(sms::Box box, BoxDone done) {
    if (context_.closing.load() || flows_ == nullptr) {
        done({}, Refuse("Closing", QStringLiteral("VelmoManager is closing")));
        return;
    }
    const int32_t state = context_.connectionState.load();
    if (state == kConnNone || state == kConnDeviceFound) {
        done({}, Refuse("NoModem", QStringLiteral("No modem is there to read messages from")));
        return;
    }
    const uint32_t id = nextLoad_++;
    auto job = std::make_shared<BoxJob>();
    loads_[id] = BoxLoad{job, done};
    CHandOffQueue* queue = boxLoads_.get();
    const ModemSession session = Session();
    const bool posted = flows_->Post(
        [session, box, job] {
            QuietPrompt prompt;
            CSmsFlow flow(session, prompt);
            job->rows = flow.OnShowBox(smspane::SmsPaneState{}, box).rows;
            if (prompt.First()) {
                job->refusal = Refuse("ReadFailed", *prompt.First());
            }
        },
        [queue, id] {
            uint8_t token[sizeof id];
            std::memcpy(token, &id, sizeof id);
            queue->Push(token);
        });
    if (!posted) {
        loads_.erase(id);
        done({}, Refuse("Closing", QStringLiteral("VelmoManager is closing")));
    }
}

void MainWindow::OnBoxLoaded(const std::vector<uint8_t>& token) {
    uint32_t id = 0;
    if (token.size() != sizeof id) {
        return;
    }
    std::memcpy(&id, token.data(), sizeof id);
    const auto it = loads_.find(id);
    if (it == loads_.end()) {
        return;
    }
    const BoxLoad load = it->second;
    loads_.erase(it);
    load.done(load.job->rows, load.job->refusal);
}

void MainWindow::OpenNetworkSetup() {
    if (context_.closing.load() || networkSetup_ == nullptr) {
        return;
    }
    const std::optional<QString> refusal =
        NetworkSetupRefusal(context_.connectionState.load(), settings_.Record().linkType.load());
    if (refusal) {
        Prompt().Message(*refusal, AppCaption(), PromptIcon::Exclamation, PromptButtons::Ok);
        return;
    }
    networkSetup_->show();
    networkSetup_->raise();
    networkSetup_->activateWindow();
}

RfGraphWindow* MainWindow::RfGraph() const {
    return rfGraph_.data();
}

void MainWindow::ShowRfGraph() {
    if (context_.closing.load()) {
        return;
    }
    if (rfGraph_ == nullptr) {
        rfGraph_ = new RfGraphWindow(Session(), *flows_, this);
        connect(rfGraph_, &RfGraphWindow::closed, this, [this] { rfGraph_ = nullptr; });
    }
    rfGraph_->show();
    rfGraph_->raise();
}

programming::AdvancedConfigWindow* MainWindow::AdvancedConfiguration() const {
    return advancedConfig_.data();
}

void MainWindow::ShowAdvancedConfiguration() {
    if (advancedConfig_ == nullptr) {
        advancedConfig_ = new programming::AdvancedConfigWindow(
            Session(), *flows_, [this] { return settings_.Record().linkType.load(); }, options_.prompt, this);
        connect(advancedConfig_, &programming::AdvancedConfigWindow::closed, this,
                [this] { advancedConfig_ = nullptr; });
    }
    advancedConfig_->show();
    advancedConfig_->raise();
    advancedConfig_->activateWindow();
}

AdvancedStatusDialog* MainWindow::AdvancedStatus() const {
    return advanced_.data();
}

void MainWindow::ShowAdvancedStatus() {
    if (advanced_ == nullptr) {
        advanced_ = new AdvancedStatusDialog(Session(), *flows_, options_.prompt, this);
        advanced_->SetRfBlockReader([this] { return wrapper_.RfBlockAFirst(); });
        connect(advanced_, &AdvancedStatusDialog::closed, this, [this] { advanced_ = nullptr; });
        connect(advanced_, &AdvancedStatusDialog::rfMonitorRequested, this, &MainWindow::ShowRfGraph);
    }
    advanced_->Refresh();
    advanced_->show();
    advanced_->raise();
}

// --- display -------------------------------------------------------------------------------------------

void MainWindow::SetStatusText(const QString& text) {
    const bool changed = panel_->SetStatusText(text);
    connect_->setEnabled(text == ReadyText());
    if (changed) {
        emit statusTextChanged(text);
        UpdateDesktop();
    }
}

void MainWindow::SetDeviceStatusCode(int code) {
    context_.deviceStatusCode.store(code);
}

void MainWindow::SetSignalLevel(int level) {
    signalLevel_ = level;
    panel_->SetSignalLevel(level);
}

void MainWindow::SetBatteryLevel(int level) {
    batteryLevel_ = level;
    panel_->SetBatteryLevel(level);
}

void MainWindow::SetChargingAnimation(bool on) {
    charging_ = on;
}

void MainWindow::SetBatteryWord(uint16_t word) {
    battery_ = word;
}

void MainWindow::SetTrafficFlag(bool on) {
    if (!on) {
        panel_->SetTrafficIndicator(false);
    }
}

void MainWindow::SetVoiceMailIcon(bool on) {
    panel_->SetVoiceMailIcon(on);
}

void MainWindow::SetNetworkImage(int image) {
    panel_->SetNetworkImage(image);
}

void MainWindow::SetConnectionImage(int image) {
    panel_->SetConnectionImage(image);
}

void MainWindow::SetConnectedLook(bool connected) {
    connect_->setVisible(!connected);
    disconnect_->setVisible(connected);
}

void MainWindow::SetConnectButtonsEnabled(bool enabled) {
    connect_->setEnabled(enabled);
    disconnect_->setEnabled(enabled);
}

void MainWindow::SetMenuShown(bool shown) {
    menu_->setVisible(shown);
    menuDisabled_->setVisible(!shown);
}

void MainWindow::ClearNotices() {
    blink_.ClearNotices();
    panel_->SetNoticeText(QStringLiteral(" "), false);
}

void MainWindow::ShowNoticeWindow(NoticeWindowId id) {
    if (notices_[id] != nullptr && !context_.closing.load()) {
        notices_[id]->Show();
    }
}

void MainWindow::StatusRefreshed() {
    if (advanced_ != nullptr) {
        advanced_->Refresh();
    }
}

void MainWindow::OnBlinkTick() {
    BlinkInputs in;
    // The traffic flag is the modem's "in traffic" of the last polling cycle.
    in.traffic = context_.StatusCopy().InTraffic != 0;
    in.connectionState = context_.connectionState.load();
    in.charging = charging_;
    in.battery = battery_;
    in.batteryLevel = batteryLevel_;
    in.notices.battery = battery_;
    in.notices.noticeCShown = context_.noticeShown[kNoticeC].load();
    in.notices.noticeAShown = context_.noticeShown[kNoticeA].load();
    in.notices.voiceMail = context_.voiceMail.load() != 0;
    const BlinkOutputs out = blink_.Tick(in);
    panel_->SetTrafficIndicator(out.trafficOn);
    if (out.batteryChanged) {
        batteryLevel_ = out.batteryLevel;
        panel_->SetBatteryLevel(out.batteryLevel);
    }
    if (out.noticeChanged) {
        panel_->SetNoticeText(out.notice.index == 0 ? QStringLiteral(" ") : out.notice.text,
                              out.notice.alert);
    }
    UpdateDesktop();
}

// --- window behaviour ----------------------------------------------------------------------------------

void MainWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, Skin(kBackgroundBitmap));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (shutDown_) {
        event->accept();
        return;
    }
    // The system close only starts closing; the window stays until the worker has finished.
    event->ignore();
    StartClosing();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !inputBlocked_) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        minimized_ = isMinimized();
    } else if (event->type() == QEvent::ActivationChange) {
        update(QRect(QPoint(10, 6), QPoint(90, 21)));
    }
    QWidget::changeEvent(event);
}

}  // namespace velmo::manager
