// The device worker in virtual time against a scripted modem: the search and its back-off, the start-up
// sequence, the card dialogue, the three-failure rule, the pause protocol and the quit sequence. Runs are
// single-threaded: Run() executes on the test thread and scheduled actions fire inside its sleeps.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "Recorders.h"
#include "ScriptedDevice.h"
#include "SettingsFixture.h"
#include "Transcripts.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/ConnectionControl.h"
#include "manager/core/DeviceStateMachine.h"
#include "manager/core/Settings.h"
#include "tests/simulator/StandInFixture.h"

namespace velmo::manager::test {
namespace {

class MachineTest : public ConfigFolderTest {
  protected:
    void SetUp() override {
        ConfigFolderTest::SetUp();
        ASSERT_TRUE(PrepareSettingsFile());
        Setting("Current Port", 1);
        Setting("Disable AutoPort", 1);
        Setting("COM Port Number", 4);
        wrapper_.Attach(&modem_);
    }

    void Setting(const char* name, uint32_t value) {
        RegistryKey key(kSettingKey, true);
        ASSERT_TRUE(key.WriteDword(name, value));
    }
    uint32_t ReadSetting(const char* name) {
        RegistryKey key(kSettingKey, true);
        return key.ReadDword(name, kNoCreateDefault);
    }

    // Runs the worker until it ends; the application starts closing at closeAt (virtual ms).
    int RunUntil(uint64_t closeAt) {
        settings_.Load();
        wrapper_.SetSettings(&settings_.Record());
        control_ = std::make_unique<CConnectionControl>(context_, wrapper_, settings_, view_, prompt_,
                                                        nullptr, ConnectionHooks{});
        MachineHooks hooks;
        hooks.driverReportsDevice = [this] { return driver_; };
        hooks.createPreset = [this] {
            ++presetCalls_;
            return false;
        };
        machine_ = std::make_unique<CDeviceStateMachine>(context_, wrapper_, settings_, view_, prompt_,
                                                         clock_, *control_, hooks);
        machine_->SetTrace([this](const std::string& line) { transcript_.Add(line); });
        clock_.At(closeAt, [this] { context_.closing = true; });
        return machine_->Run();
    }

    // Times at which the worker ran a state's step.
    std::vector<uint64_t> StepTimes(const std::string& state) {
        std::vector<uint64_t> out;
        for (const std::string& line : transcript_.Lines()) {
            const auto space = line.find(' ');
            if (line.rfind("t=", 0) == 0 && space != std::string::npos && line.substr(space + 1) == state) {
                out.push_back(std::stoull(line.substr(2, space - 2)));
            }
        }
        return out;
    }

