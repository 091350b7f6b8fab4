// The modem stand-in: a fake modem behind a real pty that speaks the diagnostic protocol, keeps a coherent
// device state and misbehaves on purpose. Tests run it in-process; velmo-modem-sim runs it as a program.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Answers.h"
#include "DeviceState.h"
#include "library/transport/FrameCodec.h"

namespace velmo::sim {

enum class FaultMode {
    None,
    NoReply,           // drops requests silently
    ReplyOnlyToRetry,  // drops the first request of each code, answers the repeats
    ErrorStatus,       // answers with the error frame instead of the reply
    BadFcs,            // replies with a corrupted FCS
    Flood,             // streams unsolicited log packets and vendor reports while still answering
    Slow,              // delays replies by arg milliseconds
    Vanish,            // the device disappears (at once, or on the first request of the code)
};

struct Fault {
    FaultMode mode = FaultMode::None;
    int code = -1;  // the one request code the fault applies to; -1 for all
    uint32_t arg = 0;

    bool operator==(const Fault&) const = default;
};

inline constexpr uint32_t kDefaultSlowMs = 1000;

std::string_view FaultModeName(FaultMode mode);
std::optional<FaultMode> ParseFaultMode(std::string_view name);
// "MODE[:CODE][=ARG]", e.g. "no-reply:0x5D", "slow=250", "slow:0x0C=100".
std::optional<Fault> ParseFault(std::string_view text);
std::string FormatFault(const Fault& fault);

// "0C 14 3A 7E"
std::string HexString(std::span<const uint8_t> bytes);

struct LoggedRequest {
    std::vector<uint8_t> packet;  // unstuffed, without the FCS
    std::vector<uint8_t> raw;     // as received, through the closing flag
};

// What a request handler sees: the request packet and the device state (under the stand-in's lock; a handler
// must not call back into the stand-in).
struct RequestContext {
    std::span<const uint8_t> packet;
    DeviceState& state;
    bool stateChanged = false;  // persist the state after answering
    bool reset = false;         // go silent for a moment after answering
};

// Returns the reply packet; empty for no reply.
using RequestHandler = std::function<std::vector<uint8_t>(RequestContext&)>;

// Error frame a modem sends for a request it cannot answer: 0x13 and the request bytes.
std::vector<uint8_t> ErrorReply(std::span<const uint8_t> request);

class ModemSimulator final : private transport::IFrameHandler {
  public:
    struct Options {
        int port = 0;           // 0: the first free number from 1
        std::string statePath;  // empty: DefaultStatePath()
        // A scenario name or file: the device starts as the scenario describes it, unless the state file
        // was made from the same scenario (then it goes on from there, keeping what was written to it).
        std::string scenario;
        bool logRequests = false;
        bool logStream = true;  // the RF log stream while EV-DO is up
        std::chrono::milliseconds resetSilence{300};
    };

    explicit ModemSimulator(Options options);
    ~ModemSimulator() override;
    ModemSimulator(const ModemSimulator&) = delete;
    ModemSimulator& operator=(const ModemSimulator&) = delete;

    // Loads the state, opens the pty, publishes comN and starts answering.
    bool Start(std::string* error);
    // Stops answering, closes the pty and removes the link. Idempotent.
    void Stop();

    int Port() const { return port_; }
    std::string PtyPath() const;
    std::string LinkPath() const;
    const std::string& StatePath() const { return options_.statePath; }

    void SetFault(const Fault& fault);
    Fault CurrentFault() const;

    // Closes the pty (both sides the stand-in holds) and removes the link: the library's reader sees a
    // hang-up.
    void Vanish();
    bool Vanished() const { return vanished_.load(); }
    // Comes back on a new pty under the same port number.
    bool Reappear(std::string* error);

    void SetLogging(bool on);
    std::vector<LoggedRequest> Requests() const;
    void ClearRequests();
    // Reply packets sent (flood frames excluded), in order.
    std::vector<std::vector<uint8_t>> Answers() const;

    DeviceState State() const;
    // Changes one field by its state-file name and persists it.
    bool SetField(std::string_view name, std::string_view value, std::string* error);
    // Applies change to a copy of the state and keeps it (saved to the state file) only when change agrees.
    bool UpdateState(const std::function<bool(DeviceState&, std::string*)>& change, std::string* error);
    // "key = value" lines: port, pty, fault, then the device state.
    std::vector<std::string> StatusLines() const;

    // Replaces the answer for one request code (null: answered with the error frame).
    void SetHandler(uint8_t code, RequestHandler handler);

    // Puts the device into a scenario (name or file) and persists it.
    bool SwitchScenario(std::string_view nameOrFile, std::string* error);
    // Sends an unsolicited packet (a vendor report, say) as soon as possible.
    void SendUnsolicited(std::span<const uint8_t> packet);
    // Answers one request packet as if it had come over the pty (logged, faults other than delays and bad
    // FCS applied); empty for no answer. For transports of the stand-in other than its pty.
    std::vector<uint8_t> Answer(std::span<const uint8_t> packet);
    // The host closed or opened its side: the SPC locks again and a half-done roaming list is dropped.
    void EndSession();

  private:
    struct Outcome {
        std::vector<uint8_t> reply;
        bool corrupt = false;
        uint32_t delayMs = 0;
    };

    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::vector<uint8_t> frame;
    };

    bool OpenDevice(std::string* error);
    bool PublishLink(std::string* error);
    void CloseDevice();
    void IoLoop();
    void ReadMaster();
    void OnFrame(const uint8_t* frame, size_t count) override;
    // Logs and answers one request; raw is what arrived on the wire (empty off the pty).
    Outcome Process(std::span<const uint8_t> packet, std::span<const uint8_t> raw,
                    std::chrono::steady_clock::time_point now);
    void EndSessionLocked();
    void StreamLogs(std::chrono::steady_clock::time_point now);
    void AppendFrame(const std::vector<uint8_t>& frame);
    void OnLinkReset();
    void Queue(std::vector<uint8_t> frame, std::chrono::steady_clock::time_point due);
    void PromoteDue(std::chrono::steady_clock::time_point now);
    void AppendFloodFrames();
    void FlushOutput();
    void Wake();
    void JoinIo();
    void SaveState();
    void InstallDefaultHandlers();

    Options options_;
    int port_ = 0;

    // Device: owned by the I/O thread while it runs.
    int master_ = -1;
    int slave_ = -1;     // kept open so that the library closing its side never hangs up the master
    int wake_ = -1;      // eventfd
    int portLock_ = -1;  // flock held on the port number while the stand-in lives
    std::thread io_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> vanishRequested_{false};
    std::atomic<bool> vanished_{false};
    std::mutex lifecycleMutex_;

    // I/O thread only.
    transport::RxFrame rx_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> out_;
    std::vector<Pending> pending_;
    bool leadingFlag_ = true;
    uint32_t floodSequence_ = 0;
    std::chrono::steady_clock::time_point nextLog_{};
    bool evdoWasUp_ = false;

    mutable std::mutex mutex_;  // everything below
    std::string ptyPath_;
    DeviceState state_;
    Fault fault_;
    std::array<bool, 256> retrySeen_{};
    std::array<RequestHandler, 256> handlers_;
    std::vector<LoggedRequest> requests_;
    std::vector<std::vector<uint8_t>> answers_;
    bool logRequests_ = false;
    std::chrono::steady_clock::time_point silentUntil_{};
    LogStream logStream_;
    std::vector<std::vector<uint8_t>> unsolicited_;  // frames for the I/O thread to send
};

}  // namespace velmo::sim
