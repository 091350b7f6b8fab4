#include "DeviceStateMachine.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "CModemWrapper.h"
#include "CardFlow.h"
#include "ConnectionControl.h"
#include "DeviceView.h"
#include "ModemSession.h"
#include "PrefMode.h"
#include "Settings.h"
#include "StatusModel.h"
#include "Texts.h"
#include "Traffic.h"
#include "UserPrompt.h"

Q_LOGGING_CATEGORY(lcState, "velmo.manager.state", QtWarningMsg)

namespace velmo::manager {

namespace {

// Tick lengths: short while steps succeed, long once a step keeps failing.
constexpr uint32_t kFastTickMs = 50;
constexpr uint32_t kSlowTickMs = 200;
constexpr int32_t kSlowTickRetries = 2;
// A third consecutive failure closes the device.
constexpr int32_t kMaxRetries = 2;

// Waits in ticks.
constexpr int32_t kStepWait = 2;
constexpr int32_t kFoundWait = 20;
constexpr int32_t kClosedWait = 20;
constexpr int32_t kSearchWait = 40;
constexpr int32_t kSlowSearchWait = 1200;
constexpr int32_t kSlowSearchAfter = 50;
constexpr int32_t kStartupWait = 4;

// Pauses around card requests and the quit packets.
constexpr uint32_t kShortPauseMs = 100;
constexpr uint32_t kQuitPauseMs = 1000;

constexpr uint16_t kQuitArgument = 3;

}  // namespace

#define VELMO_STATE_ROW(state, step) \
    { state, #state, step }
const CDeviceStateMachine::StateRow CDeviceStateMachine::kStates[] = {
    VELMO_STATE_ROW(DM_STATE_UNINIT, &CDeviceStateMachine::StepUninit),
    VELMO_STATE_ROW(DM_STATE_TRY_OPEN, &CDeviceStateMachine::StepTryOpen),
    VELMO_STATE_ROW(DM_STATE_NOMODEM, &CDeviceStateMachine::StepNoModem),
    VELMO_STATE_ROW(DM_STATE_ETHER_CLOSE, &CDeviceStateMachine::StepEtherClose),
    VELMO_STATE_ROW(DM_STATE_ETHER_IDLE, &CDeviceStateMachine::StepEtherIdle),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE, &CDeviceStateMachine::StepUsbIdle),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_1, &CDeviceStateMachine::StepPrefMode),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_2, &CDeviceStateMachine::StepCapability),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_3, &CDeviceStateMachine::StepRuimCheck),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_4, &CDeviceStateMachine::StepStatus0),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_5, &CDeviceStateMachine::StepParameter11),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_6, &CDeviceStateMachine::StepStatus2),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_8, &CDeviceStateMachine::StepStatus3),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_9, &CDeviceStateMachine::StepStatus45),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_10, &CDeviceStateMachine::StepUserStatus),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_11, &CDeviceStateMachine::StepEvaluate),
    VELMO_STATE_ROW(DM_STATE_USB_IDLE_12, &CDeviceStateMachine::StepCycleEnd),
    VELMO_STATE_ROW(DM_STATE_USB_CLOSE, &CDeviceStateMachine::StepUsbClose),
    VELMO_STATE_ROW(DM_STATE_PRE_QUIT, &CDeviceStateMachine::StepPreQuit),
    VELMO_STATE_ROW(DM_STATE_QUIT, &CDeviceStateMachine::StepQuit),
};
#undef VELMO_STATE_ROW

const CDeviceStateMachine::StateRow* CDeviceStateMachine::FindState(int32_t value) {
    for (const StateRow& row : kStates) {
        if (row.value == value) {
            return &row;
        }
    }
    return nullptr;
}

CDeviceStateMachine::CDeviceStateMachine(DeviceContext& context, CModemWrapper& wrapper, CSettings& settings,
                                         IDeviceView& view, IUserPrompt& prompt, platform::IClock& clock,
                                         CConnectionControl& connection, MachineHooks hooks)
    : context_(context),
      wrapper_(wrapper),
      settings_(settings),
      view_(view),
      prompt_(prompt),
      clock_(clock),
      connection_(connection),
      hooks_(std::move(hooks)) {}

void CDeviceStateMachine::Trace(const std::string& line) {
    if (trace_) {
        trace_(line);
    }
    qCDebug(lcState).noquote() << QString::fromStdString(line);
}

