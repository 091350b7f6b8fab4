// The "Pulpit" tab: the tray icon, the desktop notices, the D-Bus interface, connecting again after a drop
// and the diagnostics, each switched on or off; Apply stores the switches and asks the main window to take
// them up. Below: what the current call of ours has moved and the data of the last 30 days.
#pragma once

#include "SettingsPane.h"
#include "manager/core/DesktopModel.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace velmo::manager {

class DesktopPane : public SettingsPane {
    Q_OBJECT
  public:
    DesktopPane(const PaneServices& services, QWidget* parent);

    void Load() override;
    void OnShown() override { Refresh(); }
    void Apply() override;
    // The counters and the table from the meter (on the status timer while the tab shows).
    void Refresh();

    DesktopOptions Options() const;
    QCheckBox* TrayIconBox() const { return tray_; }
    QCheckBox* NotificationsBox() const { return notifications_; }
    QCheckBox* BusBox() const { return bus_; }
    QCheckBox* ReconnectBox() const { return reconnect_; }
    QCheckBox* DiagnosticsBox() const { return diagnostics_; }
    QPushButton* SaveDiagnosticsButton() const { return saveDiagnostics_; }
    QLabel* TrafficNow() const { return trafficNow_; }
    QTableWidget* TrafficTable() const { return table_; }

  private:
    void OnClicked();
    void OnSaveDiagnostics();

    QCheckBox* tray_ = nullptr;
    QCheckBox* notifications_ = nullptr;
    QCheckBox* bus_ = nullptr;
    QCheckBox* reconnect_ = nullptr;
    QCheckBox* diagnostics_ = nullptr;
    QPushButton* saveDiagnostics_ = nullptr;
    QLabel* trafficNow_ = nullptr;
    QTableWidget* table_ = nullptr;
    DesktopOptions loaded_;
};

}  // namespace velmo::manager
