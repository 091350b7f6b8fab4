#include "CFlatButton.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>

namespace velmo::manager {

namespace {
// Rounded 6 x 6 corners: each side of the frame stops two pixels short, with one step on the diagonal.
constexpr int kCornerCut = 2;
constexpr int kFocusInset = 4;
// Room around the text: the focus rectangle and the 3D edge must not touch it.
constexpr int kTextMarginX = 10;
constexpr int kTextMarginY = 5;
constexpr int kTextFlags = Qt::AlignCenter | Qt::TextShowMnemonic;

int Halfway(int from, int to) {
    return from + (to - from) / 2;
}

QColor Halfway(const QColor& from, const QColor& to) {
    return QColor(Halfway(from.red(), to.red()), Halfway(from.green(), to.green()),
                  Halfway(from.blue(), to.blue()), Halfway(from.alpha(), to.alpha()));
}
}  // namespace

FlatButtonColours FlatColoursFor(const QPalette& palette) {
    // Active colours only: the button draws its own disabled look and keeps its colours in a window in back.
    const auto colour = [&palette](QPalette::ColorRole role) {
        return palette.color(QPalette::Active, role);
    };
    FlatButtonColours c;
    c.highlight = colour(QPalette::Light);
    c.light = colour(QPalette::Midlight);
    c.face = colour(QPalette::Button);
    // Mid is the grey between the face and Dark; Shadow, near black, is the outermost line (the frame).
    c.shadow = colour(QPalette::Mid);
    c.dark = colour(QPalette::Dark);
    c.pressedFace = Halfway(c.face, c.shadow);
    c.outerDark = Halfway(c.shadow, c.dark);
    // The outline stays dark whatever the text colour is, as a window frame does.
    c.frame = colour(QPalette::Shadow);
    c.text = colour(QPalette::ButtonText);
    return c;
}

CFlatButton::CFlatButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent), colours_(FlatColoursFor(palette())) {}

QFont CFlatButton::TextFont() const {
    // A font set on the button wins; otherwise it writes as its window does, whatever font push buttons get.
    const QWidget* parent = parentWidget();
    return parent != nullptr && !testAttribute(Qt::WA_SetFont) ? parent->font() : font();
}

QSize CFlatButton::sizeHint() const {
    ensurePolished();
    const QSize textSize = QFontMetrics(TextFont()).size(Qt::TextShowMnemonic, text());
    return QSize(textSize.width() + 2 * kTextMarginX, textSize.height() + 2 * kTextMarginY);
}

void CFlatButton::changeEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ApplicationPaletteChange:
            colours_ = FlatColoursFor(palette());
            update();
            break;
        case QEvent::FontChange:
        case QEvent::ParentChange:
            updateGeometry();
            update();
            break;
        default:
            break;
    }
    QPushButton::changeEvent(event);
}

void CFlatButton::paintEvent(QPaintEvent*) {
    // Drawn off screen and copied in one step, so the face never shows half drawn.
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(Qt::transparent);
    {
        QPainter painter(&buffer);
        Draw(painter);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CFlatButton::Draw(QPainter& painter) const {
    const FlatButtonColours& c = colours_;
    const int w = width();
    const int h = height();
    const bool enabled = isEnabled();
    const bool down = enabled && isDown();
    const auto line = [&painter](const QColor& colour, int x1, int y1, int x2, int y2) {
        painter.setPen(colour);
        painter.drawLine(x1, y1, x2, y2);
    };
    const auto dots = [&painter, w, h](const QColor& colour, int inset) {
        painter.setPen(colour);
        painter.drawPoint(inset, inset);
        painter.drawPoint(w - 1 - inset, inset);
        painter.drawPoint(inset, h - 1 - inset);
        painter.drawPoint(w - 1 - inset, h - 1 - inset);
    };

    // Pixel by pixel: the painter's own rounded rectangle comes out lopsided this small without antialiasing.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(1, 1, w - 2, h - 2, down ? c.pressedFace : c.face);
    const QColor& outline = enabled ? c.frame : c.shadow;
    line(outline, kCornerCut, 0, w - 1 - kCornerCut, 0);
    line(outline, kCornerCut, h - 1, w - 1 - kCornerCut, h - 1);
    line(outline, 0, kCornerCut, 0, h - 1 - kCornerCut);
    line(outline, w - 1, kCornerCut, w - 1, h - 1 - kCornerCut);
    dots(outline, 1);

    if (enabled) {
        // The edge runs one pixel inside the frame, between the corner steps.
        if (down) {
            line(c.outerDark, 2, 1, w - 3, 1);
            line(c.outerDark, 1, 2, 1, h - 3);
            line(c.shadow, 2, 2, w - 3, 2);
            line(c.shadow, 2, 2, 2, h - 3);
        } else {
            line(c.highlight, 2, 1, w - 3, 1);
            line(c.highlight, 1, 2, 1, h - 3);
            line(c.pressedFace, 2, h - 3, w - 3, h - 3);
            line(c.pressedFace, w - 3, 2, w - 3, h - 3);
            line(c.shadow, 2, h - 2, w - 3, h - 2);
            line(c.shadow, w - 2, 2, w - 2, h - 3);
        }
        // A softer step on each corner's diagonal, and the pixel inside it blended towards the face.
        dots(c.outerDark, 1);
        dots(c.pressedFace, 2);
    }

    painter.setFont(TextFont());
    painter.setPen(!enabled ? c.shadow : down ? c.highlight : c.text);
    painter.drawText(rect(), kTextFlags, text());

    if (hasFocus()) {
        QPen pen(c.text);
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
    }
}

}  // namespace velmo::manager
