// Where numbered ports live. Port n (1..255) opens the device that "<ports folder>/comN" points to, or
// /dev/ttyUSB<n-1> when that link does not exist. The library, the manager and the modem stand-in all resolve
// ports through these functions, so a number found by one opens the same node in another.
#pragma once

#include <string>
#include <vector>

namespace velmo::platform {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 255;

// $VELMO_PORTS_DIR, else $XDG_RUNTIME_DIR/velmo/ports, else /tmp/velmo-<uid>/ports.
std::string PortsDirectory();

// $XDG_STATE_HOME, else $HOME/.local/state, else /tmp/velmo-<uid>/state: where state kept across runs goes.
std::string StateHome();

// "<ports folder>/comN" (whether or not it exists).
std::string PortLinkPath(int port);

// The device node that port n opens: the link when present, otherwise /dev/ttyUSB<n-1>. Empty for a number
// outside 1..255.
std::string ResolvePort(int port);

// Creates the ports folder (mode 0700) with its parents; true when it exists afterwards.
bool EnsurePortsDirectory();

// Modems published in the ports folder for the dial-up service: "<ports folder>/modemN" links to the modem's
// AT tty, and "<ports folder>/modemN.name" may hold its device name (first line). Without that file the name
// is PublishedModemName(N). The dial-up service prefers a device whose name contains kModemNameMarker.
inline constexpr const char* kModemNameMarker = "Brivanta";
inline constexpr size_t kMaxModemNameLength = 128;

struct PublishedModem {
    int number = 0;
    std::string name;
    std::string link;  // "<ports folder>/modemN"
};

std::string ModemLinkPath(int number);
std::string ModemNamePath(int number);
// "Brivanta Modem N".
std::string PublishedModemName(int number);
// The published modems whose link leads to an existing node, by number.
std::vector<PublishedModem> ListPublishedModems();
// Publishes tty as the first free modem number (a link pointing nowhere counts as free) with the given device
// name (empty: PublishedModemName). Returns the number, 0 on failure.
int PublishModem(const std::string& tty, const std::string& name = {});
void UnpublishModem(int number);

}  // namespace velmo::platform
