// The stand-in's AT port over its pty, as a terminal program would talk to it.
#include "simulator/AtPort.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "DialupFixture.h"
#include "platform/Ports.h"

namespace velmo::dialup::test {
namespace {

class AtPortTest : public DialupTest {
  protected:
    void SetUp() override {
        DialupTest::SetUp();
        std::string error;
        ASSERT_TRUE(port_.Start("Brivanta Test Modem", &error)) << error;
        Open();
    }
    void TearDown() override {
        if (fd_ >= 0) {
            close(fd_);
        }
        port_.Stop();
        DialupTest::TearDown();
    }
    void Open() {
        fd_ = open(platform::ModemLinkPath(port_.ModemNumber()).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd_, 0);
        termios tio{};
        tcgetattr(fd_, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    void Send(const std::string& text) {
        ASSERT_EQ(write(fd_, text.data(), text.size()), ssize_t(text.size()));
    }
    // What the modem says until it has said `until` (or the bound passes).
    std::string Expect(const std::string& until, std::chrono::milliseconds bound = 2s) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + bound;
        while (got.find(until) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) {
                char buf[128];
                const ssize_t n = read(fd_, buf, sizeof buf);
                got.append(buf, n > 0 ? static_cast<size_t>(n) : 0);
            }
        }
        return got;
    }

    sim::AtPort port_;
    int fd_ = -1;
};

TEST_F(AtPortTest, PublishedUnderItsName) {
    const std::vector<platform::PublishedModem> modems = platform::ListPublishedModems();
    ASSERT_EQ(modems.size(), 1u);
    EXPECT_EQ(modems[0].name, "Brivanta Test Modem");
    port_.Stop();
    EXPECT_TRUE(platform::ListPublishedModems().empty());
}

TEST_F(AtPortTest, CommandModeDataModeAndHangUps) {
    Send("AT\r");
    EXPECT_EQ(Expect("OK\r\n"), "AT\r\r\nOK\r\n");  // echo first
    Send("ATE0\r");
    Expect("OK\r\n");
    Send("AT&F\r");
    EXPECT_EQ(Expect("OK\r\n"), "\r\nOK\r\n");
    Send("AT\r");
    EXPECT_EQ(Expect("OK\r\n"), "AT\r\r\nOK\r\n") << "factory settings echo again";
    Send("ATE0\r");
    Expect("OK\r\n");
    Send("ATD5551111\r");
    EXPECT_EQ(Expect("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    port_.SetDialOutcome(sim::DialOutcome::Busy);
    Send("ATD#777\r");
    EXPECT_EQ(Expect("BUSY\r\n"), "\r\nBUSY\r\n");
    port_.SetDialOutcome(std::nullopt);
    Send("ATD#777\r");
    EXPECT_NE(Expect("CONNECT").find("CONNECT"), std::string::npos);
    EXPECT_TRUE(port_.InCall());

    // Data goes nowhere; "+++" and a pause return to command mode with the call up; ATH ends it.
    Send("~\x7d\x23+AT\r");
    EXPECT_EQ(Expect("OK", 300ms), "");
    Send("+++");
    EXPECT_NE(Expect("OK\r\n").find("OK"), std::string::npos);
    EXPECT_TRUE(port_.InCall());
    Send("ATH\r");
    Expect("OK\r\n");
    EXPECT_FALSE(port_.InCall());
    EXPECT_EQ(port_.CallsEnded(), 1);

    // Closing the line is loss of carrier.
    Send("ATD#777\r");
    Expect("CONNECT");
    close(fd_);
    fd_ = -1;
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (port_.InCall() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_FALSE(port_.InCall());
    EXPECT_EQ(port_.CallsEnded(), 2);
    // The modem is usable again, with its echo back on.
    Open();
    Send("AT\r");
    EXPECT_EQ(Expect("OK\r\n"), "AT\r\r\nOK\r\n");
}

TEST_F(AtPortTest, SilenceOnlyForTheSilentNumber) {
    Send("ATE0\r");
    Expect("OK\r\n");
    Send("ATDT5554444\r");
    EXPECT_EQ(Expect("\n", 300ms), "");
    EXPECT_EQ(port_.Commands().back(), "ATDT5554444");
    EXPECT_EQ(sim::OutcomeForNumber("#777"), sim::DialOutcome::Connect);
    EXPECT_EQ(sim::OutcomeForNumber("5553333"), sim::DialOutcome::NoAnswer);
    EXPECT_EQ(sim::OutcomeForNumber("5555555"), sim::DialOutcome::NoDialtone);
    EXPECT_EQ(sim::OutcomeForNumber("6666"), sim::DialOutcome::Error);
}

}  // namespace
}  // namespace velmo::dialup::test
