#include "library/transport/CComm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmo::transport {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// A ports folder of our own for the test, named in VELMO_PORTS_DIR.
class PortsFolder {
  public:
    PortsFolder() {
        char tmpl[] = "/tmp/velmo-comm-test-XXXXXX";
        const char* dir = mkdtemp(tmpl);
        EXPECT_NE(dir, nullptr);
        path_ = dir != nullptr ? dir : "";
        setenv("VELMO_PORTS_DIR", path_.c_str(), 1);
    }
    ~PortsFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        unsetenv("VELMO_PORTS_DIR");
    }
    void Link(int port, const std::string& target) const {
        const std::string link = path_ + "/com" + std::to_string(port);
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << link;
    }

  private:
    std::string path_;
};

class Pty {
  public:
    Pty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        char name[128] = {};
        EXPECT_EQ(ptsname_r(master_, name, sizeof name), 0);
        slave_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { CloseMaster(); }
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slave_; }
    void CloseMaster() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }
    // Reads what the library wrote until n bytes came or 3 s passed.
    Bytes Read(size_t n) const {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + 3s;
        while (out.size() < n && std::chrono::steady_clock::now() < end) {
            pollfd pfd{master_, POLLIN, 0};
            if (poll(&pfd, 1, 50) > 0) {
                uint8_t buf[256];
                const ssize_t got = read(master_, buf, sizeof buf);
                if (got > 0) {
                    out.insert(out.end(), buf, buf + got);
                }
            }
        }
        return out;
    }

  private:
    int master_ = -1;
    std::string slave_;
};

class Collector final : public IReceiver {
  public:
    void OnReceived(const uint8_t* block, size_t n) override {
        std::lock_guard lk(mutex_);
        bytes_.insert(bytes_.end(), block, block + n);
        cv_.notify_all();
    }
    Bytes WaitFor(size_t n) {
        std::unique_lock lk(mutex_);
        cv_.wait_for(lk, 3s, [&] { return bytes_.size() >= n; });
        return bytes_;
    }
    size_t Size() {
        std::lock_guard lk(mutex_);
        return bytes_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    Bytes bytes_;
};

CommSettings Settings(int port, uint32_t baud = 115200) {
    CommSettings s;
    s.portNumber = static_cast<uint8_t>(port);
    s.baudRate = baud;
    return s;
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

template <class F>
std::chrono::milliseconds Timed(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

TEST(BaudToSpeed, MapsKnownRatesOnly) {
    EXPECT_EQ(BaudToSpeed(115200), static_cast<unsigned>(B115200));
    EXPECT_EQ(BaudToSpeed(9600), static_cast<unsigned>(B9600));
    EXPECT_EQ(BaudToSpeed(12345), 0u);
    EXPECT_EQ(BaudToSpeed(0), 0u);
}

TEST(CCommOpen, MissingPortFails) {
    PortsFolder folder;
    // No link: port 200 falls back to /dev/ttyUSB199.
    struct stat st {};
    if (stat("/dev/ttyUSB199", &st) == 0) {
        GTEST_SKIP() << "/dev/ttyUSB199 exists here";
    }
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(200));
    EXPECT_EQ(comm.OpenPort(), 0);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.DevicePath(), "/dev/ttyUSB199");
    EXPECT_EQ(comm.LastOpenError(), ENOENT);

    comm.Configure(Settings(0));
    EXPECT_EQ(comm.OpenPort(), 0);
    EXPECT_FALSE(comm.IsOpen());
}

TEST(CCommOpen, PtyOpensConfiguredAndCarriesBytes) {
    PortsFolder folder;
    Pty pty;
    folder.Link(7, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(7));
    // The DTR/RTS ioctls fail on a pty; that must not fail the open.
    ASSERT_EQ(comm.OpenPort(), 1);
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(comm.Connected.load(), 1);

    termios tio{};
    ASSERT_EQ(tcgetattr(pty.Master(), &tio), 0);  // a pty master reports its slave's settings
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_NE(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

    const Bytes fromModem = {0x00, 0x7E, 0x0A, 0x0D, 0x11, 0x13, 0xFF};
    ASSERT_EQ(write(pty.Master(), fromModem.data(), fromModem.size()),
              static_cast<ssize_t>(fromModem.size()));
    EXPECT_EQ(rx.WaitFor(fromModem.size()), fromModem);

    const Bytes toModem = {0x0C, 0x14, 0x3A, 0x7E, 0x0A, 0x11};
    EXPECT_EQ(comm.WriteFrameBytes(toModem.data(), toModem.size()), 1);
    EXPECT_EQ(pty.Read(toModem.size()), toModem);

    EXPECT_TRUE(comm.ShutdownComm());
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.ReaderRunning.load(), 0);
    // Writing to a closed port is absorbed.
    EXPECT_EQ(comm.WriteFrameBytes(toModem.data(), toModem.size()), 1);
}

TEST(CCommOpen, ReaderKeepsReadingAfterTheQueueRunsDry) {
    PortsFolder folder;
    Pty pty;
    folder.Link(8, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(8));
    ASSERT_EQ(comm.OpenPort(), 1);
    // Raw mode with VMIN = VTIME = 0: an empty queue reads as 0 bytes, which is not a hang-up.
    const Bytes first = {0x7E, 0x00, 0x78, 0xF0, 0x7E};
    ASSERT_EQ(write(pty.Master(), first.data(), first.size()), 5);
    ASSERT_EQ(rx.WaitFor(5).size(), 5u);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(comm.DeviceLost());
    const Bytes second = {0x0C, 0x14, 0x3A, 0x7E};
    ASSERT_EQ(write(pty.Master(), second.data(), second.size()), 4);
    const Bytes all = rx.WaitFor(9);
    EXPECT_EQ(all.size(), 9u);
}

TEST(CCommOpen, UnsupportedBaudFailsAndReleasesThePort) {
    PortsFolder folder;
    Pty pty;
    folder.Link(3, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(3, 12345));
    EXPECT_EQ(comm.OpenPort(), 0);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.LastOpenError(), EINVAL);

