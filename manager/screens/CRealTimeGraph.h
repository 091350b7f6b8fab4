// A self-drawn graph of up to 20 series on the fixed 0-100 scale: a caption bar with its title, the plot
// area with its grid, each series as one line oldest first. It paints into an off-screen picture first;
// clicks on its caption bar go nowhere.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>
#include <array>

#include "manager/core/RfGraphModel.h"

namespace velmo::manager {

class CRealTimeGraph : public QWidget {
    Q_OBJECT
  public:
    explicit CRealTimeGraph(const QString& title = QStringLiteral("Real Time RF Graph"),
                            QWidget* parent = nullptr);

    void SetTitle(const QString& title);
    QString Title() const { return title_; }
    void SetSeriesColour(int series, const QColor& colour);
    // Adds a sample; the caller repaints (update()) when its batch is in.
    void Append(int series, double value);
    const rf::GraphData& Data() const { return data_; }
    // The widget less the caption bar and 6 pixels each way.
    QRect PlotArea() const;
    int CaptionHeight() const;
    // How long the last paint took, for figures.
    qint64 LastPaintMicroseconds() const { return lastPaintUs_; }
    int Paints() const { return paints_; }
    qint64 PaintMicroseconds() const { return paintUsTotal_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString title_;
    rf::GraphData data_;
    std::array<QColor, rf::GraphData::kSeries> colours_{};
    QFont captionFont_;
    QPixmap buffer_;
    qint64 lastPaintUs_ = 0;
    int paints_ = 0;
    qint64 paintUsTotal_ = 0;
};

}  // namespace velmo::manager
