// A transport that keeps everything in memory: writes go to a responder function, which may answer by calling
// Deliver() (on the writing thread or any other).
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "Transport.h"

namespace velmo::transport {

class MemoryTransport final : public ITransport {
  public:
    using Responder = std::function<void(const std::vector<uint8_t>& frame)>;

    explicit MemoryTransport(IReceiver& receiver) : receiver_(receiver) {}

    void SetResponder(Responder responder) {
        std::lock_guard lk(mutex_);
        responder_ = std::move(responder);
    }
    int WriteFrameBytes(const uint8_t* bytes, size_t n) override {
        std::vector<uint8_t> frame(bytes, bytes + n);
        Responder responder;
        {
            std::lock_guard lk(mutex_);
            written_.push_back(frame);
            responder = responder_;
        }
        if (responder) {
            responder(frame);
        }
        return 1;
    }
    bool IsOpen() const override { return true; }

    void Deliver(const std::vector<uint8_t>& bytes) { receiver_.OnReceived(bytes.data(), bytes.size()); }

    std::vector<std::vector<uint8_t>> Written() {
        std::lock_guard lk(mutex_);
        return written_;
    }

  private:
    IReceiver& receiver_;
    std::mutex mutex_;
    Responder responder_;
    std::vector<std::vector<uint8_t>> written_;
};

}  // namespace velmo::transport
