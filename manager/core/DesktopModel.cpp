#include "DesktopModel.h"

#include <algorithm>

#include "RegistryKey.h"
#include "Settings.h"
#include "SettingsModel.h"
#include "StatusModel.h"
#include "Texts.h"

namespace velmo::manager {

namespace {

constexpr int kMaxBars = 5;
constexpr int kLowBatteryPercent = 20;

int Dbm(int magnitude, int deviceStatusCode) {
    if (magnitude <= 0 || deviceStatusCode == settings::kNoNetworkCode) {
        return 0;
    }
    return -std::min(magnitude, settings::kSignalLimit);
}

// Refusals every request shares: the program going, and an Ethernet unit, which connects by itself.
std::optional<Refusal> CommonRefusal(const ModemSnapshot& s) {
    if (s.closing) {
        return Refuse("Closing", QStringLiteral("VelmoManager is closing"));
    }
    if (s.linkType == kLinkEthernet) {
        return Refuse("EthernetLink",
                      QStringLiteral("The modem is an Ethernet unit, which keeps its own connection"));
    }
    return std::nullopt;
}

}  // namespace

Refusal Refuse(const char* name, const QString& message) {
    return {QStringLiteral("com.brivanta.VelmoManager.Error.") + QLatin1String(name), message};
}

DesktopOptions DesktopOptions::Load() {
    RegistryKey key(QString::fromLatin1(kSettingKey), true);
    DesktopOptions o;
    o.trayIcon = key.ReadDword(QString::fromLatin1(kTrayIconKey), 1) != 0;
    o.notifications = key.ReadDword(QString::fromLatin1(kNotificationsKey), 1) != 0;
    o.busInterface = key.ReadDword(QString::fromLatin1(kBusKey), 1) != 0;
    o.reconnect = key.ReadDword(QString::fromLatin1(kReconnectKey), 0) != 0;
    o.diagnostics = key.ReadDword(QString::fromLatin1(kDiagnosticsKey), 0) != 0;
    return o;
}

void DesktopOptions::Save() const {
    RegistryKey key(QString::fromLatin1(kSettingKey), true);
    key.WriteDword(QString::fromLatin1(kTrayIconKey), trayIcon ? 1 : 0);
    key.WriteDword(QString::fromLatin1(kNotificationsKey), notifications ? 1 : 0);
    key.WriteDword(QString::fromLatin1(kBusKey), busInterface ? 1 : 0);
    key.WriteDword(QString::fromLatin1(kReconnectKey), reconnect ? 1 : 0);
    key.WriteDword(QString::fromLatin1(kDiagnosticsKey), diagnostics ? 1 : 0);
}

void FillModemValues(ModemSnapshot& s, const ModemStatusRecord& status, const UserStatus& user,
                     int32_t capability, int deviceStatusCode) {
    if (s.connectionState == kConnNone || s.connectionState == kConnDeviceFound) {
        return;
    }
    switch (NetworkImage(status, user)) {
        case 4:
            s.networkType = QStringLiteral("EV-DO");
            break;
        case 3:
            s.networkType = QStringLiteral("1xRTT");
            break;
        default:
            break;
    }
    const bool plain = LacksUserStatus(capability);
    s.evdoDbm = Dbm(plain ? status.RssiEvdo : user.evdoMagnitude, deviceStatusCode);
    s.oneXDbm = Dbm(plain ? status.Rssi1x : user.oneXMagnitude, deviceStatusCode);
    s.batteryPercent = plain ? -1 : BatteryPercent(user.battery);
    s.onBattery = !plain && OnBatteryPower(user.battery);
    s.esn = settings::InformationFor(s.connectionState, status, QString(), QString()).esn;
}

int BarsFromSignalLevel(int level) {
    return std::clamp(level - 2, 0, kMaxBars);
}

TrayLook TrayLookFor(const ModemSnapshot& s) {
    switch (s.connectionState) {
        case kConnNoNetwork:
            return {TrayState::NoNetwork, 0};
        case kConnReady:
            return {TrayState::Ready, std::clamp(s.signalBars, 0, kMaxBars)};
        case kConnConnected:
            return {TrayState::Connected, std::clamp(s.signalBars, 0, kMaxBars)};
        case kConnDormant:
            return {TrayState::Dormant, std::clamp(s.signalBars, 0, kMaxBars)};
        default:
            return {TrayState::NoDevice, 0};
    }
}

QString TrayIconSvg(const TrayLook& look) {
    // The program icon's colours: the dark frame, lit bars in the skin's light blue (the tallest in white as
    // on the icon), unlit ones dark.
    const bool noDevice = look.state == TrayState::NoDevice;
    const QString frame = noDevice ? QStringLiteral("#4a4f55") : QStringLiteral("#2b3a4a");
    const QString edge = noDevice ? QStringLiteral("#8a9199") : QStringLiteral("#8fc1ee");
    QString svg = QStringLiteral(
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 "
                      "64\"><rect x=\"2\" y=\"2\" width=\"60\" height=\"60\" rx=\"12\" fill=\"%1\" "
                      "stroke=\"%2\" stroke-width=\"2\"/>")
                      .arg(frame, edge);
    for (int i = 0; i < kMaxBars; ++i) {
        const int height = 8 + 7 * i;
        const bool lit = i < look.bars;
        const QString fill =
            !lit ? QStringLiteral("#3c5064")
                 : (i == kMaxBars - 1 ? QStringLiteral("#e6eef6") : QStringLiteral("#8fc1ee"));
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"7\" height=\"%3\" rx=\"1.5\" fill=\"%4\"/>")
                   .arg(9 + 9 * i)
                   .arg(53 - height)
                   .arg(height)
                   .arg(fill);
    }
    switch (look.state) {
        case TrayState::NoDevice:
        case TrayState::NoNetwork:
            // A red cross at the top left.
            svg += QStringLiteral(
                "<circle cx=\"17\" cy=\"17\" r=\"11\" fill=\"#c0392b\"/><path d=\"M12 12 L22 22 M22 12 L12 "
                "22\" stroke=\"#ffffff\" stroke-width=\"3.5\" stroke-linecap=\"round\"/>");
            break;
        case TrayState::Connected:
            // A green badge with the arrows of traffic both ways.
            svg += QStringLiteral(
                "<circle cx=\"17\" cy=\"17\" r=\"11\" fill=\"#2e9e4f\"/><path d=\"M13 21 L13 11 M9.5 14.5 "
                "L13 "
                "11 L16.5 14.5 M21 13 L21 23 M17.5 19.5 L21 23 L24.5 19.5\" stroke=\"#ffffff\" "
                "stroke-width=\"2.5\" fill=\"none\" stroke-linecap=\"round\" stroke-linejoin=\"round\"/>");
            break;
        case TrayState::Dormant:
            // The same badge, amber and without arrows: connected, nothing moving.
            svg += QStringLiteral(
                "<circle cx=\"17\" cy=\"17\" r=\"11\" fill=\"#d4a017\"/><circle cx=\"17\" cy=\"17\" r=\"4\" "
                "fill=\"#ffffff\"/>");
            break;
        case TrayState::Ready:
            break;
    }
    svg += QStringLiteral("</svg>");
    return svg;
}

