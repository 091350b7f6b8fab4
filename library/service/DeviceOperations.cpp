// The device operations of the service object: status, time, mode, event reports, the RF snapshot and the
// blocks 32/34.
#include <algorithm>
#include <cstring>

#include "ModemService.h"

namespace velmo::service {

using namespace protocol;

namespace {

constexpr uint16_t kModeOffline = 1;
constexpr uint16_t kModeReset = 2;
constexpr uint16_t kOperatingModeOffline = 2;
constexpr size_t kStatusModeOffset = 32;
constexpr int kOfflinePolls = 62;
constexpr int kOfflineUnansweredLimit = 3;  // consecutive status requests without an answer
constexpr uint32_t kOfflinePollPauseMs = 50;
constexpr uint32_t kUserDataPauseMs = 10;
constexpr uint8_t kSubsystemCallManager = 0x0F;
constexpr uint8_t kSubsystemHdr = 0x05;
constexpr uint8_t kSubsystemFileSystem = 0x13;
constexpr uint16_t kHdrStateCommand = 8;
constexpr size_t kSoftwareRevisionOffset = 12;

uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
    return at + 1 < b.size() ? static_cast<uint16_t>(b[at] | (b[at + 1] << 8)) : 0;
}
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return at + 3 < b.size() ? static_cast<uint32_t>(U16At(b, at) | (U16At(b, at + 2) << 16)) : 0;
}
void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

uint8_t* ModemService::Request(uint8_t code) {
    engine_->request.fill(0);
    engine_->request[0] = code;
    return engine_->request.data();
}

int32_t ModemService::ResetModem() {
    if (!engine_) {
        return kResultFailed;
    }
    Request(ModeRequest)[1] = kModeReset;
    return engine_->Transact(ModeRequest) ? kResultOk : kResultFailed;
}

int32_t ModemService::GetModemTime(uint8_t* out25) {
    if (!engine_ || out25 == nullptr) {
        return kResultFailed;
    }
    Request(TimeRequest);
    if (!engine_->Transact(TimeRequest)) {
        lastResult_.store(kResultFailed);
        return kResultFailed;
    }
    const std::vector<uint8_t> reply = engine_->Block(TimeRequest);
    const uint64_t stamp =
        static_cast<uint64_t>(U32At(reply, 1)) | (static_cast<uint64_t>(U32At(reply, 5)) << 32);
    std::memset(out25, 0, kModemTimeSize);
    out25[0] = VendorPacket;
    out25[1] = static_cast<uint8_t>(kModemTimeSize);
    out25[2] = 2;
    char text[kTimeStampTextSize];
    FormatTimeStampText(TimeStampSeconds(stamp), text);
    std::memcpy(out25 + 5, text, 17);  // and three zero bytes after it
    lastResult_.store(kResultOk);
    return kResultOk;
}

