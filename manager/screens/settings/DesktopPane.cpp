#include "DesktopPane.h"

#include <QCheckBox>
#include <QDate>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "manager/core/Diagnostics.h"
#include "manager/core/SettingsModel.h"
#include "manager/core/Texts.h"
#include "manager/core/Traffic.h"
#include "manager/screens/ScreenFlowHost.h"

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
    diagnostics_ = box(kDiagnosticsBox);
    diagnostics_->setToolTip(
        Tr::tr("Zapisuje w pamięci komunikaty programu dla pomocy technicznej; kody i "
               "treści wiadomości są w nich ukryte."));

    saveDiagnostics_ = new QPushButton(Tr::tr(FindRow(DesktopLayout(), kSaveDiagnostics)->text), this);
    AddControl(kSaveDiagnostics, saveDiagnostics_);
    connect(saveDiagnostics_, &QPushButton::clicked, this, &DesktopPane::OnSaveDiagnostics);

    auto* label = new QLabel(Tr::tr(FindRow(DesktopLayout(), kTrafficLabel)->text), this);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    AddControl(kTrafficLabel, label);

    trafficNow_ = new QLabel(this);
    trafficNow_->setAccessibleName(Tr::tr("Bieżące połączenie"));
    trafficNow_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    AddControl(kTrafficNow, trafficNow_);

    const std::vector<QString> header = TrafficTableHeader();
    table_ = new QTableWidget(0, static_cast<int>(header.size()), this);
    table_->setHorizontalHeaderLabels(QStringList(header.begin(), header.end()));
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAccessibleName(Tr::tr("Ruch danych w ostatnich 30 dniach"));
    label->setBuddy(table_);
    AddControl(kTrafficTable, table_);
    Refresh();
}

DesktopOptions DesktopPane::Options() const {
    DesktopOptions o;
    o.trayIcon = tray_->isChecked();
    o.notifications = notifications_->isChecked();
    o.busInterface = bus_->isChecked();
    o.reconnect = reconnect_->isChecked();
    o.diagnostics = diagnostics_->isChecked();
    return o;
}

void DesktopPane::Load() {
    loaded_ = DesktopOptions::Load();
    tray_->setChecked(loaded_.trayIcon);
    notifications_->setChecked(loaded_.notifications);
    bus_->setChecked(loaded_.busInterface);
    reconnect_->setChecked(loaded_.reconnect);
    diagnostics_->setChecked(loaded_.diagnostics);
    SetChanged(false);
    Refresh();
}

void DesktopPane::Refresh() {
    const CTrafficMeter* meter = services_.traffic;
    trafficNow_->setText(CurrentTrafficText(meter != nullptr ? meter->Current() : std::nullopt));
    const std::vector<TrafficTableRow> rows = manager::TrafficTable(
        meter != nullptr ? meter->LastDays(QDate::currentDate()) : std::vector<TrafficDay>{});
    table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const TrafficTableRow& row = rows[static_cast<size_t>(r)];
        const QString cells[] = {row.day, row.received, row.sent, row.connected};
        for (int c = 0; c < 4; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                table_->setItem(r, c, item);
            }
            item->setText(cells[c]);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                          : Qt::AlignRight | Qt::AlignVCenter);
        }
    }
}

void DesktopPane::OnClicked() {
    SetChanged(Options() != loaded_);
}

void DesktopPane::OnSaveDiagnostics() {
    if (services_.flows == nullptr || !services_.prompt) {
        return;
    }
    std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    const QString product = services_.productText;
    services_.flows->Run([prompt, product] { SaveDiagnosticsFlow(*prompt, product); });
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
