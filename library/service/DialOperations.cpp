// Service operations of the dial-up connection (slots 44 to 57).
#include <cstring>

#include "ModemService.h"

namespace velmo::service {

namespace {

constexpr const char* kPreferredDeviceMarker = "Brivanta";
constexpr const char* kEntryDeviceType = "modem";
constexpr uint32_t kNetworkProtocolIp = 4;
constexpr uint32_t kFramingPpp = 1;
constexpr uint32_t kOptionsWithAreaCode = 0x11;  // remote default gateway, country and area codes
constexpr uint32_t kOptionsNoAreaCode = 0x10;    // remote default gateway
constexpr uint32_t kDefaultCountry = 1;

}  // namespace

int32_t ModemService::CreateDialEntry() {
    if (!dialer_) {
        return kResultNoReply;
    }
    const int count = dialer_->CountModemDevices();
    if (count == 0) {
        return kResultNoModemDevice;
    }
    std::vector<std::string> names;
    if (dialer_->ListModemDevices(names) == 0 || names.empty()) {
        return kResultNoReply;
    }
    deviceName_ = names.front();
    for (const std::string& name : names) {
        if (name.find(kPreferredDeviceMarker) != std::string::npos) {
            deviceName_ = name;
            break;
        }
    }
    // An entry that already exists keeps its properties and dialing rules; only its dial parameters change.
    const int created = dialer_->CreateEntry(entryName_, kEntryDeviceType, deviceName_, kNetworkProtocolIp,
                                             kFramingPpp, phoneNumber_, {});
    if (created != dialup::kErrorAlreadyExists &&
        dialer_->SetDialingRules(entryName_, useAreaCode_ != 0 ? kOptionsWithAreaCode : kOptionsNoAreaCode,
                                 areaCode_, 1, kDefaultCountry, kDefaultCountry, {}) != 0) {
        return kResultNoReply;
    }
    if (dialer_->SetDialParams(entryName_, userName_, password_, savePassword_, {}) != 0) {
        return kResultNoReply;
    }
    return kResultOk;
}

int32_t ModemService::Dial(DialStateCallback callback, const char* entryName, const char* phoneNumber,
                           const char* userName, const char* password) {
    entryName_ = CutText(entryName, kMaxEntryNameText);
    phoneNumber_ = CutText(phoneNumber, kMaxPhoneNumberText);
    userName_ = CutText(userName, kMaxUserNameText);
    password_ = CutText(password, kMaxPasswordText);
    lastResult_.store(kResultOk);
    if (!dialer_) {
        return lastResult_.load();
    }
    uintptr_t handle = 0;
    if (dialer_->FindConnection(entryName_, handle) != 0) {
        return lastResult_.load();
    }
    // Progress and failure reach the caller through its callback only.
    dialer_->DialEntry(entryName_, callback, phoneNumber_, userName_, password_, {}, {});
    return lastResult_.load();
}

int32_t ModemService::HangUp(int32_t) {
    const bool hungUp = dialer_ && dialer_->HangUpConnection(entryName_) == 1;
    lastResult_.store(hungUp ? kResultOk : kResultNoReply);
    return lastResult_.load();
}

int32_t ModemService::SetConnectionParameters(const char* entryName, const char* phoneNumber,
                                              const char* userName, const char* password,
                                              const char* areaCode, int32_t useAreaCode,
                                              int32_t savePassword) {
    entryName_ = CutText(entryName, kMaxEntryNameText);
    phoneNumber_ = CutText(phoneNumber, kMaxPhoneNumberText);
    userName_ = CutText(userName, kMaxUserNameText);
    password_ = CutText(password, kMaxPasswordText);
    areaCode_ = CutText(areaCode, kMaxAreaCodeText);
    useAreaCode_ = useAreaCode;
    savePassword_ = savePassword;
    // Through the slot, as a caller would.
    IOrvikModem& self = *this;
    const int32_t result = self.CreateDialEntry();
    lastResult_.store(result);
    return result;
}

int32_t ModemService::DeleteDialEntry(const char* entryName) {
    const bool deleted = dialer_ && dialer_->DeleteEntry(CutText(entryName, kMaxEntryNameText), {}) == 0;
    lastResult_.store(deleted ? kResultOk : kResultDeleteEntryFailed);
    return lastResult_.load();
}

int32_t ModemService::GetConnectionStatistics(ConnectionStatistics* out) {
    return dialer_ ? dialer_->GetStatistics(out) : kResultNoReply;
}

int32_t ModemService::ClearConnectionStatistics() {
    return dialer_ ? dialer_->ClearStatistics() : kResultNoReply;
}

int32_t ModemService::GetDialSettings(DialSettingsRecord* record) {
    return dialer_ ? dialer_->GetDialSettingsRecord(record) : kResultNoReply;
}

int32_t ModemService::EnumDialEntries(uint8_t* list) {
    return dialer_ ? dialer_->EnumEntries(list) : kResultNoReply;
}

int32_t ModemService::SetEntryAuthAny(const char* entryName) {
    return dialer_ ? dialer_->EditAuthentication(CutText(entryName, kMaxEntryNameText), AuthEdit::Any) : -1;
}

int32_t ModemService::SetEntryAuthAnyNoNbt(const char* entryName) {
    return dialer_ ? dialer_->EditAuthentication(CutText(entryName, kMaxEntryNameText), AuthEdit::AnyNoNbt)
                   : -1;
}

int32_t ModemService::SetEntryAuthChap(const char* entryName) {
    return dialer_ ? dialer_->EditAuthentication(CutText(entryName, kMaxEntryNameText), AuthEdit::Chap) : -1;
}

int32_t ModemService::SetEntryAuthPap(const char* entryName) {
    return dialer_ ? dialer_->EditAuthentication(CutText(entryName, kMaxEntryNameText), AuthEdit::Pap) : -1;
}

int32_t ModemService::SetEntryAuthPapChap(const char* entryName) {
    return dialer_ ? dialer_->EditAuthentication(CutText(entryName, kMaxEntryNameText), AuthEdit::PapChap)
                   : -1;
}

}  // namespace velmo::service
