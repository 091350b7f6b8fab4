#include "CModemWrapper.h"

#include <sys/utsname.h>

#include <QLoggingCategory>
#include <algorithm>
#include <cstring>

#include "Settings.h"

namespace velmo::manager {

namespace {

Q_LOGGING_CATEGORY(lcModem, "velmo.manager.modem", QtWarningMsg)

// At most the first 16 bytes, in hex.
QString Hex(const uint8_t* data, size_t size) {
    constexpr size_t kShown = 16;
    QString text = QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(std::min(size, kShown)))
            .toHex(' '));
    if (size > kShown) {
        text += QStringLiteral(" … (%1 bytes)").arg(size);
    }
    return text;
}

// A request as the diagnostics show it: codes typed by the user and message contents travel in the
// arguments of the personal rows, so of those only the header is shown.
QString LoggedRequest(const r60::Row& row, const std::vector<uint8_t>& packet) {
    if (!row.personal || packet.size() <= r60::kArgsAt) {
        return Hex(packet.data(), packet.size());
    }
    return Hex(packet.data(), r60::kArgsAt) +
           QStringLiteral(" ** (%1 bytes hidden)").arg(packet.size() - r60::kArgsAt);
}

constexpr int kUsbAttempts = 3;
constexpr size_t kMaxEntryName = 256;
constexpr size_t kParameterReplyOffset = 5;
constexpr size_t kSpcLength = 6;

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
    osClass_.store(ComputeOsClass());
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
    // The record is filled group by group: the call writes into the cache itself, under the lock.
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
    qCDebug(lcModem) << "SPC verify ** ->" << (called ? r : -1);
    return called && r == 0;
}

bool CModemWrapper::ChangeSpc(const std::string& spc) {
    int32_t r = -1;
    const auto field = SpcField(spc);
    const bool called = Call([&](IOrvikModem& m) { r = m.ChangeSpc(field.data()); });
    if (called) {
        lastResult_.store(r);
    }
    qCDebug(lcModem) << "SPC change ** ->" << (called ? r : -1);
    return called && r == 0;
}

bool CModemWrapper::WriteParameter(ParamCode code, size_t size, const uint8_t* value) {
    NamParameterRecord record{};
    record.Code = Raw(code);
    std::memcpy(record.Value, value, std::min(size, sizeof(record.Value)));
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.WriteNamParameter(&record); });
    if (called) {
        lastResult_.store(r);
    }
    qCDebug(lcModem) << "parameter write" << record.Code << size << "bytes ** ->" << (called ? r : -1);
    return called && r == 0;
}

bool CModemWrapper::ReadParameter(ParamCode code, size_t size) {
    std::array<uint8_t, kNamParameterReplySize> reply{};
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) {
        r = m.ReadNamParameter(Raw(code), reply.data());
        if (r == 0) {
            auto& slot = parameters_[Raw(code) % parameters_.size()];
            slot.fill(0);
            wire::LeReader(reply, kParameterReplyOffset)
                .Bytes(std::span(slot).first(std::min(size, slot.size())));
        }
    });
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
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
    std::array<uint8_t, 2> v{};
    if (!ReadNvItem(kNvRuimMode, v.size(), v.data())) {
        return false;
    }
    std::lock_guard lock(callLock_);
    nv855_ = static_cast<int16_t>(wire::Get16(v, 0));
    return true;
}

bool CModemWrapper::DownloadPrl(const uint8_t* data, int32_t length, PrlProgress progress) {
    {
        std::lock_guard lock(progressLock_);
        prlProgress_ = std::move(progress);
    }
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) { r = m.DownloadPrl(data, length); });
    {
        std::lock_guard lock(progressLock_);
        prlProgress_ = nullptr;
    }
    if (called) {
        lastResult_.store(r);
    }
    return called && r == 0;
}

