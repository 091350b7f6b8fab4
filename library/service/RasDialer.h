// The dial-up component of the service object: the order of steps, the constants and the codes of dialling
// around the dial-up service (platform/dialup), which does the work. Its results are the dial-up service's
// codes unless said otherwise.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialup/DialupService.h"
#include "velmo/IOrvikModem.h"

namespace velmo::service {

// Caller buffers: the entry list is a count byte and one name slot per entry.
inline constexpr size_t kMaxDialEntries = 50;
inline constexpr size_t kDialEntryListSize = 1 + kMaxDialEntries * kDialEntrySlotSize;
// Text limits of the service object's connection parameters (bytes, without the terminating zero).
inline constexpr size_t kMaxEntryNameText = 256;
inline constexpr size_t kMaxPhoneNumberText = 128;
inline constexpr size_t kMaxUserNameText = 256;
inline constexpr size_t kMaxPasswordText = 256;
inline constexpr size_t kMaxAreaCodeText = 10;

// The message value the dial-state callback receives with every notification.
inline constexpr uint32_t kDialEventMessage = 0xCCCD;
// How long a hang-up waits for the connection to go.
inline constexpr std::chrono::milliseconds kHangUpWait{5000};

// Result codes of the operations below besides the dial-up service's own.
inline constexpr int kRasEntryMissing = 800;     // SetDialingRules, GetEntry: no entry of that name
inline constexpr int kRasInvalidParameter = 87;  // a null output buffer

// The five fixed edits of an entry's authentication options.
enum class AuthEdit { Any, AnyNoNbt, Chap, Pap, PapChap };

class RasDialer {
  public:
    // Uses the system's dial-up service.
    RasDialer();
    explicit RasDialer(std::unique_ptr<dialup::IDialupService> service);
    // Hangs up the connection this dialer dialled when it is still there, and waits for the dial-up service's
    // thread: no dial-state notification comes after this.
    ~RasDialer();

    RasDialer(const RasDialer&) = delete;
    RasDialer& operator=(const RasDialer&) = delete;

    // Devices of type "MODEM": their number (0 none, -1 when listing fails) and their names in listed order.
    int CountModemDevices();
    int ListModemDevices(std::vector<std::string>& names);  // 1 listed, 0 failed

    int CreateEntry(const std::string& name, const std::string& deviceType, const std::string& deviceName,
                    uint32_t networkProtocols, uint32_t framingProtocol, const std::string& phoneNumber,
                    const std::string& phonebook);
    int SetDialingRules(const std::string& name, uint32_t options, const std::string& areaCode, int32_t set,
                        uint32_t countryCode, uint32_t countryId, const std::string& phonebook);
    int GetEntry(const std::string& name, dialup::DialEntry& entry, const std::string& phonebook);
    int SetDialParams(const std::string& name, const std::string& userName, const std::string& password,
                      int32_t savePassword, const std::string& phonebook);
    int DialEntry(const std::string& name, DialStateCallback callback, const std::string& phoneNumber,
                  const std::string& userName, const std::string& password, const std::string& domain,
                  const std::string& phonebook);
    int FindConnection(const std::string& name, uintptr_t& handle);  // 1 found, 0 none
    int HangUpConnection(const std::string& name);                   // 1 hung up, 0 failed
    int GetStatistics(ConnectionStatistics* out);
    int ClearStatistics();
    int GetDialSettingsRecord(DialSettingsRecord* record);
    // list holds kDialEntryListSize bytes.
    int EnumEntries(uint8_t* list);
    int DeleteEntry(const std::string& name, const std::string& phonebook);
    // 0, or -1 with a line on stderr.
    int EditAuthentication(const std::string& name, AuthEdit edit);

    uintptr_t Handle() const;
    dialup::IDialupService& Service() { return *service_; }

  private:
    void SetHandle(uintptr_t handle);

    std::unique_ptr<dialup::IDialupService> service_;
    // Guards the handles: the application's worker, the dial-state callback and teardown can meet here. Never
    // held while the dial-up service waits.
    mutable std::mutex mutex_;
    uintptr_t handle_ = 0;
    uintptr_t dialled_ = 0;  // the connection DialEntry started
};

// Copies at most maxBytes of text (null: empty), cut back to a whole UTF-8 character.
std::string CutText(const char* text, size_t maxBytes);

}  // namespace velmo::service
