#include "PortDetection.h"

#include <dirent.h>
#include <libudev.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/Ports.h"

namespace velmo::manager {

Q_LOGGING_CATEGORY(lcPorts, "velmo.manager.ports", QtWarningMsg)

namespace {

constexpr const char* kVendorId = "1726";
constexpr std::array<const char*, 4> kProductIds = {"3197", "1000", "2000", "3000"};
// Only their first 20 characters are compared, case-sensitively, so a name that goes on after them still
// matches; both names are longer than that.
constexpr std::array<const char*, 2> kDiagnosticNames = {"Brivanta Diagnostics Interface 3197",
                                                         "Brivanta Diagnostic Port"};
constexpr size_t kDiagnosticNamePrefix = 20;
// Longest attribute text looked at; sysfs ids and interface strings are far shorter.
constexpr size_t kMaxAttributeText = 260;
// Sorts ttys without a readable interface number after every real one (numbers are 0..255).
constexpr int kNoInterfaceNumber = 0x10000;
constexpr const char* kUsbNodePrefix = "/dev/ttyUSB";
constexpr const char* kPortLinkPrefix = "com";

template <auto Release>
struct Unref {
    template <typename T>
    void operator()(T* p) const {
        Release(p);
    }
};
using UdevPtr = std::unique_ptr<udev, Unref<udev_unref>>;
using EnumeratePtr = std::unique_ptr<udev_enumerate, Unref<udev_enumerate_unref>>;
using DevicePtr = std::unique_ptr<udev_device, Unref<udev_device_unref>>;
using DirPtr = std::unique_ptr<DIR, Unref<closedir>>;

// A text that cannot be read is empty.
std::string Bounded(const char* text) {
    return text != nullptr ? std::string(text, strnlen(text, kMaxAttributeText)) : std::string();
}

std::string Attribute(udev_device* dev, const char* name) {
    return dev != nullptr ? Bounded(udev_device_get_sysattr_value(dev, name)) : std::string();
}

bool IsModemProduct(udev_device* usbDevice) {
    const std::string vendor = Attribute(usbDevice, "idVendor");
    const std::string product = Attribute(usbDevice, "idProduct");
    if (strcasecmp(vendor.c_str(), kVendorId) != 0) {
        return false;
    }
    return std::any_of(kProductIds.begin(), kProductIds.end(),
                       [&](const char* id) { return strcasecmp(product.c_str(), id) == 0; });
}

bool IsDiagnosticName(const std::string& name) {
    return std::any_of(kDiagnosticNames.begin(), kDiagnosticNames.end(), [&](const char* diagnostic) {
        return name.size() >= kDiagnosticNamePrefix &&
               name.compare(0, kDiagnosticNamePrefix, diagnostic, kDiagnosticNamePrefix) == 0;
    });
}

// A whole-string number in [min, max]; anything else gives -1.
int ParseNumber(std::string_view text, int min, int max, int base = 10) {
    if (text.empty() || text.size() > 4) {
        return -1;
    }
    int value = 0;
    for (char c : text) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0 || digit >= base) {
            return -1;
        }
        value = value * base + digit;
    }
    return value >= min && value <= max ? value : -1;
}

std::string CanonicalPath(const std::string& path) {
    std::array<char, PATH_MAX> resolved{};
    return realpath(path.c_str(), resolved.data()) != nullptr ? Bounded(resolved.data()) : std::string();
}

// One entry "comN" of the ports folder; port N opens it whatever it is.
struct PortLink {
    int number = 0;
    std::string target;     // the link text, empty when the entry is no link
    std::string canonical;  // where it leads, empty when nowhere
};

std::vector<PortLink> ReadPortsFolder() {
    std::vector<PortLink> links;
    const std::string folder = platform::PortsDirectory();
    const DirPtr dir(opendir(folder.c_str()));
    if (!dir) {
        return links;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name(entry->d_name, strnlen(entry->d_name, sizeof(entry->d_name)));
        if (name.substr(0, 3) != kPortLinkPrefix) {
            continue;
        }
        const int number = ParseNumber(name.substr(3), platform::kFirstPort, platform::kLastPort);
        // Only the spelling PortLinkPath produces ("com7", not "com07") is what port N opens.
        if (number < 0 || name.substr(3) != std::to_string(number)) {
            continue;
        }
        PortLink link;
        link.number = number;
        const std::string path = folder + "/" + std::string(name);
        std::array<char, PATH_MAX> target{};
        const ssize_t length = readlink(path.c_str(), target.data(), target.size() - 1);
        if (length > 0) {
            link.target.assign(target.data(), static_cast<size_t>(length));
        }
        link.canonical = CanonicalPath(path);
        links.push_back(std::move(link));
    }
    std::sort(links.begin(), links.end(),
              [](const PortLink& a, const PortLink& b) { return a.number < b.number; });
    return links;
}

