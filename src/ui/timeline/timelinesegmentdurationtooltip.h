#pragma once

#include "segmentduration.h"

#include <QWidget>

namespace routereel {

// The duration box drawn over the whole panel, 10 points right of the pointer
// and 12 above it, kept 4 points inside the panel's sides and top.
class TimelineSegmentDurationTooltip : public QWidget {
    Q_OBJECT

public:
    explicit TimelineSegmentDurationTooltip(QWidget &panel);

    void setPresentation(const std::optional<TimelineSegmentHelpPresentation> &presentation);
    QString text() const { return m_text; }
    // The box in the panel's coordinates (the widget adds room for the shadow).
    QRectF boxRect() const { return m_box; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont textFont() const;

    QWidget &m_panel;
    QString m_text;
    QRectF m_box;
};

} // namespace routereel
