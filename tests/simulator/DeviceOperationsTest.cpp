// The device operations of the service object against the whole stand-in over a real pty: status of every
// kind, time, reset, offline, event reports, report level, blocks 32/34, the log request, the RF snapshot fed
// by the log stream, and the file-system greeting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "SessionFixture.h"
#include "library/protocol/Decoders.h"
#include "simulator/ControlServer.h"

namespace velmo::sim::test {
namespace {

using namespace protocol;
namespace fs = std::filesystem;

class DeviceOperationsTest : public SessionTest {};

TEST_F(DeviceOperationsTest, EveryStatusKindCarriesTheDeviceState) {
    Open();
    ModemStatusRecord r{};
    std::memset(&r, 0x5A, sizeof r);
    const ModemStatusRecord untouched = r;

    ASSERT_EQ(modem_->QueryStatus(&r, 0), kResultOk);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 10052);
    EXPECT_EQ(LastRequest(PrlReadRequest), (Bytes{0x49, 0, 0}));

    ASSERT_EQ(modem_->QueryStatus(&r, 1), kResultOk);
    EXPECT_STREQ(r.SoftwareRevision, "VLM100-R2.07.00 2006/03/14");

    ASSERT_EQ(modem_->QueryStatus(&r, 2), kResultOk);
    EXPECT_EQ(r.CaiRevision, 6);
    EXPECT_EQ(uint16_t{r.FirmwareRevision}, 0x0402);

    ASSERT_EQ(modem_->QueryStatus(&r, 3), kResultOk);
    EXPECT_EQ(uint32_t{r.Esn}, 0x8F3A2C11u);
    EXPECT_EQ(uint16_t{r.Sid}, 4139);
    EXPECT_EQ(uint16_t{r.Nid}, 65535);
    EXPECT_EQ(uint16_t{r.Channel}, 283);
    EXPECT_EQ(uint16_t{r.PilotPn}, 168);
    EXPECT_EQ(r.Rssi1x, 78);
    EXPECT_EQ(r.RssiEvdo, 120);  // no log stream in this test: no EV-DO level decoded yet
    EXPECT_EQ(r.RfMode, 1);
    EXPECT_EQ(uint16_t{r.RxState}, 3);

    ASSERT_EQ(modem_->QueryStatus(&r, 4), kResultOk);
    EXPECT_EQ(LastRequest(SubsystemRequest), (Bytes{0x4B, 0x0F, 0x00, 0x00}));
    EXPECT_EQ(r.InService, 1);
    EXPECT_EQ(r.InTraffic, 0);
    EXPECT_EQ(r.SystemState, 5);
    EXPECT_EQ(uint16_t{r.NetworkKind}, 10);
    EXPECT_EQ(uint16_t{r.ZeroWord}, 0);
    EXPECT_EQ(r.Flag10, 1);

    ASSERT_EQ(modem_->QueryStatus(&r, 5), kResultOk);
    EXPECT_EQ(LastRequest(SubsystemRequest), (Bytes{0x4B, 0x05, 0x08, 0x00}));
    EXPECT_EQ(r.EvdoPresent, 1);
    EXPECT_EQ(0, std::memcmp(r.Leading, untouched.Leading, sizeof r.Leading));  // never written

