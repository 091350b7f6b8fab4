#include "EthernetUnit.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/NetworkConfig.h"

namespace velmo::sim {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The unit's own copy of the discovery word: a stand-in that shared the library's constant could not catch a
// mistake in it.
constexpr std::string_view kDiscoveryWord = "GETD2IP";
constexpr size_t kMaxAnswer = 255;
constexpr size_t kRelayBlock = 4096;
constexpr size_t kMaxHttpClients = 16;
constexpr auto kHttpClientTime = 5s;  // to send a whole request head
constexpr auto kHttpLinger = 1s;  // reading what a client still sends after our answer, so it gets no reset
constexpr int kListenBacklog = 4;
constexpr int kHttpBacklog = 16;

constexpr struct {
    EthernetFault fault;
    std::string_view name;
} kFaultNames[] = {
    {EthernetFault::None, "none"},
    {EthernetFault::TcpRefused, "tcp-refused"},
    {EthernetFault::NoDiscovery, "no-discovery"},
};

bool IsLoopback(in_addr a) {
    return (ntohl(a.s_addr) >> 24) == 127;
}

sockaddr_in SocketAddress(in_addr host, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr = host;
    a.sin_port = htons(port);
    return a;
}

std::string PeerText(const sockaddr_in& a) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

// A non-blocking socket bound to host:*port (0: any free port, written back); listening when backlog > 0.
int BoundSocket(int type, in_addr host, uint16_t* port, int backlog, std::string* error) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    if (type == SOCK_STREAM) {
        // Connections of an earlier run waiting out TIME_WAIT must not keep the port.
        const int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    }
    const sockaddr_in a = SocketAddress(host, *port);
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
        (backlog > 0 && listen(fd, backlog) != 0) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
        char where[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &host, where, sizeof where);
        *error = std::string(type == SOCK_STREAM ? "tcp " : "udp ") + where + ":" + std::to_string(*port) +
                 ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    *port = ntohs(bound.sin_port);
    return fd;
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < line.size()) {
        pos = line.find_first_not_of(" \t", pos);
        if (pos == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(line.find_first_of(" \t", pos), line.size());
        words.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

}  // namespace

std::string_view EthernetFaultName(EthernetFault fault) {
    for (const auto& f : kFaultNames) {
        if (f.fault == fault) {
            return f.name;
        }
    }
    return "?";
}

std::optional<EthernetFault> ParseEthernetFault(std::string_view name) {
    for (const auto& f : kFaultNames) {
        if (f.name == name) {
            return f.fault;
        }
    }
    return std::nullopt;
}

EthernetUnit::EthernetUnit(ModemSimulator& sim, Options options) : sim_(sim), options_(std::move(options)) {
    fault_.store(options_.fault);
}

EthernetUnit::~EthernetUnit() {
    Stop();
}

bool EthernetUnit::Start(std::string* error) {
    if (loop_.joinable() || udp_ >= 0) {
        *error = "the Ethernet unit is already running";
        return false;
    }
    if (inet_pton(AF_INET, options_.address.c_str(), &bindAddress_) != 1) {
        *error = "not an IPv4 address: " + options_.address;
        return false;
    }
    if (options_.answer.empty() && bindAddress_.s_addr == htonl(INADDR_ANY)) {
        *error = "0.0.0.0 is no address to answer the discovery with: give the unit's own address";
        return false;
    }
    const platform::NetworkConfig config = platform::CurrentNetworkConfig();
    discoveryPort_ = options_.discoveryPort.value_or(config.discoveryPort);
    replyPort_ = options_.replyPort.value_or(config.replyPort);
    dataPort_ = options_.dataPort.value_or(config.dataPort);
    if (replyPort_ == 0) {
        *error = "the discovery reply port must be given";
        return false;
    }
    auto fail = [&] {
        CloseFd(udp_);
        CloseFd(listen_);
        CloseFd(http_);
        CloseFd(wake_);
        return false;
    };
    udp_ = BoundSocket(SOCK_DGRAM, bindAddress_, &discoveryPort_, 0, error);
    if (udp_ < 0 || !OpenListener(error)) {
        return fail();
    }
    if (options_.httpPort) {
        httpPort_ = *options_.httpPort;
        http_ = BoundSocket(SOCK_STREAM, bindAddress_, &httpPort_, kHttpBacklog, error);
        if (http_ < 0) {
            return fail();
        }
    }
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        *error = std::string("eventfd: ") + std::strerror(errno);
        return fail();
    }
    if (fault_.load() == EthernetFault::TcpRefused) {
        CloseFd(listen_);  // the port number stays ours to bind again when the fault is cleared
    }
    {
        std::lock_guard lk(infoMutex_);
        answer_ = (options_.answer.empty() ? options_.address : options_.answer).substr(0, kMaxAnswer);
        settings_.address = options_.address;
        settings_.dataPort = dataPort_;
    }
    stop_.store(false);
    {
        std::lock_guard lk(taskMutex_);
        loopRunning_ = true;
    }
    loop_ = std::thread([this] { Loop(); });
    return true;
}

