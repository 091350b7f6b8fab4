#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

namespace velmo::manager {

namespace {
constexpr int kConnectWaitMs = 1000;
constexpr const char kRaiseWord[] = "raise\n";
constexpr int kRaiseAttempts = 10;
constexpr unsigned long kRaiseRetryMs = 200;
}  // namespace

QString SingleInstanceSocketPath() {
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder =
        base.isEmpty() ? QStringLiteral("/tmp/velmo-%1").arg(getuid()) : base + QStringLiteral("/velmo");
    QDir().mkpath(folder);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    return folder + '/' + kWindowClassName;
}

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_.nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().startsWith("raise")) {
                    emit raiseRequested();
                }
                peer->write("ok\n");
                peer->flush();
            });
        }
    });
}

SingleInstance::~SingleInstance() {
    server_.close();
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

bool SingleInstance::Claim() {
    const QString path = SingleInstanceSocketPath();
    // The lock decides who is first, even for two starts at the same moment; the kernel drops it when the
    // holder dies, so a crash leaves nothing that blocks the next start.
    lockFd_ = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) {
        // A socket file still there was left by a copy that did not end cleanly.
        QLocalServer::removeServer(path);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        return server_.listen(path);
    }
    // The first copy may still be starting: give it a moment to listen.
    for (int attempt = 0; attempt < kRaiseAttempts; ++attempt) {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kConnectWaitMs)) {
            probe.write(kRaiseWord);
            probe.flush();
            probe.waitForReadyRead(kConnectWaitMs);
            probe.disconnectFromServer();
            break;
        }
        QThread::msleep(kRaiseRetryMs);
    }
    return false;
}

}  // namespace velmo::manager
