#include "RasDialer.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace velmo::service {

namespace {

using dialup::kErrorAlreadyExists;
using dialup::kErrorInvalidHandle;
using dialup::kErrorOk;

constexpr const char* kModemType = "MODEM";
// How often HangUpConnection looks whether the connection has gone.
constexpr std::chrono::milliseconds kHangUpPoll{10};

struct AuthChange {
    uint32_t cleared;
    uint32_t set;
};

AuthChange AuthChangeFor(AuthEdit edit) {
    switch (edit) {
        case AuthEdit::Any:
        case AuthEdit::AnyNoNbt:
            return {0, 0x7D2C0218};
        case AuthEdit::Chap:
            return {0x00080000 | 0x00040000 | 0x10000000 | 0x20000000 | 0x40000000, 0x0D200218};
        case AuthEdit::Pap:
            return {0x00080000 | 0x08000000 | 0x10000000 | 0x20000000 | 0x40000000, 0x05240218};
        case AuthEdit::PapChap:
            return {0x00080000 | 0x10000000 | 0x20000000 | 0x40000000, 0x0D240218};
    }
    return {0, 0};
}

constexpr uint32_t kNetBiosOverIpOff = 0x40;
constexpr int32_t kIdleNever = -1;
constexpr uint32_t kEncryptionOptional = 3;

// Copies text into a fixed field of size bytes, cut so that a terminating zero fits; the rest is zeroed.
void CopyField(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    const std::string cut = CutText(text.c_str(), size - 1);
    std::memcpy(field, cut.data(), cut.size());
}

}  // namespace

std::string CutText(const char* text, size_t maxBytes) {
    if (text == nullptr) {
        return {};
    }
    size_t n = strnlen(text, maxBytes + 1);
    if (n > maxBytes) {
        n = maxBytes;
        // Back off continuation bytes (10xxxxxx) so that no character is split.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
            --n;
        }
    }
    return std::string(text, n);
}

RasDialer::RasDialer() : RasDialer(dialup::CreateDialupService()) {}

RasDialer::RasDialer(std::unique_ptr<dialup::IDialupService> service) : service_(std::move(service)) {}

RasDialer::~RasDialer() {
    uintptr_t dialled = 0;
    {
        std::lock_guard lock(mutex_);
        dialled = dialled_;
    }
    dialup::ConnectStatus status;
    // Only what this dialer dialled: another program's connection (another client of ours included) stays.
    if (dialled != 0 && service_->GetConnectStatus(dialled, status) == kErrorOk) {
        SetHandle(dialled);
        HangUpConnection({});
    }
    service_.reset();
}

uintptr_t RasDialer::Handle() const {
    std::lock_guard lock(mutex_);
    return handle_;
}

void RasDialer::SetHandle(uintptr_t handle) {
    std::lock_guard lock(mutex_);
    handle_ = handle;
}

int RasDialer::CountModemDevices() {
    std::vector<dialup::DialDevice> devices;
    if (service_->EnumDevices(devices) != kErrorOk) {
        return -1;
    }
    return static_cast<int>(std::count_if(devices.begin(), devices.end(), [](const dialup::DialDevice& d) {
        return strcasecmp(d.type.c_str(), kModemType) == 0;
    }));
}

int RasDialer::ListModemDevices(std::vector<std::string>& names) {
    names.clear();
    std::vector<dialup::DialDevice> devices;
    if (service_->EnumDevices(devices) != kErrorOk) {
        return 0;
    }
    for (const dialup::DialDevice& d : devices) {
        if (strcasecmp(d.type.c_str(), kModemType) == 0) {
            names.push_back(d.name);
        }
    }
    return 1;
}

int RasDialer::CreateEntry(const std::string& name, const std::string& deviceType,
                           const std::string& deviceName, uint32_t networkProtocols, uint32_t framingProtocol,
                           const std::string& phoneNumber, const std::string& phonebook) {
    if (service_->ValidateEntryName(phonebook, name) == kErrorAlreadyExists) {
        return kErrorAlreadyExists;
    }
    dialup::DialEntry entry;
    entry.name = name;
    entry.phoneNumber = phoneNumber;
    entry.networkProtocols = networkProtocols;
    entry.framingProtocol = framingProtocol;
    entry.deviceType = deviceType;
    entry.deviceName = deviceName;
    return service_->SetEntry(phonebook, entry);
}

