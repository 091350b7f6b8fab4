#include "SettingsModel.h"

#include <algorithm>
#include <cstring>

#include "PrefMode.h"
#include "StatusModel.h"
#include "Texts.h"

namespace velmo::manager::settings {

namespace {

constexpr const char* kTabTexts[kTabCount] = {
    QT_TRANSLATE_NOOP("velmo::manager::Tr", " Ogólne "),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", " Profil połączenia USB "),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", " Ustawienia sieciowe "),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", " Stan "),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "RUIM"),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", " Informacje "),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wiadomości"),
    QT_TRANSLATE_NOOP("velmo::manager::Tr", "Pulpit"),
};

using K = ControlKind;

// The product icon, the frame and the two product texts: on the information pane and the general pane.
#define VELMO_PRODUCT_ROWS                                                                             \
    LayoutRow{kProductIcon, K::Icon, nullptr, W(1, 16), H(7, 30), Px(32), Px(32), true},               \
        LayoutRow{kFrame, K::Frame, nullptr, W(1, 16), H(12, 30), W(92, 100), H(1, 2), true},          \
        LayoutRow{kProductText, K::Label, nullptr, W(3, 16), H(7, 30), W(4, 5), H(9, 30)}, LayoutRow { \
        kCopyright, K::Label, nullptr, W(3, 16), H(9, 30), W(4, 5), H(11, 30)                          \
    }

constexpr LayoutRow kGeneralRows[] = {
    VELMO_PRODUCT_ROWS,
    {kMakeDefault, K::CheckBox, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Uczyń VelmoManager domyślnym"),
     W(7, 16), H(15, 30), W(15, 16), H(15, 30) + H(1, 14)},
    {kAutoPortOff, K::CheckBox,
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wyłącz automatycznie poszukiwanie portu USB"), W(7, 16),
     H(18, 30), W(15, 16), H(18, 30) + H(1, 14)},
    {kComList, K::ComboBox, nullptr, W(7, 16), H(21, 30), W(9, 16), H(21, 30) + H(8, 14)},
    {kSystemLabel, K::Label, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wybór systemu :"), W(2, 16), H(15, 30),
     W(6, 16), H(15, 30) + H(1, 14)},
    {kSystemList, K::ComboBox, nullptr, W(2, 16), H(17, 30), W(6, 16), H(17, 30) + H(6, 14)},
};

constexpr LayoutRow kProfilesRows[] = {
    {kProfileList, K::List, nullptr, W(1, 16), H(8, 30), W(97, 100), H(22, 30)},
    {kAddProfile, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Dodaj"), W(1, 16), H(24, 30), W(7, 32),
     H(26, 30)},
    {kDeleteProfile, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Usuń."), W(4, 16, -5), H(24, 30),
     W(13, 32, -5), H(26, 30)},
    {kEditProfile, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Edytuj"), W(7, 16, -10), H(24, 30),
     W(19, 32, -10), H(26, 30)},
    {kActivateProfile, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Aktywuj"), W(10, 16, -15),
     H(24, 30), W(25, 32, -15), H(26, 30)},
    {kPresetProfile, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Profil domyślny"), W(13, 16, -20),
     H(24, 30), W(31, 32, 7), H(26, 30)},
};

