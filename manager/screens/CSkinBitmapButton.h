// A button drawn from one skin image holding its frames stacked vertically: normal and pressed, plus a
// disabled frame for the three-frame kind. Screen readers see it as a button with a press action; its name is
// the widget's accessible name.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace velmo::manager {

class CSkinBitmapButton : public QWidget {
    Q_OBJECT
  public:
    // frames is 2 or 3; the widget takes the image's width and the height of one frame.
    CSkinBitmapButton(int bitmapId, QWidget* parent, int id, int frames, int left, int top);

    int Id() const { return id_; }
    int Frames() const { return frames_; }
    bool IsPressed() const { return pressed_; }
    // The main window's buttons draw no focus rectangle.
    void SetDrawFocus(bool on);
    bool DrawFocus() const { return drawFocus_; }
    // The frame the next paint shows (0 normal, 1 pressed, 2 disabled).
    int CurrentFrame() const;
    // A whole mouse click for callers without a mouse (the accessible press action); a disabled or hidden
    // button ignores it, as it ignores the mouse.
    void Click();

  signals:
    void clicked(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Press();
    void Release();

    QPixmap image_;
    int id_;
    int frames_;
    bool pressed_ = false;
    bool drawFocus_ = true;
};

}  // namespace velmo::manager
