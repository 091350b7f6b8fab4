// A request round trip through the library's Ethernet link to a unit on loopback, beside a bare TCP echo of
// the same bytes in the same run, so that the link's own cost shows against the socket's. The unit is a small
// in-process stand-in: a UDP responder for the discovery and a TCP server that answers the handshake and the
// status request. Each iteration is timed by hand; p50 and p99 are reported as counters (microseconds).
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "library/service/ModemService.h"
#include "library/transport/FrameCodec.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr size_t kStatusReplySize = 48;
constexpr size_t kVersionReplySize = 55;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// A socket of the type bound to an ephemeral loopback port.
int BindEphemeral(int type, uint16_t& port) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

Bytes Frame(const Bytes& packet) {
    auto tx = std::make_unique<velmo::transport::TxFrame>();
    const size_t n = velmo::transport::EncodePacket(packet.data(), packet.size(), *tx);
    Bytes out(n + 1);
    out[0] = velmo::transport::kFlagByte;
    std::copy(tx->bytes.begin(), tx->bytes.begin() + static_cast<long>(n), out.begin() + 1);
    return out;
}

void SendAll(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) {
            return;
        }
        done += static_cast<size_t>(sent);
    }
}

// The unit: discovery answers and a framed-protocol server, each on its own thread; stops when destroyed.
class BenchUnit final : private velmo::transport::IFrameHandler {
  public:
    BenchUnit() {
        udp_ = BindEphemeral(SOCK_DGRAM, discoveryPort_);
        listener_ = BindEphemeral(SOCK_STREAM, dataPort_);
        uint16_t reply = 0;
        const int probe = BindEphemeral(SOCK_DGRAM, reply);
        if (probe >= 0) {
            close(probe);
        }
        replyPort_ = reply;
        if (listener_ >= 0) {
            listen(listener_, 2);
        }
        setenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1", 1);
        setenv("VELMO_DISCOVERY_PORT", std::to_string(discoveryPort_).c_str(), 1);
        setenv("VELMO_DISCOVERY_REPLY_PORT", std::to_string(replyPort_).c_str(), 1);
        setenv("VELMO_DATA_PORT", std::to_string(dataPort_).c_str(), 1);
        thread_ = std::thread([this] { Serve(); });
    }
    ~BenchUnit() {
        stop_.store(true);
        thread_.join();
        for (int fd : {udp_, listener_, connection_}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    bool Ok() const { return udp_ >= 0 && listener_ >= 0 && replyPort_ != 0; }

  private:
    void Serve() {
        auto rx = std::make_unique<velmo::transport::RxFrame>();
        while (!stop_.load()) {
            pollfd fds[3] = {{udp_, POLLIN, 0}, {listener_, POLLIN, 0}, {connection_, POLLIN, 0}};
            if (poll(fds, 3, 50) <= 0) {
                continue;
            }
            if ((fds[0].revents & POLLIN) != 0) {
                char request[64];
                if (recv(udp_, request, sizeof request, 0) == 7 && std::memcmp(request, "GETD2IP", 7) == 0) {
                    const sockaddr_in to = Loopback(replyPort_);
                    sendto(udp_, "127.0.0.1", 9, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
                }
            }
            if ((fds[1].revents & POLLIN) != 0) {
                if (connection_ >= 0) {
                    close(connection_);
                }
                connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                const int one = 1;
                setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                rx->Reset();
                rx->state = velmo::transport::RxState::Hunt;
                const uint8_t flag = velmo::transport::kFlagByte;
                rx->ProcessReceived(&flag, 1, *this);
                continue;
            }
            if (connection_ >= 0 && fds[2].revents != 0) {
                uint8_t buf[2048];
                const ssize_t got = recv(connection_, buf, sizeof buf, 0);
                if (got <= 0) {
                    close(connection_);
                    connection_ = -1;
                    continue;
                }
                rx->ProcessReceived(buf, got, *this);
            }
        }
    }
    // One request from the library: the answers a modem gives.
    void OnFrame(const uint8_t* frame, size_t count) override {
        if (count < 3) {
            return;
        }
        Bytes reply;
        switch (frame[0]) {
            case 0x00:
                reply.assign(kVersionReplySize, 0);
                break;
            case 0x5D:
                reply.assign(frame, frame + count - 2);
                break;
            case 0x0C:
                reply.assign(kStatusReplySize, 0x21);
                reply[0] = 0x0C;
                break;
            default:
                return;
        }
        SendAll(connection_, Frame(reply));
    }

    int udp_ = -1;
    int listener_ = -1;
    int connection_ = -1;
    uint16_t discoveryPort_ = 0;
    uint16_t replyPort_ = 0;
    uint16_t dataPort_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A bare echo server on loopback TCP: every byte it gets goes straight back.
class EchoServer {
  public:
    EchoServer() {
        listener_ = BindEphemeral(SOCK_STREAM, port_);
        if (listener_ >= 0) {
            listen(listener_, 1);
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~EchoServer() {
        stop_.store(true);
        thread_.join();
        for (int fd : {listener_, connection_}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    uint16_t Port() const { return port_; }

  private:
    void Serve() {
        while (!stop_.load()) {
            pollfd fds[2] = {{listener_, POLLIN, 0}, {connection_, POLLIN, 0}};
            if (poll(fds, 2, 50) <= 0) {
                continue;
            }
            if ((fds[0].revents & POLLIN) != 0) {
                connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                const int one = 1;
                setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                continue;
            }
            if (connection_ >= 0 && fds[1].revents != 0) {
                uint8_t buf[2048];
                const ssize_t got = recv(connection_, buf, sizeof buf, 0);
                if (got <= 0) {
                    close(connection_);
                    connection_ = -1;
                    continue;
                }
                SendAll(connection_, Bytes(buf, buf + got));
            }
        }
    }

    int listener_ = -1;
    int connection_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

void ReportPercentiles(benchmark::State& state, std::vector<double>& samples) {
    if (samples.empty()) {
        return;
    }
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return samples[static_cast<size_t>(q * static_cast<double>(samples.size() - 1))];
    };
    state.counters["p50_us"] = at(0.50) * 1e6;
    state.counters["p99_us"] = at(0.99) * 1e6;
}

// QueryStatus kind 3 over the Ethernet link: request out, the network reader hands the reply over, the
// network-mode wait picks it up.
void BM_NetworkStatusRoundTrip(benchmark::State& state) {
    BenchUnit unit;
    if (!unit.Ok()) {
        state.SkipWithError("no loopback sockets");
        return;
    }
    velmo::service::ModemService service;
    if (service.OpenNetworkLink(0) != 1) {
        state.SkipWithError("the link did not open");
        return;
    }
    std::vector<double> samples;
    velmo::ModemStatusRecord record{};
    for (auto _ : state) {
        const auto start = Clock::now();
        const int32_t result = service.QueryStatus(&record, 3);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (result != 0) {
            state.SkipWithError("no reply");
            break;
        }
        state.SetIterationTime(seconds);
        samples.push_back(seconds);
    }
    ReportPercentiles(state, samples);
    service.ClosePort();
}
BENCHMARK(BM_NetworkStatusRoundTrip)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// The same request frame out and the same number of bytes back over a bare loopback TCP connection.
void BM_RawTcpEchoRoundTrip(benchmark::State& state) {
    EchoServer server;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = Loopback(server.Port());
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        state.SkipWithError("no loopback connection");
        if (fd >= 0) {
            close(fd);
        }
        return;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Bytes status(kStatusReplySize, 0x21);
    status[0] = 0x0C;
    const Bytes frame = Frame(status);
    Bytes back(frame.size());
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        SendAll(fd, frame);
        size_t got = 0;
        while (got < back.size()) {
            const ssize_t n = recv(fd, back.data() + got, back.size() - got, 0);
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (got != back.size()) {
            state.SkipWithError("echo broke off");
            break;
        }
        state.SetIterationTime(seconds);
        samples.push_back(seconds);
    }
    ReportPercentiles(state, samples);
    close(fd);
}
BENCHMARK(BM_RawTcpEchoRoundTrip)->UseManualTime()->Iterations(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
