#include "DesktopPane.h"

#include <QCheckBox>

#include "manager/core/SettingsModel.h"
#include "manager/core/Texts.h"

namespace velmo::manager {

using namespace settings;

DesktopPane::DesktopPane(const PaneServices& services, QWidget* parent)
    : SettingsPane(services, DesktopLayout(), parent) {
    const auto box = [this](int id) {
        auto* check = new QCheckBox(Tr::tr(FindRow(DesktopLayout(), id)->text), this);
        AddControl(id, check);
        connect(check, &QCheckBox::clicked, this, &DesktopPane::OnClicked);
        return check;
    };
    tray_ = box(kTrayIconBox);
    notifications_ = box(kNotificationsBox);
    bus_ = box(kBusBox);
    reconnect_ = box(kReconnectBox);
}

DesktopOptions DesktopPane::Options() const {
    DesktopOptions o;
    o.trayIcon = tray_->isChecked();
    o.notifications = notifications_->isChecked();
    o.busInterface = bus_->isChecked();
    o.reconnect = reconnect_->isChecked();
    return o;
}

void DesktopPane::Load() {
    loaded_ = DesktopOptions::Load();
    tray_->setChecked(loaded_.trayIcon);
    notifications_->setChecked(loaded_.notifications);
    bus_->setChecked(loaded_.busInterface);
    reconnect_->setChecked(loaded_.reconnect);
    SetChanged(false);
}

void DesktopPane::OnClicked() {
    SetChanged(Options() != loaded_);
}

void DesktopPane::Apply() {
    loaded_ = Options();
    loaded_.Save();
    SetChanged(false);
    if (services_.reloadSettings) {
        services_.reloadSettings();
    }
}

}  // namespace velmo::manager
