// Child processes of the dial-up service and the processes of its connections: started with posix_spawn (only
// the descriptors named here reach them), watched through pidfds, identified by pid and start time so that a
// reused pid is never taken for ours.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmo::dialup {

// Descriptors of a child: its stdin, stdout, stderr and, when set, one more as descriptor 3. All others are
// closed in the child.
struct ChildFds {
    int in = -1;
    int out = -1;
    int err = -1;
    int extra = -1;
};

// Starts argv[0] with a minimal environment in a session of its own (so a terminal's Ctrl-C reaches only us,
// and we decide how the child stops). Returns the pid, or -1 with error set to the errno of the failure (the
// exec's own, such as EACCES or ENOENT).
pid_t SpawnChild(const std::vector<std::string>& argv, const ChildFds& fds, int& error);

// Waits for our child and returns its wait status; reaps only that pid.
int ReapChild(pid_t pid);

// A pidfd for pid, or -1.
int OpenPidfd(pid_t pid);
// Waits until the process behind pidfd has ended (it may still need reaping). True when it has.
bool WaitPidfd(int pidfd, std::chrono::milliseconds timeout);
bool SignalPidfd(int pidfd, int signal);

// Start time of a process (clock ticks since boot, field 22 of its stat file); nothing when it does not
// exist.
std::optional<uint64_t> ProcessStartTime(const std::string& procDir, pid_t pid);
// The process's name (comm); empty when it does not exist.
std::string ProcessName(const std::string& procDir, pid_t pid);
// True when pid exists and started at startTime (and is not a zombie).
bool ProcessAlive(const std::string& procDir, pid_t pid, uint64_t startTime);

// Milliseconds of CLOCK_BOOTTIME: one clock for every process, going on through suspend.
uint64_t BootTimeMs();

}  // namespace velmo::dialup
