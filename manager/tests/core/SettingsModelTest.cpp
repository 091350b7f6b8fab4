// The settings window's tables and plain functions: rectangles from the layout rows at two sizes, the status
// table's cells, the information values, the system list's upkeep and the hidden key sequences.
#include <gtest/gtest.h>

#include "manager/core/PrefMode.h"
#include "manager/core/SettingsModel.h"

namespace velmo::manager::settings {
namespace {

QString U(const char* text) {
    return QString::fromUtf8(text);
}

QRect Rect(std::span<const LayoutRow> rows, int id, int w, int h) {
    const LayoutRow* row = FindRow(rows, id);
    return row != nullptr ? RowRect(*row, w, h) : QRect();
}

TEST(SettingsLayout, RowsBecomeRectanglesAtEverySize) {
    struct Case {
        std::span<const LayoutRow> rows;
        int id;
        int w, h;
        QRect expected;  // left, top, width, height
    };
    const Case cases[] = {
        // 7W/16, 18H/30, 15W/16, 18H/30 + H/14
        {GeneralLayout(), kAutoPortOff, 640, 420, QRect(280, 252, 320, 30)},
        {GeneralLayout(), kAutoPortOff, 760, 460, QRect(332, 276, 380, 32)},
        // Two fractions of the height in one edge: 21H/30 + 8H/14.
        {GeneralLayout(), kComList, 760, 460, QRect(332, 322, 95, 262)},
        // Offsets: 13W/16 − 20 to 31W/32 + 7.
        {ProfilesLayout(), kPresetProfile, 640, 420, QRect(500, 336, 127, 28)},
        {ProfilesLayout(), kPresetProfile, 760, 460, QRect(597, 368, 146, 30)},
        {ProfilesLayout(), kDeleteProfile, 760, 460, QRect(185, 368, 118, 30)},
        // A sized row: the icon is 32 × 32 wherever it stands; the frame 92W/100 × H/2.
        {InformationLayout(), kProductIcon, 760, 460, QRect(47, 107, 32, 32)},
        {InformationLayout(), kFrame, 640, 420, QRect(40, 168, 588, 210)},
        {StatusLayout(), kStatusTable, 760, 460, QRect(47, 122, 690, 246)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Rect(c.rows, c.id, c.w, c.h), c.expected) << c.id << " at " << c.w << "x" << c.h;
    }
    EXPECT_TRUE(Rect(GeneralLayout(), 999, 640, 420).isNull());
}

// The RUIM tab's two buttons stand below their rows and inside their groups at every usable size.
TEST(SettingsLayout, RuimButtonsCoverNoRow) {
    for (const QSize size : {QSize(kMinimumWidth, kMinimumHeight), QSize(kDefaultWidth, kDefaultHeight)}) {
        const int w = size.width();
        const int h = size.height();
        for (int button : {kApplyRequest, kApplyChange}) {
            const QRect b = Rect(RuimLayout(), button, w, h);
            for (const LayoutRow& row : RuimLayout()) {
                if (row.kind == ControlKind::GroupBox || row.id == button) {
                    continue;
                }
                EXPECT_FALSE(b.intersects(RowRect(row, w, h)))
                    << button << " covers " << row.id << " at " << w;
            }
            const int group = button == kApplyRequest ? kRequestGroup : kChangeGroup;
            EXPECT_TRUE(Rect(RuimLayout(), group, w, h).contains(b)) << button << " at " << w;
        }
        // The rows stay at their heights: the old PIN's edit at 34W/100 + 175 (right of its label, which is
        // as wide as its longest text), 8H/15 + 20.
        EXPECT_EQ(Rect(RuimLayout(), kOldPin, w, h).topLeft(), QPoint(34 * w / 100 + 175, 8 * h / 15 + 20));
    }
}

TEST(SettingsStatusTable, CellsFromTheStatusTheWorkerCopied) {
    StatusInputs in;
    in.statusText = U("Gotowy");
    in.connectionState = kConnDeviceFound;
    StatusTable t = StatusTableFor(in);
    // No modem taken over yet: the parameters and the panel's text only.
    EXPECT_EQ(t[0][0], U("Poziom sygnału EvDO"));
    EXPECT_EQ(t[4][2], U("Ustawienia systemu"));
    EXPECT_EQ(t[6][1], U("Gotowy"));
    EXPECT_TRUE(t[0][1].isEmpty() && t[0][3].isEmpty() && t[5][1].isEmpty());

    in.connectionState = kConnReady;
    in.deviceStatusCode = 3;
    in.linkType = 1;
    in.user.evdoMagnitude = 125;  // limited to 120
    in.user.w4Magnitude = 0;      // empty for 0
    in.user.oneXMagnitude = 78;
    in.user.battery = 0x0250;  // on battery, 80 %
    in.status.InService = 1;
    in.status.NetworkKind = prefmode::kModemEvdoOnly;
    in.voiceMail = true;
    t = StatusTableFor(in);
    EXPECT_EQ(t[0][1], U("- 120 dBm"));
    EXPECT_EQ(t[1][1], QString());
    EXPECT_EQ(t[2][1], U("- 78 dBm"));
    EXPECT_EQ(t[3][1], U("Zasilanie bateryjne"));
    EXPECT_EQ(t[4][1], U("80~100 %"));
    EXPECT_EQ(t[5][1], U("USB"));
    EXPECT_EQ(t[0][3], U("Nie"));
    EXPECT_EQ(t[2][3], U("Tak"));
    EXPECT_EQ(t[3][3], U("EvDO"));
    EXPECT_EQ(t[4][3], U("Tylko 1xEvDO"));

    // No network (device status 2): no signal values; charging: the range alone; 1x and both systems.
    in.deviceStatusCode = 2;
    in.user.battery = 0x0032;
    in.status.NetworkKind = prefmode::kModemHybrid;
    in.linkType = 0;
    t = StatusTableFor(in);
    EXPECT_EQ(t[0][1], QString());
    EXPECT_EQ(t[2][1], QString());
    EXPECT_EQ(t[3][1], U("Ładowanie"));
    EXPECT_EQ(t[4][1], U("--"));
    EXPECT_EQ(t[5][1], U("Ethernet"));
    EXPECT_EQ(t[3][3], U("1xRTT"));
    EXPECT_EQ(t[4][3], U("1xEvDO oraz 1xRTT"));
    in.status.NetworkKind = 0;
    in.status.InService = 0;
    t = StatusTableFor(in);
    EXPECT_EQ(t[3][3], QString());
    EXPECT_EQ(t[4][3], U("Tylko 1xRTT"));
}

TEST(SettingsInformation, ValuesAndTheDirectoryNumber) {
    ModemStatusRecord s{};
    s.Esn = 0x8F3A2C11;
    s.PrlVersion = 10052;
    std::memcpy(s.SoftwareRevision, "VLM100-R2.07", 12);
    InformationValues v = InformationFor(kConnReady, s, U("6195550100"), U("VLM100 EV-DO"));
    EXPECT_EQ(v.esn, U("8F3A2C11"));
    EXPECT_EQ(v.number, U("(619)555-0100"));
    EXPECT_EQ(v.prl, U("10052"));
    EXPECT_EQ(v.software, U("VLM100-R2.07"));
    EXPECT_EQ(v.identity, U("VLM100 EV-DO"));
    s.Esn = 0x2C11;
    EXPECT_EQ(InformationFor(kConnReady, s, {}, {}).esn, U("00002C11"));
    EXPECT_EQ(FormatDirectoryNumber(U("619555010")), QString());
    EXPECT_EQ(FormatDirectoryNumber(U("61955501000")), QString());
    EXPECT_EQ(InformationFor(kConnDeviceFound, s, U("6195550100"), U("x")), InformationValues{});
    // A revision filling its whole field has no terminator and is not read past.
    std::memset(s.SoftwareRevision, 'A', sizeof(s.SoftwareRevision));
    EXPECT_EQ(InformationFor(kConnReady, s, {}, {}).software.size(), 50);
    EXPECT_TRUE(ProductText(U("1.1.1.7")).startsWith(U("VelmoManager Wersja 1.1.2.1")));
    EXPECT_TRUE(ProductText(U("1.1.1.7")).endsWith(U("      Wersja DLL 1.1.1.7")));
}

TEST(SettingsGeneral, SystemListFollowsTheModem) {
    EXPECT_EQ(SystemEntryFor(kConnDeviceFound, prefmode::kModemEvdoOnly), prefmode::kOther);
    EXPECT_EQ(SystemEntryFor(kConnReady, prefmode::kModemEvdoOnly), prefmode::kEvdoOnly);
    EXPECT_EQ(SystemEntryFor(kConnReady, prefmode::kModemHybrid), prefmode::kBoth);
    EXPECT_EQ(SystemEntryFor(kConnReady, prefmode::kModem1xOnly), prefmode::k1xOnly);
    EXPECT_EQ(SystemEntryFor(kConnReady, 4), prefmode::k1xOnly);
    // Upkeep: "inne" becomes the modem's entry once a modem is there, any entry "inne" once it is gone; a
    // choice the user made while a modem is there stays.
    EXPECT_EQ(SystemEntryUpkeep(prefmode::kOther, kConnReady, prefmode::kModemEvdoOnly), prefmode::kEvdoOnly);
    EXPECT_EQ(SystemEntryUpkeep(prefmode::kBoth, kConnDeviceFound, prefmode::kModemEvdoOnly),
              prefmode::kOther);
    EXPECT_EQ(SystemEntryUpkeep(prefmode::k1xOnly, kConnReady, prefmode::kModemEvdoOnly), prefmode::k1xOnly);
    EXPECT_EQ(ComText(0), U("COM1"));
    EXPECT_EQ(ComText(kComPorts - 1), U("COM99"));
    EXPECT_EQ(TabText(kInformation), U(" Informacje "));
    EXPECT_EQ(TabText(kProfiles), U(" Profil połączenia USB "));
}

TEST(SettingsKeys, EightKeysOpenTheHiddenWindows) {
    const auto type = [](KeySequence& k, const char* keys) {
        KeySequence::Hit hit = KeySequence::kNone;
        for (const char* c = keys; *c != 0; ++c) {
            const int key = *c >= 'A'   ? Qt::Key_A + (*c - 'A')
                            : *c == '0' ? Qt::Key_0
                                        : Qt::Key_1 + (*c - '1');
            hit = k.OnKey(key);
        }
        return hit;
    };
    KeySequence k;
    EXPECT_EQ(type(k, "5555555"), KeySequence::kNone);
    EXPECT_EQ(type(k, "5"), KeySequence::kAdvancedConfiguration);
    EXPECT_TRUE(k.Buffer().isEmpty());
    // Nine keys whose last eight form a sequence.
    EXPECT_EQ(type(k, "A88888888"), KeySequence::kAdvancedStatus);
    // A 0 in between clears the buffer; so does any key outside the digits 1-9 and A-Z.
    EXPECT_EQ(type(k, "5555055555"), KeySequence::kNone);
    EXPECT_EQ(k.Buffer(), U("55555"));
    EXPECT_EQ(k.OnKey(Qt::Key_Space), KeySequence::kNone);
    EXPECT_TRUE(k.Buffer().isEmpty());
    EXPECT_EQ(type(k, "Z5555555"), KeySequence::kNone);
    EXPECT_EQ(type(k, "5"), KeySequence::kAdvancedConfiguration);
}

}  // namespace
}  // namespace velmo::manager::settings
