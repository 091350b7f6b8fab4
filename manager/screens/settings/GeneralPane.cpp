#include "GeneralPane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <memory>

#include "manager/core/PrefMode.h"
#include "manager/core/SettingsFlows.h"
#include "manager/core/Texts.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager {

using namespace settings;

GeneralPane::GeneralPane(const PaneServices& services, QWidget* parent)
    : SettingsPane(services, GeneralLayout(), parent) {
    AddProductControls();
    defaults_ = new QCheckBox(Tr::tr(FindRow(GeneralLayout(), kMakeDefault)->text), this);
    fixedPort_ = new QCheckBox(Tr::tr(FindRow(GeneralLayout(), kAutoPortOff)->text), this);
    comList_ = new QComboBox(this);
    comList_->setAccessibleName(tr("Port COM"));
    for (int i = 0; i < kComPorts; ++i) {
        comList_->addItem(ComText(i));
    }
    auto* systemLabel = new QLabel(Tr::tr(FindRow(GeneralLayout(), kSystemLabel)->text), this);
    systemList_ = new QComboBox(this);
    for (int i = 0; i < prefmode::kListEntries; ++i) {
        systemList_->addItem(prefmode::ListText(i));
    }
    systemList_->setCurrentIndex(prefmode::kOther);
    systemLabel->setBuddy(systemList_);
    systemList_->setAccessibleName(systemLabel->text());
    AddControl(kMakeDefault, defaults_);
    AddControl(kAutoPortOff, fixedPort_);
    AddControl(kComList, comList_);
    AddControl(kSystemLabel, systemLabel);
    AddControl(kSystemList, systemList_);
    comList_->setVisible(false);

    connect(fixedPort_, &QCheckBox::clicked, this, &GeneralPane::OnFixedPortClicked);
    connect(comList_, &QComboBox::activated, this, &GeneralPane::OnComChanged);
    connect(systemList_, &QComboBox::activated, this, [this] { SetChanged(true); });
    connect(defaults_, &QCheckBox::clicked, this, &GeneralPane::OnDefaultsClicked);
}

void GeneralPane::RunFlow(std::function<void(CGeneralFlow&)> fn, std::function<void()> then) {
    const ModemSession session = services_.session;
    const std::shared_ptr<IUserPrompt> prompt = services_.prompt;
    services_.flows->Run(
        [session, prompt, fn = std::move(fn)] {
            CGeneralFlow flow(session, *prompt);
            fn(flow);
        },
        std::move(then));
}

settings::GeneralOptions GeneralPane::Options() const {
    GeneralOptions o;
    o.fixedPort = fixedPort_->isChecked();
    o.comIndex = comList_->currentIndex();
    o.systemEntry = systemList_->currentIndex();
    return o;
}

void GeneralPane::Show(const GeneralOptions& options) {
    fixedPort_->setChecked(options.fixedPort);
    comList_->setCurrentIndex(options.comIndex);
    comList_->setVisible(options.fixedPort);
    systemList_->setCurrentIndex(options.systemEntry);
}

void GeneralPane::Load() {
    auto loaded = std::make_shared<GeneralOptions>();
    RunFlow([loaded](CGeneralFlow& flow) { *loaded = flow.Load(); }, [this, loaded] { Show(*loaded); });
    SetChanged(false);
}

void GeneralPane::OnShown() {
    comList_->setVisible(fixedPort_->isChecked());
}

void GeneralPane::OnFixedPortClicked() {
    SetChanged(true);
    RunFlow([](CGeneralFlow& flow) { flow.OnPortOptionChanged(); },
            [this] { comList_->setVisible(fixedPort_->isChecked()); });
}

void GeneralPane::OnComChanged() {
    SetChanged(true);
    RunFlow([](CGeneralFlow& flow) { flow.OnPortOptionChanged(); });
}

void GeneralPane::OnDefaultsClicked() {
    SetChanged(true);
    auto restored = std::make_shared<GeneralOptions>();
    RunFlow([restored](CGeneralFlow& flow) { *restored = flow.OnRestoreDefaults(); },
            [this, restored] { Show(*restored); });
}

void GeneralPane::Apply() {
    const GeneralOptions options = Options();
    auto applied = std::make_shared<bool>(false);
    RunFlow([options, applied](CGeneralFlow& flow) { *applied = flow.OnApply(options); },
            [this, applied] {
                if (*applied) {
                    SetChanged(false);
                    if (services_.reloadSettings) {
                        services_.reloadSettings();
                    }
                }
            });
}

void GeneralPane::KeepSystemListInStep() {
    const DeviceContext& c = services_.session.Context();
    const int entry =
        SystemEntryUpkeep(systemList_->currentIndex(), c.connectionState.load(), c.StatusCopy().NetworkKind);
    if (entry != systemList_->currentIndex()) {
        systemList_->setCurrentIndex(entry);
    }
}

void GeneralPane::OnPresetRestored() {
    fixedPort_->setChecked(false);
    comList_->setCurrentIndex(0);
    comList_->setVisible(false);
    const GeneralOptions options = Options();
    RunFlow([options](CGeneralFlow& flow) { flow.SaveOptions(options); });
}

}  // namespace velmo::manager