int32_t ModemService::QueryStatus(ModemStatusRecord* record, int32_t kind) {
    if (!engine_ || record == nullptr || kind < 0 || kind > 5) {
        return kResultFailed;
    }
    switch (kind) {
        case 0: {
            Request(PrlReadRequest);
            if (!engine_->Transact(PrlReadRequest)) {
                return kResultFailed;
            }
            const auto b = engine_->Block(PrlReadRequest);
            record->PrlVersion = static_cast<uint16_t>(b[10] * 256 + b[11]);
            return kResultOk;
        }
        case 1: {
            Request(ExtVersionRequest);
            if (!engine_->Transact(ExtVersionRequest)) {
                return kResultFailed;
            }
            const auto b = engine_->Block(ExtVersionRequest);
            char text[sizeof record->SoftwareRevision] = {};
            for (size_t i = 0; i < sizeof text && kSoftwareRevisionOffset + i < b.size(); ++i) {
                text[i] = static_cast<char>(b[kSoftwareRevisionOffset + i]);
                if (text[i] == '\0') {
                    break;
                }
            }
            std::memcpy(record->SoftwareRevision, text, sizeof text);
            return kResultOk;
        }
        case 2: {
            // Each of these kinds starts from an empty reply so that a short answer leaves zeros, not old
            // values.
            engine_->ClearBlock(VersionRequest);
            Request(VersionRequest);
            if (!engine_->Transact(VersionRequest)) {
                return kResultFailed;
            }
            const auto b = engine_->Block(VersionRequest);
            record->CaiRevision = b[48];
            record->FirmwareRevision = U16At(b, 50);
            return kResultOk;
        }
        case 3: {
            engine_->ClearBlock(StatusRequest);
            Request(StatusRequest);
            if (!engine_->Transact(StatusRequest)) {
                return kResultFailed;
            }
            const auto b = engine_->Block(StatusRequest);
            record->Esn = U32At(b, 4);
            record->RfMode = b[8];
            record->RxState = U16At(b, 23);
            record->Channel = U16At(b, 34);
            record->PilotPn = U16At(b, 37);
            record->Sid = U16At(b, 39);
            record->Nid = U16At(b, 41);
            record->Rssi1x = b[45];
            record->RssiEvdo = static_cast<uint8_t>(-engine_->Rf().RfLevel4);
            return kResultOk;
        }
        case 4: {
            engine_->ClearBlock(SubsystemRequest);
            Request(SubsystemRequest)[1] = kSubsystemCallManager;
            if (!engine_->Transact(SubsystemRequest)) {
                return kResultFailed;
            }
            const auto b = engine_->Block(SubsystemRequest);
            const uint32_t callState = U32At(b, 4);
            const uint32_t service = U32At(b, 12);
            const uint32_t mode = U32At(b, 16);
            record->ZeroWord = 0;
            record->Flag26 = 0;
            record->Flag10 = 1;
            record->Roam = 0;
            record->Flag11 = 0;
            record->Flag27 = 0;
            record->InTraffic = callState == 5 ? 1 : 0;
            record->InService = service != 0 ? 1 : 0;
            record->SystemState = b[8];
            record->NetworkKind = (mode == 10 || service == 4) ? 10 : service == 2 ? 9 : 1;
            return kResultOk;
        }
        default: {
            engine_->ClearBlock(SubsystemRequest);
            uint8_t* p = Request(SubsystemRequest);
            p[1] = kSubsystemHdr;
            p[2] = kHdrStateCommand & 0xFF;
            p[3] = kHdrStateCommand >> 8;
            if (!engine_->Transact(SubsystemRequest)) {
                return kResultFailed;
            }
            record->EvdoPresent = engine_->Block(SubsystemRequest)[4];
            return kResultOk;
        }
    }
}

int32_t ModemService::RequestStatus16() {
    if (!engine_) {
        return kResultFailed;
    }
    Request(LogRequest);
    if (!engine_->Transact(LogRequest)) {
        return kResultFailed;
    }
    logCopy_ = engine_->LogBlock();
    return kResultOk;
}

int32_t ModemService::EnableEventReports() {
    if (!engine_) {
        return kResultOk;
    }
    for (int attempt = 0; attempt < kEventReportAttempts; ++attempt) {
        if (attempt > 0) {
            engine_->Clock().Sleep(kEventReportRetryPauseMs);
        }
        uint8_t* p = Request(EventReportRequest);
        p[1] = kEventReportSubcommand & 0xFF;
        p[2] = kEventReportSubcommand >> 8;
        p[16] |= 0xC0;
        p[20] |= 0x10;
        if (engine_->Transact(EventReportRequest)) {
            break;
        }
    }
    return kResultOk;
}

int32_t ModemService::SetReportLevel(int32_t level) {
    if (!engine_) {
        return kResultFailed;
    }
    Request(ReportLevelRequest)[1] = static_cast<uint8_t>(level & 0xFF);
    return engine_->Transact(ReportLevelRequest) ? kResultOk : kResultFailed;
}

int32_t ModemService::QueryBlock34(uint8_t* out107) {
    int32_t result = kResultNoReply;
    if (engine_ && out107 != nullptr) {
        Request(Block34Request);
        if (engine_->Transact(Block34Request)) {
            engine_->CopyBlock(Block34Request, out107, kBlock34Size);
            result = kResultOk;
        }
    }
    lastResult_.store(result);
    return result;
}

