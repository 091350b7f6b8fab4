#include "CSkinBitmapButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "SkinImages.h"

namespace velmo::manager {

namespace {
constexpr int kFocusInset = 5;

bool IsActivationKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}
}  // namespace

CSkinBitmapButton::CSkinBitmapButton(int bitmapId, QWidget* parent, int id, int frames, int left, int top)
    : QWidget(parent), image_(Skin(bitmapId)), id_(id), frames_(frames == 3 ? 3 : 2) {
    setFocusPolicy(Qt::StrongFocus);
    const int height = image_.isNull() ? 0 : image_.height() / frames_;
    setGeometry(left, top, image_.width(), height);
}

void CSkinBitmapButton::SetDrawFocus(bool on) {
    if (drawFocus_ != on) {
        drawFocus_ = on;
        update();
    }
}

int CSkinBitmapButton::CurrentFrame() const {
    if (frames_ == 3 && !isEnabled()) {
        return 2;
    }
    return pressed_ ? 1 : 0;
}

void CSkinBitmapButton::paintEvent(QPaintEvent*) {
    // Nothing is erased first: the frame covers the whole widget.
    QPainter painter(this);
    const int h = height();
    painter.drawPixmap(QPoint(0, 0), image_, QRect(0, CurrentFrame() * h, width(), h));
    if (drawFocus_ && hasFocus()) {
        QPen pen(palette().color(QPalette::WindowText));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
    }
}

void CSkinBitmapButton::Press() {
    if (!hasFocus()) {
        setFocus(Qt::MouseFocusReason);
    }
    pressed_ = true;
    update();
}

void CSkinBitmapButton::Release() {
    pressed_ = false;
    update();
    emit clicked(id_);
}

void CSkinBitmapButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The press grabs the mouse until the release, wherever the release happens.
    Press();
    event->accept();
}

void CSkinBitmapButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    Release();
    event->accept();
}

void CSkinBitmapButton::keyPressEvent(QKeyEvent* event) {
    if (!IsActivationKey(event)) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Auto-repeat arrives while pressed and is swallowed, so one press gives one click.
    if (!pressed_) {
        Press();
    }
    event->accept();
}

void CSkinBitmapButton::keyReleaseEvent(QKeyEvent* event) {
    if (!IsActivationKey(event)) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    if (!event->isAutoRepeat() && pressed_) {
        Release();
    }
    event->accept();
}

void CSkinBitmapButton::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void CSkinBitmapButton::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

}  // namespace velmo::manager