void EthernetUnit::Stop() {
    if (loop_.joinable()) {
        stop_.store(true);
        Wake();
        loop_.join();
    }
    EndSession();
    for (HttpClient& c : clients_) {
        CloseFd(c.fd);
    }
    clients_.clear();
    CloseFd(udp_);
    CloseFd(listen_);
    CloseFd(http_);
    CloseFd(wake_);
}

bool EthernetUnit::OpenListener(std::string* error) {
    uint16_t port = dataPort_;
    listen_ = BoundSocket(SOCK_STREAM, bindAddress_, &port, kListenBacklog, error);
    if (listen_ >= 0 && dataPort_ == 0) {
        dataPort_ = port;  // chosen at the first start; later listeners take the same number
    }
    return listen_ >= 0;
}

void EthernetUnit::Wake() {
    if (wake_ >= 0) {
        const uint64_t one = 1;
        (void)write(wake_, &one, sizeof one);
    }
}

void EthernetUnit::RunOnLoop(std::function<void()> fn) {
    std::unique_lock lk(taskMutex_);
    if (!loopRunning_ || std::this_thread::get_id() == loop_.get_id()) {
        lk.unlock();
        fn();
        return;
    }
    tasks_.push_back(std::move(fn));
    const uint64_t ticket = ++tasksPosted_;
    Wake();
    taskDone_.wait(lk, [&] { return tasksRun_ >= ticket; });
}

void EthernetUnit::RunTasks() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lk(taskMutex_);
        tasks.swap(tasks_);
    }
    if (tasks.empty()) {
        return;
    }
    for (auto& task : tasks) {
        task();
    }
    {
        std::lock_guard lk(taskMutex_);
        tasksRun_ += tasks.size();
    }
    taskDone_.notify_all();
}

void EthernetUnit::SetFault(EthernetFault fault) {
    RunOnLoop([this, fault] { ApplyFault(fault); });
}

void EthernetUnit::ApplyFault(EthernetFault fault) {
    fault_.store(fault);
    if (udp_ < 0) {
        return;  // not started: Start applies it
    }
    if (fault == EthernetFault::TcpRefused) {
        // Nobody listening: the system refuses the connection, as a unit whose bridge is down does.
        CloseFd(listen_);
    } else if (listen_ < 0) {
        std::string error;
        if (!OpenListener(&error)) {
            std::fprintf(stderr, "velmo-modem-sim: cannot listen again on the data port: %s\n",
                         error.c_str());
        }
    }
}

void EthernetUnit::SetAnswer(std::string_view text) {
    std::lock_guard lk(infoMutex_);
    answer_ = text.substr(0, kMaxAnswer);
}

void EthernetUnit::DropConnection() {
    RunOnLoop([this] { EndSession(); });
}

EthernetUnit::Counters EthernetUnit::Stats() const {
    Counters c;
    c.discoveryRequests = discoveryRequests_.load();
    c.discoveryAnswers = discoveryAnswers_.load();
    c.sessions = sessions_.load();
    c.refused = refused_.load();
    c.httpRequests = httpRequests_.load();
    return c;
}

std::vector<std::string> EthernetUnit::StatusLines() const {
    std::string answer;
    std::string peer;
    std::string refusal;
    {
        std::lock_guard lk(infoMutex_);
        answer = answer_;
        peer = peer_;
        refusal = lastRefusal_;
    }
    const Counters c = Stats();
    return {
        "address = " + options_.address,
        "answer = " + answer,
        "discovery_port = " + std::to_string(discoveryPort_),
        "reply_port = " + std::to_string(replyPort_),
        "data_port = " + std::to_string(dataPort_),
        "http_port = " + (options_.httpPort ? std::to_string(httpPort_) : std::string("none")),
        "fault = " + std::string(EthernetFaultName(fault_.load())),
        "session = " + (peer.empty() ? std::string("none") : peer),
        "discovery_requests = " + std::to_string(c.discoveryRequests),
        "discovery_answers = " + std::to_string(c.discoveryAnswers),
        "sessions = " + std::to_string(c.sessions),
        "refused = " + std::to_string(c.refused),
        "http_requests = " + std::to_string(c.httpRequests),
        "last_refusal = " + (refusal.empty() ? std::string("none") : refusal),
    };
}

