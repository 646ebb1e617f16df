#include "heartrategraphoverlayview.h"

#include "widgets/heartrategraphaxisreducer.h"
#include "widgets/heartrategraphcurvepathcache.h"
#include "widgets/overlaybitmap.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace routereel {

namespace L = HeartRateGraphLayout;

HeartRateGraphOverlayView::HeartRateGraphOverlayView(QWidget *parent)
    : OverlayView(parent)
{
}

void HeartRateGraphOverlayView::setTracks(const QList<GPXTrack> &tracks)
{
    tracks_ = tracks;
    contentChanged();
}

void HeartRateGraphOverlayView::setCurrentSample(std::optional<double> time, std::optional<int> heartRate)
{
    currentTime_ = time;
    currentHR_ = heartRate;
    update();
}

void HeartRateGraphOverlayView::setPanelSize(double width, double height)
{
    // Stored sizes are taken as they are; only what would break drawing is bounded.
    width_ = boundedViewLength(width, 0, 0, maxOverlayBitmapSide);
    height_ = boundedViewLength(height, 0, 0, maxOverlayBitmapSide);
    contentChanged();
}

void HeartRateGraphOverlayView::setLineColor(WidgetTextColor color)
{
    lineColor_ = color;
    update();
}

std::optional<HeartRateGraphAxis> HeartRateGraphOverlayView::axis() const
{
    return HeartRateGraphAxisReducer::reduce(tracks_);
}

QSizeF HeartRateGraphOverlayView::contentSize() const
{
    return axis() ? QSizeF(width_, height_) : QSizeF();
}

std::optional<QPointF> HeartRateGraphOverlayView::dotCenter() const
{
    const std::optional<HeartRateGraphAxis> a = axis();
    if (!a || !currentTime_ || !currentHR_)
        return std::nullopt;
    const double t = *currentTime_;
    if (t < a->minTime || t > a->maxTime)
        return std::nullopt;
    const double timeRange = std::max(a->maxTime - a->minTime, 0.000001);
    const double bpmRange = std::max(a->maxBpm - a->minBpm, 1);
    const double x = (t - a->minTime) / timeRange * (width_ - 2 * L::insetX) + L::insetX;
    // Not clamped: a rate off the axis lies outside the plot, where the clip hides it.
    const double y = (height_ - L::insetY) - (*currentHR_ - a->minBpm) / bpmRange * (height_ - 2 * L::insetY);
    return QPointF(x, y);
}

void HeartRateGraphOverlayView::paintContent(QPainter &painter)
{
    const std::optional<HeartRateGraphAxis> a = axis();
    if (!a)
        return;
    const QColor colour = widgetColor(lineColor_);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(0, 0, width_, height_), L::cornerRadius, L::cornerRadius);
    painter.fillPath(panel, QColor(0, 0, 0, 128));

    painter.save();
    painter.setClipPath(panel);
    QPen pen(colour, L::lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter.strokePath(HeartRateGraphCurvePathCache::path(tracks_, *a, width_, height_), pen);
    if (const std::optional<QPointF> dot = dotCenter()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawEllipse(QRectF(dot->x() - L::dotRadius, dot->y() - L::dotRadius, 2 * L::dotRadius,
                                   2 * L::dotRadius));
    }
    painter.restore();

    const QFont font = monoFont(L::labelFontSize);
    painter.setFont(font);
    painter.setPen(colour);
    const QFontMetricsF metrics(font, this);
    painter.drawText(QPointF(L::labelLeft, L::labelTop + metrics.ascent()), tr("\u2665"));
}

} // namespace routereel
