// One VelmoManager per user: a local socket named after the window class in the user's runtime folder. The
// first copy listens; a second start asks it to come forward and then ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace velmo::manager {

inline constexpr const char* kWindowClassName = "VelmoMgr";

// $XDG_RUNTIME_DIR/velmo/VelmoMgr, else /tmp/velmo-<uid>/VelmoMgr; the folder is made 0700.
QString SingleInstanceSocketPath();

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;
    // True when this process is the first: it now listens. A socket left by a crashed copy (nobody answers)
    // is removed first. False when another copy answered; it has been asked to raise its window.
    bool Claim();

  signals:
    // Another start asked this copy to come forward.
    void raiseRequested();

  private:
    QLocalServer server_;
    int lockFd_ = -1;
};

}  // namespace velmo::manager