std::optional<std::string> EthernetUnit::Control(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    const std::vector<std::string_view> w = Words(line);
    if (w.empty() || w[0] != "ethernet") {
        return std::nullopt;
    }
    if (w.size() == 2 && w[1] == "status") {
        std::string text = "ok\n";
        for (const std::string& l : StatusLines()) {
            text += l + "\n";
        }
        return text + "end\n";
    }
    if (w.size() == 3 && w[1] == "fault") {
        const std::optional<EthernetFault> fault = ParseEthernetFault(w[2]);
        if (!fault) {
            return "error bad ethernet fault '" + std::string(w[2]) + "' (none, tcp-refused, no-discovery)\n";
        }
        SetFault(*fault);
        return "ok " + std::string(EthernetFaultName(*fault)) + "\n";
    }
    if (w.size() == 2 && w[1] == "clear") {
        SetFault(EthernetFault::None);
        return "ok\n";
    }
    if (w.size() == 2 && w[1] == "drop") {
        const bool had = SessionActive();
        DropConnection();
        return had ? "ok\n" : "ok no connection\n";
    }
    if (w.size() >= 3 && w[1] == "answer") {
        // The rest of the line, as it is: scripts use it to send answers that are not addresses.
        const size_t from = static_cast<size_t>(w[2].data() - line.data());
        SetAnswer(line.substr(from));
        return "ok\n";
    }
    return "error unknown ethernet command '" + std::string(line) +
           "' (ethernet status, fault none|tcp-refused|no-discovery, clear, drop, answer TEXT)\n";
}

void EthernetUnit::Loop() {
    std::vector<pollfd> fds;
    while (!stop_.load()) {
        RunTasks();
        const auto now = Clock::now();
        for (HttpClient& c : clients_) {
            if (now >= c.deadline) {
                CloseFd(c.fd);
            }
        }
        std::erase_if(clients_, [](const HttpClient& c) { return c.fd < 0; });

        const bool inSession = session_.tcp >= 0;
        const bool toPty = session_.toPtyDone < session_.toPty.size();
        const bool toTcp = session_.toTcpDone < session_.toTcp.size();
        fds.clear();
        fds.push_back({wake_, POLLIN, 0});
        fds.push_back({udp_, POLLIN, 0});
        fds.push_back({listen_, POLLIN, 0});  // poll skips -1
        fds.push_back({http_, POLLIN, 0});
        // Each direction reads only when its buffer is empty, so a slow side slows the other down.
        fds.push_back({inSession ? session_.tcp : -1,
                       static_cast<short>((toPty ? 0 : POLLIN) | (toTcp ? POLLOUT : 0)), 0});
        fds.push_back({inSession ? session_.pty : -1,
                       static_cast<short>((toTcp ? 0 : POLLIN) | (toPty ? POLLOUT : 0)), 0});
        constexpr size_t kFirstClient = 6;
        auto timeout = std::chrono::milliseconds(-1);
        for (const HttpClient& c : clients_) {
            const bool sending = c.responded && !c.draining;
            fds.push_back({c.fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0});
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(c.deadline - now) + 1ms;
            if (timeout.count() < 0 || left < timeout) {
                timeout = std::max(left, std::chrono::milliseconds(0));
            }
        }
        if (poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "velmo-modem-sim: ethernet poll: %s\n", std::strerror(errno));
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            uint64_t count = 0;
            (void)read(wake_, &count, sizeof count);
        }
        if ((fds[1].revents & POLLIN) != 0) {
            OnDiscovery();
        }
        // The session first: a host that reconnects must find its old session already ended.
        if (inSession && (fds[4].revents | fds[5].revents) != 0) {
            RelaySession(fds[4].revents, fds[5].revents);
        }
        if (fds[2].fd >= 0 && (fds[2].revents & POLLIN) != 0 && listen_ >= 0) {
            OnConnection();
        }
        for (size_t i = 0; i < clients_.size() && kFirstClient + i < fds.size(); ++i) {
            if (fds[kFirstClient + i].revents != 0) {
                ServeHttp(clients_[i], fds[kFirstClient + i].revents);
            }
        }
        if ((fds[3].revents & POLLIN) != 0) {
            OnHttpConnection();
        }
    }
    // Tasks posted from now on run on their caller's thread.
    std::vector<std::function<void()>> left;
    {
        std::lock_guard lk(taskMutex_);
        loopRunning_ = false;
        left.swap(tasks_);
    }
    for (auto& task : left) {
        task();
    }
    {
        std::lock_guard lk(taskMutex_);
        tasksRun_ += left.size();
    }
    taskDone_.notify_all();
}

