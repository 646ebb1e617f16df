#pragma once

#include "segmentduration.h"
#include "timelinemath.h"

#include <QWidget>

#include <functional>
#include <optional>

class QMenu;

namespace routereel {

class TimelineScrollArea;
class TimelineSegmentDurationHelp;
class TimelineView;

// What the two lanes share: the drag gesture's plumbing (a press starts it, a
// drag of any length follows, the release ends it; hiding the lane or losing
// the window cancels it), the duration help, and the look of a segment bar.
// Points are in the lane's content coordinates: time t lies at t * pps + leadPad.
class TimelineLane : public QWidget {
    Q_OBJECT

public:
    TimelineLane(TimelineView &view, TimelineScrollArea &area);

    TimelineSegmentDurationHelp &durationHelp() const { return *m_help; }
    bool gestureActive() const { return m_gestureActive; }
    // Seconds on a monotonic clock, for double clicks.
    static double now();

protected:
    struct Drag {
        QPointF start;        // content coordinates
        QPointF translation;
    };
    virtual TimelineSegmentHoverHit hoverHitTest(QPointF point) const = 0;
    virtual void handleDragChanged(const Drag &drag) = 0;
    virtual void handleDragEnded(const Drag &drag) = 0;
    virtual void resetGestureState() = 0;

    double scrollOffset() const;
    // Segment rectangles that reach into the visible slice, in widget coordinates.
    bool isVisible(const SegmentGeometry &geometry) const;
    // Draws one bar; `label` draws into the label area (widget coordinates) when there is room.
    void paintBar(QPainter &painter, const SegmentGeometry &geometry, const QColor &color, bool selected,
                  const std::function<void(QPainter &, const QRectF &)> &label) const;

    // Runs the lane's context menu. The menu takes the pointer, which ends the
    // lane's hover: the help comes back only once the pointer has moved.
    void execContextMenu(QMenu &menu, QPoint globalPos);

    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool event(QEvent *event) override;

    TimelineView &m_view;
    TimelineScrollArea &m_area;

private:
    Drag dragAt(QPointF widgetPoint) const;
    void cancelGesture();

    TimelineSegmentDurationHelp *m_help;
    bool m_gestureActive = false;
    QPointF m_pressPoint;
    QPointF m_pointer;                  // last pointer position seen, widget coordinates
    std::optional<QPointF> m_menuPoint; // where the pointer was when a context menu opened
};

} // namespace routereel
