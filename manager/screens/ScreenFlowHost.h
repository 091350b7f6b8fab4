// Runs a window's flows on the screen-flow thread: while one is queued or running the window shows the wait
// cursor, ignores input and keeps painting; its prompts reach the window thread as blocking queued calls.
// When a flow has finished, its continuation runs on the window thread: the flow thread only puts it into
// this host's queue and posts a wake-up.
#pragma once

#include <QCursor>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmo::manager {

class CScreenFlowThread;

class ScreenFlowHost : public QObject {
    Q_OBJECT
  public:
    ScreenFlowHost(QWidget* window, CScreenFlowThread& thread);
    ~ScreenFlowHost() override;

    // Queues flow; then runs afterwards on the window thread (not when the window is gone by then). False
    // when the flow thread has stopped.
    bool Run(std::function<void()> flow, std::function<void()> then = {});
    bool Busy() const { return pending_ > 0; }
    // A control that takes input while a flow runs (a stop button); it keeps the arrow cursor.
    void AllowDuringFlows(QWidget* control);

  signals:
    // The last queued flow of this window has finished and its continuation has run.
    void idle();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Drain();
    void Block();
    void Unblock();

    bool Allowed(QObject* watched) const;

    QPointer<QWidget> window_;
    std::vector<QPointer<QWidget>> allowed_;  // window thread only
    CScreenFlowThread& thread_;
    int pending_ = 0;  // window thread only
    bool hadCursor_ = false;
    QCursor oldCursor_;
    // Finished flows' continuations, filled by the flow thread and drained on the window thread. Shared with
    // the flow thread's completions so that a host destroyed meanwhile leaves them nothing to touch.
    struct Inbox {
        std::mutex mutex;  // guards both members
        std::deque<std::function<void()>> done;
        ScreenFlowHost* host = nullptr;  // cleared by the host's destructor
    };
    std::shared_ptr<Inbox> inbox_;
};

}  // namespace velmo::manager
