#pragma once

#include "labeloverlayview.h"

#include <QDateTime>

namespace routereel {

// The clock-time widget in the preview: "19:05:09", always on the 24-hour
// clock, in the user's time zone.
class TimeOverlayView : public LabelOverlayView {
    Q_OBJECT

public:
    explicit TimeOverlayView(QWidget *parent = nullptr);

    void setTime(const QDateTime &time);

    static QString timeText(const QDateTime &time);
};

} // namespace routereel
