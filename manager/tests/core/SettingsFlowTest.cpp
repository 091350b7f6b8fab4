// The general pane's flows and the SPC gate in virtual time, against a modem that records what it is asked:
// the exact parameter writes of Apply, the offline and reset requests, the 7 s wait, what is saved, and
// whether the worker was paused around each request.
#include <gtest/gtest.h>

#include <cstdio>

#include "Recorders.h"
#include "SettingsFixture.h"
#include "StubModem.h"
#include "Transcripts.h"
#include "manager/core/PrefMode.h"
#include "manager/core/RegistryKey.h"
#include "manager/core/Settings.h"
#include "manager/core/SettingsFlows.h"

namespace velmo::manager::test {
namespace {

class RecordingModem : public StubModem {
  public:
    RecordingModem(platform::FakeClock& clock, DeviceContext& context) : clock_(clock), context_(context) {}
    int32_t WriteNamParameter(const NamParameterRecord* record) override {
        char value[16];
        std::snprintf(value, sizeof value, "%02x %02x", record->Value[0], record->Value[1]);
        Log("write parameter " + std::to_string(record->Code) + " = " + value);
        return record->Code == failCode ? kResultServiceParameterFailed : kResultOk;
    }
    int32_t SetOfflineMode() override { return Log("offline"), kResultOk; }
    int32_t ResetModem() override { return Log("reset"), kResultOk; }
    int32_t VerifySpc(const char* spc) override {
        Log("verify SPC");  // never the code itself
        return std::string(spc, 6) == "000000" ? kResultOk : kResultServiceParameterFailed;
    }

    Transcript transcript;
    int failCode = -1;

  private:
    void Log(const std::string& what) {
        transcript.Add("t=" + std::to_string(clock_.Elapsed()) + " " + what +
                       (context_.lockFlag.load() != 0 ? " (worker paused)" : " (worker running)") +
                       (context_.deviceResetRequested.load() ? " (reset asked)" : ""));
    }
    platform::FakeClock& clock_;
    DeviceContext& context_;
};

class SettingsFlowTest : public ConfigFolderTest {
  protected:
    void SetUp() override {
        ConfigFolderTest::SetUp();
        wrapper_.Attach(&modem_);
        context_.workerStepping.store(0);  // an idle worker: the pause is granted at once
        context_.connectionState.store(kConnReady);
    }
    void TearDown() override {
        wrapper_.Attach(nullptr);
        ConfigFolderTest::TearDown();
    }
    // Applies options and returns what the modem was asked, with the time Apply took at the end.
    std::string Apply(const settings::GeneralOptions& options, bool* applied = nullptr) {
        const uint64_t start = clock_.Elapsed();
        const bool ok = CGeneralFlow(session_, prompt_).OnApply(options);
        if (applied != nullptr) {
            *applied = ok;
        }
        modem_.transcript.Add(
            "applied after " + std::to_string(clock_.Elapsed() - start) + " ms" +
            (context_.lockFlag.load() != 0 ? ", worker still paused" : ", worker released"));
        return modem_.transcript.Text();
    }
    uint32_t Stored(const char* name) { return RegistryKey(kSettingKey, true).ReadDword(name, 99); }

