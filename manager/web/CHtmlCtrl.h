// A web view used as an ordinary child control of a dialog: it takes the place and size of a placeholder
// child, loads addresses, and hands every "app:" link to the application instead of loading it.
#pragma once

#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

#include "manager/core/NetworkSetupModel.h"

class QWebEngineProfile;

namespace velmo::manager {

// The property that gives a placeholder child its control id.
inline constexpr char kControlIdProperty[] = "velmoControlId";

// Sees every navigation first: an "app:" address is cancelled and becomes an application command.
class CHtmlPage : public QWebEnginePage {
    Q_OBJECT
  public:
    CHtmlPage(QWebEngineProfile* profile, QObject* parent);

    std::function<void(const AppCommand&)> onAppCommand;
    // Set when a link was taken as a command: Qt then reports a failed load of the page that stays.
    bool commandTaken = false;

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};

class CHtmlCtrl : public QWebEngineView {
    Q_OBJECT
  public:
    // Replaces parent's child whose control id is controlId with a view of the same rectangle; null when
    // there is no such child. A null profile is the default profile.
    static CHtmlCtrl* CreateFromPlaceholder(int controlId, QWidget* parent,
                                            QWebEngineProfile* profile = nullptr);

    void Navigate(const QString& address);
    // Receives each application command of the page's links.
    void SetCommandHandler(std::function<void(const AppCommand&)> handler);
    CHtmlPage* Page() const { return page_; }

  signals:
    // A page load ended; never for the failure Qt reports after a link that was a command.
    void pageLoaded(bool ok);

  private:
    CHtmlCtrl(QWidget* parent, QWebEngineProfile* profile);

    CHtmlPage* page_;
};

}  // namespace velmo::manager
