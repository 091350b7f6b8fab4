// The manager on the desktop, as tables and plain functions: the switches of the "Pulpit" tab, one snapshot
// of what the main window shows, the tray icon's state, picture and tooltip, the rules that refuse a connect
// or a disconnect asked from outside the window, and the events that become desktop notices.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "DeviceContext.h"
#include "Traffic.h"

namespace velmo::manager {

// The "Pulpit" tab's switches, under "Setting".
struct DesktopOptions {
    static constexpr char kTrayIconKey[] = "Tray Icon";
    static constexpr char kNotificationsKey[] = "Desktop Notifications";
    static constexpr char kBusKey[] = "DBus Interface";
    static constexpr char kReconnectKey[] = "Automatic Reconnect";
    static constexpr char kDiagnosticsKey[] = "Diagnostics";

    bool trayIcon = true;
    bool notifications = true;
    bool busInterface = true;
    // Off unless stored as 1.
    bool reconnect = false;
    // The logging categories on, kept in memory for "Zapisz diagnostykę…"; off unless stored as 1.
    bool diagnostics = false;
    bool operator==(const DesktopOptions&) const = default;

    // Read on the calling thread's settings object (missing values are written as 1).
    static DesktopOptions Load();
    void Save() const;
};

// What the main window shows and the worker left in the context, read together on the window thread.
struct ModemSnapshot {
    int32_t connectionState = kConnNone;
    QString statusText;
    // "EV-DO", "1xRTT", or empty without a network.
    QString networkType;
    // Signal in dBm (negative), 0 when there is no value.
    int evdoDbm = 0;
    int oneXDbm = 0;
    // 0..100, or -1 without a battery.
    int batteryPercent = -1;
    bool onBattery = false;
    QString esn;
    int32_t linkType = 3;
    // 0..5 bars.
    int signalBars = 0;
    bool menuShown = false;
    // The connect and disconnect buttons: shown and enabled.
    bool connectEnabled = false;
    bool disconnectEnabled = false;
    bool closing = false;
    // Seconds since the epoch when the call connected; 0 before.
    int64_t connectionStart = 0;
    // The user asked this connection to end (button, menu, bus or shutdown).
    bool disconnectAsked = false;
    // The connection was dialled by this manager; a dial of its own after a drop is under way.
    bool ownCall = false;
    bool automaticDial = false;
    uint32_t cardQuestions = 0;
    int32_t cardQuestionKind = 0;
    uint32_t dialErrors = 0;
    QString lastDialError;
    // What the call this manager dialled has moved; nothing between calls.
    std::optional<TrafficCounts> traffic;
    bool operator==(const ModemSnapshot&) const = default;
};

// The snapshot's modem values from the status copy: network type, signals, battery, ESN.
void FillModemValues(ModemSnapshot& snapshot, const ModemStatusRecord& status, const UserStatus& user,
                     int32_t capability, int deviceStatusCode);
// 0..5 bars from the panel's signal strip level (0..7).
int BarsFromSignalLevel(int level);

enum class TrayState { NoDevice, NoNetwork, Ready, Connected, Dormant };
struct TrayLook {
    TrayState state = TrayState::NoDevice;
    int bars = 0;  // drawn lit; for Ready 0..5
    bool operator==(const TrayLook&) const = default;
};
TrayLook TrayLookFor(const ModemSnapshot& snapshot);
// The icon as SVG, drawn with the skin's program icon: its frame, five bars and a badge for the state.
QString TrayIconSvg(const TrayLook& look);
// A file name part for pictures of the states: "no-device", "ready-3", "connected", ...
QString TrayLookName(const TrayLook& look);
// Every look, in the order of the docs' pictures.
std::vector<TrayLook> AllTrayLooks();
// The tooltip: the program's name, then network type, signal, battery and the connection time (at now, in
// seconds since the epoch), each line only when there is something to say.
QString TrayTooltip(const ModemSnapshot& snapshot, int64_t now);

// Why a connect or disconnect asked from outside the window is refused: a D-Bus error name and its message
// (English, for programs). Nothing when the button would take the click.
struct Refusal {
    QString name;
    QString message;
};
// The refusal com.brivanta.VelmoManager.Error.<name>.
Refusal Refuse(const char* name, const QString& message);
std::optional<Refusal> ConnectRefusal(const ModemSnapshot& snapshot);
std::optional<Refusal> DisconnectRefusal(const ModemSnapshot& snapshot);

// A desktop notice: summary, body (plain text) and a themed icon name.
struct DesktopNotice {
    enum Kind { CardPin, CardPuk, Connected, ConnectionLost, LowBattery, DialError, ReconnectFailed };
    Kind kind;
    QString title;
    QString body;
    QString icon;
};

// Turns successive snapshots into notices, each once per event: the card asking for a code, a connection
// made, a connection lost (connected or dormant, then ready, no network or no device without the user
// asking), the battery at or below 20 % on battery power (again only after it rose above or was charged), a
// dial error (not while the manager dials again by itself after a drop).
// The one notice after the last attempt to connect again has failed, and the message box's text.
DesktopNotice ReconnectFailedNotice();

class CDesktopEvents {
  public:
    std::vector<DesktopNotice> Update(const ModemSnapshot& snapshot);

  private:
    int32_t state_ = kConnNone;
    bool lowBattery_ = false;
    uint32_t cardQuestions_ = 0;
    uint32_t dialErrors_ = 0;
};

}  // namespace velmo::manager
