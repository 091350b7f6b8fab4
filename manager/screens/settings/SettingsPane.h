// What every pane of the settings window shares: its controls placed from its layout table on every resize,
// the contract the window drives (Load when the window opens, OnShown when the tab becomes current, Apply for
// "Zastosuj" and OK, changed for the apply button), and what its flows need.
#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <span>

#include "manager/core/Layout.h"
#include "manager/core/ModemSession.h"

namespace velmo::manager {

class CProfiles;
class CSettings;
class CTrafficMeter;
class IUserPrompt;
class ScreenFlowHost;

// Shared by the panes of one settings window.
struct PaneServices {
    explicit PaneServices(const ModemSession& modem) : session(modem) {}

    ModemSession session;
    CSettings* settings = nullptr;
    // The connection profiles the profiles pane edits.
    CProfiles* profiles = nullptr;
    // The data counters the "Pulpit" tab shows; may be null.
    const CTrafficMeter* traffic = nullptr;
    // The settings window's prompt (message boxes owned by it) and its screen-flow host.
    std::shared_ptr<IUserPrompt> prompt;
    ScreenFlowHost* flows = nullptr;
    // The main window: its panel's text, its settings reload, the advanced windows.
    std::function<QString()> statusText;
    std::function<void()> reloadSettings;
    // Label 128: the program's and the library's versions, read once when the window was made.
    QString productText;
};

class SettingsPane : public QWidget {
    Q_OBJECT
  public:
    SettingsPane(const PaneServices& services, std::span<const LayoutRow> layout, QWidget* parent);

    virtual void Load() {}
    virtual void OnShown() {}
    virtual void Apply() {}
    bool Changed() const { return changed_; }

    // A control by its id, null when the pane has none.
    QWidget* Control(int id) const;
    // The rectangle of a control for the pane's size w × h (tests).
    QRect RectOf(int id, int w, int h) const;
    std::span<const LayoutRow> Layout() const { return layout_; }

  signals:
    void changed(bool changed);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    // Places w by the row of id from now on.
    void AddControl(int id, QWidget* w);
    // The product icon, the frame and the two product texts (rows kProductIcon … kCopyright of the layout).
    void AddProductControls();
    void SetChanged(bool changed);

    const PaneServices& services_;

  private:
    void Place();

    std::span<const LayoutRow> layout_;
    std::map<int, QWidget*> controls_;
    bool changed_ = false;
};

}  // namespace velmo::manager
