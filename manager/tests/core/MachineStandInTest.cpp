// The device worker over the real library and the stand-in on a pty: the machine's time is virtual, the
// modem's answers are real.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "Recorders.h"
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
    EXPECT_EQ(prompt_.Records(),
              (std::vector<PromptRecord>{{"pin", {}, {}, PromptIcon::None, 3}, Msg("Kod poprawny", "Wykonano pomyślnie")}));
    EXPECT_TRUE(Shown("Gotowy"));
}

}  // namespace
}  // namespace velmo::manager::test
