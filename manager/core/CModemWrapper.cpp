#include "CModemWrapper.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstring>

#include "Settings.h"

namespace velmo::manager {

namespace {

constexpr uint8_t kRequest60 = 60;
constexpr int kUsbAttempts = 3;
constexpr size_t kMaxEntryName = 256;
constexpr size_t kParameterReplyOffset = 5;
constexpr size_t kSpcLength = 6;

uint16_t Word(const uint8_t* b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// An 8-byte card code field: at most 8 characters, zero-filled.
void PutCode(std::vector<uint8_t>& packet, const std::string& code) {
    const size_t at = packet.size();
    packet.resize(at + kCardCodeField, 0);
    std::memcpy(packet.data() + at, code.data(), std::min(code.size(), kCardCodeField));
}

// Six SPC characters, zero-padded when the text is shorter.
std::array<char, kSpcLength + 1> SpcField(const std::string& text) {
    std::array<char, kSpcLength + 1> f{};
    std::memcpy(f.data(), text.data(), std::min(text.size(), kSpcLength));
    return f;
}

}  // namespace

int32_t ComputeOsClass() {
    utsname u{};
    return uname(&u) == 0 ? kOsClassModern : 0;
}

const ParameterSize* FindParameter(uint8_t code) {
    for (const ParameterSize& p : kParameterSizes) {
        if (p.code == code) {
            return &p;
        }
    }
    return nullptr;
}

CModemWrapper::CModemWrapper() {
    alive_.store(true);
}

CModemWrapper::~CModemWrapper() {
    if (owned_ && modem_.load() != nullptr) {
        Close();
    }
    Unbind();
    alive_.store(false);
}

template <class F>
bool CModemWrapper::Call(F&& f) {
    std::lock_guard lock(callLock_);
    IOrvikModem* m = modem_.load();
    if (m == nullptr) {
        return false;
    }
    f(*m);
    return true;
}

int CModemWrapper::Bind(const MessageSink& owner, const std::vector<std::string>& candidates) {
    const auto say = [&](const char* text) {
        if (owner) {
            owner(text);
        }
    };
    if (modem_.load() != nullptr) {
        say("Profil już istnieje.");
        lastResult_.store(1);
        return 1;
    }
    osClass_ = ComputeOsClass();
    if (!library_.Open(candidates)) {
        lastResult_.store(5);
        say("Library VelmoModem.Dll not found!");
        return 1;
    }
    const IOrvikModemCreateFn create = library_.Create();
    if (create == nullptr) {
        lastResult_.store(4);
        say("Library Creation Error!");
        return 1;
    }
    IOrvikModem* made = nullptr;
    if (create(&made) != 0 || made == nullptr) {
        say("Library Creation Fail!");
        return 1;
    }
    modem_.store(made);
    owned_ = true;
    lastResult_.store(0);
    return 0;
}

void CModemWrapper::Unbind() {
    std::lock_guard lock(callLock_);
    IOrvikModem* m = modem_.exchange(nullptr);
    if (owned_ && m != nullptr && library_.IsOpen()) {
        if (const IOrvikModemDestroyFn destroy = library_.Destroy(); destroy != nullptr) {
            destroy(m);
        }
    }
    owned_ = false;
    library_.Close();
}

void CModemWrapper::Attach(IOrvikModem* modem) {
    std::lock_guard lock(callLock_);
    modem_.store(modem);
    owned_ = false;
}

bool CModemWrapper::SetNotifyWindow(IModemNotifyTarget* target) {
    Call([&](IOrvikModem& m) { m.SetNotifyWindow(target); });
    return true;
}

bool CModemWrapper::OpenUsbPort(bool singleAttempt) {
    for (int attempt = 0;; ++attempt) {
        if (stop_.load() || (closing_ != nullptr && closing_->load()) || (attempt >= 1 && singleAttempt) ||
            attempt >= kUsbAttempts) {
            return false;
        }
        int32_t port = settings_ != nullptr ? settings_->configuredPort.load() : 0;
        if (settings_ != nullptr && settings_->automaticPort.load() != 0) {
            port = detector_ ? detector_() : 0;
        }
        currentPort_.store(port);
        if (port > 0) {
            int32_t r = -1;
            Call([&](IOrvikModem& m) { r = m.OpenSerialPort(port, baudRate_); });
            if (r == 0) {
                portOpen_.store(true);
                return true;
            }
            portOpen_.store(false);
        }
    }
}

bool CModemWrapper::ReopenUsbPort() {
    Close();
    return OpenUsbPort(false);
}

bool CModemWrapper::OpenEthernetLink() {
    int32_t r = 0;
    Call([&](IOrvikModem& m) { r = m.OpenNetworkLink(0); });
    if (r == 0) {
        return false;
    }
    ReadDeviceText();
    return true;
}

bool CModemWrapper::Close() {
    portOpen_.store(false);
    Call([](IOrvikModem& m) { m.ClosePort(); });
    return true;
}

bool CModemWrapper::Abort() {
    stop_.store(true);
    // Not under the call lock: it exists to release a caller that holds it.
    if (IOrvikModem* m = modem_.load(); m != nullptr) {
        m->AbortWait();
    }
    return true;
}

bool CModemWrapper::ResetModem() {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.ResetModem(); }) && r == 0;
}

