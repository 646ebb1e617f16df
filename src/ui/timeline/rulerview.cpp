#include "rulerview.h"

#include "timelinemath.h"
#include "timelinepalette.h"
#include "timelinescrollarea.h"
#include "timelineview.h"

#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace routereel {

namespace {
using namespace timelinemetrics;
constexpr double minimumTickGap = 2;  // points between drawn ticks
}

RulerView::RulerView(TimelineView &view, TimelineScrollArea &area)
    : QWidget(&area), m_view(view), m_area(area)
{
    setObjectName(QStringLiteral("timelineRuler"));
    retranslate();
}

void RulerView::retranslate()
{
    setAccessibleName(tr("Time ruler"));
    setAccessibleDescription(tr("Times from the timeline's origin. Click or drag to move the playhead."));
}

void RulerView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void RulerView::paintEvent(QPaintEvent *)
{
    const TimelineEngine &engine = m_view.engine();
    if (engine.segments().isEmpty() && engine.videoSegments().isEmpty())
        return;
    const double pps = m_view.pps();
    const double scroll = m_area.scrollOffset();
    const double w = width();
    const double h = height();
    const TickSteps steps = tickSteps(pps);
    const double origin = m_view.timeOrigin();

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(9);
    const QFontMetricsF metrics(font);
    // Labels never overlap: far out, only labels at round intervals of the grid
    // are drawn, and ticks closer than two points give way to them.
    const double labelGap = metrics.horizontalAdvance(QStringLiteral("−00:00:00.00")) + 12;
    const double labelStride = rulerLabelInterval(steps.label, labelGap / pps) / steps.label;
    const bool minorTicks = steps.tick * pps >= minimumTickGap;
    const double step = minorTicks ? steps.tick : steps.label * labelStride;
    const double from = (scroll - leadPad) / pps;
    const double to = (scroll + w - leadPad) / pps;
    const QList<double> ticks = timelineTickTimes(origin, m_view.rulerEnd(), step, from - step, to + step);

    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font);
    const QColor labelColor = timelinepalette::secondary(palette());
    QColor minorColor = labelColor;
    minorColor.setAlphaF(labelColor.alphaF() * 0.4);
    const QPen labelPen(labelColor, 1);
    const QPen minorPen(minorColor, 0.5);
    for (double t : ticks) {
        const double x = t * pps + leadPad - scroll;
        if (x > w)
            break;
        const double r = t - origin;
        const double q = r / steps.label;
        const double n = std::round(q);
        const bool labelled = std::fabs(q - n) < 0.000001 && std::fmod(std::fabs(n), labelStride) == 0;
        if (labelled) {
            p.setPen(labelPen);
            p.drawLine(QPointF(x, 2), QPointF(x, h));
            const QString text = formatTimecode(r, false);
            p.drawText(QRectF(x + 4, 0, metrics.horizontalAdvance(text) + 2, h), Qt::AlignLeft | Qt::AlignVCenter,
                       text);
        } else {
            p.setPen(minorPen);
            p.drawLine(QPointF(x, h - 8), QPointF(x, h));
        }
    }
}

double RulerView::scrubTime(double x) const
{
    const double t = (x + m_area.scrollOffset() - leadPad) / m_view.pps();
    return std::isnan(t) ? 0 : std::max(0.0, std::min(m_view.rulerEnd(), t));
}

void RulerView::scrub(double x)
{
    VideoPlayerService &player = m_view.playerService();
    if (!player.isLoaded())
        return;
    // A play waiting for a seek to finish would resume after the scrub otherwise.
    if (player.isPlaying() || player.wantsToPlay())
        player.pause();
    player.scrub(scrubTime(x));
}

void RulerView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        scrub(event->position().x());
}

void RulerView::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() & Qt::LeftButton)
        scrub(event->position().x());
}

} // namespace routereel
