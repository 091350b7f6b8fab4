#include "Engine.h"

#include "wire/LeCursor.h"

#include <algorithm>
#include <cstring>

namespace velmo::protocol {

namespace {

constexpr uint8_t kFileSystemSubsystem = 0x13;

// Bytes of the request buffer that a request-60 sub-command reads, or 0 when p is too short to tell.
size_t Request60Needs(const uint8_t* p, size_t available) {
    if (available < 3) {
        return 3;
    }
    switch (p[2]) {
        case 0x05:
        case 0x09:
        case 0x33:
        case 0x34:
            return 5;
        case 0x07:
        case 0x0B:
        case 0x0D:
        case 0x0F:
            if (available < 7) {
                return 7;
            }
            return 7 + static_cast<size_t>(wire::Get16(wire::ConstBytes(p, available), 5));
        case 0x24:
            return 3 + 8;
        case 0x25:
            return 3 + 9;
        case 0x26:
        case 0x28:
            return 3 + 16;
        case 0x36:
            return 4;
        case 0x32:
            return 3 + kRequest60BulkSize;
        default:
            return 3;
    }
}

}  // namespace

Engine::Engine(platform::IClock& clock) : clock_(clock), responseEvent_(clock, /*autoReset=*/true) {
    size_t total = 0;
    for (const CommandRow& row : kCommandTable) {
        if (row.reply == ReplyKind::Block) {
            blockOffsets_[row.code] = static_cast<int32_t>(total);
            total += row.replySize;
        } else {
            blockOffsets_[row.code] = -1;
        }
    }
    blocks_.assign(total, 0);
}

void Engine::SetTransport(transport::ITransport* transport) {
    transport_.store(transport);
}

void Engine::ResetReceiver() {
    rx_.state = transport::RxState::Hunt;
    rx_.Reset();
}

int Engine::BuildRequest(uint8_t code, const uint8_t* p, size_t available) {
    const CommandRow& row = Command(code);
    auto refuse = [this] {
        txFrame.overflow = true;
        return -1;
    };
    auto put = [this, p](size_t from, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            txFrame.PutFrameByte(p[from + i]);
        }
    };

    txFrame.BeginFrame();
    txFrame.PutFrameByte(code);
    builtCode_ = code;
    builtSubsystem_ = -1;

    switch (row.layout) {
        case RequestLayout::Unsupported:
            return refuse();
        case RequestLayout::NoFields:
            break;
        case RequestLayout::Fields:
            if (static_cast<size_t>(row.from) + row.count > available) {
                return refuse();
            }
            put(row.from, row.count);
            break;
        case RequestLayout::ModeWord:
            if (available < 2) {
                return refuse();
            }
            txFrame.PutFrameByte(p[1]);
            txFrame.PutFrameByte(0x00);
            break;
        case RequestLayout::Request60: {
            const size_t needs = Request60Needs(p, available);
            if (needs > available) {
                return refuse();
            }
            put(1, needs - 1);
            break;
        }
        case RequestLayout::Subsystem:
            if (available < 3) {
                return refuse();
            }
            builtSubsystem_ = p[1];
            if (p[1] == 0x05 || p[1] == 0x0F) {
                if (available < 4) {
                    return refuse();
                }
                put(1, 3);
            } else if (p[1] == kFileSystemSubsystem && p[2] == 0) {
                if (available < 44) {
                    return refuse();
                }
                put(1, 43);
            } else {
                txFrame.EndFrame();
                return -1;
            }
            break;
    }
    txFrame.EndFrame();
    return txFrame.overflow ? -1 : 0;
}

bool Engine::SendBuilt() {
    responseEvent_.Reset();
    ResponseArrived.store(0);
    int32_t awaited = builtCode_;
    if (builtSubsystem_ >= 0) {
        awaited |= (builtSubsystem_ << 8) | 0x10000;
    }
    awaited_.store(awaited);
    transport::ITransport* transport = transport_.load();
    if (transport == nullptr || !transport->IsOpen()) {
        awaited_.store(-1);
        return false;
    }
    transport->WriteFrameBytes(txFrame.bytes.data(), txFrame.length);
    ReplyAwaited.store(1);
    return true;
}