    // Nothing of the failed open lingers: the lock is gone.
    CComm other(rx);
    other.Configure(Settings(3));
    EXPECT_EQ(other.OpenPort(), 1);
}

TEST(CCommOpen, SecondOpenOfABusyPortFails) {
    PortsFolder folder;
    Pty pty;
    folder.Link(4, pty.SlavePath());
    Collector rx;
    CComm first(rx);
    first.Configure(Settings(4));
    ASSERT_EQ(first.OpenPort(), 1);

    CComm second(rx);
    second.Configure(Settings(4));
    EXPECT_EQ(second.OpenPort(), 0);
    EXPECT_EQ(second.LastOpenError(), EBUSY);
    EXPECT_FALSE(second.IsOpen());

    first.ShutdownComm();
    EXPECT_EQ(second.OpenPort(), 1);
}

TEST(CCommOpen, ReopenReplacesTheReader) {
    PortsFolder folder;
    Pty pty;
    folder.Link(5, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(5));
    ASSERT_EQ(comm.OpenPort(), 1);
    // Opening the same port again first closes it, so our own lock does not refuse us.
    ASSERT_EQ(comm.OpenPort(), 1);
    const Bytes b = {1, 2, 3};
    ASSERT_EQ(write(pty.Master(), b.data(), b.size()), 3);
    EXPECT_EQ(rx.WaitFor(3), b);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rx.Size(), 3u);  // one reader, not two
}

TEST(CCommClose, CloseWhileThePeerWritesReturnsPromptly) {
    PortsFolder folder;
    Pty pty;
    folder.Link(9, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(9));
    ASSERT_EQ(comm.OpenPort(), 1);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const Bytes chunk(512, 0x5A);
        while (!stop.load()) {
            if (write(pty.Master(), chunk.data(), chunk.size()) < 0) {
                std::this_thread::sleep_for(1ms);
            }
        }
    });
    rx.WaitFor(4096);
    bool closed = false;
    const auto took = Timed([&] { closed = comm.ShutdownComm(); });
    stop.store(true);
    writer.join();
    EXPECT_TRUE(closed);
    EXPECT_LT(took, 2000ms);  // hang guard, not a performance figure
    EXPECT_GE(rx.Size(), 4096u);
    EXPECT_EQ(comm.ReaderRunning.load(), 0);
}

TEST(CCommClose, ReaderIdlesAfterThePeerHangsUp) {
    PortsFolder folder;
    Pty pty;
    folder.Link(11, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    comm.Configure(Settings(11));
    ASSERT_EQ(comm.OpenPort(), 1);

    pty.CloseMaster();
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!comm.DeviceLost() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(comm.DeviceLost());

    // A reader spinning on POLLHUP would burn most of this interval.
    const double before = CpuSeconds();
    std::this_thread::sleep_for(300ms);
    const double used = CpuSeconds() - before;
    EXPECT_LT(used, 0.1) << "CPU seconds used while idle: " << used;

    bool closed = false;
    const auto took = Timed([&] { closed = comm.ShutdownComm(); });
    EXPECT_TRUE(closed);
    EXPECT_LT(took, 2000ms);
}

TEST(CCommWrite, WriteToAPeerThatNeverReadsIsBounded) {
    PortsFolder folder;
    Pty pty;
    folder.Link(12, pty.SlavePath());
    Collector rx;
    CComm comm(rx);
    CommSettings s = Settings(12);
    s.handshake = 0;
    comm.Configure(s);
    ASSERT_EQ(comm.OpenPort(), 1);
    const Bytes big(1 << 20, 0x11);
    int result = 0;
    const auto took = Timed([&] { result = comm.WriteFrameBytes(big.data(), big.size()); });
    EXPECT_EQ(result, 1);
    EXPECT_LT(took, 3000ms);
}

}  // namespace
}  // namespace velmo::transport
