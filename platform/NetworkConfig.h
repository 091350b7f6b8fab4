// Addresses and ports of the Ethernet unit's discovery and data connection. Each can be overridden from the
// environment so that tests and the demo stay on loopback.
#pragma once

#include <cstdint>
#include <string>

namespace velmo::platform {

inline constexpr const char* kDefaultDiscoveryAddress = "255.255.255.255";
inline constexpr uint16_t kDefaultDiscoveryPort = 2109;
inline constexpr uint16_t kDefaultDiscoveryReplyPort = 2110;
inline constexpr uint16_t kDefaultDataPort = 9734;

struct NetworkConfig {
    std::string discoveryAddress;  // $VELMO_DISCOVERY_ADDRESS
    uint16_t discoveryPort;        // $VELMO_DISCOVERY_PORT: the unit listens here for "GETD2IP"
    uint16_t replyPort;            // $VELMO_DISCOVERY_REPLY_PORT: the host listens here for the answer
    uint16_t dataPort;             // $VELMO_DATA_PORT: the unit's TCP port for the diagnostic stream
};

NetworkConfig CurrentNetworkConfig();

}  // namespace velmo::platform
