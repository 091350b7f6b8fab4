#include "CComm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Ports.h"
#include "platform/ThreadName.h"

namespace velmo::transport {

unsigned BaudToSpeed(uint32_t baudRate) {
    struct Pair {
        uint32_t baud;
        speed_t speed;
    };
    static constexpr std::array<Pair, 23> kSpeeds = {{
        {300, B300},         {600, B600},         {1200, B1200},       {2400, B2400},
        {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
        {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},
        {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
        {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
        {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
    }};
    for (const Pair& p : kSpeeds) {
        if (p.baud == baudRate) {
            return p.speed;
        }
    }
    return 0;
}

CComm::CComm(IReceiver& receiver, platform::IClock& clock) : receiver_(receiver), clock_(clock) {
    (void)byteBuffer_;
}

CComm::~CComm() {
    ShutdownComm();
}

void CComm::Configure(const CommSettings& settings) {
    portNumber_ = settings.portNumber;
    baudRate_ = settings.baudRate;
    dataBits_ = settings.dataBits;
    parity_ = settings.parity;
    stopBits_ = settings.stopBits;
    xonXoff_ = settings.xonXoff;
    handshake_ = settings.handshake;
}

int CComm::CreateIoEvents() {
    if (wakeFd_ >= 0) {
        return 1;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return wakeFd_ >= 0 ? 1 : 0;
}

int CComm::OpenPort() {
    Connected.store(0);
    // Whatever was open before goes first, reader included: no two readers ever feed one decoder.
    StopIo();
    deviceLost_.store(false);
    lastOpenError_ = 0;

    devicePath_ = platform::ResolvePort(portNumber_);
    if (devicePath_.empty()) {
        lastOpenError_ = ENODEV;
        return 0;
    }
    const int fd = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastOpenError_ = errno;
        return 0;
    }
    // Exclusive use: another program holding the port makes the open fail (root ignores TIOCEXCL).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastOpenError_ = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        return 0;
    }
    fd_.store(fd);
    if (!ApplyLineState()) {
        lastOpenError_ = errno;
        fd_.store(-1);
        close(fd);
        return 0;
    }
    tcflush(fd, TCIOFLUSH);
    SetModemLines(true);

    if (CreateIoEvents() == 0) {
        lastOpenError_ = errno;
        fd_.store(-1);
        close(fd);
        return 0;
    }
    uint64_t drain = 0;
    while (read(wakeFd_, &drain, sizeof drain) > 0) {
    }

    Connected.store(1);
    ReaderRunning.store(1);
    reader_ = std::thread([this] {
        platform::NameThisThread("velmo-serial");
        SerialReader();
    });
    return 1;
}

bool CComm::ApplyLineState() {
    const int fd = fd_.load();
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    const speed_t speed = BaudToSpeed(baudRate_);
    if (speed == 0) {
        errno = EINVAL;
        return false;
    }
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (dataBits_) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    if (parity_ == 1) {
        tio.c_cflag |= PARENB | PARODD;
    } else if (parity_ == 2) {
        tio.c_cflag |= PARENB;
    }
    if (stopBits_ == 2) {
        tio.c_cflag |= CSTOPB;
    }
    if (handshake_ != 0) {
        tio.c_cflag |= CRTSCTS;
    }
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (xonXoff_ != 0) {
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
    }
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

void CComm::SetModemLines(bool on) {
    // Ptys have no modem-control lines and refuse these; that is not an error.
    int bits = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd_.load(), on ? TIOCMBIS : TIOCMBIC, &bits);
}

int CComm::ReadQueued(uint8_t* buffer, size_t max) {
    const ssize_t got = read(fd_.load(), buffer, max);
    if (got > 0) {
        return static_cast<int>(got);
    }
    // In raw mode with VMIN = VTIME = 0 an empty queue reads as 0; a vanished device shows as EIO or POLLHUP.
    if (got < 0 && errno != EAGAIN && errno != EINTR) {
        deviceLost_.store(true);
    }
    return 0;
}

void CComm::SerialReader() {
    const int fd = fd_.load();
    std::array<uint8_t, kReadBlockSize> block{};
    while (Connected.load() != 0) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        // Once the device is gone only closing can wake us; polling its descriptor would spin on POLLHUP.
        const nfds_t count = deviceLost_.load() ? 1 : 2;
        const int ready = poll(fds, count, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if ((fds[0].revents & POLLIN) != 0 || Connected.load() == 0) {
            break;
        }
        if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0) {
            for (;;) {
                const int got = ReadQueued(block.data(), block.size());
                if (got <= 0 || Connected.load() == 0) {
                    break;
                }
                receiver_.OnReceived(block.data(), static_cast<size_t>(got));
            }
            if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                deviceLost_.store(true);
            }
        }
    }
    ReaderRunning.store(0);
}

int CComm::WriteFrameBytes(const uint8_t* bytes, size_t n) {
    const int fd = fd_.load();
    if (fd < 0) {
        return 1;
    }
    const uint32_t start = clock_.TickCount();
    size_t done = 0;
    while (done < n) {
        const ssize_t wrote = write(fd, bytes + done, n - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
            continue;
        }
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0 && errno != EAGAIN) {
            break;  // absorbed: the caller learns of a lost request from the missing reply
        }
        const uint32_t spent = clock_.TickCount() - start;
        if (spent >= kWriteTimeoutMs) {
            break;
        }
        pollfd pfd{fd, POLLOUT, 0};
        (void)poll(&pfd, 1, static_cast<int>(kWriteTimeoutMs - spent));
    }
    return 1;
}

int CComm::StopIo() {
    Connected.store(0);
    NetReaderStop.store(1);
    if (reader_.joinable()) {
        const uint64_t one = 1;
        (void)write(wakeFd_, &one, sizeof one);
        reader_.join();
    }
    const int fd = fd_.exchange(-1);
    if (fd >= 0) {
        int bits = TIOCM_DTR;
        (void)ioctl(fd, TIOCMBIC, &bits);
        tcflush(fd, TCIOFLUSH);
        close(fd);
    }
    for (int i = 0; i < kNetReaderStopPolls && NetReaderRunning.load() != 0; ++i) {
        clock_.Sleep(kReaderStopPollMs);
    }
    return 1;
}

bool CComm::ShutdownComm() {
    StopIo();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
        wakeFd_ = -1;
    }
    if (NetReaderRunning.load() != 0) {
        NetReaderRunning.store(0);
        NetReaderStop.store(1);
        clock_.Sleep(kNetReaderGraceMs);
    }
    if (ReaderRunning.load() != 0) {
        ReaderRunning.store(0);
        return false;
    }
    return true;
}

}  // namespace velmo::transport
