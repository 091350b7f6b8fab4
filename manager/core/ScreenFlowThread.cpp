#include "ScreenFlowThread.h"
#include "platform/ThreadName.h"

namespace velmo::manager {

CScreenFlowThread::CScreenFlowThread()
    : thread_([this] {
          platform::NameThisThread("velmo-flows");
          Run();
      }) {}

CScreenFlowThread::~CScreenFlowThread() {
    Stop();
}

bool CScreenFlowThread::Post(std::function<void()> flow, std::function<void()> done) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return false;
        }
        jobs_.push_back({std::move(flow), std::move(done)});
    }
    wake_.notify_one();
    return true;
}

void CScreenFlowThread::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool CScreenFlowThread::Idle() const {
    std::lock_guard lock(mutex_);
    return !running_ && jobs_.empty();
}

void CScreenFlowThread::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
            running_ = true;
        }
        if (job.flow) {
            job.flow();
        }
        if (job.done) {
            job.done();
        }
        std::lock_guard lock(mutex_);
        running_ = false;
    }
}

}  // namespace velmo::manager
