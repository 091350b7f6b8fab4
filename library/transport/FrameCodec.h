// HDLC-style framing of diagnostic packets: packet bytes, 16-bit FCS (low byte first), 0x7D stuffing of 0x7E
// and 0x7D, closing flag 0x7E. Requests carry no opening flag; on receive a flag both closes a frame and
// opens the next. The codec does no I/O and never allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velmo::transport {

inline constexpr uint8_t kFlagByte = 0x7E;
inline constexpr uint8_t kEscapeByte = 0x7D;
inline constexpr uint8_t kEscapeXor = 0x20;
inline constexpr uint16_t kFcsInit = 0xFFFF;
inline constexpr uint16_t kFcsGoodResidue = 0xF0B8;
inline constexpr size_t kTxFrameSize = 4124;
inline constexpr size_t kRxFrameSize = 8192;  // unstuffed packet plus the two FCS bytes
inline constexpr size_t kMinFrameCount = 3;

// RFC 1662 FCS-16 table (reflected 0x8408).
extern const std::array<uint16_t, 256> kFcsTable;

constexpr uint16_t FcsStep(uint16_t fcs, uint8_t byte) {
    return static_cast<uint16_t>((fcs >> 8) ^ kFcsTable[(fcs ^ byte) & 0xFF]);
}

// Complemented FCS of a packet, as it is appended to a frame.
uint16_t ComputeFcs(const uint8_t* data, size_t n);

// FCS register after running over n bytes from fcs (not complemented); eight bytes a step.
uint16_t FcsRun(uint16_t fcs, const uint8_t* data, size_t n);

struct TxFrame {
    uint16_t length = 0;
    bool overflow = false;
    uint16_t fcs = kFcsInit;  // over the packet bytes put so far
    std::array<uint8_t, kTxFrameSize> bytes{};

    void BeginFrame();
    void PutFrameByte(uint8_t byte);
    // The same as PutFrameByte for each byte, a run of plain bytes at a time.
    void PutFrameBytes(const uint8_t* data, size_t n);
    void EndFrame();

  private:
    // Stuffs one byte into the frame without counting it in the FCS.
    bool PutStuffed(uint8_t byte);
};

enum class RxState : uint32_t { Hunt = 0, Start = 1, Body = 2, Complete = 3 };

// Receives the frames that ProcessReceived completes. The result tells the decoder whether the frame was a
// reply (non-zero) or an unsolicited report (zero); the decoder itself does not use it beyond passing it on.
class IFrameHandler {
  public:
    virtual ~IFrameHandler() = default;
    // frame points at count - 2 packet bytes followed by the two FCS bytes.
    virtual void OnFrame(const uint8_t* frame, size_t count) = 0;
};

struct RxFrame {
    RxState state = RxState::Hunt;
    uint16_t count = 0;
    uint16_t check = 0;
    bool escape = false;
    std::array<uint8_t, kRxFrameSize> bytes{};

    // One byte of the state machine. A flag closes the frame and opens the next one, whether the frame was
    // good (Complete) or dropped for its FCS or length (Start); only an overlong frame hunts for a flag.
    RxState DecodeByte(uint8_t byte);
    // Feeds n received bytes as DecodeByte would, one at a time, handing each complete frame to handler; runs
    // of bytes that are neither flag nor escape inside a frame are copied and checked in one go.
    void ProcessReceived(const uint8_t* block, long n, IFrameHandler& handler);
    void Reset();

  private:
    const uint8_t* BodyRun(const uint8_t* p, const uint8_t* end);
};

// Encodes one packet into a frame; returns the frame length (0 on overflow). Convenience for the stand-in,
// tests and benchmarks.
size_t EncodePacket(const uint8_t* packet, size_t n, TxFrame& frame);

}  // namespace velmo::transport
