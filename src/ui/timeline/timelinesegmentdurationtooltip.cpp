#include "timelinesegmentdurationtooltip.h"

#include "timelinemath.h"
#include "timelinepalette.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace routereel {

namespace {
constexpr int shadowMargin = 3;
}

TimelineSegmentDurationTooltip::TimelineSegmentDurationTooltip(QWidget &panel)
    : QWidget(&panel), m_panel(panel)
{
    setObjectName(QStringLiteral("timeline.segmentDurationHelp"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

QFont TimelineSegmentDurationTooltip::textFont() const
{
    QFont f = font();
    f.setPixelSize(11);
    return f;
}

void TimelineSegmentDurationTooltip::setPresentation(const std::optional<TimelineSegmentHelpPresentation> &p)
{
    if (!p || !p->lane) {
        m_text.clear();
        m_box = QRectF();
        hide();
        return;
    }
    const double W = m_panel.width();
    const QPointF anchor = p->lane->mapTo(&m_panel, QPoint(0, 0)) + p->location;
    m_text = formatTimecode(p->duration, true);
    const QSizeF textSize = QFontMetricsF(textFont()).size(Qt::TextSingleLine, m_text);
    const double w = std::min(std::max(0.0, W - 8), std::ceil(textSize.width()) + 14);
    const double h = std::ceil(textSize.height()) + 8;
    const double cx = std::min(W - w / 2 - 4, std::max(w / 2 + 4, anchor.x() + 10 + w / 2));
    const double cy = std::max(h / 2 + 4, anchor.y() - 12 - h / 2);
    m_box = QRectF(cx - w / 2, cy - h / 2, w, h);
    setAccessibleName(m_text);
    setGeometry(m_box.toAlignedRect().adjusted(-shadowMargin, -shadowMargin, shadowMargin, shadowMargin));
    show();
    raise();
    update();
}

void TimelineSegmentDurationTooltip::paintEvent(QPaintEvent *)
{
    if (m_box.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = m_box.translated(-pos());
    for (int i = 2; i >= 1; --i) {  // a soft shadow, one point down
        QPainterPath shadow;
        shadow.addRoundedRect(box.translated(0, 1).adjusted(-i * 0.5, -i * 0.5, i * 0.5, i * 0.5), 4, 4);
        p.fillPath(shadow, QColor(0, 0, 0, int(255 * 0.15 / 2)));
    }
    QPainterPath shape;
    shape.addRoundedRect(box, 4, 4);
    p.fillPath(shape, timelinepalette::controlBackground(palette()));
    QColor border = timelinepalette::secondary(palette());
    border.setAlphaF(border.alphaF() * 0.3);
    p.setPen(QPen(border, 0.5));
    p.drawRoundedRect(box.adjusted(0.25, 0.25, -0.25, -0.25), 4, 4);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(textFont());
    p.drawText(box, Qt::AlignCenter, m_text);
}

} // namespace routereel