// The port number that opens node by the ports-folder rule; 0 when no number does.
int32_t PortNumberOf(const std::string& node, const std::vector<PortLink>& links) {
    if (node.empty()) {
        return 0;
    }
    const std::string canonical = CanonicalPath(node);
    for (const PortLink& link : links) {
        if (link.target == node || (!canonical.empty() && link.canonical == canonical)) {
            return link.number;
        }
    }
    const std::string_view prefix(kUsbNodePrefix);
    if (node.compare(0, prefix.size(), prefix) != 0) {
        return 0;
    }
    const int index = ParseNumber(std::string_view(node).substr(prefix.size()), 0, platform::kLastPort - 1);
    if (index < 0) {
        return 0;
    }
    // A comN link of that number opens something else.
    const int32_t number = index + 1;
    const bool taken =
        std::any_of(links.begin(), links.end(), [&](const PortLink& l) { return l.number == number; });
    return taken ? 0 : number;
}

// A serial port of one of the modem's USB interfaces.
struct ModemPort {
    int32_t port = 0;
    int interfaceNumber = kNoInterfaceNumber;
    bool diagnostic = false;
    std::string device;  // the USB device's sysfs path
    std::string syspath;
};

// The modem's serial ports present now: one device after another, each by interface number, so that with two
// modems plugged in both candidates come from the same one.
std::vector<ModemPort> ListModemPorts() {
    std::vector<ModemPort> ports;
    const UdevPtr u(udev_new());
    if (!u) {
        return ports;
    }
    const EnumeratePtr e(udev_enumerate_new(u.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return ports;
    }
    const std::vector<PortLink> links = ReadPortsFolder();
    for (udev_list_entry* item = udev_enumerate_get_list_entry(e.get()); item != nullptr;
         item = udev_list_entry_get_next(item)) {
        const DevicePtr tty(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(item)));
        if (!tty) {
            continue;
        }
        // Parents belong to the child and go with it.
        udev_device* usbDevice =
            udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_device");
        if (usbDevice == nullptr || !IsModemProduct(usbDevice)) {
            continue;
        }
        udev_device* usbInterface =
            udev_device_get_parent_with_subsystem_devtype(tty.get(), "usb", "usb_interface");
        ModemPort port;
        port.device = Bounded(udev_device_get_syspath(usbDevice));
        port.syspath = Bounded(udev_device_get_syspath(tty.get()));
        std::string node = Bounded(udev_device_get_devnode(tty.get()));
        if (node.empty()) {
            const std::string name = Bounded(udev_device_get_sysname(tty.get()));
            node = name.empty() ? name : "/dev/" + name;
        }
        port.port = PortNumberOf(node, links);
        const int number = ParseNumber(Attribute(usbInterface, "bInterfaceNumber"), 0, 255, 16);
        port.interfaceNumber = number >= 0 ? number : kNoInterfaceNumber;
        port.diagnostic = IsDiagnosticName(Attribute(usbInterface, "interface"));
        qCDebug(lcPorts) << "modem tty" << node.c_str() << "port" << port.port << "interface"
                         << port.interfaceNumber << (port.diagnostic ? "diagnostic" : "");
        ports.push_back(std::move(port));
    }
    std::sort(ports.begin(), ports.end(), [](const ModemPort& a, const ModemPort& b) {
        return std::tie(a.device, a.interfaceNumber, a.syspath) <
               std::tie(b.device, b.interfaceNumber, b.syspath);
    });
    return ports;
}

bool IsDiagnosticAmong(const std::vector<ModemPort>& ports, int32_t port) {
    if (port < platform::kFirstPort || port > platform::kLastPort) {
        return false;
    }
    return std::any_of(ports.begin(), ports.end(),
                       [&](const ModemPort& p) { return p.port == port && p.diagnostic; });
}

}  // namespace

int32_t FindDiagnosticPort() {
    const std::vector<ModemPort> ports = ListModemPorts();
    if (ports.empty()) {
        return 0;
    }
    // Only the first two candidates count, and the second is preferred.
    const int32_t first = ports[0].port;
    const int32_t second = ports.size() > 1 ? ports[1].port : 0;
    int32_t found = 0;
    if (IsDiagnosticAmong(ports, second)) {
        found = second;
    } else if (IsDiagnosticAmong(ports, first)) {
        found = first;
    }
    qCDebug(lcPorts) << "candidates" << first << second << "diagnostic port" << found;
    return found;
}

bool IsDiagnosticPort(int32_t port) {
    return IsDiagnosticAmong(ListModemPorts(), port);
}

bool DriverReportsDevice(bool automaticPort, int32_t osClass) {
    if (!automaticPort || osClass <= 4) {
        return true;
    }
    const UdevPtr u(udev_new());
    if (!u) {
        return false;
    }
    const EnumeratePtr e(udev_enumerate_new(u.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "usb") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        return false;
    }
    for (udev_list_entry* item = udev_enumerate_get_list_entry(e.get()); item != nullptr;
         item = udev_list_entry_get_next(item)) {
        const DevicePtr dev(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(item)));
        const char* type = dev ? udev_device_get_devtype(dev.get()) : nullptr;
        if (type != nullptr && strcmp(type, "usb_device") == 0 && IsModemProduct(dev.get())) {
            return true;
        }
    }
    return false;
}

}  // namespace velmo::manager
