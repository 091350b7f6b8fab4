// The connection profiles: the list of profiles with their numbers and the default marked, and the buttons
// that add, delete, edit, activate and restore the preset profile. The work is CProfilesFlow's.
#pragma once

#include <QStringList>
#include <functional>
#include <vector>

#include "SettingsPane.h"
#include "manager/core/ProfilesFlow.h"

class QPushButton;
class QTreeWidget;

namespace velmo::manager {

class ProfilesPane : public SettingsPane {
    Q_OBJECT
  public:
    ProfilesPane(const PaneServices& services, QWidget* parent);

    // The list is read again whenever the tab comes up.
    void OnShown() override;

    QTreeWidget* List() const { return list_; }
    QPushButton* Button(int id) const;

  signals:
    // "Profil domyślny" set the port options back to automatic search; the general pane shows and saves it.
    void presetRestored();

  private:
    void OnAdd();
    void OnDelete();
    void OnEdit();
    void OnActivate();
    void OnPresetProfile();
    void OnSelectionChanged();

    // Runs fn on the screen-flow thread and reads the list afterwards; then shows it and runs then.
    void RunFlow(std::function<void(CProfilesFlow&)> fn, std::function<void()> then = {});
    void Show(const std::vector<ProfileRow>& rows);
    void SetRowButtonsEnabled(bool enabled);
    // The selected rows' names, empty names left out.
    QStringList SelectedNames() const;

    QTreeWidget* list_ = nullptr;
};

}  // namespace velmo::manager
