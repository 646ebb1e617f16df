#include "widgetcompassbadgeview.h"

#include "widgets/overlaybitmap.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace routereel {

WidgetCompassBadgeView::WidgetCompassBadgeView(QWidget *parent)
    : OverlayView(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void WidgetCompassBadgeView::setTotalWidth(double width)
{
    totalWidth_ = boundedViewLength(width, 0, 0, 1000);
    contentChanged();
}

void WidgetCompassBadgeView::setAngle(double degrees)
{
    angle_ = std::isfinite(degrees) ? degrees : 0;
    update();
}

void WidgetCompassBadgeView::setWidgetSize(const QSizeF &size)
{
    widgetSize_ = QSizeF(boundedViewLength(size.width(), 0, 0, maxOverlayBitmapSide),
                         boundedViewLength(size.height(), 0, 0, maxOverlayBitmapSide));
    contentChanged();
}

QPointF WidgetCompassBadgeView::badgeCenter() const
{
    const double theta = angle_ * std::numbers::pi / 180;
    // The middle of the border band of a round widget.
    const double r = 0.5 * std::min(widgetSize_.width(), widgetSize_.height()) + 0.5 * totalWidth_;
    return {widgetSize_.width() / 2 + r * std::sin(theta), widgetSize_.height() / 2 - r * std::cos(theta)};
}

QSizeF WidgetCompassBadgeView::contentSize() const
{
    const double s = badgeDiameter();
    if (s <= 0 || widgetSize_.isEmpty())
        return {};
    return widgetSize_ + QSizeF(2 * s, 2 * s);
}

void WidgetCompassBadgeView::paintContent(QPainter &painter)
{
    const double s = badgeDiameter();
    if (s <= 0)
        return;
    const QPointF centre = badgeCenter() + QPointF(s, s);
    const QRectF badge(centre.x() - s / 2, centre.y() - s / 2, s, s);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawEllipse(badge);
    QPen rim(QColor(128, 128, 128, 102), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(rim);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(badge.adjusted(0.5, 0.5, -0.5, -0.5)); // stroked inside the edge

    const QFont font = sansFont(0.55 * s);
    const QFontMetricsF metrics(font, this);
    const QString letter = QStringLiteral("N");
    painter.setFont(font);
    painter.setPen(Qt::white);
    const double w = metrics.horizontalAdvance(letter);
    painter.drawText(QPointF(centre.x() - w / 2, centre.y() - (metrics.ascent() + metrics.descent()) / 2 + metrics.ascent()),
                     letter);
}

} // namespace routereel
