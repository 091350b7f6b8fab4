// Port detection against a fake sysfs (umockdev). The program re-executes itself with umockdev's preload
// library, so it runs the same under ctest, gtest discovery and by hand.
#include <gtest/gtest.h>
#include <link.h>
#include <umockdev.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "manager/core/PortDetection.h"

namespace velmo::manager {
namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";
constexpr const char* kReexecMarker = "VELMO_PORTS_TEST_REEXEC";

bool PreloadActive();

class PortDetectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PreloadActive()) {
            GTEST_SKIP() << "umockdev's preload library could not be loaded";
        }
        bed_ = umockdev_testbed_new();
        ASSERT_NE(bed_, nullptr);
        std::string folder = (std::filesystem::temp_directory_path() / "velmo-ports-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        ports_ = folder;
        setenv("VELMO_PORTS_DIR", ports_.c_str(), 1);
    }
    void TearDown() override {
        if (bed_ != nullptr) {
            g_object_unref(bed_);
        }
        if (!ports_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(ports_, ignored);
            unsetenv("VELMO_PORTS_DIR");
        }
    }

    // A USB device; returns its sysfs path for AddPort.
    std::string AddUsbDevice(const char* vendor, const char* product) {
        const std::string name = "1-" + std::to_string(++devices_);
        gchar* path =
            umockdev_testbed_add_device(bed_, "usb", name.c_str(), nullptr, "idVendor", vendor, "idProduct",
                                        product, nullptr, "DEVTYPE", "usb_device", nullptr);
        std::string result = path != nullptr ? path : "";
        g_free(path);
        return result;
    }

    // A USB interface of the device with one tty named ttyName.
    void AddPort(const std::string& usb, int interfaceNumber, const char* interfaceName,
                 const char* ttyName) {
        char number[8];
        snprintf(number, sizeof(number), "%02x", interfaceNumber);
        const std::string ifName = usb.substr(usb.rfind('/') + 1) + ":1." + std::to_string(interfaceNumber);
        gchar* iface = umockdev_testbed_add_device(bed_, "usb", ifName.c_str(), usb.c_str(), "interface",
                                                   interfaceName, "bInterfaceNumber", number, nullptr,
                                                   "DEVTYPE", "usb_interface", nullptr);
        ASSERT_NE(iface, nullptr);
        const std::string node = std::string("/dev/") + ttyName;
        g_free(umockdev_testbed_add_device(bed_, "tty", ttyName, iface, nullptr, "DEVNAME", node.c_str(),
                                           nullptr));
        g_free(iface);
    }

    void LinkPort(int number, const char* target) {
        const std::string link = ports_ + "/com" + std::to_string(number);
        ASSERT_EQ(symlink(target, link.c_str()), 0) << link;
    }

    UMockdevTestbed* bed_ = nullptr;
    std::string ports_;
    int devices_ = 0;
};

TEST_F(PortDetectionTest, CandidateChoice) {
    EXPECT_EQ(FindDiagnosticPort(), 0) << "no device";

    // A single matching tty: there is no second candidate, so the first is the one.
    const std::string usb = AddUsbDevice("1726", "1000");
    AddPort(usb, 0, "Brivanta Diagnostic Port", "ttyUSB0");
    EXPECT_EQ(FindDiagnosticPort(), 1);

    // Two diagnostic-named ports: the second by interface number wins, not the second by name.
    AddPort(usb, 1, "Brivanta Diagnostics Interface 3197", "ttyUSB4");
    AddPort(usb, 2, "Brivanta Diagnostic Port 3", "ttyUSB2");
    EXPECT_EQ(FindDiagnosticPort(), 5);
}

TEST_F(PortDetectionTest, InterfacesOrderByNumberNotByName) {
    // In sysfs interface 10 ("1-1:1.10") sorts before interface 2 ("1-1:1.2").
    const std::string usb = AddUsbDevice("1726", "1000");
    AddPort(usb, 10, "Brivanta Diagnostic Port", "ttyUSB1");
    AddPort(usb, 2, "Brivanta Diagnostic Port", "ttyUSB0");
    EXPECT_EQ(FindDiagnosticPort(), 2);
}

