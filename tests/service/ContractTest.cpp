// The binary contract between libVelmoModem.so and the programs that load it: exported names, the one-object
// rule, the slot order of the interface, result codes and record layouts. The library is loaded the way the
// manager loads it, with dlopen; nothing of the library is linked in.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/PtyModem.h"
#include "transport/ReferenceCodec.h"
#include "velmo/IOrvikModem.h"

namespace {

using namespace std::chrono_literals;
using velmo::IOrvikModem;
using velmo::refcodec::Bytes;
using velmo::testsupport::PortsFolder;
using velmo::testsupport::PtyModem;

constexpr const char* kLibraryPath = VELMO_MODEM_LIBRARY;

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r"); pipe != nullptr) {
        char buf[512];
        size_t got;
        while ((got = fread(buf, 1, sizeof buf, pipe)) > 0) {
            out.append(buf, got);
        }
        pclose(pipe);
    }
    return out;
}

// Names of the defined symbols that nm lists (dynamic table with -D).
std::set<std::string> DefinedSymbols(bool dynamic) {
    std::set<std::string> names;
    std::istringstream lines(Run(std::string("nm ") + (dynamic ? "-D " : "") + "--defined-only '" +
                                 kLibraryPath + "' 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) {
            names.insert(name);
        }
    }
    return names;
}

class Library : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        handle_ = dlopen(kLibraryPath, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        create_ = reinterpret_cast<IOrvikModemCreateFn>(dlsym(handle_, "IOrvikModem_Create"));
        destroy_ = reinterpret_cast<IOrvikModemDestroyFn>(dlsym(handle_, "IOrvikModem_Destroy"));
    }
    static void TearDownTestSuite() {
        if (handle_ != nullptr) {
            dlclose(handle_);
            handle_ = nullptr;
        }
    }
    void SetUp() override {
        ASSERT_NE(create_, nullptr);
        ASSERT_NE(destroy_, nullptr);
    }
    // Every test leaves no object behind, so that the next create in this process starts clean.
    void TearDown() override {
        if (modem_ != nullptr) {
            EXPECT_EQ(destroy_(modem_), 0);
            modem_ = nullptr;
        }
    }
    IOrvikModem* Create() {
        EXPECT_EQ(create_(&modem_), 0);
        EXPECT_NE(modem_, nullptr);
        return modem_;
    }

    static inline void* handle_ = nullptr;
    static inline IOrvikModemCreateFn create_ = nullptr;
    static inline IOrvikModemDestroyFn destroy_ = nullptr;
    IOrvikModem* modem_ = nullptr;
};

TEST_F(Library, ExportsExactlyTheTwoFactoryFunctions) {
    const std::set<std::string> dynamic = DefinedSymbols(true);
    ASSERT_FALSE(dynamic.empty()) << "nm gave nothing for " << kLibraryPath;
    EXPECT_EQ(dynamic, (std::set<std::string>{"IOrvikModem_Create", "IOrvikModem_Destroy"}));

    // Internal functions exist in the library but cannot be looked up.
    const std::set<std::string> all = DefinedSymbols(false);
    for (const char* internal : {"_ZN5velmo7service12ModemService17GetLibraryVersionEPPKc",
                                 "_ZN5velmo7service12ModemServiceC1ERNS_8platform6IClockE"}) {
        if (all.count(internal) != 0) {
            EXPECT_EQ(dlsym(handle_, internal), nullptr) << internal;
        }
    }
}

