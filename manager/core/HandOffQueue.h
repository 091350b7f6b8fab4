// Hands byte blocks from any thread to the thread of a QObject: the producer copies its bytes into a
// mutex-guarded queue and posts only a wake-up; the receiving thread drains the queue when the wake-up
// arrives. Made for the library's reports, which are posted on its reader thread and whose copies live only
// during the post.
#pragma once

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

namespace velmo::manager {

class CHandOffQueue : public QObject {
  public:
    using Drain = std::function<void(std::vector<uint8_t> block)>;

    // drain gets each block, in order, on this object's thread. At most capacity blocks wait; further ones
    // are dropped (and counted) until the queue is drained.
    explicit CHandOffQueue(Drain drain, size_t capacity = 64, QObject* parent = nullptr);
    ~CHandOffQueue() override;
    CHandOffQueue(const CHandOffQueue&) = delete;
    CHandOffQueue& operator=(const CHandOffQueue&) = delete;

    // Any thread: copies bytes and wakes this object's thread unless a wake-up is already on its way. Never
    // waits for the receiving thread. False when the block was dropped. The producer must be detached
    // before the queue is destroyed.
    bool Push(std::span<const uint8_t> bytes);

    // This object's thread: hands every waiting block to drain (the wake-up calls it; calling it directly is
    // harmless).
    void DrainNow();

    size_t Dropped() const;

  private:
    Drain drain_;
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::vector<std::vector<uint8_t>> blocks_;
    bool wakePending_ = false;
    size_t dropped_ = 0;
};

}  // namespace velmo::manager
