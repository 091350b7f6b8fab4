// The status panel of the main window: signal bars, battery strip, indicator icons, network and connection
// images and one line of text. Every setter stores its value and asks for a repaint only when it changed.
// Assistive tools read the panel as a status bar: its name is the line of text, its description the
// indicators in words, each announced with an accessibility event when it changes.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace velmo::manager {

class StatusPanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kId = 103;
    static constexpr int kBackgroundBitmap = 150;

    explicit StatusPanel(QWidget* parent = nullptr);

    // Each returns true when the value changed (and a repaint was requested).
    bool SetStatusText(const QString& text);
    // " " (blank) means no notice.
    bool SetNoticeText(const QString& text, bool alert);
    bool SetSignalLevel(int level);   // 0..7
    bool SetBatteryLevel(int level);  // 0..7
    bool SetTrafficIndicator(bool on);
    bool SetVoiceMailIcon(bool on);
    bool SetNetworkImage(int image);     // 2 1X, 3 1xRTT, 4 EV-DO, other: no service
    bool SetConnectionImage(int image);  // 0 Ethernet, 1 USB auto, 2 USB fixed, other: none

    QString StatusText() const { return status_; }
    QString NoticeText() const { return notice_; }
    bool NoticeAlert() const { return alert_; }
    int SignalLevel() const { return signal_; }
    int BatteryLevel() const { return battery_; }
    bool TrafficIndicator() const { return traffic_; }
    bool VoiceMailIcon() const { return voiceMail_; }
    int NetworkImage() const { return network_; }
    int ConnectionImage() const { return connection_; }

    // The text actually drawn and its colour.
    QString ShownText() const;
    QColor ShownTextColour() const;
    // Signal, network and battery as the panel draws them, in words.
    QString IndicatorsText() const;
    // The whole panel as the next paint draws it.
    QPixmap Compose() const;

    // How many repaints the setters asked for, and how many paints ran.
    int RepaintRequests() const { return repaintRequests_; }
    int PaintCount() const { return paintCount_; }
    // How many NameChanged and DescriptionChanged events the panel sent (Qt drops them while no assistive
    // tool listens, so they cannot be observed everywhere).
    int NameChangeEvents() const { return nameChangeEvents_; }
    int DescriptionChangeEvents() const { return descriptionChangeEvents_; }

    static int NetworkBitmap(int image);
    static int ConnectionBitmap(int image);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    template <class T>
    bool Store(T& field, const T& value);
    void PublishAccessibleChanges();

    QString status_;
    QString notice_;
    bool alert_ = false;
    int signal_ = 0;
    int battery_ = 0;
    bool traffic_ = false;
    bool voiceMail_ = false;
    int network_ = -1;
    int connection_ = 3;
    int repaintRequests_ = 0;
    int paintCount_ = 0;
    // What assistive tools were last told, so that events go out only for real changes.
    QString accessibleText_;
    QString accessibleIndicators_;
    int nameChangeEvents_ = 0;
    int descriptionChangeEvents_ = 0;
};

}  // namespace velmo::manager
