#include "ControlServer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sstream>
#include <vector>

#include "RequestLog.h"
#include "Scenario.h"
#include "SmsBoxes.h"
#include "platform/Ports.h"

namespace velmo::sim {

namespace {

constexpr int kClientTimeoutMs = 5000;
constexpr size_t kMaxLine = 4096;

std::vector<std::string_view> Split(std::string_view line) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) {
            ++pos;
        }
        const size_t end = line.find_first_of(" \t", pos);
        if (pos < line.size()) {
            words.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
        }
        pos = end == std::string_view::npos ? line.size() : end;
    }
    return words;
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
    *addr = {};
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path) {
        return false;
    }
    std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

int Connect(const std::string& path) {
    sockaddr_un addr{};
    if (!FillAddress(path, &addr)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

bool SendAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Reads what is there within the time-out; 0 at end of stream, -1 on error or time-out.
ssize_t ReadSome(int fd, char* buffer, size_t n) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kClientTimeoutMs) <= 0) {
        return -1;
    }
    ssize_t got;
    do {
        got = recv(fd, buffer, n, 0);
    } while (got < 0 && errno == EINTR);
    return got;
}

bool ParseReportCode(const std::string& text, uint64_t* code) {
    std::string_view t = text;
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), *code, base);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size() && *code <= 0xFF;
}

}  // namespace

std::string DefaultControlPath() {
    std::string ports = platform::PortsDirectory();
    while (ports.size() > 1 && ports.back() == '/') {
        ports.pop_back();
    }
    const size_t slash = ports.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "" : ports.substr(0, slash);
    return parent + "/sim/control.sock";
}

ControlServer::ControlServer(ModemSimulator& sim, std::string path, std::function<void()> onQuit)
    : sim_(sim), path_(std::move(path)), onQuit_(std::move(onQuit)) {
    if (path_.empty()) {
        path_ = DefaultControlPath();
    }
}

ControlServer::~ControlServer() {
    Stop();
}

bool ControlServer::Start(std::string* error) {
    auto fail = [&](const std::string& what) {
        *error = what + ": " + std::strerror(errno);
        if (listen_ >= 0) {
            close(listen_);
            listen_ = -1;
        }
        return false;
    };
    sockaddr_un addr{};
    if (!FillAddress(path_, &addr)) {
        *error = "control socket path too long: " + path_;
        return false;
    }
    // The folder is private: whoever can connect can make the modem misbehave.
    const size_t slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        const std::string dir = path_.substr(0, slash);
        for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
            const std::string part = dir.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
                return fail("cannot create " + part);
            }
            if (pos == std::string::npos) {
                break;
            }
        }
        if (chmod(dir.c_str(), 0700) != 0) {
            return fail("chmod " + dir);
        }
    }
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        if (const int other = Connect(path_); other >= 0) {
            close(other);
            *error = "another stand-in answers on " + path_;
            return false;
        }
        unlink(path_.c_str());  // stale: its owner is gone
    }
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0) {
        return fail("socket");
    }
    if (bind(listen_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        return fail("bind " + path_);
    }
    if (listen(listen_, 8) != 0) {
        return fail("listen");
    }
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_ < 0) {
        unlink(path_.c_str());
        return fail("eventfd");
    }
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void ControlServer::Stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)write(wake_, &one, sizeof one);
        thread_.join();
    }
    if (listen_ >= 0) {
        close(listen_);
        listen_ = -1;
        unlink(path_.c_str());
    }
    if (wake_ >= 0) {
        close(wake_);
        wake_ = -1;
    }
}

void ControlServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{wake_, POLLIN, 0}, {listen_, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            const int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                ServeClient(client);
                close(client);
            }
        }
    }
}

void ControlServer::ServeClient(int fd) {
    // Clients are served one at a time; a silent one is dropped after the time-out.
    std::string pending;
    char buffer[1024];
    for (;;) {
        const ssize_t got = ReadSome(fd, buffer, sizeof buffer);
        if (got > 0) {
            pending.append(buffer, static_cast<size_t>(got));
        }
        size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            bool quit = false;
            const std::string answer = Execute(std::string_view(pending).substr(0, eol), &quit);
            pending.erase(0, eol + 1);
            if (!SendAll(fd, answer)) {
                return;
            }
            if (quit && onQuit_) {
                onQuit_();
                return;
            }
        }
        if (got <= 0 || pending.size() > kMaxLine) {
            if (got == 0 && !pending.empty()) {
                bool quit = false;
                SendAll(fd, Execute(pending, &quit));  // last line without a newline
                if (quit && onQuit_) {
                    onQuit_();
                }
            }
            return;
        }
    }
}

