#include "Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "FileUtil.h"

namespace velmo::dialup {

namespace {

// Spawn sources are first moved above the descriptors they are dup'ed onto, so that no dup2 in the child
// overwrites a source still needed.
constexpr int kSpawnFdFloor = 10;

}  // namespace

pid_t SpawnChild(const std::vector<std::string>& argv, const ChildFds& fds, int& error) {
    error = 0;
    if (argv.empty()) {
        error = EINVAL;
        return -1;
    }
    const int sources[4] = {fds.in, fds.out, fds.err, fds.extra};
    int moved[4] = {-1, -1, -1, -1};
    for (int i = 0; i < 4; ++i) {
        if (sources[i] >= 0) {
            moved[i] = fcntl(sources[i], F_DUPFD_CLOEXEC, kSpawnFdFloor);
            if (moved[i] < 0) {
                error = errno;
            }
        }
    }
    int devnull = -1;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    pid_t pid = -1;
    if (error == 0) {
        for (int i = 0; i < 4; ++i) {
            if (moved[i] >= 0) {
                posix_spawn_file_actions_adddup2(&actions, moved[i], i);
            } else if (i < 3) {
                // 0..2 always exist in the child, so that nothing it opens lands there by accident.
                if (devnull < 0) {
                    devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
                }
                if (devnull >= 0) {
                    posix_spawn_file_actions_adddup2(&actions, devnull, i);
                }
            }
        }
        posix_spawn_file_actions_addclosefrom_np(&actions, fds.extra >= 0 ? 4 : 3);

        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2}) {
            sigaddset(&defaults, sig);
        }
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
        char lang[] = "LC_ALL=C";
        char* env[] = {path, lang, nullptr};
        error = posix_spawn(&pid, argv[0].c_str(), &actions, &attr, args.data(), env);
        if (error != 0) {
            pid = -1;
        }
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : moved) {
        if (fd >= 0) {
            close(fd);
        }
    }
    if (devnull >= 0) {
        close(devnull);
    }
    return pid;
}

int ReapChild(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return status;
}

// Through syscall(): glibc 2.36's <sys/pidfd.h> declares its wrappers without C linkage.
int OpenPidfd(pid_t pid) {
    return pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, pid, 0)) : -1;
}

bool WaitPidfd(int pidfd, std::chrono::milliseconds timeout) {
    if (pidfd < 0) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{pidfd, POLLIN, 0};
        const int n = poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (n > 0) {
            return true;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

bool SignalPidfd(int pidfd, int signal) {
    return pidfd >= 0 && syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

std::optional<uint64_t> ProcessStartTime(const std::string& procDir, pid_t pid) {
    if (pid <= 0) {
        return std::nullopt;
    }
    std::string stat;
    if (!ReadSmallFile(procDir + "/" + std::to_string(pid) + "/stat", stat, 4096)) {
        return std::nullopt;
    }
    // The name in parentheses may hold anything, even ") ": count fields from the last ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    size_t pos = close + 1;
    std::string state;
    for (int field = 3; field <= 22; ++field) {
        while (pos < stat.size() && stat[pos] == ' ') {
            ++pos;
        }
        const size_t end = stat.find(' ', pos);
        const std::string value = stat.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (field == 3) {
            state = value;
        }
        if (field == 22) {
            if (state == "Z" || state == "X") {
                return std::nullopt;
            }
            char* tail = nullptr;
            const unsigned long long v = std::strtoull(value.c_str(), &tail, 10);
            if (value.empty() || tail == nullptr || *tail != '\0') {
                return std::nullopt;
            }
            return static_cast<uint64_t>(v);
        }
        if (end == std::string::npos) {
            break;
        }
        pos = end;
    }
    return std::nullopt;
}

std::string ProcessName(const std::string& procDir, pid_t pid) {
    std::string name;
    if (pid <= 0 || !ReadSmallFile(procDir + "/" + std::to_string(pid) + "/comm", name, 256)) {
        return {};
    }
    while (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

bool ProcessAlive(const std::string& procDir, pid_t pid, uint64_t startTime) {
    const auto start = ProcessStartTime(procDir, pid);
    return start && *start == startTime;
}

uint64_t BootTimeMs() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

}  // namespace velmo::dialup
