#include "capsulelabel.h"

#include "panelstyle.h"

#include <QPainter>

#include <algorithm>

namespace routereel {

CapsuleLabel::CapsuleLabel(QWidget *parent) : QLabel(parent)
{
    setContentsMargins(5, 1, 5, 1);
    setAlignment(Qt::AlignCenter);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleLabel::paintEvent(QPaintEvent *)
{
    // Painted rather than styled: a style sheet's radius above half the height draws square corners.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const qreal radius = std::min(bounds.width(), bounds.height()) / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(panelstyle::color(panelstyle::Tone::accent, palette()));
    p.drawRoundedRect(bounds, radius, radius);
    p.setPen(Qt::white);
    p.drawText(contentsRect(), int(alignment()), text());
}

} // namespace routereel
