// NV items, the service programming code (SPC) lock and the roaming list (PRL) download.
//
// The SPC protects the NAM and the roaming list: every item of kProtected refuses writes, and the SPC (85)
// and the A-key (25) refuse reads, with NvLocked until VerifySpc (0x41) names the code kept in item 85. The
// lock closes again when the session ends (the port is closed, the modem resets). The preferred mode (10) and
// item 562 stay open: the settings window changes them without a code. Writing item 85 changes the code, and
// only while item 296 ("SPC change enabled") is not 0.
//
// The roaming list goes in as: offline mode, a write of item 231 (clears the list and disables it), blocks
// 0x48 numbered from 0 (modulo 256) of 960 bits each up to the last one with fewer, then a write of item 256
// (enabled). The to-follow byte wraps in long lists, so only the bit count marks the end.
#include <algorithm>

#include "Answers.h"
#include "ModemSimulator.h"
#include "Wire.h"

namespace velmo::sim {

using namespace protocol;
using namespace wire;

namespace {

constexpr uint16_t kProtected[] = {5,   20,  21,  25,  32,  33,  34,  35,  36,  38,  85,
                                   176, 177, 178, 231, 255, 256, 259, 266, 296, 579, 580};

constexpr size_t kNvItemAt = 1;
constexpr size_t kNvDataAt = 3;
constexpr size_t kNvStatusAt = 131;
constexpr size_t kSpcDigits = 6;

constexpr size_t kPrlBlockHeader = 6;  // code, block, to follow, 0, bit count
constexpr uint16_t kPrlFullBlockBits = 960;
constexpr size_t kPrlReadData = 120;

bool Locked(const DeviceState& s) {
    return s.spcLock != 0 && s.spcUnlocked == 0;
}

std::vector<uint8_t> NvReply(uint8_t code, uint16_t item, const NvData& data, uint16_t status) {
    std::vector<uint8_t> p = Packet(code, kNvBlockSize);
    Put16(p, kNvItemAt, item);
    std::copy(data.begin(), data.end(), p.begin() + kNvDataAt);
    Put16(p, kNvStatusAt, status);
    return p;
}

bool TooShort(std::span<const uint8_t> r, std::vector<uint8_t>* reply) {
    if (r.size() >= kNvDataAt) {
        return false;
    }
    *reply = ErrorReply(r);
    (*reply)[0] = ErrorBadLength;
    return true;
}

// The data bytes of a request; missing ones count as zero.
NvData RequestData(std::span<const uint8_t> r) {
    NvData d{};
    for (size_t i = 0; i < d.size() && kNvDataAt + i < r.size(); ++i) {
        d[i] = r[kNvDataAt + i];
    }
    return d;
}

bool AllDigits(const NvData& d, size_t n) {
    return std::all_of(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(n),
                       [](uint8_t c) { return c >= '0' && c <= '9'; });
}

uint16_t StoreItem(DeviceState& s, uint16_t item, const NvData& data) {
    if (item > kLastNvItem) {
        return NvBadParameter;
    }
    if (item == NvEsn || item == NvReadOnly459) {
        return NvReadOnly;
    }
    if (IsSpcProtected(item) && Locked(s)) {
        return NvLocked;
    }
    switch (item) {
        case NvSpc: {
            const auto enabled = s.nv.find(NvSpcChangeEnabled);
            if (enabled != s.nv.end() && enabled->second[0] == 0) {
                return NvLocked;
            }
            if (!AllDigits(data, kSpcDigits)) {
                return NvBadParameter;
            }
            break;
        }
        case NvCardMode:
            if (data[0] > 2) {
                return NvBadParameter;
            }
            break;
        case NvPrlArea:
            // Clearing the area drops the list and readies the modem for a new one.
            s.prl.clear();
            s.nv[NvPrlEnable][1] = 0;
            s.prlReceiving = true;
            s.prlNextBlock = 0;
            s.prlIncoming.clear();
            break;
        default:
            break;
    }
    s.nv[item] = data;
    return NvDone;
}

}  // namespace

bool IsSpcProtected(uint16_t item) {
    return std::find(std::begin(kProtected), std::end(kProtected), item) != std::end(kProtected);
}

bool IsSpcReadProtected(uint16_t item) {
    return item == NvSpc || item == NvAKey;
}

std::vector<uint8_t> NvReadReply(RequestContext& ctx) {
    std::vector<uint8_t> reply;
    if (TooShort(ctx.packet, &reply)) {
        return reply;
    }
    const DeviceState& s = ctx.state;
    const uint16_t item = Get16(ctx.packet, kNvItemAt);
    if (item > kLastNvItem) {
        return NvReply(NvReadRequest, item, {}, NvBadParameter);
    }
    if (item == NvEsn) {
        NvData d{};
        Put32(d, 0, s.esn);
        return NvReply(NvReadRequest, item, d, NvDone);
    }
    if (IsSpcReadProtected(item) && Locked(s)) {
        return NvReply(NvReadRequest, item, {}, NvLocked);
    }
    const auto it = s.nv.find(item);
    if (it == s.nv.end()) {
        return NvReply(NvReadRequest, item, {}, NvInactive);
    }
    return NvReply(NvReadRequest, item, it->second, NvDone);
}

std::vector<uint8_t> NvWriteReply(RequestContext& ctx) {
    std::vector<uint8_t> reply;
    if (TooShort(ctx.packet, &reply)) {
        return reply;
    }
    const uint16_t item = Get16(ctx.packet, kNvItemAt);
    const NvData data = RequestData(ctx.packet);
    const uint16_t status = StoreItem(ctx.state, item, data);
    ctx.stateChanged = status == NvDone;
    return NvReply(NvWriteRequest, item, data, status);
}

std::vector<uint8_t> SpcReply(RequestContext& ctx) {
    const std::span<const uint8_t> r = ctx.packet;
    DeviceState& s = ctx.state;
    const auto spc = s.nv.find(NvSpc);
    const bool right = r.size() == 1 + kSpcDigits && spc != s.nv.end() &&
                       std::equal(r.begin() + 1, r.end(), spc->second.begin());
    if (right) {
        s.spcUnlocked = 1;
    }
    return {SpcRequest, static_cast<uint8_t>(right ? 1 : 0)};
}

std::vector<uint8_t> PrlBlockReply(RequestContext& ctx) {
    const std::span<const uint8_t> r = ctx.packet;
    DeviceState& s = ctx.state;
    auto answer = [&](uint8_t status) {
        std::vector<uint8_t> p = Packet(PrlBlockRequest, kPrlBlockReplySize);
        p[1] = status;
        Put16(p, 2, s.prlNextBlock);
        if (status > PrlListStored) {
            s.prlReceiving = false;  // a broken transfer starts again from the clearing
            s.prlIncoming.clear();
        }
        return p;
    };
    if (r.size() < kPrlBlockHeader) {
        return answer(PrlBadBitCount);
    }
    if (s.operatingMode != "offline" || !s.prlReceiving) {
        return answer(PrlNotPrepared);
    }
    if (r[1] != static_cast<uint8_t>(s.prlNextBlock)) {
        return answer(PrlOutOfOrder);
    }
    const uint16_t bits = Get16(r, 4);
    const size_t bytes = bits / 8u;
    if (bits > kPrlFullBlockBits || bits % 8 != 0 || kPrlBlockHeader + bytes > r.size() ||
        s.prlIncoming.size() + bytes >= kMaxPrlSize) {
        return answer(PrlBadBitCount);
    }
    s.prlIncoming.insert(s.prlIncoming.end(), r.begin() + kPrlBlockHeader,
                         r.begin() + static_cast<std::ptrdiff_t>(kPrlBlockHeader + bytes));
    ++s.prlNextBlock;
    if (bits == kPrlFullBlockBits) {
        return answer(PrlBlockTaken);
    }
    s.prl = std::move(s.prlIncoming);
    s.prlIncoming.clear();
    s.prlReceiving = false;
    ctx.stateChanged = true;
    return answer(PrlListStored);
}

std::vector<uint8_t> PrlReadReply(RequestContext& ctx) {
    // Request: block number, NAM. Reply: code, status, block number, NAM, more to follow, bit count, data.
    const std::span<const uint8_t> r = ctx.packet;
    const DeviceState& s = ctx.state;
    const uint8_t block = r.size() > 1 ? r[1] : 0;
    std::vector<uint8_t> p = Packet(PrlReadRequest, kPrlReadReplySize);
    const size_t from = block * kPrlReadData;
    const size_t n = from < s.prl.size() ? std::min(kPrlReadData, s.prl.size() - from) : 0;
    p[1] = 0;
    Put16(p, 2, block);
    p[4] = r.size() > 2 ? r[2] : 0;
    p[5] = from + n < s.prl.size() ? 1 : 0;
    Put16(p, 6, static_cast<uint16_t>(8 * n));
    std::copy_n(s.prl.begin() + static_cast<std::ptrdiff_t>(std::min(from, s.prl.size())), n, p.begin() + 8);
    return p;
}

}  // namespace velmo::sim
