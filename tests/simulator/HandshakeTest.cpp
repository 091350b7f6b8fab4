// The library's open and handshake against the stand-in over a real pty.
#include <gtest/gtest.h>

#include "StandInFixture.h"
#include "library/service/ModemService.h"
#include "platform/Clock.h"
#include "wire/LeCursor.h"

namespace velmo::sim::test {
namespace {

using service::ModemService;

constexpr int32_t kBaud = 115200;

TEST_F(StandInTest, HandshakeSendsTheExactRequestFrames) {
    ModemService modem;
    ASSERT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
    // The report level request has no wait: it may still be on its way.
    ASSERT_TRUE(Eventually([&] { return sim_->Requests().size() >= 3; }));
    modem.ClosePort();

    Bytes eventReport(110, 0);
    eventReport[0] = 0x5D;
    eventReport[1] = 0x56;
    eventReport[2] = 0x03;
    Bytes reportLevel(87, 0);
    reportLevel[0] = 0x1F;
    reportLevel[1] = 0xFF;

    const std::vector<LoggedRequest> requests = sim_->Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].raw, (Bytes{0x00, 0x78, 0xF0, 0x7E}));
    EXPECT_EQ(requests[0].packet, Bytes{0x00});
    EXPECT_EQ(requests[1].packet, eventReport);
    EXPECT_EQ(requests[1].raw, Frame(eventReport));
    EXPECT_EQ(requests[2].packet, reportLevel);
    EXPECT_EQ(requests[2].raw, Frame(reportLevel));
}

TEST_F(StandInTest, RepliesCarryTheDeviceStateAtTheirOffsets) {
    ModemService modem;
    ASSERT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
    const DeviceState state = sim_->State();

    const Bytes version = modem.Engine()->Block(protocol::VersionRequest);
    ASSERT_EQ(version.size(), 55u);
    EXPECT_EQ(modem.Engine()->BlockLength(protocol::VersionRequest), 55u);
    EXPECT_EQ(version[48], 6);
    EXPECT_EQ(wire::Get16(version, 50), 0x0402);

    ModemStatusRecord record{};
    ASSERT_EQ(modem.QueryStatus(&record, 2), kResultOk);
    EXPECT_EQ(record.CaiRevision, state.caiRevision);
    EXPECT_EQ(uint16_t{record.FirmwareRevision}, state.firmwareRevision);
    ASSERT_EQ(modem.QueryStatus(&record, 3), kResultOk);
    EXPECT_EQ(modem.Engine()->BlockLength(protocol::StatusRequest), 48u);
    EXPECT_EQ(uint32_t{record.Esn}, 0x8F3A2C11u);
    EXPECT_EQ(uint16_t{record.Sid}, 4139);
    EXPECT_EQ(uint16_t{record.Nid}, 65535);
    EXPECT_EQ(uint16_t{record.Channel}, 283);
    EXPECT_EQ(uint16_t{record.PilotPn}, 168);
    EXPECT_EQ(record.RfMode, state.rfMode);
    EXPECT_EQ(uint16_t{record.RxState}, state.rxState);
    EXPECT_EQ(record.Rssi1x, state.rssi1x);

    // A changed field shows in the next reply.
    std::string error;
    ASSERT_TRUE(sim_->SetField("sid", "4140", &error)) << error;
    ASSERT_EQ(modem.QueryStatus(&record, 3), kResultOk);
    EXPECT_EQ(uint16_t{record.Sid}, 4140);
}

TEST_F(StandInTest, EveryReopenGetsItsFirstReplyThroughTheLeadingFlag) {
    // Replies lost to a decoder hunting for a flag would show as time-outs in virtual time.
    platform::FakeClock clock(0, 500ms);
    ModemService modem(clock);
    for (int open = 0; open < 3; ++open) {
        ASSERT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultOk) << "open " << open;
        EXPECT_EQ(clock.Elapsed(), 0u) << "open " << open;
        modem.ClosePort();
    }
}

TEST_F(StandInTest, AVersionRequestAnsweredOnlyOnRetryCostsOneWaitAndOnePause) {
    sim_->SetFault({FaultMode::ReplyOnlyToRetry, protocol::VersionRequest, 0});
    platform::FakeClock clock(0, 500ms);
    ModemService modem(clock);
    ASSERT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
    // 5000 ms serial wait, then the 1000 ms pause before the second request.
    EXPECT_GE(clock.Elapsed(), 6000u);
    EXPECT_LT(clock.Elapsed(), 7000u);
    EXPECT_EQ(RequestsOf(protocol::VersionRequest).size(), 2u);
    EXPECT_EQ(RequestsOf(protocol::EventReportRequest).size(), 1u);
}

TEST_F(StandInTest, ThreeUnansweredEventReportsFailTheOpen) {
    sim_->SetFault({FaultMode::NoReply, protocol::EventReportRequest, 0});
    platform::FakeClock clock(0, 300ms);
    ModemService modem(clock);
    EXPECT_EQ(modem.OpenSerialPort(sim_->Port(), kBaud), kResultHandshakeFailed);
    // Three 5000 ms waits with two 200 ms pauses between them.
    EXPECT_GE(clock.Elapsed(), 15400u);
    EXPECT_LT(clock.Elapsed(), 16400u);
    ASSERT_TRUE(Eventually([&] { return RequestsOf(protocol::EventReportRequest).size() >= 3; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(RequestsOf(protocol::EventReportRequest).size(), 3u);
    EXPECT_TRUE(RequestsOf(protocol::ReportLevelRequest).empty());
    for (const LoggedRequest& r : RequestsOf(protocol::EventReportRequest)) {
        EXPECT_EQ(r.packet.size(), 110u);  // a freshly zeroed request each time
    }
}

}  // namespace
}  // namespace velmo::sim::test
