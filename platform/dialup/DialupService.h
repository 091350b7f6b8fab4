// The dial-up service: dial-up devices, the phonebook, dialling with progress, connections, hang-up,
// statistics and error texts. On Linux it dials with chat and then starts pppd on the same tty. Both
// the modem library and the manager link this component; everything they share (entries, connections) lives
// in files, so that a connection handle means the same thing in every copy and every process of the user.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DialErrors.h"

namespace velmo::dialup {

inline constexpr const char* kDeviceTypeModem = "modem";

// Dial states reported to the progress callback.
enum DialState : uint32_t {
    kStateOpenPort = 0,
    kStatePortOpened = 1,
    kStateConnectDevice = 2,
    kStateDeviceConnected = 3,
    kStateAllDevicesConnected = 4,
    kStateAuthenticate = 5,
    kStateAuthNotify = 6,
    kStateAuthenticated = 14,
    kStateConnected = 0x2000,
    kStateDisconnected = 0x2001,
};

// Entry option bits (those of the phonebook entries the modem library writes).
enum EntryOption : uint32_t {
    kOptUseCountryAndAreaCodes = 0x00000001,
    kOptRemoteDefaultGateway = 0x00000010,
    kOptRequireDataEncryption = 0x00001000,
    kOptRequireEap = 0x00020000,
    kOptRequirePap = 0x00040000,
    kOptRequireSpap = 0x00080000,
    kOptRequireChap = 0x08000000,
    kOptRequireMsChap = 0x10000000,
    kOptRequireMsChap2 = 0x20000000,
    kOptRequireW95MsChap = 0x40000000,
};

struct DialDevice {
    std::string type;  // "modem"
    std::string name;  // what entries store
    std::string tty;   // the node it resolves to now
};

struct DialEntry {
    std::string name;
    std::string phoneNumber;
    std::string deviceType;
    std::string deviceName;
    uint32_t options = 0;
    uint32_t options2 = 0;
    uint32_t countryId = 0;
    uint32_t countryCode = 0;
    std::string areaCode;
    uint32_t framingProtocol = 0;
    uint32_t networkProtocols = 0;
    int32_t idleDisconnectSeconds = 0;  // -1 never, 0 the system's default
    uint32_t encryptionType = 0;
};

struct DialParams {
    std::string entryName;
    std::string phoneNumber;  // empty: the entry's own number
    std::string userName;
    std::string password;
    std::string domain;
    bool passwordSaved = false;  // GetDialParams: the entry keeps a password
};

using ConnectionId = uintptr_t;

// Dial progress, called on the service's dialer thread, one call at a time. Returning false stops further
// notifications for that dial.
using DialProgress =
    std::function<bool(ConnectionId id, uint32_t state, uint32_t error, uint32_t extendedError)>;

struct ConnectionInfo {
    ConnectionId id = 0;
    std::string entryName;
    std::string deviceName;
};

struct ConnectStatus {
    uint32_t state = 0;
    uint32_t error = 0;
    std::string deviceType;
    std::string deviceName;
};

// Counters since the last clearing (64-bit, wrapping like the interface counters).
struct LinkStatistics {
    uint64_t bytesSent = 0;
    uint64_t bytesReceived = 0;
    uint64_t framesSent = 0;
    uint64_t framesReceived = 0;
    uint64_t crcErrors = 0;
    uint64_t timeoutErrors = 0;
    uint64_t alignmentErrors = 0;
    uint64_t hardwareOverrunErrors = 0;
    uint64_t framingErrors = 0;
    uint64_t bufferOverrunErrors = 0;
    uint32_t bps = 0;
    uint64_t connectDurationMs = 0;
};

// Where the service keeps and finds things. FromEnvironment() gives the defaults:
//   phonebook   $VELMO_PHONEBOOK_DIR, else ${XDG_CONFIG_HOME:-~/.config}/velmo/phonebook
//   connections $VELMO_DIALUP_RUNTIME_DIR, else $XDG_RUNTIME_DIR/velmo/dialup, else /tmp/velmo-<uid>/dialup
//   interfaces  $VELMO_SYSFS_NET_DIR, else /sys/class/net
//   pppd's pid files $VELMO_PPP_RUN_DIR, else /run
//   chat and pppd $VELMO_CHAT_PATH and $VELMO_PPPD_PATH, else /usr/sbin/chat and /usr/sbin/pppd
struct DialupOptions {
    std::string phonebookDir;
    std::string runtimeDir;
    std::string sysNetDir;
    std::string pppRunDir;
    std::string chatPath = "/usr/sbin/chat";
    std::string pppdPath = "/usr/sbin/pppd";
    std::string procDir = "/proc";
    bool useUdev = true;                         // list the modem's USB ttys besides the published modems
    int initTimeoutSeconds = 5;                  // the modem answers AT commands at once
    int dialTimeoutSeconds = 60;                 // a network may take a while to connect a data call
    std::chrono::milliseconds hangUpWait{5000};  // SIGTERM to SIGKILL
    static DialupOptions FromEnvironment();
};

class IDialupService {
  public:
    virtual ~IDialupService() = default;

    // Devices of every type the service can dial through; 0 or an error.
    virtual int EnumDevices(std::vector<DialDevice>& out) = 0;

    // An empty phonebook names the user's default one; any other text is a phonebook folder.
    // 0 when the name is valid and free, kErrorAlreadyExists when an entry has it, kErrorInvalidName.
    virtual int ValidateEntryName(const std::string& phonebook, const std::string& name) = 0;
    virtual int GetEntry(const std::string& phonebook, const std::string& name, DialEntry& out) = 0;
    // Creates or replaces the entry's properties; its dial parameters stay.
    virtual int SetEntry(const std::string& phonebook, const DialEntry& entry) = 0;
    virtual int DeleteEntry(const std::string& phonebook, const std::string& name) = 0;
    // All entry names in byte order.
    virtual int EnumEntries(const std::string& phonebook, std::vector<std::string>& names) = 0;
    virtual int GetDialParams(const std::string& phonebook, const std::string& name, DialParams& out) = 0;
    virtual int SetDialParams(const std::string& phonebook, const DialParams& params,
                              bool removePassword) = 0;

    // Starts dialling params.entryName and returns at once; id is valid from then on. Progress and the
    // outcome arrive through progress. kErrorDialInProgress while this service's previous dial still runs.
    virtual int Dial(const std::string& phonebook, const DialParams& params, DialProgress progress,
                     ConnectionId& id) = 0;

    // Our connections (dialled by this service in any process of the user, or pppd on a modem tty), oldest
    // first.
    virtual int EnumConnections(std::vector<ConnectionInfo>& out) = 0;
    // kErrorInvalidHandle when the connection is gone.
    virtual int GetConnectStatus(ConnectionId id, ConnectStatus& out) = 0;
    // Stops the connection: SIGTERM, up to wait for it to go, then SIGKILL. 0 once it is gone,
    // kErrorInvalidHandle when it is unknown, kErrorStillDisconnecting when it would not go.
    virtual int HangUp(ConnectionId id, std::chrono::milliseconds wait) = 0;
    virtual int GetStatistics(ConnectionId id, LinkStatistics& out) = 0;
    virtual int ClearStatistics(ConnectionId id) = 0;
};

std::unique_ptr<IDialupService> CreateDialupService(DialupOptions options = DialupOptions::FromEnvironment());

}  // namespace velmo::dialup
