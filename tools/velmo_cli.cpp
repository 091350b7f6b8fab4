// velmo-cli: a command-line client of libVelmoModem.so.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ModemLoader.h"
#include "platform/Ports.h"

namespace {

using velmo::IOrvikModem;

struct Options {
    int port = 1;
    int baud = 115200;
    std::vector<std::string> args;  // command and its arguments
};

int ExitFromResult(int32_t result) { return result >= 0 && result < 255 ? result : 255; }

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: velmo-cli [--port N] [--baud RATE] COMMAND [ARGS]\n"
                 "\n"
                 "commands:\n"
                 "  version        library version\n"
                 "  open           open the port, run the start-up handshake, report its result and time\n"
                 "  raw60 HEX      send a request-60 packet (leading 3C optional), print the 128-byte reply\n"
                 "\n"
                 "Port N opens the device that <ports folder>/comN points to, else /dev/ttyUSB<N-1>.\n"
                 "Ports folder: %s\n",
                 velmo::platform::PortsDirectory().c_str());
}

bool ParseInt(const char* text, int& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& out) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ':' || c == ',') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
        digits += c;
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
}

void HexDump(const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; i += 16) {
        std::printf("%04zx ", i);
        for (size_t j = i; j < i + 16 && j < n; ++j) {
            std::printf(" %02x", data[j]);
        }
        std::printf("\n");
    }
}

// Explains a failed open in the user's terms. The library only says "could not open" (10) or "handshake failed"
// (11); the client looks at the port itself to tell the cases apart.
void ExplainOpenFailure(IOrvikModem& modem, int port, int32_t result) {
    const std::string path = velmo::platform::ResolvePort(port);
    switch (result) {
        case velmo::kResultBadArgument:
            std::fprintf(stderr, "velmo-cli: no such port: %d (ports are numbered 1 to 255)\n", port);
            return;
        case velmo::kResultPortOpenFailed: {
            struct stat st {};
            if (stat(path.c_str(), &st) != 0) {
                std::fprintf(stderr, "velmo-cli: no such port: COM%d (%s does not exist)\n", port, path.c_str());
                return;
            }
            const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
                close(fd);
                std::fprintf(stderr, "velmo-cli: port busy: COM%d (%s) is in use by another program\n", port,
                             path.c_str());
                return;
            }
            const int err = fd < 0 ? errno : 0;
            if (fd >= 0) {
                close(fd);
            }
            std::fprintf(stderr, "velmo-cli: cannot open COM%d (%s)%s%s\n", port, path.c_str(),
                         err != 0 ? ": " : " (unsupported baud rate or not a serial device)",
                         err != 0 ? std::strerror(err) : "");
            return;
        }
        case velmo::kResultHandshakeFailed: {
            // One plain request tells a silent modem from one that answers but refused the handshake.
            uint8_t probe[3] = {0x3C, 0x00, 0x00};
            uint8_t reply[velmo::kRequest60ReplySize];
            if (modem.SendRequest60(probe, sizeof probe, reply) == velmo::kResultOk) {
                std::fprintf(stderr, "velmo-cli: handshake failed: the modem on COM%d answers but refused the "
                                     "start-up handshake\n", port);
            } else {
                std::fprintf(stderr, "velmo-cli: modem silent: no answer on COM%d (%s)\n", port, path.c_str());
            }
            return;
        }
        default:
            std::fprintf(stderr, "velmo-cli: opening COM%d failed with result %d\n", port, result);
    }
}

// Opens the port with the handshake; prints the reason and returns the result code on failure.
int32_t OpenModem(IOrvikModem& modem, const Options& opt, double* ms = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    const int32_t result = modem.OpenSerialPort(opt.port, opt.baud);
    const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    if (ms != nullptr) {
        *ms = took.count();
    }
    if (result != velmo::kResultOk) {
        ExplainOpenFailure(modem, opt.port, result);
    }
    return result;
}

int CmdVersion(IOrvikModem& modem, const Options&) {
    const char* text = nullptr;
    const int32_t result = modem.GetLibraryVersion(&text);
    std::printf("library version %s\n", text != nullptr ? text : "?");
    return ExitFromResult(result);
}

int CmdOpen(IOrvikModem& modem, const Options& opt) {
    double ms = 0;
    const int32_t result = OpenModem(modem, opt, &ms);
    if (result == velmo::kResultOk) {
        std::printf("COM%d (%s): handshake ok in %.0f ms\n", opt.port,
                    velmo::platform::ResolvePort(opt.port).c_str(), ms);
    }
    modem.ClosePort();
    return ExitFromResult(result);
}

int CmdRaw60(IOrvikModem& modem, const Options& opt) {
    std::vector<uint8_t> packet;
    if (opt.args.size() != 2 || !ParseHex(opt.args[1], packet)) {
        std::fprintf(stderr, "velmo-cli: raw60 needs one packet in hex, e.g. raw60 \"3C 00 00\"\n");
        return 2;
    }
    if (packet[0] != 0x3C) {
        packet.insert(packet.begin(), 0x3C);
    }
    if (const int32_t result = OpenModem(modem, opt); result != velmo::kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    uint8_t reply[velmo::kRequest60ReplySize] = {};
    const int32_t result = modem.SendRequest60(packet.data(), static_cast<int32_t>(packet.size()), reply);
    if (result == velmo::kResultOk) {
        HexDump(reply, sizeof reply);
    } else {
        std::fprintf(stderr, "velmo-cli: request 60 failed (result %d): no reply, or the packet is shorter than "
                             "its sub-command needs\n", result);
    }
    modem.ClosePort();
    return ExitFromResult(result);
}

struct Command {
    const char* name;
    bool needsPort;
    std::function<int(IOrvikModem&, const Options&)> run;
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"version", false, CmdVersion},
        {"open", true, CmdOpen},
        {"raw60", true, CmdRaw60},
    };
    return commands;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--port" || a == "--baud") && i + 1 < argc) {
            int value = 0;
            if (!ParseInt(argv[++i], value)) {
                std::fprintf(stderr, "velmo-cli: %s needs a number\n", a.c_str());
                return 2;
            }
            (a == "--port" ? opt.port : opt.baud) = value;
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
    const Command* command = nullptr;
    for (const Command& c : Commands()) {
        if (opt.args[0] == c.name) {
            command = &c;
        }
    }
    if (command == nullptr) {
        std::fprintf(stderr, "velmo-cli: unknown command '%s'\n", opt.args[0].c_str());
        Usage(stderr);
        return 2;
    }

    velmo::tools::ModemLoader loader;
    if (!loader.Load()) {
        std::fprintf(stderr, "velmo-cli: %s\n", loader.Error().c_str());
        return 3;
    }
    IOrvikModem* modem = nullptr;
    if (const int32_t created = loader.create(&modem); created != velmo::kResultOk || modem == nullptr) {
        std::fprintf(stderr, "velmo-cli: the modem library could not create its service object (result %d)\n",
                     created);
        return ExitFromResult(created);
    }
    const int status = command->run(*modem, opt);
    loader.destroy(modem);
    return status;
}
