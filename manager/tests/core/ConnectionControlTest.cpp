// The buttons, the dial-state callback and the connection evaluation, one evaluation at a time on the status
// copy a polling cycle would leave behind.
#include <gtest/gtest.h>

#include "Recorders.h"
#include "ScriptedDevice.h"
#include "SettingsFixture.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/ConnectionControl.h"
#include "manager/core/Settings.h"
#include "platform/dialup/DialErrors.h"

namespace velmo::manager::test {
namespace {

class ConnectionTest : public ConfigFolderTest {
  protected:
    void SetUp() override {
        ConfigFolderTest::SetUp();
        wrapper_.Attach(&modem_);
        settings_.Record().linkType = kLinkUsb;
        ConnectionHooks hooks;
        hooks.readDefaultProfile = [this](ProfileRecord* p) {
            if (!profileReadable_) {
                return false;
            }
            *p = {"1xEvDO", "#777", "user", "secret", 1, 1, 1};
            return true;
        };
        hooks.checkDefaultEntry = [this] {
            ++entryChecks_;
            return entryOk_;
        };
        hooks.repairDefaultEntry = [this] {
            ++repairs_;
            return true;
        };
        hooks.nowSeconds = [] { return int64_t{1700000000}; };
        control_ = std::make_unique<CConnectionControl>(context_, wrapper_, settings_, view_, prompt_,
                                                        nullptr, hooks);
    }

    void Status(uint8_t inService, uint8_t inTraffic, uint16_t mode = 1, uint8_t evdo = 0, uint16_t rx = 0) {
        std::lock_guard<std::mutex> lk(context_.statusLock);
        context_.statusCopy.InService = inService;
        context_.statusCopy.InTraffic = inTraffic;
        context_.statusCopy.NetworkKind = mode;
        context_.statusCopy.EvdoPresent = evdo;
        context_.statusCopy.RxState = rx;
    }
    // Runs n evaluations; the text shown after each one (empty when none was set).
    std::vector<QString> Evaluate(int n) {
        std::vector<QString> out;
        for (int i = 0; i < n; ++i) {
            const size_t before = view_.Texts().size();
            last_ = control_->Evaluate();
            const auto texts = view_.Texts();
            out.push_back(texts.size() > before ? texts.back() : QString());
        }
        return out;
    }