    ScriptedDevice modem_;
    CModemWrapper wrapper_;
    CSettings settings_;
    DeviceContext context_;
    platform::FakeClock clock_{0};
    Transcript transcript_;
    RecordingView view_{&transcript_};
    RecordingPrompt prompt_{&transcript_};
    std::unique_ptr<CConnectionControl> control_;
    std::unique_ptr<CDeviceStateMachine> machine_;
    bool driver_ = true;
    int presetCalls_ = 0;
};

TEST(DeviceStates, NamesAndTable) {
    EXPECT_STREQ(DeviceStateName(0), "DM_STATE_UNKNOWN");
    EXPECT_STREQ(DeviceStateName(9), "DM_STATE_IDLE_2");
    EXPECT_STREQ(DeviceStateName(18), "DM_STATE_IDLE_11");
    EXPECT_STREQ(DeviceStateName(23), "DM_STATE_ETHER_IDLE_2");
    EXPECT_STREQ(DeviceStateName(29), "DM_STATE_ETHER_IDLE_8");
    EXPECT_STREQ(DeviceStateName(37), "DM_STATE_USB_IDLE_7");
    EXPECT_STREQ(DeviceStateName(46), "DM_STATE_MAX_NUM");
    EXPECT_STREQ(DeviceStateName(47), "DM_STATE_INVALID");
    EXPECT_STREQ(DeviceStateName(-1), "DM_STATE_INVALID");
    // Every row names its own value; the states no transition enters have no step.
    for (int32_t s = 0; s < DM_STATE_MAX_NUM; ++s) {
        const auto* row = CDeviceStateMachine::FindState(s);
        const bool unused = s == 0 || (s >= 4 && s <= 18) || (s >= 21 && s <= 29) || s == 37;
        EXPECT_EQ(row == nullptr, unused) << s;
        if (row != nullptr) {
            EXPECT_STREQ(row->name, DeviceStateName(s));
        }
    }
}

TEST(StateLockProtocol, WaitsInBoundedStepsAndGoesOnInAnyCase) {
    platform::FakeClock clock{0};
    DeviceContext c;
    // Nobody holds the lock and the worker has stopped: no wait at all.
    c.workerStepping = 0;
    EXPECT_TRUE(StateLock(c, clock, true));
    EXPECT_EQ(c.lockFlag.load(), 1);
    EXPECT_EQ(clock.Elapsed(), 0u);
    // Held by another screen that never lets go and a worker that never stops: 22 + 22 steps of 100 ms.
    c.workerStepping = 1;
    EXPECT_FALSE(StateLock(c, clock, true));  // the caller goes on, told that the worker did not stop
    EXPECT_EQ(clock.Elapsed(), 4400u);
    EXPECT_EQ(c.lockFlag.load(), 1);
    // The holder lets go after 300 ms, the worker stops 500 ms later.
    const uint64_t t0 = clock.Elapsed();
    clock.At(t0 + 300, [&] { c.lockFlag = 0; });
    clock.At(t0 + 800, [&] { c.workerStepping = 0; });
    EXPECT_TRUE(StateLock(c, clock, true));
    EXPECT_EQ(clock.Elapsed() - t0, 800u);
    // Off clears at once; closing skips every wait.
    StateLock(c, clock, false);
    EXPECT_EQ(c.lockFlag.load(), 0);
    EXPECT_EQ(clock.Elapsed() - t0, 800u);
    c.lockFlag = 1;
    c.workerStepping = 1;
    c.closing = true;
    StateLock(c, clock, true);
    EXPECT_EQ(clock.Elapsed() - t0, 800u);
}

TEST_F(MachineTest, FoundOnUsbThenPollsAndQuits) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
    }
    EXPECT_EQ(RunUntil(3500), kWorkerQuit);
    ExpectTranscript("usb-found-polling-quit", transcript_.Text());
    EXPECT_EQ(modem_.lastPort.load(), 5);  // "COM Port Number" 4 is port 5
    EXPECT_EQ(ReadSetting("Current Port"), 1u);
    EXPECT_EQ(presetCalls_, 1);
    EXPECT_TRUE(context_.presetCheckDone.load());
    EXPECT_EQ(context_.connectionState.load(), kConnReady);
    EXPECT_EQ(modem_.CountOf("r60 5/0"), 1u);
    EXPECT_EQ(modem_.CountOf("r60 16/0"), 1u);
    EXPECT_EQ(modem_.quit5Argument, 3);
    EXPECT_EQ(view_.Count("PostClose()"), 1u);
    EXPECT_EQ(view_.LastText(), QString::fromUtf8("Zamykanie… "));
    // The status copy carries the mode where the network kind was.
    EXPECT_EQ(static_cast<int>(context_.StatusCopy().NetworkKind), 1);
    EXPECT_EQ(context_.StatusCopy().InService, 1);
}

TEST_F(MachineTest, ThreeFailedStepsCloseAndSearchAgain) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
    }
    clock_.At(2000, [this] {
        modem_.answering = false;
        modem_.present = false;
    });
    EXPECT_EQ(RunUntil(6000), kWorkerQuit);
    ExpectTranscript("device-stops-answering", transcript_.Text());
    // The close comes 20 ticks before the next search.
    const auto closes = StepTimes("DM_STATE_USB_CLOSE");
    const auto uninit = StepTimes("DM_STATE_UNINIT");
    ASSERT_EQ(closes.size(), 1u);
    ASSERT_EQ(uninit.size(), 2u);
    EXPECT_EQ(uninit[1] - closes[0], 20u * 50u);
    // The link is gone: no quit packets.
    EXPECT_EQ(modem_.CountOf("r60 5/0"), 0u);
    EXPECT_EQ(context_.connectionState.load(), kConnDeviceFound);
}

TEST_F(MachineTest, CurrentPortOutOfRangeMakesNoAttempt) {
    Setting("Current Port", 7);
    EXPECT_EQ(RunUntil(500), kWorkerQuit);
    ExpectTranscript("current-port-7", transcript_.Text());
    EXPECT_EQ(modem_.opens.load(), 0);
    EXPECT_EQ(modem_.etherOpens.load(), 0);
    EXPECT_EQ(ReadSetting("Current Port"), 3u);
}

