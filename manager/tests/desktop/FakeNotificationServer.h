// For tests: a private D-Bus bus of their own (a dbus-daemon child with no service files, so nothing is ever
// started on it) and a notification service on it that records every Notify it gets.
#pragma once

#include <QDBusConnection>
#include <QFile>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <atomic>

namespace velmo::manager::test {

class CPrivateBus {
  public:
    CPrivateBus() {
        if (!dir_.isValid()) {
            return;
        }
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly)) {
            return;
        }
        // The session bus's policy, without its service directories.
        static constexpr char kConfig[] =
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig>\n"
            "  <type>session</type>\n"
            "  <listen>unix:dir=%1</listen>\n"
            "  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n"
            "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n"
            "    <allow own=\"*\"/>\n"
            "  </policy>\n"
            "</busconfig>\n";
        file.write(QString::fromLatin1(kConfig).arg(dir_.path()).toUtf8());
        file.close();
        daemon_.setStandardErrorFile(QProcess::nullDevice());
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) {
            return;
        }
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~CPrivateBus() {
        for (const QString& name : connections_) {
            QDBusConnection::disconnectFromBus(name);
        }
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.terminate();
            if (!daemon_.waitForFinished(5000)) {
                daemon_.kill();
                daemon_.waitForFinished(5000);
            }
        }
    }
    CPrivateBus(const CPrivateBus&) = delete;
    CPrivateBus& operator=(const CPrivateBus&) = delete;

    // Empty when the daemon did not come up.
    const QString& Address() const { return address_; }

    // A connection of its own to the bus, closed with the bus.
    QDBusConnection Connect() {
        static std::atomic<int> serial{0};
        connections_.append(QStringLiteral("velmo-test-bus-%1").arg(++serial));
        return QDBusConnection::connectToBus(address_, connections_.last());
    }

  private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList connections_;
};

struct NotifyCall {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

class CFakeNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    // Owns org.freedesktop.Notifications on the bus, on a connection of its own.
    explicit CFakeNotificationServer(CPrivateBus& bus) : CFakeNotificationServer(bus.Connect()) {}
    // On a connection of the caller's (the session bus of a test run under its own bus).
    explicit CFakeNotificationServer(const QDBusConnection& connection) : bus_(connection) {
        registered_ = bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                          QDBusConnection::ExportAllSlots) &&
                      bus_.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~CFakeNotificationServer() override {
        bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }

    bool Registered() const { return registered_; }
    const QList<NotifyCall>& Calls() const { return calls_; }

  public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int expireTimeout) {
        calls_.append({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
        return static_cast<uint>(calls_.size());
    }

  private:
    QDBusConnection bus_;
    bool registered_ = false;
    QList<NotifyCall> calls_;
};

}  // namespace velmo::manager::test
