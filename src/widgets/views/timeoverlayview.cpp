#include "timeoverlayview.h"

namespace routereel {

TimeOverlayView::TimeOverlayView(QWidget *parent)
    : LabelOverlayView(parent)
{
    setTime(QDateTime::fromSecsSinceEpoch(0));
}

void TimeOverlayView::setTime(const QDateTime &time)
{
    setText(timeText(time));
}

QString TimeOverlayView::timeText(const QDateTime &time)
{
    // A fixed pattern, not the locale's format: the widget shows the 24-hour clock everywhere.
    return time.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace routereel
