#include "segmentbutton.h"

#include <QPainter>
#include <QPainterPath>

namespace routereel {

namespace {

constexpr int segmentHeight = 22;
constexpr double radius = 5;

} // namespace

SegmentButton::SegmentButton(Place place, QWidget *parent)
    : QAbstractButton(parent)
    , m_place(place)
{
    setCheckable(true);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize SegmentButton::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(text()) + 16, segmentHeight);
}

QSize SegmentButton::minimumSizeHint() const
{
    // Segments share the row's width evenly; a long text is cut rather than widening the column.
    return QSize(8, segmentHeight);
}

void SegmentButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Rounded at an outer end only: the inner sides are pushed out of sight.
    const bool roundLeft = m_place == Place::only || m_place == Place::first;
    const bool roundRight = m_place == Place::only || m_place == Place::last;
    const QRectF outline = box.adjusted(roundLeft ? 0 : -2 * radius, 0, roundRight ? 0 : 2 * radius, 0);
    QPainterPath shape;
    shape.addRoundedRect(outline, radius, radius);
    painter.setClipRect(rect());

    const QPalette &p = palette();
    QColor fill = isChecked() ? p.color(QPalette::Highlight) : p.color(QPalette::Button);
    if (isDown())
        fill = fill.darker(115);
    painter.fillPath(shape, fill);
    painter.setPen(QPen(p.color(QPalette::Mid), 1));
    painter.drawPath(shape);
    if (!roundLeft)
        painter.drawLine(box.topLeft(), box.bottomLeft());
    if (hasFocus() && isChecked()) {
        // The chosen segment is filled with the highlight: its focus is a ring inside it.
        QPainterPath inner;
        inner.addRoundedRect(box.adjusted(2.5, 2.5, -2.5, -2.5), radius - 2, radius - 2);
        painter.setPen(QPen(p.color(QPalette::HighlightedText), 1.5));
        painter.drawPath(inner);
    } else if (hasFocus()) {
        painter.setPen(QPen(p.color(QPalette::Highlight), 1.5));
        painter.drawPath(shape);
    }
    painter.setPen(p.color(isChecked() ? QPalette::HighlightedText : QPalette::ButtonText));
    painter.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace routereel
