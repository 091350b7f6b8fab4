#include "ConnectionControl.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>

#include "CModemWrapper.h"
#include "DeviceView.h"
#include "PrefMode.h"
#include "Settings.h"
#include "StatusModel.h"
#include "Texts.h"
#include "UserPrompt.h"
#include "platform/dialup/DialErrors.h"
#include "platform/dialup/DialupService.h"

namespace velmo::manager {

namespace {

// Dial states of the dial-up service.
enum : uint32_t {
    kOpenPort = 0,
    kPortOpened = 1,
    kConnectDevice = 2,
    kDeviceConnected = 3,
    kAllDevicesConnected = 4,
    kAuthenticate = 5,
    kAuthNotify = 6,
    kAuthRetry = 7,
    kAuthCallback = 8,
    kAuthenticated = 14,
    kPrepareForCallback = 15,
    kWaitForModemReset = 16,
    kRetryAuthentication = 4097,
    kPasswordExpired = 4099,
    kConnected = 8192,
    kDisconnected = 8193,
};

// The callback hangs up a failed dial on the dialler's own thread; the service only stops the process then.
constexpr std::chrono::milliseconds kDialHangUpWait{3000};

// Consecutive evaluations before a new connection state is shown.
constexpr int32_t kDebounce = 3;
// Ticks after a hang-up before the next cycle, and before the device is searched again after a dial error.
constexpr int32_t kHangUpWait = 40;

int64_t SystemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CConnectionControl::CConnectionControl(DeviceContext& context, CModemWrapper& wrapper, CSettings& settings,
                                       IDeviceView& view, IUserPrompt& prompt, dialup::IDialupService* dialup,
                                       ConnectionHooks hooks)
    : context_(context),
      wrapper_(wrapper),
      settings_(settings),
      view_(view),
      prompt_(prompt),
      dialup_(dialup),
      hooks_(std::move(hooks)) {
    instance_.store(this);
}

CConnectionControl::~CConnectionControl() {
    CConnectionControl* self = this;
    instance_.compare_exchange_strong(self, nullptr);
}

int CConnectionControl::OnConnectButton() {
    if (context_.closing.load() || settings_.Record().linkType.load() == kLinkEthernet) {
        return 0;
    }
    if (context_.connectionState.load() != kConnReady) {
        context_.connectRequested.store(0);
        return 0;
    }
    if (hooks_.checkDefaultEntry && !hooks_.checkDefaultEntry() && hooks_.repairDefaultEntry) {
        hooks_.repairDefaultEntry();
    }
    context_.connectRequested.store(1);
    return kConnectBlockMs;
}

int CConnectionControl::OnDisconnectButton() {
    if (context_.closing.load() || settings_.Record().linkType.load() == kLinkEthernet) {
        return 0;
    }
    const int32_t state = context_.connectionState.load();
    if (state != kConnConnected && state != kConnDormant) {
        context_.disconnectRequested.store(0);
        return 0;
    }
    context_.disconnectRequested.store(1);
    return kDisconnectBlockMs;
}

bool CConnectionControl::DialStateText(uint32_t state, QString* text) {
    switch (state) {
        case kOpenPort:
            *text = Tr::tr("Łączenie… ");
            return true;
        case kPortOpened:
            *text = Tr::tr("Łączenie… ") + ".";
            return true;
        case kConnectDevice:
            *text = Tr::tr("Łączenie… ") + "..";
            return true;
        case kDeviceConnected:
            *text = Tr::tr("Łączenie… ") + "...";
            return true;
        case kAllDevicesConnected:
            *text = Tr::tr("Łączenie… ") + "....";
            return true;
        case kAuthenticate:
            *text = Tr::tr("Uwierzytelnianie… ") + "..";
            return true;
        case kAuthNotify:
            *text = Tr::tr("Uwierzytelnianie… ") + "....";
            return true;
        case kAuthRetry:
            *text = Tr::tr("Ponawiam uwierzytelnienie… ");
            return true;
        case kAuthCallback:
        case kPrepareForCallback:
        case kWaitForModemReset:
        case kRetryAuthentication:
        case kDisconnected:
            *text = QString();
            return true;
        case kPasswordExpired:
            *text = Tr::tr("Hasło wygasło");
            return true;
        case kConnected:
            *text = Tr::tr("Połączono");
            return true;
        default:  // kAuthenticated and anything unknown leave the text
            return false;
    }
}

uint32_t CConnectionControl::DialStateCallback(uintptr_t connection, uint32_t /*message*/, uint32_t state,
                                               uint32_t error, uint32_t /*extendedError*/) {
    CConnectionControl* self = instance_.load();
    return self != nullptr ? self->OnDialState(connection, state, error) : 1;
}

void CConnectionControl::ShowText(const QString& text) {
    // A disconnect is on its way: the dial's own texts would only confuse.
    if (context_.disconnectRequested.load() == 0) {
        view_.SetStatusText(text);
    }
}

uint32_t CConnectionControl::OnDialState(uintptr_t connection, uint32_t state, uint32_t error) {
    if (error != 0) {
        ShowText(QString());
        context_.dialError.store(1);
        const int code = static_cast<int>(error);
        if (dialup_ != nullptr) {
            dialup_->HangUp(connection, kDialHangUpWait);
        }
        char head[32];
        std::snprintf(head, sizeof head, "Error %-3d: ", code);
        const QString text = QString::fromStdString(dialup::DialErrorText(code)).left(kDialErrorTextMax);
        context_.RecordDialError((QString::fromLatin1(head) + text).toStdString());
        if (!context_.automaticDial.load()) {
            prompt_.MessageNoWait(QString::fromLatin1(head) + text, Tr::tr("Połączenie"), PromptIcon::Stop);
        }
        return 1;
    }
    QString text;
    if (DialStateText(state, &text)) {
        ShowText(text);
    }
    if (state == kConnected) {
        context_.connectionState.store(kConnConnected);
        context_.connectRequested.store(0);
        view_.SetConnectedLook(true);
        context_.connectionStart.store(hooks_.nowSeconds ? hooks_.nowSeconds() : SystemSeconds());
        context_.ownCall.store(true);
    }
    return 1;
}

void CConnectionControl::ResetCounters() {
    connectedCount_ = 0;
    noNetworkCount_ = 0;
    readyCount_ = 0;
    dormantCount_ = 0;
}

void CConnectionControl::SetDeviceStatusCode(int code) {
    context_.deviceStatusCode.store(code);
    view_.SetDeviceStatusCode(code);
}

void CConnectionControl::HangUpEnding(EvaluationOutcome& out) {
    view_.SetStatusText(" ");
    view_.SetConnectedLook(false);
    out.wait = kHangUpWait;
}

EvaluationOutcome CConnectionControl::Evaluate() {
    EvaluationOutcome out;
    const int32_t state = context_.connectionState.load();

    if (context_.dormant.load() != 0) {
        if (state == kConnConnected) {
            if (++dormantCount_ >= kDebounce) {
                dormantCount_ = 0;
                context_.connectionState.store(kConnDormant);
                SetDeviceStatusCode(3);
                view_.SetStatusText(Tr::tr("Połączono (uśpiony)"));
                view_.SetConnectedLook(true);
            }
            return out;
        }
        // A dormant call still hangs up on request: waiting for traffic to resume could take forever.
        if (context_.disconnectRequested.load() != 0) {
            context_.disconnectRequested.store(0);
            context_.dormant.store(0);
            context_.connectionState.store(kConnNone);
            SetDeviceStatusCode(1);
            wrapper_.HangUp();
            HangUpEnding(out);
            return out;
        }
        if (state == kConnDormant) {
            return out;
        }
    } else {
        dormantCount_ = 0;
        if (state == kConnDormant) {
            view_.SetStatusText(Tr::tr("Połączono"));
            context_.connectionState.store(kConnConnected);
            SetDeviceStatusCode(3);
            view_.SetConnectedLook(true);
            return out;
        }
    }

    if (context_.dialError.load() != 0) {
        context_.connectionState.store(kConnNone);
        SetDeviceStatusCode(1);
        wrapper_.HangUp();
        view_.SetStatusText(" ");
        context_.dialError.store(0);
        context_.connectRequested.store(0);
        context_.disconnectRequested.store(0);
        view_.SetConnectedLook(false);
        view_.SetTrafficIndicator(false);
        out.clearRetry = true;
        out.wait = kHangUpWait;
        out.nextState = DM_STATE_USB_CLOSE;
        return out;
    }

    const ModemStatusRecord status = context_.StatusCopy();
    const uint16_t mode = status.NetworkKind;
    bool network = status.InService != 0;
    if (mode == prefmode::kModemEvdoOnly && status.EvdoPresent != 0) {
        network = true;
    }
    if (mode == prefmode::kModemHybrid && (status.EvdoPresent != 0 || status.RxState == 4)) {
        network = true;
    }
    if (!network) {
        if (state != kConnNoNetwork && ++noNetworkCount_ >= kDebounce) {
            noNetworkCount_ = 0;
            context_.connectionState.store(kConnNoNetwork);
            SetDeviceStatusCode(2);
            view_.SetStatusText(Tr::tr("Brak sieci"));
            view_.SetConnectedLook(false);
        }
        return out;
    }
    noNetworkCount_ = 0;

    if (status.InTraffic == 0) {
        if (context_.connectRequested.exchange(0) != 0) {
            ProfileRecord profile;
            if (hooks_.readDefaultProfile && hooks_.readDefaultProfile(&profile)) {
                wrapper_.Dial(&CConnectionControl::DialStateCallback, profile.name.toStdString(),
                              profile.phoneNumber.toStdString(), profile.userId.toStdString(),
                              profile.password.toStdString());
            } else {
                prompt_.Message(Tr::tr("Sprawdź profil połączenia USB"), QString(), PromptIcon::None);
            }
        }
        if (context_.connectionState.load() == kConnReady) {
            readyCount_ = 0;
            return out;
        }
        if (++readyCount_ >= kDebounce) {
            readyCount_ = 0;
            view_.SetStatusText(ReadyText());
            context_.connectionState.store(kConnReady);
            SetDeviceStatusCode(3);
            view_.SetConnectedLook(false);
        }
        return out;
    }

    if (state == kConnConnected || context_.connectRequested.load() != 0) {
        if (context_.disconnectRequested.exchange(0) != 0) {
            context_.connectionState.store(kConnNone);
            wrapper_.HangUp();
            SetDeviceStatusCode(1);
            HangUpEnding(out);
        }
        return out;
    }
    // Traffic that we did not dial: another program's connection.
    if (connectedCount_ < kDebounce) {
        ++connectedCount_;
        return out;
    }
    connectedCount_ = 0;
    context_.ownCall.store(false);
    view_.SetStatusText(Tr::tr("Połączono"));
    context_.connectionState.store(kConnConnected);
    SetDeviceStatusCode(3);
    view_.SetConnectedLook(true);
    return out;
}

}  // namespace velmo::manager