void CDeviceStateMachine::Note(const std::string& what) {
    Trace("  " + what);
}

uint32_t CDeviceStateMachine::PollTick() const {
    return retry_.load() >= kSlowTickRetries ? kSlowTickMs : kFastTickMs;
}

void CDeviceStateMachine::WaitTick() {
    const bool locked = context_.lockFlag.load() != 0 && !context_.closing.load();
    // A held lock with nothing to wait for would spin: it costs a tick instead.
    if (wait_.load() == 0 && !locked) {
        return;
    }
    const auto closingNow = [this] {
        const int32_t state = State();
        return context_.closing.load() && state != DM_STATE_PRE_QUIT && state != DM_STATE_QUIT;
    };
    if (closingNow()) {
        return;
    }
    // Ticks that would only count the wait down pass in one sleep. Closing ends it at once; a pause that
    // comes ends it at the end of the tick it came in, where a tick-by-tick loop would have seen it, with the
    // ticks before it counted off the wait.
    const uint32_t tick = PollTick();
    const int32_t ticks = locked ? 1 : std::max(wait_.load(), 1);
    const uint32_t start = clock_.TickCount();
    const bool woken = clock_.SleepUnless(static_cast<uint32_t>(ticks) * tick, context_.workerWakeup, [&] {
        return closingNow() || (!locked && context_.lockFlag.load() != 0);
    });
    if (woken && closingNow()) {
        return;
    }
    int32_t passed = ticks;
    if (woken) {
        const uint32_t elapsed = clock_.TickCount() - start;
        passed = std::clamp(static_cast<int32_t>((elapsed + tick - 1) / tick), 1, ticks);
        const uint32_t tickEnd = static_cast<uint32_t>(passed) * tick;
        if (elapsed < tickEnd) {
            clock_.SleepUnless(tickEnd - elapsed, context_.workerWakeup, closingNow);
        }
    }
    // The last tick is counted by the caller, which first looks for a pause, a reset and closing.
    if (!locked && passed > 1) {
        wait_.fetch_sub(passed - 1);
    }
}

int CDeviceStateMachine::Run() {
    connection_.ResetCounters();
    SetLinkType(kLinkNone);
    context_.connectionState.store(kConnNone);
    SetDeviceStatusCode(2);
    context_.disconnectRequested.store(0);
    context_.connectRequested.store(0);
    SetState(DM_STATE_UNINIT);
    wait_.store(0);
    context_.workerStepping.store(1);
    retry_.store(0);
    bool pausedNoted = false;

    for (;;) {
        WaitTick();
        const int32_t current = State();
        if (context_.closing.load() && current != DM_STATE_PRE_QUIT && current != DM_STATE_QUIT) {
            char line[128];
            std::snprintf(line, sizeof line, "t=%u closing: %s -> DM_STATE_PRE_QUIT", clock_.TickCount(),
                          DeviceStateName(current));
            Trace(line);
            SetState(DM_STATE_PRE_QUIT);
            retry_.store(0);
            wait_.store(0);
            context_.lockFlag.store(0);
        }
        if (context_.lockFlag.load() == 0 && context_.deviceResetRequested.exchange(false) &&
            !context_.closing.load()) {
            char line[128];
            std::snprintf(line, sizeof line, "t=%u device reset: %s -> DM_STATE_USB_CLOSE",
                          clock_.TickCount(), DeviceStateName(current));
            Trace(line);
            SetState(DM_STATE_USB_CLOSE);
            retry_.store(0);
            wait_.store(0);
        }
        if (context_.lockFlag.load() != 0 && !context_.closing.load()) {
            context_.workerStepping.store(0);
            if (!pausedNoted) {
                char line[96];
                std::snprintf(line, sizeof line, "t=%u paused in %s wait=%d", clock_.TickCount(),
                              DeviceStateName(State()), wait_.load());
                Trace(line);
                pausedNoted = true;
            }
            continue;
        }
        context_.workerStepping.store(1);
        if (pausedNoted) {
            char line[96];
            std::snprintf(line, sizeof line, "t=%u resumed in %s wait=%d", clock_.TickCount(),
                          DeviceStateName(State()), wait_.load());
            Trace(line);
            pausedNoted = false;
        }
        if (wait_.fetch_sub(1) - 1 > 0) {
            continue;
        }

        const int32_t state = State();
        const StateRow* row = FindState(state);
        char line[128];
        if (row == nullptr) {
            std::snprintf(line, sizeof line, "t=%u %s has no step", clock_.TickCount(),
                          DeviceStateName(state));
            Trace(line);
            return kWorkerNoStep;
        }
        std::snprintf(line, sizeof line, "t=%u %s", clock_.TickCount(), row->name);
        Trace(line);
        (this->*row->step)();
        std::snprintf(line, sizeof line, "  -> %s wait=%d retry=%d", DeviceStateName(State()), wait_.load(),
                      retry_.load());
        Trace(line);
        if (quit_) {
            return kWorkerQuit;
        }
    }
}

