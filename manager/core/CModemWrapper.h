// The manager's one object around the modem service: binding, every modem call, the last result code, the
// caches the state machine and the screens read back, and the request-60 packets of the user-level commands.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ModemLibrary.h"
#include "velmo/IOrvikModem.h"

namespace velmo::manager {

struct SettingsRecord;

// Windows-version class; a Linux desktop counts as an NT 5 or later system.
inline constexpr int32_t kOsClassModern = 7;
int32_t ComputeOsClass();

inline constexpr int32_t kBaudRate = 115200;
inline constexpr size_t kParameterCacheSize = 64;
inline constexpr size_t kDeviceTextSize = 256;
inline constexpr size_t kCardCodeField = 8;
inline constexpr size_t kSmsRecordSize = 1084;
inline constexpr int32_t kNvRuimMode = 855;

// Parameter codes of the cache and their value sizes.
struct ParameterSize {
    uint8_t code;
    uint8_t size;
    bool writeOnly;
};
inline constexpr ParameterSize kParameterSizes[] = {
    {0, 4, false},  {1, 7, false},  {3, 3, false},  {5, 3, false},  {7, 2, false},   {11, 10, false},
    {12, 4, false}, {14, 1, false}, {15, 1, false}, {16, 1, false}, {19, 4, false},  {20, 4, false},
    {22, 1, false}, {24, 1, false}, {26, 20, true}, {27, 2, false}, {28, 64, false}, {29, 14, true},
    {30, 4, false}, {31, 4, false}, {34, 1, true},
};
const ParameterSize* FindParameter(uint8_t code);

// The card's answer to commands 35 to 40.
struct CardReply {
    uint8_t enable = 0;
    uint8_t remainedTime = 0;
    uint8_t uimAck = 0;
    uint8_t pinVerification = 0;  // command 35 only
};

class CModemWrapper {
  public:
    // Binding messages go to the owner as stop-icon boxes without caption.
    using MessageSink = std::function<void(const std::string&)>;
    // The port automatic detection finds; 0 when none.
    using PortDetector = std::function<int32_t()>;

    CModemWrapper();
    ~CModemWrapper();
    CModemWrapper(const CModemWrapper&) = delete;
    CModemWrapper& operator=(const CModemWrapper&) = delete;

    // 0 bound, 1 failed (the message has been shown).
    int Bind(const MessageSink& owner,
             const std::vector<std::string>& candidates = DefaultLibraryCandidates());
    // Destroys the service object and unloads the library.
    void Unbind();
    // Uses an interface object that someone else owns (tests with a scripted service).
    void Attach(IOrvikModem* modem);
    bool IsBound() const { return modem_.load() != nullptr; }
    static bool Alive() { return alive_.load(); }

    int32_t LastResult() const { return lastResult_.load(); }
    int32_t OsClass() const { return osClass_; }
    int32_t CurrentPort() const { return currentPort_.load(); }
    bool PortOpen() const { return portOpen_.load(); }
    const std::string& LoadedFrom() const { return library_.LoadedFrom(); }

    // Port opening reads the settings record and, with automatic detection on, the detector.
    void SetSettings(const SettingsRecord* settings) { settings_ = settings; }
    void SetPortDetector(PortDetector detector) { detector_ = std::move(detector); }
    void SetClosingFlag(const std::atomic<bool>* closing) { closing_ = closing; }

