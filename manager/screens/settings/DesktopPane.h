// The "Pulpit" tab: the tray icon, the desktop notices, the D-Bus interface and connecting again after a
// drop, each switched on or off. Apply stores the switches and asks the main window to take them up.
#pragma once

#include "SettingsPane.h"
#include "manager/core/DesktopModel.h"

class QCheckBox;

namespace velmo::manager {

class DesktopPane : public SettingsPane {
    Q_OBJECT
  public:
    DesktopPane(const PaneServices& services, QWidget* parent);

    void Load() override;
    void Apply() override;

    DesktopOptions Options() const;
    QCheckBox* TrayIconBox() const { return tray_; }
    QCheckBox* NotificationsBox() const { return notifications_; }
    QCheckBox* BusBox() const { return bus_; }
    QCheckBox* ReconnectBox() const { return reconnect_; }

  private:
    void OnClicked();

    QCheckBox* tray_ = nullptr;
    QCheckBox* notifications_ = nullptr;
    QCheckBox* bus_ = nullptr;
    QCheckBox* reconnect_ = nullptr;
    DesktopOptions loaded_;
};

}  // namespace velmo::manager
