// pppd's log lines, as it writes them to its log descriptor: the events the dialling session follows. Each
// pattern is one of pppd's own message formats, so a test can check that pppd still prints it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace velmo::dialup {

enum class PppdEvent {
    None,
    Interface,  // value: the interface name
    LinkUp,     // the serial link carries PPP; LCP and authentication follow
    AuthSucceeded,
    AuthFailed,
    LocalAddress,   // value: our IP address; IP is up
    RemoteAddress,  // value: the peer's address
    CarrierLost,
    Terminated,
    TerminatingOnSignal,
    NoKernelSupport,
    PrivilegeRefused,  // an option needs root
    LinkDead,          // the peer stopped answering
};

struct PppdPattern {
    const char* format;  // pppd's format: %s %d %I %m %q %v and %0.*v stand for text pppd fills in
    PppdEvent event;
};

std::span<const PppdPattern> PppdPatterns();

struct PppdLogLine {
    PppdEvent event = PppdEvent::None;
    std::string value;  // what the first placeholder matched
};

// One line without its newline. pppd's name in front of option errors ("pppd: ...") and a server's message
// after a known line ("...: Welcome") are looked through.
PppdLogLine ParsePppdLine(std::string_view line);

// Whole-line match of a pppd format; captured gets the first placeholder's text.
bool MatchPppdFormat(std::string_view format, std::string_view line, std::string* captured);

}  // namespace velmo::dialup