    platform::FakeClock clock_{0};
    DeviceContext context_;
    RecordingModem modem_{clock_, context_};
    CModemWrapper wrapper_;
    ModemSession session_{wrapper_, context_, clock_};
    RecordingPrompt prompt_;
};

TEST_F(SettingsFlowTest, ApplyEvdoOnlyWritesTheModeResetsTheModemAndSaves) {
    ExpectTranscript("apply-evdo-only", Apply({true, 4, prefmode::kEvdoOnly}));
    EXPECT_TRUE(prompt_.Records().empty());
    EXPECT_EQ(Stored(CSettings::kDisableAutoPort), 1u);
    EXPECT_EQ(Stored(CSettings::kComPortNumber), 4u);
    EXPECT_EQ(Stored(CSettings::kPrefMode), 0u);
    // The worker, released, is told to close the device and search again.
    EXPECT_TRUE(context_.deviceResetRequested.load());
}

TEST_F(SettingsFlowTest, ApplyBothSystemsAlsoTurnsTheHybridPreferenceOn) {
    ExpectTranscript("apply-both", Apply({false, 0, prefmode::kBoth}));
    EXPECT_EQ(Stored(CSettings::kPrefMode), 1u);
}

TEST_F(SettingsFlowTest, ApplyWithoutAModeOrWithAFailedWriteOnlySaves) {
    // "inne": nothing reaches the modem, the worker is never paused.
    EXPECT_EQ(Apply({false, 0, prefmode::kOther}), "applied after 0 ms, worker released\n");
    EXPECT_EQ(Stored(CSettings::kPrefMode), 3u);
    // 1xRTT only, refused by the modem: no offline, no reset, no wait; the options are still saved.
    modem_.transcript.Clear();
    modem_.failCode = 27;
    EXPECT_EQ(Apply({false, 2, prefmode::k1xOnly}),
              "t=0 write parameter 27 = 09 00 (worker paused)\napplied after 0 ms, worker released\n");
    EXPECT_EQ(Stored(CSettings::kPrefMode), 2u);
    EXPECT_EQ(Stored(CSettings::kComPortNumber), 2u);
    EXPECT_FALSE(context_.deviceResetRequested.load());
}

TEST_F(SettingsFlowTest, AFixedPortWithoutAComPortAppliesNothing) {
    bool applied = true;
    EXPECT_EQ(Apply({true, -1, prefmode::kEvdoOnly}, &applied), "applied after 0 ms, worker released\n");
    EXPECT_FALSE(applied);
    EXPECT_EQ(prompt_.Records(),
              std::vector<PromptRecord>{Msg("Wybierz port COM", "VelmoManager", PromptIcon::Exclamation)});
    EXPECT_EQ(Stored(CSettings::kPrefMode), 99u);
}

TEST_F(SettingsFlowTest, LoadAndRestoringTheDefaults) {
    RegistryKey key(kSettingKey, true);
    key.WriteDword(CSettings::kDisableAutoPort, 1);
    key.WriteDword(CSettings::kComPortNumber, 7);
    {
        std::lock_guard lk(context_.statusLock);
        context_.statusCopy.NetworkKind = prefmode::kModem1xOnly;
    }
    CGeneralFlow flow(session_, prompt_);
    EXPECT_EQ(flow.Load(), (settings::GeneralOptions{true, 7, prefmode::k1xOnly}));
    context_.connectionState.store(kConnDeviceFound);
    EXPECT_EQ(flow.Load().systemEntry, prefmode::kOther);

    EXPECT_EQ(flow.OnRestoreDefaults(), (settings::GeneralOptions{false, 0, prefmode::kBoth}));
    EXPECT_EQ(Stored(CSettings::kDisableAutoPort), 0u);
    EXPECT_EQ(Stored(CSettings::kComPortNumber), 0u);
    EXPECT_EQ(Stored(CSettings::kPrefMode), 1u);
    const char* restart =
        "W celu zmiany konfiguracji naciśnij Zastosuj, wyłącz zasilanie, a następnie uruchom ponownie "
        "urządzenie!";
    EXPECT_EQ(prompt_.Records(),
              std::vector<PromptRecord>{Msg(restart, "VelmoManager", PromptIcon::Exclamation)});
}

TEST_F(SettingsFlowTest, SpcGateAsksOncePerDeviceSearch) {
    context_.spcCheckNeeded.store(1);
    CSpcGateFlow gate(session_, prompt_);
    // Cancelled: nothing is sent.
    EXPECT_FALSE(gate.OnAdvancedConfiguration());
    EXPECT_TRUE(modem_.transcript.Lines().empty());
    // A wrong code: "Błędny kod SPC" with the stop icon, and asked again next time.
    prompt_.spcs = {QStringLiteral("123456"), QStringLiteral("000000")};
    EXPECT_FALSE(gate.OnAdvancedConfiguration());
    EXPECT_EQ(prompt_.Messages(),
              std::vector<PromptRecord>{Msg("Błędny kod SPC", "VelmoManager", PromptIcon::Stop)});
    EXPECT_TRUE(gate.OnAdvancedConfiguration());
    EXPECT_EQ(context_.spcCheckNeeded.load(), 0);
    EXPECT_EQ(modem_.transcript.Text(), "t=0 verify SPC (worker paused)\nt=0 verify SPC (worker paused)\n");
    EXPECT_EQ(context_.lockFlag.load(), 0);
    // Not asked again until a new device search sets the flag.
    EXPECT_TRUE(gate.OnAdvancedConfiguration());
    int asked = 0;
    for (const PromptRecord& r : prompt_.Records()) {
        asked += r.kind == "spc" ? 1 : 0;
    }
    EXPECT_EQ(asked, 3);
}

}  // namespace
}  // namespace velmo::manager::test
