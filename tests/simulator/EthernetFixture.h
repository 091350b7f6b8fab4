// The stand-in as an Ethernet unit on loopback, on ports of its own, with the library's network settings
// pointed at it; and small helpers to talk to it and to run the programs.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "StandInFixture.h"
#include "simulator/EthernetUnit.h"

extern char** environ;

namespace velmo::sim::test {

// A port that is free right now: bound to port 0 and released.
inline uint16_t FreePort(int type) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t len = sizeof a;
    uint16_t port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

// The library's discovery goes to loopback, never to the broadcast default.
inline void PointLibraryAt(uint16_t discoveryPort, uint16_t replyPort, uint16_t dataPort) {
    setenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1", 1);
    setenv("VELMO_DISCOVERY_PORT", std::to_string(discoveryPort).c_str(), 1);
    setenv("VELMO_DISCOVERY_REPLY_PORT", std::to_string(replyPort).c_str(), 1);
    setenv("VELMO_DATA_PORT", std::to_string(dataPort).c_str(), 1);
}

// A TCP connection to 127.0.0.1:port; -1 when refused.
inline int ConnectLoopback(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

inline bool SendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Everything fd delivers until the other side closes; bounded as a hang guard.
inline std::string ReadToEnd(int fd, std::chrono::milliseconds bound = 5s) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + bound;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

// True when the other side closes fd (end of stream or reset) within the bound, without sending anything.
inline bool ClosedByPeer(int fd, std::chrono::milliseconds bound = 3s) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(bound.count())) <= 0) {
        return false;
    }
    char c;
    return recv(fd, &c, 1, 0) <= 0;
}

class EthernetTest : public StandInTest {
  protected:
    void SetUp() override {
        setenv("VELMO_DISCOVERY_ADDRESS", "127.0.0.1", 1);
        StandInTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        EthernetUnit::Options options;
        options.discoveryPort = 0;
        options.dataPort = 0;
        options.httpPort = 0;
        options.replyPort = FreePort(SOCK_DGRAM);
        unit_ = std::make_unique<EthernetUnit>(*sim_, options);
        std::string error;
        ASSERT_TRUE(unit_->Start(&error)) << error;
        PointLibraryAt(unit_->DiscoveryPort(), unit_->ReplyPort(), unit_->DataPort());
    }
    void TearDown() override {
        unit_.reset();
        StandInTest::TearDown();
    }

    std::unique_ptr<EthernetUnit> unit_;
};

struct Child {
    pid_t pid = -1;
    int out = -1;  // its stdout
    int err = -1;  // its stderr
};

// Starts path with args and the current environment, its output on pipes.
inline Child Spawn(const char* path, const std::vector<std::string>& args) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        return {};
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, path, &actions, nullptr, argv.data(), environ) != 0) {
        child.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    child.out = outPipe[0];
    child.err = errPipe[0];
    return child;
}

// One line of fd, without its newline; bounded as a hang guard.
inline std::string ReadLine(int fd, std::chrono::milliseconds bound = 10s) {
    std::string text;
    const auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) {
            continue;
        }
        char c;
        if (read(fd, &c, 1) != 1 || c == '\n') {
            break;
        }
        text += c;
    }
    return text;
}

// The exit status (128 + signal when killed); -1 when it did not end within the bound (then it is killed).
inline int WaitExit(pid_t pid, std::chrono::milliseconds bound = 10s) {
    const auto end = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

struct RunResult {
    int exit = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end, collecting both outputs.
inline RunResult RunProgram(const char* path, const std::vector<std::string>& args,
                            std::chrono::milliseconds bound = 60s) {
    const Child child = Spawn(path, args);
    RunResult r;
    if (child.pid < 0) {
        return r;
    }
    const auto end = std::chrono::steady_clock::now() + bound;
    bool outOpen = true;
    bool errOpen = true;
    while ((outOpen || errOpen) && std::chrono::steady_clock::now() < end) {
        pollfd p[2] = {{outOpen ? child.out : -1, POLLIN, 0}, {errOpen ? child.err : -1, POLLIN, 0}};
        if (poll(p, 2, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            if (p[i].revents == 0) {
                continue;
            }
            const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                (i == 0 ? outOpen : errOpen) = false;
            } else {
                (i == 0 ? r.out : r.err).append(buffer, static_cast<size_t>(n));
            }
        }
    }
    close(child.out);
    close(child.err);
    r.exit = WaitExit(child.pid, 1s);
    return r;
}

}  // namespace velmo::sim::test
