#include "StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

Q_LOGGING_CATEGORY(lcStop, "velmo.manager.stop", QtWarningMsg)

namespace velmo::manager {

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end for the handler; a lock-free atomic int is safe to read in a signal handler.
std::atomic<int> writeEnd{-1};
int readEnd = -1;

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    const int fd = writeEnd.load();
    if (fd >= 0) {
        // A full socket only loses a repeat of a request that is already pending.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    static_assert(std::atomic<int>::is_always_lock_free);
    int fds[2];
    if (writeEnd.load() >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        qCWarning(lcStop) << "stop signals are not watched";
        return;
    }
    readEnd = fds[0];
    writeEnd.store(fds[1]);
    notifier_ = new QSocketNotifier(readEnd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::Read);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kStopSignals) {
        sigaction(s, &action, nullptr);
    }
}

StopSignals::~StopSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : kStopSignals) {
        sigaction(s, &action, nullptr);
    }
    const int fd = writeEnd.exchange(-1);
    ::close(fd);
    delete notifier_;
    notifier_ = nullptr;
    ::close(readEnd);
    readEnd = -1;
}

void StopSignals::Read() {
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(readEnd, bytes, sizeof bytes);
        if (n <= 0) {
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            qCDebug(lcStop) << "signal" << bytes[i];
            emit stopRequested(bytes[i]);
        }
    }
}

}  // namespace velmo::manager
