// The library's Ethernet link against the stand-in acting as an Ethernet unit on loopback: discovery, the TCP
// bridge to the modem, the unit's fault modes and its ways of losing the connection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "EthernetFixture.h"
#include "library/service/ModemService.h"

namespace velmo::sim::test {
namespace {

using service::ModemService;
using Clock = std::chrono::steady_clock;

constexpr int32_t kBaud = 115200;

std::string DiscoveredAddress(ModemService& modem) {
    char address[256];
    std::memset(address, 0x55, sizeof address);
    modem.GetDiscoveredAddress(address);
    return std::string(address, sizeof address);
}

std::string AddressText(const std::string& address256) {
    return address256.substr(0, address256.find('\0'));
}

bool AllZero(const std::string& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

uint16_t QuerySid(ModemService& modem, int32_t* result) {
    ModemStatusRecord record{};
    *result = modem.QueryStatus(&record, 3);
    return record.Sid;
}

TEST_F(EthernetTest, TheLibraryFindsTheUnitAndTalksToTheModemThroughIt) {
    ModemService modem;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    const std::string address = DiscoveredAddress(modem);
    EXPECT_EQ(AddressText(address), "127.0.0.1");
    EXPECT_TRUE(AllZero(address.substr(9)));
    EXPECT_EQ(unit_->Stats().discoveryAnswers, 1u);
    EXPECT_EQ(unit_->Stats().sessions, 1u);

    // The bridge passes the library's bytes unchanged: the same request frames as on the serial port.
    const std::vector<LoggedRequest> requests = sim_->Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].raw, (Bytes{0x00, 0x78, 0xF0, 0x7E}));

    int32_t result = 0;
    EXPECT_EQ(QuerySid(modem, &result), 4139);
    EXPECT_EQ(result, kResultOk);
    std::string error;
    ASSERT_TRUE(sim_->SetField("sid", "4140", &error)) << error;
    EXPECT_EQ(QuerySid(modem, &result), 4140);

    // Flag and escape bytes both ways, and a reply longer than one network read.
    const uint8_t large[] = {0x3C, 0x01, 0x33, 0x7E, 0x7D};
    Bytes out(protocol::kRequest60LargeReplySize, 0xFF);
    ASSERT_EQ(modem.SendRequest60Large(large, sizeof large, out.data()), kResultOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(large, large + 5));
    EXPECT_EQ(sim_->Answers().back().size(), protocol::kRequest60LargeReplySize);
    const uint8_t small[] = {0x3C, 0x01, 0x05, 0xAA, 0xBB};
    ASSERT_EQ(modem.SendRequest60(small, sizeof small, out.data()), kResultOk);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 5), Bytes(small, small + 5));

    // A second open keeps the connection: no new discovery, no new session.
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    EXPECT_EQ(unit_->Stats().discoveryRequests, 1u);
    EXPECT_EQ(unit_->Stats().sessions, 1u);
    EXPECT_EQ(QuerySid(modem, &result), 4140);
}

TEST_F(EthernetTest, EverySessionGetsItsFirstReplyWithoutARetry) {
    // A session the modem did not see starting would lose its first reply to the library's flag hunt, and the
    // handshake would ask again.
    for (int open = 1; open <= 3; ++open) {
        ModemService modem;
        ASSERT_EQ(modem.OpenNetworkLink(0), 1) << "open " << open;
        modem.ClosePort();
        EXPECT_EQ(RequestsOf(protocol::VersionRequest).size(), static_cast<size_t>(open));
    }
    EXPECT_EQ(unit_->Stats().sessions, 3u);
    EXPECT_EQ(unit_->Stats().refused, 0u);
}

