// The device worker over the real library and the stand-in on a pty: the machine's time is virtual, the
// modem's answers are real.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "Recorders.h"
#include "Transcripts.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/ConnectionControl.h"
#include "manager/core/DeviceStateMachine.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "tests/simulator/EthernetFixture.h"

namespace velmo::manager::test {
namespace {

class MachineStandInTest : public sim::test::StandInTest {
  protected:
    void SetUp() override {
        sim::test::StandInTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        // Should the search ever try Ethernet, it asks loopback.
        sim::test::PointLibraryAt(sim::test::FreePort(SOCK_DGRAM), sim::test::FreePort(SOCK_DGRAM),
                                  sim::test::FreePort(SOCK_STREAM));
        ASSERT_TRUE(PrepareSettingsFile());
        RegistryKey key(kSettingKey, true);
        key.WriteDword("Current Port", 1);
        key.WriteDword("Disable AutoPort", 1);
        key.WriteDword("COM Port Number", static_cast<uint32_t>(sim_->Port() - 1));
        const std::string library = ExecutableDirectory() + "/" + kModemLibraryName;
        ASSERT_EQ(wrapper_.Bind([](const std::string&) {}, {library}), 0);
    }
    void TearDown() override {
        machine_.reset();
        control_.reset();
        wrapper_.Close();
        wrapper_.Unbind();
        unsetenv("XDG_CONFIG_HOME");
        sim::test::StandInTest::TearDown();
    }

    int RunUntil(uint64_t closeAt) {
        settings_.Load();
        wrapper_.SetSettings(&settings_.Record());
        wrapper_.SetClosingFlag(&context_.closing);
        control_ = std::make_unique<CConnectionControl>(context_, wrapper_, settings_, view_, prompt_,
                                                        nullptr, ConnectionHooks{});
        MachineHooks hooks;
        hooks.driverReportsDevice = [] { return true; };
        machine_ = std::make_unique<CDeviceStateMachine>(context_, wrapper_, settings_, view_, prompt_,
                                                         clock_, *control_, hooks);
        machine_->SetTrace([this](const std::string& line) {
            // The machine's own lines: the stand-in's status values are not what these tests pin.
            if (line.rfind("t=", 0) == 0 || line.rfind("  ->", 0) == 0) {
                states_.Add(line);
            }
        });
        clock_.At(closeAt, [this] { context_.closing = true; });
        return machine_->Run();
    }

    bool Shown(const char* text) {
        for (const QString& t : view_.Texts()) {
            if (t == QString::fromUtf8(text)) {
                return true;
            }
        }
        return false;
    }

    CModemWrapper wrapper_;
    CSettings settings_;
    DeviceContext context_;
    platform::FakeClock clock_{0};
    Transcript states_;
    RecordingView view_;
    RecordingPrompt prompt_;
    std::unique_ptr<CConnectionControl> control_;
    std::unique_ptr<CDeviceStateMachine> machine_;
};

TEST_F(MachineStandInTest, FoundOnUsbThenPollsAndSaysGoodbye) {
    EXPECT_EQ(RunUntil(4000), kWorkerQuit);
    ExpectTranscript("standin-usb-polling", states_.Text());
    EXPECT_TRUE(Shown("Wykryto urządzenie"));
    EXPECT_EQ(view_.Last("SetConnectionImage"), "SetConnectionImage(2)");
    EXPECT_TRUE(Shown("Gotowy"));
    EXPECT_EQ(context_.connectionState.load(), kConnReady);
    EXPECT_NE(context_.StatusCopy().SoftwareRevision[0], 0);
    // The quit packets reached the modem: request 60 command 5 with 3, then command 16.
    std::vector<std::vector<uint8_t>> quit;
    for (const auto& r : RequestsOf(0x3C)) {
        if (r.packet.size() >= 3 && r.packet[1] == 0 && (r.packet[2] == 5 || r.packet[2] == 16)) {
            quit.push_back(r.packet);
        }
    }
    ASSERT_EQ(quit.size(), 2u);
    EXPECT_EQ(quit[0], (std::vector<uint8_t>{0x3C, 0, 5, 3, 0}));
    EXPECT_EQ(quit[1], (std::vector<uint8_t>{0x3C, 0, 16}));
    EXPECT_EQ(view_.Count("PostClose()"), 1u);
}

TEST_F(MachineStandInTest, VanishedDeviceIsClosedAndSearchedFor) {
    clock_.At(2500, [this] { sim_->Vanish(); });
    EXPECT_EQ(RunUntil(7000), kWorkerQuit);
    const auto lines = states_.Lines();
    size_t closes = 0;
    size_t searches = 0;
    bool closedAfterVanish = false;
    for (const std::string& l : lines) {
        if (l.rfind("t=", 0) != 0) {
            continue;
        }
        const uint64_t t = std::stoull(l.substr(2));
        if (l.find(" DM_STATE_USB_CLOSE") != std::string::npos) {
            ++closes;
            closedAfterVanish = t > 2500;
        }
        if (l.find(" DM_STATE_TRY_OPEN") != std::string::npos && t > 2500) {
            ++searches;
        }
    }
    EXPECT_EQ(closes, 1u);
    EXPECT_TRUE(closedAfterVanish);
    EXPECT_GE(searches, 1u);
    EXPECT_TRUE(Shown("Urządzenie niedostępne"));
    EXPECT_EQ(context_.connectionState.load(), kConnDeviceFound);
}

class CardStandInTest : public MachineStandInTest {
  protected:
    CardStandInTest() { scenario_ = "card-pin"; }
};

TEST_F(CardStandInTest, PinAskedAndAccepted) {
    prompt_.pins = {QString("1234")};
    EXPECT_EQ(RunUntil(3500), kWorkerQuit);
    EXPECT_EQ(prompt_.Records(), (std::vector<PromptRecord>{{"pin", {}, {}, PromptIcon::None, 3},
                                                            Msg("Kod poprawny", "Wykonano pomyślnie")}));
    EXPECT_TRUE(Shown("Gotowy"));
}

// The same stand-in as an Ethernet unit on loopback, and a search that tries Ethernet first.
class EtherStandInTest : public MachineStandInTest {
  protected:
    void SetUp() override {
        MachineStandInTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        sim::EthernetUnit::Options options;
        options.discoveryPort = 0;
        options.dataPort = 0;
        options.httpPort = std::nullopt;
        options.replyPort = sim::test::FreePort(SOCK_DGRAM);
        options.fault = fault_;
        unit_ = std::make_unique<sim::EthernetUnit>(*sim_, options);
        std::string error;
        ASSERT_TRUE(unit_->Start(&error)) << error;
        sim::test::PointLibraryAt(unit_->DiscoveryPort(), unit_->ReplyPort(), unit_->DataPort());
        RegistryKey(kSettingKey, true).WriteDword("Current Port", kLinkEthernet);
    }
    void TearDown() override {
        // The unit relays to the stand-in, so it goes before it.
        machine_.reset();
        wrapper_.Close();
        unit_.reset();
        MachineStandInTest::TearDown();
    }

