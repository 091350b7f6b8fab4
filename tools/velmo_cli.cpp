// velmo-cli: a command-line client of libVelmoModem.so.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <thread>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CliFormat.h"
#include "ModemLoader.h"
#include "platform/Ports.h"

namespace {

using velmo::IOrvikModem;

struct Options {
    int port = 1;
    int baud = 115200;
    bool json = false;
    bool watch = false;
    int count = 0;        // rf --watch: number of redraws, 0 = until interrupted
    int intervalMs = 500;  // rf --watch: pause between redraws
    std::vector<std::string> args;  // command and its arguments
};

volatile std::sig_atomic_t g_interrupted = 0;

using velmo::tools::Json;

int ExitFromResult(int32_t result) { return result >= 0 && result < 255 ? result : 255; }

void Usage(FILE* out) {
    std::fprintf(out,
                 "usage: velmo-cli [--port N] [--baud RATE] COMMAND [ARGS]\n"
                 "\n"
                 "commands:\n"
                 "  version        library version\n"
                 "  open           open the port, run the start-up handshake, report its result and time\n"
                 "  raw60 HEX      send a request-60 packet (leading 3C optional), print the 128-byte reply\n"
                 "  status         every status kind, decoded\n"
                 "  rf             the RF snapshot (--watch redraws; --count N, --interval MS)\n"
                 "  time           the modem's clock\n"
                 "  reset          reset the modem\n"
                 "  offline        take the modem offline\n"
                 "options: --json prints one JSON object per result, for scripts\n"
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


int Fail(const Options& opt, const char* what, int32_t result) {
    if (opt.json) {
        std::printf("%s\n", Json().Str("error", what).Num("result", result).Text().c_str());
    } else {
        std::fprintf(stderr, "velmo-cli: %s (result %d)\n", what, result);
    }
    return ExitFromResult(result);
}

int CmdStatus(IOrvikModem& modem, const Options& opt) {
    if (const int32_t result = OpenModem(modem, opt); result != velmo::kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    velmo::ModemStatusRecord r{};
    int32_t results[6];
    // The RF levels come from the modem's log stream: ask for the signal last so they have had time to arrive.
    for (int kind : {0, 1, 2, 4, 5, 3}) {
        results[kind] = modem.QueryStatus(&r, kind);
    }
    modem.ClosePort();
    int32_t worst = velmo::kResultOk;
    for (int32_t v : results) {
        if (v != velmo::kResultOk) {
            worst = v;
        }
    }
    const std::string software(r.SoftwareRevision, strnlen(r.SoftwareRevision, sizeof r.SoftwareRevision));
    char esn[16];
    std::snprintf(esn, sizeof esn, "%08X", r.Esn);
    char firmware[16];
    std::snprintf(firmware, sizeof firmware, "%.1f", r.FirmwareRevision / 10.0);
    if (opt.json) {
        Json j;
        j.Str("esn", esn).Num("sid", r.Sid).Num("nid", r.Nid).Num("channel", r.Channel).Num("pilotPn", r.PilotPn);
        j.Num("rssi1xDbm", -static_cast<int>(r.Rssi1x)).Num("rssiEvdoDbm", -static_cast<int>(r.RssiEvdo));
        j.Bool("inService", r.InService != 0).Bool("inTraffic", r.InTraffic != 0).Num("roam", r.Roam);
        j.Str("roaming", velmo::tools::RoamName(r.Roam));
        j.Num("rfMode", r.RfMode).Str("rfModeName", velmo::tools::RfModeName(r.RfMode));
        j.Num("systemState", r.SystemState).Str("systemStateName", velmo::tools::SystemStateName(r.SystemState));
        j.Num("networkKind", r.NetworkKind).Str("network", velmo::tools::NetworkKindName(r.NetworkKind));
        j.Bool("evdoPresent", r.EvdoPresent != 0).Num("rxState", r.RxState);
        j.Num("prlVersion", r.PrlVersion).Num("caiRevision", r.CaiRevision).Raw("firmwareRevision", firmware);
        j.Str("softwareRevision", software);
        std::string res = "[";
        for (int k = 0; k < 6; ++k) {
            res += (k ? "," : "") + std::to_string(results[k]);
        }
        j.Raw("results", res + "]");
        std::printf("%s\n", j.Text().c_str());
    } else {
        std::printf("ESN               %s\n", esn);
        std::printf("SID / NID         %u / %u\n", r.Sid, r.Nid);
        std::printf("Channel           %u\n", r.Channel);
        std::printf("Pilot PN          %u\n", r.PilotPn);
        std::printf("Signal 1x         -%u dBm\n", r.Rssi1x);
        std::printf("Signal EV-DO      -%u dBm\n", r.RssiEvdo);
        std::printf("Service           %s\n", r.InService ? "in service" : "no service");
        std::printf("Traffic           %s\n", r.InTraffic ? "in traffic mode" : "not in traffic mode");
        std::printf("Roaming           %s\n", velmo::tools::RoamName(r.Roam));
        std::printf("Network           %s (%u)\n", velmo::tools::NetworkKindName(r.NetworkKind), r.NetworkKind);
        std::printf("EV-DO present     %s\n", r.EvdoPresent ? "yes" : "no");
        std::printf("RF mode           %u %s\n", r.RfMode, velmo::tools::RfModeName(r.RfMode));
        std::printf("System state      %u %s\n", r.SystemState, velmo::tools::SystemStateName(r.SystemState));
        std::printf("RX state          %u\n", r.RxState);
        std::printf("PRL version       %u\n", r.PrlVersion);
        std::printf("CAI revision      %u\n", r.CaiRevision);
        std::printf("Firmware revision %s\n", firmware);
        std::printf("Software revision %s\n", software.c_str());
        for (int k = 0; k < 6; ++k) {
            if (results[k] != velmo::kResultOk) {
                std::printf("(status kind %d: no answer, result %d)\n", k, results[k]);
            }
        }
    }
    return ExitFromResult(worst);
}

std::string PilotList(const uint8_t* bytes, size_t words, bool json) {
    std::string out = json ? "[" : "";
    bool first = true;
    for (size_t i = 0; i < words; ++i) {
        const uint16_t v = static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (v == 0xFFFF) {
            break;
        }
        out += (first ? "" : json ? "," : " ") + std::to_string(v);
        first = false;
    }
    return json ? out + "]" : (out.empty() ? "-" : out);
}

int CmdRf(IOrvikModem& modem, const Options& opt) {
    if (const int32_t result = OpenModem(modem, opt); result != velmo::kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    for (int shown = 0; !g_interrupted; ++shown) {
        if (opt.watch || shown == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(opt.intervalMs));
        }
        uint8_t a[velmo::kRfBlockASize], b[velmo::kRfBlockBSize], c[velmo::kRfBlockCSize];
        modem.GetRfBlockA(a);
        modem.GetRfBlockB(b);
        modem.GetRfBlockC(c);
        if (opt.json) {
            Json j;
            j.Num("updates", modem.GetRfUpdateCount()).Num("drcIndex", modem.GetDrcIndex());
            j.Num("level1", modem.GetRfLevel1()).Num("level2", modem.GetRfLevel2());
            j.Num("level3", modem.GetRfLevel3()).Num("level4", modem.GetRfLevel4());
            j.Num("channel", modem.GetRfChannel());
            j.Raw("activeSet", PilotList(a, 7, true)).Raw("activeSetB", PilotList(b, 7, true));
            j.Raw("neighbourSet", PilotList(c, 41, true));
            std::printf("%s\n", j.Text().c_str());
        } else {
            if (opt.watch && isatty(STDOUT_FILENO)) {
                std::printf("\033[H\033[2J");
            }
            std::printf("updates %d  DRC %u  channel %d\n", modem.GetRfUpdateCount(), modem.GetDrcIndex(),
                        modem.GetRfChannel());
            std::printf("levels  %d %d %d dB   rx %d dB\n", modem.GetRfLevel1(), modem.GetRfLevel2(),
                        modem.GetRfLevel3(), modem.GetRfLevel4());
            std::printf("active  %s | %s\n", PilotList(a, 7, false).c_str(), PilotList(b, 7, false).c_str());
            std::printf("neighb. %s\n", PilotList(c, 41, false).c_str());
        }
        std::fflush(stdout);
        if (!opt.watch || (opt.count > 0 && shown + 1 >= opt.count)) {
            break;
        }
    }
    modem.ClosePort();
    return 0;
}

int CmdTime(IOrvikModem& modem, const Options& opt) {
    if (const int32_t result = OpenModem(modem, opt); result != velmo::kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    uint8_t out[velmo::kModemTimeSize] = {};
    const int32_t result = modem.GetModemTime(out);
    modem.ClosePort();
    if (result != velmo::kResultOk) {
        return Fail(opt, "the modem did not tell its time", result);
    }
    const std::string text(reinterpret_cast<const char*>(out + 5), strnlen(reinterpret_cast<const char*>(out + 5), 20));
    if (opt.json) {
        std::printf("%s\n", Json().Str("time", text).Text().c_str());
    } else {
        std::printf("%s\n", text.c_str());
    }
    return 0;
}

int CmdSimple(IOrvikModem& modem, const Options& opt, int32_t (IOrvikModem::*op)(), const char* done,
              const char* failed) {
    if (const int32_t result = OpenModem(modem, opt); result != velmo::kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    const int32_t result = (modem.*op)();
    modem.ClosePort();
    if (result != velmo::kResultOk) {
        return Fail(opt, failed, result);
    }
    if (opt.json) {
        std::printf("%s\n", Json().Str("done", done).Text().c_str());
    } else {
        std::printf("%s\n", done);
    }
    return 0;
}

int CmdReset(IOrvikModem& modem, const Options& opt) {
    return CmdSimple(modem, opt, &IOrvikModem::ResetModem, "modem reset", "the modem did not confirm the reset");
}

int CmdOffline(IOrvikModem& modem, const Options& opt) {
    return CmdSimple(modem, opt, &IOrvikModem::SetOfflineMode, "modem offline", "the modem did not go offline");
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
        {"status", true, CmdStatus},
        {"rf", true, CmdRf},
        {"time", true, CmdTime},
        {"reset", true, CmdReset},
        {"offline", true, CmdOffline},
    };
    return commands;
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
            (a == "--port" ? opt.port : a == "--baud" ? opt.baud : a == "--count" ? opt.count : opt.intervalMs) =
                value;
        } else if (a == "--json") {
            opt.json = true;
        } else if (a == "--watch") {
            opt.watch = true;
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

    std::signal(SIGINT, [](int) { g_interrupted = 1; });
    std::signal(SIGTERM, [](int) { g_interrupted = 1; });

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