TEST_F(MachineTest, SearchOrderFollowsTheLastLink) {
    modem_.present = false;
    Setting("Current Port", 0);
    EXPECT_EQ(RunUntil(100), kWorkerQuit);
    // Ethernet first, then the three USB attempts of the reopen.
    EXPECT_EQ(modem_.etherOpens.load(), 1);
    EXPECT_EQ(modem_.opens.load(), 3);
    EXPECT_EQ(ReadSetting("Current Port"), 3u);
}

TEST_F(MachineTest, DriverWithoutDeviceIsNotOpened) {
    driver_ = false;
    EXPECT_EQ(RunUntil(100), kWorkerQuit);
    EXPECT_EQ(modem_.opens.load(), 0);
    EXPECT_EQ(modem_.etherOpens.load(), 1);
}

TEST_F(MachineTest, FiftyFailedSearchesThenOnceAMinute) {
    modem_.present = false;
    EXPECT_EQ(RunUntil(400000), kWorkerQuit);
    const auto searches = StepTimes("DM_STATE_TRY_OPEN");
    ASSERT_GE(searches.size(), 53u);
    // Searches 2..50 follow 40 ticks in state 2's wait plus 40 in state 3's.
    for (size_t i = 1; i < 50; ++i) {
        EXPECT_EQ(searches[i] - searches[i - 1], 80u * 50u) << i;
    }
    for (size_t i = 50; i < searches.size(); ++i) {
        EXPECT_EQ(searches[i] - searches[i - 1], (40u + 1200u) * 50u) << i;
    }
    EXPECT_GE(machine_->SearchFailures(), 50);
}

TEST_F(MachineTest, CloseDuringSearchSendsNoQuitPackets) {
    modem_.present = false;
    EXPECT_EQ(RunUntil(1000), kWorkerQuit);
    ExpectTranscript("close-during-search", transcript_.Text());
    EXPECT_EQ(modem_.CountOf("r60 5/0"), 0u);
    EXPECT_EQ(modem_.CountOf("r60 16/0"), 0u);
    EXPECT_EQ(view_.Count("PostClose()"), 1u);
    // The quit left the wait at once: no 1000 ms pause for packets that were not sent.
    EXPECT_LT(clock_.Elapsed(), 1100u);
}

// A screen that reset the modem while it held the worker: once released, the worker closes the device and
// searches again, never before.
TEST_F(MachineTest, DeviceResetAskedDuringAPauseClosesOnceReleased) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
    }
    clock_.At(2025, [this] {
        context_.lockFlag = 1;
        context_.deviceResetRequested = true;
    });
    clock_.At(3025, [this] { context_.lockFlag = 0; });
    EXPECT_EQ(RunUntil(7000), kWorkerQuit);
    EXPECT_FALSE(context_.deviceResetRequested.load());
    const std::vector<uint64_t> closes = StepTimes("DM_STATE_USB_CLOSE");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_GE(closes[0], 3025u);
    EXPECT_LT(closes[0], 3025u + 250u);
    // Found again after the close's 20 ticks.
    const std::vector<uint64_t> found = StepTimes("DM_STATE_USB_IDLE");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_GT(found[1], closes[0]);
}

TEST_F(MachineTest, LockPausesAndResumesExactly) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
    }
    clock_.At(2025, [this] { context_.lockFlag = 1; });
    clock_.At(4025, [this] { context_.lockFlag = 0; });
    EXPECT_EQ(RunUntil(5000), kWorkerQuit);
    ExpectTranscript("lock-pause-resume", transcript_.Text());
    // No step ran while the lock was held.
    for (const std::string& line : transcript_.Lines()) {
        if (line.rfind("t=", 0) == 0 && line.find("paused") == std::string::npos &&
            line.find("resumed") == std::string::npos) {
            const uint64_t t = std::stoull(line.substr(2));
            EXPECT_FALSE(t > 2025 && t < 4025) << line;
        }
    }
}

