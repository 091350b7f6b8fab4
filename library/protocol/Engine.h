// The request/reply machinery shared by every service operation: request building, the send step, the waits,
// the reply blocks that the dispatcher fills on the reader thread, and the start-up handshake.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "CommandTable.h"
#include "Decoders.h"
#include "library/transport/FrameCodec.h"
#include "library/transport/Transport.h"
#include "platform/Clock.h"

namespace velmo::protocol {

// Named pauses of the handshake.
inline constexpr uint32_t kVersionRetryPauseMs = 1000;
inline constexpr uint32_t kEventReportRetryPauseMs = 200;
inline constexpr int kEventReportAttempts = 3;
inline constexpr uint32_t kNetworkPollStepMs = 10;
inline constexpr uint8_t kHandshakeReportLevel = 255;

// Receives log packets and vendor reports from the dispatcher (on the reader thread).
class IUnsolicitedHandler {
  public:
    virtual ~IUnsolicitedHandler() = default;
    virtual void OnLogPacket(const uint8_t* packet, size_t n) = 0;
    // Returns true when the vendor packet was an unsolicited report (it then never releases a waiter).
    virtual bool OnVendorPacket(const uint8_t* packet, size_t n) = 0;
};

class Engine final : public transport::IReceiver, private transport::IFrameHandler {
  public:
    explicit Engine(platform::IClock& clock = platform::RealClock());
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    platform::IClock& Clock() { return clock_; }

    // The transport that requests are written to; null when none is open.
    void SetTransport(transport::ITransport* transport);
    void SetUnsolicitedHandler(IUnsolicitedHandler* handler) { unsolicited_ = handler; }

    // Builds the frame for code from the request buffer p, of which `available` bytes are valid. Returns 0,
    // or -1 when the code is unsupported, the layout needs more bytes than available, or the frame
    // overflowed.
    int BuildRequest(uint8_t code, const uint8_t* p, size_t available);
    // Builds from the engine's own request buffer.
    int BuildRequest(uint8_t code) { return BuildRequest(code, request.data(), request.size()); }

    // Clears the hand-over, writes TxFrame and marks the reply awaited. The reply must carry `code` (and, for
    // the subsystem request, the subsystem in byte 1) to end the wait. Returns false (nothing sent) when no
    // transport is open.
    bool SendBuilt();
    // Serial mode: waits on the response event for 5000 ms whatever the time-out. Network mode: polls the
    // arrival flag every 10 ms until timeoutMs. 1 when the awaited reply is there, 0 otherwise.
    int WaitReply(uint32_t timeoutMs);
    // Waits on the response event directly (the 1000 ms waits of some operations).
    bool WaitEvent(uint32_t ms);
    // Builds, sends and waits as the command table says for the code. Returns true on a reply.
    bool Transact(uint8_t code);

    // Version request, event-report configuration, report level 255. Returns 1 or 0.
    int StartupHandshake();

    // Called for every complete frame (count includes the two FCS bytes). 0 for a posted report, 1 otherwise.
    int DispatchResponse(const uint8_t* frame, size_t count);

    // The receive path of the open transport.
    void OnReceived(const uint8_t* block, size_t n) override;
    // Forgets a partly received frame (a new transport starts clean).
    void ResetReceiver();

    // Copies the code's reply block (n bytes at most) under the block lock.
    void CopyBlock(uint8_t code, uint8_t* out, size_t n) const;
    std::vector<uint8_t> Block(uint8_t code) const;
    // Zeroes the code's reply block and forgets its length.
    void ClearBlock(uint8_t code);
    // Packet bytes (without FCS) of the latest reply stored in the code's block; 0 after ClearBlock.
    size_t BlockLength(uint8_t code) const;

    // Copies of what the decoders keep; never wait for the modem.
    RfSnapshot Rf() const;
    std::array<uint8_t, kLogBlockSize> LogBlock() const;
    void CopyNvItemArea(uint8_t* out, size_t n) const;

    std::atomic<int32_t> NetworkMode{0};
    std::atomic<int32_t> AbortFlag{0};
    std::atomic<int32_t> ResponseArrived{0};
    std::atomic<int32_t> ReplyAwaited{0};

    // Request scratch buffer that operations fill before BuildRequest; one operation at a time.
    std::array<uint8_t, kRequestBufferSize> request{};
    transport::TxFrame txFrame;

  private:
    void OnFrame(const uint8_t* frame, size_t count) override;
    bool IsAwaited(const uint8_t* packet, size_t n) const;

    platform::IClock& clock_;
    platform::Event responseEvent_;
    std::atomic<transport::ITransport*> transport_{nullptr};
    IUnsolicitedHandler* unsolicited_ = nullptr;

    // What the current request waits for: code in bits 0-7, subsystem in bits 8-15 with bit 16 set when it
    // matters; -1 for nothing.
    std::atomic<int32_t> awaited_{-1};
    uint8_t builtCode_ = 0;
    int32_t builtSubsystem_ = -1;

    transport::RxFrame rx_;

    mutable std::mutex blocksMutex_;
    std::array<int32_t, 256> blockOffsets_{};
    std::array<size_t, 256> blockLengths_{};
    std::vector<uint8_t> blocks_;

    // Decoder results, written on the reader thread.
    mutable std::mutex decoderMutex_;
    RfSnapshot rf_;
    std::array<uint8_t, kLogBlockSize> logBlock_{};
    std::array<uint8_t, kNvItemAreaSize> nvItemArea_{};
    std::array<uint8_t, kNvItemAreaSize> nvWriteScratch_{};
};

}  // namespace velmo::protocol
