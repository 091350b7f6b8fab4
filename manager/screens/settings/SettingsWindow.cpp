#include "SettingsWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include "DesktopPane.h"
#include "GeneralPane.h"
#include "InfoPanes.h"
#include "ProfilesPane.h"
#include "RuimPane.h"
#include "SmsPane.h"
#include "manager/core/Texts.h"
#include "manager/screens/QtUserPrompt.h"
#include "manager/screens/ScreenFlowHost.h"

namespace velmo::manager {

using namespace settings;

namespace {

// A pane whose screen comes with a later version: the tab is there, its page is empty.
class EmptyPane : public SettingsPane {
  public:
    EmptyPane(const PaneServices& services, QWidget* parent) : SettingsPane(services, {}, parent) {}
};

}  // namespace

SettingsWindow::SettingsWindow(PaneServices services, CScreenFlowThread& flows, QWidget* owner)
    : QDialog(owner), services_(std::move(services)) {
    setWindowTitle(Tr::tr(" Menu"));
    setModal(false);
    if (!services_.prompt) {
        services_.prompt = std::make_shared<QtUserPrompt>(this, &services_.session.Context().closing);
    }
    services_.flows = new ScreenFlowHost(this, flows);

    area_ = new QWidget(this);
    area_->setMinimumSize(kMinimumWidth, kMinimumHeight);
    tabs_ = new QTabBar(area_);
    tabs_->setAccessibleName(Tr::tr(" Menu").trimmed());
    for (int t = 0; t < kTabCount; ++t) {
        tabs_->addTab(TabText(t));
    }
    panes_[kGeneral] = new GeneralPane(services_, area_);
    panes_[kProfiles] = new ProfilesPane(services_, area_);
    panes_[kNetwork] = new EmptyPane(services_, area_);
    panes_[kStatus] = new StatusPane(services_, area_);
    panes_[kRuim] = new RuimPane(services_, area_);
    panes_[kInformation] = new InformationPane(services_, area_);
    panes_[kMessages] = new SmsPane(services_, flows, area_);
    panes_[kDesktop] = new DesktopPane(services_, area_);
    for (int t = 0; t < kTabCount; ++t) {
        panes_[static_cast<size_t>(t)]->setAccessibleName(TabText(t).trimmed());
        panes_[static_cast<size_t>(t)]->hide();
        connect(panes_[static_cast<size_t>(t)], &SettingsPane::changed, this, &SettingsWindow::UpdateApply);
    }
    connect(Profiles(), &ProfilesPane::presetRestored, General(), &GeneralPane::OnPresetRestored);
    tabs_->raise();

    ok_ = new QPushButton(Tr::tr("OK"), this);
    cancel_ = new QPushButton(Tr::tr("Anuluj"), this);
    apply_ = new QPushButton(Tr::tr("Zastosuj"), this);
    ok_->setDefault(true);
    apply_->setEnabled(false);
    connect(ok_, &QPushButton::clicked, this, &SettingsWindow::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &SettingsWindow::OnCancel);
    connect(apply_, &QPushButton::clicked, this, &SettingsWindow::ApplyChanged);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    buttons->addWidget(apply_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(area_, 1);
    layout->addLayout(buttons);

    connect(tabs_, &QTabBar::currentChanged, this, &SettingsWindow::OnTabChanged);
    SelectTab(kHomeTab);

    informationTimer_.setInterval(kInformationTimerMs);
    connect(&informationTimer_, &QTimer::timeout, this, &SettingsWindow::OnInformationTimer);
    informationTimer_.start();
    statusTimer_.setInterval(kStatusTimerMs);
    connect(&statusTimer_, &QTimer::timeout, this, &SettingsWindow::OnStatusTimer);
    statusTimer_.start();
    qApp->installEventFilter(this);
    // The smallest window holds the smallest tab area; it opens with the default one.
    resize(sizeHint() + QSize(kDefaultWidth - kMinimumWidth, kDefaultHeight - kMinimumHeight));
}

SettingsWindow::~SettingsWindow() {
    qApp->removeEventFilter(this);
    if (auto* own = dynamic_cast<QtUserPrompt*>(services_.prompt.get())) {
        own->Detach();
    }
}

GeneralPane* SettingsWindow::General() const {
    return static_cast<GeneralPane*>(panes_[kGeneral]);
}
ProfilesPane* SettingsWindow::Profiles() const {
    return static_cast<ProfilesPane*>(panes_[kProfiles]);
}
StatusPane* SettingsWindow::Status() const {
    return static_cast<StatusPane*>(panes_[kStatus]);
}
InformationPane* SettingsWindow::Information() const {
    return static_cast<InformationPane*>(panes_[kInformation]);
}
SmsPane* SettingsWindow::Messages() const {
    return static_cast<SmsPane*>(panes_[kMessages]);
}
DesktopPane* SettingsWindow::Desktop() const {
    return static_cast<DesktopPane*>(panes_[kDesktop]);
}

void SettingsWindow::CancelQuestions() {
    if (auto* own = dynamic_cast<QtUserPrompt*>(services_.prompt.get())) {
        own->CancelOpen();
    }
}

void SettingsWindow::Open() {
    if (services_.session.Closing()) {
        return;
    }
    General()->Load();
    Desktop()->Load();
    Information()->Refresh();
    Profiles()->OnShown();
    Status()->Refresh();
    UpdateApply();
    show();
    raise();
    activateWindow();
    // The keyboard lands in the window, on its tabs.
    tabs_->setFocus();
}

void SettingsWindow::SelectTab(int tab) {
    if (tabs_->currentIndex() != tab) {
        tabs_->setCurrentIndex(tab);  // OnTabChanged shows the pane
    } else {
        ShowPane(tab);
    }
}

void SettingsWindow::OnTabChanged(int tab) {
    if (switching_) {
        return;
    }
    if (tab == kNetwork) {
        // No page of its own: it opens the unit's pages, and the tab before it is selected again.
        switching_ = true;
        tabs_->setCurrentIndex(current_);
        switching_ = false;
        emit networkSetupRequested();
        return;
    }
    ShowPane(tab);
}

void SettingsWindow::ShowPane(int tab) {
    current_ = tab;
    for (int t = 0; t < kTabCount; ++t) {
        panes_[static_cast<size_t>(t)]->setVisible(t == tab);
    }
    panes_[static_cast<size_t>(tab)]->OnShown();
    keys_ = KeySequence();
    UpdateApply();
}

void SettingsWindow::UpdateApply() {
    apply_->setEnabled(General()->Changed() || Desktop()->Changed());
}

void SettingsWindow::ApplyChanged() {
    if (General()->Changed()) {
        General()->Apply();
    }
    if (Desktop()->Changed()) {
        Desktop()->Apply();
    }
}

void SettingsWindow::OnOk() {
    ApplyChanged();
    // After Apply's flow, if there was one: flows run in order.
    services_.flows->Run([] {}, [this] { Finish(); });
}

void SettingsWindow::OnCancel() {
    Finish();
}

void SettingsWindow::Finish() {
    SelectTab(kHomeTab);
    hide();
    emit finished();
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
    // The window's own close acts as "Anuluj": the window stays, hidden.
    event->ignore();
    Finish();
}

void SettingsWindow::OnInformationTimer() {
    if (current_ == kInformation && isVisible()) {
        Information()->Refresh();
    }
    General()->KeepSystemListInStep();
}

void SettingsWindow::OnStatusTimer() {
    if (current_ == kStatus && isVisible()) {
        Status()->Refresh();
    }
    if (current_ == kDesktop && isVisible()) {
        Desktop()->Refresh();
    }
}

void SettingsWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlacePanes();
}

void SettingsWindow::PlacePanes() {
    const QSize size = area_->size();
    tabs_->setGeometry(0, 0, size.width(), tabs_->sizeHint().height());
    for (SettingsPane* pane : panes_) {
        pane->setGeometry(0, 0, size.width(), size.height());
    }
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && current_ == kInformation && isVisible() &&
        watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Qt offers a key press to the focus widget and then its parents: look at each press once.
        QWidget* focus = QApplication::focusWidget();
        QWidget* first = focus != nullptr && focus->window() == this ? focus : this;
        if (!key->isAutoRepeat() && watched == first) {
            switch (keys_.OnKey(key->key())) {
                case KeySequence::kAdvancedConfiguration:
                    emit advancedConfigurationRequested();
                    break;
                case KeySequence::kAdvancedStatus:
                    emit advancedStatusRequested();
                    break;
                case KeySequence::kNone:
                    break;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace velmo::manager
