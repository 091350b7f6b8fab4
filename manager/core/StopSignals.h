// SIGTERM, SIGINT and SIGHUP ask the program to stop. The handler only writes the signal's number into a
// socket pair; the window thread reads it there and starts the same ordered shutdown as the close button.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace velmo::manager {

class StopSignals : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; only one instance may exist at a time.
    explicit StopSignals(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~StopSignals() override;

    bool Installed() const { return notifier_ != nullptr; }

  signals:
    // Emitted on the window thread, once per signal received.
    void stopRequested(int signal);

  private:
    void Read();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velmo::manager
