#pragma once

#include "labeloverlayview.h"
#include "widgets/speedunit.h"

namespace routereel {

// The speed widget in the preview: "36.0 km/h".
class SpeedOverlayView : public LabelOverlayView {
    Q_OBJECT

public:
    explicit SpeedOverlayView(QWidget *parent = nullptr);

    void setSpeed(double metresPerSecond);
    void setUnit(SpeedUnit unit);

private:
    void refresh();

    double speed_ = 0;
    SpeedUnit unit_ = SpeedUnit::kmh;
};

} // namespace routereel
