#include "PtyModem.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace velmo::testsupport {

namespace {

constexpr int kPollMs = 20;
constexpr int kWriteLimitMs = 1000;
constexpr size_t kVersionReplySize = 55;

}  // namespace

std::vector<Bytes> HandshakeAnswers(const Bytes& request) {
    switch (request[0]) {
        case 0x00:
            return {Packet({0x00}, kVersionReplySize)};
        case 0x5D:
            return {request};
        default:
            return {};
    }
}

PtyModem::PtyModem(Script script) : script_(std::move(script)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
        char name[128] = {};
        if (ptsname_r(master_, name, sizeof name) == 0) {
            slave_ = name;
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    thread_ = std::thread([this] { Serve(); });
}

PtyModem::~PtyModem() {
    stop_.store(true);
    thread_.join();
    if (master_ >= 0) {
        close(master_);
    }
}

void PtyModem::SetScript(Script script) {
    std::lock_guard lk(scriptMutex_);
    script_ = std::move(script);
}

std::vector<Bytes> PtyModem::Requests() {
    std::lock_guard lk(requestsMutex_);
    return requests_;
}

void PtyModem::ClearRequests() {
    std::lock_guard lk(requestsMutex_);
    requests_.clear();
}

bool PtyModem::WaitForRequests(size_t n, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        {
            std::lock_guard lk(requestsMutex_);
            if (requests_.size() >= n) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PtyModem::Send(const Bytes& packet) {
    Write(Framed(packet));
}

void PtyModem::Write(const Bytes& bytes) {
    std::lock_guard lk(writeMutex_);
    size_t done = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteLimitMs);
    while (master_ >= 0 && done < bytes.size() && std::chrono::steady_clock::now() < end) {
        const ssize_t wrote = write(master_, bytes.data() + done, bytes.size() - done);
        if (wrote > 0) {
            done += static_cast<size_t>(wrote);
        } else if (wrote < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd pfd{master_, POLLOUT, 0};
            (void)poll(&pfd, 1, kPollMs);
        } else {
            return;
        }
    }
}

void PtyModem::Serve() {
    FrameStream stream;
    while (!stop_.load() && master_ >= 0) {
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, kPollMs) <= 0 || (pfd.revents & POLLIN) == 0) {
            if ((pfd.revents & (POLLHUP | POLLERR)) != 0) {
                // No slave open (yet, or any more): a pty master reports a hang-up until one is.
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            }
            continue;
        }
        uint8_t buf[512];
        const ssize_t got = read(master_, buf, sizeof buf);
        if (got <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            continue;
        }
        for (const Bytes& request : stream.Feed(buf, static_cast<size_t>(got))) {
            {
                std::lock_guard lk(requestsMutex_);
                requests_.push_back(request);
            }
            std::vector<Bytes> answers;
            {
                std::lock_guard lk(scriptMutex_);
                if (script_) {
                    answers = script_(request);
                }
            }
            for (const Bytes& answer : answers) {
                Send(answer);
            }
        }
    }
}

PortsFolder::PortsFolder() {
    char tmpl[] = "/tmp/velmo-ports-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    path_ = dir != nullptr ? dir : "/nonexistent";
    setenv("VELMO_PORTS_DIR", path_.c_str(), 1);
}

PortsFolder::~PortsFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    unsetenv("VELMO_PORTS_DIR");
}

bool PortsFolder::Link(int n, const std::string& target) const {
    const std::string link = path_ + "/com" + std::to_string(n);
    return symlink(target.c_str(), link.c_str()) == 0;
}

}  // namespace velmo::testsupport