TEST_F(Library, OneObjectAtATime) {
    IOrvikModem* first = Create();
    ASSERT_NE(first, nullptr);

    int sentinel = 0;
    auto* untouched = reinterpret_cast<IOrvikModem*>(&sentinel);
    IOrvikModem* second = untouched;
    EXPECT_EQ(create_(&second), 1);
    EXPECT_EQ(second, untouched);

    // A pointer that was not handed out, null included, destroys nothing.
    EXPECT_EQ(destroy_(untouched), 5);
    EXPECT_EQ(destroy_(nullptr), 5);
    const char* version = nullptr;
    EXPECT_EQ(first->GetLibraryVersion(&version), 0);  // still alive (ASan would see a use after free)

    EXPECT_EQ(destroy_(first), 0);
    modem_ = nullptr;
    EXPECT_EQ(destroy_(first), 5);    // already gone
    EXPECT_EQ(destroy_(nullptr), 0);  // null matches "no object"

    IOrvikModem* again = Create();
    EXPECT_NE(again, nullptr);
}

// Itanium C++ ABI: a pointer to a virtual member function holds 1 + the byte offset of its vtable slot.
template <class Pmf>
long SlotOf(Pmf pmf) {
    struct Representation {
        uintptr_t ptr;
        ptrdiff_t adj;
    } rep{};
    static_assert(sizeof(Pmf) == sizeof(Representation));
    std::memcpy(&rep, &pmf, sizeof rep);
    if ((rep.ptr & 1) == 0 || rep.adj != 0) {
        return -1;  // not a virtual function of the primary base
    }
    return static_cast<long>((rep.ptr - 1) / sizeof(void*));
}

// A class that adds one operation after the interface's own: its slot counts the interface's vtable entries.
class Extended : public IOrvikModem {
  public:
    virtual int32_t Appended() = 0;
};

TEST(InterfaceLayout, SlotOfEveryOperation) {
    struct Pin {
        const char* name;
        long slot;
        long expected;
    };
#define PIN(fn, n)                       \
    Pin {                                \
#fn, SlotOf(&IOrvikModem::fn), n \
    }
    const Pin pins[] = {
        PIN(GetLastResult, 0),
        PIN(AbortWait, 1),
        PIN(SetNotifyWindow, 2),
        PIN(OpenSerialPort, 3),
        PIN(OpenNetworkLink, 4),
        PIN(ClosePort, 5),
        PIN(Reserved6, 6),
        PIN(Reserved7, 7),
        PIN(Reserved8, 8),
        PIN(Reserved9, 9),
        PIN(Reserved10, 10),
        PIN(Reserved11, 11),
        PIN(Reserved12, 12),
        PIN(Reserved13, 13),
        PIN(Reserved14, 14),
        PIN(Reserved15, 15),
        PIN(Reserved16, 16),
        PIN(Reserved17, 17),
        PIN(Reserved18, 18),
        PIN(Reserved19, 19),
        PIN(Reserved20, 20),
        PIN(Reserved21, 21),
        PIN(Reserved22, 22),
        PIN(Reserved23, 23),
        PIN(ResetModem, 24),
        PIN(GetModemTime, 25),
        PIN(QueryStatus, 26),
        PIN(RequestStatus16, 27),
        PIN(EnableEventReports, 28),
        PIN(SetReportLevel, 29),
        PIN(Reserved30, 30),
        PIN(Reserved31, 31),
        PIN(Reserved32, 32),
        PIN(Reserved33, 33),
        PIN(Reserved34, 34),
        PIN(VerifySpc, 35),
        PIN(ChangeSpc, 36),
        PIN(WriteNamParameter, 37),
        PIN(ReadNamParameter, 38),
        PIN(ReadNvItem, 39),
        PIN(WriteNvItem, 40),
        PIN(QueryBlock34, 41),
        PIN(SendBlock32, 42),
        PIN(DownloadPrl, 43),
        PIN(CreateDialEntry, 44),
        PIN(Dial, 45),
        PIN(HangUp, 46),
        PIN(SetConnectionParameters, 47),
        PIN(DeleteDialEntry, 48),
        PIN(GetConnectionStatistics, 49),
        PIN(ClearConnectionStatistics, 50),
        PIN(GetDialSettings, 51),
        PIN(EnumDialEntries, 52),
        PIN(SetEntryAuthAny, 53),
        PIN(SetEntryAuthAnyNoNbt, 54),
        PIN(SetEntryAuthChap, 55),
        PIN(SetEntryAuthPap, 56),
        PIN(SetEntryAuthPapChap, 57),
        PIN(StorePassword, 58),
        PIN(LoadPassword, 59),
        PIN(Reserved60, 60),
        PIN(GetRfUpdateCount, 61),
        PIN(GetDrcIndex, 62),
        PIN(GetRfLevel4, 63),
        PIN(GetRfLevel1, 64),
        PIN(GetRfLevel2, 65),
        PIN(GetRfLevel3, 66),
        PIN(GetRfChannel, 67),
        PIN(GetRfBlockA, 68),
        PIN(GetRfBlockB, 69),
        PIN(GetRfBlockC, 70),
        PIN(GetLibraryVersion, 71),
        PIN(GetDiscoveredAddress, 72),
        PIN(SendRequest60, 73),
        PIN(SendRequest60Large, 74),
        PIN(Reserved75, 75),
        PIN(UploadUserDataFile, 76),
        PIN(SetOfflineMode, 77),
        PIN(FormatTimeStamp, 78),
    };
#undef PIN
    EXPECT_EQ(std::size(pins), 79u);
    for (const Pin& p : pins) {
        EXPECT_EQ(p.slot, p.expected) << p.name;
    }
    // The destructor takes the next slot (two entries in this ABI: complete and deleting), and nothing
    // follows.
    EXPECT_EQ(SlotOf(&Extended::Appended), 79 + 2);
}

