#include "CColorLabel.h"

#include <QApplication>
#include <QEvent>

namespace velmo::manager {

namespace {
// The palette the label would have without colours of its own.
QPalette InheritedPalette(const QWidget* label) {
    const QWidget* parent = label->parentWidget();
    return parent != nullptr ? parent->palette() : QApplication::palette(label);
}
}  // namespace

CColorLabel::CColorLabel(const QString& text, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
    setText(text);
    ApplyColours();
}

void CColorLabel::SetTextColour(const QColor& colour) {
    text_ = colour;
    ApplyColours();
}

void CColorLabel::SetBackground(const QColor& colour) {
    background_ = colour;
    ApplyColours();
}

void CColorLabel::SetFontHeight(int pixels) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels > 0 ? pixels : 1);
    setFont(font);
    update();
}

QColor CColorLabel::TextColour() const {
    return text_.value_or(InheritedPalette(this).color(QPalette::WindowText));
}

QColor CColorLabel::Background() const {
    return background_.value_or(InheritedPalette(this).color(QPalette::Button));
}

void CColorLabel::ApplyColours() {
    // Only these two roles are the label's own: the others keep following its window.
    QPalette palette;
    palette.setColor(QPalette::WindowText, TextColour());
    palette.setColor(QPalette::Window, Background());
    applying_ = true;
    setPalette(palette);
    applying_ = false;
    update();
}

void CColorLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    // A new parent or a new theme brings new defaults for the colours that were not set.
    if (!applying_ && (event->type() == QEvent::ParentChange || event->type() == QEvent::PaletteChange)) {
        ApplyColours();
    }
}

}  // namespace velmo::manager