int RasDialer::GetEntry(const std::string& name, dialup::DialEntry& entry, const std::string& phonebook) {
    if (service_->ValidateEntryName(phonebook, name) != kErrorAlreadyExists) {
        return kRasEntryMissing;
    }
    return service_->GetEntry(phonebook, name, entry);
}

int RasDialer::SetDialingRules(const std::string& name, uint32_t options, const std::string& areaCode,
                               int32_t set, uint32_t countryCode, uint32_t countryId,
                               const std::string& phonebook) {
    dialup::DialEntry entry;
    if (const int result = GetEntry(name, entry, phonebook); result != kErrorOk) {
        return result;
    }
    entry.options = set != 0 ? entry.options | options : entry.options & ~options;
    entry.countryId = countryId;
    entry.countryCode = countryCode;
    entry.areaCode = areaCode;
    return service_->SetEntry(phonebook, entry);
}

int RasDialer::SetDialParams(const std::string& name, const std::string& userName,
                             const std::string& password, int32_t savePassword,
                             const std::string& phonebook) {
    dialup::DialParams params;
    params.entryName = name;
    params.userName = userName;
    params.password = password;
    return service_->SetDialParams(phonebook, params, savePassword == 0);
}

int RasDialer::DialEntry(const std::string& name, DialStateCallback callback, const std::string& phoneNumber,
                         const std::string& userName, const std::string& password, const std::string& domain,
                         const std::string& phonebook) {
    dialup::DialParams params;
    params.entryName = name;
    params.phoneNumber = phoneNumber;
    params.userName = userName;
    params.password = password;
    params.domain = domain;
    SetHandle(0);
    auto progress = [callback](dialup::ConnectionId id, uint32_t state, uint32_t error, uint32_t extended) {
        return callback == nullptr || callback(id, kDialEventMessage, state, error, extended) != 0;
    };
    dialup::ConnectionId id = 0;
    const int result = service_->Dial(phonebook, params, progress, id);
    if (result == kErrorOk) {
        std::lock_guard lock(mutex_);
        handle_ = id;
        dialled_ = id;
    }
    return result;
}

int RasDialer::FindConnection(const std::string&, uintptr_t& handle) {
    std::vector<dialup::ConnectionInfo> connections;
    if (service_->EnumConnections(connections) != kErrorOk || connections.empty()) {
        return 0;
    }
    // Only the first listed connection is looked at.
    dialup::ConnectStatus status;
    if (service_->GetConnectStatus(connections.front().id, status) != kErrorOk ||
        status.state != dialup::kStateConnected) {
        return 0;
    }
    SetHandle(connections.front().id);
    handle = connections.front().id;
    return 1;
}

