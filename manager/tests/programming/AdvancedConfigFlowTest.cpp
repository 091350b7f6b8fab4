// The advanced configuration window's flow in virtual time against a modem that keeps parameter values by
// code: the order of reading all, what a failed read shows, the "R" rules, the mode list, the three-state
// box, and the port held closed with the worker paused until it opens again behind the SPC gate.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

#include "manager/core/Settings.h"
#include "manager/programming/AdvancedConfigFlow.h"
#include "manager/tests/core/Recorders.h"
#include "manager/tests/core/StubModem.h"

namespace velmo::manager::test {
namespace {

using namespace programming;

class NamModem : public StubModem {
  public:
    NamModem(platform::FakeClock& clock, DeviceContext& context) : clock_(clock), context_(context) {}
    int32_t ReadNamParameter(int32_t code, uint8_t* out131) override {
        Log("read " + std::to_string(code));
        std::memset(out131, 0xFF, kNamParameterReplySize);
        if (failing.count(code) != 0) {
            return kResultNoReply;
        }
        const auto it = values.find(code);
        if (it == values.end()) {
            return 5;  // an inactive item
        }
        std::memcpy(out131 + 5, it->second.data(), std::min<size_t>(it->second.size(), 126));
        return kResultOk;
    }
    int32_t VerifySpc(const char* spc) override {
        Log("verify SPC");
        return std::string(spc, 6) == "000000" ? kResultOk : kResultServiceParameterFailed;
    }
    int32_t OpenSerialPort(int32_t, int32_t) override { return Log("open serial"), kResultOk; }
    int32_t OpenNetworkLink(int32_t) override { return Log("open network"), 1; }
    uint8_t ClosePort() override { return Log("close"), 0; }

    std::map<int32_t, std::vector<uint8_t>> values;
    std::set<int32_t> failing;
    std::vector<std::string> log;

  private:
    void Log(const std::string& what) {
        log.push_back("t=" + std::to_string(clock_.Elapsed()) + " " + what +
                      (context_.lockFlag.load() != 0 ? " (paused)" : ""));
    }
    platform::FakeClock& clock_;
    DeviceContext& context_;
};

std::vector<uint8_t> Bytes(std::initializer_list<uint8_t> b) {
    return b;
}
std::vector<uint8_t> Chars(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text) + 1);
}

class AdvancedConfigFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wrapper_.Attach(&modem_);
        settings_.configuredPort.store(1);
        wrapper_.SetSettings(&settings_);
        context_.workerStepping.store(0);  // an idle worker: the pause is granted at once
        context_.connectionState.store(kConnReady);
        context_.SetDeviceTexts(&number_, nullptr);
        modem_.values = {
            {0, Bytes({0x11, 0x2C, 0x3A, 0x8F})},
            {1, Chars("5550123")},
            {3, Chars("212")},
            {5, Chars("310")},
            {7, Chars("00")},
            {11, Chars("2125550123")},
            {12, Bytes({0x2B, 0x10, 0xFF, 0xFF})},
            {14, Bytes({1})},
            {15, Bytes({1})},
            {16, Bytes({0})},
            {19, Bytes({0x1B, 0x01, 0x1C, 0x01})},
            {20, Bytes({0x1D, 0x01, 0x1E, 0x01})},
            {22, Bytes({2})},
            {24, Bytes({1})},
            {27, Bytes({10, 0})},
            {28, Chars("user@velmo")},
            {30, Bytes({0, 0, 0, 0})},
            {31, Bytes({0x2B, 0x10, 0x01, 0x00})},
        };
    }
    void TearDown() override { wrapper_.Attach(nullptr); }

    platform::FakeClock clock_{0};
    DeviceContext context_;
    SettingsRecord settings_;
    NamModem modem_{clock_, context_};
    CModemWrapper wrapper_;
    ModemSession session_{wrapper_, context_, clock_};
    std::shared_ptr<RecordingPrompt> prompt_ = std::make_shared<RecordingPrompt>();
    std::string number_ = "2125550199";
    CAdvancedConfigFlow flow_{session_, prompt_, [this] { return settings_.linkType.load(); }};
};

