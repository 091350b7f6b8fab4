// Finding, hanging up and counting connections against test processes, a fake sysfs and a fake pppd pid
// folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "DialupFixture.h"
#include "platform/Ports.h"
#include "platform/dialup/Connections.h"
#include "platform/dialup/Process.h"

namespace velmo::dialup::test {
namespace {

// A pty whose slave is published as a modem (or not), for processes to have as their line.
class Line {
  public:
    explicit Line(const std::string& publishAs) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        grantpt(master_);
        unlockpt(master_);
        slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(slave_, 0);
        if (!publishAs.empty()) {
            number_ = platform::PublishModem(ptsname(master_), publishAs);
            EXPECT_NE(number_, 0);
        }
    }
    ~Line() {
        if (number_ != 0) {
            platform::UnpublishModem(number_);
        }
        close(slave_);
        close(master_);
    }
    int Slave() const { return slave_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    int number_ = 0;
};

class ConnectionsTest : public DialupTest {
  protected:
    void SetUp() override {
        DialupTest::SetUp();
        options_ = Options();
        options_.hangUpWait = 300ms;
        // Processes named pppd: sleep started through a link of that name, and a shell that ignores SIGTERM.
        std::filesystem::create_directories(root_ + "/bin");
        std::filesystem::create_symlink("/bin/sleep", root_ + "/bin/pppd");
        WriteFile(root_ + "/stubborn/pppd", "#!/bin/sh\ntrap '' TERM\nwhile :; do sleep 0.05; done\n",
                  std::filesystem::perms::owner_all);
    }
    void TearDown() override {
        for (pid_t pid : children_) {
            kill(pid, SIGKILL);
            ReapChild(pid);
        }
        service_.reset();
        DialupTest::TearDown();
    }

    pid_t StartPppd(int line, const std::string& program = "") {
        int error = 0;
        const pid_t pid = SpawnChild({program.empty() ? root_ + "/bin/pppd" : program, "30"},
                                     ChildFds{line, -1, -1, -1}, error);
        EXPECT_GT(pid, 0);
        children_.push_back(pid);
        // Its name changes with the exec: wait until it is pppd.
        const auto until = std::chrono::steady_clock::now() + 3s;
        while (ProcessName("/proc", pid) != "pppd" && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(2ms);
        }
        return pid;
    }
    // SigIgn in /proc/<pid>/status is a hex mask; bit (n - 1) stands for signal n.
    static bool IgnoresSigterm(pid_t pid) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigIgn:", 0) == 0) {
                return (std::stoull(line.substr(7), nullptr, 16) & (1ULL << (SIGTERM - 1))) != 0;
            }
        }
        return false;
    }
    // Waits for our child and reports whether a signal ended it.
    bool EndedBySignal(pid_t pid) {
        children_.erase(std::find(children_.begin(), children_.end(), pid));
        const int status = ReapChild(pid);
        return WIFSIGNALED(status);
    }
    void SetCounters(const std::string& interface, uint64_t txBytes, uint64_t rxBytes) {
        const std::string dir = root_ + "/sys/" + interface + "/statistics/";
        for (const char* name : kCounterFiles) {
            WriteFile(dir + name, "0\n");
        }
        WriteFile(dir + "tx_bytes", std::to_string(txBytes) + "\n");
        WriteFile(dir + "rx_bytes", std::to_string(rxBytes) + "\n");
        WriteFile(dir + "rx_crc_errors", "3\n");
    }
    std::vector<ConnectionInfo> List() {
        std::vector<ConnectionInfo> list;
        EXPECT_EQ(service_->EnumConnections(list), kErrorOk);
        return list;
    }

    DialupOptions options_;
    std::unique_ptr<IDialupService> service_;
    std::vector<pid_t> children_;
};

