#include "NetworkSetupWindow.h"

#include <QWebEngineProfile>

#include "CHtmlCtrl.h"
#include "manager/screens/QtUserPrompt.h"

namespace velmo::manager {

namespace {
// The window and its one control in dialog units.
constexpr int kUnitsWide = 577;
constexpr int kUnitsHigh = 535;
constexpr QRect kPlaceholderUnits(7, 7, 563, 521);

int Scale(int units, int pixels, int total) {
    return (units * pixels + total / 2) / total;
}
}  // namespace

NetworkSetupWindow::NetworkSetupWindow(NetworkSetupHooks hooks, QWidget* owner)
    : QDialog(owner), hooks_(std::move(hooks)) {
    setWindowTitle(tr(" Network Setup"));
    setAccessibleName(windowTitle().trimmed());
    setModal(false);
    resize(kWidth, kHeight);
    IUserPrompt* prompt = hooks_.prompt;
    if (prompt == nullptr) {
        ownPrompt_ = std::make_unique<QtUserPrompt>(this, hooks_.closing);
        prompt = ownPrompt_.get();
    }
    // Through the hooks as they are when a link is followed, so a test can count the beeps.
    AppCommandHooks commands;
    commands.minimise = [this] {
        if (hooks_.commands.minimise) {
            hooks_.commands.minimise();
        }
    };
    commands.beep = [this] {
        if (hooks_.commands.beep) {
            hooks_.commands.beep();
        }
    };
    flow_ = std::make_unique<CNetworkSetupFlow>(*prompt, std::move(commands));

    // Holds the view's place until the window is first shown.
    auto* placeholder = new QWidget(this);
    placeholder->setProperty(kControlIdProperty, kPlaceholderId);
    placeholder->setAccessibleName(tr("Strony urządzenia"));
    placeholder->setGeometry(PlaceholderRect());
}

NetworkSetupWindow::~NetworkSetupWindow() {
    if (ownPrompt_ != nullptr) {
        ownPrompt_->Detach();
    }
    // The page goes before its profile.
    delete view_;
    view_ = nullptr;
    delete profile_;
}

QString NetworkSetupWindow::PageAddress() const {
    const QString discovered = hooks_.discoveredAddress ? hooks_.discoveredAddress() : QString();
    return UnitPageAddress(discovered, qEnvironmentVariable("VELMO_UNIT_HTTP_PORT"));
}

void NetworkSetupWindow::CancelQuestions() {
    if (ownPrompt_ != nullptr) {
        ownPrompt_->CancelOpen();
    }
}

void NetworkSetupWindow::CreateView() {
    // Nothing is kept on disk: the pages are the unit's, read afresh each time.
    profile_ = new QWebEngineProfile();
    if (interceptor_ != nullptr) {
        profile_->setUrlRequestInterceptor(interceptor_);
    }
    view_ = CHtmlCtrl::CreateFromPlaceholder(kPlaceholderId, this, profile_);
    if (view_ == nullptr) {
        return;
    }
    view_->setAccessibleName(tr("Strony urządzenia"));
    view_->SetCommandHandler([this](const AppCommand& command) { flow_->OnAppCommand(command); });
}

void NetworkSetupWindow::setVisible(bool visible) {
    const bool was = isVisible();
    if (visible && view_ == nullptr && profile_ == nullptr) {
        CreateView();
    }
    QDialog::setVisible(visible);
    if (view_ != nullptr && isVisible() != was) {
        view_->Navigate(PageAddress());
    }
}

QRect NetworkSetupWindow::PlaceholderRect() const {
    const int w = width();
    const int h = height();
    return QRect(
        Scale(kPlaceholderUnits.left(), w, kUnitsWide), Scale(kPlaceholderUnits.top(), h, kUnitsHigh),
        Scale(kPlaceholderUnits.width(), w, kUnitsWide), Scale(kPlaceholderUnits.height(), h, kUnitsHigh));
}

void NetworkSetupWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The control keeps its margin, whatever the window's size.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->property(kControlIdProperty).toInt() == kPlaceholderId) {
            child->setGeometry(PlaceholderRect());
        }
    }
}

}  // namespace velmo::manager
