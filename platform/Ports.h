// Where numbered ports live. Port n (1..255) opens the device that "<ports folder>/comN" points to, or
// /dev/ttyUSB<n-1> when that link does not exist. The library, the manager and the modem stand-in all resolve
// ports through these functions, so a number found by one opens the same node in another.
#pragma once

#include <string>

namespace velmo::platform {

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 255;

// $VELMO_PORTS_DIR, else $XDG_RUNTIME_DIR/velmo/ports, else /tmp/velmo-<uid>/ports.
std::string PortsDirectory();

// "<ports folder>/comN" (whether or not it exists).
std::string PortLinkPath(int port);

// The device node that port n opens: the link when present, otherwise /dev/ttyUSB<n-1>. Empty for a number
// outside 1..255.
std::string ResolvePort(int port);

// Creates the ports folder (mode 0700) with its parents; true when it exists afterwards.
bool EnsurePortsDirectory();

}  // namespace velmo::platform
