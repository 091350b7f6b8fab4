#include "SplashWindow.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "SkinImages.h"
#include "manager/core/Texts.h"

namespace velmo::manager {

SplashWindow::SplashWindow(QWidget* owner, int lifetimeMs)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      image_(Skin(kBitmapId)) {
    // Window lists and screen readers name it even though it has no frame to show a title.
    setWindowTitle(AppCaption());
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    lifetime_.setSingleShot(true);
    lifetime_.setInterval(lifetimeMs);
    connect(&lifetime_, &QTimer::timeout, this, &SplashWindow::Dismiss);
}

SplashWindow::~SplashWindow() {
    if (current_ == this) {
        current_ = nullptr;
        qApp->removeEventFilter(this);
    }
}

bool SplashWindow::Start() {
    if (started_ || current_ != nullptr || image_.isNull()) {
        deleteLater();
        return false;
    }
    started_ = true;
    current_ = this;
    setFixedSize(image_.size());
    QRect area;
    if (const QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
        area = owner->frameGeometry();
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        move(area.center() - rect().center());
    }
    qApp->installEventFilter(this);
    show();
    lifetime_.start();
    return true;
}

void SplashWindow::Dismiss() {
    if (dismissed_) {
        return;
    }
    dismissed_ = true;
    lifetime_.stop();
    if (current_ == this) {
        current_ = nullptr;
        qApp->removeEventFilter(this);
    }
    hide();
    emit gone();
    deleteLater();
}

bool SplashWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            Dismiss();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton || mouse->button() == Qt::RightButton ||
                mouse->button() == Qt::MiddleButton) {
                Dismiss();
                return true;
            }
            break;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, image_);
}

}  // namespace velmo::manager
