#include "NoticeWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "SkinImages.h"

namespace velmo::manager {

namespace {
constexpr int kOffValue = 0;
constexpr int kOnValue = 10;
constexpr int kHalfPeriodSteps = 5;
constexpr int kOwnerGap = 4;

// The words each notice picture carries, for the title that window lists and screen readers read.
QString NoticeTitle(int bitmapId) {
    switch (bitmapId) {
        case 178:
            return NoticeWindow::tr("Telefon w użyciu");
        case 180:
            return NoticeWindow::tr("Połączenie przychodzące");
        case 181:
            return NoticeWindow::tr("Poczta głosowa");
        default:
            return NoticeWindow::tr("Powiadomienie");
    }
}
}  // namespace

NoticeWindow::NoticeWindow(int bitmapId, std::atomic<bool>* shownFlag, QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      image_(Skin(bitmapId)),
      shownFlag_(shownFlag) {
    setWindowTitle(NoticeTitle(bitmapId));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(image_.isNull() ? QSize(120, 26) : image_.size());
    setWindowOpacity(1.0);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &NoticeWindow::Tick);
}

double NoticeWindow::StepOpacity(int step) {
    const int value = (step / kHalfPeriodSteps) % 2 == 0 ? kOffValue : kOnValue;
    return (value * 255 / 10) / 255.0;
}

void NoticeWindow::Show() {
    if (phase_ != Phase::Idle) {
        return;
    }
    if (shownFlag_ != nullptr) {
        shownFlag_->store(true);
    }
    // Just below the owner, or in the corner of the screen without one.
    const QWidget* owner = parentWidget();
    if (owner != nullptr && owner->isVisible()) {
        const QRect frame = owner->frameGeometry();
        move(frame.left() + (frame.width() - width()) / 2, frame.bottom() + kOwnerGap);
    } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - kOwnerGap, area.bottom() - height() - kOwnerGap);
    }
    step_ = 0;
    show();
    phase_ = Phase::FirstDelay;
    Arm(kFirstDelayMs);
}

void NoticeWindow::Arm(int ms) {
    if (!manual_) {
        timer_.start(ms);
    }
}

void NoticeWindow::Tick() {
    switch (phase_) {
        case Phase::Idle:
            return;
        case Phase::FirstDelay:
            phase_ = Phase::SecondDelay;
            Arm(kSecondDelayMs);
            return;
        case Phase::SecondDelay:
            phase_ = Phase::Blinking;
            step_ = 0;
            Arm(kStepMs);
            return;
        case Phase::Blinking:
            if (step_ >= kSteps) {
                Finish();
                return;
            }
            setWindowOpacity(StepOpacity(step_));
            ++step_;
            Arm(kStepMs);
            return;
    }
}

void NoticeWindow::Finish() {
    timer_.stop();
    // It stays transparent until the next sequence blinks it back.
    setWindowOpacity(0.0);
    hide();
    step_ = 0;
    phase_ = Phase::Idle;
    if (shownFlag_ != nullptr) {
        shownFlag_->store(false);
    }
}

void NoticeWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, image_);
}

}  // namespace velmo::manager
