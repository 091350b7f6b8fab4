// NV items, NAM parameters, the service programming code and the roaming list download.
#include <algorithm>
#include <cstring>

#include "ModemService.h"
#include "ServiceParameters.h"
#include "wire/LeCursor.h"

namespace velmo::service {

using namespace protocol;

namespace {

constexpr size_t kNvItemOffset = 1;
constexpr size_t kNvDataOffset = 3;
constexpr size_t kNvStatusOffset = 131;
constexpr uint16_t kSingleByteWriteItem = 290;
constexpr size_t kPrlBlockBytes = 120;
constexpr uint16_t kPrlFullBlockBits = 960;
constexpr int32_t kClearRoamingListCode = 32;
constexpr int32_t kEnableRoamingListCode = 33;
constexpr int32_t kSpcCode = 25;
constexpr size_t kSpcDigits = 6;

}  // namespace

int32_t ModemService::NvTransaction(uint8_t code, uint16_t item, const uint8_t* data, size_t dataSize,
                                    uint8_t* itemOut) {
    if (!engine_) {
        return kResultFailed;
    }
    engine_->ClearBlock(code);
    uint8_t* p = Request(code);
    wire::Put16(engine_->request, kNvItemOffset, item);
    if (data != nullptr) {
        std::memcpy(p + kNvDataOffset, data, std::min(dataSize, kItemDataSize));
    }
    if (!engine_->Transact(code)) {
        return kResultFailed;
    }
    const std::vector<uint8_t> reply = engine_->Block(code);
    // Only a reply that carries its status word can say anything; a truncated one counts as no answer.
    if (engine_->BlockLength(code) < kNvBlockSize) {
        return kResultFailed;
    }
    if (itemOut != nullptr) {
        if (HasNvDecoder(wire::Get16(reply, kNvItemOffset))) {
            engine_->CopyNvItemArea(itemOut, kItemDataSize);
        } else {
            std::memcpy(itemOut, reply.data() + kNvDataOffset, kItemDataSize);
        }
    }
    return static_cast<int32_t>(wire::Get16(reply, kNvStatusOffset));
}

int32_t ModemService::ReadNvItem(int32_t item, uint8_t* buffer128) {
    if (buffer128 == nullptr) {
        lastResult_.store(kResultFailed);
        return kResultFailed;
    }
    const uint16_t number = item == 0 ? kNvReadAliasItem : static_cast<uint16_t>(item);
    uint8_t data[kItemDataSize];
    std::memcpy(data, buffer128, sizeof data);
    const int32_t result = NvTransaction(NvReadRequest, number, data, sizeof data, buffer128);
    lastResult_.store(result);
    return result;
}

int32_t ModemService::WriteNvItem(int32_t item, const uint8_t* data128) {
    if (data128 == nullptr) {
        lastResult_.store(kResultFailed);
        return kResultFailed;
    }
    const uint16_t number = static_cast<uint16_t>(item);
    const size_t size = number == kSingleByteWriteItem ? 1 : kItemDataSize;
    const int32_t status = NvTransaction(NvWriteRequest, number, data128, size, nullptr);
    // A reply whose item status is not "done" is a failed write.
    const int32_t result = status == 0 ? kResultOk : kResultFailed;
    lastResult_.store(result);
    return result;
}

int32_t ModemService::ReadNamParameter(int32_t code, uint8_t* out131) {
    if (out131 == nullptr) {
        lastResult_.store(kResultFailed);
        return kResultFailed;
    }
    std::memset(out131, 0, kNamParameterReplySize);
    uint8_t item[kItemDataSize] = {};
    const int32_t result = NvTransaction(NvReadRequest, ParameterItem(code), nullptr, 0, item);
    if (result != kResultFailed) {
        BuildParameterReply(code, item, out131);
    }
    lastResult_.store(result);
    return result;
}

int32_t ModemService::WriteNamParameter(const NamParameterRecord* record) {
    lastResult_.store(kResultServiceParameterFailed);
    if (record == nullptr) {
        return kResultServiceParameterFailed;
    }
    uint8_t data[kItemDataSize];
    if (!BuildParameterWrite(record->Code, record->Value, data)) {
        return kResultServiceParameterFailed;  // malformed value: nothing is sent
    }
    const uint16_t item = ParameterItem(record->Code);
    const size_t size = item == kSingleByteWriteItem ? 1 : kItemDataSize;
    if (NvTransaction(NvWriteRequest, item, data, size, nullptr) != 0) {
        return kResultServiceParameterFailed;
    }
    lastResult_.store(kResultOk);
    return kResultOk;
}

int32_t ModemService::VerifySpc(const char* spc6) {
    lastResult_.store(kResultServiceParameterFailed);
    if (!engine_ || spc6 == nullptr) {
        return kResultServiceParameterFailed;
    }
    engine_->ClearBlock(SpcRequest);
    uint8_t* p = Request(SpcRequest);
    std::memcpy(p + 1, spc6, strnlen(spc6, kSpcDigits));
    if (engine_->Transact(SpcRequest) && engine_->BlockLength(SpcRequest) >= kSpcReplySize &&
        engine_->Block(SpcRequest)[1] != 0) {
        lastResult_.store(kResultOk);
    }
    return lastResult_.load();
}

int32_t ModemService::ChangeSpc(const char* spc6) {
    NamParameterRecord record{};
    record.Code = kSpcCode;
    if (spc6 != nullptr) {
        std::memcpy(record.Value, spc6, strnlen(spc6, kSpcDigits));
    }
    return WriteNamParameter(&record);
}

int32_t ModemService::DownloadPrl(const uint8_t* prl, int32_t length) {
    if (!engine_ || prl == nullptr || length < 0) {
        return kResultFailed;
    }
    if (const int32_t offline = SetOfflineMode(); offline != kResultOk) {
        return offline;
    }
    NamParameterRecord record{};
    record.Code = kClearRoamingListCode;
    if (const int32_t cleared = WriteNamParameter(&record); cleared != kResultOk) {
        return cleared;
    }
    const size_t total = static_cast<size_t>(length);
    const size_t blocks = total / kPrlBlockBytes + 1;
    // The interface has no progress argument: the notification target hears it, on this thread.
    auto progress = [&](size_t acknowledged) {
        notifier_.Post(kPrlProgressMessage, acknowledged, static_cast<intptr_t>(blocks));
    };
    progress(0);
    for (size_t i = 0; i < blocks; ++i) {
        const size_t offset = i * kPrlBlockBytes;
        const size_t bytes = std::min(kPrlBlockBytes, total - offset);
        const uint16_t bits = i + 1 < blocks ? kPrlFullBlockBits : static_cast<uint16_t>(8 * bytes);
        Request(PrlBlockRequest);
        wire::LeWriter(engine_->request, 1)
            .U8(static_cast<uint8_t>(i))               // wraps past 255 blocks, as the modem expects
            .U8(static_cast<uint8_t>(blocks - 1 - i))  // blocks still to follow
            .U8(0)
            .U16(bits)
            .Bytes(wire::ConstBytes(prl + offset, bytes));
        if (!engine_->Transact(PrlBlockRequest) || engine_->Block(PrlBlockRequest)[1] > 1) {
            return kResultFailed;
        }
        progress(i + 1);
    }
    record.Code = kEnableRoamingListCode;
    return WriteNamParameter(&record);
}

}  // namespace velmo::service
