#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>

#include "FakeNotificationServer.h"
#include "manager/desktop/DesktopNotifier.h"

namespace velmo::manager {
namespace {

using test::CFakeNotificationServer;
using test::CPrivateBus;

constexpr int kAnswerMs = 10000;

TEST(DesktopNotifier, DeliversTheNoticeToTheService) {
    CPrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty());
    CFakeNotificationServer server(bus);
    ASSERT_TRUE(server.Registered());

    CDesktopNotifier notifier(bus.Connect());
    QSignalSpy answered(&notifier, &CDesktopNotifier::answered);
    ASSERT_TRUE(notifier.Notify(QStringLiteral("Nowa wiadomość"),
                                QStringLiteral("600100200\nDzień &amp; noc"),
                                QStringLiteral("mail-message-new")));
    ASSERT_TRUE(answered.wait(kAnswerMs));
    EXPECT_EQ(answered.at(0).at(0).toBool(), true);
    EXPECT_EQ(answered.at(0).at(1).toUInt(), 1u);

    ASSERT_EQ(server.Calls().size(), 1);
    const test::NotifyCall& call = server.Calls().at(0);
    EXPECT_EQ(call.appName, QStringLiteral("VelmoManager"));
    EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(call.appIcon, QStringLiteral("mail-message-new"));
    EXPECT_EQ(call.summary, QStringLiteral("Nowa wiadomość"));
    EXPECT_EQ(call.body, QStringLiteral("600100200\nDzień &amp; noc"));
    EXPECT_TRUE(call.actions.isEmpty());
    EXPECT_TRUE(call.hints.isEmpty());
    EXPECT_EQ(call.expireTimeout, -1);
}

TEST(DesktopNotifier, WithoutServiceOrBusNothingIsShownAndNothingWaits) {
    CPrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty());
    {
        // A bus without the service: the call goes out at once and ends in an answer that nothing was shown.
        CDesktopNotifier notifier(bus.Connect());
        QSignalSpy answered(&notifier, &CDesktopNotifier::answered);
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(notifier.Notify(QStringLiteral("t"), QStringLiteral("b")));
        EXPECT_LT(timer.elapsed(), 1000);
        ASSERT_TRUE(answered.wait(kAnswerMs));
        EXPECT_EQ(answered.at(0).at(0).toBool(), false);
    }
    {
        // No bus at all.
        CDesktopNotifier notifier(QDBusConnection(QStringLiteral("velmo-no-such-connection")));
        QSignalSpy answered(&notifier, &CDesktopNotifier::answered);
        EXPECT_FALSE(notifier.Notify(QStringLiteral("t"), QStringLiteral("b")));
        EXPECT_FALSE(answered.wait(200));
    }
}

}  // namespace
}  // namespace velmo::manager
