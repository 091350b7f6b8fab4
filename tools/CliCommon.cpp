#include "CliCommon.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/NetworkConfig.h"
#include "platform/Ports.h"

namespace velmo::cli {

volatile std::sig_atomic_t g_interrupted = 0;

int ExitFromResult(int32_t result) {
    return result >= 0 && result < 255 ? result : 255;
}

int Fail(const Options& opt, const char* what, int32_t result) {
    if (opt.json) {
        std::printf("%s\n", Json().Str("error", what).Num("result", result).Text().c_str());
    } else {
        std::fprintf(stderr, "velmo-cli: %s (result %d)\n", what, result);
    }
    return ExitFromResult(result);
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

// Explains a failed open in the user's terms. The library only says "could not open" (10) or "handshake
// failed" (11); the client looks at the port itself to tell the cases apart.
namespace {

void ExplainOpenFailure(IOrvikModem& modem, int port, int32_t result) {
    const std::string path = platform::ResolvePort(port);
    switch (result) {
        case kResultBadArgument:
            std::fprintf(stderr, "velmo-cli: no such port: %d (ports are numbered 1 to 255)\n", port);
            return;
        case kResultPortOpenFailed: {
            struct stat st {};
            if (stat(path.c_str(), &st) != 0) {
                std::fprintf(stderr, "velmo-cli: no such port: COM%d (%s does not exist)\n", port,
                             path.c_str());
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
        case kResultHandshakeFailed: {
            // One plain request tells a silent modem from one that answers but refused the handshake.
            uint8_t probe[3] = {0x3C, 0x00, 0x00};
            uint8_t reply[kRequest60ReplySize];
            if (modem.SendRequest60(probe, sizeof probe, reply) == kResultOk) {
                std::fprintf(stderr,
                             "velmo-cli: handshake failed: the modem on COM%d answers but refused the "
                             "start-up handshake\n",
                             port);
            } else {
                std::fprintf(stderr, "velmo-cli: modem silent: no answer on COM%d (%s)\n", port,
                             path.c_str());
            }
            return;
        }
        default:
            std::fprintf(stderr, "velmo-cli: opening COM%d failed with result %d\n", port, result);
    }
}

void ExplainNetworkFailure(IOrvikModem& modem) {
    char address[kDiscoveredAddressSize] = {};
    modem.GetDiscoveredAddress(address);
    const platform::NetworkConfig config = platform::CurrentNetworkConfig();
    if (address[0] == '\0') {
        std::fprintf(
            stderr,
            "velmo-cli: no Ethernet unit: nobody answered the discovery sent to %s:%u, or the unit refused "
            "the connection on port %u\n",
            config.discoveryAddress.c_str(), config.discoveryPort, config.dataPort);
    } else {
        std::fprintf(stderr, "velmo-cli: handshake failed with the Ethernet unit at %s\n", address);
    }
}

}  // namespace

// Opens the port with the handshake; prints the reason and returns the result code on failure.
int32_t OpenModem(IOrvikModem& modem, const Options& opt, double* ms) {
    const auto start = std::chrono::steady_clock::now();
    if (opt.network) {
        const bool opened = modem.OpenNetworkLink(0) != 0;
        if (ms != nullptr) {
            *ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        }
        if (!opened) {
            ExplainNetworkFailure(modem);
            char address[kDiscoveredAddressSize] = {};
            modem.GetDiscoveredAddress(address);
            return address[0] == '\0' ? kResultPortOpenFailed : kResultHandshakeFailed;
        }
        return kResultOk;
    }
    const int32_t result = modem.OpenSerialPort(opt.port, opt.baud);
    const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    if (ms != nullptr) {
        *ms = took.count();
    }
    if (result != kResultOk) {
        ExplainOpenFailure(modem, opt.port, result);
    }
    return result;
}

}  // namespace velmo::cli