    ScriptedDevice modem_;
    CModemWrapper wrapper_;
    CSettings settings_;
    DeviceContext context_;
    RecordingView view_;
    RecordingPrompt prompt_;
    std::unique_ptr<CConnectionControl> control_;
    EvaluationOutcome last_;
    bool profileReadable_ = true;
    bool entryOk_ = true;
    int entryChecks_ = 0;
    int repairs_ = 0;
};

const QString kNone;
QString U(const char* s) {
    return QString::fromUtf8(s);
}

TEST_F(ConnectionTest, ReadyAfterThreeEvaluations) {
    context_.connectionState = kConnDeviceFound;
    Status(1, 0);
    EXPECT_EQ(Evaluate(4), (std::vector<QString>{kNone, kNone, U("Gotowy"), kNone}));
    EXPECT_EQ(context_.connectionState.load(), kConnReady);
    EXPECT_EQ(context_.deviceStatusCode.load(), 3);
    EXPECT_EQ(last_.nextState, DM_STATE_USB_IDLE_12);
    EXPECT_EQ(last_.wait, 2);
    EXPECT_EQ(view_.Last("SetConnectedLook"), "SetConnectedLook(false)");
}

TEST_F(ConnectionTest, NoNetworkNeedsThreeConsecutiveEvaluations) {
    context_.connectionState = kConnReady;
    Status(0, 0);
    Evaluate(2);
    Status(1, 0);  // the network came back once: the count starts again
    Evaluate(1);
    Status(0, 0);
    EXPECT_EQ(Evaluate(4), (std::vector<QString>{kNone, kNone, U("Brak sieci"), kNone}));
    EXPECT_EQ(context_.connectionState.load(), kConnNoNetwork);
    EXPECT_EQ(context_.deviceStatusCode.load(), 2);
}

TEST_F(ConnectionTest, EvdoAndHybridServiceCountAsNetwork) {
    context_.connectionState = kConnReady;
    Status(0, 0, 10, 1);
    Evaluate(3);
    Status(0, 0, 1, 0, 4);
    Evaluate(3);
    Status(0, 0, 1, 1, 0);
    Evaluate(3);
    EXPECT_EQ(context_.connectionState.load(), kConnReady);
    // EV-DO presence does not help a 1x-only modem.
    Status(0, 0, 9, 1, 4);
    Evaluate(3);
    EXPECT_EQ(context_.connectionState.load(), kConnNoNetwork);
}

TEST_F(ConnectionTest, DormancyTwiceThenActiveStaysConnected) {
    context_.connectionState = kConnConnected;
    Status(1, 1);
    context_.dormant = 1;
    Evaluate(2);
    context_.dormant = 0;
    EXPECT_EQ(Evaluate(3), (std::vector<QString>{kNone, kNone, kNone}));
    EXPECT_EQ(context_.connectionState.load(), kConnConnected);
    // Three in a row do make it dormant, and activity brings "Połączono" back.
    context_.dormant = 1;
    EXPECT_EQ(Evaluate(4), (std::vector<QString>{kNone, kNone, U("Połączono (uśpiony)"), kNone}));
    EXPECT_EQ(context_.connectionState.load(), kConnDormant);
    EXPECT_EQ(view_.Last("SetConnectedLook"), "SetConnectedLook(true)");
    context_.dormant = 0;
    EXPECT_EQ(Evaluate(1), (std::vector<QString>{U("Połączono")}));
    EXPECT_EQ(context_.connectionState.load(), kConnConnected);
}

TEST_F(ConnectionTest, DormantWithoutOurConnectionGoesOnEvaluating) {
    context_.connectionState = kConnDeviceFound;
    context_.dormant = 1;
    Status(1, 0);
    EXPECT_EQ(Evaluate(3).back(), U("Gotowy"));
    // A disconnect request there hangs up and ends with the long wait.
    context_.disconnectRequested = 1;
    EXPECT_EQ(Evaluate(1), (std::vector<QString>{U(" ")}));
    EXPECT_EQ(modem_.hangUps.load(), 1);
    EXPECT_EQ(context_.dormant.load(), 0);
    EXPECT_EQ(context_.connectionState.load(), kConnNone);
    EXPECT_EQ(last_.wait, 40);
    EXPECT_EQ(last_.nextState, DM_STATE_USB_IDLE_12);
}

// The disconnect button is offered while the call is dormant; pressing it must hang up at once, not when
// traffic resumes.
TEST_F(ConnectionTest, DisconnectWhileDormantHangsUp) {
    context_.connectionState = kConnConnected;
    Status(1, 1);
    context_.dormant = 1;
    Evaluate(3);
    ASSERT_EQ(context_.connectionState.load(), kConnDormant);
    EXPECT_EQ(Evaluate(2), (std::vector<QString>{kNone, kNone}));  // stays dormant, nothing to do
    EXPECT_EQ(modem_.hangUps.load(), 0);
    EXPECT_EQ(control_->OnDisconnectButton(), kDisconnectBlockMs);
    EXPECT_EQ(Evaluate(1), (std::vector<QString>{U(" ")}));
    EXPECT_EQ(modem_.hangUps.load(), 1);
    EXPECT_EQ(context_.connectionState.load(), kConnNone);
    EXPECT_EQ(context_.disconnectRequested.load(), 0);
    EXPECT_EQ(last_.wait, 40);
}

TEST_F(ConnectionTest, ForeignTrafficShownOnTheFourthEvaluation) {
    context_.connectionState = kConnReady;
    Status(1, 1);
    EXPECT_EQ(Evaluate(5), (std::vector<QString>{kNone, kNone, kNone, U("Połączono"), kNone}));
    EXPECT_EQ(context_.connectionState.load(), kConnConnected);
}

TEST_F(ConnectionTest, ConnectRequestDialsTheDefaultProfile) {
    context_.connectionState = kConnReady;
    Status(1, 0);
    EXPECT_EQ(control_->OnConnectButton(), kConnectBlockMs);
    EXPECT_EQ(entryChecks_, 1);
    EXPECT_EQ(repairs_, 0);
    Evaluate(1);
    EXPECT_EQ(context_.connectRequested.load(), 0);
    std::lock_guard<std::mutex> lk(modem_.mutex);
    EXPECT_EQ(modem_.dials, std::vector<std::string>{"1xEvDO|#777|user|secret"});
    EXPECT_EQ(modem_.dialCallback, &CConnectionControl::DialStateCallback);
}

TEST_F(ConnectionTest, UnreadableProfileIsReportedInsteadOfDialled) {
    profileReadable_ = false;
    entryOk_ = false;
    context_.connectionState = kConnReady;
    Status(1, 0);
    EXPECT_EQ(control_->OnConnectButton(), kConnectBlockMs);
    EXPECT_EQ(repairs_, 1);
    Evaluate(1);
    EXPECT_EQ(prompt_.Records(), std::vector<PromptRecord>{Msg("Sprawdź profil połączenia USB")});
    std::lock_guard<std::mutex> lk(modem_.mutex);
    EXPECT_TRUE(modem_.dials.empty());
}

TEST_F(ConnectionTest, DisconnectInTrafficHangsUp) {
    context_.connectionState = kConnConnected;
    Status(1, 1);
    EXPECT_EQ(control_->OnDisconnectButton(), kDisconnectBlockMs);
    EXPECT_EQ(Evaluate(1), (std::vector<QString>{U(" ")}));
    EXPECT_EQ(modem_.hangUps.load(), 1);
    EXPECT_EQ(context_.connectionState.load(), kConnNone);
    EXPECT_EQ(context_.deviceStatusCode.load(), 1);
    EXPECT_EQ(last_.wait, 40);
    EXPECT_EQ(view_.Last("SetConnectedLook"), "SetConnectedLook(false)");
}

TEST_F(ConnectionTest, DialErrorClosesTheDevice) {
    context_.connectionState = kConnReady;
    context_.connectRequested = 1;
    context_.dialError = 1;
    Status(1, 0);
    EXPECT_EQ(Evaluate(1), (std::vector<QString>{U(" ")}));
    EXPECT_EQ(last_.nextState, DM_STATE_USB_CLOSE);
    EXPECT_EQ(last_.wait, 40);
    EXPECT_TRUE(last_.clearRetry);
    EXPECT_EQ(modem_.hangUps.load(), 1);
    EXPECT_EQ(context_.dialError.load(), 0);
    EXPECT_EQ(context_.connectRequested.load(), 0);
    EXPECT_EQ(context_.connectionState.load(), kConnNone);
    EXPECT_EQ(view_.Last("SetTrafficIndicator"), "SetTrafficIndicator(false)");
}

TEST_F(ConnectionTest, ButtonsOnlyActInTheirStates) {
    context_.connectionState = kConnNoNetwork;
    context_.connectRequested = 1;
    EXPECT_EQ(control_->OnConnectButton(), 0);
    EXPECT_EQ(context_.connectRequested.load(), 0);
    context_.disconnectRequested = 1;
    EXPECT_EQ(control_->OnDisconnectButton(), 0);
    EXPECT_EQ(context_.disconnectRequested.load(), 0);
    context_.connectionState = kConnDormant;
    EXPECT_EQ(control_->OnDisconnectButton(), kDisconnectBlockMs);

    // Ethernet and closing: nothing at all, not even clearing.
    context_.connectionState = kConnReady;
    settings_.Record().linkType = kLinkEthernet;
    EXPECT_EQ(control_->OnConnectButton(), 0);
    EXPECT_EQ(control_->OnDisconnectButton(), 0);
    EXPECT_EQ(context_.connectRequested.load(), 0);
    EXPECT_EQ(context_.disconnectRequested.load(), 1);
    EXPECT_EQ(entryChecks_, 0);
    settings_.Record().linkType = kLinkUsb;
    context_.closing = true;
    EXPECT_EQ(control_->OnConnectButton(), 0);
    EXPECT_EQ(context_.connectRequested.load(), 0);
}

TEST_F(ConnectionTest, DialStateTexts) {
    const std::pair<uint32_t, const char*> texts[] = {
        {0, "Łączenie… "},
        {1, "Łączenie… ."},
        {2, "Łączenie… .."},
        {3, "Łączenie… ..."},
        {4, "Łączenie… ...."},
        {5, "Uwierzytelnianie… .."},
        {6, "Uwierzytelnianie… ...."},
        {7, "Ponawiam uwierzytelnienie… "},
        {8, ""},
        {15, ""},
        {16, ""},
        {4097, ""},
        {4099, "Hasło wygasło"},
        {8193, ""},
    };
    for (const auto& [state, text] : texts) {
        EXPECT_EQ(CConnectionControl::DialStateCallback(7, 0, state, 0, 0), 1u);
        EXPECT_EQ(view_.LastText(), U(text)) << state;
    }
    // 14 and unknown states leave the text.
    const size_t shown = view_.Texts().size();
    CConnectionControl::DialStateCallback(7, 0, 14, 0, 0);
    CConnectionControl::DialStateCallback(7, 0, 9, 0, 0);
    EXPECT_EQ(view_.Texts().size(), shown);
    EXPECT_EQ(context_.connectionState.load(), kConnNone);

    context_.connectRequested = 1;
    CConnectionControl::DialStateCallback(7, 0, 8192, 0, 0);
    EXPECT_EQ(view_.LastText(), U("Połączono"));
    EXPECT_EQ(context_.connectionState.load(), kConnConnected);
    EXPECT_EQ(context_.connectRequested.load(), 0);
    EXPECT_EQ(context_.connectionStart.load(), 1700000000);
    EXPECT_EQ(view_.Last("SetConnectedLook"), "SetConnectedLook(true)");

    // A disconnect is pending: the texts stay away.
    context_.disconnectRequested = 1;
    CConnectionControl::DialStateCallback(7, 0, 0, 0, 0);
    EXPECT_EQ(view_.Texts().size(), shown + 1);
    EXPECT_TRUE(prompt_.Records().empty());
}

TEST_F(ConnectionTest, DialErrorIsShownWithoutWaiting) {
    EXPECT_EQ(CConnectionControl::DialStateCallback(7, 0, 3, 691, 0), 1u);
    EXPECT_EQ(CConnectionControl::DialStateCallback(7, 0, 3, 5, 0), 1u);
    EXPECT_EQ(context_.dialError.load(), 1);
    EXPECT_EQ(view_.LastText(), QString());
    const QString t691 = QString::fromStdString(dialup::DialErrorText(691));
    const QString t5 = QString::fromStdString(dialup::DialErrorText(5));
    EXPECT_EQ(prompt_.Records(), (std::vector<PromptRecord>{
                                     {"nowait", "Error 691: " + t691, U("Połączenie"), PromptIcon::Stop, 0},
                                     {"nowait", "Error 5  : " + t5, U("Połączenie"), PromptIcon::Stop, 0},
                                 }));
}

TEST_F(ConnectionTest, TheNewestInstanceGetsTheCallbacks) {
    RecordingView other;
    {
        CConnectionControl second(context_, wrapper_, settings_, other, prompt_, nullptr, {});
        CConnectionControl::DialStateCallback(7, 0, 4099, 0, 0);
        EXPECT_EQ(other.LastText(), U("Hasło wygasło"));
        EXPECT_TRUE(view_.Texts().empty());
    }
    // Gone: callbacks find nobody and still ask for more.
    control_.reset();
    EXPECT_EQ(CConnectionControl::DialStateCallback(7, 0, 0, 0, 0), 1u);
}

}  // namespace
}  // namespace velmo::manager::test
