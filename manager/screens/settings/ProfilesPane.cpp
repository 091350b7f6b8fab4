#include "ProfilesPane.h"

#include <QPushButton>
#include <QTreeWidget>
#include <iterator>
#include <memory>

#include "CFlatButton.h"
#include "manager/core/SettingsModel.h"
#include "manager/core/Texts.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager {

using namespace settings;

namespace {

constexpr int kNameColumn = 0;
constexpr int kNumberColumn = 1;
constexpr int kActiveColumn = 2;
constexpr int kColumnWidths[] = {200, 140, 60};

// "Edytuj", "Usuń." and "Aktywuj" act on a selected row.
constexpr int kRowButtons[] = {kEditProfile, kDeleteProfile, kActivateProfile};
constexpr int kButtons[] = {kAddProfile, kDeleteProfile, kEditProfile, kActivateProfile, kPresetProfile};

}  // namespace

ProfilesPane::ProfilesPane(const PaneServices& services, QWidget* parent)
    : SettingsPane(services, ProfilesLayout(), parent) {
    list_ = new QTreeWidget(this);
    list_->setAccessibleName(tr("Profile połączenia"));
    list_->setColumnCount(3);
    list_->setHeaderLabels({tr(" Nazwa"), tr(" Numer dostępowy"), tr(" Aktywny")});
    for (int c = 0; c < static_cast<int>(std::size(kColumnWidths)); ++c) {
        list_->setColumnWidth(c, kColumnWidths[c]);
    }
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AddControl(kProfileList, list_);

    for (const int id : kButtons) {
        auto* button = new CFlatButton(Tr::tr(FindRow(ProfilesLayout(), id)->text), this);
        AddControl(id, button);
    }
    SetRowButtonsEnabled(false);

    connect(list_, &QTreeWidget::itemSelectionChanged, this, &ProfilesPane::OnSelectionChanged);
    connect(Button(kAddProfile), &QPushButton::clicked, this, &ProfilesPane::OnAdd);
    connect(Button(kDeleteProfile), &QPushButton::clicked, this, &ProfilesPane::OnDelete);
    connect(Button(kEditProfile), &QPushButton::clicked, this, &ProfilesPane::OnEdit);
    connect(Button(kActivateProfile), &QPushButton::clicked, this, &ProfilesPane::OnActivate);
    connect(Button(kPresetProfile), &QPushButton::clicked, this, &ProfilesPane::OnPresetProfile);
}

QPushButton* ProfilesPane::Button(int id) const {
    return qobject_cast<QPushButton*>(Control(id));
}

void ProfilesPane::RunFlow(std::function<void(CProfilesFlow&)> fn, std::function<void()> then) {
    if (services_.profiles == nullptr || services_.flows == nullptr) {
        return;
    }
    const ModemSession session = services_.session;
    const std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    CProfiles* profiles = services_.profiles;
    auto rows = std::make_shared<std::vector<ProfileRow>>();
    services_.flows->Run(
        [session, prompt, profiles, rows, fn = std::move(fn)] {
            CProfilesFlow flow(session, *prompt, *profiles);
            fn(flow);
            *rows = flow.Rows();
        },
        [this, rows, then = std::move(then)] {
            Show(*rows);
            if (then) {
                then();
            }
        });
}

void ProfilesPane::OnShown() {
    RunFlow([](CProfilesFlow&) {});
}

void ProfilesPane::Show(const std::vector<ProfileRow>& rows) {
    list_->clear();
    for (const ProfileRow& row : rows) {
        auto* item = new QTreeWidgetItem(list_);
        item->setText(kNameColumn, row.name);
        item->setText(kNumberColumn, row.number);
        item->setText(kActiveColumn, row.active ? QStringLiteral("X") : QString());
    }
    if (rows.empty()) {
        SetRowButtonsEnabled(false);
    }
}

void ProfilesPane::SetRowButtonsEnabled(bool enabled) {
    for (const int id : kRowButtons) {
        Button(id)->setEnabled(enabled);
    }
}

QStringList ProfilesPane::SelectedNames() const {
    QStringList names;
    for (const QTreeWidgetItem* item : list_->selectedItems()) {
        const QString name = item->text(kNameColumn);
        if (!name.isEmpty()) {
            names.append(name);
        }
    }
    return names;
}

void ProfilesPane::OnSelectionChanged() {
    if (!SelectedNames().isEmpty()) {
        SetRowButtonsEnabled(true);
    }
}

void ProfilesPane::OnAdd() {
    RunFlow([](CProfilesFlow& flow) { flow.OnAdd(); });
}

void ProfilesPane::OnDelete() {
    const QStringList names = SelectedNames();
    if (names.isEmpty()) {
        return;
    }
    const QString name = names.first();
    RunFlow([name](CProfilesFlow& flow) { flow.OnDelete(name); });
}

void ProfilesPane::OnEdit() {
    const QStringList names = SelectedNames();
    if (names.isEmpty()) {
        return;
    }
    const QString name = names.first();
    RunFlow([name](CProfilesFlow& flow) { flow.OnEdit(name); });
}

void ProfilesPane::OnActivate() {
    const QStringList names = SelectedNames();
    RunFlow([names](CProfilesFlow& flow) { flow.OnActivate(names); });
}

void ProfilesPane::OnPresetProfile() {
    auto outcome = std::make_shared<PresetOutcome>();
    RunFlow([outcome](CProfilesFlow& flow) { *outcome = flow.OnPresetProfile(); },
            [this, outcome] {
                if (!outcome->restored) {
                    return;
                }
                if (outcome->reloadSettings && services_.reloadSettings) {
                    services_.reloadSettings();
                }
                emit presetRestored();
            });
}

}  // namespace velmo::manager
