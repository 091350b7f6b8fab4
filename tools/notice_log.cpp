// velmo-notice-log: a desktop notification service that writes every notice to standard output, one line
// each ("summary | body"), for a session bus without a desktop (the demo's private bus). It owns
// org.freedesktop.Notifications on the session bus and runs until it is stopped or the bus goes away.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>

namespace {

class NoticeLog : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public slots:
    uint Notify(const QString& appName, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int) {
        QString flat = body;
        flat.replace(QLatin1Char('\n'), QStringLiteral(" / "));
        std::printf("%s [%s] %s | %s\n", qPrintable(appName), qPrintable(icon), qPrintable(summary),
                    qPrintable(flat));
        std::fflush(stdout);
        return ++count_;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& spec) {
        vendor = QStringLiteral("Velmo");
        version = QStringLiteral("1");
        spec = QStringLiteral("1.2");
        return QStringLiteral("velmo-notice-log");
    }
    void CloseNotification(uint) {}

  private:
    uint count_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    NoticeLog log;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &log,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "velmo-notice-log: cannot serve notices on the session bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    // The bus of a session that ended takes the connection with it.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&bus] {
        if (!bus.isConnected()) {
            QCoreApplication::quit();
        }
    });
    watch.start(1000);
    return app.exec();
}

#include "notice_log.moc"
