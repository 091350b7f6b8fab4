#include "RfSampler.h"
#include "platform/ThreadName.h"

namespace velmo::manager {

namespace {

// A bound on what waits for a window that does not drain (it is hidden or stuck): the newest stays.
constexpr size_t kQueueLimit = 1000;

}  // namespace

CRfSampler::CRfSampler(std::function<std::optional<RfReading>()> reader, platform::IClock& clock,
                       std::function<void()> wake)
    : reader_(std::move(reader)), clock_(clock), wake_(std::move(wake)) {
    lastA_.fill(-1);
    lastB_.fill(-1);
    lastC_.fill(-1);
}

CRfSampler::~CRfSampler() {
    Close();
}

void CRfSampler::SetRunning(bool running) {
    running_.store(running);
    if (running && !thread_.joinable() && !closing_.load()) {
        thread_ = std::thread([this] {
            platform::NameThisThread("velmo-rf");
            Run();
        });
    }
}

void CRfSampler::Close() {
    closing_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    active_.store(false);
}

void CRfSampler::Run() {
    while (!closing_.load()) {
        clock_.Sleep(kRfSampleStepMs);
        if (closing_.load()) {
            break;
        }
        if (!running_.load()) {
            active_.store(false);
            continue;
        }
        active_.store(true);
        Sample();
    }
    active_.store(false);
}

void CRfSampler::Sample() {
    const std::optional<RfReading> r = reader_ ? reader_() : std::nullopt;
    if (!r) {
        return;
    }
    RfUpdate update;
    bool any = false;
    if (!lastCount_ || *lastCount_ != r->updateCount) {
        lastCount_ = r->updateCount;
        update.snapshot = *r;
        any = true;
    }
    const auto block = [&any](const RfBlock& now, RfBlock& last, std::optional<RfBlock>& out) {
        if (now != last && now[0] != -1) {
            last = now;
            out = now;
            any = true;
        }
    };
    block(r->activePilots, lastA_, update.activePilots);
    block(r->activeEnergies, lastB_, update.activeEnergies);
    block(r->neighbourPilots, lastC_, update.neighbourPilots);
    if (r->channel != lastChannel_) {
        lastChannel_ = r->channel;
        update.channel = r->channel;
        any = true;
    }
    if (!any) {
        return;
    }
    bool wake = false;
    {
        std::lock_guard lock(queueLock_);
        if (queue_.size() >= kQueueLimit) {
            queue_.pop_front();
        }
        queue_.push_back(std::move(update));
        wake = !wakePending_;
        wakePending_ = true;
    }
    if (wake && wake_) {
        wake_();
    }
}

std::vector<RfUpdate> CRfSampler::Take() {
    std::lock_guard lock(queueLock_);
    std::vector<RfUpdate> out(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
    queue_.clear();
    wakePending_ = false;
    return out;
}

}  // namespace velmo::manager