bool CDeviceStateMachine::Fail(int32_t closeState) {
    if (retry_.fetch_add(1) + 1 > kMaxRetries) {
        SetState(closeState);
        return true;
    }
    return false;
}

void CDeviceStateMachine::SetDeviceStatusCode(int code) {
    context_.deviceStatusCode.store(code);
    view_.SetDeviceStatusCode(code);
}

void CDeviceStateMachine::SetLinkType(int32_t type) {
    settings_.Record().linkType.store(type);
}

void CDeviceStateMachine::ResetDeviceView() {
    view_.SetStatusText(" ");
    view_.SetConnectionImage(3);
    view_.SetConnectButtonsEnabled(false);
    view_.SetSignalLevel(0);
    view_.SetNetworkImage(-1);
    view_.SetBatteryLevel(0);
    view_.SetVoiceMailIcon(false);
    view_.SetTrafficIndicator(false);
    view_.ClearNotices();
    view_.SetChargingAnimation(false);
    context_.spcCheckNeeded.store(1);
    context_.deviceSearches.fetch_add(1);
    context_.connectRequested.store(0);
    context_.disconnectRequested.store(0);
    retry_.store(0);
    SetLinkType(kLinkNone);
    context_.connectionState.store(kConnDeviceFound);
    view_.SetConnectedLook(false);
    view_.SetMenuShown(false);
}

void CDeviceStateMachine::RequestClose() {
    if (!context_.closing.exchange(true)) {
        context_.workerWakeup.Notify();
        view_.SetStatusText(Tr::tr("Zamykanie… "));
    }
}

// State 1.
void CDeviceStateMachine::StepUninit() {
    ResetDeviceView();
    view_.SetStatusText(Tr::tr("Wyszukiwanie… "));
    SetState(DM_STATE_TRY_OPEN);
    searchFailures_.store(0);
    retry_.store(0);
    wait_.store(0);
}

bool CDeviceStateMachine::TryEthernet() {
    if (!wrapper_.OpenEthernetLink()) {
        Note("ethernet: not found");
        return false;
    }
    TakeOverDevice(kLinkEthernet);
    const std::string identity = wrapper_.DeviceText();
    context_.SetDeviceTexts(nullptr, &identity);
    // Read here, on the worker, for the network setup window's page address.
    context_.SetDiscoveredAddress(wrapper_.DiscoveredAddress());
    view_.SetConnectionImage(0);
    view_.SetConnectButtonsEnabled(false);
    view_.SetStatusText(Tr::tr("Wykryto urządzenie"));
    SetState(DM_STATE_ETHER_IDLE);
    wait_.store(kFoundWait);
    return true;
}

bool CDeviceStateMachine::TryUsb() {
    const bool reported = hooks_.driverReportsDevice ? hooks_.driverReportsDevice() : true;
    if (!reported) {
        Note("usb: the driver reports no device");
        return false;
    }
    if (!wrapper_.ReopenUsbPort()) {
        Note("usb: port did not open");
        return false;
    }
    TakeOverDevice(kLinkUsb);
    view_.SetConnectionImage(settings_.Record().automaticPort.load() != 0 ? 1 : 2);
    view_.SetConnectButtonsEnabled(true);
    view_.SetStatusText(Tr::tr("Wykryto urządzenie"));
    SetState(DM_STATE_USB_IDLE);
    wait_.store(kFoundWait);
    return true;
}

void CDeviceStateMachine::TakeOverDevice(int32_t linkType) {
    searchFailures_.store(0);
    ResetDeviceView();
    SetLinkType(linkType);
}

