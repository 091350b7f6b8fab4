// The advanced configuration window's flow in virtual time against a modem that keeps parameter values by
// code: the order of reading all, what a failed read shows, the "R" rules, the mode list, the three-state
// box, and the port held closed with the worker paused until it opens again behind the SPC gate.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
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
    int32_t WriteNamParameter(const NamParameterRecord* record) override {
        std::string bytes;
        const size_t n = record->Code == 28 ? 64 : 8;
        for (size_t i = 0; i < n; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, "%02x", record->Value[i]);
            bytes += b;
        }
        Log("write " + std::to_string(record->Code) + " " + bytes);
        return failingWrites.count(record->Code) != 0 ? kResultServiceParameterFailed : kResultOk;
    }
    int32_t ChangeSpc(const char*) override { return Log("change SPC"), kResultOk; }
    int32_t DownloadPrl(const uint8_t*, int32_t length) override {
        Log("download " + std::to_string(length));
        const int blocks = length / 120 + 1;
        for (int i = 0; i <= blocks; ++i) {
            wrapper->OnPrlProgress(static_cast<uintptr_t>(i), blocks);
        }
        return kResultOk;
    }
    int32_t OpenSerialPort(int32_t, int32_t) override { return Log("open serial"), kResultOk; }
    int32_t OpenNetworkLink(int32_t) override { return Log("open network"), 1; }
    uint8_t ClosePort() override { return Log("close"), 0; }

    std::map<int32_t, std::vector<uint8_t>> values;
    std::set<int32_t> failing;
    std::set<int32_t> failingWrites;
    CModemWrapper* wrapper = nullptr;
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
        modem_.wrapper = &wrapper_;
        dir_ = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", dir_->path().toUtf8() + "/state");
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
    void TearDown() override {
        wrapper_.Attach(nullptr);
        qunsetenv("XDG_STATE_HOME");
    }
    // What the modem was asked to write, without the reads (a backup reads everything).
    std::vector<std::string> Writes() const {
        std::vector<std::string> out;
        for (const std::string& line : modem_.log) {
            if (line.find(" write ") != std::string::npos || line.find(" change") != std::string::npos ||
                line.find(" download") != std::string::npos) {
                out.push_back(line);
            }
        }
        return out;
    }
    // Ready for writes: a modem unlocked through the gate.
    void Unlocked() { context_.spcCheckNeeded.store(0); }

    std::unique_ptr<QTemporaryDir> dir_;

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

// Each check at and around its limit: a refusal sends nothing, an empty edit does nothing and says nothing.
TEST_F(AdvancedConfigFlowTest, WriteChecksRefuseBeforeAnythingIsSent) {
    Unlocked();
    struct Case {
        int row;
        std::array<QString, 4> texts;
        int entry;
        const char* message;  // nullptr: written; "": nothing at all
    };
    const Case cases[] = {
        {kMin, {""}, -1, ""},
        {kMin, {"555012345"}, -1, "Invalid length - 10 digits only"},
        {kMin, {"55501234567"}, -1, "Invalid length - 10 digits only"},
        {kMin, {"5a51234567"}, -1, "Invalid length - 10 digits only"},
        {kMccM, {"31"}, -1, "Invalid length - 3 digits only"},
        {kSci, {"12"}, -1, "Invalid length - 1 digits only"},
        {kChapId,
         {QString(65, QLatin1Char('a'))},
         -1,
         "Invalid length - CHAP ID length must be equal to or less than 64"},
        {kChapPassword,
         {QString(15, QLatin1Char('p'))},
         -1,
         "Invalid length - CHAP Password length must be equal to or less than 14"},
        {kHomeSidNid, {"65536", "1"}, -1, "SID Invalid number"},
        {kHomeSidNid, {"", "1"}, -1, "SID invalid"},
        {kHomeSidNid, {"65535", ""}, -1, "NID invalid"},
        {kSidNidLock, {"1", "99999999999999999999"}, -1, "SID_NID_LOCK NID Invalid number"},
        {kSidNid1900, {"x", "65536"}, -1, "SID_NID_1900 NID Invalid number"},
        {kChannels, {"1", "2", "", "4"}, -1, "Some channel empty"},
        {kChannels, {"1", "2", "65536", "4"}, -1, "Channel Invalid number"},
        {kPrefMode, {}, -1, "Invalid Pref_Mode!"},
    };
    for (const Case& c : cases) {
        ConfigValues v;
        v.rows[static_cast<size_t>(c.row)].texts = c.texts;
        v.rows[static_cast<size_t>(c.row)].entry = c.entry;
        prompt_->Clear();
        flow_.OnWrite(c.row, v);
        const auto messages = prompt_->Messages();
        if (*c.message == 0) {
            EXPECT_TRUE(messages.empty()) << c.row;
        } else {
            ASSERT_EQ(messages.size(), 1u) << c.message;
            EXPECT_EQ(messages[0], Msg(c.message, "VelmoManager", PromptIcon::Stop));
        }
    }
    EXPECT_TRUE(Writes().empty());
    // Nothing was backed up either: no change was made.
    EXPECT_FALSE(QDir(dir_->path() + "/state/velmo/backups").exists());
}

