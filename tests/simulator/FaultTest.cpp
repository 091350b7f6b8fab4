// The library against a stand-in that misbehaves on purpose.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "StandInFixture.h"
#include "library/service/ModemService.h"
#include "platform/Clock.h"
#include "platform/Ports.h"
#include "simulator/Answers.h"

namespace velmo::sim::test {
namespace {

using service::ModemService;
using namespace protocol;

constexpr int32_t kBaud = 115200;

class OpenModemTest : public StandInTest {
  protected:
    void OpenModem() {
        ASSERT_EQ(modem_.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
        ASSERT_TRUE(Eventually([&] { return sim_->Requests().size() >= 3; }));
        sim_->ClearRequests();
    }
    // Sends one built request and waits for its reply as serial operations do.
    int SendAndWait(uint8_t code, std::initializer_list<uint8_t> fields = {}) {
        Engine& e = *modem_.Engine();
        e.request.fill(0);
        e.request[0] = code;
        std::copy(fields.begin(), fields.end(), e.request.begin() + 1);
        EXPECT_EQ(e.BuildRequest(code), 0);
        EXPECT_TRUE(e.SendBuilt());
        return e.WaitReply(Command(code).timeoutMs);
    }

    void TearDown() override {
        modem_.ClosePort();
        StandInTest::TearDown();
    }

    platform::FakeClock clock_{0, 300ms};
    ModemService modem_{clock_};
};

TEST_F(OpenModemTest, StreamingRepliesNeverEndAWait) {
    OpenModem();
    // The stand-in answers 0x1F; the reply is kept but ends no wait.
    EXPECT_EQ(SendAndWait(ReportLevelRequest, {0x10}), 0);
    EXPECT_EQ(modem_.Engine()->Block(ReportLevelRequest)[1], 0x10);

    // Log packets stream in throughout a wait for 0x10 without ending it.
    sim_->SetFault({FaultMode::Flood, -1, 0});
    ASSERT_TRUE(Eventually([&] { return modem_.Engine()->Rf().RfUpdateCount > 0; }));
    const uint32_t before = modem_.Engine()->Rf().RfUpdateCount;
    EXPECT_EQ(SendAndWait(LogRequest), 0);
    EXPECT_GT(modem_.Engine()->Rf().RfUpdateCount, before);
}

TEST_F(OpenModemTest, ErrorFramesDoNotCompleteARequest) {
    OpenModem();
    // A code the modem does not know: it answers with the error frame.
    EXPECT_EQ(SendAndWait(0x12), 0);
    ASSERT_FALSE(sim_->Answers().empty());
    EXPECT_EQ(sim_->Answers().back(), (Bytes{0x13, 0x12}));

    sim_->SetFault({FaultMode::ErrorStatus, Request60, 0});
    const uint8_t request[] = {0x3C, 0x01, 0x05, 0xAA, 0xBB};
    uint8_t out[protocol::kRequest60ReplySize];
    EXPECT_EQ(modem_.SendRequest60(request, sizeof request, out), kResultServiceParameterFailed);
    EXPECT_EQ(sim_->Answers().back(), (Bytes{0x13, 0x3C, 0x01, 0x05, 0xAA, 0xBB}));

    // Other codes are unaffected by a fault limited to one code.
    ModemStatusRecord record{};
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultOk);
}

TEST_F(OpenModemTest, RepliesWithABadFcsAreDropped) {
    OpenModem();
    sim_->SetFault({FaultMode::BadFcs, StatusRequest, 0});
    ModemStatusRecord record{};
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultFailed);
    EXPECT_EQ(sim_->Answers().size(), 1u);  // answered, but unusable
    EXPECT_EQ(uint32_t{record.Esn}, 0u);

    // The dropped reply's closing flag opens the next one, so the very next reply is read.
    sim_->SetFault({});
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultOk);
    EXPECT_EQ(uint32_t{record.Esn}, 0x8F3A2C11u);
}