int RasDialer::HangUpConnection(const std::string& name) {
    uintptr_t handle = Handle();
    dialup::ConnectStatus status;
    // A handle whose connection has ended would otherwise stand in the way of the one that is there now.
    if (handle != 0 && service_->GetConnectStatus(handle, status) == kErrorInvalidHandle) {
        SetHandle(0);
        handle = 0;
    }
    if (handle == 0 && FindConnection(name, handle) == 0) {
        return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + kHangUpWait;
    if (const int result = service_->HangUp(handle, kHangUpWait); result != kErrorOk) {
        if (result == kErrorInvalidHandle) {
            SetHandle(0);
        }
        return 0;
    }
    for (;;) {
        if (service_->GetConnectStatus(handle, status) == kErrorInvalidHandle) {
            std::lock_guard lock(mutex_);
            if (handle_ == handle) {
                handle_ = 0;
            }
            if (dialled_ == handle) {
                dialled_ = 0;
            }
            return 1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return 0;
        }
        std::this_thread::sleep_for(kHangUpPoll);
    }
}

int RasDialer::GetStatistics(ConnectionStatistics* out) {
    if (out == nullptr) {
        return kRasInvalidParameter;
    }
    std::memset(out, 0, sizeof *out);
    uintptr_t handle = Handle();
    if (handle == 0 && FindConnection({}, handle) == 0) {
        return kErrorOk;
    }
    dialup::LinkStatistics s;
    if (const int result = service_->GetStatistics(handle, s); result != kErrorOk) {
        std::lock_guard lock(mutex_);
        if (handle_ == handle) {
            handle_ = 0;
        }
        return result;
    }
    // The record's fields are 32 bits wide: counters past 4 GiB wrap.
    out->Size = sizeof *out;
    out->BytesSent = static_cast<uint32_t>(s.bytesSent);
    out->BytesReceived = static_cast<uint32_t>(s.bytesReceived);
    out->FramesSent = static_cast<uint32_t>(s.framesSent);
    out->FramesReceived = static_cast<uint32_t>(s.framesReceived);
    out->CrcErrors = static_cast<uint32_t>(s.crcErrors);
    out->TimeoutErrors = static_cast<uint32_t>(s.timeoutErrors);
    out->AlignmentErrors = static_cast<uint32_t>(s.alignmentErrors);
    out->HardwareOverrunErrors = static_cast<uint32_t>(s.hardwareOverrunErrors);
    out->FramingErrors = static_cast<uint32_t>(s.framingErrors);
    out->BufferOverrunErrors = static_cast<uint32_t>(s.bufferOverrunErrors);
    out->Bps = s.bps;
    out->ConnectDuration = static_cast<uint32_t>(s.connectDurationMs);
    return kErrorOk;
}

int RasDialer::ClearStatistics() {
    uintptr_t handle = Handle();
    if (handle == 0) {
        FindConnection({}, handle);
    }
    return service_->ClearStatistics(handle);
}

int RasDialer::GetDialSettingsRecord(DialSettingsRecord* record) {
    if (record == nullptr) {
        return kRasInvalidParameter;
    }
    const std::string name(record->EntryName, strnlen(record->EntryName, sizeof record->EntryName));
    if (service_->ValidateEntryName({}, name) != kErrorAlreadyExists) {
        return dialup::kErrorInvalidName;
    }
    dialup::DialEntry entry;
    if (const int result = service_->GetEntry({}, name, entry); result != kErrorOk) {
        return result;
    }
    record->CountryCode = entry.countryCode;
    record->CountryId = entry.countryId;
    record->UseAreaCode = (entry.options & dialup::kOptUseCountryAndAreaCodes) != 0 ? 1 : 0;
    CopyField(record->AreaCode, sizeof record->AreaCode, entry.areaCode);
    CopyField(record->DeviceName, sizeof record->DeviceName, entry.deviceName);
    CopyField(record->PhoneNumber, sizeof record->PhoneNumber, entry.phoneNumber);
    dialup::DialParams params;
    if (const int result = service_->GetDialParams({}, name, params); result != kErrorOk) {
        return result;
    }
    CopyField(record->UserName, sizeof record->UserName, params.userName);
    CopyField(record->Password, sizeof record->Password,
              params.passwordSaved ? params.password : std::string());
    record->PasswordSaved = params.passwordSaved ? 1 : 0;
    return kErrorOk;
}

int RasDialer::EnumEntries(uint8_t* list) {
    if (list == nullptr) {
        return kRasInvalidParameter;
    }
    std::vector<std::string> names;
    if (const int result = service_->EnumEntries({}, names); result != kErrorOk) {
        return result;
    }
    // More entries than the list holds: the first ones in name order, and the count says how many are given.
    const size_t count = std::min(names.size(), kMaxDialEntries);
    std::memset(list, 0, kDialEntryListSize);
    list[0] = static_cast<uint8_t>(count);
    for (size_t i = 0; i < count; ++i) {
        // A name of the full 256 bytes fills its slot without a terminating zero.
        std::memcpy(list + 1 + i * kDialEntrySlotSize, names[i].data(),
                    std::min(names[i].size(), kDialEntrySlotSize));
    }
    return kErrorOk;
}

int RasDialer::DeleteEntry(const std::string& name, const std::string& phonebook) {
    return service_->DeleteEntry(phonebook, name);
}

int RasDialer::EditAuthentication(const std::string& name, AuthEdit edit) {
    dialup::DialEntry entry;
    if (const int result = service_->GetEntry({}, name, entry); result != kErrorOk) {
        std::fprintf(stderr, "VelmoModem: GetEntryProperties failed! (entry \"%s\": %d, %s)\n", name.c_str(),
                     result, dialup::DialErrorText(result).c_str());
        return -1;
    }
    const AuthChange change = AuthChangeFor(edit);
    entry.options = (entry.options & ~change.cleared) | change.set;
    if (edit == AuthEdit::AnyNoNbt) {
        entry.options2 = kNetBiosOverIpOff;
    }
    entry.idleDisconnectSeconds = kIdleNever;
    entry.encryptionType = kEncryptionOptional;
    if (const int result = service_->SetEntry({}, entry); result != kErrorOk) {
        std::fprintf(stderr, "VelmoModem: SetEntryProperties failed! (entry \"%s\": %d, %s)\n", name.c_str(),
                     result, dialup::DialErrorText(result).c_str());
        return -1;
    }
    return 0;
}

}  // namespace velmo::service
