#include "StatusPanel.h"

#include <QAccessibleWidget>
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

// The level a strip frame shows: out-of-range values draw the empty frame.
int DrawnLevel(int level) {
    return level < 0 || level >= kStripFrames ? 0 : level;
}

void DrawStripFrame(QPainter& painter, int bitmap, const QRect& dest, int level) {
    painter.drawPixmap(dest.topLeft(), Skin(bitmap),
                       QRect(0, DrawnLevel(level) * kFrameHeight, dest.width(), dest.height()));
}

// The panel is painted, so its text and indicators reach assistive tools only through this interface.
class StatusPanelAccessible final : public QAccessibleWidget {
  public:
    explicit StatusPanelAccessible(StatusPanel* panel) : QAccessibleWidget(panel, QAccessible::StatusBar) {}

    QString text(QAccessible::Text t) const override {
        // Null once the panel is being destroyed.
        const auto* panel = qobject_cast<const StatusPanel*>(widget());
        if (panel == nullptr) {
            return QAccessibleWidget::text(t);
        }
        switch (t) {
            case QAccessible::Name:
                return panel->ShownText().trimmed();
            case QAccessible::Description:
                return panel->IndicatorsText();
            default:
                return QAccessibleWidget::text(t);
        }
    }
};

QAccessibleInterface* StatusPanelInterface(const QString&, QObject* object) {
    if (auto* panel = qobject_cast<StatusPanel*>(object)) {
        return new StatusPanelAccessible(panel);
    }
    return nullptr;
}
}  // namespace

StatusPanel::StatusPanel(QWidget* parent)
    : QWidget(parent), status_(QStringLiteral("Please wait...")), notice_(QStringLiteral(" ")) {
    // Before the first panel can be asked for its interface.
    [[maybe_unused]] static const bool factoryInstalled = [] {
        QAccessible::installFactory(&StatusPanelInterface);
        return true;
    }();
    setFixedSize(kPanelSize);
    // The composed pixmap covers every pixel.
    setAttribute(Qt::WA_OpaquePaintEvent);
    accessibleText_ = ShownText().trimmed();
    accessibleIndicators_ = IndicatorsText();
}

template <class T>
bool StatusPanel::Store(T& field, const T& value) {
    if (field == value) {
        return false;
    }
    field = value;
    ++repaintRequests_;
    update();
    PublishAccessibleChanges();
    return true;
}

void StatusPanel::PublishAccessibleChanges() {
    // The traffic blink and hidden status texts behind a notice change nothing that is read out.
    const QString text = ShownText().trimmed();
    if (text != accessibleText_) {
        accessibleText_ = text;
        ++nameChangeEvents_;
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    const QString indicators = IndicatorsText();
    if (indicators != accessibleIndicators_) {
        accessibleIndicators_ = indicators;
        ++descriptionChangeEvents_;
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
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
    PublishAccessibleChanges();
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

QString StatusPanel::IndicatorsText() const {
    QString network;
    switch (network_) {
        case 2:
            network = QStringLiteral("1X");
            break;
        case 3:
            network = QStringLiteral("1xRTT");
            break;
        case 4:
            network = QStringLiteral("EV-DO");
            break;
        default:
            network = tr("brak sieci");
            break;
    }
    const int top = kStripFrames - 1;
    return tr("Sygnał: %1 z %2, sieć: %3, bateria: %4 z %2")
        .arg(DrawnLevel(signal_))
        .arg(top)
        .arg(network)
        .arg(DrawnLevel(battery_));
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
