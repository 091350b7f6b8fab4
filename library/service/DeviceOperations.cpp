// The device operations of the service object: status, time, mode, event reports, the RF snapshot and the
// blocks 32/34.
#include <algorithm>
#include <array>
#include <cstring>

#include "ModemService.h"
#include "wire/LeCursor.h"

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

// A pilot set as the caller's bytes: each word low byte first, whatever the host's byte order.
template <size_t N>
void PutPilotWords(const std::array<uint16_t, N>& words, uint8_t* out, size_t size) {
    wire::LeWriter w(out, size);
    for (uint16_t v : words) {
        w.U16(v);
    }
}
static_assert(kRfBlockASize == 2 * kActivePilots && kRfBlockBSize == 2 * kActivePilots &&
              kRfBlockCSize == 2 * kNeighbourPilots);

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
    const uint64_t stamp = wire::Get64(reply, 1);
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
            record->FirmwareRevision = wire::Get16(b, 50);
            return kResultOk;
        }
        case 3: {
            engine_->ClearBlock(StatusRequest);
            Request(StatusRequest);
            if (!engine_->Transact(StatusRequest)) {
                return kResultFailed;
            }
            const auto b = engine_->Block(StatusRequest);
            record->Esn = wire::Get32(b, 4);
            record->RfMode = b[8];
            record->RxState = wire::Get16(b, 23);
            record->Channel = wire::Get16(b, 34);
            record->PilotPn = wire::Get16(b, 37);
            record->Sid = wire::Get16(b, 39);
            record->Nid = wire::Get16(b, 41);
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
            const uint32_t callState = wire::Get32(b, 4);
            const uint32_t service = wire::Get32(b, 12);
            const uint32_t mode = wire::Get32(b, 16);
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
            Request(SubsystemRequest);
            wire::LeWriter(engine_->request, 1).U8(kSubsystemHdr).U16(kHdrStateCommand);
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
        wire::Put16(engine_->request, 1, kEventReportSubcommand);
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
        PutPilotWords(rf.PilotSetA, out14, kRfBlockASize);
    }
}

void ModemService::GetRfBlockB(uint8_t* out14) {
    if (engine_ && out14 != nullptr) {
        const RfSnapshot rf = engine_->Rf();
        PutPilotWords(rf.PilotSetB, out14, kRfBlockBSize);
    }
}

void ModemService::GetRfBlockC(uint8_t* out82) {
    if (engine_ && out82 != nullptr) {
        const RfSnapshot rf = engine_->Rf();
        PutPilotWords(rf.PilotSetC, out82, kRfBlockCSize);
    }
}

int32_t ModemService::UploadUserDataFile() {
    if (!engine_) {
        return kResultFailed;
    }
    Request(SubsystemRequest)[1] = kSubsystemFileSystem;  // command word 0: hello
    wire::LeWriter w(engine_->request, 4);
    for (int i = 0; i < 6; ++i) {
        w.U32(0x100000);  // window sizes
    }
    for (int i = 0; i < 3; ++i) {
        w.U32(1);  // versions
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
        if (wire::Get16(engine_->Block(StatusRequest), kStatusModeOffset) == kOperatingModeOffline) {
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