void CModemWrapper::OnPrlProgress(uintptr_t sent, intptr_t total) {
    std::lock_guard lock(progressLock_);
    if (prlProgress_) {
        prlProgress_(static_cast<int>(std::min<uintptr_t>(sent, INT32_MAX)),
                     static_cast<int>(std::clamp<intptr_t>(total, 0, INT32_MAX)));
    }
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
    int32_t r = -1;
    const bool called = Call([&](IOrvikModem& m) {
        dial_ = DialSettingsRecord{};
        std::memcpy(dial_.EntryName, entry.data(), std::min(entry.size(), kMaxEntryName - 1));
        r = m.GetDialSettings(&dial_);
        if (out != nullptr) {
            *out = dial_;
        }
    });
    if (called) {
        lastResult_.store(r);
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

std::optional<ConnectionStatistics> CModemWrapper::ConnectionStatisticsOfCall() {
    ConnectionStatistics out{};
    int32_t r = -1;
    if (!Call([&](IOrvikModem& m) { r = m.GetConnectionStatistics(&out); }) || r != 0) {
        return std::nullopt;
    }
    return out;
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
    rfBlockAFirst_.store(static_cast<int16_t>(wire::Get16(block, 0)));
    return rfBlockAFirst_.load();
}

namespace {

template <size_t Bytes>
void ReadBlock(void (IOrvikModem::*get)(uint8_t*), IOrvikModem& m, RfBlock& block) {
    std::array<uint8_t, Bytes> raw{};
    (m.*get)(raw.data());
    block.fill(-1);
    for (size_t i = 0; i < Bytes / 2; ++i) {
        block[i] = static_cast<int16_t>(wire::Get16(raw, 2 * i));
    }
}

}  // namespace

std::optional<RfReading> CModemWrapper::TryReadRf() {
    std::unique_lock lock(callLock_, std::try_to_lock);
    IOrvikModem* m = modem_.load();
    if (!lock.owns_lock() || m == nullptr) {
        return std::nullopt;
    }
    RfReading r;
    r.updateCount = m->GetRfUpdateCount();
    r.drcIndex = m->GetDrcIndex();
    r.rxPower = m->GetRfLevel4();
    r.txClosed = m->GetRfLevel1();
    r.txPilot = m->GetRfLevel2();
    r.txTotal = m->GetRfLevel3();
    r.channel = m->GetRfChannel();
    ReadBlock<kRfBlockASize>(&IOrvikModem::GetRfBlockA, *m, r.activePilots);
    ReadBlock<kRfBlockBSize>(&IOrvikModem::GetRfBlockB, *m, r.activeEnergies);
    ReadBlock<kRfBlockCSize>(&IOrvikModem::GetRfBlockC, *m, r.neighbourPilots);
    return r;
}

bool CModemWrapper::EnableEventReports() {
    int32_t r = -1;
    return Call([&](IOrvikModem& m) { r = m.EnableEventReports(); }) && r == 0;
}

bool CModemWrapper::ReadCachedParameter(ParamCode code) {
    const ParameterSize* p = FindParameter(code);
    return p != nullptr && !p->writeOnly && ReadParameter(code, p->size);
}

bool CModemWrapper::WriteCachedParameter(ParamCode code) {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr) {
        return false;
    }
    std::array<uint8_t, kParameterCacheSize> value{};
    {
        std::lock_guard lock(callLock_);
        value = parameters_[Raw(code) % parameters_.size()];
    }
    return WriteParameter(code, p->size, value.data());
}

std::vector<uint8_t> CModemWrapper::CachedParameter(ParamCode code) const {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr) {
        return {};
    }
    std::lock_guard lock(callLock_);
    const auto& slot = parameters_[Raw(code) % parameters_.size()];
    return std::vector<uint8_t>(slot.begin(), slot.begin() + p->size);
}

uint16_t CModemWrapper::CachedWord(ParamCode code) const {
    return wire::Get16(CachedParameter(code), 0);
}

void CModemWrapper::SetCachedParameter(ParamCode code, const std::vector<uint8_t>& value) {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr) {
        return;
    }
    std::lock_guard lock(callLock_);
    auto& slot = parameters_[Raw(code) % parameters_.size()];
    slot.fill(0);
    std::copy_n(value.begin(), std::min<size_t>(value.size(), p->size), slot.begin());
}

