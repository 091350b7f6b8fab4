// A card behind a scripted interface object: records every request-60 packet and answers the card commands
// through the manager's rows with a fixed reply (accepted, 3 attempts left).
#pragma once

#include <cstring>
#include <mutex>
#include <vector>

#include "StubModem.h"
#include "manager/core/CModemWrapper.h"
#include "manager/core/DeviceContext.h"
#include "manager/core/ModemSession.h"
#include "manager/core/Request60.h"
#include "platform/Clock.h"

namespace velmo::manager::test {

class CardStub : public StubModem {
  public:
    int32_t SendRequest60(const uint8_t* request, int32_t count, uint8_t* out128) override {
        const wire::ConstBytes packet(request, static_cast<size_t>(count < 0 ? 0 : count));
        std::lock_guard lock(mutex_);
        packets_.emplace_back(packet.begin(), packet.end());
        std::memset(out128, 0, kRequest60ReplySize);
        const r60::Row* row = r60::FindRow(packet);
        if (row == nullptr) {
            return kResultNoReply;
        }
        std::vector<uint8_t> reply = r60::EmptyReply(*row, packet);
        r60::PutCard(*row, reply, answer);
        std::memcpy(out128, reply.data(), kRequest60ReplySize);
        return kResultOk;
    }
    std::vector<std::vector<uint8_t>> Packets() const {
        std::lock_guard lock(mutex_);
        return packets_;
    }

    r60::CardReply answer{1, 3, 1, 2};

  private:
    mutable std::mutex mutex_;
    std::vector<std::vector<uint8_t>> packets_;
};

// The card stub behind a wrapper, with an idle worker (a pause is granted at once) and virtual time.
struct CardRig {
    CardRig() {
        wrapper.Attach(&stub);
        context.workerStepping.store(0);
    }
    ~CardRig() { wrapper.Attach(nullptr); }
    ModemSession Session() { return ModemSession(wrapper, context, clock); }

    CardStub stub;
    CModemWrapper wrapper;
    DeviceContext context;
    platform::FakeClock clock;
};

}  // namespace velmo::manager::test
