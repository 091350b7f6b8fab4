// Desktop notices: a call to org.freedesktop.Notifications on the session bus. The call is asynchronous, so
// the calling thread never waits for the service; without a bus or a service nothing is shown and nothing is
// reported to the user (a debug line in velmo.manager.desktop says why).
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

namespace velmo::manager {

class CDesktopNotifier : public QObject {
    Q_OBJECT

  public:
    // On the session bus.
    explicit CDesktopNotifier(QObject* parent = nullptr);
    // On the given connection (tests use a private bus).
    explicit CDesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);
    ~CDesktopNotifier() override;

    // Sends the notice: title as the summary, body (markup-escaped by the caller) as the body, iconName as
    // the icon (a themed name or a file URI; empty for none). False when there is no bus to send it on;
    // true once the call is on its way (answered() tells how it ended). Call on this object's thread.
    bool Notify(const QString& title, const QString& body, const QString& iconName = {});

  signals:
    // The service's answer to a Notify: shown with the service's id, or not (no service, an error, no answer
    // within the call's time-out).
    void answered(bool shown, uint id);

  private:
    void OnFinished(QDBusPendingCallWatcher* watcher);

    QDBusConnection bus_;
};

}  // namespace velmo::manager
