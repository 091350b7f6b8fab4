// The status model: signal bars, network and connection images, the battery strip and texts, the notice
// history and the blink timer that animates them.
#include <gtest/gtest.h>

#include <vector>

#include "manager/core/PrefMode.h"
#include "manager/core/StatusModel.h"

namespace velmo::manager::test {
namespace {

constexpr uint16_t kModeEvdo = prefmode::kModemEvdoOnly;
constexpr uint16_t kModeHybrid = prefmode::kModemHybrid;

QString U(const char* text) {
    return QString::fromUtf8(text);
}

ModemStatusRecord Status(uint16_t mode, bool inService, bool evdoPresent, uint8_t rssi1x = 0,
                         uint8_t rssiEvdo = 0) {
    ModemStatusRecord s{};
    s.NetworkKind = mode;
    s.InService = inService ? 1 : 0;
    s.EvdoPresent = evdoPresent ? 1 : 0;
    s.Rssi1x = rssi1x;
    s.RssiEvdo = rssiEvdo;
    return s;
}

UserStatus User(int32_t evdo, int32_t oneX, int32_t secondNetwork = 0) {
    UserStatus u;
    u.evdoMagnitude = evdo;
    u.oneXMagnitude = oneX;
    u.secondNetwork = secondNetwork;
    return u;
}

TEST(SignalLevel, MagnitudeBandEdges) {
    const std::vector<std::pair<int, int>> cases = {
        {0, 2},   {1, 7},   {88, 7},  {89, 6},  {93, 6},  {94, 5}, {98, 5},  {99, 4},
        {103, 4}, {104, 3}, {111, 3}, {112, 2}, {255, 2}, {-1, 2}, {-90, 2}, {100000, 2},
    };
    for (const auto& [magnitude, level] : cases) {
        EXPECT_EQ(SignalLevelFromMagnitude(magnitude), level) << "magnitude " << magnitude;
    }
}

TEST(SignalLevel, UserStatusPicksTheNetworkInUse) {
    constexpr int32_t kCapable = 1;
    // EV-DO only: the user-status EV-DO value, in service or with EV-DO present.
    EXPECT_EQ(SignalLevel(Status(kModeEvdo, true, false), User(95, 70), kCapable), 5);
    EXPECT_EQ(SignalLevel(Status(kModeEvdo, false, true), User(95, 70), kCapable), 5);
    EXPECT_EQ(SignalLevel(Status(kModeEvdo, false, false), User(95, 70), kCapable), 1);
    // Hybrid follows the second-network flag.
    EXPECT_EQ(SignalLevel(Status(kModeHybrid, true, false), User(95, 70, 1), kCapable), 5);
    EXPECT_EQ(SignalLevel(Status(kModeHybrid, true, false), User(95, 70, 0), kCapable), 7);
    // 1x needs service; EV-DO presence does not count.
    EXPECT_EQ(SignalLevel(Status(0, true, false), User(95, 105), kCapable), 3);
    EXPECT_EQ(SignalLevel(Status(0, false, true), User(95, 105), kCapable), 1);
    // A magnitude that went negative in the copy still draws the lowest real band.
    EXPECT_EQ(SignalLevel(Status(0, true, false), User(95, -3), kCapable), 2);
}

TEST(SignalLevel, WithoutUserStatusTheStatusRecordCounts) {
    for (const int32_t capability : {kNoUserStatus, -1}) {
        // The user-status values are stale then and must not leak in.
        EXPECT_EQ(SignalLevel(Status(kModeEvdo, true, false, 100, 89), User(50, 50), capability), 6);
        EXPECT_EQ(SignalLevel(Status(0, true, false, 100, 89), User(50, 50), capability), 4);
        EXPECT_EQ(SignalLevel(Status(kModeHybrid, true, false, 112, 60), User(50, 50, 1), capability), 2);
        // EV-DO presence does not stand in for service here.
        EXPECT_EQ(SignalLevel(Status(kModeEvdo, false, true, 60, 60), User(50, 50), capability), 1);
    }
}

TEST(StatusImages, NetworkAndConnectionType) {
    EXPECT_EQ(NetworkImage(Status(kModeEvdo, true, false), User(0, 0)), 4);
    EXPECT_EQ(NetworkImage(Status(kModeEvdo, false, true), User(0, 0)), 4);
    EXPECT_EQ(NetworkImage(Status(kModeHybrid, true, false), User(0, 0, 1)), 4);
    EXPECT_EQ(NetworkImage(Status(kModeHybrid, true, false), User(0, 0, 0)), 3);
    EXPECT_EQ(NetworkImage(Status(0, false, true), User(0, 0)), 3);
    EXPECT_EQ(NetworkImage(Status(kModeEvdo, false, false), User(0, 0, 1)), 0);

    EXPECT_EQ(ConnectionImage(0, false), 0);
    EXPECT_EQ(ConnectionImage(1, true), 1);
    EXPECT_EQ(ConnectionImage(1, false), 2);
    EXPECT_EQ(ConnectionImage(3, true), 3);
}

struct BatteryCase {
    uint16_t word;
    bool setLevel;
    int level;
    bool charging;
    const char* text;
    const char* range;
};

TEST(Battery, StripAndTextsFollowTheWord) {
    const BatteryCase cases[] = {
        {0x0250, true, 6, false, "Zasilanie bateryjne", "80~100"},
        {0x0264, true, 6, false, "Zasilanie bateryjne", "80~100"},
        {0x024F, true, 5, false, "Zasilanie bateryjne", "60~80"},
        {0x023C, true, 5, false, "Zasilanie bateryjne", "60~80"},
        {0x0228, true, 4, false, "Zasilanie bateryjne", "30~60"},
        {0x0223, true, 3, false, "Zasilanie bateryjne", "30~60"},
        {0x0215, true, 3, false, "Zasilanie bateryjne", "0~30"},
        {0x0214, true, 2, false, "Niski poziom baterii", "0~30"},
        {0x0201, true, 2, false, "Niski poziom baterii", "0~30"},
        // An empty battery is left to the low-battery blink.
        {0x0200, false, 1, false, "Niski poziom baterii", "0~30"},
        {0x0132, true, 4, false, "Ładowanie zakończone", "100"},
        {0x0350, true, 1, false, "Błąd", ""},
        {0x0032, false, 0, true, "Ładowanie", "--"},
        {0x0000, true, 7, false, "Brak baterii", "--"},
        {0xFFFF, true, 0, false, "Brak baterii", ""},
        {0x0265, true, 0, false, "Brak baterii", ""},
        {0x0065, true, 0, false, "Brak baterii", ""},
        {0x0432, true, 0, false, "Brak baterii", ""},
    };
    for (const BatteryCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "word 0x" << c.word);
        const BatteryStrip strip = BatteryStripFor(c.word);
        EXPECT_EQ(strip.setLevel, c.setLevel);
        if (c.setLevel) {
            EXPECT_EQ(strip.level, c.level);
        }
        EXPECT_EQ(strip.charging, c.charging);
        const BatteryTexts texts = BatteryTextsFor(c.word);
        EXPECT_EQ(texts.text, U(c.text));
        EXPECT_EQ(texts.range, U(c.range));
    }
}

TEST(Battery, LowMeansOnBatteryAtTwentyPercentOrLess) {
    EXPECT_TRUE(LowBattery(0x0214));
    EXPECT_TRUE(LowBattery(0x0200));
    EXPECT_FALSE(LowBattery(0x0215));
    EXPECT_FALSE(LowBattery(0x0014));  // charging
    EXPECT_FALSE(LowBattery(0x0114));
    EXPECT_FALSE(LowBattery(0xFFFF));
}

TEST(Notices, TextsAndAlerts) {
    const std::vector<std::pair<const char*, bool>> expected = {
        {"Błąd baterii", true},      {"Niski poziom baterii", true},
        {"Telefon w użyciu", false}, {"Połączenie przychodzące", false},
        {"Poczta głosowa", false},
    };
    for (int i = 1; i <= 5; ++i) {
        const Notice n = NoticeFor(i);
        EXPECT_EQ(n.index, i);
        EXPECT_EQ(n.text, U(expected[i - 1].first));
        EXPECT_EQ(n.alert, expected[i - 1].second);
    }
    EXPECT_EQ(NoticeFor(0).index, 0);
    EXPECT_EQ(NoticeFor(6).index, 0);
}

NoticeInputs Inputs(uint16_t battery, bool c, bool a, bool voiceMail) {
    NoticeInputs in;
    in.battery = battery;
    in.noticeCShown = c;
    in.noticeAShown = a;
    in.voiceMail = voiceMail;
    return in;
}

TEST(NoticeHistory, VoiceMailFirstThenAlternatesWithLowBattery) {
    NoticeHistory h;
    const NoticeInputs both = Inputs(0x0214, false, false, true);
    std::vector<int> shown;
    for (int i = 0; i < 8; ++i) {
        shown.push_back(h.Choose(both));
    }
    EXPECT_EQ(shown, (std::vector<int>{5, 2, 5, 2, 5, 2, 5, 2}));
    EXPECT_EQ(h.Slots(), (std::array<int, 6>{5, 2, 5, 2, 5, 2}));
}

TEST(NoticeHistory, KeepsTheLastSixOldestFirst) {
    NoticeHistory h;
    EXPECT_EQ(h.Choose(Inputs(0x0300, false, false, false)), 1);
    EXPECT_EQ(h.Slots(), (std::array<int, 6>{0, 0, 0, 0, 0, 1}));
    for (int i = 0; i < 5; ++i) {
        h.Choose(Inputs(0xFFFF, true, false, false));
    }
    EXPECT_EQ(h.Slots(), (std::array<int, 6>{1, 3, 3, 3, 3, 3}));
    h.Choose(Inputs(0xFFFF, false, true, false));
    EXPECT_EQ(h.Slots(), (std::array<int, 6>{3, 3, 3, 3, 3, 4}));

    // Nothing to show: nothing recorded.
    EXPECT_EQ(h.Choose(Inputs(0x0250, false, false, false)), 0);
    EXPECT_EQ(h.Slots(), (std::array<int, 6>{3, 3, 3, 3, 3, 4}));

    h.Clear();
    EXPECT_EQ(h.Slots(), (std::array<int, 6>{}));
}

TEST(NoticeHistory, AgeIsTheMostRecentPosition) {
    NoticeHistory h;
    // History 5 3 3 3 3 5: voice mail is also the oldest entry, but its latest showing is the newest.
    const int singles[] = {5, 3, 3, 3, 3, 5};
    for (int index : singles) {
        h.Choose(Inputs(0xFFFF, index == 3, false, index == 5));
    }
    EXPECT_EQ(h.Choose(Inputs(0xFFFF, true, false, true)), 3);
}

TEST(NoticeHistory, RotatesThroughThreeCandidatesHighestFirst) {
    NoticeHistory h;
    const NoticeInputs three = Inputs(0xFFFF, true, true, true);
    std::vector<int> shown;
    for (int i = 0; i < 7; ++i) {
        shown.push_back(h.Choose(three));
    }
    EXPECT_EQ(shown, (std::vector<int>{5, 4, 3, 5, 4, 3, 5}));
}

TEST(NoticeHistory, NewCandidateBeatsOnesSeenBefore) {
    NoticeHistory h;
    for (int i = 0; i < 6; ++i) {
        h.Choose(Inputs(0xFFFF, false, false, true));
    }
    // Battery error has never been shown: age 0 against voice mail's 5.
    EXPECT_EQ(h.Choose(Inputs(0x0300, false, false, true)), 1);
}

struct TickLog {
    std::vector<bool> traffic;
    std::vector<int> battery;  // -1: unchanged
    std::vector<int> notice;   // -1: unchanged, 0: cleared
};

TickLog Ticks(BlinkModel& model, BlinkInputs in, int ticks) {
    TickLog log;
    for (int i = 0; i < ticks; ++i) {
        const BlinkOutputs out = model.Tick(in);
        log.traffic.push_back(out.trafficOn);
        log.battery.push_back(out.batteryChanged ? out.batteryLevel : -1);
        log.notice.push_back(out.noticeChanged ? out.notice.index : -1);
        if (out.batteryChanged) {
            in.batteryLevel = out.batteryLevel;
        }
    }
    return log;
}

TEST(BlinkModel, TrafficBlinksOnlyWhileConnected) {
    BlinkModel m;
    BlinkInputs in;
    in.traffic = true;
    in.connectionState = kConnConnected;
    EXPECT_EQ(Ticks(m, in, 4).traffic, (std::vector<bool>{true, false, true, false}));
    in.connectionState = kConnDormant;
    EXPECT_EQ(Ticks(m, in, 2).traffic, (std::vector<bool>{false, false}));
    in.connectionState = kConnConnected;
    in.traffic = false;
    EXPECT_EQ(Ticks(m, in, 2).traffic, (std::vector<bool>{false, false}));
}

TEST(BlinkModel, ChargingAnimatesOneFramePerSecond) {
    BlinkModel m;
    BlinkInputs in;
    in.battery = 0x0032;
    in.charging = BatteryStripFor(in.battery).charging;
    ASSERT_TRUE(in.charging);
    EXPECT_EQ(Ticks(m, in, 12).battery, (std::vector<int>{2, -1, 3, -1, 4, -1, 5, -1, 6, -1, 2, -1}));

    // A new charge starts from the first frame again.
    in.charging = false;
    in.battery = 0x0150;
    Ticks(m, in, 2);
    in.charging = true;
    EXPECT_EQ(Ticks(m, in, 2).battery, (std::vector<int>{2, -1}));
}

TEST(BlinkModel, LowBatteryBlinksTheStripAndAlerts) {
    BlinkModel m;
    BlinkInputs in;
    in.battery = 0x0214;
    in.batteryLevel = BatteryStripFor(in.battery).level;
    in.notices.battery = in.battery;
    const TickLog log = Ticks(m, in, 8);
    EXPECT_EQ(log.battery, (std::vector<int>{1, -1, 0, -1, 1, -1, 0, -1}));
    // Shown for one second, then one blank second.
    EXPECT_EQ(log.notice, (std::vector<int>{2, -1, 0, -1, 2, -1, 0, -1}));

    BlinkModel alert;
    EXPECT_TRUE(alert.Tick(in).notice.alert);
    EXPECT_EQ(alert.Tick(in).notice.index, 0);

    // Plenty of charge left: the strip stays as it is.
    in.battery = 0x0250;
    in.notices.battery = in.battery;
    EXPECT_EQ(Ticks(m, in, 4).battery, (std::vector<int>{-1, -1, -1, -1}));
}

TEST(BlinkModel, NoticesAlternateWithBlankSeconds) {
    BlinkModel m;
    BlinkInputs in;
    in.notices = Inputs(0x0214, false, false, true);
    in.battery = 0x0214;
    EXPECT_EQ(Ticks(m, in, 12).notice, (std::vector<int>{5, -1, 0, -1, 2, -1, 0, -1, 5, -1, 0, -1}));

    // Without candidates the line stays clear and nothing is redrawn.
    BlinkModel quiet;
    BlinkInputs none;
    EXPECT_EQ(Ticks(quiet, none, 4).notice, (std::vector<int>{-1, -1, -1, -1}));
}

TEST(BlinkModel, ClearingTheNoticesForgetsTheHistory) {
    BlinkModel m;
    BlinkInputs in;
    in.notices = Inputs(0x0214, false, false, true);
    in.battery = 0x0214;
    Ticks(m, in, 4);  // voice mail shown and cleared
    m.ClearNotices();
    // Voice mail comes first again, as after a fresh start.
    EXPECT_EQ(Ticks(m, in, 1).notice, (std::vector<int>{5}));
}

}  // namespace
}  // namespace velmo::manager::test