QString TrayLookName(const TrayLook& look) {
    switch (look.state) {
        case TrayState::NoDevice:
            return QStringLiteral("no-device");
        case TrayState::NoNetwork:
            return QStringLiteral("no-network");
        case TrayState::Ready:
            return QStringLiteral("ready-%1").arg(look.bars);
        case TrayState::Connected:
            return QStringLiteral("connected");
        case TrayState::Dormant:
            return QStringLiteral("dormant");
    }
    return QString();
}

std::vector<TrayLook> AllTrayLooks() {
    std::vector<TrayLook> looks{{TrayState::NoDevice, 0}, {TrayState::NoNetwork, 0}};
    for (int bars = 0; bars <= kMaxBars; ++bars) {
        looks.push_back({TrayState::Ready, bars});
    }
    looks.push_back({TrayState::Connected, 4});
    looks.push_back({TrayState::Dormant, 4});
    return looks;
}

QString TrayTooltip(const ModemSnapshot& s, int64_t now) {
    QStringList lines{AppCaption()};
    if (!s.statusText.trimmed().isEmpty()) {
        lines << s.statusText.trimmed();
    }
    if (!s.networkType.isEmpty()) {
        lines << Tr::tr("Sieć: %1").arg(s.networkType);
        const int dbm = s.networkType == QLatin1String("EV-DO") ? s.evdoDbm : s.oneXDbm;
        if (dbm != 0) {
            lines << Tr::tr("Sygnał: %1 dBm").arg(dbm);
        }
    }
    if (s.batteryPercent >= 0) {
        lines << (s.onBattery ? Tr::tr("Bateria: %1 %").arg(s.batteryPercent)
                              : Tr::tr("Bateria: %1 %, zasilanie zewnętrzne").arg(s.batteryPercent));
    }
    if (CallUp(s.connectionState) && s.connectionStart > 0) {
        lines << Tr::tr("Czas połączenia: %1").arg(FormatDuration(now - s.connectionStart));
    }
    if (CallUp(s.connectionState) && s.traffic) {
        lines << TrafficLine(*s.traffic);
    }
    return lines.join(QLatin1Char('\n'));
}

