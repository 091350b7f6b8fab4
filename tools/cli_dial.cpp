// Dial-up commands of velmo-cli: dial, hangup, entries, stats, entry create|show|delete. They use the dial-up
// service through the library (the modem's AT port), never the diagnostic port.
#include <termios.h>
#include <unistd.h>
#include <algorithm>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

#include "CliCommon.h"
#include "platform/dialup/DialErrors.h"

namespace velmo::cli {

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kStateConnected = 0x2000;
constexpr uint32_t kStateDisconnected = 0x2001;

const char* StateName(uint32_t state) {
    switch (state) {
        case 0:
            return "opening port";
        case 1:
            return "port opened";
        case 2:
            return "connecting device";
        case 3:
            return "device connected";
        case 4:
            return "all devices connected";
        case 5:
            return "authenticating";
        case 6:
            return "authentication notify";
        case 14:
            return "authenticated";
        case kStateConnected:
            return "connected";
        case kStateDisconnected:
            return "disconnected";
        default:
            return "";
    }
}

// The dial runs on the dial-up service's thread; its callback is a plain function.
struct DialWatch {
    std::mutex mutex;
    std::condition_variable cv;
    bool json = false;
    bool connected = false;
    bool ended = false;
    uint32_t error = 0;
};
DialWatch g_watch;

uint32_t OnDialState(uintptr_t, uint32_t, uint32_t state, uint32_t error, uint32_t extended) {
    std::lock_guard lock(g_watch.mutex);
    if (g_watch.json) {
        Json j;
        j.Num("state", state).Str("name", StateName(state));
        if (error != 0) {
            j.Num("error", error)
                .Str("text", dialup::DialErrorText(static_cast<int>(error)))
                .Num("detail", extended);
        }
        std::printf("%s\n", j.Text().c_str());
    } else if (error != 0) {
        std::printf("error %u: %s\n", error, dialup::DialErrorText(static_cast<int>(error)).c_str());
    } else {
        std::printf("%u %s\n", state, StateName(state));
    }
    std::fflush(stdout);
    g_watch.connected = g_watch.connected || state == kStateConnected;
    if (error != 0 || state == kStateDisconnected) {
        g_watch.ended = true;
        g_watch.error = error;
    }
    g_watch.cv.notify_all();
    return 1;
}

// Options after the command's own arguments: "--name VALUE" pairs and bare flags.
bool TakeFlag(std::vector<std::string>& args, const char* name) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == name) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

bool TakeValue(std::vector<std::string>& args, const char* name, std::string& value) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == name && it + 1 != args.end()) {
            value = *(it + 1);
            args.erase(it, it + 2);
            return true;
        }
    }
    return false;
}

// The password comes from stdin (without echo on a terminal), never from the command line, where every user
// could read it.
std::string ReadPassword() {
    termios old{};
    const bool terminal = isatty(STDIN_FILENO) != 0 && tcgetattr(STDIN_FILENO, &old) == 0;
    if (terminal) {
        std::fprintf(stderr, "Password: ");
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
        std::fprintf(stderr, "\n");
    }
    return password;
}

bool ReadSettings(IOrvikModem& modem, const std::string& name, DialSettingsRecord& r, int32_t& result) {
    r = DialSettingsRecord{};
    std::memcpy(r.EntryName, name.data(), std::min(name.size(), sizeof r.EntryName));
    result = modem.GetDialSettings(&r);
    return result == 0;
}

int CmdDial(IOrvikModem& modem, const Options& opt) {
    std::vector<std::string> args(opt.args.begin() + 1, opt.args.end());
    const bool askPassword = TakeFlag(args, "--password");
    if (args.size() != 1) {
        std::fprintf(stderr, "velmo-cli: dial needs one entry name\n");
        return 2;
    }
    DialSettingsRecord r;
    int32_t result = 0;
    if (!ReadSettings(modem, args[0], r, result)) {
        return Fail(opt, "no such dial-up entry", result);
    }
    const std::string password = askPassword ? ReadPassword() : std::string(r.Password);
    {
        std::lock_guard lock(g_watch.mutex);
        g_watch.json = opt.json;
    }
    modem.Dial(&OnDialState, args[0].c_str(), r.PhoneNumber, r.UserName, password.c_str());
    std::unique_lock lock(g_watch.mutex);
    bool announced = false;
    bool hungUp = false;
    while (!g_watch.ended) {
        g_watch.cv.wait_for(lock, 100ms);
        if (g_watch.connected && !announced && !opt.json) {
            std::printf("(Ctrl-C hangs up)\n");
            std::fflush(stdout);
            announced = true;
        }
        if (g_interrupted != 0 && !hungUp) {
            hungUp = true;
            lock.unlock();
            const int32_t hangUp = modem.HangUp(0);
            lock.lock();
            if (hangUp != 0 && !g_watch.ended) {
                return Fail(opt, "the connection could not be hung up", hangUp);
            }
            break;
        }
    }
    return g_watch.error != 0 ? 1 : 0;
}

int CmdHangUp(IOrvikModem& modem, const Options& opt) {
    const int32_t result = modem.HangUp(0);
    if (result != 0) {
        return Fail(opt, "no connection to hang up, or it would not go", result);
    }
    if (opt.json) {
        std::printf("%s\n", Json().Bool("hungUp", true).Text().c_str());
    } else {
        std::printf("hung up\n");
    }
    return 0;
}

