#pragma once

#include "segmentduration.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

namespace routereel {

// A lane's duration help: after the pointer has rested on one segment for a
// second, publishes the segment's length for the panel's tooltip; over trim
// zones it sets the left-right resize cursor. The lane feeds it hover events
// and calls hide() on everything that moves or changes the segments.
class TimelineSegmentDurationHelp : public QObject {
    Q_OBJECT

public:
    using HitTest = std::function<TimelineSegmentHoverHit(QPointF)>;
    static constexpr int delayMilliseconds = 1000;

    TimelineSegmentDurationHelp(QWidget &lane, HitTest hitTest);

    // A hover event at `point` (lane coordinates); during a drag it only sets the cursor.
    void hover(QPointF point, bool interacting);
    // The pointer left the lane.
    void leave();
    void hide();

    std::optional<TimelineSegmentHelpPresentation> presentation() const;

signals:
    void presentationChanged();

private:
    void delayDone();

    QWidget &m_lane;
    HitTest m_hitTest;
    std::optional<TimelineSegmentHoverTarget> m_target;
    QPointF m_location;
    bool m_presented = false;
    QTimer m_delay;
};

} // namespace routereel