TEST_F(AdvancedConfigFlowTest, OpeningReadsEverythingInOrderAndAFailedReadShowsEmpty) {
    modem_.failing = {5, 28};
    ConfigValues shown;
    shown.rows[kMccM].texts[0] = QStringLiteral("999");  // from before: a failed read empties it
    const ConfigValues v = flow_.OnOpen(shown);

    std::vector<std::string> expected;
    for (int code : {0, 7, 5, 11, 3, 1, 16, 15, 14, 22, 12, 27, 19, 20, 30, 31, 28, 24}) {
        expected.push_back("t=1000 read " + std::to_string(code) + " (paused)");
    }
    EXPECT_EQ(modem_.log, expected);
    EXPECT_EQ(context_.lockFlag.load(), 0);
    EXPECT_EQ(v.rows[kEsn].texts[0], "8F3A2C11");
    EXPECT_EQ(v.rows[kMin].texts[0], "2125550123");
    EXPECT_EQ(v.rows[kMccM].texts[0], "");
    EXPECT_EQ(v.rows[kImsi1112].texts[0], "00");
    EXPECT_EQ(v.rows[kDirNumber].texts[0], "2125550123");
    EXPECT_EQ(v.rows[kHomeSidNid].texts[0], "4139");
    EXPECT_EQ(v.rows[kHomeSidNid].texts[1], "65535");
    EXPECT_EQ(v.rows[kChannels].texts, (std::array<QString, 4>{"283", "284", "285", "286"}));
    EXPECT_EQ(v.rows[kSci].texts[0], "2");
    EXPECT_EQ(v.rows[kChapId].texts[0], "");
    EXPECT_EQ(v.rows[kPrefMode].entry, 0);  // 10: "EvDO Only"
    EXPECT_EQ(v.spcChangeEnabled, kChecked);
    EXPECT_TRUE(prompt_->Records().empty());

    // Without a modem taken over nothing is read and the box is undetermined.
    modem_.log.clear();
    context_.connectionState.store(kConnDeviceFound);
    EXPECT_EQ(flow_.OnOpen(ConfigValues{}).spcChangeEnabled, kUndetermined);
    EXPECT_TRUE(modem_.log.empty());
}

TEST_F(AdvancedConfigFlowTest, ReadButtonsWaitInsideThePauseAndSayWhenTheRowStaysEmpty) {
    ConfigValues shown;
    shown.rows[kMin].texts[0] = QStringLiteral("0000000000");
    // MIN2 fails alone: the field keeps its text, and it is not empty, so no message.
    modem_.failing = {3};
    ConfigValues v = flow_.OnRead(kMin, shown);
    EXPECT_EQ(v.rows[kMin].texts[0], "0000000000");
    EXPECT_EQ(modem_.log, (std::vector<std::string>{"t=1000 read 3 (paused)", "t=1000 read 1 (paused)"}));
    EXPECT_TRUE(prompt_->Records().empty());
    // MIN1 fails: emptied, "Error on read".
    modem_.failing = {1};
    v = flow_.OnRead(kMin, v);
    EXPECT_EQ(v.rows[kMin].texts[0], "");
    EXPECT_EQ(prompt_->Messages(),
              std::vector<PromptRecord>{Msg("Error on read", "VelmoManager", PromptIcon::Stop)});

    // One channel pair failing is an empty row.
    prompt_->Clear();
    modem_.failing = {20};
    v = flow_.OnRead(kChannels, v);
    EXPECT_EQ(v.rows[kChannels].texts, (std::array<QString, 4>{"283", "284", "", ""}));
    EXPECT_EQ(prompt_->Messages().size(), 1u);

    // DIR NUMBER shows what the worker read at start-up, without a request.
    modem_.log.clear();
    prompt_->Clear();
    v = flow_.OnRead(kDirNumber, v);
    EXPECT_EQ(v.rows[kDirNumber].texts[0], "2125550199");
    EXPECT_TRUE(modem_.log.empty());

    // The mode list: 1 and 9 select their entries, anything else empties it with "Error on read".
    modem_.values[27] = Bytes({1, 0});
    EXPECT_EQ(flow_.OnRead(kPrefMode, v).rows[kPrefMode].entry, 1);
    modem_.values[27] = Bytes({9, 0});
    EXPECT_EQ(flow_.OnRead(kPrefMode, v).rows[kPrefMode].entry, 2);
    modem_.values[27] = Bytes({4, 0});
    EXPECT_EQ(flow_.OnRead(kPrefMode, v).rows[kPrefMode].entry, -1);
    EXPECT_EQ(prompt_->Messages().size(), 1u);

    // The three-state box: 0 unchecked, a failed read undetermined with "Error on read".
    prompt_->Clear();
    modem_.values[24] = Bytes({0});
    EXPECT_EQ(flow_.OnReadSpcChangeEnabled(v).spcChangeEnabled, kUnchecked);
    EXPECT_TRUE(prompt_->Records().empty());
    modem_.failing = {24};
    EXPECT_EQ(flow_.OnReadSpcChangeEnabled(v).spcChangeEnabled, kUndetermined);
    EXPECT_EQ(prompt_->Messages().size(), 1u);
    EXPECT_EQ(context_.lockFlag.load(), 0);
}