TEST(InterfaceLayout, ResultCodes) {
    EXPECT_EQ(velmo::kResultOk, 0);
    EXPECT_EQ(velmo::kResultAlreadyCreated, 1);
    EXPECT_EQ(velmo::kResultNoModemDevice, 2);
    EXPECT_EQ(velmo::kResultNoEngine, 3);
    EXPECT_EQ(velmo::kResultBadArgument, 5);
    EXPECT_EQ(velmo::kResultDeleteEntryFailed, 6);
    EXPECT_EQ(velmo::kResultNoReply, 9);
    EXPECT_EQ(velmo::kResultPortOpenFailed, 10);
    EXPECT_EQ(velmo::kResultHandshakeFailed, 11);
    EXPECT_EQ(velmo::kResultServiceParameterFailed, 19);
    EXPECT_EQ(velmo::kResultFailed, 0xFFFF);

    // The messages posted to the notification target.
    EXPECT_EQ(velmo::kModemReportMessage, 0x464u);
    EXPECT_EQ(velmo::kPrlProgressMessage, 0x465u);
}

TEST(InterfaceLayout, Records) {
    using velmo::ModemStatusRecord;
    EXPECT_EQ(sizeof(ModemStatusRecord), 88u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Leading), 0u);
    EXPECT_EQ(offsetof(ModemStatusRecord, ZeroWord), 3u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Rssi1x), 5u);
    EXPECT_EQ(offsetof(ModemStatusRecord, RssiEvdo), 6u);
    EXPECT_EQ(offsetof(ModemStatusRecord, InService), 7u);
    EXPECT_EQ(offsetof(ModemStatusRecord, InTraffic), 8u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Roam), 9u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Flag10), 10u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Flag11), 11u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Sid), 12u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Nid), 14u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Channel), 16u);
    EXPECT_EQ(offsetof(ModemStatusRecord, RfMode), 18u);
    EXPECT_EQ(offsetof(ModemStatusRecord, PilotPn), 19u);
    EXPECT_EQ(offsetof(ModemStatusRecord, PrlVersion), 21u);
    EXPECT_EQ(offsetof(ModemStatusRecord, CaiRevision), 23u);
    EXPECT_EQ(offsetof(ModemStatusRecord, FirmwareRevision), 24u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Flag26), 26u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Flag27), 27u);
    EXPECT_EQ(offsetof(ModemStatusRecord, SystemState), 28u);
    EXPECT_EQ(offsetof(ModemStatusRecord, NetworkKind), 29u);
    EXPECT_EQ(offsetof(ModemStatusRecord, Esn), 31u);
    EXPECT_EQ(offsetof(ModemStatusRecord, EvdoPresent), 35u);
    EXPECT_EQ(offsetof(ModemStatusRecord, RxState), 36u);
    EXPECT_EQ(offsetof(ModemStatusRecord, SoftwareRevision), 38u);
    EXPECT_EQ(sizeof(ModemStatusRecord::SoftwareRevision), 50u);

    EXPECT_EQ(sizeof(velmo::NamParameterRecord), 130u);
    EXPECT_EQ(offsetof(velmo::NamParameterRecord, Code), 3u);
    EXPECT_EQ(offsetof(velmo::NamParameterRecord, Value), 4u);
    EXPECT_EQ(sizeof(velmo::ConnectionStatistics), 60u);
    EXPECT_EQ(sizeof(velmo::DialSettingsRecord), 1065u);

    // Caller buffer sizes of the operations.
    EXPECT_EQ(velmo::kModemTimeSize, 25u);
    EXPECT_EQ(velmo::kNamParameterReplySize, 131u);
    EXPECT_EQ(velmo::kNvItemSize, 128u);
    EXPECT_EQ(velmo::kBlock34Size, 107u);
    EXPECT_EQ(velmo::kPasswordSize, 32u);
    EXPECT_EQ(velmo::kRfBlockASize, 14u);
    EXPECT_EQ(velmo::kRfBlockBSize, 14u);
    EXPECT_EQ(velmo::kRfBlockCSize, 82u);
    EXPECT_EQ(velmo::kDiscoveredAddressSize, 256u);
    EXPECT_EQ(velmo::kRequest60ReplySize, 128u);
    EXPECT_EQ(velmo::kRequest60LargeReplySize, 1086u);
}

