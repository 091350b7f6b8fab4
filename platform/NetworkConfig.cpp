#include "NetworkConfig.h"

#include <cstdlib>

namespace velmo::platform {

namespace {

uint16_t PortFromEnv(const char* name, uint16_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (end != text && *end == '\0' && v > 0 && v < 65536) ? static_cast<uint16_t>(v) : fallback;
}

}  // namespace

NetworkConfig CurrentNetworkConfig() {
    NetworkConfig c;
    const char* address = std::getenv("VELMO_DISCOVERY_ADDRESS");
    c.discoveryAddress = (address != nullptr && *address != '\0') ? address : kDefaultDiscoveryAddress;
    c.discoveryPort = PortFromEnv("VELMO_DISCOVERY_PORT", kDefaultDiscoveryPort);
    c.replyPort = PortFromEnv("VELMO_DISCOVERY_REPLY_PORT", kDefaultDiscoveryReplyPort);
    c.dataPort = PortFromEnv("VELMO_DATA_PORT", kDefaultDataPort);
    return c;
}

}  // namespace velmo::platform
