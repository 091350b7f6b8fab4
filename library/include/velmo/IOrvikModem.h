// Public interface of libVelmoModem.so.
//
// The manager loads the library with dlopen, takes IOrvikModem_Create / IOrvikModem_Destroy with dlsym and
// drives the modem only through the IOrvikModem object they hand out. The order of the virtual operations
// below is a binary contract: never insert, remove or reorder them.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(VELMO_BUILDING_LIBRARY)
#define VELMO_EXPORT __attribute__((visibility("default")))
#else
#define VELMO_EXPORT
#endif

namespace velmo {

// Result codes of the interface operations.
enum ResultCode : int32_t {
    kResultOk = 0,
    kResultAlreadyCreated = 1,
    kResultNoModemDevice = 2,
    kResultNoEngine = 3,
    kResultBadArgument = 5,
    kResultDeleteEntryFailed = 6,
    kResultNoReply = 9,
    kResultPortOpenFailed = 10,
    kResultHandshakeFailed = 11,
    kResultServiceParameterFailed = 19,
    kResultFailed = 0xFFFF,
};

// An unsolicited vendor report, posted on the library's reader thread. wParam is the report code, lParam the
// address of the report's copy inside the library's report ring (valid only during post()).
inline constexpr uint32_t kModemReportMessage = 0x464;

// Progress of DownloadPrl: wParam is the number of blocks the modem has acknowledged so far, lParam the
// number of blocks in all. Posted once with wParam 0 when the first block is about to go out, then once after
// each acknowledged block, in order; nothing after a block that fails. Unlike kModemReportMessage it is
// posted synchronously on the thread that called DownloadPrl, while that call is still running: post() must
// return at once and must not call into the library.
inline constexpr uint32_t kPrlProgressMessage = 0x465;

// Unsolicited reports (packet code 0xE0, report code in byte 1) and the fixed size of each one's copy; 0 for
// codes that are not posted.
constexpr size_t ReportSize(uint8_t reportCode) {
    switch (reportCode) {
        case 4:   // CONNECTED
        case 5:   // RELEASED
        case 6:   // CALLING
        case 36:  // DCONNECTED
        case 37:  // DRELEASED
            return 5;
        case 7:  // CPN
            return 40;
        case 9:  // DISPLAY
            return 261;
        case 16:
            return 298;
        case 17:  // MESSAGE
            return 353;
        case 28:  // EVENT
        case 40:  // SIGNAL
            return 6;
        default:
            return 0;
    }
}

// Receiver of the library's notifications. post() is called on the library's reader thread (reports) or on
// the caller's thread (PRL progress); it must copy what it needs and return without waiting for the
// application.
class IModemNotifyTarget {
  public:
    virtual void post(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;

  protected:
    ~IModemNotifyTarget() = default;
};

// Dial progress: connection handle, message, dial state, error code, extended error code. Called on the
// dial-up service's thread; returns 1 to keep receiving notifications.
using DialStateCallback = uint32_t (*)(uintptr_t connection, uint32_t message, uint32_t state, uint32_t error,
                                       uint32_t extendedError);

#pragma pack(push, 1)
// Status record filled group by group by QueryStatus; fields a call does not touch keep their values.
struct ModemStatusRecord {
    uint8_t Leading[3];
    uint16_t ZeroWord;
    uint8_t Rssi1x;
    uint8_t RssiEvdo;
    uint8_t InService;
    uint8_t InTraffic;
    uint8_t Roam;
    uint8_t Flag10;
    uint8_t Flag11;
    uint16_t Sid;
    uint16_t Nid;
    uint16_t Channel;
    uint8_t RfMode;
    uint16_t PilotPn;
    uint16_t PrlVersion;
    uint8_t CaiRevision;
    uint16_t FirmwareRevision;
    uint8_t Flag26;
    uint8_t Flag27;
    uint8_t SystemState;
    uint16_t NetworkKind;
    uint32_t Esn;
    uint8_t EvdoPresent;
    uint16_t RxState;
    char SoftwareRevision[50];
};

// Record handed to WriteNamParameter: byte 3 is the parameter code, the value follows from byte 4.
struct NamParameterRecord {
    uint8_t Reserved[3];
    uint8_t Code;
    uint8_t Value[126];
};

// Connection statistics (GetConnectionStatistics), 60 bytes.
struct ConnectionStatistics {
    uint32_t Size;
    uint32_t BytesSent;
    uint32_t BytesReceived;
    uint32_t FramesSent;
    uint32_t FramesReceived;
    uint32_t CrcErrors;
    uint32_t TimeoutErrors;
    uint32_t AlignmentErrors;
    uint32_t HardwareOverrunErrors;
    uint32_t FramingErrors;
    uint32_t BufferOverrunErrors;
    uint32_t CompressionRatioIn;
    uint32_t CompressionRatioOut;
    uint32_t Bps;
    uint32_t ConnectDuration;
};

// Dial settings of one phonebook entry (GetDialSettings); EntryName is the input.
struct DialSettingsRecord {
    char EntryName[256];
    uint32_t CountryId;
    uint32_t CountryCode;
    uint32_t UseAreaCode;
    uint32_t PasswordSaved;
    char AreaCode[11];
    uint8_t Pad0[1];
    char PhoneNumber[129];
    uint8_t Pad1[3];
    char DeviceName[129];
    uint8_t Pad2[3];
    char UserName[257];
    uint8_t Pad3[3];
    char Password[257];
};
#pragma pack(pop)

static_assert(sizeof(ModemStatusRecord) == 88);
static_assert(sizeof(NamParameterRecord) == 130);
static_assert(sizeof(ConnectionStatistics) == 60);
static_assert(offsetof(DialSettingsRecord, PhoneNumber) == 284);
static_assert(offsetof(DialSettingsRecord, DeviceName) == 416);
static_assert(offsetof(DialSettingsRecord, UserName) == 548);
static_assert(offsetof(DialSettingsRecord, Password) == 808);

// Sizes of the caller's buffers.
inline constexpr size_t kModemTimeSize = 25;
inline constexpr size_t kNamParameterReplySize = 131;
inline constexpr size_t kNvItemSize = 128;
inline constexpr size_t kBlock34Size = 107;
inline constexpr size_t kPasswordSize = 32;
inline constexpr size_t kRfBlockASize = 14;
inline constexpr size_t kRfBlockBSize = 14;
inline constexpr size_t kRfBlockCSize = 82;
inline constexpr size_t kDiscoveredAddressSize = 256;
inline constexpr size_t kRequest60ReplySize = 128;
inline constexpr size_t kRequest60LargeReplySize = 1086;
inline constexpr size_t kTimeStampTextSize = 18;  // 17 characters and a terminating zero
inline constexpr size_t kDialEntrySlotSize = 256;

// The modem service. Operations are synchronous and serve one caller at a time; AbortWait may come from
// another thread while an operation waits.
class IOrvikModem {
  public:
    virtual int32_t GetLastResult() = 0;                                       // 0
    virtual int32_t AbortWait() = 0;                                           // 1
    virtual int32_t SetNotifyWindow(IModemNotifyTarget* target) = 0;           // 2
    virtual int32_t OpenSerialPort(int32_t port, int32_t baudRate) = 0;        // 3
    virtual int32_t OpenNetworkLink(int32_t unused) = 0;                       // 4
    virtual uint8_t ClosePort() = 0;                                           // 5
    virtual int32_t Reserved6(int32_t) = 0;                                    // 6
    virtual int32_t Reserved7() = 0;                                           // 7
    virtual int32_t Reserved8() = 0;                                           // 8
    virtual int32_t Reserved9(int32_t) = 0;                                    // 9
    virtual int32_t Reserved10(int32_t) = 0;                                   // 10
    virtual int32_t Reserved11(int32_t) = 0;                                   // 11
    virtual int32_t Reserved12(int32_t) = 0;                                   // 12
    virtual int32_t Reserved13(int32_t) = 0;                                   // 13
    virtual int32_t Reserved14(int32_t) = 0;                                   // 14
    virtual int32_t Reserved15(int32_t) = 0;                                   // 15
    virtual int32_t Reserved16(int32_t) = 0;                                   // 16
    virtual int32_t Reserved17(int32_t) = 0;                                   // 17
    virtual int32_t Reserved18(int32_t) = 0;                                   // 18
    virtual int32_t Reserved19(int32_t) = 0;                                   // 19
    virtual int32_t Reserved20(int32_t) = 0;                                   // 20
    virtual int32_t Reserved21(int32_t) = 0;                                   // 21
    virtual int32_t Reserved22(int32_t) = 0;                                   // 22
    virtual int32_t Reserved23() = 0;                                          // 23
    virtual int32_t ResetModem() = 0;                                          // 24
    virtual int32_t GetModemTime(uint8_t* out25) = 0;                          // 25
    virtual int32_t QueryStatus(ModemStatusRecord* record, int32_t kind) = 0;  // 26
    virtual int32_t RequestStatus16() = 0;                                     // 27
    virtual int32_t EnableEventReports() = 0;                                  // 28
    virtual int32_t SetReportLevel(int32_t level) = 0;                         // 29
    virtual int32_t Reserved30(int32_t) = 0;                                   // 30
    virtual int32_t Reserved31(int32_t) = 0;                                   // 31
    virtual int32_t Reserved32(int32_t) = 0;                                   // 32
    virtual int32_t Reserved33(int32_t) = 0;                                   // 33
    virtual int32_t Reserved34(int32_t) = 0;                                   // 34
    virtual int32_t VerifySpc(const char* spc6) = 0;                           // 35
    virtual int32_t ChangeSpc(const char* spc6) = 0;                           // 36
    virtual int32_t WriteNamParameter(const NamParameterRecord* record) = 0;   // 37
    virtual int32_t ReadNamParameter(int32_t code, uint8_t* out131) = 0;       // 38
    virtual int32_t ReadNvItem(int32_t item, uint8_t* buffer128) = 0;          // 39
    virtual int32_t WriteNvItem(int32_t item, const uint8_t* data128) = 0;     // 40
    virtual int32_t QueryBlock34(uint8_t* out107) = 0;                         // 41
    virtual int32_t SendBlock32(const uint8_t* body) = 0;                      // 42
    virtual int32_t DownloadPrl(const uint8_t* prl, int32_t length) = 0;       // 43
    virtual int32_t CreateDialEntry() = 0;                                     // 44
    virtual int32_t Dial(DialStateCallback callback, const char* entryName, const char* phoneNumber,
                         const char* userName, const char* password) = 0;  // 45
    virtual int32_t HangUp(int32_t unused) = 0;                            // 46
    virtual int32_t SetConnectionParameters(const char* entryName, const char* phoneNumber,
                                            const char* userName, const char* password, const char* areaCode,
                                            int32_t useAreaCode,
                                            int32_t savePassword) = 0;       // 47
    virtual int32_t DeleteDialEntry(const char* entryName) = 0;              // 48
    virtual int32_t GetConnectionStatistics(ConnectionStatistics* out) = 0;  // 49
    virtual int32_t ClearConnectionStatistics() = 0;                         // 50
    virtual int32_t GetDialSettings(DialSettingsRecord* record) = 0;         // 51
    // Byte 0: number of entries; then one 256-byte name slot per entry.
    virtual int32_t EnumDialEntries(uint8_t* list) = 0;               // 52
    virtual int32_t SetEntryAuthAny(const char* entryName) = 0;       // 53
    virtual int32_t SetEntryAuthAnyNoNbt(const char* entryName) = 0;  // 54
    virtual int32_t SetEntryAuthChap(const char* entryName) = 0;      // 55
    virtual int32_t SetEntryAuthPap(const char* entryName) = 0;       // 56
    virtual int32_t SetEntryAuthPapChap(const char* entryName) = 0;   // 57
    virtual int32_t StorePassword(const char* password) = 0;          // 58
    // Writes at most 32 bytes; a 32-byte password comes back without a terminating zero.
    virtual int32_t LoadPassword(char* out32) = 0;                                                    // 59
    virtual int32_t Reserved60(int32_t) = 0;                                                          // 60
    virtual int32_t GetRfUpdateCount() = 0;                                                           // 61
    virtual uint8_t GetDrcIndex() = 0;                                                                // 62
    virtual int16_t GetRfLevel4() = 0;                                                                // 63
    virtual int16_t GetRfLevel1() = 0;                                                                // 64
    virtual int16_t GetRfLevel2() = 0;                                                                // 65
    virtual int16_t GetRfLevel3() = 0;                                                                // 66
    virtual int16_t GetRfChannel() = 0;                                                               // 67
    virtual void GetRfBlockA(uint8_t* out14) = 0;                                                     // 68
    virtual void GetRfBlockB(uint8_t* out14) = 0;                                                     // 69
    virtual void GetRfBlockC(uint8_t* out82) = 0;                                                     // 70
    virtual int32_t GetLibraryVersion(const char** out) = 0;                                          // 71
    virtual int32_t GetDiscoveredAddress(char* out256) = 0;                                           // 72
    virtual int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) = 0;        // 73
    virtual int32_t SendRequest60Large(const uint8_t* request, int32_t count, uint8_t* out1086) = 0;  // 74
    virtual int32_t Reserved75() = 0;                                                                 // 75
    virtual int32_t UploadUserDataFile() = 0;                                                         // 76
    virtual int32_t SetOfflineMode() = 0;                                                             // 77
    // Writes "YY/MM/DD HH:MM:SS": 17 characters and a terminating zero, so out needs 18 bytes.
    virtual void FormatTimeStamp(int32_t seconds, char* out18) = 0;  // 78
    virtual ~IOrvikModem() = default;                                // 79
};

}  // namespace velmo

extern "C" {
// Creates the one service object. 0 and *out set; 1 when one already exists (out untouched); 3 when it could
// not be created (out set to null).
VELMO_EXPORT int32_t IOrvikModem_Create(velmo::IOrvikModem** out);
// Destroys the object handed out by IOrvikModem_Create; 5 for any other pointer.
VELMO_EXPORT int32_t IOrvikModem_Destroy(velmo::IOrvikModem* modem);
}

// Function types for dlsym.
using IOrvikModemCreateFn = int32_t (*)(velmo::IOrvikModem**);
using IOrvikModemDestroyFn = int32_t (*)(velmo::IOrvikModem*);