    bool SetNotifyWindow(IModemNotifyTarget* target);
    bool OpenUsbPort(bool singleAttempt);
    bool ReopenUsbPort();
    bool OpenEthernetLink();
    bool Close();
    bool Abort();
    bool StopRequested() const { return stop_.load(); }
    bool ResetModem();
    bool QueryStatus(int32_t kind);
    bool RequestStatus16();
    bool SetReportLevel(int32_t level);
    bool VerifySpc(const std::string& spc);
    bool ChangeSpc(const std::string& spc);
    bool WriteParameter(uint8_t code, size_t size, const uint8_t* value);
    bool ReadParameter(uint8_t code, size_t size);
    bool ReadNvItem(int32_t item, size_t size, uint8_t* value);
    bool ReadRuimMode();
    bool DownloadPrl(const uint8_t* data, int32_t length);
    bool SetOffline();
    bool DeleteDialEntry(const std::string& entry);
    bool GetDialSettings(const std::string& entry, DialSettingsRecord* out);
    bool SetEntryOptions(const std::string& entry);
    bool Dial(DialStateCallback callback, const std::string& entry, const std::string& number,
              const std::string& user, const std::string& password);
    bool HangUp();
    std::string LibraryVersion();
    std::string DiscoveredAddress();
    // The first 16-bit value of the RF block A (signed), -1 when nothing is bound; the last value read while
    // another caller is inside the library.
    int RfBlockAFirst();

    // The parameter cache: a read fills it from the modem, a write sends what the cache holds.
    bool ReadCachedParameter(uint8_t code);
    bool WriteCachedParameter(uint8_t code);
    std::vector<uint8_t> CachedParameter(uint8_t code) const;
    void SetCachedParameter(uint8_t code, const std::vector<uint8_t>& value);
    // Code 26 must be exactly 20 characters; 28 and 29 are cut to their field.
    bool WriteParameterText(uint8_t code, const std::string& text);

    // Request 60, the user-level commands.
    bool ReadDeviceText();                 // command 0 version 0
    bool ReadCapability(uint16_t* value);  // command 0 version 1
    bool QuitCommand5(uint16_t argument);  // command 5
    bool QuitCommand16();                  // command 16
    bool ReadUserStatus(uint16_t words[8]);
    bool CardStatus(CardReply* reply);  // command 35, sent twice when the first call fails
    bool VerifyPin(const std::string& pin, CardReply* reply);
    bool EnablePin(bool disable, const std::string& pin, CardReply* reply);
    bool ChangePin(const std::string& oldPin, const std::string& newPin, CardReply* reply);
    bool PukStatus(CardReply* reply);
    bool UnblockPin(const std::string& puk, const std::string& newPin, CardReply* reply);
    // Short messages: the caller's 1084-byte record; out receives the bytes the rule names.
    bool SmsSend(const uint8_t* record, uint8_t out3[3]);
    bool SmsRead(const uint8_t* record, uint8_t* out1086);
    bool SmsDelete(const uint8_t* record, uint8_t out3[3]);
    bool SmsCount(const uint8_t* record, uint8_t* out);

    const ModemStatusRecord& Status() const { return status_; }
    const std::string& DeviceText() const { return deviceText_; }
    int16_t RuimMode() const { return nv855_; }

  private:
    // Runs one interface call under the call lock; false when nothing is bound.
    template <class F>
    bool Call(F&& f);
    bool Send60(const std::vector<uint8_t>& packet, uint8_t* reply, bool large);
    bool CardCommand(const std::vector<uint8_t>& packet, CardReply* reply);

    ModemLibrary library_;
    // Atomic because AbortWait reads it from another thread without the call lock.
    std::atomic<IOrvikModem*> modem_{nullptr};
    bool owned_ = false;
    // The library serves one caller at a time and a paused worker may still be inside it.
    std::mutex callLock_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> portOpen_{false};
    std::atomic<int32_t> currentPort_{0};
    std::atomic<int32_t> lastResult_{0};
    std::atomic<int> rfBlockAFirst_{-1};
    int32_t osClass_ = 0;
    int32_t baudRate_ = kBaudRate;
    const SettingsRecord* settings_ = nullptr;
    const std::atomic<bool>* closing_ = nullptr;
    PortDetector detector_;

    DialSettingsRecord dial_{};
    std::array<std::array<uint8_t, kParameterCacheSize>, 64> parameters_{};
    int16_t nv855_ = 0;
    ModemStatusRecord status_{};
    std::string deviceText_;

    static inline std::atomic<bool> alive_{false};
};

}  // namespace velmo::manager