TEST_F(PortDetectionTest, TwoModemsGiveCandidatesFromOneOfThem) {
    // Ordered by interface number alone, the candidates would be interface 0 of each modem, and the second
    // modem's diagnostic port would be taken for the first modem's.
    const std::string first = AddUsbDevice("1726", "1000");
    const std::string second = AddUsbDevice("1726", "1000");
    AddPort(first, 0, "Brivanta Modem", "ttyUSB0");
    AddPort(second, 0, "Brivanta Diagnostic Port", "ttyUSB2");
    AddPort(first, 1, "Brivanta Diagnostic Port", "ttyUSB1");
    AddPort(second, 1, "Brivanta Modem", "ttyUSB3");
    EXPECT_EQ(FindDiagnosticPort(), 2);
    EXPECT_TRUE(IsDiagnosticPort(3)) << "the other modem's port is still a diagnostic port";
}

TEST_F(PortDetectionTest, FirstCandidateWhenTheSecondIsNotDiagnostic) {
    const std::string usb = AddUsbDevice("1726", "3197");
    AddPort(usb, 1, "Brivanta Modem", "ttyUSB0");
    AddPort(usb, 0, "Brivanta Diagnostics Interface 3197", "ttyUSB1");
    EXPECT_EQ(FindDiagnosticPort(), 2);
}

TEST_F(PortDetectionTest, OnlyTheFirstTwoCandidatesCount) {
    const std::string usb = AddUsbDevice("1726", "2000");
    AddPort(usb, 0, "Brivanta Modem", "ttyUSB0");
    AddPort(usb, 1, "Brivanta NMEA", "ttyUSB1");
    AddPort(usb, 2, "Brivanta Diagnostic Port", "ttyUSB2");
    EXPECT_EQ(FindDiagnosticPort(), 0);
    EXPECT_TRUE(IsDiagnosticPort(3));
}

TEST_F(PortDetectionTest, FriendlyNamesCompareTwentyCharactersCaseSensitively) {
    const std::string usb = AddUsbDevice("1726", "3000");
    AddPort(usb, 0, "Brivanta Diagnostic Port 2", "ttyUSB0");
    AddPort(usb, 1, "Brivanta Diagnostics Interface 3197", "ttyUSB1");
    AddPort(usb, 2, "Brivanta Diagnostics", "ttyUSB2");
    AddPort(usb, 3, "brivanta diagnostic port", "ttyUSB3");
    AddPort(usb, 4, "BRIVANTA DIAGNOSTIC PORT", "ttyUSB4");
    AddPort(usb, 5, "Brivanta Diagnostic", "ttyUSB5");  // 19 characters
    AddPort(usb, 6, "Brivanta Modem", "ttyUSB6");
    AddPort(usb, 7, "", "ttyUSB7");
    EXPECT_TRUE(IsDiagnosticPort(1));
    EXPECT_TRUE(IsDiagnosticPort(2));
    EXPECT_TRUE(IsDiagnosticPort(3));
    for (int port = 4; port <= 8; ++port) {
        EXPECT_FALSE(IsDiagnosticPort(port)) << "port " << port;
    }
    for (int port : {-1, 0, 9, 256}) {
        EXPECT_FALSE(IsDiagnosticPort(port)) << "port " << port;
    }
}

TEST_F(PortDetectionTest, OnlyTheModemsProducts) {
    const char* products[] = {"3197", "1000", "2000", "3000"};
    int tty = 0;
    for (const char* product : products) {
        const std::string name = "ttyUSB" + std::to_string(tty++);
        AddPort(AddUsbDevice("1726", product), 0, "Brivanta Diagnostic Port", name.c_str());
    }
    // Same interface names on other ids. Hex ids compare case-insensitively, so "1726" is vendor 0x1726
    // however it is spelled; these differ in value.
    AddPort(AddUsbDevice("1726", "4000"), 0, "Brivanta Diagnostic Port", "ttyUSB4");
    AddPort(AddUsbDevice("12d1", "1000"), 0, "Brivanta Diagnostic Port", "ttyUSB5");
    AddPort(AddUsbDevice("1727", "3197"), 0, "Brivanta Diagnostic Port", "ttyUSB6");
    AddPort(AddUsbDevice("1726", "31970"), 0, "Brivanta Diagnostic Port", "ttyUSB7");
    for (int port = 1; port <= 4; ++port) {
        EXPECT_TRUE(IsDiagnosticPort(port)) << "port " << port;
    }
    for (int port = 5; port <= 8; ++port) {
        EXPECT_FALSE(IsDiagnosticPort(port)) << "port " << port;
    }
}

