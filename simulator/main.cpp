// velmo-modem-sim: runs the modem stand-in until SIGINT, SIGTERM or "quit" on its control channel.
// "velmo-modem-sim ctl <line...>" sends one control line to a running stand-in.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AtPort.h"
#include "ControlServer.h"
#include "EthernetUnit.h"
#include "ModemSimulator.h"

namespace {

using namespace velmo::sim;

constexpr const char* kUsage =
    "usage: velmo-modem-sim [options]\n"
    "       velmo-modem-sim ctl [--control SOCKET] <command...>\n"
    "\n"
    "Runs a modem stand-in that speaks the diagnostic protocol on a pty published as comN in the ports "
    "folder.\n"
    "\n"
    "options:\n"
    "  --port N               port number to publish (default: the first free one)\n"
    "  --state FILE           device state file (default: $VELMO_SIM_STATE or\n"
    "                         ${XDG_STATE_HOME:-~/.local/state}/velmo/modem-sim.state)\n"
    "  --control SOCKET       control socket (default: <ports folder>/../sim/control.sock)\n"
    "  --scenario NAME|FILE   start as the scenario describes the device (see the ctl command scenarios);\n"
    "                         a state file made from the same scenario is kept\n"
    "  --log-requests         print every request received on stderr (codes, keys, passwords and\n"
    "                         short messages as **)\n"
    "  --fault MODE[:CODE][=ARG]\n"
    "                         start with a fault: none, no-reply, reply-only-to-retry, error-status, "
    "bad-fcs,\n"
    "                         flood, slow (ARG: delay in ms), vanish; CODE limits it to one request code\n"
    "  --ethernet             also act as an Ethernet unit: answer the discovery, relay the data port to\n"
    "                         the modem, serve the unit's web pages (ports from $VELMO_DISCOVERY_PORT,\n"
    "                         $VELMO_DISCOVERY_REPLY_PORT, $VELMO_DATA_PORT; defaults 2109, 2110, 9734)\n"
    "  --ethernet-address A   IPv4 address the unit binds to and answers with (default 127.0.0.1)\n"
    "  --http-port N          port of the unit's web pages (default 8080; 0: any free port)\n"
    "  --ethernet-fault MODE  start the unit with a fault: none, tcp-refused, no-discovery\n"
    "  --no-at-port           do not publish the modem's AT port (modemN in the ports folder)\n"
    "  --help                 this text\n"
    "\n"
    "control commands: status | fault MODE [CODE|any] [ARG] | clear | log on|off | requests | clear-requests "
    "|\n"
    "                  set FIELD VALUE | scenario NAME|FILE | scenarios | report CODE [FIELDS...] |\n"
    "                  vanish | appear | quit\n"
    "                  with --ethernet: ethernet status | ethernet fault MODE | ethernet clear |\n"
    "                  ethernet drop | ethernet answer TEXT\n";

// "--name value" or "--name=value".
bool TakeValue(const std::vector<std::string>& args, size_t& i, const char* name, std::string* value) {
    const std::string& a = args[i];
    const size_t len = std::strlen(name);
    if (a.compare(0, len, name) != 0) {
        return false;
    }
    if (a.size() == len && i + 1 < args.size()) {
        *value = args[++i];
        return true;
    }
    if (a.size() > len && a[len] == '=') {
        *value = a.substr(len + 1);
        return true;
    }
    return false;
}

int Usage(const char* problem) {
    std::fprintf(stderr, "velmo-modem-sim: %s\n%s", problem, kUsage);
    return 2;
}

int RunCtl(const std::vector<std::string>& args) {
    std::string control;
    std::string line;
    for (size_t i = 1; i < args.size(); ++i) {
        if (line.empty() && TakeValue(args, i, "--control", &control)) {
            continue;
        }
        line += (line.empty() ? "" : " ") + args[i];
    }
    if (line.empty()) {
        return Usage("ctl: no command");
    }
    std::string answer;
    const ControlClientResult result =
        SendControlLine(control.empty() ? DefaultControlPath() : control, line, &answer);
    if (result == kControlUnreachable) {
        std::fprintf(stderr, "velmo-modem-sim: %s\n", answer.c_str());
    } else {
        std::fputs(answer.c_str(), stdout);
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "ctl") {
        return RunCtl(args);
    }

    ModemSimulator::Options options;
    std::string control;
    Fault fault;
    bool ethernet = false;
    bool atPortWanted = true;
    EthernetUnit::Options unitOptions;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (args[i] == "--log-requests") {
            options.logRequests = true;
        } else if (TakeValue(args, i, "--port", &value)) {
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || port < 1 || port > 255) {
                return Usage("--port takes a number from 1 to 255");
            }
            options.port = static_cast<int>(port);
        } else if (TakeValue(args, i, "--scenario", &value)) {
            options.scenario = value;
        } else if (TakeValue(args, i, "--state", &value)) {
            options.statePath = value;
        } else if (TakeValue(args, i, "--control", &value)) {
            control = value;
        } else if (TakeValue(args, i, "--fault", &value)) {
            const std::optional<Fault> parsed = ParseFault(value);
            if (!parsed) {
                return Usage(("bad fault: " + value).c_str());
            }
            fault = *parsed;
        } else if (args[i] == "--no-at-port") {
            atPortWanted = false;
        } else if (args[i] == "--ethernet") {
            ethernet = true;
        } else if (TakeValue(args, i, "--ethernet-address", &value)) {
            unitOptions.address = value;
        } else if (TakeValue(args, i, "--http-port", &value)) {
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || port < 0 || port > 65535) {
                return Usage("--http-port takes a number from 0 to 65535");
            }
            unitOptions.httpPort = static_cast<uint16_t>(port);
        } else if (TakeValue(args, i, "--ethernet-fault", &value)) {
            const std::optional<EthernetFault> parsed = ParseEthernetFault(value);
            if (!parsed) {
                return Usage(("bad Ethernet fault: " + value).c_str());
            }
            unitOptions.fault = *parsed;
        } else {
            return Usage(("unknown argument: " + args[i]).c_str());
        }
    }

    // Signals arrive through a descriptor, so every thread started below keeps them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    const int quitFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signalFd < 0 || quitFd < 0) {
        std::fprintf(stderr, "velmo-modem-sim: %s\n", std::strerror(errno));
        return 1;
    }

    ModemSimulator sim(options);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "velmo-modem-sim: %s\n", error.c_str());
        return 1;
    }
    EthernetUnit unit(sim, unitOptions);
    ControlServer server(sim, control, [quitFd] {
        const uint64_t one = 1;
        (void)write(quitFd, &one, sizeof one);
    });
    if (ethernet) {
        server.SetExtension([&unit](std::string_view line) { return unit.Control(line); });
    }
    if (!server.Start(&error)) {
        std::fprintf(stderr, "velmo-modem-sim: %s\n", error.c_str());
        return 1;
    }
    if (fault.mode != FaultMode::None) {
        sim.SetFault(fault);
    }
    std::printf("velmo-modem-sim: port %d -> %s, control %s\n", sim.Port(), sim.PtyPath().c_str(),
                server.Path().c_str());
    if (ethernet) {
        if (!unit.Start(&error)) {
            std::fprintf(stderr, "velmo-modem-sim: Ethernet unit: %s\n", error.c_str());
            return 1;
        }
        const char* address = unit.Address().c_str();
        std::printf(
            "velmo-modem-sim: Ethernet unit %s: discovery udp %s:%u (answers to port %u), data tcp %s:%u, "
            "web http://%s:%u/, fault %s\n",
            address, address, unit.DiscoveryPort(), unit.ReplyPort(), address, unit.DataPort(), address,
            unit.HttpPort(), std::string(EthernetFaultName(unit.Fault())).c_str());
    }
    // The AT port that dialling uses: published as a modem whose name the dial-up service recognises.
    AtPort atPort;
    if (atPortWanted) {
        if (!atPort.Start("Brivanta Modem " + std::to_string(sim.Port()), &error)) {
            std::fprintf(stderr, "velmo-modem-sim: AT port: %s\n", error.c_str());
            return 1;
        }
        std::printf("velmo-modem-sim: AT port modem%d -> %s\n", atPort.ModemNumber(),
                    atPort.SlavePath().c_str());
    }
    std::fflush(stdout);

    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {quitFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        if ((fds[0].revents | fds[1].revents) & POLLIN) {
            break;
        }
    }
    atPort.Stop();
    unit.Stop();
    server.Stop();
    sim.Stop();
    close(signalFd);
    close(quitFd);
    return 0;
}
