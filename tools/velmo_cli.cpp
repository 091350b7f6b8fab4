// velmo-cli: a command-line client of libVelmoModem.so.
#include <csignal>
#include <cstdio>
#include <string>

#include "CliCommon.h"
#include "ModemLoader.h"
#include "platform/Ports.h"

namespace {

using namespace velmo::cli;

std::vector<Command> AllCommands() {
    std::vector<Command> all = DeviceCommands();
    for (auto group : {ParameterCommands(), DialCommands(), SmsCommands()}) {
        all.insert(all.end(), group.begin(), group.end());
    }
    return all;
}

void Usage(FILE* out) {
    std::fprintf(
        out, "usage: velmo-cli [--port N | --network] [--baud RATE] [--json] COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : AllCommands()) {
        std::fprintf(out, "  %s\n", c.usage);
    }
    std::fprintf(out,
                 "\noptions:\n"
                 "  --port N       port N opens <ports folder>/comN, else /dev/ttyUSB<N-1> (default 1)\n"
                 "  --network      use the Ethernet unit found by discovery instead of a serial port\n"
                 "  --spc CODE     give the service programming code after opening (nv, nam, prl)\n"
                 "  --json         one JSON object per result, for scripts\n"
                 "\nPorts folder: %s\n",
                 velmo::platform::PortsDirectory().c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--port" || a == "--baud" || a == "--count" || a == "--interval") && i + 1 < argc) {
            int value = 0;
            if (!ParseInt(argv[++i], value)) {
                std::fprintf(stderr, "velmo-cli: %s needs a number\n", a.c_str());
                return 2;
            }
            (a == "--port"    ? opt.port
             : a == "--baud"  ? opt.baud
             : a == "--count" ? opt.count
                              : opt.intervalMs) = value;
        } else if (a == "--spc" && i + 1 < argc) {
            opt.spc = argv[++i];
        } else if (a == "--json") {
            opt.json = true;
        } else if (a == "--watch") {
            opt.watch = true;
        } else if (a == "--network") {
            opt.network = true;
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else {
            opt.args.push_back(a);
        }
    }
    if (opt.args.empty()) {
        Usage(stderr);
        return 2;
    }
    const std::vector<Command> commands = AllCommands();
    const Command* command = nullptr;
    for (const Command& c : commands) {
        if (opt.args[0] == c.name) {
            command = &c;
        }
    }
    if (command == nullptr) {
        std::fprintf(stderr, "velmo-cli: unknown command '%s'\n", opt.args[0].c_str());
        Usage(stderr);
        return 2;
    }
    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    std::signal(SIGTERM, [](int) { g_interrupted = 1; });

    velmo::tools::ModemLoader loader;
    if (!loader.Load()) {
        std::fprintf(stderr, "velmo-cli: %s\n", loader.Error().c_str());
        return 3;
    }
    velmo::IOrvikModem* modem = nullptr;
    if (const int32_t created = loader.create(&modem); created != velmo::kResultOk || modem == nullptr) {
        std::fprintf(stderr, "velmo-cli: the modem library could not create its service object (result %d)\n",
                     created);
        return ExitFromResult(created);
    }
    const int status = command->run(*modem, opt);
    loader.destroy(modem);
    return status;
}