// The two "Zastosuj" buttons stand below their rows: where they were drawn first they covered "Wyłączone" and
// the PIN rows at every usable size.
constexpr LayoutRow kRuimRows[] = {
    {kRequestGroup, K::GroupBox, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Żądanie kodu PIN"), W(1, 16, 5),
     H(7, 30), W(30, 100), H(23, 30)},
    {kChangeGroup, K::GroupBox, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Zmiana kodu PIN"), W(34, 100),
     H(7, 30), W(96, 100), H(27, 30)},
    {kRequestOff, K::Radio, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Wyłączone"), W(1, 16, 25), H(8, 15, 20),
     W(1, 16, 130), H(8, 15, 40)},
    {kRequestOn, K::Radio, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Włączone"), W(1, 16, 25), H(8, 15, 50),
     W(1, 16, 130), H(8, 15, 70)},
    {kApplyRequest, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Zastosuj"), W(1, 18, 25),
     H(8, 15, 75), W(1, 18, 105), H(8, 15, 100)},
    {kOldPinLabel, K::Label, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Stary kod PIN:"), W(34, 100, 20),
     H(8, 15, 20), W(34, 100, 170), H(8, 15, 40)},
    {kNewPinLabel, K::Label, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Nowy kod PIN:"), W(34, 100, 20),
     H(8, 15, 50), W(34, 100, 170), H(8, 15, 70)},
    {kConfirmPinLabel, K::Label, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Potwierdź nowy kod PIN:"),
     W(34, 100, 20), H(8, 15, 80), W(34, 100, 170), H(8, 15, 100)},
    {kOldPin, K::Edit, nullptr, W(34, 100, 175), H(8, 15, 20), W(34, 100, 315), H(8, 15, 40)},
    {kNewPin, K::Edit, nullptr, W(34, 100, 175), H(8, 15, 50), W(34, 100, 315), H(8, 15, 70)},
    {kConfirmPin, K::Edit, nullptr, W(34, 100, 175), H(8, 15, 80), W(34, 100, 315), H(8, 15, 100)},
    {kApplyChange, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Zastosuj"), W(38, 100, 100),
     H(8, 15, 110), W(38, 100, 180), H(8, 15, 135)},
};

// Below the tab bar, one switch per H/15 (room for a check box at the smallest size), the diagnostics with
// their button in one row, then the data counters.
constexpr LayoutRow kDesktopRows[] = {
    {kTrayIconBox, K::CheckBox,
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Pokazuj ikonę w zasobniku systemowym"), W(2, 16), H(3, 30),
     W(15, 16), H(5, 30)},
    {kNotificationsBox, K::CheckBox,
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Pokazuj powiadomienia na pulpicie"), W(2, 16), H(5, 30),
     W(15, 16), H(7, 30)},
    {kBusBox, K::CheckBox,
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Udostępniaj stan modemu innym programom (D-Bus)"), W(2, 16),
     H(7, 30), W(15, 16), H(9, 30)},
    {kReconnectBox, K::CheckBox,
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Łącz ponownie po zerwaniu połączenia (po 5, 15 i 30 s)"),
     W(2, 16), H(9, 30), W(15, 16), H(11, 30)},
    {kDiagnosticsBox, K::CheckBox, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Diagnostyka"), W(2, 16),
     H(11, 30, 2), W(7, 16), H(13, 30, 4)},
    {kSaveDiagnostics, K::Button, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Zapisz diagnostykę…"), W(7, 16),
     H(11, 30, 2), W(12, 16), H(13, 30, 6)},
    {kTrafficLabel, K::Label, QT_TRANSLATE_NOOP("velmo::manager::Tr", "Ruch danych"), W(2, 16), H(14, 30),
     W(15, 16), H(15, 30, 6)},
    {kTrafficNow, K::Value, nullptr, W(2, 16), H(15, 30, 6), W(15, 16), H(17, 30)},
    {kTrafficTable, K::List, nullptr, W(2, 16), H(17, 30), W(15, 16), H(28, 30)},
};

constexpr LayoutRow kStatusRows[] = {
    {kStatusTable, K::List, nullptr, W(1, 16), H(8, 30), W(97, 100), H(24, 30)},
};

// Labels from 2W/16 to 6W/16, values from 6W/16 to 14W/16, each H/14 high.
#define VELMO_INFO_ROW(label, value, text, at)                                         \
    LayoutRow{label,                                                                   \
              K::Label,                                                                \
              QT_TRANSLATE_NOOP("velmo::manager::Tr", text),                           \
              W(2, 16),                                                                \
              H(at, 30),                                                               \
              W(6, 16),                                                                \
              H(at, 30) + H(1, 14)},                                                   \
        LayoutRow {                                                                    \
        value, K::Value, nullptr, W(6, 16), H(at, 30), W(14, 16), H(at, 30) + H(1, 14) \
    }

