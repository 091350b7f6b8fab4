#include "CRealTimeGraph.h"

#include <qdrawutil.h>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>

namespace velmo::manager {

namespace {

const QColor kBackground(200, 200, 192);
const QColor kCaption(192, 200, 192);
const QColor kGrid(232, 232, 232);
constexpr int kMargin = 6;
constexpr int kCaptionFontPx = 8;

}  // namespace

CRealTimeGraph::CRealTimeGraph(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {
    captionFont_ = font();
    captionFont_.setPixelSize(kCaptionFontPx);
    colours_.fill(Qt::black);
    setAccessibleName(title_);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CRealTimeGraph::SetTitle(const QString& title) {
    title_ = title;
    setAccessibleName(title_);
    update();
}

void CRealTimeGraph::SetSeriesColour(int series, const QColor& colour) {
    if (series >= 0 && series < rf::GraphData::kSeries) {
        colours_[static_cast<size_t>(series)] = colour;
    }
}

void CRealTimeGraph::Append(int series, double value) {
    data_.Append(series, value);
}

int CRealTimeGraph::CaptionHeight() const {
    return QFontMetrics(captionFont_).height() + 4;
}

QRect CRealTimeGraph::PlotArea() const {
    return QRect(kMargin, CaptionHeight() + kMargin, width() - 2 * kMargin,
                 height() - CaptionHeight() - 2 * kMargin);
}

void CRealTimeGraph::paintEvent(QPaintEvent*) {
    QElapsedTimer timer;
    timer.start();
    const qreal ratio = devicePixelRatioF();
    if (buffer_.size() != size() * ratio) {
        buffer_ = QPixmap(size() * ratio);
        buffer_.setDevicePixelRatio(ratio);
    }
    {
        QPainter p(&buffer_);
        const QRect all = rect();
        p.fillRect(all, kBackground);
        qDrawShadePanel(&p, all, palette(), false, 1);
        // The caption bar: its colour, a raised edge, the title centred.
        const QRect caption(1, 1, width() - 2, CaptionHeight());
        p.fillRect(caption, kCaption);
        qDrawShadePanel(&p, caption, palette(), false, 1);
        p.setFont(captionFont_);
        p.setPen(Qt::black);
        p.drawText(caption, Qt::AlignCenter | Qt::TextSingleLine, title_);
        // The plot area, its grid, then every active series oldest first.
        const QRect plot = PlotArea();
        p.fillRect(plot, Qt::white);
        qDrawShadePanel(&p, plot.adjusted(-1, -1, 1, 1), palette(), true, 1);
        p.setPen(QPen(kGrid, 1));
        for (const double v : rf::GridValues()) {
            const qreal y = rf::PlotPoint(0, v, plot).y();
            p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        }
        p.setClipRect(plot);
        QPolygonF points;
        points.reserve(rf::GraphData::kSamples);
        for (int s = 0; s < rf::GraphData::kSeries; ++s) {
            if (!data_.Active(s)) {
                continue;
            }
            points.clear();
            for (int k = 0; k < data_.Count(s); ++k) {
                points << rf::PlotPoint(k, data_.Sample(s, k), plot);
            }
            p.setPen(QPen(colours_[static_cast<size_t>(s)], 1, Qt::SolidLine));
            p.drawPolyline(points);
        }
    }
    QPainter screen(this);
    screen.drawPixmap(0, 0, buffer_);
    lastPaintUs_ = timer.nsecsElapsed() / 1000;
    ++paints_;
    paintUsTotal_ += lastPaintUs_;
}

void CRealTimeGraph::mousePressEvent(QMouseEvent* event) {
    // The caption bar is not a handle: it cannot drag or maximise anything.
    if (event->position().y() <= CaptionHeight()) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CRealTimeGraph::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->position().y() <= CaptionHeight()) {
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

}  // namespace velmo::manager