bool CModemWrapper::QueryStatus(int32_t kind) {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.QueryStatus(&status_, kind); }) && r == 0;
}

bool CModemWrapper::RequestStatus16() {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.RequestStatus16(); }) && r == 0;
}

bool CModemWrapper::SetReportLevel(int32_t level) {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.SetReportLevel(level); }) && r == 0;
}

bool CModemWrapper::VerifySpc(const std::string& spc) {
    int32_t r = -1;
    const auto field = SpcField(spc);
    const bool called = Call([&](IOrvikModem& m) { r = m.VerifySpc(field.data()); });
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
}

bool CModemWrapper::ChangeSpc(const std::string& spc) {
    int32_t r = -1;
    const auto field = SpcField(spc);
    const bool called = Call([&](IOrvikModem& m) { r = m.ChangeSpc(field.data()); });
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
}

bool CModemWrapper::WriteParameter(uint8_t code, size_t size, const uint8_t* value) {
    NamParameterRecord record{};
    record.Code = code;
    std::memcpy(record.Value, value, std::min(size, sizeof(record.Value)));
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.WriteNamParameter(&record); });
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
}

bool CModemWrapper::ReadParameter(uint8_t code, size_t size) {
    std::array<uint8_t, kNamParameterReplySize> reply{};
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.ReadNamParameter(code, reply.data()); });
    if (called) {
        lastResult_.store(r);
    }
    if (!called || r != 0) {
        return false;
    }
    auto& slot = parameters_[code % parameters_.size()];
    slot.fill(0);
    std::memcpy(slot.data(), reply.data() + kParameterReplyOffset,
                std::min({size, slot.size(), reply.size() - kParameterReplyOffset}));
    return true;
}

bool CModemWrapper::ReadNvItem(int32_t item, size_t size, uint8_t* value) {
    std::array<uint8_t, kNvItemSize> buffer{};
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.ReadNvItem(item, buffer.data()); });
    if (called) {
        lastResult_.store(r);
    }
    if (!called || r != 0) {
        return false;
    }
    std::memcpy(value, buffer.data(), std::min(size, buffer.size()));
    return true;
}

bool CModemWrapper::ReadRuimMode() {
    uint8_t v[2] = {};
    if (!ReadNvItem(kNvRuimMode, sizeof(v), v)) {
        return false;
    }
    nv855_ = static_cast<int16_t>(Word(v, 0));
    return true;
}

bool CModemWrapper::DownloadPrl(const uint8_t* data, int32_t length) {
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.DownloadPrl(data, length); });
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
}

bool CModemWrapper::SetOffline() {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.SetOfflineMode(); }) && r == 0;
}

bool CModemWrapper::DeleteDialEntry(const std::string& entry) {
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.DeleteDialEntry(entry.c_str()); });
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
}

bool CModemWrapper::GetDialSettings(const std::string& entry, DialSettingsRecord* out) {
    dial_ = DialSettingsRecord{};
    std::memcpy(dial_.EntryName, entry.data(), std::min(entry.size(), kMaxEntryName - 1));
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.GetDialSettings(&dial_); });
    if (called) {
        lastResult_.store(r);
    }
    if (out != nullptr) {
        *out = dial_;
    }
    return called && r == 0;
}

bool CModemWrapper::SetEntryOptions(const std::string& entry) {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.SetEntryAuthAny(entry.c_str()); }) && r == 0;
}

bool CModemWrapper::Dial(DialStateCallback callback, const std::string& entry, const std::string& number,
                         const std::string& user, const std::string& password) {
    Call([&](IOrvikModem& m) {
        m.Dial(callback, entry.c_str(), number.c_str(), user.c_str(), password.c_str());
    });
    return true;
}