constexpr LayoutRow kInformationRows[] = {
    VELMO_PRODUCT_ROWS,
    VELMO_INFO_ROW(kEsnLabel, kEsnValue, "ESN (Hex)", 15),
    VELMO_INFO_ROW(kNumberLabel, kNumberValue, "Numer abonencki", 17),
    VELMO_INFO_ROW(kPrlLabel, kPrlValue, "Wersja PRL", 19),
    VELMO_INFO_ROW(kSoftwareLabel, kSoftwareValue, "Wersja oprogramowania", 21),
    {kIdentityValue, K::Value, nullptr, W(6, 16), H(23, 30), W(14, 16), H(23, 30) + H(1, 14)},
};

#undef VELMO_INFO_ROW
#undef VELMO_PRODUCT_ROWS

// The status table's fixed parameter cells.
constexpr const char* kStatusParameters[8][2] = {
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Poziom sygnału EvDO"),
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Telefon w użyciu")},
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Poziom sygnału EvDO (Diversity)"),
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Połączenie przychodzące")},
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Poziom sygnału 1xRTT"),
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Poczta głosowa")},
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Stan baterii"),
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "System")},
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Poziom baterii"),
     QT_TRANSLATE_NOOP("velmo::manager::Tr", "Ustawienia systemu")},
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Połączono przez"), nullptr},
    {QT_TRANSLATE_NOOP("velmo::manager::Tr", "Stan"), nullptr},
    {nullptr, nullptr},
};

constexpr int kDirectoryNumberLength = 10;
constexpr size_t kSequenceLength = 8;

QString Cell(const char* source) {
    return source != nullptr ? Tr::tr(source) : QString();
}

QString YesNo(bool yes) {
    return yes ? Tr::tr("Tak") : Tr::tr("Nie");
}

}  // namespace

QString TabText(int tab) {
    return tab >= 0 && tab < kTabCount ? Tr::tr(kTabTexts[tab]) : QString();
}

std::span<const LayoutRow> GeneralLayout() {
    return kGeneralRows;
}
std::span<const LayoutRow> ProfilesLayout() {
    return kProfilesRows;
}
std::span<const LayoutRow> StatusLayout() {
    return kStatusRows;
}
std::span<const LayoutRow> RuimLayout() {
    return kRuimRows;
}
std::span<const LayoutRow> DesktopLayout() {
    return kDesktopRows;
}
std::span<const LayoutRow> InformationLayout() {
    return kInformationRows;
}

QString ComText(int index) {
    return QStringLiteral("COM%1").arg(index + 1);
}

int SystemEntryFor(int32_t connectionState, uint16_t modemMode) {
    return connectionState == kConnDeviceFound ? prefmode::kOther : prefmode::ListEntryForModem(modemMode);
}

int SystemEntryUpkeep(int shown, int32_t connectionState, uint16_t modemMode) {
    if (shown == prefmode::kOther && connectionState != kConnDeviceFound) {
        return prefmode::ListEntryForModem(modemMode);
    }
    if (shown != prefmode::kOther && connectionState == kConnDeviceFound) {
        return prefmode::kOther;
    }
    return shown;
}

QString RestartText() {
    return Tr::tr(
        "W celu zmiany konfiguracji naciśnij Zastosuj, wyłącz zasilanie, a następnie uruchom ponownie "
        "urządzenie!");
}

QString SignalCell(int32_t magnitude, int deviceStatusCode) {
    if (magnitude == 0 || deviceStatusCode == kNoNetworkCode) {
        return QString();
    }
    return QStringLiteral("- %1 dBm").arg(std::min(magnitude, kSignalLimit));
}