TEST_F(AdvancedConfigFlowTest, FirstWriteWaitsForTheBackupThenEachWriteGoesOutInOrder) {
    Unlocked();
    ConfigValues v;
    v.rows[kMin].texts[0] = QStringLiteral("6195550100");
    v.rows[kHomeSidNid].texts = {QStringLiteral("65535"), QStringLiteral("12ab")};
    v.rows[kChapId].texts[0] = QString(64, QLatin1Char('c'));
    v.rows[kPrefMode].entry = 2;
    v.rows[kChannels].texts = {QStringLiteral("283"), QStringLiteral("691"), QStringLiteral("384"),
                               QStringLiteral("777")};
    flow_.OnWrite(kMin, v);
    // The backup came first and said where it is.
    auto messages = prompt_->Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, PromptIcon::Information);
    const QStringList files = QDir(dir_->path() + "/state/velmo/backups").entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(messages[0].text.contains(files[0]));
    // MIN1 (the last seven) then MIN2 (the first three).
    std::vector<std::string> w = Writes();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_NE(w[0].find("write 1 35353530313030"), std::string::npos) << w[0];
    EXPECT_NE(w[1].find("write 3 363139"), std::string::npos) << w[1];

    // Later writes: no second backup; pairs and channels as 16-bit numbers, the mode as 32 bits.
    for (int row : {kHomeSidNid, kChapId, kPrefMode, kChannels}) {
        flow_.OnWrite(row, v);
    }
    EXPECT_EQ(QDir(dir_->path() + "/state/velmo/backups").entryList(QDir::Files).size(), 1);
    w = Writes();
    ASSERT_EQ(w.size(), 7u);
    EXPECT_NE(w[2].find("write 12 ffff0c00"), std::string::npos) << w[2];
    std::string chap;
    for (int i = 0; i < 64; ++i) {
        chap += "63";
    }
    EXPECT_NE(w[3].find("write 28 " + chap), std::string::npos) << w[3];
    EXPECT_NE(w[4].find("write 27 09000000"), std::string::npos) << w[4];
    EXPECT_NE(w[5].find("write 19 1b01b302"), std::string::npos) << w[5];
    EXPECT_NE(w[6].find("write 20 80010903"), std::string::npos) << w[6];

    // A failed second half of MIN has its own text; a written DIR NUMBER is what "R" shows next.
    prompt_->Clear();
    modem_.failingWrites = {3};
    flow_.OnWrite(kMin, v);
    EXPECT_EQ(prompt_->Messages(),
              std::vector<PromptRecord>{Msg("MIN write failed !", "VelmoManager", PromptIcon::Stop)});
    v.rows[kDirNumber].texts[0] = QStringLiteral("6195550111");
    flow_.OnWrite(kDirNumber, v);
    v.rows[kDirNumber].texts[0].clear();
    EXPECT_EQ(flow_.OnRead(kDirNumber, v).rows[kDirNumber].texts[0], "6195550111");

    // A new device search: the next write backs up again.
    prompt_->Clear();
    context_.deviceSearches.fetch_add(1);
    v.rows[kSci].texts[0] = QStringLiteral("2");
    flow_.OnWrite(kSci, v);
    ASSERT_EQ(prompt_->Messages().size(), 1u);
    EXPECT_EQ(prompt_->Messages()[0].icon, PromptIcon::Information);
}

