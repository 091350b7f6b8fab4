// The library's communication object: the modem's diagnostic serial port (termios), its reader thread, and
// the reader flags that the Ethernet link shares.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "Transport.h"
#include "platform/Clock.h"

namespace velmo::transport {

#pragma pack(push, 1)
struct CommSettings {
    uint8_t portNumber = 0;
    uint32_t baudRate = 0;
    uint8_t dataBits = 8;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
    uint32_t xonXoff = 0;
    uint8_t handshake = 1;
};
#pragma pack(pop)

// Byte buffer owned by CComm; the transport itself does not use it.
class CDmByte {};

inline constexpr size_t kReadBlockSize = 1024;
inline constexpr uint32_t kReaderStopPollMs = 10;
inline constexpr int kNetReaderStopPolls = 300;
inline constexpr uint32_t kNetReaderGraceMs = 200;

// Maps a baud rate to its termios speed; 0 when termios has none.
unsigned BaudToSpeed(uint32_t baudRate);

class CComm final : public ITransport {
  public:
    CComm(IReceiver& receiver, platform::IClock& clock = platform::RealClock());
    ~CComm() override;
    CComm(const CComm&) = delete;
    CComm& operator=(const CComm&) = delete;

    void Configure(const CommSettings& settings);
    int CreateIoEvents();
    // Opens and configures the port and starts the reader. 1 or 0.
    int OpenPort();
    // Applies the line settings to the open descriptor; true on success.
    bool ApplyLineState();
    // Reads what is queued, at most max bytes, without blocking. 0 when nothing is there.
    int ReadQueued(uint8_t* buffer, size_t max);

    int WriteFrameBytes(const uint8_t* bytes, size_t n) override;
    bool IsOpen() const override { return fd_.load() >= 0; }

    int StopIo();
    bool ShutdownComm();

    // The path the last OpenPort resolved (for messages).
    const std::string& DevicePath() const { return devicePath_; }
    // errno of the last failed open (EBUSY for a port another program holds).
    int LastOpenError() const { return lastOpenError_; }
    // True once the device vanished under the reader (hang-up or I/O error).
    bool DeviceLost() const { return deviceLost_.load(); }

    std::atomic<int32_t> Connected{0};
    std::atomic<int32_t> ReaderRunning{0};
    std::atomic<int32_t> NetReaderRunning{0};
    std::atomic<int32_t> NetReaderStop{0};

  private:
    void SerialReader();
    void SetModemLines(bool on);

    IReceiver& receiver_;
    platform::IClock& clock_;
    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;  // eventfd that closing signals
    CDmByte byteBuffer_;
    uint8_t portNumber_ = 0;
    uint32_t xonXoff_ = 0;
    uint32_t handshake_ = 0;
    uint8_t dataBits_ = 8;
    uint8_t parity_ = 0;
    uint8_t stopBits_ = 0;
    uint32_t baudRate_ = 0;
    std::thread reader_;
    std::string devicePath_;
    int lastOpenError_ = 0;
    std::atomic<bool> deviceLost_{false};
};

}  // namespace velmo::transport