TEST_F(ConnectionsTest, PppdOnAModemLineIsOursAndAnyOtherIsNot) {
    Line modem("Brivanta Modem Z");
    Line vpn("");
    const pid_t ours = StartPppd(modem.Slave());
    const pid_t foreign = StartPppd(vpn.Slave());
    const pid_t foreignNoLine = StartPppd(-1);
    WriteFile(root_ + "/pppd-run/ppp3.pid", std::to_string(ours) + "\nppp3\n");
    WriteFile(root_ + "/pppd-run/ppp4.pid", std::to_string(foreign) + "\n");
    SetCounters("ppp3", (1ull << 32) + 5000, 70000);
    SetCounters("ppp4", 1, 1);
    service_ = CreateDialupService(options_);

    const std::vector<ConnectionInfo> list = List();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].deviceName, "Brivanta Modem Z");
    EXPECT_EQ(List().size(), 1u) << "found twice";
    const ConnectionId id = list[0].id;
    ConnectStatus status;
    ASSERT_EQ(service_->GetConnectStatus(id, status), kErrorOk);
    EXPECT_EQ(status.state, kStateConnected);

    // Counters since the connection was found, 64 bits wide; clearing keeps a baseline.
    LinkStatistics stats;
    ASSERT_EQ(service_->GetStatistics(id, stats), kErrorOk);
    EXPECT_EQ(stats.bytesSent, (1ull << 32) + 5000);
    EXPECT_EQ(stats.bytesReceived, 70000u);
    EXPECT_EQ(stats.crcErrors, 3u);
    EXPECT_EQ(stats.bps, 115200u);
    ASSERT_EQ(service_->ClearStatistics(id), kErrorOk);
    SetCounters("ppp3", (1ull << 32) + 5100, 70001);
    ASSERT_EQ(service_->GetStatistics(id, stats), kErrorOk);
    EXPECT_EQ(stats.bytesSent, 100u);
    EXPECT_EQ(stats.bytesReceived, 1u);
    EXPECT_EQ(stats.crcErrors, 0u);

    EXPECT_EQ(service_->HangUp(id, 5000ms), kErrorOk);
    EXPECT_TRUE(EndedBySignal(ours));
    EXPECT_EQ(service_->GetConnectStatus(id, status), kErrorInvalidHandle);
    EXPECT_EQ(service_->GetStatistics(id, stats), kErrorInvalidHandle);
    EXPECT_EQ(service_->HangUp(id, 5000ms), kErrorInvalidHandle);

    // The other pppd processes were never found, counted or touched.
    EXPECT_TRUE(List().empty());
    EXPECT_EQ(kill(foreign, 0), 0);
    EXPECT_EQ(kill(foreignNoLine, 0), 0);
    EXPECT_EQ(ProcessName("/proc", foreign), "pppd");
}

TEST_F(ConnectionsTest, ProcessThatIgnoresSigtermIsKilledAfterTheWait) {
    Line modem("Brivanta Modem S");
    const pid_t pid = StartPppd(modem.Slave(), root_ + "/stubborn/pppd");
    // The shell sets its trap a moment after the exec: a SIGTERM before that would end it at once.
    const auto until = std::chrono::steady_clock::now() + 3s;
    while (!IgnoresSigterm(pid) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(IgnoresSigterm(pid));
    service_ = CreateDialupService(options_);
    const std::vector<ConnectionInfo> list = List();
    ASSERT_EQ(list.size(), 1u);
    ConnectStatus status;
    ASSERT_EQ(service_->GetConnectStatus(list[0].id, status), kErrorOk);
    EXPECT_EQ(status.state, kStateAllDevicesConnected) << "no interface yet: not connected";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service_->HangUp(list[0].id, options_.hangUpWait), kErrorOk);
    EXPECT_GE(std::chrono::steady_clock::now() - start, options_.hangUpWait);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_TRUE(EndedBySignal(pid));
}

// Records whose processes are gone (or whose pid now belongs to another process) are not connections.
TEST_F(ConnectionsTest, StaleRecordsAreDropped) {
    Line modem("Brivanta Modem R");
    const pid_t pid = StartPppd(modem.Slave());
    ConnectionStore store(options_.runtimeDir, "/proc");
    ConnectionRecord reused;
    reused.pid = pid;
    reused.pidStart = ProcessStartTime("/proc", pid).value_or(0) + 1;  // same pid, another process
    reused.createdMs = 1;
    ASSERT_TRUE(store.Create(reused));
    ConnectionRecord orphan;  // its dialler died, its pppd lives on: still a connection
    orphan.ownerPid = pid;
    orphan.ownerStart = 1;
    orphan.pid = pid;
    orphan.pidStart = ProcessStartTime("/proc", pid).value_or(0);
    orphan.state = kStateConnected;
    orphan.createdMs = 2;
    ASSERT_TRUE(store.Create(orphan));

    service_ = CreateDialupService(options_);
    const std::vector<ConnectionInfo> list = List();
    ASSERT_EQ(list.size(), 1u) << "the pppd is known by its record and must not be adopted again";
    EXPECT_EQ(list[0].id, orphan.id);
    ConnectionRecord gone;
    EXPECT_FALSE(store.Read(reused.id, gone));
    // Its dialler is gone, so the hang-up finishes the record itself.
    EXPECT_EQ(service_->HangUp(orphan.id, 5000ms), kErrorOk);
    EXPECT_TRUE(EndedBySignal(pid));
    EXPECT_FALSE(store.Read(orphan.id, gone));
}

}  // namespace
}  // namespace velmo::dialup::test