TEST_F(MachineTest, DialErrorClosesAndSearchesAgain) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
    }
    // The dial-up service reports the failure on its own thread while the worker polls.
    clock_.At(3000, [] { CConnectionControl::DialStateCallback(9, 0, 3, 691, 0); });
    EXPECT_EQ(RunUntil(7000), kWorkerQuit);
    ExpectTranscript("dial-error", transcript_.Text());
    ASSERT_EQ(prompt_.Records().size(), 1u);
    EXPECT_EQ(prompt_.Records()[0].kind, "nowait");
    EXPECT_TRUE(prompt_.Records()[0].text.startsWith("Error 691: "));
    EXPECT_EQ(prompt_.Records()[0].caption, QString::fromUtf8("Połączenie"));
    EXPECT_EQ(prompt_.Records()[0].icon, PromptIcon::Stop);
    EXPECT_EQ(modem_.hangUps.load(), 1);
    EXPECT_EQ(StepTimes("DM_STATE_USB_CLOSE").size(), 1u);
    EXPECT_EQ(StepTimes("DM_STATE_TRY_OPEN").size(), 2u);
}

// The pause protocol between two real threads on the real clock: once StateLock returns the worker makes no
// step until the lock is released.
TEST_F(MachineTest, ScreenLockStopsTheWorkerThread) {
    settings_.Load();
    wrapper_.SetSettings(&settings_.Record());
    control_ = std::make_unique<CConnectionControl>(context_, wrapper_, settings_, view_, prompt_, nullptr,
                                                    ConnectionHooks{});
    std::atomic<int> steps{0};
    machine_ = std::make_unique<CDeviceStateMachine>(context_, wrapper_, settings_, view_, prompt_,
                                                     platform::RealClock(), *control_,
                                                     MachineHooks{[] { return true; }, {}, nullptr, {}});
    machine_->SetTrace([&](const std::string& line) {
        if (line.rfind("t=", 0) == 0 && line.find("paused") == std::string::npos &&
            line.find("resumed") == std::string::npos) {
            steps.fetch_add(1);
        }
    });
    std::atomic<int> rc{0};
    std::thread worker([&] { rc = machine_->Run(); });
    ASSERT_TRUE(sim::test::Eventually([&] { return steps.load() >= 3; }));
    int frozen = 0;
    {
        const WorkerPause pause(context_, platform::RealClock());
        EXPECT_TRUE(pause.WorkerStopped());
        EXPECT_EQ(context_.workerStepping.load(), 0);
        frozen = steps.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(steps.load(), frozen);
    }
    EXPECT_EQ(context_.lockFlag.load(), 0);
    EXPECT_TRUE(sim::test::Eventually([&] { return steps.load() > frozen; }));
    context_.RequestClosing();
    worker.join();
    EXPECT_EQ(rc.load(), kWorkerQuit);
}

TEST_F(MachineTest, PreferredModeReachesTheSettings) {
    modem_.mode = 10;
    EXPECT_EQ(RunUntil(1500), kWorkerQuit);
    EXPECT_EQ(ReadSetting("Pref Mode"), 0u);
    EXPECT_EQ(settings_.Loaded().prefMode, 0u);
}

TEST_F(MachineTest, UserStatusDecoding) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
        modem_.capability = 0x8001;  // zero-extended, not negative
        const uint16_t words[8] = {0x7, 0x0150, 0x1, static_cast<uint16_t>(-85), static_cast<uint16_t>(-7),
                                   90,  0xFFFE, 1};
        std::copy(words, words + 8, modem_.user.begin());
    }
    clock_.At(3000, [this] {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.user[0] = 0;  // voice mail read
    });
    EXPECT_EQ(RunUntil(4000), kWorkerQuit);
    EXPECT_EQ(context_.capability.load(), 0x8001);
    const UserStatus u = context_.User();
    EXPECT_EQ(u.evdoMagnitude, 85);
    EXPECT_EQ(u.w4Magnitude, 7);
    EXPECT_EQ(u.oneXMagnitude, 90);
    EXPECT_EQ(u.w6, 0xFFFE);
    EXPECT_EQ(u.secondNetwork, 1);
    EXPECT_EQ(u.battery, 0x0150);
    EXPECT_EQ(context_.dormant.load(), 1);
    EXPECT_EQ(context_.voiceMail.load(), 0);
    // Each notice window once, however many cycles saw its bit.
    EXPECT_EQ(view_.Count("ShowNoticeWindow(A)"), 1u);
    EXPECT_EQ(view_.Count("ShowNoticeWindow(B)"), 1u);
    EXPECT_EQ(view_.Count("ShowNoticeWindow(C)"), 1u);
    EXPECT_GE(view_.Count("SetVoiceMailIcon(true)"), 2u);
    EXPECT_EQ(view_.Last("SetVoiceMailIcon"), "SetVoiceMailIcon(false)");
    EXPECT_EQ(view_.Last("SetMenuShown"), "SetMenuShown(true)");
}