// State 2: the device search.
void CDeviceStateMachine::StepTryOpen() {
    const uint32_t first = CSettings::ReadCurrentPort();
    bool found = false;
    if (first == kLinkEthernet) {
        found = TryEthernet() || TryUsb();
    } else if (first >= 1 && first <= 3) {
        found = TryUsb() || TryEthernet();
    } else {
        Note("search: Current Port " + std::to_string(first) + ", no attempt");
    }
    if (!found) {
        SetLinkType(kLinkNone);
        searchFailures_.fetch_add(1);
        wait_.store(kSearchWait);
        SetState(DM_STATE_NOMODEM);
        view_.SetStatusText(Tr::tr("Wyszukiwanie… "));
    }
    CSettings::WriteCurrentPort(static_cast<uint32_t>(settings_.Record().linkType.load()));
}

// State 3.
void CDeviceStateMachine::StepNoModem() {
    ResetDeviceView();
    view_.SetStatusText(Tr::tr("Urządzenie niedostępne"));
    SetState(DM_STATE_TRY_OPEN);
    wait_.store(searchFailures_.load() < kSlowSearchAfter ? kSearchWait : kSlowSearchWait);
}

void CDeviceStateMachine::CloseEnding() {
    wrapper_.Close();
    if (hooks_.traffic != nullptr) {
        hooks_.traffic->End();
    }
    retry_.store(0);
    context_.connectionState.store(kConnNone);
    SetDeviceStatusCode(0);
    view_.SetConnectedLook(false);
    view_.SetTrafficIndicator(false);
    view_.SetMenuShown(false);
    context_.disconnectRequested.store(0);
    context_.connectRequested.store(0);
    view_.SetStatusText(Tr::tr("Urządzenie niedostępne"));
    SetState(DM_STATE_UNINIT);
    wait_.store(kClosedWait);
}

// State 19.
void CDeviceStateMachine::StepEtherClose() {
    CloseEnding();
}

// State 20: the Ethernet keep-alive.
void CDeviceStateMachine::StepEtherIdle() {
    SetState(DM_STATE_USB_IDLE_1);
    wait_.store(kStartupWait);
    if (wrapper_.ReadDeviceText()) {
        const std::string identity = wrapper_.DeviceText();
        context_.SetDeviceTexts(nullptr, &identity);
        retry_.store(0);
    } else {
        Fail(DM_STATE_ETHER_CLOSE);
    }
}

// State 30.
void CDeviceStateMachine::StepUsbIdle() {
    SetState(DM_STATE_USB_IDLE_1);
    wait_.store(kStartupWait);
    if (!context_.presetCheckDone.exchange(true)) {
        clock_.Sleep(kShortPauseMs);
        if (hooks_.createPreset && hooks_.createPreset()) {
            Note("preset profile created");
            settings_.Reload();
        }
    }
}

// State 31: the preferred mode.
void CDeviceStateMachine::StepPrefMode() {
    wait_.store(kStepWait);
    if (!wrapper_.ReadCachedParameter(ParamCode::PrefMode)) {
        Fail();
        return;
    }
    settings_.SyncPrefMode(prefmode::StoredEntryForModem(wrapper_.CachedWord(ParamCode::PrefMode)));
    SetState(DM_STATE_USB_IDLE_2);
    retry_.store(0);
}

// State 32: the capability value.
void CDeviceStateMachine::StepCapability() {
    wait_.store(kStepWait);
    if (const std::optional<uint16_t> value = wrapper_.ReadCapability()) {
        context_.capability.store(static_cast<int32_t>(*value));
        // A USB modem's identity text too, for the settings window (an Ethernet unit's came with its open);
        // nothing depends on it.
        if (settings_.Record().linkType.load() == kLinkUsb && wrapper_.ReadDeviceText()) {
            const std::string identity = wrapper_.DeviceText();
            context_.SetDeviceTexts(nullptr, &identity);
        }
        SetState(DM_STATE_USB_IDLE_3);
        retry_.store(0);
        return;
    }
    if (Fail()) {
        context_.capability.store(-1);
    }
}

