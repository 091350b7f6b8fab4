// The programs on the Ethernet link: velmo-cli finding the unit, and velmo-modem-sim started as one.
#include <gtest/gtest.h>

#include <regex>

#include "EthernetFixture.h"
#include "library/service/ModemService.h"

namespace velmo::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

TEST_F(EthernetTest, TheClientDiscoversTheUnitAndReadsTheModemThroughIt) {
    RunResult r = RunProgram(VELMO_CLI_PATH, {"--network", "discover"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "127.0.0.1\n");
    r = RunProgram(VELMO_CLI_PATH, {"--network", "--json", "discover"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("\"address\":\"127.0.0.1\""), std::string::npos) << r.out;

    // Every status kind answered over the link, the identity among them.
    r = RunProgram(VELMO_CLI_PATH, {"--network", "status", "--json"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("\"sid\":4139,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"esn\":\"8F3A2C11\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"results\":[0,0,0,0,0,0]"), std::string::npos) << r.out;
    EXPECT_EQ(unit_->Stats().sessions, 3u);
}

TEST_F(EthernetTest, TheClientExplainsAUnitThatRefusesTheConnection) {
    unit_->SetFault(EthernetFault::TcpRefused);
    const RunResult r = RunProgram(VELMO_CLI_PATH, {"--network", "discover"});
    EXPECT_NE(r.exit, 0);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find("no Ethernet unit"), std::string::npos) << r.err;
}

class EthernetProgramTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        discoveryPort_ = FreePort(SOCK_DGRAM);
        replyPort_ = FreePort(SOCK_DGRAM);
        dataPort_ = FreePort(SOCK_STREAM);
        PointLibraryAt(discoveryPort_, replyPort_, dataPort_);
    }
    void TearDown() override {
        if (sim_.pid > 0) {
            kill(sim_.pid, SIGKILL);
            WaitExit(sim_.pid);
        }
        for (int fd : {sim_.out, sim_.err}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        TempFolderTest::TearDown();
    }

    // Starts the stand-in program with args; returns its Ethernet start line.
    std::string StartProgram(std::vector<std::string> args) {
        args.insert(args.end(), {"--state", dir_ + "/modem-sim.state", "--control", dir_ + "/control.sock"});
        sim_ = Spawn(VELMO_MODEM_SIM_PATH, args);
        if (sim_.pid < 0) {
            return {};
        }
        ReadLine(sim_.out);
        return ReadLine(sim_.out);
    }

    uint16_t discoveryPort_ = 0;
    uint16_t replyPort_ = 0;
    uint16_t dataPort_ = 0;
    Child sim_;
};

TEST_F(EthernetProgramTest, TheStandInProgramServesAsAnEthernetUnit) {
    const std::string line = StartProgram({"--ethernet", "--http-port", "0"});
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        line, m,
        std::regex(R"(velmo-modem-sim: Ethernet unit 127\.0\.0\.1: discovery udp 127\.0\.0\.1:)"
                   R"((\d+) \(answers to port (\d+)\), data tcp 127\.0\.0\.1:(\d+), web )"
                   R"(http://127\.0\.0\.1:(\d+)/, fault none)")))
        << line;
    EXPECT_EQ(m[1], std::to_string(discoveryPort_));
    EXPECT_EQ(m[2], std::to_string(replyPort_));
    EXPECT_EQ(m[3], std::to_string(dataPort_));
    const uint16_t httpPort = static_cast<uint16_t>(std::stoi(m[4]));
    EXPECT_NE(httpPort, 0);

    service::ModemService modem;
    ASSERT_EQ(modem.OpenNetworkLink(0), 1);
    ModemStatusRecord record{};
    ASSERT_EQ(modem.QueryStatus(&record, 3), kResultOk);
    EXPECT_EQ(uint16_t{record.Sid}, 4139);

    const int web = ConnectLoopback(httpPort);
    ASSERT_GE(web, 0);
    SendAll(web, "GET / HTTP/1.1\r\n\r\n");
    const std::string page = ReadToEnd(web);
    close(web);
    EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(page.find("id=\"sid\">4139<"), std::string::npos);
    EXPECT_NE(page.find("id=\"host\">127.0.0.1:"), std::string::npos);

    // It stops cleanly with the link still open.
    kill(sim_.pid, SIGTERM);
    EXPECT_EQ(WaitExit(sim_.pid), 0);
    sim_.pid = -1;
    EXPECT_TRUE(Eventually([&] { return !modem.Net()->IsOpen(); }));
}

TEST_F(EthernetProgramTest, TheStandInProgramStartsWithAFaultAndChecksItsOptions) {
    const std::string line = StartProgram({"--ethernet", "--http-port=0", "--ethernet-fault", "tcp-refused"});
    EXPECT_NE(line.find(", fault tcp-refused"), std::string::npos) << line;
    service::ModemService modem;
    const auto start = Clock::now();
    EXPECT_EQ(modem.OpenNetworkLink(0), 0);
    EXPECT_LT(Clock::now() - start, 3s);  // hang guard

    EXPECT_EQ(RunProgram(VELMO_MODEM_SIM_PATH, {"--ethernet", "--http-port", "65536"}).exit, 2);
    EXPECT_EQ(RunProgram(VELMO_MODEM_SIM_PATH, {"--ethernet", "--ethernet-fault", "sometimes"}).exit, 2);
    const RunResult bad =
        RunProgram(VELMO_MODEM_SIM_PATH, {"--ethernet", "--ethernet-address", "300.1.2.3", "--state",
                                          dir_ + "/other.state", "--control", dir_ + "/other.sock"});
    EXPECT_EQ(bad.exit, 1);
    EXPECT_NE(bad.err.find("not an IPv4 address: 300.1.2.3"), std::string::npos) << bad.err;
    const RunResult any =
        RunProgram(VELMO_MODEM_SIM_PATH, {"--ethernet", "--ethernet-address", "0.0.0.0", "--state",
                                          dir_ + "/other.state", "--control", dir_ + "/other.sock"});
    EXPECT_EQ(any.exit, 1);
    EXPECT_NE(any.err.find("0.0.0.0 is no address"), std::string::npos) << any.err;
}

}  // namespace
}  // namespace velmo::sim::test
