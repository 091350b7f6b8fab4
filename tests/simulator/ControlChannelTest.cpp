// velmo-modem-sim as a program: its start line, its control channel, its persistence across restarts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "StandInFixture.h"
#include "library/service/ModemService.h"

extern char** environ;

namespace velmo::sim::test {
namespace {

namespace fs = std::filesystem;

struct Child {
    pid_t pid = -1;
    int out = -1;  // its stdout
};

Child Spawn(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(VELMO_MODEM_SIM_PATH));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, VELMO_MODEM_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    child.out = pipeFds[0];
    return child;
}

// Reads until end of stream or a newline when firstLine; bounded as a hang guard.
std::string ReadOutput(int fd, bool firstLine) {
    std::string text;
    char c;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        if (read(fd, &c, 1) != 1 || (firstLine && c == '\n')) {
            break;
        }
        text += c;
    }
    return text;
}

int WaitExit(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// Runs "velmo-modem-sim ctl ..." and returns its exit code; its stdout goes to *output.
int Ctl(const std::vector<std::string>& words, std::string* output = nullptr) {
    std::vector<std::string> args = {"ctl"};
    args.insert(args.end(), words.begin(), words.end());
    Child child = Spawn(args);
    const std::string text = ReadOutput(child.out, false);
    close(child.out);
    if (output != nullptr) {
        *output = text;
    }
    return WaitExit(child.pid);
}

class ControlChannelTest : public TempFolderTest {
  protected:
    void TearDown() override {
        if (sim_.pid > 0) {
            kill(sim_.pid, SIGKILL);
            WaitExit(sim_.pid);
        }
        if (sim_.out >= 0) {
            close(sim_.out);
        }
        TempFolderTest::TearDown();
    }

    // Starts the program and parses its start line.
    void StartSim() {
        sim_ = Spawn({"--state", dir_ + "/sim.state"});
        ASSERT_GT(sim_.pid, 0);
        const std::string line = ReadOutput(sim_.out, true);
        std::smatch m;
        static const std::regex kStartLine(R"(velmo-modem-sim: port (\d+) -> (/dev/pts/\d+), control (\S+))");
        ASSERT_TRUE(std::regex_match(line, m, kStartLine)) << line;
        port_ = std::stoi(m[1]);
        pty_ = m[2];
        control_ = m[3];
    }

    void StopSim(int signal) {
        kill(sim_.pid, signal);
        exitCode_ = WaitExit(sim_.pid);
        sim_.pid = -1;
        close(sim_.out);
        sim_.out = -1;
    }

    Child sim_;
    int port_ = 0;
    std::string pty_;
    std::string control_;
    int exitCode_ = -1;
};

TEST_F(ControlChannelTest, ControlsARunningStandInAndItsStateSurvivesARestart) {
    StartSim();
    EXPECT_EQ(control_, dir_ + "/sim/control.sock");
    EXPECT_EQ(fs::status(dir_ + "/sim").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::read_symlink(dir_ + "/ports/com" + std::to_string(port_)), pty_);

    std::string out;
    ASSERT_EQ(Ctl({"status"}, &out), 0) << out;
    EXPECT_NE(out.find("\nsid = 4139\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nfault = none\n"), std::string::npos) << out;

    // The library's handshake as the program logged it.
    {
        service::ModemService modem;
        ASSERT_EQ(modem.OpenSerialPort(port_, 115200), kResultOk);
        ASSERT_TRUE(
            Eventually([&] { return Ctl({"requests"}, &out) == 0 && out.find("\n1F FF") != out.npos; }));
    }
    EXPECT_EQ(out.rfind("ok\n00\n5D 56 03 00 00", 0), 0u) << out;
    EXPECT_TRUE(out.ends_with(" 00\nend\n")) << out;
    EXPECT_EQ(Ctl({"clear-requests"}), 0);
    ASSERT_EQ(Ctl({"requests"}, &out), 0);
    EXPECT_EQ(out, "ok\nend\n");

    EXPECT_EQ(Ctl({"fault", "no-reply"}, &out), 0);
    EXPECT_EQ(out, "ok no-reply\n");
    ASSERT_EQ(Ctl({"status"}, &out), 0);
    EXPECT_NE(out.find("\nfault = no-reply\n"), std::string::npos) << out;
    EXPECT_EQ(Ctl({"fault", "sometimes"}, &out), 1);
    EXPECT_EQ(out.rfind("error ", 0), 0u);
    EXPECT_EQ(Ctl({"clear"}), 0);

    EXPECT_EQ(Ctl({"set", "sid", "4140"}), 0);
    {
        service::ModemService modem;
        ASSERT_EQ(modem.OpenSerialPort(port_, 115200), kResultOk);
        ModemStatusRecord record{};
        ASSERT_EQ(modem.QueryStatus(&record, 3), kResultOk);
        EXPECT_EQ(uint16_t{record.Sid}, 4140);
    }

    EXPECT_EQ(Ctl({"quit"}, &out), 0);
    EXPECT_EQ(WaitExit(sim_.pid), 0);
    sim_.pid = -1;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ + "/ports/com" + std::to_string(port_))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(control_)));
    std::ifstream file(dir_ + "/sim.state");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_NE(text.str().find("\nsid = 4140\n"), std::string::npos) << text.str();

    close(sim_.out);
    StartSim();
    ASSERT_EQ(Ctl({"status"}, &out), 0);
    EXPECT_NE(out.find("\nsid = 4140\n"), std::string::npos) << out;
    StopSim(SIGTERM);
    EXPECT_EQ(exitCode_, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(control_)));

    EXPECT_EQ(Ctl({"status"}), 2);
}

TEST_F(ControlChannelTest, AStandInThatDiedLeavesNothingInTheWayOfTheNext) {
    StartSim();
    const int firstPort = port_;
    StopSim(SIGKILL);
    ASSERT_TRUE(fs::exists(fs::symlink_status(control_)));  // left behind

    StartSim();
    EXPECT_EQ(port_, firstPort);  // the dangling link's number is free again
    std::string out;
    EXPECT_EQ(Ctl({"status"}, &out), 0) << out;

    // A second stand-in beside a live one takes the next number but not the socket.
    Child second = Spawn({"--state", dir_ + "/second.state"});
    EXPECT_EQ(WaitExit(second.pid), 1);
    close(second.out);
    StopSim(SIGINT);
    EXPECT_EQ(exitCode_, 0);
}

}  // namespace
}  // namespace velmo::sim::test
