// The desktop's model: the tray icon's look and tooltip, the refusals of requests from outside the window,
// and which successions of snapshots become notices, once each.
#include <gtest/gtest.h>

#include <QSvgRenderer>

#include "manager/core/DesktopModel.h"
#include "manager/core/Settings.h"

namespace velmo::manager {
namespace {

ModemSnapshot Ready() {
    ModemSnapshot s;
    s.connectionState = kConnReady;
    s.statusText = QStringLiteral("Gotowy");
    s.networkType = QStringLiteral("EV-DO");
    s.evdoDbm = -72;
    s.oneXDbm = -80;
    s.batteryPercent = 80;
    s.onBattery = true;
    s.linkType = kLinkUsb;
    s.signalBars = 4;
    s.menuShown = true;
    s.connectEnabled = true;
    return s;
}

ModemSnapshot Connected() {
    ModemSnapshot s = Ready();
    s.connectionState = kConnConnected;
    s.statusText = QStringLiteral("Połączono");
    s.connectEnabled = false;
    s.disconnectEnabled = true;
    s.connectionStart = 1000;
    return s;
}

std::vector<DesktopNotice::Kind> Kinds(const std::vector<DesktopNotice>& notices) {
    std::vector<DesktopNotice::Kind> out;
    for (const DesktopNotice& n : notices) {
        out.push_back(n.kind);
    }
    return out;
}

TEST(DesktopModelTest, TrayLooksTooltipAndPictures) {
    ModemSnapshot s;
    EXPECT_EQ(TrayLookFor(s), (TrayLook{TrayState::NoDevice, 0}));
    s.connectionState = kConnDeviceFound;
    EXPECT_EQ(TrayLookFor(s).state, TrayState::NoDevice);
    s.connectionState = kConnNoNetwork;
    s.signalBars = 3;
    EXPECT_EQ(TrayLookFor(s), (TrayLook{TrayState::NoNetwork, 0}));
    EXPECT_EQ(TrayLookFor(Ready()), (TrayLook{TrayState::Ready, 4}));
    ModemSnapshot dormant = Connected();
    dormant.connectionState = kConnDormant;
    EXPECT_EQ(TrayLookFor(dormant).state, TrayState::Dormant);
    EXPECT_EQ(BarsFromSignalLevel(1), 0);
    EXPECT_EQ(BarsFromSignalLevel(2), 0);
    EXPECT_EQ(BarsFromSignalLevel(7), 5);

    // Every look is a picture of its own that renders.
    QStringList seen;
    for (const TrayLook& look : AllTrayLooks()) {
        const QString svg = TrayIconSvg(look);
        EXPECT_TRUE(QSvgRenderer(svg.toUtf8()).isValid()) << TrayLookName(look).toStdString();
        EXPECT_FALSE(seen.contains(svg)) << TrayLookName(look).toStdString();
        seen << svg;
    }
    EXPECT_EQ(seen.size(), 10);

    EXPECT_EQ(TrayTooltip(Ready(), 0),
              QStringLiteral("VelmoManager\nGotowy\nSieć: EV-DO\nSygnał: -72 dBm\nBateria: 80 %"));
    ModemSnapshot on = Connected();
    on.networkType = QStringLiteral("1xRTT");
    on.onBattery = false;
    EXPECT_EQ(
        TrayTooltip(on, 1000 + 3725),
        QStringLiteral("VelmoManager\nPołączono\nSieć: 1xRTT\nSygnał: -80 dBm\nBateria: 80 %, zasilanie "
                       "zewnętrzne\nCzas połączenia: 1:02:05"));
    EXPECT_EQ(TrayTooltip(ModemSnapshot{}, 0), QStringLiteral("VelmoManager"));
}

TEST(DesktopModelTest, RequestsAreRefusedWhereTheButtonWouldBe) {
    EXPECT_FALSE(ConnectRefusal(Ready()));
    EXPECT_EQ(DisconnectRefusal(Ready())->name,
              QStringLiteral("com.brivanta.VelmoManager.Error.NotConnected"));
    EXPECT_FALSE(DisconnectRefusal(Connected()));
    EXPECT_EQ(ConnectRefusal(Connected())->name,
              QStringLiteral("com.brivanta.VelmoManager.Error.AlreadyConnected"));
    EXPECT_EQ(ConnectRefusal(ModemSnapshot{})->name,
              QStringLiteral("com.brivanta.VelmoManager.Error.NoModem"));
    ModemSnapshot s = Ready();
    s.connectEnabled = false;
    EXPECT_EQ(ConnectRefusal(s)->name, QStringLiteral("com.brivanta.VelmoManager.Error.NotReady"));
    s = Ready();
    s.linkType = kLinkEthernet;
    EXPECT_EQ(ConnectRefusal(s)->name, QStringLiteral("com.brivanta.VelmoManager.Error.EthernetLink"));
    s = Connected();
    s.closing = true;
    EXPECT_EQ(DisconnectRefusal(s)->name, QStringLiteral("com.brivanta.VelmoManager.Error.Closing"));
    s = Ready();
    s.connectionState = kConnNoNetwork;
    EXPECT_EQ(ConnectRefusal(s)->name, QStringLiteral("com.brivanta.VelmoManager.Error.NoNetwork"));
}

TEST(DesktopModelTest, ConnectionsDropsAndDormancy) {
    CDesktopEvents events;
    EXPECT_TRUE(events.Update(Ready()).empty());
    EXPECT_EQ(Kinds(events.Update(Connected())), std::vector{DesktopNotice::Connected});
    EXPECT_TRUE(events.Update(Connected()).empty());
    // Going dormant and waking again is one connection.
    ModemSnapshot dormant = Connected();
    dormant.connectionState = kConnDormant;
    EXPECT_TRUE(events.Update(dormant).empty());
    EXPECT_TRUE(events.Update(Connected()).empty());
    // Dropping from dormant without being asked.
    EXPECT_TRUE(events.Update(dormant).empty());
    ModemSnapshot gone = Ready();
    gone.connectionState = kConnNone;
    EXPECT_EQ(Kinds(events.Update(gone)), std::vector{DesktopNotice::ConnectionLost});
    EXPECT_TRUE(events.Update(gone).empty());
    // Asked for: no notice; nor while closing.
    EXPECT_EQ(events.Update(Connected()).size(), 1u);
    ModemSnapshot asked = Ready();
    asked.disconnectAsked = true;
    EXPECT_TRUE(events.Update(asked).empty());
    events.Update(Connected());
    ModemSnapshot closing = Ready();
    closing.closing = true;
    EXPECT_TRUE(events.Update(closing).empty());
    // A connected modem found at start-up is news as well; the state left for "no modem" (1) is no drop.
    CDesktopEvents fresh;
    EXPECT_EQ(Kinds(fresh.Update(Connected())), std::vector{DesktopNotice::Connected});
    ModemSnapshot searching = Ready();
    searching.connectionState = kConnDeviceFound;
    EXPECT_TRUE(fresh.Update(searching).empty());
}

TEST(DesktopModelTest, CardDialErrorsAndBatteryOncePerEvent) {
    CDesktopEvents events;
    ModemSnapshot s = Ready();
    s.batteryPercent = 21;
    EXPECT_TRUE(events.Update(s).empty());
    s.batteryPercent = 20;
    const std::vector<DesktopNotice> low = events.Update(s);
    ASSERT_EQ(Kinds(low), std::vector{DesktopNotice::LowBattery});
    EXPECT_EQ(low[0].body, QStringLiteral("Bateria modemu: 20 %."));
    s.batteryPercent = 12;
    EXPECT_TRUE(events.Update(s).empty());
    // On the charger and back on the battery, still low: a new event.
    s.onBattery = false;
    EXPECT_TRUE(events.Update(s).empty());
    s.onBattery = true;
    EXPECT_EQ(events.Update(s).size(), 1u);
    // Without a battery nothing.
    s.batteryPercent = -1;
    EXPECT_TRUE(events.Update(s).empty());

    s.cardQuestionKind = 1;
    s.cardQuestions = 1;
    EXPECT_EQ(Kinds(events.Update(s)), std::vector{DesktopNotice::CardPin});
    EXPECT_TRUE(events.Update(s).empty());
    s.cardQuestionKind = 2;
    s.cardQuestions = 2;
    EXPECT_EQ(Kinds(events.Update(s)), std::vector{DesktopNotice::CardPuk});

    s.dialErrors = 1;
    s.lastDialError = QStringLiteral("Error 678: The remote computer did not respond.");
    const std::vector<DesktopNotice> dial = events.Update(s);
    ASSERT_EQ(Kinds(dial), std::vector{DesktopNotice::DialError});
    EXPECT_EQ(dial[0].body, s.lastDialError);
    EXPECT_TRUE(events.Update(s).empty());
}

}  // namespace
}  // namespace velmo::manager
