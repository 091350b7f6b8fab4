// The icon in the desktop's tray: the connection state and signal as a picture, a tooltip with network,
// signal, battery and connection time, and a menu with "Połącz", "Rozłącz", "Pokaż okno", "Ustawienia"
// and "Zakończ". The menu only asks; the main window does what a button would. Window thread only.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <map>
#include <memory>

#include "manager/core/DesktopModel.h"

class QAction;
class QSystemTrayIcon;

namespace velmo::manager {

// The tray picture of a look, at the sizes a tray asks for (rendered from its SVG).
QIcon TrayIconFor(const TrayLook& look);

class CTrayIcon : public QObject {
    Q_OBJECT
  public:
    explicit CTrayIcon(QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Shows or hides the icon; it never shows where the desktop has no tray.
    void SetShown(bool shown);
    bool Shown() const;

    // The newest snapshot, at now (seconds since the epoch) for the connection time.
    void Update(const ModemSnapshot& snapshot, int64_t now);

    TrayLook Look() const { return look_; }
    QString ToolTip() const { return toolTip_; }
    QMenu* Menu() { return &menu_; }
    QAction* ConnectAction() const { return connect_; }
    QAction* DisconnectAction() const { return disconnect_; }
    QAction* ShowWindowAction() const { return showWindow_; }
    QAction* SettingsAction() const { return settings_; }
    QAction* QuitAction() const { return quit_; }

  signals:
    void connectRequested();
    void disconnectRequested();
    void showWindowRequested();
    void settingsRequested();
    void quitRequested();
    // A click on the icon.
    void toggleRequested();

  private:
    QMenu menu_;
    QAction* connect_ = nullptr;
    QAction* disconnect_ = nullptr;
    QAction* showWindow_ = nullptr;
    QAction* settings_ = nullptr;
    QAction* quit_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> icon_;
    TrayLook look_;
    bool lookSet_ = false;
    QString toolTip_;
};

}  // namespace velmo::manager