bool CModemWrapper::HangUp() {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.HangUp(1); }) && r == 0;
}

std::string CModemWrapper::LibraryVersion() {
    const char* text = nullptr;
    int32_t r = -1;
    Call([&](IOrvikModem& m) { r = m.GetLibraryVersion(&text); });
    return r == 0 && text != nullptr ? std::string(text) : std::string();
}

std::string CModemWrapper::DiscoveredAddress() {
    std::array<char, kDiscoveredAddressSize> out{};
    Call([&](IOrvikModem& m) { m.GetDiscoveredAddress(out.data()); });
    out.back() = '\0';
    return std::string(out.data());
}

int CModemWrapper::RfBlockAFirst() {
    // The window thread asks this while the worker may be waiting on the modem under the call lock: rather
    // than freeze the window, give the last value read.
    std::unique_lock lock(callLock_, std::try_to_lock);
    IOrvikModem* m = modem_.load();
    if (!lock.owns_lock() || m == nullptr) {
        return m == nullptr ? -1 : rfBlockAFirst_.load();
    }
    std::array<uint8_t, kRfBlockASize> block{};
    m->GetRfBlockA(block.data());
    rfBlockAFirst_.store(static_cast<int16_t>(static_cast<uint16_t>(block[0] | (block[1] << 8))));
    return rfBlockAFirst_.load();
}

bool CModemWrapper::ReadCachedParameter(uint8_t code) {
    const ParameterSize* p = FindParameter(code);
    return p != nullptr && !p->writeOnly && ReadParameter(code, p->size);
}

bool CModemWrapper::WriteCachedParameter(uint8_t code) {
    const ParameterSize* p = FindParameter(code);
    return p != nullptr && WriteParameter(code, p->size, parameters_[code % parameters_.size()].data());
}

std::vector<uint8_t> CModemWrapper::CachedParameter(uint8_t code) const {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr) {
        return {};
    }
    const auto& slot = parameters_[code % parameters_.size()];
    return std::vector<uint8_t>(slot.begin(), slot.begin() + p->size);
}

void CModemWrapper::SetCachedParameter(uint8_t code, const std::vector<uint8_t>& value) {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr) {
        return;
    }
    auto& slot = parameters_[code % parameters_.size()];
    slot.fill(0);
    std::memcpy(slot.data(), value.data(), std::min<size_t>(value.size(), p->size));
}

bool CModemWrapper::WriteParameterText(uint8_t code, const std::string& text) {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr || (code == 26 && text.size() != p->size)) {
        return false;
    }
    SetCachedParameter(code, std::vector<uint8_t>(text.begin(), text.end()));
    return WriteCachedParameter(code);
}

bool CModemWrapper::Send60(const std::vector<uint8_t>& packet, uint8_t* reply, bool large) {
    int32_t r = -1;
    const auto count = static_cast<int32_t>(packet.size());
    const bool called = Call([&](IOrvikModem& m) {
        r = large ? m.SendRequest60Large(packet.data(), count, reply)
                  : m.SendRequest60(packet.data(), count, reply);
    });
    return called && r == 0;
}

bool CModemWrapper::ReadDeviceText() {
    std::array<uint8_t, kRequest60ReplySize> reply{};
    if (!Send60({kRequest60, 0, 0}, reply.data(), false)) {
        return false;
    }
    const uint16_t length = Word(reply.data(), 5);
    if (Word(reply.data(), 3) != 0 || length < 1 || length > 255) {
        return false;
    }
    // The text cannot run past the reply, whatever the length says.
    deviceText_.assign(reinterpret_cast<const char*>(reply.data()) + 7,
                       std::min<size_t>(length, reply.size() - 7));
    deviceText_.resize(std::strlen(deviceText_.c_str()));
    return true;
}

bool CModemWrapper::ReadCapability(uint16_t* value) {
    std::array<uint8_t, kRequest60ReplySize> reply{};
    if (!Send60({kRequest60, 1, 0}, reply.data(), false) || Word(reply.data(), 3) != 0) {
        return false;
    }
    *value = Word(reply.data(), 5);
    return true;
}

bool CModemWrapper::QuitCommand5(uint16_t argument) {
    std::array<uint8_t, kRequest60ReplySize> reply{};
    return Send60({kRequest60, 0, 5, static_cast<uint8_t>(argument), static_cast<uint8_t>(argument >> 8)},
                  reply.data(), false) &&
           Word(reply.data(), 3) == 0;
}