int Engine::WaitReply(uint32_t timeoutMs) {
    if (NetworkMode.load() == 0) {
        return responseEvent_.Wait(kSerialWaitMs) ? 1 : 0;
    }
    uint32_t base = clock_.TickCount();
    for (;;) {
        // A step ends early when the reply's event comes, so a reply is not held back by the polling.
        responseEvent_.Wait(kNetworkPollStepMs);
        const uint32_t now = clock_.TickCount();
        if (now < base) {
            base = now;  // the tick counter wrapped
        }
        if (now - base >= timeoutMs) {
            return 0;
        }
        if (ResponseArrived.load() != 0 || AbortFlag.load() != 0) {
            break;
        }
    }
    // An abort without a reply is a failure; a reply that is there counts even when the abort came too.
    return ResponseArrived.exchange(0) != 0 ? 1 : 0;
}

bool Engine::WaitEvent(uint32_t ms) {
    return responseEvent_.Wait(ms);
}

bool Engine::Transact(uint8_t code) {
    const CommandRow& row = Command(code);
    if (BuildRequest(code) != 0 || !SendBuilt()) {
        return false;
    }
    switch (row.wait) {
        case WaitKind::Reply:
            return WaitReply(row.timeoutMs) == 1;
        case WaitKind::Event:
            return WaitEvent(kEventWaitMs);
        case WaitKind::None:
            return true;
    }
    return false;
}

int Engine::StartupHandshake() {
    request.fill(0);
    request[0] = VersionRequest;
    if (!Transact(VersionRequest)) {
        clock_.Sleep(kVersionRetryPauseMs);
        request.fill(0);
        request[0] = VersionRequest;
        if (!Transact(VersionRequest)) {
            return 0;
        }
    }

    bool configured = false;
    for (int attempt = 0; attempt < kEventReportAttempts && !configured; ++attempt) {
        if (attempt > 0) {
            clock_.Sleep(kEventReportRetryPauseMs);
        }
        std::fill_n(request.begin(), kEventReportRequestSize, 0);
        request[0] = EventReportRequest;
        wire::Put16(request, 1, kEventReportSubcommand);
        configured = Transact(EventReportRequest);
    }
    if (!configured) {
        return 0;
    }

    std::fill_n(request.begin(), kReportLevelRequestSize, 0);
    request[0] = ReportLevelRequest;
    request[1] = kHandshakeReportLevel;
    Transact(ReportLevelRequest);
    return 1;
}

int Engine::DispatchResponse(const uint8_t* frame, size_t count) {
    if (count < 3) {
        return 1;
    }
    const size_t n = count - 2;  // packet bytes without the FCS
    const uint8_t code = frame[0];
    const CommandRow& row = Command(code);
    switch (row.reply) {
        case ReplyKind::Block: {
            if (code == SubsystemRequest && n >= 2 && frame[1] == kFileSystemSubsystem &&
                (n < 3 || frame[2] != 0)) {
                return 1;
            }
            size_t size = row.replySize;
            if (code == Request60) {
                size = (n > 2 && frame[2] == kRequest60LargeSubcommand) ? kRequest60LargeReplySize
                                                                        : kRequest60ReplySize;
            }
            {
                std::lock_guard lk(blocksMutex_);
                uint8_t* block = blocks_.data() + blockOffsets_[code];
                blockLengths_[code] = n;
                switch (code) {
                    case ExtVersionRequest:
                        ParseExtVersionReply(frame, n, block, row.replySize);
                        break;
                    case PrlReadRequest:
                        ParsePrlReadReply(frame, n, block, row.replySize);
                        break;
                    case PrlBlockRequest:
                        ParsePrlBlockReply(frame, n, block, row.replySize);
                        break;
                    case Block34Request:
                        ParseBlock34Reply(frame, n, block, row.replySize);
                        break;
                    default: {
                        // Only the bytes received: never the FCS or what an earlier frame left behind.
                        const size_t copy = std::min(n, size);
                        std::memcpy(block, frame, copy);
                        std::memset(block + copy, 0, row.replySize - copy);
                    }
                }
            }
            if (code == NvReadRequest || code == NvWriteRequest) {
                std::lock_guard lk(decoderMutex_);
                auto& area = code == NvReadRequest ? nvItemArea_ : nvWriteScratch_;
                NvItemUnpack(frame, n, area.data(), area.size());
            }
            return 1;
        }
        case ReplyKind::Log: {
            std::lock_guard lk(decoderMutex_);
            DecodeLogPacket(frame, n, logBlock_, rf_);
        }
            if (unsolicited_ != nullptr) {
                unsolicited_->OnLogPacket(frame, n);
            }
            return 1;
        case ReplyKind::Vendor:
            if (n >= 2 && ReportSize(frame[1]) != 0) {
                if (unsolicited_ != nullptr) {
                    unsolicited_->OnVendorPacket(frame, n);
                }
                return 0;  // a report, not a reply: never releases a waiting sender
            }
            return 1;
        case ReplyKind::NotKept:
            return 1;
    }
    return 1;
}

