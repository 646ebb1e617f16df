#include "widgetselectionoutline.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace routereel {

WidgetSelectionOutline::WidgetSelectionOutline(QWidget *parent)
    : OverlayView(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void WidgetSelectionOutline::setCornerRadius(std::optional<double> radius)
{
    cornerRadius_ = radius;
    update();
}

void WidgetSelectionOutline::setPadding(double padding)
{
    padding_ = boundedViewLength(padding, 4, 0, 100);
    contentChanged();
}

void WidgetSelectionOutline::setWidgetSize(const QSizeF &size)
{
    widgetSize_ = size;
    contentChanged();
}

QRectF WidgetSelectionOutline::outlineRect() const
{
    return QRectF(QPointF(0, 0), widgetSize_).adjusted(-padding_, -padding_, padding_, padding_);
}

QSizeF WidgetSelectionOutline::contentSize() const
{
    if (widgetSize_.isEmpty())
        return {};
    return outlineRect().size() + QSizeF(lineWidth, lineWidth) * 2;
}

void WidgetSelectionOutline::paintContent(QPainter &painter)
{
    QRectF r = outlineRect();
    r.translate(padding_ + lineWidth, padding_ + lineWidth);
    QPainterPath path;
    if (cornerRadius_)
        path.addRoundedRect(r, *cornerRadius_, *cornerRadius_);
    else
        path.addEllipse(r);
    QPen pen(palette().color(QPalette::Highlight), lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.strokePath(path, pen);
}

} // namespace routereel