    // The unit loses its link at the given virtual time. The pause lets the library's reader see the end of
    // the stream before the next step writes; a step that writes first only waits for its time-out.
    void DropAt(uint64_t at) {
        clock_.At(at, [this] {
            unit_->DropConnection();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
    }

    // (virtual time, state) of every step the machine ran.
    std::vector<std::pair<uint64_t, std::string>> Steps() const {
        std::vector<std::pair<uint64_t, std::string>> steps;
        for (const std::string& l : states_.Lines()) {
            const size_t space = l.find(' ');
            if (l.rfind("t=", 0) == 0 && space != std::string::npos) {
                steps.emplace_back(std::stoull(l.substr(2)), l.substr(space + 1));
            }
        }
        return steps;
    }
    size_t StepsOf(const std::string& state) const {
        size_t n = 0;
        for (const auto& [t, s] : Steps()) {
            n += s == state ? 1 : 0;
        }
        return n;
    }
    uint32_t CurrentPort() { return RegistryKey(kSettingKey, true).ReadDword("Current Port", 99); }

    sim::EthernetFault fault_ = sim::EthernetFault::None;
    std::unique_ptr<sim::EthernetUnit> unit_;
};

TEST_F(EtherStandInTest, FoundOnEthernetPollsAndTheButtonsStayOut) {
    int32_t stateAtClick = -1;
    int connectBlock = -1;
    int disconnectBlock = -1;
    clock_.At(3600, [&] {
        stateAtClick = context_.connectionState.load();
        connectBlock = control_->OnConnectButton();
        disconnectBlock = control_->OnDisconnectButton();
    });
    EXPECT_EQ(RunUntil(4500), kWorkerQuit);
    // Found at once, the keep-alive in 20, then the start-up steps and the cycle of the USB path.
    ExpectTranscript("standin-ether-polling", states_.Text());
    EXPECT_EQ(CurrentPort(), static_cast<uint32_t>(kLinkEthernet));
    EXPECT_EQ(settings_.Record().linkType.load(), kLinkEthernet);
    EXPECT_EQ(view_.Last("SetConnectionImage"), "SetConnectionImage(0)");
    EXPECT_EQ(view_.Count("SetConnectButtonsEnabled(true)"), 0u);
    EXPECT_TRUE(Shown("Wykryto urządzenie"));
    EXPECT_TRUE(Shown("Gotowy"));
    EXPECT_EQ(unit_->Stats().sessions, 1u);
    // Kept for the network setup window, which must not take the wrapper's lock.
    EXPECT_EQ(context_.DiscoveredAddress(), "127.0.0.1");

    // Ready, so only the Ethernet link keeps the buttons out: no request, no dial (a dial would have asked
    // for the default profile, which these hooks cannot read, and said so).
    EXPECT_EQ(stateAtClick, kConnReady);
    EXPECT_EQ(connectBlock, 0);
    EXPECT_EQ(disconnectBlock, 0);
    EXPECT_EQ(context_.connectRequested.load(), 0);
    EXPECT_TRUE(prompt_.Records().empty());
    for (const QString& t : view_.Texts()) {
        EXPECT_FALSE(t.startsWith(QString::fromUtf8("Łączenie"))) << t.toStdString();
    }

    // The quit packets went through the unit to the modem.
    size_t quit = 0;
    for (const auto& r : RequestsOf(0x3C)) {
        quit += r.packet.size() >= 3 && r.packet[1] == 0 && (r.packet[2] == 5 || r.packet[2] == 16) ? 1 : 0;
    }
    EXPECT_EQ(quit, 2u);
}

// A link lost while polling fails the steps at once: the third failure closes through 43 (only the
// keep-alive in 20 closes through 19), and the next search finds the unit again.
TEST_F(EtherStandInTest, LinkLostWhilePollingClosesAndFindsTheUnitAgain) {
    DropAt(2500);
    EXPECT_EQ(RunUntil(6000), kWorkerQuit);
    ExpectTranscript("standin-ether-drop", states_.Text());
    uint64_t closedAt = 0;
    for (const auto& [t, s] : Steps()) {
        if (s == "DM_STATE_USB_CLOSE") {
            closedAt = t;
        }
    }
    EXPECT_GT(closedAt, 2500u);
    EXPECT_EQ(StepsOf("DM_STATE_USB_CLOSE"), 1u);
    EXPECT_EQ(StepsOf("DM_STATE_ETHER_CLOSE"), 0u);
    EXPECT_EQ(StepsOf("DM_STATE_ETHER_IDLE"), 2u);
    EXPECT_TRUE(Shown("Urządzenie niedostępne"));
    EXPECT_EQ(unit_->Stats().sessions, 2u);
    EXPECT_EQ(CurrentPort(), static_cast<uint32_t>(kLinkEthernet));
}

// The keep-alive runs once per search and moves on whatever it reads, so a unit gone before it runs is closed
// by the third failure of the next step, through 43.
TEST_F(EtherStandInTest, LinkLostBeforeTheKeepAliveClosesThroughTheNextStep) {
    DropAt(500);
    EXPECT_EQ(RunUntil(3500), kWorkerQuit);
    const auto lines = states_.Lines();
    const auto keepAlive = std::find(lines.begin(), lines.end(), "t=1000 DM_STATE_ETHER_IDLE");
    ASSERT_NE(keepAlive, lines.end());
    ASSERT_NE(keepAlive + 1, lines.end());
    EXPECT_EQ(*(keepAlive + 1), "  -> DM_STATE_USB_IDLE_1 wait=4 retry=1");
    EXPECT_EQ(StepsOf("DM_STATE_USB_IDLE_1"), 2u);
    EXPECT_EQ(StepsOf("DM_STATE_USB_IDLE_2"), 0u);
    EXPECT_EQ(StepsOf("DM_STATE_USB_CLOSE"), 1u);
    EXPECT_EQ(StepsOf("DM_STATE_ETHER_CLOSE"), 0u);
    EXPECT_EQ(StepsOf("DM_STATE_TRY_OPEN"), 2u);
    EXPECT_EQ(StepsOf("DM_STATE_ETHER_IDLE"), 1u);
    EXPECT_TRUE(Shown("Urządzenie niedostępne"));
    EXPECT_EQ(unit_->Stats().sessions, 2u);
}

class SilentUnitStandInTest : public EtherStandInTest {
  protected:
    SilentUnitStandInTest() { fault_ = sim::EthernetFault::NoDiscovery; }
};

// Ethernet first with no unit answering (three unanswered discoveries, about 6 s of real time): the USB
// attempt follows and the modem is found there.
TEST_F(SilentUnitStandInTest, NoUnitAnsweringThenFoundOnUsb) {
    EXPECT_EQ(RunUntil(1500), kWorkerQuit);
    EXPECT_EQ(unit_->Stats().discoveryRequests, 3u);
    EXPECT_EQ(unit_->Stats().sessions, 0u);
    EXPECT_EQ(StepsOf("DM_STATE_USB_IDLE"), 1u);
    EXPECT_EQ(StepsOf("DM_STATE_ETHER_IDLE"), 0u);
    EXPECT_EQ(CurrentPort(), static_cast<uint32_t>(kLinkUsb));
    EXPECT_EQ(settings_.Record().linkType.load(), kLinkUsb);
    EXPECT_EQ(view_.Last("SetConnectionImage"), "SetConnectionImage(2)");
    EXPECT_EQ(view_.Last("SetConnectButtonsEnabled"), "SetConnectButtonsEnabled(true)");
    EXPECT_TRUE(Shown("Wykryto urządzenie"));
}

}  // namespace
}  // namespace velmo::manager::test
