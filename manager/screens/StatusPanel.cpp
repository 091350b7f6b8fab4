#include "StatusPanel.h"

#include <QPainter>

#include "SkinImages.h"

namespace velmo::manager {

namespace {
constexpr QSize kPanelSize(165, 133);
constexpr int kSignalBitmap = 151;
constexpr int kBatteryBitmap = 183;
constexpr int kVoiceMailBitmap = 184;
constexpr int kTrafficBitmap = 152;
constexpr int kStripFrames = 8;
constexpr int kFrameHeight = 13;
const QRect kSignalRect(9, 8, 22, 13);
const QRect kBatteryRect(105, 8, 26, 13);
const QPoint kVoiceMailAt(80, 8);
const QPoint kTrafficAt(37, 8);
const QPoint kNetworkAt(95, 110);
const QPoint kConnectionAt(1, 110);
const QSize kImageSize(70, 20);
const QRect kTextRect(QPoint(0, 24), QSize(134, 33));
const QColor kAlertColour(255, 0, 0);
const QColor kNoticeColour(255, 255, 50);
const QColor kStatusColour(180, 180, 255);

void DrawStripFrame(QPainter& painter, int bitmap, const QRect& dest, int level) {
    if (level < 0 || level >= kStripFrames) {
        level = 0;
    }
    painter.drawPixmap(dest.topLeft(), Skin(bitmap),
                       QRect(0, level * kFrameHeight, dest.width(), dest.height()));
}
}  // namespace

StatusPanel::StatusPanel(QWidget* parent)
    : QWidget(parent), status_(QStringLiteral("Please wait...")), notice_(QStringLiteral(" ")) {
    setFixedSize(kPanelSize);
    // The composed pixmap covers every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

template <class T>
bool StatusPanel::Store(T& field, const T& value) {
    if (field == value) {
        return false;
    }
    field = value;
    ++repaintRequests_;
    update();
    return true;
}

bool StatusPanel::SetStatusText(const QString& text) {
    return Store(status_, text);
}

bool StatusPanel::SetNoticeText(const QString& text, bool alert) {
    if (notice_ == text && alert_ == alert) {
        return false;
    }
    alert_ = alert;
    notice_ = text;
    ++repaintRequests_;
    update();
    return true;
}

bool StatusPanel::SetSignalLevel(int level) {
    return Store(signal_, level);
}

bool StatusPanel::SetBatteryLevel(int level) {
    return Store(battery_, level);
}

bool StatusPanel::SetTrafficIndicator(bool on) {
    return Store(traffic_, on);
}

bool StatusPanel::SetVoiceMailIcon(bool on) {
    return Store(voiceMail_, on);
}

bool StatusPanel::SetNetworkImage(int image) {
    return Store(network_, image);
}

bool StatusPanel::SetConnectionImage(int image) {
    return Store(connection_, image);
}

int StatusPanel::NetworkBitmap(int image) {
    switch (image) {
        case 2:
            return 154;
        case 3:
            return 155;
        case 4:
            return 153;
        default:
            return 167;
    }
}

int StatusPanel::ConnectionBitmap(int image) {
    switch (image) {
        case 0:
            return 164;
        case 1:
            return 165;
        case 2:
            return 182;
        default:
            return 166;
    }
}

QString StatusPanel::ShownText() const {
    return notice_.trimmed().isEmpty() ? status_ : notice_;
}

QColor StatusPanel::ShownTextColour() const {
    if (notice_.trimmed().isEmpty()) {
        return kStatusColour;
    }
    return alert_ ? kAlertColour : kNoticeColour;
}

QPixmap StatusPanel::Compose() const {
    QPixmap canvas(kPanelSize);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    painter.drawPixmap(0, 0, Skin(kBackgroundBitmap));
    DrawStripFrame(painter, kSignalBitmap, kSignalRect, signal_);
    DrawStripFrame(painter, kBatteryBitmap, kBatteryRect, battery_);
    if (voiceMail_) {
        painter.drawPixmap(kVoiceMailAt, Skin(kVoiceMailBitmap));
    }
    if (traffic_) {
        painter.drawPixmap(kTrafficAt, Skin(kTrafficBitmap));
    }
    painter.drawPixmap(QRect(kNetworkAt, kImageSize), Skin(NetworkBitmap(network_)));
    painter.drawPixmap(QRect(kConnectionAt, kImageSize), Skin(ConnectionBitmap(connection_)));
    painter.setFont(font());
    painter.setPen(ShownTextColour());
    painter.drawText(kTextRect, Qt::AlignCenter | Qt::TextSingleLine, ShownText());
    return canvas;
}

void StatusPanel::paintEvent(QPaintEvent*) {
    ++paintCount_;
    const QPixmap canvas = Compose();
    QPainter painter(this);
    painter.drawPixmap(0, 0, canvas);
}

}  // namespace velmo::manager