std::string ControlServer::Execute(std::string_view line, bool* quit) {
    *quit = false;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    const std::vector<std::string_view> w = Split(line);
    if (w.empty()) {
        return "error empty command\n";
    }
    const std::string_view cmd = w[0];
    auto lines = [](const std::vector<std::string>& body) {
        std::string text = "ok\n";
        for (const std::string& l : body) {
            text += l + "\n";
        }
        return text + "end\n";
    };

    if (cmd == "status" && w.size() == 1) {
        return lines(sim_.StatusLines());
    }
    if (cmd == "fault" && w.size() >= 2 && w.size() <= 4) {
        // "fault MODE[:CODE][=ARG]" or "fault MODE [CODE|any] [ARG]"
        std::string text(w[1]);
        if (w.size() >= 3 && w[2] != "any" && w[2] != "-") {
            text.append(":").append(w[2]);
        }
        if (w.size() == 4) {
            text.append("=").append(w[3]);
        }
        const std::optional<Fault> fault = ParseFault(text);
        if (!fault) {
            return "error bad fault '" + text +
                   "' (modes: none no-reply reply-only-to-retry error-status bad-fcs flood slow vanish)\n";
        }
        sim_.SetFault(*fault);
        return "ok " + FormatFault(*fault) + "\n";
    }
    if (cmd == "clear" && w.size() == 1) {
        sim_.SetFault(Fault{});
        return "ok\n";
    }
    if (cmd == "log" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
        sim_.SetLogging(w[1] == "on");
        return "ok\n";
    }
    if (cmd == "requests" && w.size() == 1) {
        std::vector<std::string> body;
        for (const LoggedRequest& r : sim_.Requests()) {
            body.push_back(MaskedRequest(r.packet));
        }
        return lines(body);
    }
    if (cmd == "clear-requests" && w.size() == 1) {
        sim_.ClearRequests();
        return "ok\n";
    }
    if (cmd == "set" && w.size() >= 3) {
        // The value is the rest of the line: texts may hold spaces.
        std::string_view value = line.substr(static_cast<size_t>(w[1].data() - line.data()) + w[1].size());
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
            value.remove_prefix(1);
        }
        std::string error;
        if (!sim_.SetField(w[1], value, &error)) {
            return "error " + error + "\n";
        }
        return "ok\n";
    }
    if (cmd == "get" && w.size() == 2) {
        std::string value;
        if (!GetStateField(sim_.State(), w[1], &value)) {
            return "error unknown field '" + std::string(w[1]) + "'\n";
        }
        return "ok " + value + "\n";
    }
    if (cmd == "scenario" && w.size() == 2) {
        std::string error;
        if (!sim_.SwitchScenario(w[1], &error)) {
            return "error " + error + "\n";
        }
        return "ok " + sim_.State().scenario + "\n";
    }
    if (cmd == "scenarios" && w.size() == 1) {
        return lines(ListScenarios());
    }
    if (cmd == "report" && w.size() >= 2) {
        uint64_t code = 0;
        const std::string codeText(w[1]);
        if (!ParseReportCode(codeText, &code)) {
            return "error report CODE: a number from 0 to 255\n";
        }
        const std::vector<std::string> fields(w.begin() + 2, w.end());
        std::vector<uint8_t> packet;
        std::string error;
        if (!VendorReport(static_cast<uint8_t>(code), fields, sim_.State(), &packet, &error)) {
            return "error " + error + "\n";
        }
        sim_.SendUnsolicited(packet);
        // The head of the report, enough to tell which one went out.
        const size_t shown = std::min<size_t>(packet.size(), 8);
        return "ok " + HexString({packet.data(), shown}) + (packet.size() > shown ? " ..." : "") + "\n";
    }
    if (cmd == "sms" && w.size() >= 4 && w[1] == "deliver") {
        // The text is the rest of the line, as typed.
        const std::string number(w[2]);
        const std::string text(line.substr(static_cast<size_t>(w[3].data() - line.data())));
        std::vector<uint8_t> report;
        std::string error;
        const bool filed = sim_.UpdateState(
            [&](DeviceState& s, std::string* why) { return DeliverSms(s, number, text, &report, why); },
            &error);
        if (!filed) {
            return "error sms deliver: " + error + "\n";
        }
        sim_.SendUnsolicited(report);
        return "ok slot " + std::to_string(report[3]) + "\n";
    }
    if (cmd == "sms") {
        return "error use sms deliver NUMBER TEXT\n";
    }
    if (cmd == "vanish" && w.size() == 1) {
        sim_.Vanish();
        return "ok\n";
    }
    if (cmd == "appear" && w.size() == 1) {
        std::string error;
        if (!sim_.Reappear(&error)) {
            return "error " + error + "\n";
        }
        return "ok " + sim_.PtyPath() + "\n";
    }
    if (cmd == "quit" && w.size() == 1) {
        *quit = true;
        return "ok\n";
    }
    if (extension_) {
        if (std::optional<std::string> answer = extension_(line)) {
            return *answer;
        }
    }
    return "error unknown command '" + std::string(line) +
           "' (status, fault, clear, log, requests, clear-requests, set, get, scenario, scenarios, report, "
           "sms deliver, vanish, "
           "appear, quit)\n";
}

ControlClientResult SendControlLine(const std::string& path, const std::string& line, std::string* answer) {
    answer->clear();
    const int fd = Connect(path);
    if (fd < 0) {
        *answer =
            "cannot connect to " + path + ": " + std::strerror(errno) + " (is velmo-modem-sim running?)";
        return kControlUnreachable;
    }
    if (!SendAll(fd, line + "\n")) {
        *answer = "cannot send to " + path + ": " + std::strerror(errno);
        close(fd);
        return kControlUnreachable;
    }
    shutdown(fd, SHUT_WR);
    char buffer[4096];
    ssize_t got;
    while ((got = ReadSome(fd, buffer, sizeof buffer)) > 0) {
        answer->append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    if (got < 0 && answer->empty()) {
        *answer = "no answer from " + path;
        return kControlUnreachable;
    }
    return answer->rfind("ok", 0) == 0 ? kControlOk : kControlError;
}

}  // namespace velmo::sim