bool CModemWrapper::WriteParameterText(ParamCode code, const std::string& text) {
    const ParameterSize* p = FindParameter(code);
    if (p == nullptr || (code == ParamCode::AKey && text.size() != p->size)) {
        return false;
    }
    SetCachedParameter(code, std::vector<uint8_t>(text.begin(), text.end()));
    return WriteCachedParameter(code);
}

std::optional<std::vector<uint8_t>> CModemWrapper::Exchange(const r60::Row& row,
                                                            const std::vector<uint8_t>& packet) {
    std::vector<uint8_t> reply(r60::ReplySize(row), 0);
    int32_t r = -1;
    const auto count = static_cast<int32_t>(packet.size());
    const bool called = Call([&](IOrvikModem& m) {
        r = row.large ? m.SendRequest60Large(packet.data(), count, reply.data())
                      : m.SendRequest60(packet.data(), count, reply.data());
    });
    if (!called || r != 0) {
        qCDebug(lcModem).noquote() << row.name << LoggedRequest(row, packet)
                                   << "failed:" << (called ? r : -1);
        return std::nullopt;
    }
    // The reply's header and status only: a read message's text and number follow them.
    constexpr size_t kReplyShown = 6;
    qCDebug(lcModem).noquote() << row.name << LoggedRequest(row, packet) << "->"
                               << Hex(reply.data(), std::min(reply.size(), kReplyShown));
    return reply;
}

bool CModemWrapper::ReadDeviceText() {
    const r60::Row& row = r60::RowOf(r60::Command::DeviceText);
    const std::vector<uint8_t> packet = r60::Build(row);
    const auto reply = Exchange(row, packet);
    if (!reply || !r60::Accepts(row, packet, *reply)) {
        return false;
    }
    std::string text = r60::ReadDeviceText(*reply);
    std::lock_guard lock(callLock_);
    deviceText_ = std::move(text);
    return true;
}

std::optional<uint16_t> CModemWrapper::ReadCapability() {
    const r60::Row& row = r60::RowOf(r60::Command::Capability);
    const std::vector<uint8_t> packet = r60::Build(row);
    const auto reply = Exchange(row, packet);
    if (!reply || !r60::Accepts(row, packet, *reply)) {
        return std::nullopt;
    }
    return r60::ReadValue(*reply);
}

bool CModemWrapper::QuitMode(uint16_t argument) {
    const r60::Row& row = r60::RowOf(r60::Command::QuitMode);
    const std::vector<uint8_t> packet = r60::Build(row, r60::Arguments::Word(argument));
    const auto reply = Exchange(row, packet);
    return reply && r60::Accepts(row, packet, *reply);
}

bool CModemWrapper::QuitRelease() {
    const r60::Row& row = r60::RowOf(r60::Command::QuitRelease);
    const std::vector<uint8_t> packet = r60::Build(row);
    const auto reply = Exchange(row, packet);
    return reply && r60::Accepts(row, packet, *reply);
}

