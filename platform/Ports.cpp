#include "Ports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
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

std::string StateHome() {
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg != '\0') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return std::string(home) + "/.local/state";
    }
    return "/tmp/velmo-" + std::to_string(getuid()) + "/state";
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

std::string ModemLinkPath(int number) {
    return PortsDirectory() + "/modem" + std::to_string(number);
}

std::string ModemNamePath(int number) {
    return ModemLinkPath(number) + ".name";
}

std::string PublishedModemName(int number) {
    return std::string(kModemNameMarker) + " Modem " + std::to_string(number);
}

std::vector<PublishedModem> ListPublishedModems() {
    std::vector<PublishedModem> modems;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        PublishedModem modem{n, {}, ModemLinkPath(n)};
        struct stat st {};
        if (stat(modem.link.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) {
            continue;
        }
        std::ifstream in(ModemNamePath(n));
        std::string line;
        if (in && std::getline(in, line)) {
            // Bounded, and without control characters: the name is shown to users and stored in entries.
            if (line.size() > kMaxModemNameLength) {
                line.resize(kMaxModemNameLength);
            }
            for (char& c : line) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    c = ' ';
                }
            }
            modem.name = line;
        }
        if (modem.name.empty()) {
            modem.name = PublishedModemName(n);
        }
        modems.push_back(std::move(modem));
    }
    return modems;
}

namespace {

bool WriteModemName(int number, const std::string& name) {
    const std::string path = ModemNamePath(number);
    const std::string temp = path + ".new." + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const std::string line = name + "\n";
    const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(fd);
    if (!written || rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace

int PublishModem(const std::string& tty, const std::string& name) {
    if (!EnsurePortsDirectory()) {
        return 0;
    }
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        const std::string link = ModemLinkPath(n);
        bool claimed = symlink(tty.c_str(), link.c_str()) == 0;
        struct stat st {};
        // A link left by a publisher that died points nowhere: take its number.
        if (!claimed && errno == EEXIST && stat(link.c_str(), &st) != 0 && errno == ENOENT &&
            unlink(link.c_str()) == 0) {
            claimed = symlink(tty.c_str(), link.c_str()) == 0;
        }
        if (!claimed) {
            continue;
        }
        unlink(ModemNamePath(n).c_str());
        if (!name.empty() && !WriteModemName(n, name)) {
            unlink(link.c_str());
            return 0;
        }
        return n;
    }
    return 0;
}

void UnpublishModem(int number) {
    unlink(ModemNamePath(number).c_str());
    unlink(ModemLinkPath(number).c_str());
}

}  // namespace velmo::platform
