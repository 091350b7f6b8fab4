// The network setup window without widgets: the commands of "app:" links, the unit's page address and when
// the window opens.
#include <gtest/gtest.h>

#include "Recorders.h"
#include "manager/core/DeviceContext.h"
#include "manager/core/NetworkSetupFlow.h"
#include "manager/core/Settings.h"

namespace velmo::manager {
namespace {

using test::Msg;
using test::RecordingPrompt;

QString U(const char* text) {
    return QString::fromUtf8(text);
}

TEST(NetworkSetupModel, AppLinksBecomeCommands) {
    struct Case {
        const char* address;
        std::optional<AppCommand> expected;
    };
    const Case cases[] = {
        {"APP:Beep", AppCommand{AppCommandKind::Beep, U("Beep")}},
        {"app:Minimise", AppCommand{AppCommandKind::Minimise, U("Minimise")}},
        // Only the scheme ignores case.
        {"app:beep", AppCommand{AppCommandKind::Unexpected, U("beep")}},
        {"app:", AppCommand{AppCommandKind::Unexpected, QString()}},
        {"app:Be%65p", AppCommand{AppCommandKind::Beep, U("Beep")}},
        {"app:Hello%20World%21%20%E2%82%AC", AppCommand{AppCommandKind::Unexpected, U("Hello World! €")}},
        // Bytes that are no UTF-8 are replaced, never passed on.
        {"app:a%FFb", AppCommand{AppCommandKind::Unexpected, U("a\uFFFDb")}},
        {"http://127.0.0.1:8080/", std::nullopt},
        {"application:Beep", std::nullopt},
        {"ap:Beep", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AppCommandFor(U(c.address)), c.expected) << c.address;
    }
    // What the view hands over is a URL; its scheme comes lower case.
    EXPECT_EQ(AppCommandFor(QUrl(U("APP:Beep"))), (AppCommand{AppCommandKind::Beep, U("Beep")}));
    EXPECT_EQ(AppCommandFor(QUrl(U("app:x%20y"))), (AppCommand{AppCommandKind::Unexpected, U("x y")}));

    // At most 200 characters, and a cut never splits a surrogate pair.
    const auto longOne = AppCommandFor(U("app:") + QString(250, QLatin1Char('x')));
    ASSERT_TRUE(longOne);
    EXPECT_EQ(longOne->text, QString(kAppCommandMaxLength, QLatin1Char('x')));
    const auto split = AppCommandFor(U("app:") + QString(199, QLatin1Char('x')) + U("%F0%9F%98%80tail"));
    ASSERT_TRUE(split);
    EXPECT_EQ(split->text, QString(199, QLatin1Char('x')));
}

TEST(NetworkSetupModel, CommandsMinimiseBeepOrAsk) {
    RecordingPrompt prompt;
    int minimised = 0;
    int beeps = 0;
    CNetworkSetupFlow flow(prompt, {[&] { ++minimised; }, [&] { ++beeps; }});
    for (const char* address : {"APP:Beep", "app:Minimise", "app:beep", "app:", "app:%3Cb%3Ebold%3C/b%3E"}) {
        flow.OnAppCommand(*AppCommandFor(U(address)));
    }
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(minimised, 1);
    EXPECT_EQ(prompt.Records(), (std::vector<test::PromptRecord>{
                                    Msg("beep", "Unexpected Command", PromptIcon::Question),
                                    Msg("", "Unexpected Command", PromptIcon::Question),
                                    Msg("<b>bold</b>", "Unexpected Command", PromptIcon::Question),
                                }));
}

TEST(NetworkSetupModel, PageAddressAndWhenTheWindowOpens) {
    EXPECT_EQ(UnitPageAddress(U("127.0.0.1"), U("8081")), U("http://127.0.0.1:8081"));
    EXPECT_EQ(UnitPageAddress(U("10.1.2.3"), QString()), U("http://10.1.2.3"));
    // Only a plain IPv4 address from the discovery goes into the URL, only a port number after it.
    EXPECT_EQ(UnitPageAddress(QString(), QString()), U("http://192.168.0.1"));
    EXPECT_EQ(UnitPageAddress(U("example.org/x"), U("80")), U("http://192.168.0.1:80"));
    EXPECT_EQ(UnitPageAddress(U("127.0.0.1"), U("70000")), U("http://127.0.0.1"));
    EXPECT_EQ(UnitPageAddress(U("127.0.0.1"), U("80x")), U("http://127.0.0.1"));

    EXPECT_EQ(NetworkSetupRefusal(kConnDeviceFound, kLinkEthernet), U("Brak aktywnego połączenia Ethernet"));
    EXPECT_EQ(NetworkSetupRefusal(kConnDeviceFound, kLinkUsb), U("Brak aktywnego połączenia Ethernet"));
    EXPECT_EQ(NetworkSetupRefusal(kConnReady, kLinkUsb), U("Opcja dostępna tylko przy połączeniu Ethernet"));
    EXPECT_EQ(NetworkSetupRefusal(kConnNone, kLinkNone), U("Opcja dostępna tylko przy połączeniu Ethernet"));
    EXPECT_EQ(NetworkSetupRefusal(kConnReady, kLinkEthernet), std::nullopt);
    EXPECT_EQ(NetworkSetupRefusal(kConnNoNetwork, kLinkEthernet), std::nullopt);
}

}  // namespace
}  // namespace velmo::manager