TEST_F(EthernetTest, TheSerialPortAndTheNetworkExcludeEachOther) {
    {
        ModemService serial;
        ASSERT_EQ(serial.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
        const int tcp = ConnectLoopback(unit_->DataPort());
        ASSERT_GE(tcp, 0);
        EXPECT_TRUE(ClosedByPeer(tcp));
        close(tcp);
        EXPECT_EQ(unit_->Stats().refused, 1u);
        EXPECT_EQ(unit_->Stats().sessions, 0u);
        serial.ClosePort();
    }

    ModemService network;
    ASSERT_EQ(network.OpenNetworkLink(0), 1);
    ModemService serial;
    EXPECT_EQ(serial.OpenSerialPort(sim_->Port(), kBaud), kResultPortOpenFailed);

    // One host at a time: a second connection is closed at once and the first goes on.
    const int second = ConnectLoopback(unit_->DataPort());
    ASSERT_GE(second, 0);
    EXPECT_TRUE(ClosedByPeer(second));
    close(second);
    EXPECT_EQ(unit_->Stats().refused, 2u);
    int32_t result = 0;
    EXPECT_EQ(QuerySid(network, &result), 4139);
    EXPECT_EQ(result, kResultOk);

    // Closing the link frees the port for serial use again.
    network.ClosePort();
    ASSERT_TRUE(Eventually([&] { return !unit_->SessionActive(); }));
    EXPECT_EQ(serial.OpenSerialPort(sim_->Port(), kBaud), kResultOk);
}

TEST_F(EthernetTest, WithoutADiscoveryAnswerTheOpenFailsAfterThreeAttempts) {
    EXPECT_EQ(unit_->Control("ethernet fault no-discovery"), "ok no-discovery\n");
    ModemService modem;
    const auto start = Clock::now();
    EXPECT_EQ(modem.OpenNetworkLink(0), 0);
    const auto took = Clock::now() - start;
    // Three 2 s waits (a sanity bound on the attempts, not a timing measurement).
    EXPECT_GE(took, 5500ms);
    EXPECT_LT(took, 12s);
    EXPECT_EQ(unit_->Stats().discoveryRequests, 3u);
    EXPECT_EQ(unit_->Stats().discoveryAnswers, 0u);
    EXPECT_EQ(unit_->Stats().sessions, 0u);
    EXPECT_TRUE(AllZero(DiscoveredAddress(modem)));

    EXPECT_EQ(unit_->Control("ethernet clear"), "ok\n");
    ModemService again;
    EXPECT_EQ(again.OpenNetworkLink(0), 1);
}

TEST_F(EthernetTest, ARefusedConnectionFailsAtOnceAndLeavesNoAddress) {
    unit_->SetFault(EthernetFault::TcpRefused);
    EXPECT_EQ(ConnectLoopback(unit_->DataPort()), -1);

    ModemService modem;
    const auto start = Clock::now();
    EXPECT_EQ(modem.OpenNetworkLink(0), 0);
    EXPECT_LT(Clock::now() - start, 3s);  // hang guard
    EXPECT_TRUE(AllZero(DiscoveredAddress(modem)));
    // The answer came; the library stops at the refused connection.
    EXPECT_EQ(unit_->Stats().discoveryAnswers, 1u);

    // Cleared, the unit listens on the same port again.
    unit_->SetFault(EthernetFault::None);
    ModemService again;
    ASSERT_EQ(again.OpenNetworkLink(0), 1);
    EXPECT_EQ(AddressText(DiscoveredAddress(again)), "127.0.0.1");
}

TEST_F(EthernetTest, AConnectionDroppedByTheUnitEndsTheReaderAndRequestsFail) {
    ModemService modem;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    unit_->DropConnection();
    ASSERT_TRUE(Eventually([&] { return !modem.Net()->IsOpen(); }));

    const size_t before = sim_->Requests().size();
    int32_t result = kResultOk;
    const auto start = Clock::now();
    QuerySid(modem, &result);
    EXPECT_NE(result, kResultOk);
    EXPECT_LT(Clock::now() - start, 10s);        // hang guard
    EXPECT_EQ(sim_->Requests().size(), before);  // nothing reached the modem

    // A new open finds the unit again.
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    EXPECT_EQ(QuerySid(modem, &result), 4139);
    EXPECT_EQ(result, kResultOk);
    EXPECT_EQ(unit_->Stats().sessions, 2u);
}

TEST_F(EthernetTest, AModemThatVanishesTakesTheConnectionWithIt) {
    ModemService modem;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    sim_->Vanish();
    ASSERT_TRUE(Eventually([&] { return !unit_->SessionActive() && !modem.Net()->IsOpen(); }));

    // While it is gone the unit closes connections at once; back on a new pty, it is found by its port link.
    const int tcp = ConnectLoopback(unit_->DataPort());
    ASSERT_GE(tcp, 0);
    EXPECT_TRUE(ClosedByPeer(tcp));
    close(tcp);
    std::string error;
    ASSERT_TRUE(sim_->Reappear(&error)) << error;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    int32_t result = 0;
    EXPECT_EQ(QuerySid(modem, &result), 4139);
}

TEST_F(EthernetTest, ClosingReturnsPromptlyWhileTheModemIsSilent) {
    ModemService modem;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    sim_->SetFault({FaultMode::NoReply, -1, 0});
    const auto start = Clock::now();
    modem.ClosePort();
    EXPECT_LT(Clock::now() - start, 3s);  // hang guard
    EXPECT_FALSE(modem.Net()->IsOpen());
    EXPECT_TRUE(Eventually([&] { return !unit_->SessionActive(); }));
}

TEST_F(EthernetTest, RepliesGetThroughAStreamOfUnsolicitedFrames) {
    // The modem writes as fast as the bridge takes it: replies must still come through between the streamed
    // frames, and closing must not wait for the stream to end.
    sim_->SetFault({FaultMode::Flood, -1, 0});
    for (int round = 0; round < 2; ++round) {
        ModemService modem;
        ASSERT_EQ(modem.OpenNetworkLink(0), 1) << "round " << round;
        int32_t result = 0;
        EXPECT_EQ(QuerySid(modem, &result), 4139);
        EXPECT_EQ(result, kResultOk);
        EXPECT_TRUE(Eventually([&] { return modem.Engine()->Rf().RfUpdateCount > 0; }));
        const auto start = Clock::now();
        modem.ClosePort();
        EXPECT_LT(Clock::now() - start, 3s);  // hang guard
        EXPECT_TRUE(Eventually([&] { return !unit_->SessionActive(); }));
    }
}

TEST_F(EthernetTest, ControlWordsReachOnlyTheUnit) {
    EXPECT_EQ(unit_->Control("status"), std::nullopt);
    EXPECT_EQ(unit_->Control("ethernetx status"), std::nullopt);
    EXPECT_EQ(unit_->Control("ethernet fault tcp-refused"), "ok tcp-refused\n");
    EXPECT_EQ(unit_->Fault(), EthernetFault::TcpRefused);
    EXPECT_EQ(unit_->Control("ethernet fault sometimes")->rfind("error ", 0), 0u);
    EXPECT_EQ(unit_->Fault(), EthernetFault::TcpRefused);
    EXPECT_EQ(unit_->Control("ethernet drop"), "ok no connection\n");
    EXPECT_EQ(unit_->Control("ethernet bogus")->rfind("error ", 0), 0u);

    const std::string status = *unit_->Control("ethernet status");
    EXPECT_EQ(status.rfind("ok\n", 0), 0u);
    EXPECT_NE(status.find("\nfault = tcp-refused\n"), std::string::npos);
    EXPECT_NE(status.find("\ndata_port = " + std::to_string(unit_->DataPort()) + "\n"), std::string::npos);
    EXPECT_EQ(status.substr(status.size() - 4), "end\n");

    // The answer is sent as it is, so a script can try the library with one that is not an address.
    EXPECT_EQ(unit_->Control("ethernet answer 0.0.0.0 "), "ok\n");
    EXPECT_NE(unit_->Control("ethernet status")->find("\nanswer = 0.0.0.0\n"), std::string::npos);
}

}  // namespace
}  // namespace velmo::sim::test
