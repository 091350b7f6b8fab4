// The modem's AT ports as udev shows them, on a fake sysfs (umockdev). Run under umockdev-wrapper.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstdlib>
#include <cstring>

#include "platform/dialup/Devices.h"

namespace velmo::dialup {
namespace {

class UdevTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (preload == nullptr || std::strstr(preload, "umockdev") == nullptr) {
            GTEST_SKIP() << "needs umockdev-wrapper";
        }
        bed_ = umockdev_testbed_new();
    }
    void TearDown() override {
        if (bed_ != nullptr) {
            g_object_unref(bed_);
        }
    }

    // A USB device with one tty per interface name.
    void AddDevice(const char* name, const char* vendor, const char* product,
                   const std::vector<std::string>& interfaces) {
        gchar* usb = umockdev_testbed_add_device(bed_, "usb", name, nullptr, "idVendor", vendor, "idProduct",
                                                 product, nullptr, "DEVTYPE", "usb_device", nullptr);
        for (size_t i = 0; i < interfaces.size(); ++i) {
            const std::string ifName = std::string(name) + ":1." + std::to_string(i);
            const std::string number = "0" + std::to_string(i);
            gchar* iface = umockdev_testbed_add_device(
                bed_, "usb", ifName.c_str(), usb, "interface", interfaces[i].c_str(), "bInterfaceNumber",
                number.c_str(), nullptr, "DEVTYPE", "usb_interface", nullptr);
            const std::string tty = "ttyUSB" + std::to_string(ttys_++);
            const std::string node = "/dev/" + tty;
            g_free(umockdev_testbed_add_device(bed_, "tty", tty.c_str(), iface, nullptr, "DEVNAME",
                                               node.c_str(), nullptr));
            g_free(iface);
        }
        g_free(usb);
    }

    UMockdevTestbed* bed_ = nullptr;
    int ttys_ = 0;
};

TEST_F(UdevTest, ModemPortsButNotTheDiagnosticOne) {
    AddDevice("1-1", "1726", "1000", {"Brivanta Diagnostic Port", "Brivanta Modem"});
    AddDevice("1-2", "1726", "3197", {"Brivanta Diagnostics Interface 3197", ""});
    AddDevice("1-3", "12d1", "1000", {"Other Modem"});     // another maker
    AddDevice("1-4", "1726", "4000", {"Brivanta Modem"});  // a product we do not serve
    const std::vector<DialDevice> devices = ListUdevModems();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].type, "modem");
    EXPECT_EQ(devices[0].name, "Brivanta Modem (interface 01)");
    EXPECT_EQ(devices[0].tty, "/dev/ttyUSB1");
    // An interface without a useful name still gets one the service prefers.
    EXPECT_EQ(devices[1].name, "Brivanta USB Modem (interface 01)");
    EXPECT_EQ(devices[1].tty, "/dev/ttyUSB3");
}

TEST_F(UdevTest, NothingWithoutTheModem) {
    AddDevice("1-3", "12d1", "1000", {"Other Modem"});
    EXPECT_TRUE(ListUdevModems().empty());
}

}  // namespace
}  // namespace velmo::dialup