TEST_F(MachineTest, NoExtendedUserStatusHidesTheBattery) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.capability = 0xFFFD;
        modem_.user[1] = 0x0150;
    }
    EXPECT_EQ(RunUntil(2500), kWorkerQuit);
    EXPECT_EQ(context_.User().battery, 0xFFFF);
    EXPECT_EQ(view_.Last("SetBatteryWord"), "SetBatteryWord(65535)");
    EXPECT_EQ(view_.Last("SetChargingAnimation"), "SetChargingAnimation(false)");
}

// The card dialogue with NV item 855 = 0 (a card build).
class CardTest : public MachineTest {
  protected:
    void SetUp() override {
        MachineTest::SetUp();
        modem_.nv855 = 0;
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.status.InService = 1;
        modem_.pinEnabled = true;
    }
    std::vector<PromptRecord> Prompts() { return prompt_.Records(); }
    static PromptRecord Pin(int attempts) { return {"pin", {}, {}, PromptIcon::None, attempts}; }
    static PromptRecord Puk(int attempts) { return {"puk", {}, {}, PromptIcon::None, attempts}; }
};

constexpr const char* kBlocked =
    "Poniewaz wprowadzono nieprawidlowy PUK dziesieciokrotnie, \nmodem zostal zablokowany.\n\nW celu "
    "odblokowania modemu skontaktuj sie z twoim opertorem.";

TEST_F(CardTest, RightPinGoesOn) {
    prompt_.pins = {QString("1234")};
    EXPECT_EQ(RunUntil(4000), kWorkerQuit);
    ExpectTranscript("card-pin-right", transcript_.Text());
    EXPECT_EQ(Prompts(), (std::vector<PromptRecord>{Pin(3), Msg("Kod poprawny", "Wykonano pomyślnie")}));
    EXPECT_EQ(context_.pinRequest.load(), 1);
    EXPECT_EQ(context_.connectionState.load(), kConnReady);
}

TEST_F(CardTest, WrongPinClosesAndTheNextSearchAsksAgain) {
    prompt_.pins = {QString("0000"), QString("1234")};
    EXPECT_EQ(RunUntil(5000), kWorkerQuit);
    EXPECT_EQ(Prompts(),
              (std::vector<PromptRecord>{
                  Pin(3),
                  Msg("Błąd: nieprawidłowy kod PIN.\n\nProszę sprawdzić swój PIN i wprowadzić ponownie.",
                      "Niewłaściwy PIN"),
                  Pin(2), Msg("Kod poprawny", "Wykonano pomyślnie")}));
    EXPECT_EQ(StepTimes("DM_STATE_USB_CLOSE").size(), 1u);
}

TEST_F(CardTest, LastWrongPinSaysSoWithoutTheAdvice) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.pinAttempts = 1;
    }
    prompt_.pins = {QString("0000")};
    EXPECT_EQ(RunUntil(2500), kWorkerQuit);
    EXPECT_EQ(Prompts(),
              (std::vector<PromptRecord>{Pin(1), Msg("Błąd: nieprawidłowy kod PIN.", "Niewłaściwy PIN")}));
}

TEST_F(CardTest, CancelledPinCloses) {
    prompt_.pins = {std::nullopt};
    EXPECT_EQ(RunUntil(60000), kWorkerQuit);
    EXPECT_TRUE(context_.closing.load());
    EXPECT_EQ(view_.Count("PostClose()"), 1u);
    EXPECT_LT(clock_.Elapsed(), 60000u);
    // The link was open: the quit packets go out.
    EXPECT_EQ(modem_.CountOf("r60 5/0"), 1u);
}

TEST_F(CardTest, PukFlowSetsANewPin) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.pinAttempts = 0;
    }
    prompt_.puks = {PukEntry{"12345678", "4321", "4321"}};
    EXPECT_EQ(RunUntil(2500), kWorkerQuit);
    ExpectTranscript("card-puk", transcript_.Text());
    EXPECT_EQ(Prompts(), (std::vector<PromptRecord>{Puk(10), Msg("Kod poprawny", "Wykonano pomyślnie")}));
    std::lock_guard<std::mutex> lk(modem_.mutex);
    EXPECT_EQ(modem_.pin, "4321");
}

