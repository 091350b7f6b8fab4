#include "NetLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include "platform/ThreadName.h"

namespace velmo::transport {

namespace {

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

sockaddr_in Address(in_addr_t host, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = host;
    a.sin_port = htons(port);
    return a;
}

// Waits until fd reports events or ms pass, checking abort every few tens of milliseconds. >0 ready, 0 timed
// out or aborted, <0 error.
int PollAbortable(int fd, short events, uint32_t ms, const std::atomic<int32_t>& abort) {
    for (uint32_t waited = 0; waited < ms; waited += kAbortPollMs) {
        if (abort.load() != 0) {
            return 0;
        }
        pollfd p{fd, events, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min(kAbortPollMs, ms - waited)));
        if (r != 0) {
            if (r < 0 && errno == EINTR) {
                continue;
            }
            return r;
        }
    }
    return 0;
}

}  // namespace

bool IsAcceptableUnitAddress(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return false;
    }
    const uint32_t host = ntohl(a.s_addr);
    const bool any = host == 0;
    const bool broadcast = host == 0xFFFFFFFFu;
    const bool multicast = (host >> 28) == 0xE;
    return !any && !broadcast && !multicast;
}

std::optional<std::string> ReadDiscoveryReply(const char* datagram, size_t size) {
    std::string address(datagram, strnlen(datagram, size));
    while (!address.empty() && std::strchr(" \t\r\n", address.back()) != nullptr) {
        address.pop_back();
    }
    if (!IsAcceptableUnitAddress(address)) {
        return std::nullopt;
    }
    return address;
}

NetLink::NetLink(IReceiver& receiver, std::atomic<int32_t>& running, std::atomic<int32_t>& stop,
                 platform::IClock& clock)
    : receiver_(receiver), running_(running), stop_(stop), clock_(clock) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

NetLink::~NetLink() {
    Close();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

bool NetLink::IsOpen() const {
    std::lock_guard lk(socketMutex_);
    return socket_ >= 0;
}

std::array<char, kDiscoveredAddressSize> NetLink::DiscoveredAddress() const {
    std::lock_guard lk(addressMutex_);
    return discovered_;
}

int NetLink::OpenNetwork(const std::atomic<int32_t>& abort) {
    if (IsOpen() || abort.load() != 0) {
        return 1;
    }
    if (reader_.joinable()) {
        reader_.join();  // a reader that ended on its own (peer closed)
    }
    {
        std::lock_guard lk(addressMutex_);
        discovered_.fill(0);
    }
    if (wakeFd_ < 0 || DiscoverAndConnect(abort, platform::CurrentNetworkConfig()) == 0) {
        return 0;
    }
    uint64_t drain = 0;
    while (read(wakeFd_, &drain, sizeof drain) > 0) {
    }
    stop_.store(0);
    running_.store(1);
    reader_ = std::thread([this] {
        platform::NameThisThread("velmo-net");
        NetReader();
    });
    return 1;
}

int NetLink::DiscoverAndConnect(const std::atomic<int32_t>& abort, const platform::NetworkConfig& config) {
    if (abort.load() != 0) {
        return 0;
    }
    Fd listener(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (listener.get() < 0) {
        return 0;
    }
    const int one = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in local = Address(htonl(INADDR_ANY), config.replyPort);
    if (bind(listener.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return 0;
    }
    Fd sender(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
    if (sender.get() < 0 || setsockopt(sender.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one) != 0) {
        return 0;
    }
    in_addr target{};
    if (inet_pton(AF_INET, config.discoveryAddress.c_str(), &target) != 1) {
        return 0;
    }
    const sockaddr_in to = Address(target.s_addr, config.discoveryPort);

    for (int attempt = 0; attempt < kDiscoveryAttempts; ++attempt) {
        if (abort.load() != 0) {
            return 0;
        }
        const ssize_t sent = sendto(sender.get(), kDiscoveryRequest, sizeof kDiscoveryRequest - 1,
                                    MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent != static_cast<ssize_t>(sizeof kDiscoveryRequest - 1)) {
            continue;
        }
        if (PollAbortable(listener.get(), POLLIN, kDiscoveryWaitMs, abort) <= 0) {
            continue;
        }
        char reply[kDiscoveredAddressSize] = {};
        const ssize_t got = recvfrom(listener.get(), reply, sizeof reply - 1, 0, nullptr, nullptr);
        if (got <= 0) {
            continue;
        }
        const std::optional<std::string> address = ReadDiscoveryReply(reply, static_cast<size_t>(got));
        if (!address) {
            continue;
        }
        return Connect(*address, config.dataPort, abort);
    }
    return 0;
}

int NetLink::Connect(const std::string& address, uint16_t port, const std::atomic<int32_t>& abort) {
    in_addr host{};
    inet_pton(AF_INET, address.c_str(), &host);
    Fd sock(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
    if (sock.get() < 0) {
        return 0;
    }
    const sockaddr_in to = Address(host.s_addr, port);
    bool connected = connect(sock.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    if (!connected && errno == EINPROGRESS &&
        PollAbortable(sock.get(), POLLOUT, kConnectTimeoutMs, abort) > 0) {
        int error = 0;
        socklen_t len = sizeof error;
        connected = getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
    if (!connected || abort.load() != 0) {
        return 0;
    }
    {
        std::lock_guard lk(addressMutex_);
        discovered_.fill(0);
        std::memcpy(discovered_.data(), address.data(), std::min(address.size(), discovered_.size() - 1));
    }
    std::lock_guard lk(socketMutex_);
    socket_ = sock.release();
    return 1;
}

void NetLink::NetReader() {
    int fd;
    {
        std::lock_guard lk(socketMutex_);
        fd = socket_;
    }
    std::array<uint8_t, kNetReadBlockSize> block{};
    while (stop_.load() == 0) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if ((fds[0].revents & POLLIN) != 0 || stop_.load() != 0) {
            break;
        }
        if (fds[1].revents == 0) {
            continue;
        }
        const ssize_t got = recv(fd, block.data(), block.size(), 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (got <= 0) {
            break;  // peer closed or the connection failed
        }
        receiver_.OnReceived(block.data(), static_cast<size_t>(got));
    }
    {
        std::lock_guard lk(socketMutex_);
        if (socket_ >= 0) {
            close(socket_);
            socket_ = -1;
        }
    }
    stop_.store(0);
    running_.store(0);
}

void NetLink::Close() {
    if (reader_.joinable()) {
        stop_.store(1);
        const uint64_t one = 1;
        (void)write(wakeFd_, &one, sizeof one);
        reader_.join();
    }
    std::lock_guard lk(socketMutex_);
    if (socket_ >= 0) {
        close(socket_);
        socket_ = -1;
    }
    running_.store(0);
}

int NetLink::WriteFrameBytes(const uint8_t* bytes, size_t n) {
    std::lock_guard lk(socketMutex_);
    if (socket_ < 0) {
        return 1;
    }
    const uint32_t start = clock_.TickCount();
    size_t done = 0;
    while (done < n) {
        const ssize_t sent = send(socket_, bytes + done, n - done, MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        const uint32_t spent = clock_.TickCount() - start;
        if (sent < 0 && errno == EAGAIN && spent < kWriteTimeoutMs) {
            pollfd p{socket_, POLLOUT, 0};
            (void)poll(&p, 1, static_cast<int>(kWriteTimeoutMs - spent));
            continue;
        }
        break;  // absorbed like a serial write error: the reply will be missing
    }
    return 1;
}

}  // namespace velmo::transport
