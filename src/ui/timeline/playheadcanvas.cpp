#include "playheadcanvas.h"

#include "timelinemath.h"
#include "timelinepalette.h"
#include "timelinescrollarea.h"
#include "timelineview.h"

#include "timeline/playbackclock.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace routereel {

PlayheadCanvas::PlayheadCanvas(TimelineView &view, TimelineScrollArea &area)
    : QWidget(&area), m_view(view), m_area(area)
{
    setObjectName(QStringLiteral("timelinePlayhead"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Only the strips of the old and the new line are repainted on each tick.
    connect(&view.clock(), &PlaybackClock::playheadTimeChanged, this, [this] {
        const double x = lineX();
        if (x == m_paintedX)
            return;
        update(strip(m_paintedX));
        update(strip(x));
    });
    retranslate();
}

void PlayheadCanvas::retranslate()
{
    setAccessibleName(tr("Playhead"));
    setAccessibleDescription(tr("The current time on the timeline."));
}

void PlayheadCanvas::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

double PlayheadCanvas::lineX() const
{
    return m_view.clock().playheadTime() * m_view.pps() + timelinemetrics::leadPad - m_area.scrollOffset();
}

QRect PlayheadCanvas::strip(double x) const
{
    if (!std::isfinite(x) || x < -10 || x > width() + 10)
        return {};
    return QRect(int(std::floor(x)) - 8, 0, 17, height());
}

void PlayheadCanvas::paintEvent(QPaintEvent *)
{
    const double x = lineX();
    m_paintedX = x;
    if (strip(x).isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red = timelinepalette::red(palette());
    QPainterPath head;
    head.moveTo(x - 6, 1);
    head.lineTo(x + 6, 1);
    head.lineTo(x, 11);
    head.closeSubpath();
    p.fillPath(head, red);
    p.setPen(QPen(red, 1.5));
    p.drawLine(QPointF(x, 10), QPointF(x, height() - 1));
}

} // namespace routereel