// State 33: the RUIM card and its PIN.
void CDeviceStateMachine::StepRuimCheck() {
    wait_.store(kStepWait);
    if (!wrapper_.QueryStatus(1) || !wrapper_.ReadRuimMode()) {
        Fail();
        return;
    }
    const int16_t mode = wrapper_.RuimMode();
    if (mode == 0 || mode == 2) {
        clock_.Sleep(kShortPauseMs);
        const auto answer = wrapper_.CardStatus();
        const CardReply card = answer ? answer->reply : CardReply{};
        clock_.Sleep(kShortPauseMs);
        if (card.enable == 0) {
            context_.pinRequest.store(1);
        }
        const ModemSession session(wrapper_, context_, clock_);
        CCardFlow flow(session, prompt_, CCardFlow::Caller::Worker);
        CardOutcome outcome = CardOutcome::Go;
        if (card.uimAck == 0) {
            Note("card: not accepted");
            flow.OnCardRefused();
            if (mode == 0) {
                outcome = CardOutcome::CloseAndQuit;
            }
        } else if (card.enable == 0 && card.pinVerification != 3) {
            Note(card.remainedTime > 0
                     ? "card: PIN wanted, " + std::to_string(card.remainedTime) + " attempts"
                     : std::string("card: PUK wanted"));
            outcome = flow.OnCodeWanted(card);
        }
        if (outcome != CardOutcome::Go) {
            SetState(DM_STATE_USB_CLOSE);
            if (outcome == CardOutcome::CloseAndQuit) {
                RequestClose();
            }
            return;
        }
    } else {
        Note("card: check skipped, NV 855 = " + std::to_string(mode));
    }
    SetState(DM_STATE_USB_IDLE_4);
    retry_.store(0);
}

// State 34.
void CDeviceStateMachine::StepStatus0() {
    if (settings_.Record().linkType.load() == kLinkUsb) {
        wait_.store(kStepWait);
        if (!wrapper_.QueryStatus(0)) {
            Fail();
            return;
        }
    }
    SetState(DM_STATE_USB_IDLE_5);
    retry_.store(0);
}

// State 35.
void CDeviceStateMachine::StepParameter11() {
    wait_.store(kStepWait);
    if (wrapper_.ReadCachedParameter(ParamCode::DirNumber)) {
        const std::vector<uint8_t> v = wrapper_.CachedParameter(ParamCode::DirNumber);
        const std::string number(v.begin(), std::find(v.begin(), v.end(), uint8_t{0}));
        context_.SetDeviceTexts(&number, nullptr);
        SetState(DM_STATE_USB_IDLE_6);
    } else {
        Fail();
    }
}

// State 36.
void CDeviceStateMachine::StepStatus2() {
    wait_.store(kStepWait);
    if (wrapper_.QueryStatus(2)) {
        SetState(DM_STATE_USB_IDLE_8);
    } else {
        Fail();
    }
}

// State 38: the polling cycle starts here.
void CDeviceStateMachine::StepStatus3() {
    wait_.store(kStepWait);
    if (wrapper_.QueryStatus(3)) {
        SetState(DM_STATE_USB_IDLE_9);
    } else {
        Fail();
    }
}

// State 39.
void CDeviceStateMachine::StepStatus45() {
    wait_.store(kStepWait);
    if (wrapper_.QueryStatus(4) && wrapper_.QueryStatus(5)) {
        SetState(DM_STATE_USB_IDLE_10);
    } else {
        Fail();
    }
}

void CDeviceStateMachine::DecodeUserStatus(const UserStatusWords& words, UserStatus* user) {
    const uint16_t w0 = words[0];
    if ((w0 & 0x1) != 0 && !context_.noticeShown[kNoticeA].exchange(true)) {
        view_.ShowNoticeWindow(kNoticeA);
    }
    if ((w0 & 0x2) != 0) {
        if (context_.voiceMail.exchange(1) == 0 && !context_.noticeShown[kNoticeB].exchange(true)) {
            view_.ShowNoticeWindow(kNoticeB);
        }
    } else {
        context_.voiceMail.store(0);
    }
    view_.SetVoiceMailIcon(context_.voiceMail.load() != 0);
    if ((w0 & 0x4) != 0 && !context_.noticeShown[kNoticeC].exchange(true)) {
        view_.ShowNoticeWindow(kNoticeC);
    }
    context_.dormant.store((words[2] & 0x1) != 0 ? 1 : 0);

    user->evdoMagnitude = -static_cast<int32_t>(static_cast<int16_t>(words[3]));
    user->w4Magnitude = -static_cast<int32_t>(static_cast<int16_t>(words[4]));
    user->oneXMagnitude = words[5];
    user->w6 = words[6];
    user->secondNetwork = words[7];
    user->battery = LacksUserStatus(context_.capability.load()) ? uint16_t{0xFFFF} : words[1];
}

