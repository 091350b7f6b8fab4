#include "platform/dialup/PppdLog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace velmo::dialup {
namespace {

using Events = std::vector<std::pair<PppdEvent, std::string>>;

// The events of a transcript, without the lines the parser does not follow.
Events Parse(const std::string& file) {
    std::ifstream in(std::string(VELMO_DIALUP_TEST_DATA) + "/" + file);
    EXPECT_TRUE(in) << file;
    Events events;
    std::string line;
    while (std::getline(in, line)) {
        const PppdLogLine parsed = ParsePppdLine(line);
        if (parsed.event != PppdEvent::None) {
            events.emplace_back(parsed.event, parsed.value);
        }
    }
    return events;
}

TEST(PppdLog, TranscriptsGiveTheirSessions) {
    EXPECT_EQ(Parse("pppd-pap-session.log"), (Events{{PppdEvent::Interface, "ppp0"},
                                                     {PppdEvent::LinkUp, "ppp0"},
                                                     {PppdEvent::AuthSucceeded, "PAP"},
                                                     {PppdEvent::LocalAddress, "10.64.64.64"},
                                                     {PppdEvent::RemoteAddress, "10.112.112.112"},
                                                     {PppdEvent::TerminatingOnSignal, "15"},
                                                     {PppdEvent::Terminated, ""}}));
    // CHAP says so twice: once with the server's message, once on its own.
    EXPECT_EQ(Parse("pppd-chap-session.log"), (Events{{PppdEvent::Interface, "ppp0"},
                                                      {PppdEvent::LinkUp, "ppp0"},
                                                      {PppdEvent::AuthSucceeded, "CHAP"},
                                                      {PppdEvent::AuthSucceeded, "CHAP"},
                                                      {PppdEvent::LocalAddress, "10.64.64.65"},
                                                      {PppdEvent::RemoteAddress, "10.112.112.112"},
                                                      {PppdEvent::TerminatingOnSignal, "15"},
                                                      {PppdEvent::Terminated, ""}}));
    EXPECT_EQ(Parse("pppd-auth-failure.log"), (Events{{PppdEvent::Interface, "ppp0"},
                                                      {PppdEvent::LinkUp, "ppp0"},
                                                      {PppdEvent::AuthFailed, ""},
                                                      {PppdEvent::AuthFailed, ""},
                                                      {PppdEvent::Terminated, ""}}));
    EXPECT_EQ(Parse("pppd-dropped-line.log"), (Events{{PppdEvent::Interface, "ppp0"},
                                                      {PppdEvent::LinkUp, "ppp0"},
                                                      {PppdEvent::AuthSucceeded, "PAP"},
                                                      {PppdEvent::LocalAddress, "10.64.64.64"},
                                                      {PppdEvent::RemoteAddress, "10.112.112.112"},
                                                      {PppdEvent::CarrierLost, ""},
                                                      {PppdEvent::Terminated, ""}}));
    EXPECT_EQ(Parse("pppd-no-kernel-ppp.log"),
              (Events{{PppdEvent::NoKernelSupport, "No such file or directory"}}));
    const Events privilege = Parse("pppd-privilege.log");
    ASSERT_EQ(privilege.size(), 1u);
    EXPECT_EQ(privilege[0].first, PppdEvent::PrivilegeRefused);
}

TEST(PppdLog, LookalikeLinesAreNotTaken) {
    // Authenticating the peer is not authenticating ourselves.
    EXPECT_EQ(ParsePppdLine("PAP peer authentication succeeded for bob").event, PppdEvent::None);
    EXPECT_EQ(ParsePppdLine("local  IP address changed").event, PppdEvent::None);
    EXPECT_EQ(ParsePppdLine("Using interface").event, PppdEvent::None);
    EXPECT_EQ(ParsePppdLine("Connect time 2.4 minutes.").event, PppdEvent::None);
    EXPECT_EQ(ParsePppdLine("").event, PppdEvent::None);
    EXPECT_EQ(ParsePppdLine("Terminating on signal x").event, PppdEvent::None);
    // A server's failure message that ends like a success is still a failure.
    EXPECT_EQ(ParsePppdLine("MS-CHAP authentication failed: E=691 R=1 authentication succeeded").event,
              PppdEvent::AuthFailed);
    // A trailing CR or spaces from a tty do not hide a line.
    EXPECT_EQ(ParsePppdLine("Modem hangup\r").event, PppdEvent::CarrierLost);
}

// Every format the parser knows is one pppd prints: a changed pppd shows up here, not as a silent dial.
TEST(PppdLog, EveryPatternOccursInPppd) {
    std::ifstream in("/usr/sbin/pppd", std::ios::binary);
    if (!in) {
        GTEST_SKIP() << "pppd is not installed";
    }
    std::stringstream bytes;
    bytes << in.rdbuf();
    // Its printable runs, as strings(1) finds them.
    std::vector<std::string> runs;
    std::string run;
    for (char c : bytes.str()) {
        if ((c >= 0x20 && c < 0x7F) || c == '\t') {
            run += c;
        } else {
            if (run.size() >= 4) {
                runs.push_back(run);
            }
            run.clear();
        }
    }
    for (const PppdPattern& p : PppdPatterns()) {
        bool found = false;
        for (const std::string& r : runs) {
            found = found || r == p.format;
        }
        EXPECT_TRUE(found) << "pppd does not print \"" << p.format << "\"";
    }
}

TEST(PppdLog, FormatsMatchWholeLines) {
    std::string captured;
    EXPECT_TRUE(MatchPppdFormat("using the %s%s requires root privilege",
                                "using the defaultroute option requires root privilege", &captured));
    EXPECT_TRUE(MatchPppdFormat("Connect: %s <--> %s", "Connect: ppp1 <--> /dev/ttyUSB0", &captured));
    EXPECT_EQ(captured, "ppp1");
    EXPECT_TRUE(
        MatchPppdFormat("No response to %d echo-requests", "No response to 4 echo-requests", &captured));
    EXPECT_EQ(captured, "4");
    EXPECT_FALSE(
        MatchPppdFormat("No response to %d echo-requests", "No response to four echo-requests", nullptr));
    EXPECT_FALSE(MatchPppdFormat("Modem hangup", "Modem hangup now", nullptr));
    EXPECT_FALSE(MatchPppdFormat("Using interface %s", "Using interface ", nullptr));
}

}  // namespace
}  // namespace velmo::dialup
