#include "CHtmlCtrl.h"

#include <QVariant>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace velmo::manager {

CHtmlPage::CHtmlPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
    // Without this the engine drops "app:" links before asking about them.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
}

bool CHtmlPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    const std::optional<AppCommand> command = AppCommandFor(url);
    if (!command) {
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    commandTaken = true;
    // Handled once the engine is out of its navigation: the handler may ask the user.
    QMetaObject::invokeMethod(
        this,
        [this, c = *command] {
            if (onAppCommand) {
                onAppCommand(c);
            }
        },
        Qt::QueuedConnection);
    return false;
}

CHtmlCtrl::CHtmlCtrl(QWidget* parent, QWebEngineProfile* profile)
    : QWebEngineView(parent),
      page_(new CHtmlPage(profile != nullptr ? profile : QWebEngineProfile::defaultProfile(), this)) {
    setPage(page_);
    connect(page_, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        switch (info.status()) {
            case QWebEngineLoadingInfo::LoadStartedStatus:
                return;
            case QWebEngineLoadingInfo::LoadSucceededStatus:
                page_->commandTaken = false;
                emit pageLoaded(true);
                return;
            default:
                break;
        }
        // A link taken as a command ends as an aborted load, under its own address or the page's.
        const bool command = AppCommandFor(info.url()).has_value() || page_->commandTaken;
        page_->commandTaken = false;
        if (!command) {
            emit pageLoaded(false);
        }
    });
}

CHtmlCtrl* CHtmlCtrl::CreateFromPlaceholder(int controlId, QWidget* parent, QWebEngineProfile* profile) {
    if (parent == nullptr) {
        return nullptr;
    }
    QWidget* placeholder = nullptr;
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QVariant id = child->property(kControlIdProperty);
        if (id.isValid() && id.toInt() == controlId) {
            placeholder = child;
            break;
        }
    }
    if (placeholder == nullptr) {
        return nullptr;
    }
    const QRect rect = placeholder->geometry();
    const bool visible = !placeholder->isHidden();
    delete placeholder;
    auto* view = new CHtmlCtrl(parent, profile);
    view->setProperty(kControlIdProperty, controlId);
    view->setGeometry(rect);
    view->setVisible(visible);
    return view;
}

void CHtmlCtrl::Navigate(const QString& address) {
    page_->commandTaken = false;
    setUrl(QUrl(address));
}

void CHtmlCtrl::SetCommandHandler(std::function<void(const AppCommand&)> handler) {
    page_->onAppCommand = std::move(handler);
}

}  // namespace velmo::manager