TEST_F(Library, OperationsThatNeedNoModem) {
    IOrvikModem* m = Create();
    ASSERT_NE(m, nullptr);
    const char* version = nullptr;
    EXPECT_EQ(m->GetLibraryVersion(&version), 0);
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "1.1.1.7");
    EXPECT_EQ(m->GetLastResult(), 0);

    EXPECT_EQ(m->OpenSerialPort(0, 115200), 5);

    EXPECT_EQ(m->Reserved6(1), 0);
    EXPECT_EQ(m->Reserved7(), 0);
    EXPECT_EQ(m->Reserved8(), 0);
    EXPECT_EQ(m->Reserved9(-1), 0);
    EXPECT_EQ(m->Reserved10(0), 0);
    EXPECT_EQ(m->Reserved11(7), 0);
    EXPECT_EQ(m->Reserved12(7), 0);
    EXPECT_EQ(m->Reserved13(7), 0);
    EXPECT_EQ(m->Reserved14(7), 0);
    EXPECT_EQ(m->Reserved15(7), 0);
    EXPECT_EQ(m->Reserved16(7), 0);
    EXPECT_EQ(m->Reserved17(7), 0);
    EXPECT_EQ(m->Reserved18(7), 0);
    EXPECT_EQ(m->Reserved19(7), 0);
    EXPECT_EQ(m->Reserved20(7), 0);
    EXPECT_EQ(m->Reserved21(7), 0);
    EXPECT_EQ(m->Reserved22(7), 0);
    EXPECT_EQ(m->Reserved23(), 0);
    for (int32_t arg : {0, 1, 0xFFFF}) {
        EXPECT_EQ(m->Reserved30(arg), 0);
        EXPECT_EQ(m->Reserved31(arg), 0);
        EXPECT_EQ(m->Reserved32(arg), 0);
        EXPECT_EQ(m->Reserved33(arg), 0);
        EXPECT_EQ(m->Reserved34(arg), 0);
        EXPECT_EQ(m->Reserved60(arg), 0xFFFF);
    }
    EXPECT_EQ(m->Reserved75(), 0xFFFF);
    EXPECT_EQ(m->GetLastResult(), 0);  // reserved slots record nothing

    m->AbortWait();
    m->AbortWait();
    EXPECT_EQ(m->GetLibraryVersion(&version), 0);
}