bool CModemWrapper::QuitCommand16() {
    std::array<uint8_t, kRequest60ReplySize> reply{};
    return Send60({kRequest60, 0, 16}, reply.data(), false) && reply[3] == 0;
}

bool CModemWrapper::ReadUserStatus(uint16_t words[8]) {
    std::array<uint8_t, kRequest60ReplySize> reply{};
    if (!Send60({kRequest60, 1, 34, 0, 0}, reply.data(), false) || Word(reply.data(), 3) != 0) {
        return false;
    }
    for (size_t i = 0; i < 8; ++i) {
        words[i] = Word(reply.data(), 5 + 2 * i);
    }
    return true;
}

bool CModemWrapper::CardCommand(const std::vector<uint8_t>& packet, CardReply* reply) {
    std::array<uint8_t, kRequest60ReplySize> r{};
    bool sent = Send60(packet, r.data(), false);
    // The card status is asked twice: the first request after a card event often goes unanswered.
    if (!sent && packet[2] == 35) {
        r.fill(0);
        sent = Send60(packet, r.data(), false);
    }
    if (!sent) {
        return false;
    }
    CardReply out{r[3], r[4], r[5], packet[2] == 35 ? r[6] : uint8_t{0}};
    if (reply != nullptr) {
        *reply = out;
    }
    return out.uimAck != 0;
}

bool CModemWrapper::CardStatus(CardReply* reply) {
    return CardCommand({kRequest60, 1, 35}, reply);
}

bool CModemWrapper::VerifyPin(const std::string& pin, CardReply* reply) {
    std::vector<uint8_t> p{kRequest60, 1, 36};
    PutCode(p, pin);
    return CardCommand(p, reply);
}

bool CModemWrapper::EnablePin(bool disable, const std::string& pin, CardReply* reply) {
    std::vector<uint8_t> p{kRequest60, 1, 37, static_cast<uint8_t>(disable ? 1 : 0)};
    PutCode(p, pin);
    return CardCommand(p, reply);
}

bool CModemWrapper::ChangePin(const std::string& oldPin, const std::string& newPin, CardReply* reply) {
    std::vector<uint8_t> p{kRequest60, 1, 38};
    PutCode(p, oldPin);
    PutCode(p, newPin);
    return CardCommand(p, reply);
}

bool CModemWrapper::PukStatus(CardReply* reply) {
    return CardCommand({kRequest60, 1, 39}, reply);
}

bool CModemWrapper::UnblockPin(const std::string& puk, const std::string& newPin, CardReply* reply) {
    std::vector<uint8_t> p{kRequest60, 1, 40};
    PutCode(p, puk);
    PutCode(p, newPin);
    return CardCommand(p, reply);
}

bool CModemWrapper::SmsSend(const uint8_t* record, uint8_t out3[3]) {
    std::vector<uint8_t> p(record, record + kSmsRecordSize);
    p[0] = kRequest60;
    p[1] = 1;
    p[2] = 50;
    std::array<uint8_t, kRequest60ReplySize> r{};
    if (!Send60(p, r.data(), false) || r[3] != p[3] || r[6] != 1) {
        return false;
    }
    std::copy_n(r.begin() + 3, 3, out3);
    return true;
}

bool CModemWrapper::SmsRead(const uint8_t* record, uint8_t* out1086) {
    const std::vector<uint8_t> p{kRequest60, 1, 51, record[3], record[4]};
    std::fill_n(out1086, kRequest60LargeReplySize, 0);
    return Send60(p, out1086, true) && out1086[3] == p[3] && out1086[5] == 1;
}

bool CModemWrapper::SmsDelete(const uint8_t* record, uint8_t out3[3]) {
    const std::vector<uint8_t> p{kRequest60, 1, 52, record[3], record[4]};
    std::array<uint8_t, kRequest60ReplySize> r{};
    if (!Send60(p, r.data(), false) || r[3] != p[3] || r[4] != p[4]) {
        return false;
    }
    std::copy_n(r.begin() + 3, 3, out3);
    return true;
}

bool CModemWrapper::SmsCount(const uint8_t* record, uint8_t* out) {
    const std::vector<uint8_t> p{kRequest60, 1, 54, record[3]};
    std::array<uint8_t, kRequest60ReplySize> r{};
    if (!Send60(p, r.data(), false)) {
        return false;
    }
    if (r[3] == p[3]) {
        *out = r[4];
    }
    return true;
}

}  // namespace velmo::manager