std::optional<UserStatusWords> CModemWrapper::ReadUserStatus() {
    const r60::Row& row = r60::RowOf(r60::Command::UserStatus);
    const std::vector<uint8_t> packet = r60::Build(row);
    const auto reply = Exchange(row, packet);
    if (!reply || !r60::Accepts(row, packet, *reply)) {
        return std::nullopt;
    }
    return r60::ReadUserStatus(*reply);
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::Card(r60::Command command,
                                                             const r60::Arguments& args) {
    const r60::Row& row = r60::RowOf(command);
    const std::vector<uint8_t> packet = r60::Build(row, args);
    auto reply = Exchange(row, packet);
    // The card status is asked twice: the first request after a card event often goes unanswered.
    if (!reply && command == r60::Command::CardStatus) {
        reply = Exchange(row, packet);
    }
    if (!reply) {
        return std::nullopt;
    }
    return CardAnswer{r60::ReadCard(row, *reply), r60::Accepts(row, packet, *reply)};
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::CardStatus() {
    return Card(r60::Command::CardStatus, {});
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::VerifyPin(const std::string& pin) {
    return Card(r60::Command::VerifyPin, r60::Arguments::Codes(pin));
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::SetPinRequest(bool disable, const std::string& pin) {
    return Card(r60::Command::SetPinRequest, r60::Arguments::FlagAndCode(disable ? 1 : 0, pin));
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::ChangePin(const std::string& oldPin,
                                                                  const std::string& newPin) {
    return Card(r60::Command::ChangePin, r60::Arguments::Codes(oldPin, newPin));
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::PukStatus() {
    return Card(r60::Command::PukStatus, {});
}

std::optional<CModemWrapper::CardAnswer> CModemWrapper::UnblockPin(const std::string& puk,
                                                                   const std::string& newPin) {
    return Card(r60::Command::UnblockPin, r60::Arguments::Codes(puk, newPin));
}

// The message packets are built by the message module; the request-60 table still names their rows, so that
// the exchange picks the short or the large reply by the row.
static_assert(r60::RowOf(r60::Command::SmsStore).command == sms::kStoreCommand);
static_assert(r60::RowOf(r60::Command::SmsRead).command == sms::kReadCommand);
static_assert(r60::RowOf(r60::Command::SmsDelete).command == sms::kDeleteCommand);
static_assert(r60::RowOf(r60::Command::SmsCount).command == sms::kCountCommand);
static_assert(r60::RowOf(r60::Command::SmsStore).requestLength == sms::kStoreRequestSize);
static_assert(r60::ReplySize(r60::RowOf(r60::Command::SmsRead)) == sms::kReadReplySize);

std::optional<uint8_t> CModemWrapper::SmsCount(sms::Box box) {
    const auto packet = sms::CountRequest(box);
    const auto reply = Exchange(r60::RowOf(r60::Command::SmsCount), {packet.begin(), packet.end()});
    return reply ? sms::CountOf(kResultOk, box, *reply) : std::nullopt;
}

std::optional<sms::Message> CModemWrapper::SmsRead(sms::Box box, uint8_t position) {
    const auto packet = sms::ReadRequest(box, position);
    const auto reply = Exchange(r60::RowOf(r60::Command::SmsRead), {packet.begin(), packet.end()});
    return reply ? sms::ReadOf(kResultOk, box, *reply) : std::nullopt;
}

std::optional<uint8_t> CModemWrapper::SmsStore(sms::StoreOp op, uint8_t boxCode,
                                               const sms::Message& message) {
    const auto packet = sms::StoreRequest(op, boxCode, message);
    const auto reply = Exchange(r60::RowOf(r60::Command::SmsStore), {packet.begin(), packet.end()});
    return reply ? sms::StoreStatusOf(kResultOk, op, *reply) : std::nullopt;
}

bool CModemWrapper::SmsDelete(sms::Box box, uint8_t slot) {
    const auto packet = sms::DeleteRequest(box, slot);
    const auto reply = Exchange(r60::RowOf(r60::Command::SmsDelete), {packet.begin(), packet.end()});
    return reply && sms::DeleteAccepted(kResultOk, box, slot, *reply);
}

std::optional<std::string> CModemWrapper::ReadDirectoryNumber() {
    if (!ReadCachedParameter(ParamCode::DirNumber)) {
        return std::nullopt;
    }
    const std::vector<uint8_t> v = CachedParameter(ParamCode::DirNumber);
    return std::string(v.begin(), std::find(v.begin(), v.end(), uint8_t{0}));
}

std::string CModemWrapper::FormatTimeStamp(uint32_t seconds) {
    char out[32] = {};
    Call([&](IOrvikModem& m) { m.FormatTimeStamp(static_cast<int32_t>(seconds), out); });
    out[sizeof out - 1] = 0;
    return out;
}

ModemStatusRecord CModemWrapper::Status() const {
    std::lock_guard lock(callLock_);
    return status_;
}

std::string CModemWrapper::DeviceText() const {
    std::lock_guard lock(callLock_);
    return deviceText_;
}

int16_t CModemWrapper::RuimMode() const {
    std::lock_guard lock(callLock_);
    return nv855_;
}

}  // namespace velmo::manager
