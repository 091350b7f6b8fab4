// The Ethernet link through the service object, against a unit on loopback. Every test takes its own ports
// and publishes them through the environment overrides; nothing is sent anywhere but 127.0.0.1.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "library/service/ModemService.h"
#include "library/transport/NetLink.h"
#include "platform/Clock.h"
#include "support/NetUnit.h"

namespace velmo::service {
namespace {

using namespace std::chrono_literals;
using testsupport::Bytes;
using testsupport::NetUnit;
using testsupport::Packet;

using Clock = std::chrono::steady_clock;

std::array<char, kDiscoveredAddressSize> Discovered(ModemService& service) {
    std::array<char, kDiscoveredAddressSize> out;
    out.fill('#');
    EXPECT_EQ(service.GetDiscoveredAddress(out.data()), 0);
    return out;
}

std::array<char, kDiscoveredAddressSize> AddressText(const std::string& text) {
    std::array<char, kDiscoveredAddressSize> out{};
    std::memcpy(out.data(), text.data(), text.size());
    return out;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 3s) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A unit that answers the handshake and the status request.
std::vector<Bytes> StatusUnit(const Bytes& request) {
    if (request[0] == 0x0C) {
        Bytes status = Packet({0x0C}, 48);
        status[4] = 0x78;
        status[5] = 0x56;
        status[6] = 0x34;
        status[7] = 0x12;
        return {status};
    }
    return testsupport::HandshakeAnswers(request);
}

TEST(NetworkLink, DiscoversConnectsAndCarriesRequests) {
    NetUnit::Options options;
    options.script = StatusUnit;
    options.discoveryReply = "127.0.0.1\r\n";  // trailing white space is trimmed
    NetUnit unit(options);
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    ModemService service;
    EXPECT_EQ(Discovered(service), AddressText(""));

    ASSERT_EQ(service.OpenNetworkLink(0), 1);
    EXPECT_EQ(unit.DiscoveryRequests(), 1);
    EXPECT_EQ(unit.OtherDatagrams(), 0);
    EXPECT_EQ(unit.Connections(), 1);
    EXPECT_EQ(Discovered(service), AddressText("127.0.0.1"));
    ASSERT_TRUE(unit.WaitForRequests(3));
    const auto handshake = unit.Requests();
    EXPECT_EQ(handshake[0], Bytes{0x00});
    EXPECT_EQ(handshake[1][0], 0x5D);
    EXPECT_EQ(handshake[2][0], 0x1F);

    // A request round trip in network mode: the wait polls for the reply the network reader hands over.
    EXPECT_EQ(service.Engine()->NetworkMode.load(), 1);
    ModemStatusRecord record{};
    ASSERT_EQ(service.QueryStatus(&record, 3), 0);
    EXPECT_EQ(uint32_t{record.Esn}, 0x12345678u);  // a copy: the record is packed
    EXPECT_EQ(unit.Requests().back(), Bytes{0x0C});

    // Unsolicited bytes from the unit reach the decoders too.
    Bytes levels(16 + 24, 0);
    levels[0] = 0x10;
    levels[2] = 36;
    levels[6] = 0x69;
    levels[7] = 0x10;
    levels[16 + 22] = 0x00;
    levels[16 + 23] = 0xB5;
    unit.Send(levels);
    ASSERT_TRUE(WaitUntil([&] { return service.GetRfUpdateCount() == 1; }));
    EXPECT_EQ(service.GetRfLevel4(), -75);
}

TEST(NetworkLink, ThreeUnansweredBroadcastsFailAfterAboutSixSeconds) {
    NetUnit::Options options;
    options.discoveryReply.reset();
    NetUnit unit(options);
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    ModemService service;
    const auto start = Clock::now();
    EXPECT_EQ(service.OpenNetworkLink(0), 0);
    const double took = Seconds(Clock::now() - start);
    EXPECT_GE(took, 5.5);
    EXPECT_LT(took, 15.0);
    EXPECT_EQ(unit.DiscoveryRequests(), 3);
    EXPECT_EQ(unit.Connections(), 0);
    EXPECT_EQ(Discovered(service), AddressText(""));
}

TEST(NetworkLink, AbortBeforeOpenSendsNothing) {
    NetUnit unit;
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    // Nothing is ever answered here, so the handshake's pauses may pass in virtual time.
    platform::FakeClock clock;
    ModemService service(clock);
    service.AbortWait();
    EXPECT_EQ(service.OpenNetworkLink(0), 0);
    std::this_thread::sleep_for(100ms);  // a datagram would have arrived by now
    EXPECT_EQ(unit.DiscoveryRequests(), 0);
    EXPECT_EQ(unit.OtherDatagrams(), 0);
    EXPECT_EQ(unit.Connections(), 0);
    // The abort flag stays set: the object cannot open a link again.
    EXPECT_EQ(service.OpenNetworkLink(0), 0);
    EXPECT_EQ(unit.DiscoveryRequests(), 0);
}

TEST(NetworkLink, SecondOpenKeepsTheConnection) {
    NetUnit unit;
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    ModemService service;
    ASSERT_EQ(service.OpenNetworkLink(0), 1);
    ASSERT_TRUE(unit.WaitForRequests(3));
    EXPECT_EQ(service.OpenNetworkLink(0), 1);
    ASSERT_TRUE(unit.WaitForRequests(6));
    EXPECT_EQ(unit.DiscoveryRequests(), 1);
    EXPECT_EQ(unit.Connections(), 1);
    EXPECT_TRUE(unit.Connected());
    EXPECT_EQ(unit.Requests()[3], Bytes{0x00});  // the handshake ran again over the same connection
}

TEST(NetworkLink, PeerCloseEndsTheReaderAndLaterRequestsFailFast) {
    NetUnit::Options options;
    options.script = StatusUnit;
    NetUnit unit(options);
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    ModemService service;
    ASSERT_EQ(service.OpenNetworkLink(0), 1);
    ASSERT_TRUE(unit.WaitForRequests(3));
    ASSERT_EQ(service.Comm()->NetReaderRunning.load(), 1);

    unit.Hangup();
    ASSERT_TRUE(WaitUntil([&] { return !service.Net()->IsOpen(); })) << "the reader did not notice the close";
    EXPECT_TRUE(WaitUntil([&] { return service.Comm()->NetReaderRunning.load() == 0; }));

    const size_t before = unit.Requests().size();
    ModemStatusRecord record{};
    const auto start = Clock::now();
    EXPECT_EQ(service.QueryStatus(&record, 3), 0xFFFF);
    EXPECT_LT(Seconds(Clock::now() - start), 1.0) << "a request without a link should fail at once";
    EXPECT_EQ(unit.Requests().size(), before);

    // A new open finds the unit again on a new connection.
    EXPECT_EQ(service.OpenNetworkLink(0), 1);
    EXPECT_EQ(unit.Connections(), 2);
    EXPECT_EQ(service.QueryStatus(&record, 3), 0);
}

TEST(NetworkLink, BadDiscoveryRepliesCountAsFailedAttempts) {
    for (const char* reply : {"0.0.0.0", "255.255.255.255", "224.0.0.1", "239.255.255.250", "junk", "",
                              "127.0.0.1 junk", "127.0.0.256", "::1", "127.1"}) {
        SCOPED_TRACE(std::string("'") + reply + "'");
        NetUnit::Options options;
        options.discoveryReply = reply;
        NetUnit unit(options);
        ASSERT_TRUE(unit.Ok());
        unit.Publish();
        ModemService service;
        const auto start = Clock::now();
        EXPECT_EQ(service.OpenNetworkLink(0), 0);
        EXPECT_LT(Seconds(Clock::now() - start), 5.0) << "each reply should end its attempt at once";
        EXPECT_EQ(unit.DiscoveryRequests(), 3);
        EXPECT_EQ(unit.Connections(), 0);
        EXPECT_EQ(Discovered(service), AddressText(""));
    }
}

TEST(NetworkLink, RefusedConnectionFailsAndForgetsTheAddress) {
    NetUnit::Options options;
    options.listen = false;
    NetUnit unit(options);
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    ModemService service;
    EXPECT_EQ(service.OpenNetworkLink(0), 0);
    EXPECT_EQ(unit.DiscoveryRequests(), 1);  // the attempts stop at the first usable reply
    EXPECT_EQ(Discovered(service), AddressText(""));
}

TEST(NetworkLink, ClosePortReturnsPromptlyWhileTheUnitIsSilent) {
    NetUnit unit;
    ASSERT_TRUE(unit.Ok());
    unit.Publish();
    ModemService service;
    ASSERT_EQ(service.OpenNetworkLink(0), 1);
    ASSERT_TRUE(unit.WaitForRequests(3));
    std::this_thread::sleep_for(50ms);  // the reader is now blocked waiting for data that never comes

    const auto start = Clock::now();
    service.ClosePort();
    EXPECT_LT(Seconds(Clock::now() - start), 3.0);
    EXPECT_FALSE(service.Net()->IsOpen());
    EXPECT_EQ(service.Comm()->NetReaderRunning.load(), 0);
    EXPECT_TRUE(WaitUntil([&] { return !unit.Connected(); })) << "the connection was not closed";
}

TEST(UnitAddress, OnlyUnicastIPv4IsAccepted) {
    for (const char* good : {"127.0.0.1", "127.255.255.254", "10.1.2.3", "192.168.0.1", "223.255.255.255"}) {
        EXPECT_TRUE(transport::IsAcceptableUnitAddress(good)) << good;
    }
    for (const char* bad : {"0.0.0.0", "255.255.255.255", "224.0.0.0", "239.1.1.1", "", "localhost", "1.2.3",
                            "1.2.3.4.5", "01.2.3.4x", "::1", " 1.2.3.4"}) {
        EXPECT_FALSE(transport::IsAcceptableUnitAddress(bad)) << bad;
    }
}

}  // namespace
}  // namespace velmo::service
