// The start-up picture: shown for a moment or until the user presses a key or a mouse button.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace velmo::manager {

class SplashWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kLifetimeMs = 1750;
    static constexpr int kBitmapId = 133;

    explicit SplashWindow(QWidget* owner, int lifetimeMs = kLifetimeMs);
    ~SplashWindow() override;

    // Shows the splash centred on its owner (or the screen). False, and the object deletes itself, when
    // another splash exists or the picture cannot be loaded.
    bool Start();
    // Removes the splash now; gone() follows once.
    void Dismiss();

    static bool Exists() { return current_ != nullptr; }

  signals:
    void gone();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPixmap image_;
    QTimer lifetime_;
    bool started_ = false;
    bool dismissed_ = false;
    static inline SplashWindow* current_ = nullptr;
};

}  // namespace velmo::manager
