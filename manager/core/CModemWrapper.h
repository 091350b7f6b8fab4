// The manager's one object around the modem service: binding, every modem call, the last result code, the
// caches the state machine and the screens read back, and the user-level commands of request 60.
//
// Threads: the device worker makes the routine calls, a screen flow calls while it holds the worker's pause,
// the dial-state callback thread hangs up, and the window thread reads the caches. Every interface call runs
// under the call lock (the library serves one caller at a time and keeps no lock of its own); the caches are
// filled and read under the same lock and handed out as copies. Only Abort() bypasses the lock, since it
// exists to release a caller that holds it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ModemLibrary.h"
#include "Parameters.h"
#include "Request60.h"
#include "RfReading.h"
#include "sms/SmsRecord.h"
#include "velmo/IOrvikModem.h"

namespace velmo::manager {

struct SettingsRecord;

// Windows-version class; a Linux desktop counts as an NT 5 or later system.
inline constexpr int32_t kOsClassModern = 7;
int32_t ComputeOsClass();

inline constexpr int32_t kBaudRate = 115200;
inline constexpr size_t kParameterCacheSize = 64;
inline constexpr size_t kDeviceTextSize = 256;

using CardReply = r60::CardReply;
using UserStatusWords = std::array<uint16_t, r60::kUserStatusWords>;

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
    int32_t OsClass() const { return osClass_.load(); }
    int32_t CurrentPort() const { return currentPort_.load(); }
    bool PortOpen() const { return portOpen_.load(); }
    const std::string& LoadedFrom() const { return library_.LoadedFrom(); }

    // Set once by the main window before the worker starts. Port opening reads the settings record and, with
    // automatic detection on, the detector.
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
    bool WriteParameter(ParamCode code, size_t size, const uint8_t* value);
    bool ReadParameter(ParamCode code, size_t size);
    bool ReadNvItem(int32_t item, size_t size, uint8_t* value);
    bool ReadRuimMode();
    // Blocks sent and blocks in all, called on the downloading thread while the download runs.
    using PrlProgress = std::function<void(int, int)>;
    bool DownloadPrl(const uint8_t* data, int32_t length, PrlProgress progress = {});
    // The library's progress message of a download, handed on by the notification target.
    void OnPrlProgress(uintptr_t sent, intptr_t total);
    bool SetOffline();
    bool DeleteDialEntry(const std::string& entry);
    bool GetDialSettings(const std::string& entry, DialSettingsRecord* out);
    bool SetEntryOptions(const std::string& entry);
    bool Dial(DialStateCallback callback, const std::string& entry, const std::string& number,
              const std::string& user, const std::string& password);
    bool HangUp();
    // The dial-up service's counters of the library's call; all zero while no call is up.
    std::optional<ConnectionStatistics> ConnectionStatisticsOfCall();
    std::string LibraryVersion();
    std::string DiscoveredAddress();
    // The first 16-bit value of the RF block A (signed), -1 when nothing is bound; the last value read while
    // another caller is inside the library.
    int RfBlockAFirst();
    // The RF snapshot the library keeps: no modem traffic. Nothing while another caller is inside the
    // library, so that the RF sampler never waits behind the worker's requests.
    std::optional<RfReading> TryReadRf();
    bool EnableEventReports();

    // The parameter cache: a read fills it from the modem, a write sends what the cache holds.
    bool ReadCachedParameter(ParamCode code);
    bool WriteCachedParameter(ParamCode code);
    std::vector<uint8_t> CachedParameter(ParamCode code) const;
    // The first two bytes of a cached value as a little-endian word (the preferred mode).
    uint16_t CachedWord(ParamCode code) const;
    void SetCachedParameter(ParamCode code, const std::vector<uint8_t>& value);
    // The AKey must be exactly 20 characters; the CHAP texts are cut to their field.
    bool WriteParameterText(ParamCode code, const std::string& text);