int CmdEntries(IOrvikModem& modem, const Options& opt) {
    std::vector<uint8_t> list(1 + 50 * kDialEntrySlotSize);
    const int32_t result = modem.EnumDialEntries(list.data());
    if (result != 0) {
        return Fail(opt, "the phonebook could not be read", result);
    }
    std::string names;
    for (size_t i = 0; i < list[0]; ++i) {
        const char* slot = reinterpret_cast<const char*>(&list[1 + i * kDialEntrySlotSize]);
        const std::string name(slot, strnlen(slot, kDialEntrySlotSize));
        if (opt.json) {
            names += (names.empty() ? "" : ",") + Json::Quote(name);
        } else {
            std::printf("%s\n", name.c_str());
        }
    }
    if (opt.json) {
        std::printf("%s\n", Json().Raw("entries", "[" + names + "]").Text().c_str());
    }
    return 0;
}

int CmdStats(IOrvikModem& modem, const Options& opt) {
    ConnectionStatistics s{};
    const int32_t result = modem.GetConnectionStatistics(&s);
    if (result != 0) {
        return Fail(opt, "no statistics", result);
    }
    if (s.Size == 0) {
        if (opt.json) {
            std::printf("%s\n", Json().Bool("connected", false).Text().c_str());
        } else {
            std::printf("no connection\n");
        }
        return 0;
    }
    Json j;
    j.Bool("connected", true)
        .Num("bytesSent", s.BytesSent)
        .Num("bytesReceived", s.BytesReceived)
        .Num("framesSent", s.FramesSent)
        .Num("framesReceived", s.FramesReceived)
        .Num("crcErrors", s.CrcErrors)
        .Num("bps", s.Bps)
        .Num("durationMs", s.ConnectDuration);
    if (opt.json) {
        std::printf("%s\n", j.Text().c_str());
    } else {
        std::printf(
            "connected %u s at %u bit/s\nsent     %u bytes, %u frames\nreceived %u bytes, %u frames\n"
            "errors   %u CRC, %u framing, %u overrun\n",
            s.ConnectDuration / 1000, s.Bps, s.BytesSent, s.FramesSent, s.BytesReceived, s.FramesReceived,
            s.CrcErrors, s.FramingErrors, s.HardwareOverrunErrors + s.BufferOverrunErrors);
    }
    return 0;
}

int CmdEntry(IOrvikModem& modem, const Options& opt) {
    std::vector<std::string> args(opt.args.begin() + 1, opt.args.end());
    const std::string action = args.empty() ? "" : args[0];
    if (action == "create") {
        std::string user;
        std::string area;
        TakeValue(args, "--user", user);
        const bool useArea = TakeValue(args, "--area", area);
        const bool savePassword = TakeFlag(args, "--save-password");
        const std::string password = TakeFlag(args, "--password") ? ReadPassword() : std::string();
        if (args.size() != 3) {
            std::fprintf(stderr, "velmo-cli: entry create needs a name and a number\n");
            return 2;
        }
        const int32_t result =
            modem.SetConnectionParameters(args[1].c_str(), args[2].c_str(), user.c_str(), password.c_str(),
                                          area.c_str(), useArea ? 1 : 0, savePassword ? 1 : 0);
        if (result != 0) {
            return Fail(opt,
                        result == kResultNoModemDevice
                            ? "no modem device for dial-up (is the modem or the stand-in "
                              "there?)"
                            : "the entry could not be created",
                        result);
        }
        // New entries allow every authentication method the modem's network may ask for.
        modem.SetEntryAuthAny(args[1].c_str());
        std::printf(opt.json ? "{\"created\":true}\n" : "entry created\n");
        return 0;
    }
    if ((action == "show" || action == "delete") && args.size() == 2) {
        if (action == "delete") {
            const int32_t result = modem.DeleteDialEntry(args[1].c_str());
            if (result != 0) {
                return Fail(opt, "no such entry", result);
            }
            std::printf(opt.json ? "{\"deleted\":true}\n" : "entry deleted\n");
            return 0;
        }
        DialSettingsRecord r;
        int32_t result = 0;
        if (!ReadSettings(modem, args[1], r, result)) {
            return Fail(opt, "no such entry", result);
        }
        Json j;
        j.Str("name", args[1])
            .Str("number", r.PhoneNumber)
            .Str("device", r.DeviceName)
            .Str("user", r.UserName)
            .Bool("passwordSaved", r.PasswordSaved != 0)
            .Bool("useAreaCode", r.UseAreaCode != 0)
            .Str("areaCode", r.AreaCode)
            .Num("countryCode", r.CountryCode);
        if (opt.json) {
            std::printf("%s\n", j.Text().c_str());
        } else {
            std::printf(
                "entry     %s\nnumber    %s\ndevice    %s\nuser      %s\npassword  %s\narea code %s\n",
                args[1].c_str(), r.PhoneNumber, r.DeviceName, r.UserName,
                r.PasswordSaved != 0 ? "(saved)" : "(not saved)",
                r.UseAreaCode != 0 ? r.AreaCode : "(not used)");
        }
        return 0;
    }
    std::fprintf(stderr, "velmo-cli: entry create|show|delete NAME ...\n");
    return 2;
}

}  // namespace

std::vector<Command> DialCommands() {
    return {
        {"dial",
         "dial ENTRY           dial an entry, printing each state; Ctrl-C hangs up (--password: ask for it)",
         CmdDial},
        {"hangup", "hangup               hang up the modem's connection", CmdHangUp},
        {"entries", "entries              list the dial-up entries (the first 50 by name)", CmdEntries},
        {"stats", "stats                statistics of the modem's connection", CmdStats},
        {"entry",
         "entry create|show|delete NAME  dial-up entries; create takes NUMBER [--user U] [--password] "
         "[--save-password] [--area CODE]",
         CmdEntry},
    };
}

}  // namespace velmo::cli