    const ModemStatusRecord before = r;
    const size_t requests = sim_->Requests().size();
    EXPECT_EQ(modem_->QueryStatus(&r, 6), kResultFailed);
    EXPECT_EQ(0, std::memcmp(&r, &before, sizeof r));
    EXPECT_EQ(sim_->Requests().size(), requests);  // nothing sent either
}

TEST_F(DeviceOperationsTest, StatusFollowsScenariosSwitchedThroughTheControlChannel) {
    Open();
    ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
    bool quit = false;
    ModemStatusRecord r{};
    auto query = [&] {
        for (int kind = 0; kind <= 5; ++kind) {
            ASSERT_EQ(modem_->QueryStatus(&r, kind), kResultOk) << "kind " << kind;
        }
    };

    ASSERT_EQ(control.Execute("scenario no-service", &quit), "ok no-service\n");
    query();
    EXPECT_EQ(r.InService, 0);
    EXPECT_EQ(r.EvdoPresent, 0);
    EXPECT_EQ(uint16_t{r.NetworkKind}, 1);
    EXPECT_EQ(uint16_t{r.Sid}, 0);
    EXPECT_EQ(r.Rssi1x, 125);

    ASSERT_EQ(control.Execute("scenario 1x-only", &quit), "ok 1x-only\n");
    query();
    EXPECT_EQ(r.InService, 1);
    EXPECT_EQ(uint16_t{r.NetworkKind}, 9);
    EXPECT_EQ(r.EvdoPresent, 0);
    EXPECT_EQ(uint16_t{r.Channel}, 384);

    ASSERT_EQ(control.Execute("scenario roaming", &quit), "ok roaming\n");
    query();
    EXPECT_EQ(uint16_t{r.Sid}, 4200);
    EXPECT_EQ(uint16_t{r.Nid}, 12);
    EXPECT_EQ(uint16_t{r.NetworkKind}, 10);
    EXPECT_EQ(r.Roam, 0);  // the library never reads a roaming indicator

    ASSERT_EQ(control.Execute("scenario data-call", &quit), "ok data-call\n");
    query();
    EXPECT_EQ(r.InTraffic, 1);
    ASSERT_EQ(control.Execute("scenario dormant", &quit), "ok dormant\n");
    query();
    EXPECT_EQ(r.InTraffic, 0);

    ASSERT_EQ(control.Execute("scenario card-pin", &quit), "ok card-pin\n");
    query();
    EXPECT_EQ(r.SoftwareRevision[5], 'R');  // a card build

    // Fields one by one.
    EXPECT_EQ(control.Execute("set service none", &quit), "ok\n");
    EXPECT_EQ(control.Execute("set prl_version 777", &quit), "ok\n");
    EXPECT_EQ(control.Execute("set traffic 2", &quit).rfind("error traffic", 0), 0u);
    query();
    EXPECT_EQ(r.InService, 0);
    EXPECT_EQ(uint16_t{r.PrlVersion}, 777);
    EXPECT_EQ(control.Execute("scenario nowhere", &quit).rfind("error no scenario 'nowhere' (known: ", 0),
              0u);
}

TEST_F(DeviceOperationsTest, GetModemTimeWritesTheModemClockAsText) {
    Open();
    // Put the modem's clock two seconds before a leap-year month end.
    constexpr int64_t kTarget = 1204329598;  // 2008-02-29 23:59:58 UTC
    const int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    Set("time_offset_ms", std::to_string(kTarget * 1000 - nowMs));
    uint8_t out[kModemTimeSize];
    std::memset(out, 0xAA, sizeof out);
    ASSERT_EQ(modem_->GetModemTime(out), kResultOk);
    EXPECT_EQ(modem_->GetLastResult(), kResultOk);
    EXPECT_EQ(Bytes(out, out + 5), (Bytes{0xE0, 25, 2, 0, 0}));
    const std::string text(reinterpret_cast<const char*>(out + 5), 17);
    const std::set<std::string> expected = {"08/02/29 23:59:58", "08/02/29 23:59:59", "08/03/01 00:00:00"};
    EXPECT_TRUE(expected.count(text)) << text;
    EXPECT_EQ(Bytes(out + 22, out + 25), (Bytes{0, 0, 0}));
    EXPECT_EQ(LastRequest(TimeRequest), Bytes{TimeRequest});
    // The same text from the seconds count (since 6 January 1980) directly.
    char direct[kTimeStampTextSize];
    modem_->FormatTimeStamp(static_cast<int32_t>(kTarget - 315964800), direct);
    EXPECT_STREQ(direct, "08/02/29 23:59:58");
}

TEST_F(DeviceOperationsTest, OfflineModeResetAndTheSessionsTheyEnd) {
    Open();
    ASSERT_EQ(modem_->SetOfflineMode(), kResultOk);
    EXPECT_EQ(sim_->State().operatingMode, "offline");
    EXPECT_EQ(LastRequest(ModeRequest), (Bytes{ModeRequest, 1, 0}));
    ModemStatusRecord r{};
    ASSERT_EQ(modem_->QueryStatus(&r, 4), kResultOk);
    EXPECT_EQ(r.SystemState, 4);
    EXPECT_EQ(r.InService, 0);

    ASSERT_EQ(modem_->VerifySpc("000000"), kResultOk);
    Set("pin_verified", "1");
    ASSERT_EQ(modem_->ResetModem(), kResultOk);
    EXPECT_EQ(LastRequest(ModeRequest), (Bytes{ModeRequest, 2, 0}));
    const DeviceState after = sim_->State();
    EXPECT_EQ(after.operatingMode, "online");
    EXPECT_EQ(after.spcUnlocked, 0);
    EXPECT_EQ(after.pinVerified, 0);
    // Deaf while it restarts, then back.
    std::this_thread::sleep_for(resetSilence_ + 50ms);
    ASSERT_EQ(modem_->QueryStatus(&r, 4), kResultOk);
    EXPECT_EQ(r.SystemState, 5);
}

class FakeTimeDeviceTest : public SessionTest {
  protected:
    FakeTimeDeviceTest() { fakeTime_ = true; }
};

TEST_F(FakeTimeDeviceTest, SilentModemMakesOfflineModeAndBlocksFail) {
    Open();
    sim_->SetFault({FaultMode::NoReply, StatusRequest, 0});
    EXPECT_EQ(modem_->SetOfflineMode(), kResultFailed);  // bounded repeats of the status poll
    sim_->SetFault({FaultMode::NoReply, -1, 0});
    uint8_t block[kBlock34Size];
    EXPECT_EQ(modem_->QueryBlock34(block), kResultNoReply);
    const uint8_t body[3] = {0x20, 1, 2};
    EXPECT_EQ(modem_->SendBlock32(body), kResultNoReply);
    EXPECT_EQ(modem_->GetLastResult(), kResultNoReply);
    EXPECT_EQ(modem_->ResetModem(), kResultFailed);
}

TEST_F(DeviceOperationsTest, BlocksThirtyTwoAndThirtyFour) {
    Open();
    uint8_t block[kBlock34Size];
    ASSERT_EQ(modem_->QueryBlock34(block), kResultOk);
    EXPECT_EQ(LastRequest(Block34Request), Bytes{Block34Request});
    EXPECT_EQ(block[0], Block34Request);
    // The stand-in sends these words little-endian; the library keeps them most significant byte first.
    EXPECT_EQ(Bytes(block + 51, block + 53), (Bytes{0x12, 0x34}));
    EXPECT_EQ(Bytes(block + 101, block + 103), (Bytes{0x56, 0x78}));
    EXPECT_EQ(Bytes(block + 105, block + 107), (Bytes{0x9A, 0xBC}));
    EXPECT_EQ(block[50], 0);
    EXPECT_EQ(block[53], 0);

    const uint8_t body[3] = {0x20, 0xAB, 0xCD};
    ASSERT_EQ(modem_->SendBlock32(body), kResultOk);
    EXPECT_EQ(LastRequest(Block32Request), (Bytes{0x20, 0x20, 0xAB, 0xCD}));
    EXPECT_EQ(sim_->State().block32, (std::array<uint8_t, 3>{0x20, 0xAB, 0xCD}));
    EXPECT_EQ(sim_->Answers().back(), (Bytes{0x20, 0xAB, 0xCD}));
}

TEST_F(DeviceOperationsTest, EventReportsReportLevelAndTheLogRequest) {
    Open();
    EXPECT_EQ(modem_->EnableEventReports(), kResultOk);
    const std::vector<LoggedRequest> configs = RequestsOf(EventReportRequest);
    ASSERT_EQ(configs.size(), 1u);  // answered at once: no repeat
    Bytes expected(110, 0);
    expected[0] = 0x5D;
    expected[1] = 0x56;
    expected[2] = 0x03;
    expected[16] = 0xC0;
    expected[20] = 0x10;
    EXPECT_EQ(configs[0].packet, expected);
    EXPECT_EQ(configs[0].raw, Frame(expected));

    EXPECT_EQ(modem_->SetReportLevel(0x107), kResultOk);  // only the low byte goes out
    ASSERT_TRUE(Eventually([&] { return !RequestsOf(ReportLevelRequest).empty(); }));
    Bytes level(87, 0);
    level[0] = 0x1F;
    level[1] = 0x07;
    EXPECT_EQ(LastRequest(ReportLevelRequest), level);
    ASSERT_TRUE(Eventually([&] { return modem_->Engine()->Block(ReportLevelRequest)[1] == 0x07; }));

    // The log request is answered with a log packet, which the decoder keeps in the log block.
    EXPECT_EQ(modem_->RequestStatus16(), kResultOk);
    ASSERT_TRUE(Eventually([&] { return LastRequest(LogRequest) == Bytes{LogRequest}; }));
    ASSERT_TRUE(Eventually([&] { return modem_->Engine()->LogBlock()[6] == 0x0A; }));
    const auto log = modem_->Engine()->LogBlock();
    EXPECT_EQ(log[0], 0x10);
    EXPECT_EQ(wire::Get16(log, 6), LogHeaderTest);
    EXPECT_EQ(wire::Get16(log, 20), 283);  // second payload word: the channel
}

TEST_F(DeviceOperationsTest, UploadUserDataFileGreetsTheFileSystemAndWritesNothing) {
    Open();
    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    const int32_t result = modem_->UploadUserDataFile();
    const bool written = fs::exists(fs::path(dir_) / "test.usr");
    fs::current_path(before);
    EXPECT_EQ(result, kResultFailed);
    EXPECT_FALSE(written);

    Bytes hello(44, 0);
    hello[0] = 0x4B;
    hello[1] = 0x13;
    for (size_t i = 0; i < 6; ++i) {
        hello[4 + 4 * i + 2] = 0x10;  // 0x100000
    }
    for (size_t i = 0; i < 3; ++i) {
        hello[28 + 4 * i] = 1;
    }
    EXPECT_EQ(LastRequest(SubsystemRequest), hello);
    EXPECT_EQ(sim_->Answers().back(), hello);  // the modem takes the proposed sizes
    EXPECT_EQ(modem_->Engine()->Block(SubsystemRequest), hello);

    // Any other file-system command is unknown to the stand-in.
    EXPECT_EQ(sim_->Answer(Bytes{0x4B, 0x13, 0x01, 0x00}), (Bytes{0x13, 0x4B, 0x13, 0x01, 0x00}));
}

class StreamingTest : public SessionTest {
  protected:
    StreamingTest() { logStream_ = true; }
};

TEST_F(StreamingTest, RfGettersMoveWhileEvdoStreamsAndRestWhenItGoes) {
    Set("log_rate_hz", "50");
    Open();
    ASSERT_TRUE(Eventually([&] { return modem_->GetRfUpdateCount() >= 2; }));
    std::set<int> levels;
    std::set<std::vector<uint8_t>> activeSets;
    const auto collect = [&] {
        levels.insert(modem_->GetRfLevel1() * 1000 + modem_->GetRfLevel4());
        uint8_t a[kRfBlockASize];
        modem_->GetRfBlockA(a);
        activeSets.insert(std::vector<uint8_t>(a, a + sizeof a));
        return levels.size() >= 3 && activeSets.size() >= 2;
    };
    ASSERT_TRUE(Eventually(collect, 5s)) << levels.size() << " levels, " << activeSets.size() << " sets";

    const int32_t count = modem_->GetRfUpdateCount();
    ASSERT_TRUE(Eventually([&] { return modem_->GetRfUpdateCount() > count + 4; }));
    for (int16_t level :
         {modem_->GetRfLevel1(), modem_->GetRfLevel2(), modem_->GetRfLevel3(), modem_->GetRfLevel4()}) {
        EXPECT_LE(level, -60);
        EXPECT_GE(level, -90);
    }
    EXPECT_LE(modem_->GetDrcIndex(), 12);
    EXPECT_EQ(modem_->GetRfChannel(), 25);  // the band class above the channel bits is masked off
    uint8_t a[kRfBlockASize];
    uint8_t b[kRfBlockBSize];
    uint8_t c[kRfBlockCSize];
    modem_->GetRfBlockA(a);
    modem_->GetRfBlockB(b);
    modem_->GetRfBlockC(c);
    EXPECT_EQ(wire::Get16(a, 0), 168);  // the serving pilot leads the active set
    EXPECT_NE(wire::Get16(b, 0), 0xFFFF);
    EXPECT_NE(wire::Get16(c, 0), 0xFFFF);
    size_t neighbours = 0;
    while (neighbours < 41 && wire::Get16(c, 2 * neighbours) != 0xFFFF) {
        ++neighbours;
    }
    EXPECT_GE(neighbours, 5u);
    EXPECT_LE(neighbours, 8u);

    // The status record's EV-DO level is the decoded receive level.
    ModemStatusRecord r{};
    ASSERT_EQ(modem_->QueryStatus(&r, 3), kResultOk);
    EXPECT_GE(r.RssiEvdo, 66);
    EXPECT_LE(r.RssiEvdo, 78);

    // EV-DO goes away: one last record says so and the stream stops.
    Set("service", "1x");
    Set("evdo_present", "0");
    ASSERT_TRUE(Eventually([&] { return modem_->GetRfLevel4() == -120; }));
    EXPECT_EQ(modem_->GetRfLevel1(), -120);
    const int32_t stopped = modem_->GetRfUpdateCount();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(modem_->GetRfUpdateCount(), stopped);
}

TEST_F(DeviceOperationsTest, VendorReportsOnDemandReachTheNotificationTarget) {
    struct Target : IModemNotifyTarget {
        void post(uint32_t message, uintptr_t code, intptr_t report) override {
            std::lock_guard lk(mutex);
            const auto* bytes = reinterpret_cast<const uint8_t*>(report);
            posted.push_back({message, static_cast<uint8_t>(code),
                              Bytes(bytes, bytes + ReportSize(static_cast<uint8_t>(code)))});
        }
        struct Post {
            uint32_t message;
            uint8_t code;
            Bytes report;
        };
        std::mutex mutex;
        std::vector<Post> posted;
    } target;
    ASSERT_EQ(modem_->SetNotifyWindow(&target), kResultOk);
    Open();
    ControlServer control(*sim_, dir_ + "/control.sock", nullptr);
    bool quit = false;
    EXPECT_EQ(control.Execute("report 40 70 80 90", &quit).rfind("ok E0 28 83 46 50 5A", 0), 0u);
    EXPECT_EQ(control.Execute("report 4 0x1234", &quit).rfind("ok ", 0), 0u);
    EXPECT_EQ(control.Execute("report 17 5 Hello there", &quit).rfind("ok ", 0), 0u);
    EXPECT_EQ(control.Execute("report 99 1 2 3", &quit).rfind("ok ", 0), 0u);  // not posted by the library
    EXPECT_EQ(control.Execute("report 40 1 2", &quit).rfind("error ", 0), 0u);
    EXPECT_EQ(control.Execute("report 300", &quit).rfind("error ", 0), 0u);
    EXPECT_EQ(control.Execute("report 5 1 2 3 4 5 6", &quit).rfind("error ", 0), 0u);
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard lk(target.mutex);
        return target.posted.size() >= 3;
    }));
    std::this_thread::sleep_for(50ms);
    modem_->SetNotifyWindow(nullptr);
    std::lock_guard lk(target.mutex);
    ASSERT_EQ(target.posted.size(), 3u);
    EXPECT_EQ(target.posted[0].message, kModemReportMessage);
    EXPECT_EQ(target.posted[0].report, (Bytes{0xE0, 40, 0x83, 70, 80, 90}));
    EXPECT_EQ(target.posted[1].report, (Bytes{0xE0, 4, 0x83, 0x34, 0x12}));
    const Bytes& message = target.posted[2].report;
    ASSERT_EQ(message.size(), 353u);
    EXPECT_EQ(wire::Get16(message, 3), 5);
    EXPECT_EQ(message[97], 11);
    EXPECT_EQ(std::string(message.begin() + 98, message.begin() + 109), "Hello there");
    EXPECT_EQ(message[82], '/');  // "YY/MM/DD HH:MM:SS" from byte 80
    EXPECT_EQ(message[91], ':');
}

}  // namespace
}  // namespace velmo::sim::test
