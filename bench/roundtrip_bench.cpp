// Request/reply round trips through the library to the in-process modem stand-in over a pty, beside a bare
// pty echo of similar sizes, so that the protocol's own cost shows against the pty's. Each iteration is timed
// by hand; p50 and p99 of the iteration times are reported as counters (microseconds).
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "library/service/ModemService.h"
#include "simulator/ModemSimulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// A private ports folder and state file, so that the benchmark never touches the user's.
class Scratch {
  public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmo-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            dir_ = pattern;
            setenv("VELMO_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
        }
    }
    ~Scratch() {
        if (!dir_.empty()) {
            std::filesystem::remove_all(dir_);
        }
    }
    const std::string& Dir() const { return dir_; }

  private:
    std::string dir_;
};

const Scratch& ScratchFolder() {
    static const Scratch scratch;
    return scratch;
}

class Latencies {
  public:
    void Add(Clock::duration d) { us_.push_back(std::chrono::duration<double, std::micro>(d).count()); }

    void Report(benchmark::State& state) {
        if (us_.empty()) {
            return;
        }
        std::sort(us_.begin(), us_.end());
        auto at = [&](double q) {
            return us_[std::min(us_.size() - 1, static_cast<size_t>(q * us_.size()))];
        };
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
    }

  private:
    std::vector<double> us_;
};

// The stand-in and an open library session to it.
struct Session {
    explicit Session(bool logStream = false) {
        velmo::sim::ModemSimulator::Options options;
        options.statePath = ScratchFolder().Dir() + "/modem-sim.state";
        options.logStream = logStream;
        sim = std::make_unique<velmo::sim::ModemSimulator>(options);
        std::string error;
        if (!sim->Start(&error)) {
            problem = error;
        } else if (modem.OpenSerialPort(sim->Port(), 115200) != velmo::kResultOk) {
            problem = "handshake failed";
        }
    }

    std::unique_ptr<velmo::sim::ModemSimulator> sim;
    velmo::service::ModemService modem;
    std::string problem;
};

// 0x0C: a 4-byte request and a 48-byte reply through Engine::Transact.
void BM_StatusRoundTrip(benchmark::State& state) {
    Session s;
    if (!s.problem.empty()) {
        state.SkipWithError(s.problem.c_str());
        return;
    }
    velmo::protocol::Engine& engine = *s.modem.Engine();
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        engine.request[0] = velmo::protocol::StatusRequest;
        const bool ok = engine.Transact(velmo::protocol::StatusRequest);
        const auto spent = Clock::now() - start;
        if (!ok) {
            state.SkipWithError("no reply");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
        latencies.Add(spent);
    }
    latencies.Report(state);
}
BENCHMARK(BM_StatusRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond);

// QueryStatus kind 3 through the public operation: the status request, its 48-byte reply, the record
// filled. Arg 1: while the EV-DO log stream runs at 50 Hz beside it.
void BM_QueryStatusKind3(benchmark::State& state) {
    Session s(state.range(0) != 0);
    if (!s.problem.empty()) {
        state.SkipWithError(s.problem.c_str());
        return;
    }
    if (state.range(0) != 0) {
        std::string error;
        s.sim->SetField("log_rate_hz", "50", &error);
    }
    velmo::ModemStatusRecord record{};
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int32_t result = s.modem.QueryStatus(&record, 3);
        const auto spent = Clock::now() - start;
        if (result != velmo::kResultOk) {
            state.SkipWithError("no reply");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
        latencies.Add(spent);
    }
    latencies.Report(state);
}
BENCHMARK(BM_QueryStatusKind3)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Request 60 through the public operation: 128-byte reply, or 1086 bytes with sub-command 0x33.
void BM_Request60RoundTrip(benchmark::State& state) {
    Session s;
    if (!s.problem.empty()) {
        state.SkipWithError(s.problem.c_str());
        return;
    }
    const bool large = state.range(0) != 0;
    const uint8_t request[] = {0x3C, 0x01, static_cast<uint8_t>(large ? 0x33 : 0x05), 0x12, 0x34};
    std::vector<uint8_t> out(velmo::kRequest60LargeReplySize);
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        const int32_t result = large ? s.modem.SendRequest60Large(request, sizeof request, out.data())
                                     : s.modem.SendRequest60(request, sizeof request, out.data());
        const auto spent = Clock::now() - start;
        if (result != velmo::kResultOk) {
            state.SkipWithError("no reply");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
        latencies.Add(spent);
    }
    latencies.Report(state);
}
BENCHMARK(BM_Request60RoundTrip)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The floor: N bytes written to a pty master, echoed by a thread from the slave, read back.
void BM_RawPtyEcho(benchmark::State& state) {
    int master = -1;
    int slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    const int stop = eventfd(0, EFD_CLOEXEC);
    std::thread echo([slave, stop] {
        std::array<uint8_t, 4096> buffer{};
        for (;;) {
            pollfd fds[2] = {{stop, POLLIN, 0}, {slave, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 || (fds[0].revents & POLLIN) != 0) {
                return;
            }
            const ssize_t got = read(slave, buffer.data(), buffer.size());
            for (ssize_t done = 0; got > 0 && done < got;) {
                const ssize_t wrote = write(slave, buffer.data() + done, static_cast<size_t>(got - done));
                if (wrote <= 0) {
                    return;
                }
                done += wrote;
            }
        }
    });

    const size_t n = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> out(n, 0x5A);
    std::vector<uint8_t> in(n);
    Latencies latencies;
    for (auto _ : state) {
        const auto start = Clock::now();
        size_t sent = 0;
        while (sent < n) {
            const ssize_t wrote = write(master, out.data() + sent, n - sent);
            if (wrote <= 0) {
                break;
            }
            sent += static_cast<size_t>(wrote);
        }
        size_t got = 0;
        while (got < n) {
            const ssize_t r = read(master, in.data() + got, n - got);
            if (r <= 0) {
                break;
            }
            got += static_cast<size_t>(r);
        }
        const auto spent = Clock::now() - start;
        if (got != n) {
            state.SkipWithError("echo lost bytes");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(spent).count());
        latencies.Add(spent);
    }
    latencies.Report(state);

    const uint64_t one = 1;
    (void)write(stop, &one, sizeof one);
    echo.join();
    close(stop);
    close(master);
    close(slave);
}
BENCHMARK(BM_RawPtyEcho)->Arg(4)->Arg(56)->Arg(1092)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