void EthernetUnit::OnDiscovery() {
    for (;;) {
        std::array<char, 512> buffer{};
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t got =
            recvfrom(udp_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // drained
        }
        if (std::string_view(buffer.data(), static_cast<size_t>(got)) != kDiscoveryWord ||
            from.sin_family != AF_INET) {
            continue;
        }
        discoveryRequests_.fetch_add(1);
        if (fault_.load() == EthernetFault::NoDiscovery) {
            continue;
        }
        // A unit on loopback answers only this host, whatever reaches it.
        if (IsLoopback(bindAddress_) && !IsLoopback(from.sin_addr)) {
            continue;
        }
        std::string answer;
        {
            std::lock_guard lk(infoMutex_);
            answer = answer_;
        }
        // To the sender's address at the reply port, not the sender's own port: that is where hosts listen.
        const sockaddr_in to = SocketAddress(from.sin_addr, replyPort_);
        // Counted first: whoever got the answer finds it counted.
        discoveryAnswers_.fetch_add(1);
        const ssize_t sent = sendto(udp_, answer.data(), answer.size(), MSG_NOSIGNAL,
                                    reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent != static_cast<ssize_t>(answer.size())) {
            discoveryAnswers_.fetch_sub(1);
        }
    }
}

void EthernetUnit::OnConnection() {
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const int fd =
            accept4(listen_, reinterpret_cast<sockaddr*>(&from), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        const std::string peer = PeerText(from);
        if (session_.tcp >= 0) {
            // A host that closed and reconnected at once: its old connection may not have been read to the
            // end.
            pollfd p{session_.tcp, POLLRDHUP, 0};
            if (poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
                EndSession();
            }
        }
        std::string why;
        if (session_.tcp >= 0) {
            why = "busy: another host is connected";
        } else if (StartSession(fd, &why)) {
            sessions_.fetch_add(1);
            std::lock_guard lk(infoMutex_);
            peer_ = peer;
            continue;
        }
        // One host at a time, as the serial line behind the bridge allows: the others are closed at once.
        refused_.fetch_add(1);
        {
            std::lock_guard lk(infoMutex_);
            lastRefusal_ = peer;
            lastRefusal_.append(": ").append(why);
        }
        close(fd);
    }
}

bool EthernetUnit::StartSession(int tcp, std::string* why) {
    const std::string link = sim_.LinkPath();
    if (link.empty()) {
        *why = "the modem has no port";
        return false;
    }
    const int pty = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty < 0) {
        *why = "cannot open " + link + ": " + std::strerror(errno);
        return false;
    }
    // The same lock the library takes: the modem serves the serial port or the network, never both.
    if (flock(pty, LOCK_EX | LOCK_NB) != 0) {
        *why = link + " is in use";
        close(pty);
        return false;
    }
    termios tio{};
    if (tcgetattr(pty, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(pty, TCSANOW, &tio);
    }
    tcflush(pty, TCIOFLUSH);  // the modem takes this as a new session and starts with a flag
    const int one = 1;
    setsockopt(tcp, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // frames are small and answered one by one
    session_ = Session{};
    session_.tcp = tcp;
    session_.pty = pty;
    sessionActive_.store(true);
    return true;
}

// Writes what is left of one direction's block until it is gone or the far end would block. False when the
// far end failed: the session is over.
template <class Put>
bool EthernetUnit::FlushRelay(const std::vector<uint8_t>& buffer, size_t& done, Put put) {
    while (done < buffer.size()) {
        const ssize_t n = put(buffer.data() + done, buffer.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return true;
        } else {
            return false;
        }
    }
    return true;
}

void EthernetUnit::RelaySession(short tcpEvents, short ptyEvents) {
    std::array<uint8_t, kRelayBlock> block{};
    auto pending = [](const std::vector<uint8_t>& buffer, size_t done) { return done < buffer.size(); };
    auto hardError = [](ssize_t n) { return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR); };

    if ((tcpEvents & POLLERR) != 0 ||
        ((tcpEvents & POLLHUP) != 0 && pending(session_.toPty, session_.toPtyDone))) {
        EndSession();
        return;
    }
    if ((tcpEvents & (POLLIN | POLLHUP)) != 0 && !pending(session_.toPty, session_.toPtyDone)) {
        const ssize_t n = recv(session_.tcp, block.data(), block.size(), 0);
        if (n > 0) {
            session_.toPty.assign(block.begin(), block.begin() + n);
            session_.toPtyDone = 0;
        } else if (hardError(n)) {
            EndSession();  // the host closed the connection
            return;
        }
    }
    if ((ptyEvents & POLLIN) != 0 && !pending(session_.toTcp, session_.toTcpDone)) {
        const ssize_t n = read(session_.pty, block.data(), block.size());
        if (n > 0) {
            session_.toTcp.assign(block.begin(), block.begin() + n);
            session_.toTcpDone = 0;
        } else if (hardError(n)) {
            EndSession();  // the modem went away
            return;
        }
    } else if ((ptyEvents & (POLLHUP | POLLERR)) != 0) {
        EndSession();
        return;
    }
    const int pty = session_.pty;
    const int tcp = session_.tcp;
    if (!FlushRelay(session_.toPty, session_.toPtyDone,
                    [pty](const uint8_t* data, size_t size) { return write(pty, data, size); }) ||
        !FlushRelay(session_.toTcp, session_.toTcpDone, [tcp](const uint8_t* data, size_t size) {
            return send(tcp, data, size, MSG_NOSIGNAL);
        })) {
        EndSession();
    }
}