int32_t ModemService::SendBlock32(const uint8_t* body) {
    int32_t result = kResultNoReply;
    if (engine_ && body != nullptr) {
        uint8_t* p = Request(Block32Request);
        std::memcpy(p, body, 3);
        if (engine_->Transact(Block32Request)) {
            result = kResultOk;
        }
    }
    lastResult_.store(result);
    return result;
}

int32_t ModemService::GetRfUpdateCount() {
    return engine_ ? static_cast<int32_t>(engine_->Rf().RfUpdateCount) : 0;
}
uint8_t ModemService::GetDrcIndex() {
    return engine_ ? engine_->Rf().DrcIndex : 0;
}
int16_t ModemService::GetRfLevel4() {
    return engine_ ? static_cast<int16_t>(engine_->Rf().RfLevel4) : kNoLevel;
}
int16_t ModemService::GetRfLevel1() {
    return engine_ ? static_cast<int16_t>(engine_->Rf().RfLevel1) : kNoLevel;
}
int16_t ModemService::GetRfLevel2() {
    return engine_ ? static_cast<int16_t>(engine_->Rf().RfLevel2) : kNoLevel;
}
int16_t ModemService::GetRfLevel3() {
    return engine_ ? static_cast<int16_t>(engine_->Rf().RfLevel3) : kNoLevel;
}
int16_t ModemService::GetRfChannel() {
    return engine_ ? engine_->Rf().PilotChannel : -1;
}

void ModemService::GetRfBlockA(uint8_t* out14) {
    if (engine_ && out14 != nullptr) {
        const RfSnapshot rf = engine_->Rf();
        std::memcpy(out14, rf.PilotSetA.data(), kRfBlockASize);
    }
}

void ModemService::GetRfBlockB(uint8_t* out14) {
    if (engine_ && out14 != nullptr) {
        const RfSnapshot rf = engine_->Rf();
        std::memcpy(out14, rf.PilotSetB.data(), kRfBlockBSize);
    }
}

void ModemService::GetRfBlockC(uint8_t* out82) {
    if (engine_ && out82 != nullptr) {
        const RfSnapshot rf = engine_->Rf();
        std::memcpy(out82, rf.PilotSetC.data(), kRfBlockCSize);
    }
}

int32_t ModemService::UploadUserDataFile() {
    if (!engine_) {
        return kResultFailed;
    }
    uint8_t* p = Request(SubsystemRequest);
    p[1] = kSubsystemFileSystem;  // command word 0: hello
    size_t at = 4;
    for (int i = 0; i < 6; ++i, at += 4) {
        PutLe32(p + at, 0x100000);  // window sizes
    }
    for (int i = 0; i < 3; ++i, at += 4) {
        PutLe32(p + at, 1);  // versions
    }
    const bool greeted = engine_->Transact(SubsystemRequest);
    // The protocol has no request for opening or reading a device file, so every file of the collection fails
    // to open and "test.usr" is never written.
    (void)greeted;
    engine_->Clock().Sleep(kUserDataPauseMs);
    return kResultFailed;
}

int32_t ModemService::SetOfflineMode() {
    if (!engine_) {
        return kResultFailed;
    }
    Request(ModeRequest)[1] = kModeOffline;
    if (!engine_->Transact(ModeRequest)) {
        return kResultFailed;
    }
    int unanswered = 0;
    for (int polls = 0; polls < kOfflinePolls;) {
        Request(StatusRequest);
        if (!engine_->Transact(StatusRequest)) {
            // Unanswered requests are repeated without counting as polls, but not for ever.
            if (++unanswered >= kOfflineUnansweredLimit) {
                return kResultFailed;
            }
            continue;
        }
        unanswered = 0;
        if (U16At(engine_->Block(StatusRequest), kStatusModeOffset) == kOperatingModeOffline) {
            return kResultOk;
        }
        engine_->Clock().Sleep(kOfflinePollPauseMs);
        ++polls;
    }
    return kResultOk;
}

void ModemService::FormatTimeStamp(int32_t seconds, char* out18) {
    if (out18 != nullptr) {
        FormatTimeStampText(static_cast<uint32_t>(seconds), out18);
    }
}

}  // namespace velmo::service
