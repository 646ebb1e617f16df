#pragma once

#include <QWidget>

namespace routereel {

class TimelineScrollArea;
class TimelineView;

// The red playhead over the ruler and both lanes; takes no clicks.
class PlayheadCanvas : public QWidget {
    Q_OBJECT

public:
    PlayheadCanvas(TimelineView &view, TimelineScrollArea &area);

    // The line's x in this widget's coordinates.
    double lineX() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QRect strip(double x) const;
    void retranslate();

    TimelineView &m_view;
    TimelineScrollArea &m_area;
    double m_paintedX = 0;
};

} // namespace routereel
