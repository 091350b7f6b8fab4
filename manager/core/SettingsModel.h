// The settings window as tables and plain functions: its tabs, the layout of every pane, the general options,
// the status table, the information values and the hidden key sequences of the information tab.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <span>

#include "DeviceContext.h"
#include "Layout.h"

namespace velmo::manager::settings {

// The tabs, in their order.
enum Tab : int {
    kGeneral = 0,
    kProfiles = 1,
    kNetwork = 2,
    kStatus = 3,
    kRuim = 4,
    kInformation = 5,
    kMessages = 6,
    kDesktop = 7,
};
inline constexpr int kTabCount = 8;
// The tab the window opens on and returns to.
inline constexpr int kHomeTab = kInformation;
QString TabText(int tab);

// Default and smallest sizes of the tab area, at which every text fits its rectangle (the copyright line, the
// longest check box and the status table's texts in one line each set the width; the eight English tab
// titles in one row need about 765 px).
inline constexpr int kDefaultWidth = 800;
inline constexpr int kDefaultHeight = 460;
inline constexpr int kMinimumWidth = 640;
inline constexpr int kMinimumHeight = 440;

// Control ids.
enum ControlId : int {
    kAutoPortOff = 112,
    kComList = 111,
    kSystemLabel = 142,
    kSystemList = 141,
    kMakeDefault = 143,
    kProductIcon = 1003,
    kFrame = 1004,
    kProductText = 128,
    kCopyright = 129,
    kEsnLabel = 138,
    kEsnValue = 132,
    kNumberLabel = 130,
    kNumberValue = 133,
    kPrlLabel = 131,
    kPrlValue = 134,
    kSoftwareLabel = 126,
    kSoftwareValue = 135,
    kIdentityValue = 139,
    kProfileList = 122,
    kAddProfile = 107,
    kDeleteProfile = 108,
    kEditProfile = 109,
    kActivateProfile = 114,
    kPresetProfile = 140,
    kStatusTable = 122 + 1000,  // the status pane's own list (the same id on another pane)
    kRequestGroup = 156,
    kChangeGroup = 157,
    kRequestOff = 149,
    kRequestOn = 150,
    kApplyRequest = 151,
    kOldPinLabel = 158,
    kNewPinLabel = 159,
    kConfirmPinLabel = 160,
    kOldPin = 152,
    kNewPin = 153,
    kConfirmPin = 154,
    kApplyChange = 155,
    kTrayIconBox = 170,
    kNotificationsBox = 171,
    kBusBox = 172,
    kReconnectBox = 173,
    kDiagnosticsBox = 174,
    kSaveDiagnostics = 175,
    kTrafficLabel = 176,
    kTrafficNow = 177,
    kTrafficTable = 178,
};

std::span<const LayoutRow> GeneralLayout();
std::span<const LayoutRow> ProfilesLayout();
std::span<const LayoutRow> StatusLayout();
std::span<const LayoutRow> RuimLayout();
// The "Pulpit" pane: the tray icon, the desktop notices, the D-Bus interface, connecting again after a drop
// and the diagnostics, each switched on its own; below them the data counters and their last 30 days.
std::span<const LayoutRow> DesktopLayout();
// The information pane; the general pane shows the icon, the frame and the two product texts of it too.
std::span<const LayoutRow> InformationLayout();

// "COM1" … "COM99".
inline constexpr int kComPorts = 99;
QString ComText(int index);

// What the general pane shows and Apply saves.
struct GeneralOptions {
    bool fixedPort = false;  // check box 112, "Disable AutoPort"
    int comIndex = 0;        // "COM Port Number", -1 when none is selected
    int systemEntry = 3;     // the system list, "inne" while no modem is there
    bool operator==(const GeneralOptions&) const = default;
};

// The system list's entry for the modem now: "inne" while no modem has been taken over, else the entry of the
// modem's preferred mode.
int SystemEntryFor(int32_t connectionState, uint16_t modemMode);
// Timer 0's upkeep of a list that shows `shown`: the entry it should show now.
int SystemEntryUpkeep(int shown, int32_t connectionState, uint16_t modemMode);

// "W celu zmiany konfiguracji naciśnij Zastosuj, …", shown when the port options change.
QString RestartText();

// The status table: 8 rows of 4 cells, parameters in columns 0 and 2, values in 1 and 3.
struct StatusInputs {
    QString statusText;  // what the main window's panel shows
    int32_t connectionState = 0;
    int deviceStatusCode = 0;
    int32_t linkType = 3;
    UserStatus user;
    ModemStatusRecord status{};  // NetworkKind holds the preferred mode
    bool phoneInUse = false;     // notice window C up
    bool incomingCall = false;   // notice window A up
    bool voiceMail = false;
};
using StatusTable = std::array<std::array<QString, 4>, 8>;
StatusTable StatusTableFor(const StatusInputs& in);
// A signal value as the table shows it: "- %d dBm" limited to 120, empty for 0 or while there is no network.
QString SignalCell(int32_t magnitude, int deviceStatusCode);
inline constexpr int kSignalLimit = 120;
// The device status code while there is no network.
inline constexpr int kNoNetworkCode = 2;

// The information pane's values (132, 133, 134, 135, 139); all empty while no modem has been taken over.
struct InformationValues {
    QString esn;
    QString number;
    QString prl;
    QString software;
    QString identity;
    bool operator==(const InformationValues&) const = default;
};
InformationValues InformationFor(int32_t connectionState, const ModemStatusRecord& status,
                                 const QString& directoryNumber, const QString& identity);
// "(555)123-4567" for exactly ten characters, empty otherwise.
QString FormatDirectoryNumber(const QString& number);
// Label 128: the program's version and the library's.
QString ProductText(const QString& libraryVersion);
QString CopyrightText();

// The last eight keys typed on the information tab. The digits 1 to 9 (main and keypad) and the letters A to
// Z count; any other key clears the buffer.
class KeySequence {
  public:
    enum Hit { kNone, kAdvancedConfiguration, kAdvancedStatus };
    // key: a Qt key code; keypad: the key came from the keypad.
    Hit OnKey(int key);
    const QString& Buffer() const { return buffer_; }

  private:
    QString buffer_;
};

}  // namespace velmo::manager::settings
