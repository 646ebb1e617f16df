#include "speedoverlayview.h"

namespace routereel {

SpeedOverlayView::SpeedOverlayView(QWidget *parent)
    : LabelOverlayView(parent)
{
    refresh();
}

void SpeedOverlayView::setSpeed(double metresPerSecond)
{
    speed_ = metresPerSecond;
    refresh();
}

void SpeedOverlayView::setUnit(SpeedUnit unit)
{
    unit_ = unit;
    refresh();
}

void SpeedOverlayView::refresh()
{
    setText(formatSpeed(unit_, speed_));
}

} // namespace routereel
