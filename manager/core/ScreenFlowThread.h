// The one thread the screens' flows run on. A flow pauses the worker, waits on the clock and talks to the
// modem: all of that blocks this thread only, never the window thread. Flows run one at a time, in the order
// they were started.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velmo::manager {

class CScreenFlowThread {
  public:
    CScreenFlowThread();
    // Waits for the flow that is running; flows still queued are dropped (their done is not called).
    ~CScreenFlowThread();
    CScreenFlowThread(const CScreenFlowThread&) = delete;
    CScreenFlowThread& operator=(const CScreenFlowThread&) = delete;

    // Queues flow; done runs on this thread right after it (the caller hands its own wake-up there).
    // False once Stop() was called.
    bool Post(std::function<void()> flow, std::function<void()> done = {});
    // Ends the thread after the running flow; later posts are refused. Called by the window thread during
    // the shutdown, after every prompt has started answering "cancel".
    void Stop();
    bool Idle() const;

  private:
    void Run();

    struct Job {
        std::function<void()> flow;
        std::function<void()> done;
    };
    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    bool running_ = false;
    std::thread thread_;  // last: starts once the rest exists
};

}  // namespace velmo::manager
