#include "ScreenFlowHost.h"

#include <QApplication>
#include <QEvent>

#include "manager/core/ScreenFlowThread.h"

namespace velmo::manager {

namespace {

bool IsInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

}  // namespace

ScreenFlowHost::ScreenFlowHost(QWidget* window, CScreenFlowThread& thread)
    : QObject(window), window_(window), thread_(thread), inbox_(std::make_shared<Inbox>()) {
    inbox_->host = this;
}

ScreenFlowHost::~ScreenFlowHost() {
    {
        std::lock_guard lock(inbox_->mutex);
        inbox_->host = nullptr;
    }
    if (pending_ > 0) {
        // Destroyed with its window, which is half gone by now: only the application's filter is undone.
        qApp->removeEventFilter(this);
    }
}

bool ScreenFlowHost::Run(std::function<void()> flow, std::function<void()> then) {
    std::weak_ptr<Inbox> inbox = inbox_;
    auto done = [inbox, then = std::move(then)]() mutable {
        const std::shared_ptr<Inbox> box = inbox.lock();
        if (!box) {
            return;
        }
        std::lock_guard lock(box->mutex);
        box->done.push_back(then ? std::move(then) : std::function<void()>([] {}));
        // Only a wake-up crosses to the window thread; what it runs comes out of the queue there. Posted
        // under the lock, so the host cannot go in between (its destructor takes the lock first).
        if (box->host != nullptr) {
            QMetaObject::invokeMethod(box->host, &ScreenFlowHost::Drain, Qt::QueuedConnection);
        }
    };
    if (!thread_.Post(std::move(flow), std::move(done))) {
        return false;
    }
    if (pending_++ == 0) {
        Block();
    }
    return true;
}

void ScreenFlowHost::AllowDuringFlows(QWidget* control) {
    control->setCursor(Qt::ArrowCursor);
    allowed_.emplace_back(control);
}

bool ScreenFlowHost::Allowed(QObject* watched) const {
    for (const QPointer<QWidget>& control : allowed_) {
        if (control != nullptr &&
            (watched == control || control->isAncestorOf(static_cast<QWidget*>(watched)))) {
            return true;
        }
    }
    return false;
}

void ScreenFlowHost::Drain() {
    std::deque<std::function<void()>> ready;
    {
        std::lock_guard lock(inbox_->mutex);
        ready.swap(inbox_->done);
    }
    for (std::function<void()>& then : ready) {
        if (window_ != nullptr) {
            then();
        }
        if (--pending_ == 0) {
            Unblock();
            emit idle();
        }
    }
}

void ScreenFlowHost::Block() {
    qApp->installEventFilter(this);
    if (window_ != nullptr) {
        hadCursor_ = window_->testAttribute(Qt::WA_SetCursor);
        oldCursor_ = window_->cursor();
        window_->setCursor(Qt::WaitCursor);
    }
}

void ScreenFlowHost::Unblock() {
    qApp->removeEventFilter(this);
    if (window_ == nullptr) {
        return;
    }
    if (hadCursor_) {
        window_->setCursor(oldCursor_);
    } else {
        window_->unsetCursor();
    }
}

bool ScreenFlowHost::eventFilter(QObject* watched, QEvent* event) {
    if (pending_ > 0 && window_ != nullptr && IsInput(event->type()) && watched->isWidgetType()) {
        // Input for the window itself or any of its controls; the flow's own dialogs are windows of their
        // own.
        if (static_cast<QWidget*>(watched)->window() == window_.data() && !Allowed(watched)) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace velmo::manager
