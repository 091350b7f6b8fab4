#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QStringList>
#include <QVariantMap>

namespace velmo::manager {

namespace {

Q_LOGGING_CATEGORY(lcDesktop, "velmo.manager.desktop", QtWarningMsg)

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";
constexpr char kInterface[] = "org.freedesktop.Notifications";
constexpr char kAppName[] = "VelmoManager";
// The server decides how long a notice stays.
constexpr int kServerTimeout = -1;
// A service that does not answer in this time counts as absent; nothing waits for it meanwhile.
constexpr int kCallTimeoutMs = 10000;

}  // namespace

CDesktopNotifier::CDesktopNotifier(QObject* parent)
    : CDesktopNotifier(QDBusConnection::sessionBus(), parent) {}

CDesktopNotifier::CDesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

CDesktopNotifier::~CDesktopNotifier() = default;

bool CDesktopNotifier::Notify(const QString& title, const QString& body, const QString& iconName) {
    if (!bus_.isConnected()) {
        qCDebug(lcDesktop) << "no session bus, notice not shown:" << bus_.lastError().message();
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                       QLatin1String(kInterface), QStringLiteral("Notify"));
    call << QString::fromLatin1(kAppName) << uint{0} << iconName << title << body << QStringList()
         << QVariantMap() << int{kServerTimeout};
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &CDesktopNotifier::OnFinished);
    return true;
}

void CDesktopNotifier::OnFinished(QDBusPendingCallWatcher* watcher) {
    const QDBusPendingReply<uint> reply = *watcher;
    watcher->deleteLater();
    if (reply.isError()) {
        // The error's name and text only: the notice's texts stay out of the log.
        qCDebug(lcDesktop) << "notice not shown:" << reply.error().name() << reply.error().message();
        emit answered(false, 0);
        return;
    }
    emit answered(true, reply.value());
}

}  // namespace velmo::manager
