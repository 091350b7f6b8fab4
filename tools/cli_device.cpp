// Device commands of velmo-cli: version, open, raw60, status, rf, time, reset, offline.
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "CliCommon.h"
#include "platform/Ports.h"
#include "wire/LeCursor.h"

namespace velmo::cli {

namespace {

int CmdVersion(IOrvikModem& modem, const Options&) {
    const char* text = nullptr;
    const int32_t result = modem.GetLibraryVersion(&text);
    std::printf("library version %s\n", text != nullptr ? text : "?");
    return ExitFromResult(result);
}

int CmdOpen(IOrvikModem& modem, const Options& opt) {
    double ms = 0;
    const int32_t result = OpenModem(modem, opt, &ms);
    if (result == kResultOk) {
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
    if (const int32_t result = OpenModem(modem, opt); result != kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    uint8_t reply[kRequest60ReplySize] = {};
    const int32_t result = modem.SendRequest60(packet.data(), static_cast<int32_t>(packet.size()), reply);
    if (result == kResultOk) {
        HexDump(reply, sizeof reply);
    } else {
        std::fprintf(stderr,
                     "velmo-cli: request 60 failed (result %d): no reply, or the packet is shorter than "
                     "its sub-command needs\n",
                     result);
    }
    modem.ClosePort();
    return ExitFromResult(result);
}

int CmdStatus(IOrvikModem& modem, const Options& opt) {
    if (const int32_t result = OpenModem(modem, opt); result != kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    ModemStatusRecord r{};
    int32_t results[6];
    // The RF levels come from the modem's log stream: ask for the signal last so they have had time to
    // arrive.
    for (int kind : {0, 1, 2, 4, 5, 3}) {
        results[kind] = modem.QueryStatus(&r, kind);
    }
    modem.ClosePort();
    int32_t worst = kResultOk;
    for (int32_t v : results) {
        if (v != kResultOk) {
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
        j.Str("esn", esn)
            .Num("sid", r.Sid)
            .Num("nid", r.Nid)
            .Num("channel", r.Channel)
            .Num("pilotPn", r.PilotPn);
        j.Num("rssi1xDbm", -static_cast<int>(r.Rssi1x)).Num("rssiEvdoDbm", -static_cast<int>(r.RssiEvdo));
        j.Bool("inService", r.InService != 0).Bool("inTraffic", r.InTraffic != 0).Num("roam", r.Roam);
        j.Str("roaming", tools::RoamName(r.Roam));
        j.Num("rfMode", r.RfMode).Str("rfModeName", tools::RfModeName(r.RfMode));
        j.Num("systemState", r.SystemState).Str("systemStateName", tools::SystemStateName(r.SystemState));
        j.Num("networkKind", r.NetworkKind)
            .Str("network", tools::NetworkKindName(r.NetworkKind, r.InService != 0 || r.EvdoPresent != 0));
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
        std::printf("Roaming           %s\n", tools::RoamName(r.Roam));
        std::printf("Network           %s (%u)\n",
                    tools::NetworkKindName(r.NetworkKind, r.InService != 0 || r.EvdoPresent != 0),
                    r.NetworkKind);
        std::printf("EV-DO present     %s\n", r.EvdoPresent ? "yes" : "no");
        std::printf("RF mode           %u %s\n", r.RfMode, tools::RfModeName(r.RfMode));
        std::printf("System state      %u %s\n", r.SystemState, tools::SystemStateName(r.SystemState));
        std::printf("RX state          %u\n", r.RxState);
        std::printf("PRL version       %u\n", r.PrlVersion);
        std::printf("CAI revision      %u\n", r.CaiRevision);
        std::printf("Firmware revision %s\n", firmware);
        std::printf("Software revision %s\n", software.c_str());
        for (int k = 0; k < 6; ++k) {
            if (results[k] != kResultOk) {
                std::printf("(status kind %d: no answer, result %d)\n", k, results[k]);
            }
        }
    }
    return ExitFromResult(worst);
}

// A pilot set's words up to its 0xFFFF terminator.
std::string PilotList(wire::ConstBytes bytes, bool json) {
    std::string out = json ? "[" : "";
    bool first = true;
    for (wire::LeReader r(bytes); r.remaining() >= 2;) {
        const uint16_t v = r.U16();
        if (v == 0xFFFF) {
            break;
        }
        out += (first ? "" : json ? "," : " ") + std::to_string(v);
        first = false;
    }
    return json ? out + "]" : (out.empty() ? "-" : out);
}

int CmdRf(IOrvikModem& modem, const Options& opt) {
    if (const int32_t result = OpenModem(modem, opt); result != kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    for (int shown = 0; !g_interrupted; ++shown) {
        if (opt.watch || shown == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(opt.intervalMs));
        }
        uint8_t a[kRfBlockASize], b[kRfBlockBSize], c[kRfBlockCSize];
        modem.GetRfBlockA(a);
        modem.GetRfBlockB(b);
        modem.GetRfBlockC(c);
        if (opt.json) {
            Json j;
            j.Num("updates", modem.GetRfUpdateCount()).Num("drcIndex", modem.GetDrcIndex());
            j.Num("level1", modem.GetRfLevel1()).Num("level2", modem.GetRfLevel2());
            j.Num("level3", modem.GetRfLevel3()).Num("level4", modem.GetRfLevel4());
            j.Num("channel", modem.GetRfChannel());
            j.Raw("activeSet", PilotList(a, true)).Raw("activeSetB", PilotList(b, true));
            j.Raw("neighbourSet", PilotList(c, true));
            std::printf("%s\n", j.Text().c_str());
        } else {
            if (opt.watch && isatty(STDOUT_FILENO)) {
                std::printf("\033[H\033[2J");
            }
            std::printf("updates %d  DRC %u  channel %d\n", modem.GetRfUpdateCount(), modem.GetDrcIndex(),
                        modem.GetRfChannel());
            std::printf("levels  %d %d %d dB   rx %d dB\n", modem.GetRfLevel1(), modem.GetRfLevel2(),
                        modem.GetRfLevel3(), modem.GetRfLevel4());
            std::printf("active  %s | %s\n", PilotList(a, false).c_str(), PilotList(b, false).c_str());
            std::printf("neighb. %s\n", PilotList(c, false).c_str());
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
    if (const int32_t result = OpenModem(modem, opt); result != kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    uint8_t out[kModemTimeSize] = {};
    const int32_t result = modem.GetModemTime(out);
    modem.ClosePort();
    if (result != kResultOk) {
        return Fail(opt, "the modem did not tell its time", result);
    }
    const std::string text(reinterpret_cast<const char*>(out + 5),
                           strnlen(reinterpret_cast<const char*>(out + 5), 20));
    if (opt.json) {
        std::printf("%s\n", Json().Str("time", text).Text().c_str());
    } else {
        std::printf("%s\n", text.c_str());
    }
    return 0;
}

int CmdSimple(IOrvikModem& modem, const Options& opt, int32_t (IOrvikModem::*op)(), const char* done,
              const char* failed) {
    if (const int32_t result = OpenModem(modem, opt); result != kResultOk) {
        modem.ClosePort();
        return ExitFromResult(result);
    }
    const int32_t result = (modem.*op)();
    modem.ClosePort();
    if (result != kResultOk) {
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
    return CmdSimple(modem, opt, &IOrvikModem::ResetModem, "modem reset",
                     "the modem did not confirm the reset");
}

int CmdOffline(IOrvikModem& modem, const Options& opt) {
    return CmdSimple(modem, opt, &IOrvikModem::SetOfflineMode, "modem offline",
                     "the modem did not go offline");
}

}  // namespace

std::vector<Command> DeviceCommands() {
    return {
        {"version", "version              library version", CmdVersion},
        {"open", "open                 open the port, run the start-up handshake, report its result and time",
         CmdOpen},
        {"raw60",
         "raw60 HEX            send a request-60 packet (leading 3C optional), print the 128-byte reply",
         CmdRaw60},
        {"status", "status               every status kind, decoded", CmdStatus},
        {"rf", "rf                   the RF snapshot (--watch redraws; --count N, --interval MS)", CmdRf},
        {"time", "time                 the modem's clock", CmdTime},
        {"reset", "reset                reset the modem", CmdReset},
        {"offline", "offline              take the modem offline", CmdOffline},
    };
}

}  // namespace velmo::cli
