// The byte pipes the command engine talks through: the serial port, the Ethernet link and, in tests, memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velmo::transport {

// A write gives up after this long when the other side does not take the bytes.
inline constexpr uint32_t kWriteTimeoutMs = 1000;

// Gets every block of bytes a transport's reader receives, on that reader's thread.
class IReceiver {
  public:
    virtual ~IReceiver() = default;
    virtual void OnReceived(const uint8_t* block, size_t n) = 0;
};

class ITransport {
  public:
    virtual ~ITransport() = default;
    // Writes one frame. Errors are absorbed: a lost request shows up only as a missing reply. Returns 1.
    virtual int WriteFrameBytes(const uint8_t* bytes, size_t n) = 0;
    virtual bool IsOpen() const = 0;
};

}  // namespace velmo::transport