std::optional<Refusal> ConnectRefusal(const ModemSnapshot& s) {
    if (auto common = CommonRefusal(s)) {
        return common;
    }
    switch (s.connectionState) {
        case kConnNone:
        case kConnDeviceFound:
            return Refuse("NoModem", QStringLiteral("No modem is there to connect"));
        case kConnNoNetwork:
            return Refuse("NoNetwork", QStringLiteral("The modem has no network"));
        case kConnConnected:
        case kConnDormant:
            return Refuse("AlreadyConnected", QStringLiteral("The modem is already connected"));
        default:
            break;
    }
    if (!s.connectEnabled) {
        return Refuse("NotReady", QStringLiteral("The modem is not ready to connect"));
    }
    return std::nullopt;
}

std::optional<Refusal> DisconnectRefusal(const ModemSnapshot& s) {
    if (auto common = CommonRefusal(s)) {
        return common;
    }
    if (!CallUp(s.connectionState)) {
        return Refuse("NotConnected", QStringLiteral("The modem is not connected"));
    }
    if (!s.disconnectEnabled) {
        return Refuse("NotReady", QStringLiteral("The connection cannot be ended just now"));
    }
    return std::nullopt;
}

DesktopNotice ReconnectFailedNotice() {
    return {DesktopNotice::ReconnectFailed, Tr::tr("Nie udało się połączyć ponownie"),
            Tr::tr("Połączenie zostało przerwane, a trzy próby ponownego połączenia nie powiodły się."),
            QStringLiteral("network-error")};
}

std::vector<DesktopNotice> CDesktopEvents::Update(const ModemSnapshot& s) {
    std::vector<DesktopNotice> out;
    if (s.cardQuestions != cardQuestions_) {
        cardQuestions_ = s.cardQuestions;
        if (s.cardQuestionKind == 2) {
            out.push_back({DesktopNotice::CardPuk, Tr::tr("Karta RUIM jest zablokowana"),
                           Tr::tr("Wpisz kod PUK w oknie VelmoManager."), QStringLiteral("dialog-password")});
        } else {
            out.push_back({DesktopNotice::CardPin, Tr::tr("Karta RUIM prosi o kod PIN"),
                           Tr::tr("Wpisz kod PIN w oknie VelmoManager."), QStringLiteral("dialog-password")});
        }
    }
    if (s.dialErrors != dialErrors_) {
        dialErrors_ = s.dialErrors;
        if (!s.automaticDial) {
            out.push_back({DesktopNotice::DialError, Tr::tr("Błąd połączenia"), s.lastDialError.trimmed(),
                           QStringLiteral("network-error")});
        }
    }
    const int32_t before = state_;
    state_ = s.connectionState;
    if (s.connectionState == kConnConnected && !CallUp(before)) {
        out.push_back({DesktopNotice::Connected, Tr::tr("Połączono"),
                       s.networkType.isEmpty()
                           ? Tr::tr("Połączenie z Internetem nawiązane.")
                           : Tr::tr("Połączenie z Internetem nawiązane (%1).").arg(s.networkType),
                       QStringLiteral("network-wireless")});
    }
    const bool dropped = s.connectionState == kConnReady || s.connectionState == kConnNoNetwork ||
                         s.connectionState == kConnNone;
    if (CallUp(before) && dropped && !s.disconnectAsked && !s.closing) {
        out.push_back({DesktopNotice::ConnectionLost, Tr::tr("Połączenie przerwane"),
                       Tr::tr("Połączenie z Internetem zostało przerwane."),
                       QStringLiteral("network-offline")});
    }
    const bool low = s.onBattery && s.batteryPercent >= 0 && s.batteryPercent <= kLowBatteryPercent;
    if (low && !lowBattery_) {
        out.push_back({DesktopNotice::LowBattery, Tr::tr("Niski poziom baterii"),
                       Tr::tr("Bateria modemu: %1 %.").arg(s.batteryPercent), QStringLiteral("battery-low")});
    }
    lowBattery_ = low;
    return out;
}

}  // namespace velmo::manager