TEST_F(OpenModemTest, ShortRepliesAreZeroFilledInTheirBlock) {
    OpenModem();
    Engine& engine = *modem_.Engine();
    ASSERT_EQ(SendAndWait(StatusRequest), 1);
    const Bytes full = engine.Block(StatusRequest);
    ASSERT_NE(full[45], 0);

    sim_->SetHandler(StatusRequest, [](RequestContext& c) {
        Bytes reply = StatusReply(c.state);
        reply.resize(10);
        return reply;
    });
    ASSERT_EQ(SendAndWait(StatusRequest), 1);
    const Bytes shortened = engine.Block(StatusRequest);
    EXPECT_EQ(engine.BlockLength(StatusRequest), 10u);
    EXPECT_TRUE(std::equal(full.begin(), full.begin() + 10, shortened.begin()));
    EXPECT_TRUE(std::all_of(shortened.begin() + 10, shortened.end(), [](uint8_t b) { return b == 0; }));

    // The request-60 block serves both reply sizes: a 128-byte reply clears what a large one left.
    sim_->SetHandler(Request60, [](RequestContext& c) {
        Bytes reply = Request60Reply(c.packet);
        std::fill(reply.begin() + static_cast<std::ptrdiff_t>(c.packet.size()), reply.end(), 0xEE);
        return reply;
    });
    const uint8_t large[] = {0x3C, 0x01, 0x33, 0x12, 0x34};
    Bytes out(protocol::kRequest60LargeReplySize);
    ASSERT_EQ(modem_.SendRequest60Large(large, sizeof large, out.data()), kResultOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(large, large + 5));
    EXPECT_EQ(out.back(), 0xEE);
    const uint8_t small[] = {0x3C, 0x01, 0x05, 0xAA, 0xBB};
    ASSERT_EQ(modem_.SendRequest60(small, sizeof small, out.data()), kResultOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(small, small + 5));
    EXPECT_EQ(out[127], 0xEE);
    const Bytes block = engine.Block(Request60);
    ASSERT_EQ(block.size(), protocol::kRequest60LargeReplySize);
    EXPECT_TRUE(std::all_of(block.begin() + 128, block.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(OpenModemTest, Request60IsEchoedAtBothSizes) {
    OpenModem();
    const uint8_t small[] = {0x3C, 0x01, 0x05, 0xAA, 0xBB};
    Bytes out(protocol::kRequest60LargeReplySize, 0xFF);
    ASSERT_EQ(modem_.SendRequest60(small, sizeof small, out.data()), kResultOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(small, small + 5));
    EXPECT_TRUE(std::all_of(out.begin() + 5, out.begin() + 128, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(sim_->Answers().back().size(), protocol::kRequest60ReplySize);

    const uint8_t large[] = {0x3C, 0x01, 0x33, 0x7E, 0x7D};  // stuffed both ways
    ASSERT_EQ(modem_.SendRequest60Large(large, sizeof large, out.data()), kResultOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(large, large + 5));
    EXPECT_EQ(sim_->Answers().back().size(), protocol::kRequest60LargeReplySize);
    EXPECT_EQ(sim_->Requests().back().raw, Frame(Bytes(large, large + 5)));
}

TEST_F(OpenModemTest, CloseWhileFloodingReturnsPromptly) {
    sim_->SetFault({FaultMode::Flood, -1, 0});
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(modem_.OpenSerialPort(sim_->Port(), kBaud), kResultOk) << "round " << round;
        ModemStatusRecord record{};
        EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultOk);
        EXPECT_EQ(uint16_t{record.Sid}, 4139);
        EXPECT_GT(modem_.Engine()->Rf().RfUpdateCount, 0u);
        const auto start = std::chrono::steady_clock::now();
        modem_.ClosePort();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);  // hang guard
    }
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

TEST_F(OpenModemTest, AVanishedDeviceNeitherCrashesNorSpinsTheReader) {
    OpenModem();
    sim_->Vanish();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim_->LinkPath())));
    ASSERT_TRUE(Eventually([&] { return modem_.Comm()->DeviceLost(); }));

    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 100.0);

    ModemStatusRecord record{};
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultFailed);
    const auto start = std::chrono::steady_clock::now();
    modem_.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    // The device comes back under the same number.
    std::string error;
    ASSERT_TRUE(sim_->Reappear(&error)) << error;
    ASSERT_EQ(modem_.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultOk);
}

TEST_F(OpenModemTest, TheDeviceCanVanishOnARequest) {
    OpenModem();
    sim_->SetFault({FaultMode::Vanish, StatusRequest, 0});
    uint8_t out[protocol::kRequest60ReplySize];
    const uint8_t request[] = {0x3C, 0x01, 0x05, 0x00, 0x00};
    EXPECT_EQ(modem_.SendRequest60(request, sizeof request, out), kResultOk);  // still there
    ModemStatusRecord record{};
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultFailed);
    EXPECT_TRUE(Eventually([&] { return sim_->Vanished() && modem_.Comm()->DeviceLost(); }));
    modem_.ClosePort();
}

TEST_F(OpenModemTest, SlowRepliesArriveLate) {
    // Real time here: the delay is what is being checked.
    ModemService modem;
    sim_->SetFault({FaultMode::Slow, StatusRequest, 400});
    ASSERT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
    ModemStatusRecord record{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(modem.QueryStatus(&record, 3), kResultOk);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_EQ(uint16_t{record.Nid}, 65535);
}

class ResetTest : public OpenModemTest {
  protected:
    ResetTest() { resetSilence_ = 1000ms; }
};

TEST_F(ResetTest, ModeRequestsTakeTheModemOfflineAndResetIt) {
    OpenModem();
    EXPECT_EQ(modem_.SetOfflineMode(), kResultOk);
    EXPECT_EQ(sim_->State().operatingMode, "offline");
    std::ifstream file(sim_->StatePath());
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("operating_mode = offline"), std::string::npos);

    EXPECT_EQ(modem_.ResetModem(), kResultOk);
    EXPECT_EQ(sim_->State().operatingMode, "online");
    // Resetting: the request is heard but not answered; then the modem is back.
    ModemStatusRecord record{};
    EXPECT_EQ(modem_.QueryStatus(&record, 3), kResultFailed);
    EXPECT_EQ(RequestsOf(StatusRequest).back().packet, Bytes{StatusRequest});
    EXPECT_TRUE(Eventually([&] { return modem_.QueryStatus(&record, 3) == kResultOk; }));
}

TEST_F(StandInTest, BusyPortsAndBadNumbersFailToOpen) {
    ModemService modem;
    const int fd = open(sim_->LinkPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultPortOpenFailed);
    EXPECT_EQ(modem.Comm()->LastOpenError(), EBUSY);
    close(fd);
    EXPECT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
    ASSERT_TRUE(Eventually([&] { return sim_->Requests().size() >= 3; }));
    modem.ClosePort();

    EXPECT_EQ(modem.OpenSerialPort(0, kBaud), kResultBadArgument);
    EXPECT_EQ(modem.OpenSerialPort(256, kBaud), kResultBadArgument);
    EXPECT_EQ(modem.OpenSerialPort(-1, kBaud), kResultBadArgument);
    EXPECT_EQ(sim_->Requests().size(), 3u);  // only the one successful handshake reached the modem
}

}  // namespace
}  // namespace velmo::sim::test