    // Request 60, the user-level commands; each returns nothing when the call failed or the answer is not
    // acceptable by its row's rule.
    bool ReadDeviceText();  // keeps the text for DeviceText()
    std::optional<uint16_t> ReadCapability();
    bool QuitMode(uint16_t argument);
    bool QuitRelease();
    std::optional<UserStatusWords> ReadUserStatus();
    // Card commands give the card's answer whenever the call went through (the screens show it even when
    // the card refused); accepted is the row's rule on it. Nothing when the call failed.
    struct CardAnswer {
        CardReply reply;
        bool accepted = false;
    };
    std::optional<CardAnswer> CardStatus();  // sent a second time when the first call fails
    std::optional<CardAnswer> VerifyPin(const std::string& pin);
    std::optional<CardAnswer> SetPinRequest(bool disable, const std::string& pin);
    std::optional<CardAnswer> ChangePin(const std::string& oldPin, const std::string& newPin);
    std::optional<CardAnswer> PukStatus();
    std::optional<CardAnswer> UnblockPin(const std::string& puk, const std::string& newPin);
    // Short messages, in the message module's packets and by its accept rules; nothing when the call
    // failed or the answer is not accepted. A count whose answer names another box is 0.
    std::optional<uint8_t> SmsCount(sms::Box box);
    std::optional<sms::Message> SmsRead(sms::Box box, uint8_t position);
    // The store status of an accepted store (whether it did what was asked is sms::StoreSucceeded).
    std::optional<uint8_t> SmsStore(sms::StoreOp op, uint8_t boxCode, const sms::Message& message);
    bool SmsDelete(sms::Box box, uint8_t slot);
    // The modem's own directory number, read afresh (parameter 11), up to its first zero.
    std::optional<std::string> ReadDirectoryNumber();
    // A message's time stamp as the library writes it ("80/01/06 00:00:00"); empty when nothing is bound.
    std::string FormatTimeStamp(uint32_t seconds);

    // Copies of the caches.
    ModemStatusRecord Status() const;
    std::string DeviceText() const;
    int16_t RuimMode() const;

  private:
    // Runs one interface call under the call lock; false when nothing is bound.
    template <class F>
    bool Call(F&& f);
    // One request-60 exchange by its row; the reply when the call succeeded (accept rule not applied).
    std::optional<std::vector<uint8_t>> Exchange(const r60::Row& row, const std::vector<uint8_t>& packet);
    std::optional<CardAnswer> Card(r60::Command command, const r60::Arguments& args);

    ModemLibrary library_;  // bound and unbound by the window thread
    // Atomic because AbortWait reads it from another thread without the call lock.
    std::atomic<IOrvikModem*> modem_{nullptr};
    bool owned_ = false;  // window thread, under the call lock
    // The library serves one caller at a time and a paused worker may still be inside it.
    mutable std::mutex callLock_;

    std::atomic<bool> stop_{false};
    std::atomic<bool> portOpen_{false};
    std::atomic<int32_t> currentPort_{0};
    std::atomic<int32_t> lastResult_{0};
    std::atomic<int> rfBlockAFirst_{-1};
    std::atomic<int32_t> osClass_{0};
    const int32_t baudRate_ = kBaudRate;
    // Set before the worker starts, read by it afterwards.
    const SettingsRecord* settings_ = nullptr;
    const std::atomic<bool>* closing_ = nullptr;
    PortDetector detector_;
    // The running download's progress receiver: set and cleared by the downloading thread around the call,
    // called from inside it.
    std::mutex progressLock_;
    PrlProgress prlProgress_;

    // Caches: written and read under the call lock only.
    DialSettingsRecord dial_{};
    std::array<std::array<uint8_t, kParameterCacheSize>, 64> parameters_{};
    int16_t nv855_ = 0;
    ModemStatusRecord status_{};
    std::string deviceText_;

    static inline std::atomic<bool> alive_{false};
};

}  // namespace velmo::manager
