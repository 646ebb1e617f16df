#pragma once

#include <QWidget>

class QPropertyAnimation;
class QScrollBar;

namespace routereel {

class GPXLaneView;
class PlayheadCanvas;
class RulerView;
class TimelineView;
class VideoLaneView;

// The horizontally scrolling part of the panel. Its content can be far wider
// than a widget may be (31 days at 200 points per second), so the ruler and
// lanes are as wide as the visible area and paint the visible slice of the
// content from `scrollOffset()` on; a thin scroll bar has its own strip below them.
class TimelineScrollArea : public QWidget {
    Q_OBJECT

public:
    TimelineScrollArea(TimelineView &view, QWidget *parent);

    // Content x at the visible area's leading edge.
    double scrollOffset() const;
    void setScrollOffset(double x);
    void animateScrollTo(double x);

    RulerView *ruler() const { return m_ruler; }
    VideoLaneView *videoLane() const { return m_videoLane; }
    GPXLaneView *gpxLane() const { return m_gpxLane; }
    PlayheadCanvas *playhead() const { return m_playhead; }
    QScrollBar *scrollBar() const { return m_scrollBar; }

signals:
    void scrolled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void updateRange();
    bool handleGesture(QEvent *event);

    TimelineView &m_view;
    RulerView *m_ruler;
    VideoLaneView *m_videoLane;
    GPXLaneView *m_gpxLane;
    PlayheadCanvas *m_playhead;
    QScrollBar *m_scrollBar;
    QPropertyAnimation *m_animation;
    double m_pinchMagnification = 1;
    bool m_pinching = false;
};

} // namespace routereel
