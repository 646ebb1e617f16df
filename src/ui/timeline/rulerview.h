#pragma once

#include <QWidget>

namespace routereel {

class TimelineScrollArea;
class TimelineView;

// The time ruler: ticks and labels measured from the panel's time origin;
// a click or drag on it moves the playhead, pausing playback.
class RulerView : public QWidget {
    Q_OBJECT

public:
    RulerView(TimelineView &view, TimelineScrollArea &area);

    // The timeline time under x (this widget's coordinates), as a scrub sets it.
    double scrubTime(double x) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void scrub(double x);
    void retranslate();

    TimelineView &m_view;
    TimelineScrollArea &m_area;
};

} // namespace routereel
