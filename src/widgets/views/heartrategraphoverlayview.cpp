#include "heartrategraphoverlayview.h"

#include "widgets/heartrategraphaxisreducer.h"
#include "widgets/heartrategraphcurvepathcache.h"
#include "widgets/overlaybitmap.h"
#include "widgets/trackfingerprint.h"

#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include <algorithm>

namespace routereel {

namespace L = HeartRateGraphLayout;

HeartRateGraphOverlayView::HeartRateGraphOverlayView(QWidget *parent)
    : OverlayView(parent)
{
}

void HeartRateGraphOverlayView::setTracks(const QList<GPXTrack> &tracks)
{
    qsizetype count = 0;
    for (const GPXTrack &track : tracks)
        count += track.trackPoints.size();
    // The same tracks come with every playhead update: nothing to lay out again.
    if (count == pointCount_ && trackFingerprints(tracks) == trackFingerprints(tracks_))
        return;
    tracks_ = tracks;
    pointCount_ = count;
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

namespace {

// The panel and the whole curve as the painter would draw them, on a
// transparent picture covering `pixels` of its device. Every sample is
// stroked: a thinned curve would blend its edges differently where a dense
// curve overlaps itself.
QImage drawPanel(const QList<GPXTrack> &tracks, const HeartRateGraphAxis &axis, double width, double height,
                 const QColor &colour, const QTransform &device, QRect pixels, double opacity)
{
    QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity);
    p.setTransform(device * QTransform::fromTranslate(-pixels.x(), -pixels.y()));
    QPainterPath panel;
    panel.addRoundedRect(QRectF(0, 0, width, height), L::cornerRadius, L::cornerRadius);
    p.fillPath(panel, QColor(0, 0, 0, 128));
    p.setClipPath(panel);
    QPen pen(colour, L::lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    p.strokePath(HeartRateGraphCurvePathCache::path(tracks, axis, width, height), pen);
    return image;
}

} // namespace

void HeartRateGraphOverlayView::paintContent(QPainter &painter)
{
    const std::optional<HeartRateGraphAxis> a = axis();
    if (!a)
        return;
    const QColor colour = widgetColor(lineColor_);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(0, 0, width_, height_), L::cornerRadius, L::cornerRadius);

    // The picture is made in the device's own pixels, so it lands on them one to one.
    const QTransform device = painter.deviceTransform();
    const QRect pixels = device.mapRect(QRectF(0, 0, width_, height_)).toAlignedRect();
    if (device.isRotating() || pixels.isEmpty())
        return;
    const QString key = QStringList{QString::number(device.m11(), 'g', 17), QString::number(device.m22(), 'g', 17),
                                    QString::number(device.dx(), 'g', 17), QString::number(device.dy(), 'g', 17),
                                    QString::number(width_, 'g', 17), QString::number(height_, 'g', 17),
                                    colour.name(QColor::HexArgb), QString::number(painter.opacity(), 'g', 17),
                                    QString::number(a->minTime, 'g', 17), QString::number(a->maxTime, 'g', 17),
                                    QString::number(a->minBpm), QString::number(a->maxBpm)}
                            .join(QLatin1Char('|'));
    QString tracksKey;
    for (const TrackFingerprint &f : trackFingerprints(tracks_))
        tracksKey += f.revision.toString() + QLatin1Char(':') + QString::number(f.count) + QLatin1Char(';');
    const QImage *picture =
        panel_.get(key + QLatin1Char('|') + tracksKey, pointCount_ > heavyTrackPoints,
                   [tracks = tracks_, axis = *a, w = width_, h = height_, colour, device, pixels,
                    opacity = painter.opacity()] {
                       return drawPanel(tracks, axis, w, h, colour, device, pixels, opacity);
                   });
    if (picture) {
        painter.save();
        painter.setOpacity(1);  // in the picture already
        // Back through whatever lies between this painter and its pixels (a screen's
        // ratio, or a picture rendered at another). An earlier picture stands in,
        // stretched, while the new one is drawn.
        painter.drawImage(device.inverted().mapRect(QRectF(pixels)), *picture);
        painter.restore();
    }

    painter.save();
    painter.setClipPath(panel);
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
