// The network setup window " Network Setup": the unit's own configuration pages in a web view, whose
// "app:" links ask this program to minimise, beep or say which command it did not expect. Created hidden with
// the main window; the web view, which costs about 100 MB and two helper processes, only when the window is
// first shown.
#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <memory>

#include "manager/core/NetworkSetupFlow.h"

class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;

namespace velmo::manager {

class CHtmlCtrl;
class QtUserPrompt;

struct NetworkSetupHooks {
    // The host that answered the discovery, as the worker kept it; empty when there is none.
    std::function<QString()> discoveredAddress;
    AppCommandHooks commands;
    // Null: the window asks through message boxes of its own.
    IUserPrompt* prompt = nullptr;
    const std::atomic<bool>* closing = nullptr;
};

class NetworkSetupWindow : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kPlaceholderId = 1005;
    // Pixels for the window's 577 x 535 dialog units, small enough for an 800 x 600 screen.
    static constexpr int kWidth = 780;
    static constexpr int kHeight = 560;

    NetworkSetupWindow(NetworkSetupHooks hooks, QWidget* owner);
    ~NetworkSetupWindow() override;

    // Where the view goes each time the window is shown or hidden: the unit's pages, with
    // VELMO_UNIT_HTTP_PORT when that is set.
    QString PageAddress() const;
    // Null until the window is first shown.
    CHtmlCtrl* View() const { return view_; }
    // Installed on the view's profile when the view is made (tests watch every request with it).
    void SetRequestInterceptor(QWebEngineUrlRequestInterceptor* interceptor) { interceptor_ = interceptor; }
    void SetBeep(std::function<void()> beep) { hooks_.commands.beep = std::move(beep); }
    // Closes a message this window has open (the application is closing).
    void CancelQuestions();

    void setVisible(bool visible) override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CreateView();
    QRect PlaceholderRect() const;

    NetworkSetupHooks hooks_;
    std::unique_ptr<QtUserPrompt> ownPrompt_;
    std::unique_ptr<CNetworkSetupFlow> flow_;
    QWebEngineProfile* profile_ = nullptr;
    CHtmlCtrl* view_ = nullptr;
    QWebEngineUrlRequestInterceptor* interceptor_ = nullptr;
};

}  // namespace velmo::manager
