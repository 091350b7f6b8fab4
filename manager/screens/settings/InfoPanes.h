// The two panes that only show what the worker has read: the status table (refreshed every second while its
// tab is current) and the product information (every three seconds).
#pragma once

#include <array>

#include "SettingsPane.h"
#include "manager/core/SettingsModel.h"

class QLabel;
class QTableWidget;

namespace velmo::manager {

class StatusPane : public SettingsPane {
    Q_OBJECT
  public:
    StatusPane(const PaneServices& services, QWidget* parent);
    void OnShown() override { Refresh(); }
    void Refresh();
    // The inputs of the table as the main window has them now.
    settings::StatusInputs Inputs() const;
    QTableWidget* Table() const { return table_; }

  private:
    QTableWidget* table_ = nullptr;
};

class InformationPane : public SettingsPane {
    Q_OBJECT
  public:
    InformationPane(const PaneServices& services, QWidget* parent);
    void Load() override { Refresh(); }
    void OnShown() override { Refresh(); }
    void Refresh();
    QString Value(int id) const;

  private:
    std::array<QLabel*, 5> values_{};
};

}  // namespace velmo::manager