TEST_F(AdvancedConfigFlowTest, ClosePortHoldsTheWorkerAndOpenPortAsksForTheSpcAgain) {
    settings_.linkType.store(kLinkUsb);
    flow_.OnClosePort();
    EXPECT_TRUE(flow_.PortClosed());
    EXPECT_EQ(context_.lockFlag.load(), 1);  // held until the port opens again
    EXPECT_EQ(modem_.log, std::vector<std::string>{"t=0 close (paused)"});
    // Nothing reads a closed port.
    modem_.log.clear();
    flow_.OnRefresh(ConfigValues{});
    flow_.OnRead(kEsn, ConfigValues{});
    EXPECT_TRUE(modem_.log.empty());

    // Opening: the port again, the worker released, the gate asks (a wrong code: asked again next time).
    context_.spcCheckNeeded.store(0);
    prompt_->spcs = {QStringLiteral("123456")};
    EXPECT_FALSE(flow_.OnOpenPort());
    EXPECT_FALSE(flow_.PortClosed());
    EXPECT_EQ(modem_.log, (std::vector<std::string>{"t=0 open serial (paused)", "t=0 verify SPC (paused)"}));
    EXPECT_EQ(context_.spcCheckNeeded.load(), 1);
    EXPECT_EQ(context_.lockFlag.load(), 0);
    EXPECT_EQ(prompt_->Messages(),
              std::vector<PromptRecord>{Msg("Błędny kod SPC", "VelmoManager", PromptIcon::Stop)});

    // An Ethernet link opens its link again; the right code passes the gate.
    modem_.log.clear();
    settings_.linkType.store(kLinkEthernet);
    flow_.OnClosePort();
    prompt_->spcs = {QStringLiteral("000000")};
    EXPECT_TRUE(flow_.OnOpenPort());
    EXPECT_EQ(modem_.log, (std::vector<std::string>{"t=0 close (paused)", "t=0 open network (paused)",
                                                    "t=0 verify SPC (paused)"}));
    EXPECT_EQ(context_.spcCheckNeeded.load(), 0);

    // A window closed with the port closed opens it for the worker, without asking.
    flow_.OnClosePort();
    prompt_->Clear();
    flow_.OnWindowClosed();
    EXPECT_FALSE(flow_.PortClosed());
    EXPECT_EQ(context_.lockFlag.load(), 0);
    EXPECT_TRUE(prompt_->Records().empty());
}

}  // namespace
}  // namespace velmo::manager::test
