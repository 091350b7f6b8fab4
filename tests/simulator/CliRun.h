// Runs velmo-cli (VELMO_CLI_PATH) as a child process for the client tests: arguments, text on its standard
// input, its standard output and exit code, with a hang guard.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace velmo::sim::test {

using namespace std::chrono_literals;

struct CliRun {
    int status = -1;  // exit code; -1 when it had to be killed
    std::string out;
};

// Runs the program with args and input on its standard input.
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& input = {}) {
    CliRun run;
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        return run;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv = {const_cast<char*>(VELMO_CLI_PATH)};
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    // A refusal can end the program before it reads its input: the write then fails with EPIPE instead of
    // killing the test. The program itself gets the default disposition back.
    signal(SIGPIPE, SIG_IGN);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t piped;
    sigemptyset(&piped);
    sigaddset(&piped, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &piped);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, VELMO_CLI_PATH, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    if (spawned == 0 && !input.empty()) {
        // Short texts: they fit the pipe, so the write never waits for the program. It may have gone already.
        const ssize_t wrote = write(in[1], input.data(), input.size());
        EXPECT_TRUE(wrote == static_cast<ssize_t>(input.size()) || (wrote < 0 && errno == EPIPE));
    }
    close(in[1]);
    const auto end = std::chrono::steady_clock::now() + 20s;  // hang guard
    char buffer[4096];
    while (spawned == 0 && std::chrono::steady_clock::now() < end) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            continue;
        }
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        run.out.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    if (spawned == 0) {
        int wstatus = 0;
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid, SIGKILL);
        }
        waitpid(pid, &wstatus, 0);
        run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    }
    return run;
}

}  // namespace velmo::sim::test
