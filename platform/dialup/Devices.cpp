#include "Devices.h"

#include <libudev.h>

#include <algorithm>
#include <cstring>

#include "platform/Ports.h"

namespace velmo::dialup {

namespace {

std::string Attribute(udev_device* dev, const char* name) {
    const char* value = dev != nullptr ? udev_device_get_sysattr_value(dev, name) : nullptr;
    std::string text = value != nullptr ? value : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool IsModemProduct(const std::string& vendor, const std::string& product) {
    if (strcasecmp(vendor.c_str(), kModemVendorId) != 0) {
        return false;
    }
    return std::any_of(std::begin(kModemProductIds), std::end(kModemProductIds),
                       [&](const char* id) { return strcasecmp(product.c_str(), id) == 0; });
}

}  // namespace

std::vector<DialDevice> ListUdevModems() {
    std::vector<DialDevice> devices;
    udev* u = udev_new();
    if (u == nullptr) {
        return devices;
    }
    udev_enumerate* e = udev_enumerate_new(u);
    if (e != nullptr) {
        udev_enumerate_add_match_subsystem(e, "tty");
        udev_enumerate_scan_devices(e);
        for (udev_list_entry* item = udev_enumerate_get_list_entry(e); item != nullptr;
             item = udev_list_entry_get_next(item)) {
            udev_device* tty = udev_device_new_from_syspath(u, udev_list_entry_get_name(item));
            if (tty == nullptr) {
                continue;
            }
            // Parents belong to the child device and are freed with it.
            udev_device* usbDevice = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
            udev_device* usbInterface =
                udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
            const char* node = udev_device_get_devnode(tty);
            if (usbDevice != nullptr && node != nullptr &&
                IsModemProduct(Attribute(usbDevice, "idVendor"), Attribute(usbDevice, "idProduct"))) {
                const std::string iface = Attribute(usbInterface, "interface");
                if (iface.rfind(kDiagnosticInterfacePrefix, 0) != 0) {
                    std::string name = iface.find(platform::kModemNameMarker) != std::string::npos
                                           ? iface
                                           : std::string(platform::kModemNameMarker) + " USB Modem";
                    if (const std::string number = Attribute(usbInterface, "bInterfaceNumber");
                        !number.empty()) {
                        name += " (interface " + number + ")";
                    }
                    if (name.size() > platform::kMaxModemNameLength) {
                        name.resize(platform::kMaxModemNameLength);
                    }
                    devices.push_back(DialDevice{kDeviceTypeModem, name, node});
                }
            }
            udev_device_unref(tty);
        }
        udev_enumerate_unref(e);
    }
    udev_unref(u);
    return devices;
}

std::vector<DialDevice> ListPublishedModems() {
    std::vector<DialDevice> devices;
    for (const platform::PublishedModem& m : platform::ListPublishedModems()) {
        devices.push_back(DialDevice{kDeviceTypeModem, m.name, m.link});
    }
    return devices;
}

}  // namespace velmo::dialup