TEST_F(Library, OpenSerialPortOnAMissingPort) {
    PortsFolder folder;
    struct stat st {};
    if (stat("/dev/ttyUSB199", &st) == 0) {
        GTEST_SKIP() << "/dev/ttyUSB199 exists here";
    }
    IOrvikModem* m = Create();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->OpenSerialPort(200, 115200), 10);
}

// Just enough of a modem to pass the start-up handshake: every request is echoed, the version reply has its
// full size, request 60 gets a reply of the large or the small form filled with 0xA5.
std::vector<Bytes> EchoModem(const Bytes& request) {
    Bytes reply = request;
    if (request[0] == 0x3C) {
        reply.resize(request.size() > 2 && request[2] == 0x33 ? 1100 : 200, 0xA5);
    } else if (request[0] == 0x00) {
        reply.resize(55, 0x00);
    }
    return {reply};
}

TEST_F(Library, Request60IsRefusedWhenTheCallerGaveTooFewBytes) {
    PortsFolder folder;
    PtyModem modem(EchoModem);
    ASSERT_FALSE(modem.SlavePath().empty());
    ASSERT_TRUE(folder.Link(42, modem.SlavePath()));
    IOrvikModem* m = Create();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->OpenSerialPort(42, 115200), 0);
    // The handshake ends with a request that is not waited for: let it arrive before counting.
    modem.WaitForRequests(3);
    const size_t afterHandshake = modem.Requests().size();
    ASSERT_EQ(afterHandshake, 3u);
    EXPECT_EQ(modem.Requests()[2][0], 0x1F);

    // Sub-command 0x05 reads two more bytes than the caller gave.
    const uint8_t shortRequest[] = {0x3C, 0x00, 0x05, 0x01};
    uint8_t out[velmo::kRequest60ReplySize];
    std::memset(out, 0xFF, sizeof out);
    EXPECT_EQ(m->SendRequest60(shortRequest, sizeof shortRequest, out), 19);
    EXPECT_EQ(m->GetLastResult(), 19);
    EXPECT_EQ(m->SendRequest60(shortRequest, 0, out), 19);
    EXPECT_EQ(m->SendRequest60(nullptr, 5, out), 19);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(modem.Requests().size(), afterHandshake) << "a refused request reached the modem";

    // The same request with its bytes complete goes out and its reply comes back.
    const uint8_t request[] = {0x3C, 0x00, 0x05, 0x01, 0x7E};
    EXPECT_EQ(m->SendRequest60(request, sizeof request, out), 0);
    EXPECT_EQ(m->GetLastResult(), 0);
    const auto requests = modem.Requests();
    ASSERT_EQ(requests.size(), afterHandshake + 1);
    EXPECT_EQ(requests.back(), Bytes(std::begin(request), std::end(request)));
    EXPECT_EQ(Bytes(out, out + 5), Bytes(std::begin(request), std::end(request)));
    EXPECT_EQ(out[5], 0xA5);
    EXPECT_EQ(out[sizeof out - 1], 0xA5);

    std::vector<uint8_t> large(velmo::kRequest60LargeReplySize, 0xFF);
    const uint8_t largeRequest[] = {0x3C, 0x00, 0x33, 0x02, 0x00};
    EXPECT_EQ(m->SendRequest60Large(largeRequest, sizeof largeRequest, large.data()), 0);
    EXPECT_EQ(large[2], 0x33);
    EXPECT_EQ(large.back(), 0xA5);

    EXPECT_EQ(m->ClosePort(), 1);
}

}  // namespace