bool Engine::IsAwaited(const uint8_t* packet, size_t n) const {
    const int32_t awaited = awaited_.load();
    if (awaited < 0 || n < 1 || packet[0] != (awaited & 0xFF)) {
        return false;
    }
    if ((awaited & 0x10000) != 0) {
        return n >= 2 && packet[1] == ((awaited >> 8) & 0xFF);
    }
    return true;
}

void Engine::OnFrame(const uint8_t* frame, size_t count) {
    const int isReply = DispatchResponse(frame, count);
    const size_t n = count >= 2 ? count - 2 : 0;
    if (isReply != 0 && Command(frame[0]).releasesWaiter && IsAwaited(frame, n)) {
        awaited_.store(-1);
        ReplyAwaited.store(0);
        ResponseArrived.store(1);
        responseEvent_.Set();
    }
}

void Engine::OnReceived(const uint8_t* block, size_t n) {
    rx_.ProcessReceived(block, static_cast<long>(n), *this);
}

void Engine::CopyBlock(uint8_t code, uint8_t* out, size_t n) const {
    if (out == nullptr || n == 0) {
        return;
    }
    const int32_t offset = blockOffsets_[code];
    if (offset < 0) {
        std::memset(out, 0, n);
        return;
    }
    const size_t size = Command(code).replySize;
    std::lock_guard lk(blocksMutex_);
    std::memcpy(out, blocks_.data() + offset, std::min(n, size));
    if (n > size) {
        std::memset(out + size, 0, n - size);
    }
}

std::vector<uint8_t> Engine::Block(uint8_t code) const {
    std::vector<uint8_t> out(blockOffsets_[code] < 0 ? 0 : Command(code).replySize);
    CopyBlock(code, out.data(), out.size());
    return out;
}

void Engine::ClearBlock(uint8_t code) {
    const int32_t offset = blockOffsets_[code];
    if (offset < 0) {
        return;
    }
    std::lock_guard lk(blocksMutex_);
    std::memset(blocks_.data() + offset, 0, Command(code).replySize);
    blockLengths_[code] = 0;
}

size_t Engine::BlockLength(uint8_t code) const {
    std::lock_guard lk(blocksMutex_);
    return blockLengths_[code];
}

RfSnapshot Engine::Rf() const {
    std::lock_guard lk(decoderMutex_);
    return rf_;
}

std::array<uint8_t, kLogBlockSize> Engine::LogBlock() const {
    std::lock_guard lk(decoderMutex_);
    return logBlock_;
}

void Engine::CopyNvItemArea(uint8_t* out, size_t n) const {
    std::lock_guard lk(decoderMutex_);
    std::memcpy(out, nvItemArea_.data(), std::min(n, nvItemArea_.size()));
}

}  // namespace velmo::protocol