TEST_F(AdvancedConfigFlowTest, SpcButtonsAndTheSetBox) {
    // Unlock: six digits, else the exclamation; a right code unlocks for the writes.
    context_.spcCheckNeeded.store(1);
    flow_.OnUnlock(QStringLiteral("12345"));
    EXPECT_EQ(prompt_->Messages(), std::vector<PromptRecord>{Msg("SPC must be 6 digit number", "VelmoManager",
                                                                 PromptIcon::Exclamation)});
    prompt_->Clear();
    flow_.OnUnlock(QStringLiteral("123456"));
    EXPECT_EQ(prompt_->Messages(), std::vector<PromptRecord>{Msg("Error while attempting unlock",
                                                                 "VelmoManager", PromptIcon::Stop)});
    flow_.OnUnlock(QStringLiteral("000000"));
    EXPECT_EQ(context_.spcCheckNeeded.load(), 0);

    // Change SPC: confirmed, then typed twice; a second code that differs changes nothing.
    prompt_->Clear();
    prompt_->spcs = {QStringLiteral("654321")};
    flow_.OnChangeSpc(QStringLiteral("123456"));
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(prompt_->Records()[0], PromptRecord("message", "Are you sure to change SPC?", "Change SPC",
                                                  PromptIcon::Question, 0, PromptButtons::OkCancel));
    prompt_->Clear();
    prompt_->answers = {PromptAnswer::Cancel};
    flow_.OnChangeSpc(QStringLiteral("123456"));
    EXPECT_EQ(prompt_->Records().size(), 1u);
    prompt_->spcs = {QStringLiteral("123456")};
    flow_.OnChangeSpc(QStringLiteral("123456"));
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_NE(Writes()[0].find("change SPC"), std::string::npos);

    // Set: the box's state is written; a refused write reads the value back and says so.
    ConfigValues v;
    v.spcChangeEnabled = kChecked;
    flow_.OnSetSpcChangeEnabled(v);
    EXPECT_NE(Writes().back().find("write 24 01"), std::string::npos);
    prompt_->Clear();
    modem_.failingWrites = {24};
    modem_.values[24] = Bytes({0});
    EXPECT_EQ(flow_.OnSetSpcChangeEnabled(v).spcChangeEnabled, kUnchecked);
    EXPECT_EQ(prompt_->Messages(), std::vector<PromptRecord>{Msg("SPC Change Enabled status set failed!",
                                                                 "VelmoManager", PromptIcon::Stop)});
}

// The roaming list file's checks in their order on generated files, and a download with its progress.
TEST_F(AdvancedConfigFlowTest, PrlFileChecksAndTheDownload) {
    Unlocked();
    const auto file = [this](const QString& name, QByteArray bytes) {
        const QString path = dir_->path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    };
    const auto list = [](int size, int field) {
        QByteArray b(size, '\x5a');
        b[0] = static_cast<char>(field >> 8);
        b[1] = static_cast<char>(field & 0xFF);
        return b;
    };
    const std::pair<QString, const char*> refused[] = {
        {QString(), "No PRL File Name!"},
        {dir_->path() + "/missing.prl", "Could not open PRL file!"},
        {file("large.prl", list(110000, 0)), "PRL File Too Large!"},
        {file("wide.prl", list(65536, 0)), "PRL File Invalid!"},
        {file("off.prl", list(16001, 16000)), "PRL File Invalid!"},
        {file("short.prl", QByteArray(1, '\0')), "PRL File Invalid!"},
    };
    int progress = 0;
    for (const auto& [path, message] : refused) {
        prompt_->Clear();
        EXPECT_FALSE(flow_.OnPrlDownload(path, [&](int, int) { ++progress; }));
        EXPECT_EQ(prompt_->Messages(), std::vector<PromptRecord>{Msg(message, "VelmoManager")}) << message;
    }
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(progress, 0);

    prompt_->Clear();
    std::vector<std::pair<int, int>> seen;
    flow_.OnPrlDownload(file("good.prl", list(16000, 16000)), [&](int sent, int total) {
        seen.push_back({sent, total});
    });
    EXPECT_EQ(Writes().back(), "t=0 download 16000 (paused)");
    ASSERT_EQ(seen.size(), 135u);  // 0, then each of the 134 blocks
    EXPECT_EQ(seen.back(), std::make_pair(134, 134));
    EXPECT_EQ(prompt_->Messages().back(), Msg("PRL Download completed! Please power off!", "VelmoManager"));
    EXPECT_FALSE(context_.prlDownloading.load());
}

}  // namespace
}  // namespace velmo::manager::test