TEST_F(PortDetectionTest, TtyOfAnotherVendorIsNoCandidate) {
    // Sorted in, the other vendor's tty would be the first candidate and diagnostic-named.
    AddPort(AddUsbDevice("12d1", "1000"), 0, "Brivanta Diagnostic Port", "ttyUSB0");
    const std::string usb = AddUsbDevice("1726", "1000");
    AddPort(usb, 0, "Brivanta Modem", "ttyUSB1");
    AddPort(usb, 1, "Brivanta Diagnostic Port", "ttyUSB2");
    EXPECT_EQ(FindDiagnosticPort(), 3);
    EXPECT_FALSE(IsDiagnosticPort(1));
}

TEST_F(PortDetectionTest, PortNumbersFollowThePortsFolder) {
    const std::string usb = AddUsbDevice("1726", "1000");
    AddPort(usb, 0, "Brivanta Diagnostic Port", "ttyUSB11");
    EXPECT_EQ(FindDiagnosticPort(), 12);
    EXPECT_TRUE(IsDiagnosticPort(12));

    // A link that leads to the node wins over the ttyUSB number.
    LinkPort(3, "/dev/ttyUSB11");
    EXPECT_EQ(FindDiagnosticPort(), 3);
    EXPECT_TRUE(IsDiagnosticPort(3));
    EXPECT_FALSE(IsDiagnosticPort(12));
}

TEST_F(PortDetectionTest, NoNumberThatWouldOpenAnotherNode) {
    const std::string usb = AddUsbDevice("1726", "1000");
    AddPort(usb, 0, "Brivanta Diagnostic Port", "ttyUSB11");
    AddPort(usb, 1, "Brivanta Diagnostic Port", "ttyACM0");
    // Port 12 opens what com12 leads to, and ttyACM0 has no number without a link.
    LinkPort(12, "/dev/ttyUSB5");
    EXPECT_EQ(FindDiagnosticPort(), 0);
    EXPECT_FALSE(IsDiagnosticPort(12));

    LinkPort(7, "/dev/ttyACM0");
    EXPECT_EQ(FindDiagnosticPort(), 7);
}

TEST_F(PortDetectionTest, DriverReportsDevice) {
    // Not looked at with automatic detection off or on an old system class.
    EXPECT_TRUE(DriverReportsDevice(false, 7));
    EXPECT_TRUE(DriverReportsDevice(true, 4));
    EXPECT_FALSE(DriverReportsDevice(true, 5));

    AddUsbDevice("12d1", "1000");
    AddUsbDevice("1726", "4000");
    EXPECT_FALSE(DriverReportsDevice(true, 7));

    // The device counts without any tty.
    AddUsbDevice("1726", "2000");
    EXPECT_TRUE(DriverReportsDevice(true, 7));
}

// Path of a library loaded into this process whose file name contains name; empty when none is.
std::string LoadedLibrary(const char* name) {
    struct Search {
        const char* name;
        std::string path;
    } search{name, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, s->name) != nullptr) {
                s->path = info->dlpi_name;
                return 1;
            }
            return 0;
        },
        &search);
    return search.path;
}

bool PreloadActive() {
    return !LoadedLibrary("libumockdev-preload.so").empty();
}

void ReexecWithPreload(char** argv) {
    if (PreloadActive() || std::getenv(kReexecMarker) != nullptr) {
        return;
    }
    const char* existing = std::getenv("LD_PRELOAD");
    const std::string original = existing != nullptr ? existing : "";
    // The sanitizer runtime must stay first in the list or it refuses to start.
    std::string preload = LoadedLibrary("/libasan.so");
    if (!preload.empty()) {
        preload += ":";
    }
    preload += kPreload;
    if (!original.empty()) {
        preload += ":" + original;
    }
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv(kReexecMarker, "1", 1);
    execv("/proc/self/exe", argv);
    // Without the preload the tests skip.
    if (original.empty()) {
        unsetenv("LD_PRELOAD");
    } else {
        setenv("LD_PRELOAD", original.c_str(), 1);
    }
}

}  // namespace
}  // namespace velmo::manager

int main(int argc, char** argv) {
    velmo::manager::ReexecWithPreload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
