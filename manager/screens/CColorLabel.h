// A static text with a colour, a background and a font height of its own, for the screens' coloured
// captions. The text is always plain.
#pragma once

#include <QColor>
#include <QLabel>
#include <optional>

namespace velmo::manager {

class CColorLabel : public QLabel {
    Q_OBJECT
  public:
    explicit CColorLabel(const QString& text = QString(), QWidget* parent = nullptr);

    void SetTextColour(const QColor& colour);
    void SetBackground(const QColor& colour);
    // A copy of the application's font, this many pixels high.
    void SetFontHeight(int pixels);

    // What is painted: the colours set, else the window's text colour on its button face.
    QColor TextColour() const;
    QColor Background() const;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void ApplyColours();

    std::optional<QColor> text_;
    std::optional<QColor> background_;
    bool applying_ = false;
};

}  // namespace velmo::manager