StatusTable StatusTableFor(const StatusInputs& in) {
    StatusTable t;
    for (size_t row = 0; row < t.size(); ++row) {
        t[row][0] = Cell(kStatusParameters[row][0]);
        t[row][2] = Cell(kStatusParameters[row][1]);
    }
    t[6][1] = in.statusText;
    if (in.connectionState == kConnDeviceFound) {
        return t;
    }
    t[0][1] = SignalCell(in.user.evdoMagnitude, in.deviceStatusCode);
    t[1][1] = SignalCell(in.user.w4Magnitude, in.deviceStatusCode);
    t[2][1] = SignalCell(in.user.oneXMagnitude, in.deviceStatusCode);
    const BatteryTexts battery = BatteryTextsFor(in.user.battery);
    t[3][1] = battery.text;
    t[4][1] = battery.rangeIsPercent ? QStringLiteral("%1 %").arg(battery.range) : battery.range;
    switch (in.linkType) {
        case 0:
            t[5][1] = QStringLiteral("Ethernet");
            break;
        case 1:
            t[5][1] = QStringLiteral("USB");
            break;
        case 2:
            t[5][1] = QStringLiteral("COM Port");
            break;
        default:
            break;
    }
    t[0][3] = YesNo(in.phoneInUse);
    t[1][3] = YesNo(in.incomingCall);
    t[2][3] = YesNo(in.voiceMail);
    switch (NetworkImage(in.status, in.user)) {
        case 4:
            t[3][3] = QStringLiteral("EvDO");
            break;
        case 3:
            t[3][3] = QStringLiteral("1xRTT");
            break;
        case 2:
            t[3][3] = QStringLiteral("QNC");
            break;
        default:
            break;
    }
    t[4][3] = prefmode::ModeText(in.status.NetworkKind);
    return t;
}

QString FormatDirectoryNumber(const QString& number) {
    if (number.size() != kDirectoryNumberLength) {
        return QString();
    }
    return QStringLiteral("(%1)%2-%3").arg(number.left(3), number.mid(3, 3), number.right(4));
}

InformationValues InformationFor(int32_t connectionState, const ModemStatusRecord& status,
                                 const QString& directoryNumber, const QString& identity) {
    InformationValues v;
    if (connectionState == kConnDeviceFound) {
        return v;
    }
    v.esn = QStringLiteral("%1").arg(status.Esn, 8, 16, QLatin1Char('0')).toUpper();
    v.number = FormatDirectoryNumber(directoryNumber);
    v.prl = QString::number(status.PrlVersion);
    // Text from the modem: bounded by its field, invalid bytes replaced.
    v.software = QString::fromUtf8(
        status.SoftwareRevision,
        static_cast<qsizetype>(strnlen(status.SoftwareRevision, sizeof(status.SoftwareRevision))));
    v.identity = identity;
    return v;
}

QString ProductText(const QString& libraryVersion) {
    return Tr::tr("VelmoManager Wersja ") + QStringLiteral("1.1.2.1") + Tr::tr("      Wersja DLL ") +
           libraryVersion;
}

QString CopyrightText() {
    return Tr::tr("Copyright © 2004–2026 Brivanta. Wszelkie prawa zastrzeżone.");
}

KeySequence::Hit KeySequence::OnKey(int key) {
    QChar c;
    if (key >= Qt::Key_1 && key <= Qt::Key_9) {
        c = QChar(static_cast<char16_t>(u'1' + (key - Qt::Key_1)));
    } else if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        c = QChar(static_cast<char16_t>(u'A' + (key - Qt::Key_A)));
    } else {
        buffer_.clear();
        return kNone;
    }
    buffer_.append(c);
    if (static_cast<size_t>(buffer_.size()) > kSequenceLength) {
        buffer_.remove(0, buffer_.size() - static_cast<qsizetype>(kSequenceLength));
    }
    if (buffer_ == QLatin1String("55555555")) {
        buffer_.clear();
        return kAdvancedConfiguration;
    }
    if (buffer_ == QLatin1String("88888888")) {
        buffer_.clear();
        return kAdvancedStatus;
    }
    return kNone;
}

}  // namespace velmo::manager::settings