TEST_F(CardTest, PukEntryProblems) {
    struct Case {
        PukEntry entry;
        PromptRecord message;
    };
    const Case cases[] = {
        {{"", "4321", "4321"}, Msg("Nie wprowadzono kodu PUK", "Brakujące pole")},
        {{"12345678", "", ""}, Msg("Nie wprowadzono nowego kodu PIN", "Brakujące pole")},
        {{"12345678", "4321", "4322"}, Msg("Niezgodność kodów", "Brakujące pole")},
        {{"87654321", "4321", "4321"},
         Msg("Błąd: nieprawidłowy kod PUK.\n\nProszę sprawdzić swój PUK i wprowadzić ponownie.",
             "Niewłaściwy PUK")},
    };
    // Each case in a fresh run.
    for (const Case& c : cases) {
        ScriptedDevice modem;
        modem.nv855 = 0;
        modem.pinEnabled = true;
        modem.pinAttempts = 0;
        CModemWrapper wrapper;
        wrapper.Attach(&modem);
        CSettings settings;
        settings.Load();
        wrapper.SetSettings(&settings.Record());
        DeviceContext context;
        platform::FakeClock clock{0};
        RecordingView view;
        RecordingPrompt prompt;
        prompt.puks = {c.entry};
        CConnectionControl control(context, wrapper, settings, view, prompt, nullptr, {});
        CDeviceStateMachine machine(context, wrapper, settings, view, prompt, clock, control,
                                    {[] { return true; }, {}, nullptr, {}});
        bool closedBefore = false;
        clock.At(2500, [&] {
            closedBefore = context.closing.load();
            context.closing = true;
        });
        EXPECT_EQ(machine.Run(), kWorkerQuit);
        EXPECT_FALSE(closedBefore) << "these outcomes do not close the application";
        EXPECT_EQ(prompt.Records(), (std::vector<PromptRecord>{Puk(10), c.message}));
    }
}

TEST_F(CardTest, BlockedCardClosesTheApplication) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.pinAttempts = 0;
        modem_.pukAttempts = 0;
    }
    EXPECT_EQ(RunUntil(60000), kWorkerQuit);
    ExpectTranscript("card-blocked", transcript_.Text());
    EXPECT_EQ(Prompts(), (std::vector<PromptRecord>{Msg(kBlocked, "Niewłaściwy PUK")}));
    EXPECT_LT(clock_.Elapsed(), 60000u);
}

TEST_F(CardTest, LastWrongPukBlocksAndCloses) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.pinAttempts = 0;
        modem_.pukAttempts = 1;
    }
    prompt_.puks = {PukEntry{"87654321", "4321", "4321"}};
    EXPECT_EQ(RunUntil(60000), kWorkerQuit);
    EXPECT_EQ(Prompts(), (std::vector<PromptRecord>{Puk(1), Msg(kBlocked, "Niewłaściwy PUK")}));
    EXPECT_LT(clock_.Elapsed(), 60000u);
}

TEST_F(CardTest, WrongCardOnACardBuildCloses) {
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.cardOk = false;
    }
    EXPECT_EQ(RunUntil(60000), kWorkerQuit);
    EXPECT_EQ(Prompts(), (std::vector<PromptRecord>{Msg("Niewłaściwa karta RUIM")}));
    EXPECT_LT(clock_.Elapsed(), 60000u);
}

TEST_F(CardTest, WrongCardWithNvTwoGoesOn) {
    modem_.nv855 = 2;
    {
        std::lock_guard<std::mutex> lk(modem_.mutex);
        modem_.cardOk = false;
    }
    EXPECT_EQ(RunUntil(2500), kWorkerQuit);
    EXPECT_EQ(Prompts(), (std::vector<PromptRecord>{Msg("Niewłaściwa karta RUIM")}));
    EXPECT_FALSE(StepTimes("DM_STATE_USB_IDLE_11").empty());
}

TEST_F(CardTest, NvOneSkipsTheCheck) {
    modem_.nv855 = 1;
    EXPECT_EQ(RunUntil(2000), kWorkerQuit);
    EXPECT_TRUE(Prompts().empty());
    EXPECT_EQ(modem_.CountOf("r60 35/1"), 0u);
    EXPECT_FALSE(StepTimes("DM_STATE_USB_IDLE_4").empty());
}

}  // namespace
}  // namespace velmo::manager::test
