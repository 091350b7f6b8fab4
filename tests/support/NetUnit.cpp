#include "NetUnit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmo::testsupport {

namespace {

constexpr char kDiscoveryRequest[] = "GETD2IP";

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// Binds a new socket of the type to an ephemeral loopback port; returns the socket and its port.
int BindEphemeral(int type, uint16_t& port) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

}  // namespace

uint16_t FreeLoopbackPort(int type) {
    uint16_t port = 0;
    const int fd = BindEphemeral(type, port);
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

NetUnit::NetUnit() : NetUnit(Options{}) {}

NetUnit::NetUnit(Options options) : options_(std::move(options)) {
    udp_ = BindEphemeral(SOCK_DGRAM, discoveryPort_);
    replyPort_ = FreeLoopbackPort(SOCK_DGRAM);
    if (options_.listen) {
        listener_ = BindEphemeral(SOCK_STREAM, dataPort_);
        if (listener_ >= 0 && listen(listener_, 4) != 0) {
            close(listener_);
            listener_ = -1;
        }
    } else {
        dataPort_ = FreeLoopbackPort(SOCK_STREAM);
    }
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    ok_ =
        udp_ >= 0 && wake_ >= 0 && replyPort_ != 0 && dataPort_ != 0 && (!options_.listen || listener_ >= 0);
    thread_ = std::thread([this] { Serve(); });
}

NetUnit::~NetUnit() {
    stop_.store(true);
    Wake();
    thread_.join();
    for (int fd : {udp_, listener_, wake_, connection_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

void NetUnit::Publish() const {
    setenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1", 1);
    setenv("VELMO_DISCOVERY_PORT", std::to_string(discoveryPort_).c_str(), 1);
    setenv("VELMO_DISCOVERY_REPLY_PORT", std::to_string(replyPort_).c_str(), 1);
    setenv("VELMO_DATA_PORT", std::to_string(dataPort_).c_str(), 1);
}

void NetUnit::SetDiscoveryReply(std::optional<std::string> reply) {
    std::lock_guard lk(mutex_);
    options_.discoveryReply = std::move(reply);
}

void NetUnit::SetScript(Script script) {
    std::lock_guard lk(mutex_);
    options_.script = std::move(script);
}

std::vector<Bytes> NetUnit::Requests() {
    std::lock_guard lk(mutex_);
    return requests_;
}

bool NetUnit::WaitForRequests(size_t n, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (Requests().size() < n) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void NetUnit::Send(const Bytes& packet) {
    // The write lock keeps the connection from being closed under the send.
    std::lock_guard wl(writeMutex_);
    int fd;
    {
        std::lock_guard lk(mutex_);
        fd = connection_;
    }
    if (fd >= 0) {
        SendLocked(fd, Framed(packet));
    }
}

void NetUnit::DropConnection(int fd) {
    std::lock_guard wl(writeMutex_);
    std::lock_guard lk(mutex_);
    if (connection_ >= 0 && (fd < 0 || connection_ == fd)) {
        shutdown(connection_, SHUT_RDWR);
        close(connection_);
        connection_ = -1;
        connected_.store(false);
    }
}

void NetUnit::Hangup() {
    hangup_.store(true);
    Wake();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (hangup_.load() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void NetUnit::Wake() {
    const uint64_t one = 1;
    if (wake_ >= 0) {
        (void)write(wake_, &one, sizeof one);
    }
}

void NetUnit::SendLocked(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

void NetUnit::Serve() {
    FrameStream stream;
    while (!stop_.load()) {
        int connection;
        {
            std::lock_guard lk(mutex_);
            connection = connection_;
        }
        if (hangup_.load()) {
            DropConnection(-1);
            hangup_.store(false);
            continue;
        }
        pollfd fds[4] = {
            {wake_, POLLIN, 0}, {udp_, POLLIN, 0}, {listener_, POLLIN, 0}, {connection, POLLIN, 0}};
        if (poll(fds, 4, 100) <= 0) {
            continue;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            uint64_t drain = 0;
            (void)read(wake_, &drain, sizeof drain);
        }
        if ((fds[1].revents & POLLIN) != 0) {
            char datagram[512];
            const ssize_t got = recv(udp_, datagram, sizeof datagram, 0);
            if (got == static_cast<ssize_t>(sizeof kDiscoveryRequest - 1) &&
                std::memcmp(datagram, kDiscoveryRequest, sizeof kDiscoveryRequest - 1) == 0) {
                discoveryRequests_.fetch_add(1);
                std::optional<std::string> reply;
                {
                    std::lock_guard lk(mutex_);
                    reply = options_.discoveryReply;
                }
                if (reply) {
                    // Answered to the host's reply port, as a unit does, whatever port the request came from.
                    const sockaddr_in to = Loopback(replyPort_);
                    (void)sendto(udp_, reply->data(), reply->size(), MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
                }
            } else if (got >= 0) {
                otherDatagrams_.fetch_add(1);
            }
        }
        if ((fds[2].revents & POLLIN) != 0) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                DropConnection(-1);
                std::lock_guard lk(mutex_);
                connection_ = fd;
                stream = FrameStream();
                connections_.fetch_add(1);
                connected_.store(true);
            }
            continue;
        }
        if (connection >= 0 && fds[3].revents != 0) {
            uint8_t buf[1024];
            const ssize_t got = recv(connection, buf, sizeof buf, 0);
            if (got <= 0) {
                if (got < 0 && errno == EINTR) {
                    continue;
                }
                DropConnection(connection);
                continue;
            }
            for (const Bytes& request : stream.Feed(buf, static_cast<size_t>(got))) {
                Script script;
                {
                    std::lock_guard lk(mutex_);
                    requests_.push_back(request);
                    script = options_.script;
                }
                if (script) {
                    for (const Bytes& answer : script(request)) {
                        std::lock_guard wl(writeMutex_);
                        SendLocked(connection, Framed(answer));
                    }
                }
            }
        }
    }
}

}  // namespace velmo::testsupport
