// A small borderless window with one notice image that appears, then blinks for a few seconds and goes away.
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <atomic>

namespace velmo::manager {

class NoticeWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kFirstDelayMs = 1000;
    static constexpr int kSecondDelayMs = 500;
    static constexpr int kStepMs = 100;
    static constexpr int kSteps = 60;

    enum class Phase { Idle, FirstDelay, SecondDelay, Blinking };

    // shownFlag is set by whoever triggers the notice and cleared here when the sequence ends.
    NoticeWindow(int bitmapId, std::atomic<bool>* shownFlag, QWidget* owner);

    // Shows the window and starts the sequence; ignored while a sequence is running.
    void Show();
    // Tests drive the sequence by hand: the timer is not started and each Tick() stands for one expiry.
    void SetManualTicks(bool manual) { manual_ = manual; }
    // One timer expiry: the end of a delay or one blinking step.
    void Tick();

    Phase CurrentPhase() const { return phase_; }
    int Step() const { return step_; }
    // The opacity of a blinking step: steps 0-4 off, 5-9 on, and so on.
    static double StepOpacity(int step);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void Arm(int ms);
    void Finish();

    QPixmap image_;
    std::atomic<bool>* shownFlag_;
    QTimer timer_;
    Phase phase_ = Phase::Idle;
    int step_ = 0;
    bool manual_ = false;
};

}  // namespace velmo::manager
