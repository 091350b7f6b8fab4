#include "HandOffQueue.h"

#include <utility>

namespace velmo::manager {

CHandOffQueue::CHandOffQueue(Drain drain, size_t capacity, QObject* parent)
    : QObject(parent), drain_(std::move(drain)), capacity_(capacity) {}

CHandOffQueue::~CHandOffQueue() = default;

bool CHandOffQueue::Push(std::span<const uint8_t> bytes) {
    {
        std::lock_guard lk(mutex_);
        if (blocks_.size() >= capacity_) {
            ++dropped_;
            return false;
        }
        blocks_.emplace_back(bytes.begin(), bytes.end());
        if (wakePending_) {
            return true;
        }
        wakePending_ = true;
    }
    // Queued on this object: a wake-up still on its way when the object goes is discarded with it.
    QMetaObject::invokeMethod(
        this, [this] { DrainNow(); }, Qt::QueuedConnection);
    return true;
}

void CHandOffQueue::DrainNow() {
    std::vector<std::vector<uint8_t>> blocks;
    {
        std::lock_guard lk(mutex_);
        blocks.swap(blocks_);
        wakePending_ = false;
    }
    for (std::vector<uint8_t>& block : blocks) {
        if (drain_) {
            drain_(std::move(block));
        }
    }
}

size_t CHandOffQueue::Dropped() const {
    std::lock_guard lk(mutex_);
    return dropped_;
}

}  // namespace velmo::manager
