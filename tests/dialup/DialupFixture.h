// Per-test folders for the dial-up service (ports, phonebook, connection records, a fake sysfs and pppd pid
// folder), named in the environment before any thread starts, and a recorder for dial progress.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialup/DialupService.h"

namespace velmo::dialup::test {

using namespace std::chrono_literals;

class DialupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmo-dialup-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        setenv("VELMO_PORTS_DIR", (root_ + "/ports").c_str(), 1);
        setenv("VELMO_PHONEBOOK_DIR", (root_ + "/phonebook").c_str(), 1);
        setenv("VELMO_DIALUP_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
        setenv("VELMO_SYSFS_NET_DIR", (root_ + "/sys").c_str(), 1);
        setenv("VELMO_PPP_RUN_DIR", (root_ + "/pppd-run").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    // The service's options for these folders: no udev (the machine's own modems stay out), short dialogue
    // time-outs.
    DialupOptions Options() const {
        DialupOptions o = DialupOptions::FromEnvironment();
        o.useUdev = false;
        o.initTimeoutSeconds = 2;
        o.dialTimeoutSeconds = 1;
        return o;
    }

    // Writes a file, creating its folders.
    void WriteFile(const std::string& path, const std::string& text,
                   std::filesystem::perms perms = {}) const {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
        if (perms != std::filesystem::perms{}) {
            std::filesystem::permissions(path, perms);
        }
    }

    std::string root_;
};

// Progress as the callback saw it.
struct Progress {
    std::thread::id thread;
    ConnectionId id;
    uint32_t state;
    uint32_t error;
    uint32_t extended;
};

class ProgressRecorder {
  public:
    // Optional reaction, run inside the callback after recording.
    std::function<bool(const Progress&)> react;

    DialProgress Callback() {
        return [this](ConnectionId id, uint32_t state, uint32_t error, uint32_t extended) {
            Progress p{std::this_thread::get_id(), id, state, error, extended};
            {
                std::lock_guard lock(mutex_);
                // Two callbacks at once would overlap here.
                EXPECT_FALSE(inside_) << "callbacks overlap";
                inside_ = true;
                events_.push_back(p);
            }
            const bool more = react ? react(p) : true;
            // Notified under the lock: a waiter that returns may destroy this recorder at once.
            std::lock_guard lock(mutex_);
            inside_ = false;
            cv_.notify_all();
            return more;
        };
    }

    // Waits (bounded) until the last event is an error or a disconnection.
    bool WaitForEnd(std::chrono::milliseconds bound = 10s) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, bound, [this] {
            return !events_.empty() &&
                   (events_.back().error != 0 || events_.back().state == kStateDisconnected);
        });
    }
    bool WaitForState(uint32_t state, std::chrono::milliseconds bound = 10s) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, bound, [&] {
            for (const Progress& p : events_) {
                if (p.state == state) {
                    return true;
                }
            }
            return false;
        });
    }
    std::vector<Progress> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<uint32_t> States() const {
        std::vector<uint32_t> states;
        for (const Progress& p : Events()) {
            states.push_back(p.state);
        }
        return states;
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Progress> events_;
    bool inside_ = false;
};

// No child of this process is left, not even a zombie.
inline bool NoChildren() {
    int status = 0;
    return waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

// "fd -> target" lines, for a failure message.
inline std::string DescribeDescriptors() {
    std::string text;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        text += fd.path().filename().string() + " -> " +
                std::filesystem::read_symlink(fd.path(), ec).string() + "\n";
    }
    return text;
}

inline int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

}  // namespace velmo::dialup::test
