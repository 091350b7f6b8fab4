// The push button of the settings window: a flat rounded face with a one-pixel 3D edge, painted by itself
// in the colours of its palette. Clicks, keys, focus and accessibility are those of any push button.
#pragma once

#include <QColor>
#include <QPalette>
#include <QPushButton>

namespace velmo::manager {

struct FlatButtonColours {
    QColor highlight;
    QColor light;
    QColor face;
    QColor shadow;
    QColor dark;
    QColor pressedFace;  // halfway between face and shadow
    QColor outerDark;    // halfway between shadow and dark
    QColor frame;
    QColor text;

    bool operator==(const FlatButtonColours&) const = default;
};

// The colours of a flat button for a palette (its active group).
FlatButtonColours FlatColoursFor(const QPalette& palette);

class CFlatButton : public QPushButton {
    Q_OBJECT
  public:
    explicit CFlatButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    // The colours the next paint uses.
    const FlatButtonColours& Colours() const { return colours_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QFont TextFont() const;
    void Draw(QPainter& painter) const;

    FlatButtonColours colours_;
};

}  // namespace velmo::manager