void CDeviceStateMachine::CopyStatus(const UserStatus* user) {
    // Taken from the wrapper first: its lock may be held by a screen's request, and the window thread must
    // never wait behind that for the status copy.
    ModemStatusRecord copy = wrapper_.Status();
    // The panel reads the mode where the network kind was.
    copy.NetworkKind = wrapper_.CachedWord(ParamCode::PrefMode);
    UserStatus shown;
    {
        std::lock_guard<std::mutex> lk(context_.statusLock);
        context_.statusCopy = copy;
        if (user != nullptr) {
            context_.user = *user;
        }
        copy = context_.statusCopy;
        shown = context_.user;
    }
    view_.StatusRefreshed();
    const int32_t capability = context_.capability.load();
    view_.SetNetworkImage(NetworkImage(copy, shown));
    view_.SetSignalLevel(SignalLevel(copy, shown, capability));
    view_.SetBatteryWord(shown.battery);
    if (LacksUserStatus(capability)) {
        view_.SetChargingAnimation(false);
    } else {
        const BatteryStrip strip = BatteryStripFor(shown.battery);
        if (strip.setLevel) {
            view_.SetBatteryLevel(strip.level);
        }
        view_.SetChargingAnimation(strip.charging);
    }
    view_.SetMenuShown(true);
}

// State 40: the user status.
void CDeviceStateMachine::StepUserStatus() {
    wait_.store(kStepWait);
    if (const std::optional<UserStatusWords> words = wrapper_.ReadUserStatus()) {
        UserStatus user;
        DecodeUserStatus(*words, &user);
        SetState(DM_STATE_USB_IDLE_11);
        CopyStatus(&user);
        return;
    }
    context_.dormant.store(0);
    Fail();
    CopyStatus(nullptr);
}

// State 41.
void CDeviceStateMachine::StepEvaluate() {
    const EvaluationOutcome out = connection_.Evaluate();
    SetState(out.nextState);
    wait_.store(out.wait);
    if (out.clearRetry) {
        retry_.store(0);
    }
}

// Once a cycle: what the call this manager dialled has moved, read here rather than by the window, which
// would wait behind the wrapper's lock. The dial-up service's connection time also corrects the start the
// duration display counts from (the dial callback set it when the call came up).
void CDeviceStateMachine::CountTraffic() {
    if (!context_.ownCall.load() || !CallUp(context_.connectionState.load())) {
        if (hooks_.traffic != nullptr) {
            hooks_.traffic->End();
        }
        return;
    }
    const std::optional<ConnectionStatistics> stats = wrapper_.ConnectionStatisticsOfCall();
    if (!stats || stats->Size == 0) {
        return;  // the service knows no call (yet)
    }
    const int64_t now = hooks_.nowSeconds ? hooks_.nowSeconds() : static_cast<int64_t>(std::time(nullptr));
    if (hooks_.traffic != nullptr) {
        hooks_.traffic->Feed(*stats, now);
    }
    const int64_t start = now - stats->ConnectDuration / 1000;
    const int64_t shown = context_.connectionStart.load();
    if (shown == 0 || shown - start > 2 || start - shown > 2) {
        context_.connectionStart.store(start);
    }
}

// State 42.
void CDeviceStateMachine::StepCycleEnd() {
    CountTraffic();
    wait_.store(kStepWait);
    SetState(DM_STATE_USB_IDLE_8);
    retry_.store(0);
}

// State 43.
void CDeviceStateMachine::StepUsbClose() {
    CloseEnding();
}

// State 44: tell the modem we are leaving, when a link is open.
void CDeviceStateMachine::StepPreQuit() {
    view_.SetStatusText(Tr::tr("Zamykanie… "));
    SetState(DM_STATE_QUIT);
    wait_.store(0);
    if (settings_.Record().linkType.load() != kLinkNone) {
        Note("quit packets");
        wrapper_.QuitMode(kQuitArgument);
        clock_.Sleep(kShortPauseMs);
        wrapper_.QuitRelease();
        clock_.Sleep(kQuitPauseMs);
    }
}

// State 45.
void CDeviceStateMachine::StepQuit() {
    view_.PostClose();
    quit_ = true;
}

}  // namespace velmo::manager
