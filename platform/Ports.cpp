#include "Ports.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace velmo::platform {

std::string PortsDirectory() {
    if (const char* dir = std::getenv("VELMO_PORTS_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && *run != '\0') {
        return std::string(run) + "/velmo/ports";
    }
    return "/tmp/velmo-" + std::to_string(getuid()) + "/ports";
}

std::string PortLinkPath(int port) {
    return PortsDirectory() + "/com" + std::to_string(port);
}

std::string ResolvePort(int port) {
    if (port < kFirstPort || port > kLastPort) {
        return {};
    }
    const std::string link = PortLinkPath(port);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        return link;
    }
    return "/dev/ttyUSB" + std::to_string(port - 1);
}

bool EnsurePortsDirectory() {
    const std::string dir = PortsDirectory();
    std::string path;
    for (size_t pos = 0; pos != std::string::npos;) {
        pos = dir.find('/', pos + 1);
        path = dir.substr(0, pos);
        if (!path.empty() && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace velmo::platform
