#include "AtPort.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/Ports.h"

namespace velmo::sim {

namespace {

using namespace std::chrono_literals;

// Silence after "+++" before the modem takes it as the escape (real modems want about a second).
constexpr auto kEscapeGuard = 200ms;
// While nobody has the tty open the master reports a hang-up on every poll: look again this often.
constexpr auto kIdleRecheck = 20ms;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

DialOutcome OutcomeForNumber(std::string_view number) {
    constexpr std::pair<const char*, DialOutcome> kRules[] = {
        {"111", DialOutcome::NoCarrier}, {"222", DialOutcome::Busy},       {"333", DialOutcome::NoAnswer},
        {"444", DialOutcome::Silence},   {"555", DialOutcome::NoDialtone}, {"666", DialOutcome::Error},
    };
    for (const auto& [tail, outcome] : kRules) {
        if (EndsWith(number, tail)) {
            return outcome;
        }
    }
    return DialOutcome::Connect;
}

AtPort::~AtPort() {
    Stop();
}

bool AtPort::Start(const std::string& deviceName, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error != nullptr) {
            *error = what + ": " + std::strerror(errno);
        }
        Stop();
        return false;
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        return fail("cannot open a pty");
    }
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        return fail("cannot name the pty");
    }
    slave_ = name;
    // Raw from the start: the line discipline must neither echo nor translate what the modem says.
    if (const int fd = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); fd >= 0) {
        termios tio{};
        if (tcgetattr(fd, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(fd, TCSANOW, &tio);
        }
        close(fd);
    }
    stop_ = eventfd(0, EFD_CLOEXEC);
    if (stop_ < 0) {
        return fail("cannot create an eventfd");
    }
    number_ = platform::PublishModem(slave_, deviceName);
    if (number_ == 0) {
        return fail("cannot publish the modem in " + platform::PortsDirectory());
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void AtPort::Stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(stop_, &one, sizeof one);
        thread_.join();
    }
    if (number_ != 0) {
        platform::UnpublishModem(number_);
        number_ = 0;
    }
    for (int* fd : {&master_, &stop_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void AtPort::SetDialOutcome(std::optional<DialOutcome> outcome) {
    std::lock_guard lock(mutex_);
    forced_ = outcome;
}

std::vector<std::string> AtPort::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

void AtPort::Send(std::string_view text) {
    // A full tty buffer means nobody reads: what does not fit is lost, as on a real line.
    [[maybe_unused]] const ssize_t n = write(master_, text.data(), text.size());
}

void AtPort::EndCall() {
    if (inCall_.exchange(false)) {
        callsEnded_.fetch_add(1);
    }
    dataMode_ = false;
    escapeAt_.reset();
    pluses_ = 0;
}

void AtPort::Run() {
    for (;;) {
        int timeout = -1;
        if (escapeAt_) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *escapeAt_ - std::chrono::steady_clock::now());
            timeout = static_cast<int>(std::max<int64_t>(left.count(), 0));
        }
        pollfd fds[2] = {{stop_, POLLIN, 0}, {master_, POLLIN, 0}};
        const int n = poll(fds, 2, timeout);
        if (n < 0 && errno != EINTR) {
            return;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return;
        }
        if (n == 0 && escapeAt_) {
            // "+++" and then silence: back to command mode, the call stays up.
            escapeAt_.reset();
            pluses_ = 0;
            dataMode_ = false;
            Send("\r\nOK\r\n");
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            char buf[256];
            const ssize_t got = read(master_, buf, sizeof buf);
            for (ssize_t i = 0; i < got; ++i) {
                OnByte(buf[i]);
            }
            if (got > 0) {
                continue;
            }
        }
        if ((fds[1].revents & (POLLHUP | POLLERR)) != 0) {
            // The tty was closed: carrier lost, and the modem falls back to its defaults.
            EndCall();
            echo_ = true;
            line_.clear();
            pollfd stop{stop_, POLLIN, 0};
            poll(&stop, 1, static_cast<int>(kIdleRecheck.count()));
        }
    }
}

void AtPort::OnByte(char c) {
    if (dataMode_) {
        // Data mode: PPP frames go nowhere; only the escape sequence matters.
        pluses_ = c == '+' ? pluses_ + 1 : 0;
        if (pluses_ == 3) {
            escapeAt_ = std::chrono::steady_clock::now() + kEscapeGuard;
        } else {
            escapeAt_.reset();
        }
        return;
    }
    if (echo_) {
        Send(std::string_view(&c, 1));
    }
    if (c == '\r') {
        std::string line;
        line.swap(line_);
        if (!line.empty()) {
            OnCommand(line);
        }
    } else if (c != '\n' && line_.size() < 256) {
        line_ += c;
    }
}

void AtPort::OnCommand(const std::string& raw) {
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(raw);
    }
    std::string cmd;
    for (char c : raw) {
        if (c != ' ') {
            cmd += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (cmd.rfind("AT", 0) != 0) {
        return;  // modems ignore lines that are not commands
    }
    const std::string body = cmd.substr(2);
    if (body.rfind("D", 0) == 0) {
        std::string number = body.substr(1);
        if (!number.empty() && (number[0] == 'T' || number[0] == 'P')) {
            number.erase(0, 1);
        }
        std::optional<DialOutcome> forced;
        {
            std::lock_guard lock(mutex_);
            forced = forced_;
        }
        switch (forced.value_or(OutcomeForNumber(number))) {
            case DialOutcome::Connect:
                // In the call before saying so: whoever reads CONNECT may look at once.
                inCall_.store(true);
                dataMode_ = true;
                pluses_ = 0;
                Send("\r\nCONNECT 115200\r\n");
                return;
            case DialOutcome::NoCarrier:
                Send("\r\nNO CARRIER\r\n");
                return;
            case DialOutcome::Busy:
                Send("\r\nBUSY\r\n");
                return;
            case DialOutcome::NoAnswer:
                Send("\r\nNO ANSWER\r\n");
                return;
            case DialOutcome::NoDialtone:
                Send("\r\nNO DIALTONE\r\n");
                return;
            case DialOutcome::Error:
                Send("\r\nERROR\r\n");
                return;
            case DialOutcome::Silence:
                return;
        }
    }
    if (body == "H" || body == "H0") {
        EndCall();
    } else if (body == "O" && inCall_.load()) {
        dataMode_ = true;
        Send("\r\nCONNECT 115200\r\n");
        return;
    } else if (body == "Z" || body == "&F" || body == "E" || body == "E1") {
        echo_ = true;
    } else if (body == "E0") {
        echo_ = false;
    }
    Send("\r\nOK\r\n");
}

}  // namespace velmo::sim
