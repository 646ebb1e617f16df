#include "labeloverlayview.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace routereel {

LabelOverlayView::LabelOverlayView(QWidget *parent)
    : OverlayView(parent)
{
}

void LabelOverlayView::setText(const QString &text)
{
    setLines({{text, 1}});
}

QString LabelOverlayView::text() const
{
    return lines_.isEmpty() ? QString() : lines_.first().text;
}

void LabelOverlayView::setFontSize(double size)
{
    // The box grows with the font: keep a stored NaN or 1000 from sizing a huge widget.
    fontSize_ = boundedViewLength(size, 18, 1, 400);
    contentChanged();
}

void LabelOverlayView::setTextColor(WidgetTextColor color)
{
    textColor_ = color;
    update();
}

void LabelOverlayView::setLines(const QList<Line> &lines)
{
    lines_ = lines;
    contentChanged();
}

QSizeF LabelOverlayView::contentSize() const
{
    if (lines_.isEmpty())
        return {};
    double width = 0;
    double height = 0;
    for (const Line &line : lines_) {
        const QFontMetricsF metrics(monoFont(fontSize_ * line.sizeFactor), this);
        width = std::max(width, metrics.horizontalAdvance(line.text));
        height += metrics.ascent() + metrics.descent();
    }
    height += (lines_.size() - 1) * 0.15 * fontSize_;
    return {width + 2 * padding, height + 2 * padding};
}

void LabelOverlayView::paintContent(QPainter &painter)
{
    const QSizeF size = contentSize();
    if (size.isEmpty())
        return;
    QPainterPath box;
    box.addRoundedRect(QRectF(QPointF(0, 0), size), cornerRadius, cornerRadius);
    painter.fillPath(box, QColor(0, 0, 0, 128));
    painter.setClipPath(box);
    painter.setPen(widgetColor(textColor_));
    double top = padding;
    for (const Line &line : lines_) {
        const QFont font = monoFont(fontSize_ * line.sizeFactor);
        const QFontMetricsF metrics(font, this);
        const double x = (size.width() - metrics.horizontalAdvance(line.text)) / 2;
        painter.setFont(font);
        painter.drawText(QPointF(x, top + metrics.ascent()), line.text);
        top += metrics.ascent() + metrics.descent() + 0.15 * fontSize_;
    }
}

} // namespace routereel