void EthernetUnit::EndSession() {
    if (session_.pty >= 0) {
        tcflush(session_.pty, TCIOFLUSH);  // as the library does when it closes the port: the session is over
        close(session_.pty);
    }
    if (session_.tcp >= 0) {
        close(session_.tcp);
    }
    session_ = Session{};
    sessionActive_.store(false);
    std::lock_guard lk(infoMutex_);
    peer_.clear();
}

void EthernetUnit::OnHttpConnection() {
    for (;;) {
        const int fd = accept4(http_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;
        }
        if (clients_.size() >= kMaxHttpClients) {
            close(fd);
            continue;
        }
        HttpClient c;
        c.fd = fd;
        c.deadline = Clock::now() + kHttpClientTime;
        clients_.push_back(std::move(c));
    }
}

void EthernetUnit::ServeHttp(HttpClient& client, short events) {
    if (client.draining) {
        std::array<char, 1024> discard{};
        const ssize_t n = recv(client.fd, discard.data(), discard.size(), 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
            CloseFd(client.fd);
        }
        return;
    }
    if (!client.responded && (events & (POLLIN | POLLHUP | POLLERR)) != 0) {
        std::array<char, 4096> buffer{};
        const ssize_t n = recv(client.fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        if (n < 0 || (n == 0 && client.in.empty())) {
            CloseFd(client.fd);
            return;
        }
        client.in.append(buffer.data(), static_cast<size_t>(n));
        HttpRequest request;
        switch (ParseRequestHead(client.in, &request)) {
            case HeadResult::Incomplete:
                if (n == 0) {
                    Respond(client, ErrorResponse(400), false);  // the host stopped sending mid-request
                }
                return;
            case HeadResult::Malformed:
                Respond(client, ErrorResponse(400), false);
                return;
            case HeadResult::TooLarge:
                Respond(client, ErrorResponse(431), false);
                return;
            case HeadResult::Complete: {
                const HttpResult result = HandleRequest(request, View());
                if (result.saved) {
                    std::lock_guard lk(infoMutex_);
                    settings_ = *result.saved;
                }
                Respond(client, result.response, request.method == "HEAD");
                return;
            }
        }
    }
    if (client.responded && (events & (POLLOUT | POLLHUP | POLLERR)) != 0) {
        Respond(client, {}, false);  // go on sending
    }
}

void EthernetUnit::Respond(HttpClient& client, const HttpResponse& response, bool headOnly) {
    if (!client.responded) {
        client.out = SerializeResponse(response, headOnly);
        client.sent = 0;
        client.responded = true;
        httpRequests_.fetch_add(1);
    }
    while (client.sent < client.out.size()) {
        const ssize_t n =
            send(client.fd, client.out.data() + client.sent, client.out.size() - client.sent, MSG_NOSIGNAL);
        if (n > 0) {
            client.sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            return;
        } else {
            CloseFd(client.fd);
            return;
        }
    }
    // Everything said: half-close and read what the client still sends, so closing does not reset the
    // connection before it has read the answer.
    shutdown(client.fd, SHUT_WR);
    client.draining = true;
    client.deadline = Clock::now() + kHttpLinger;
}

UnitView EthernetUnit::View() const {
    UnitView v;
    v.state = sim_.State();
    v.address = options_.address;
    v.discoveryPort = discoveryPort_;
    v.dataPort = dataPort_;
    v.httpPort = httpPort_;
    v.fault = EthernetFaultName(fault_.load());
    std::lock_guard lk(infoMutex_);
    v.session = peer_;
    v.settings = settings_;
    return v;
}

}  // namespace velmo::sim
