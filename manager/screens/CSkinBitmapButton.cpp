#include "CSkinBitmapButton.h"

#include <QAccessibleWidget>
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

// A plain QWidget would be an unnamed "client" area to assistive tools; this makes it a button whose press
// action clicks it the way the mouse does. The press action is always listed: the state says when it is
// unavailable, and pressing then does nothing.
class SkinButtonAccessible final : public QAccessibleWidget {
  public:
    explicit SkinButtonAccessible(CSkinBitmapButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        if (const CSkinBitmapButton* button = Button()) {
            state.pressed = button->IsPressed();
        }
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == pressAction()) {
            if (CSkinBitmapButton* button = Button()) {
                button->Click();
            }
            return;
        }
        QAccessibleWidget::doAction(action);
    }

  private:
    // Null once the button is being destroyed.
    CSkinBitmapButton* Button() const { return qobject_cast<CSkinBitmapButton*>(widget()); }
};

QAccessibleInterface* SkinButtonInterface(const QString&, QObject* object) {
    if (auto* button = qobject_cast<CSkinBitmapButton*>(object)) {
        return new SkinButtonAccessible(button);
    }
    return nullptr;
}
}  // namespace

CSkinBitmapButton::CSkinBitmapButton(int bitmapId, QWidget* parent, int id, int frames, int left, int top)
    : QWidget(parent), image_(Skin(bitmapId)), id_(id), frames_(frames == 3 ? 3 : 2) {
    // Before the first button can be asked for its interface.
    [[maybe_unused]] static const bool factoryInstalled = [] {
        QAccessible::installFactory(&SkinButtonInterface);
        return true;
    }();
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

void CSkinBitmapButton::Click() {
    if (!isEnabled() || !isVisible()) {
        return;
    }
    Press();
    Release();
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
