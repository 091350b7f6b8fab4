#include "PppdLog.h"

#include <array>
#include <cctype>

namespace velmo::dialup {

namespace {

constexpr std::array kPatterns{
    PppdPattern{"Using interface %s", PppdEvent::Interface},
    PppdPattern{"Connect: %s <--> %s", PppdEvent::LinkUp},
    // Failures first: a server's failure message may itself end in "authentication succeeded".
    PppdPattern{"PAP authentication failed", PppdEvent::AuthFailed},
    PppdPattern{"CHAP authentication failed", PppdEvent::AuthFailed},
    PppdPattern{"MS-CHAP authentication failed: %v", PppdEvent::AuthFailed},
    PppdPattern{"%s authentication succeeded", PppdEvent::AuthSucceeded},
    PppdPattern{"CHAP authentication succeeded", PppdEvent::AuthSucceeded},
    PppdPattern{"local  IP address %I", PppdEvent::LocalAddress},
    PppdPattern{"remote IP address %I", PppdEvent::RemoteAddress},
    PppdPattern{"Modem hangup", PppdEvent::CarrierLost},
    PppdPattern{"Hangup (SIGHUP)", PppdEvent::CarrierLost},
    PppdPattern{"Connection terminated.", PppdEvent::Terminated},
    PppdPattern{"Terminating on signal %d", PppdEvent::TerminatingOnSignal},
    PppdPattern{"Couldn't open the /dev/ppp device: %m", PppdEvent::NoKernelSupport},
    PppdPattern{"using the %s%s requires root privilege", PppdEvent::PrivilegeRefused},
    PppdPattern{"No response to %d echo-requests", PppdEvent::LinkDead},
    PppdPattern{"Serial link appears to be disconnected.", PppdEvent::LinkDead},
};

// Placeholder at format[f] ('%' already seen at f): its length in the format and the kind of text it takes.
// 'd' digits, 'I' an address, 'x' anything.
size_t Placeholder(std::string_view format, size_t f, char& kind) {
    if (format.substr(f, 5) == "%0.*v") {
        kind = 'x';
        return 5;
    }
    if (f + 1 < format.size()) {
        switch (format[f + 1]) {
            case 'd':
                kind = 'd';
                return 2;
            case 'I':
                kind = 'I';
                return 2;
            case 's':
            case 'm':
            case 'q':
            case 'v':
                kind = 'x';
                return 2;
            default:
                break;
        }
    }
    return 0;
}

bool Fits(char kind, char c) {
    switch (kind) {
        case 'd':
            return std::isdigit(static_cast<unsigned char>(c)) != 0 || c == '-';
        case 'I':
            return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == '.' || c == ':';
        default:
            return true;
    }
}

// Backtracking match; formats have at most two placeholders, so the cost stays small.
bool Match(std::string_view format, size_t f, std::string_view line, size_t l) {
    while (f < format.size()) {
        char kind = 0;
        const size_t width = format[f] == '%' ? Placeholder(format, f, kind) : 0;
        if (width == 0) {
            if (l >= line.size() || line[l] != format[f]) {
                return false;
            }
            ++f;
            ++l;
            continue;
        }
        // A placeholder takes at least one character, and as few as the rest of the format allows.
        for (size_t end = l + 1; end <= line.size() && Fits(kind, line[end - 1]); ++end) {
            if (Match(format, f + width, line, end)) {
                return true;
            }
        }
        return false;
    }
    return l == line.size();
}

bool MatchWithCapture(std::string_view format, std::string_view line, std::string* captured) {
    const size_t first = format.find('%');
    char kind = 0;
    const size_t width = first == std::string_view::npos ? 0 : Placeholder(format, first, kind);
    if (width == 0) {
        return Match(format, 0, line, 0);
    }
    if (line.substr(0, first) != format.substr(0, first)) {
        return false;
    }
    for (size_t end = first + 1; end <= line.size() && Fits(kind, line[end - 1]); ++end) {
        if (Match(format, first + width, line, end)) {
            if (captured != nullptr) {
                *captured = std::string(line.substr(first, end - first));
            }
            return true;
        }
    }
    return false;
}

}  // namespace

std::span<const PppdPattern> PppdPatterns() {
    return kPatterns;
}

bool MatchPppdFormat(std::string_view format, std::string_view line, std::string* captured) {
    return MatchWithCapture(format, line, captured);
}

PppdLogLine ParsePppdLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
        line.remove_suffix(1);
    }
    // The whole line; without pppd's name in front (option errors); and without a server's message that pppd
    // appends after ": " ("CHAP authentication succeeded: Welcome").
    std::string_view candidates[3] = {line, {}, {}};
    const size_t colon = line.find(": ");
    if (colon != std::string_view::npos && colon > 0) {
        if (line.substr(0, colon).find(' ') == std::string_view::npos) {
            candidates[1] = line.substr(colon + 2);
        }
        candidates[2] = line.substr(0, colon);
    }
    for (std::string_view candidate : candidates) {
        if (candidate.empty()) {
            continue;
        }
        for (const PppdPattern& p : kPatterns) {
            PppdLogLine out;
            if (MatchWithCapture(p.format, candidate, &out.value)) {
                out.event = p.event;
                return out;
            }
        }
    }
    return {};
}

}  // namespace velmo::dialup
