#pragma once

#include "labeloverlayview.h"
#include "widgets/heartrateminmax.h"

#include <optional>

namespace routereel {

// The heart-rate widget in the preview: "♥ 142 bpm", optionally with the
// range of all tracks under it. Without a heart rate it shows nothing and
// takes no room.
class HeartRateOverlayView : public LabelOverlayView {
    Q_OBJECT

public:
    explicit HeartRateOverlayView(QWidget *parent = nullptr);

    void setHeartRate(std::optional<int> heartRate);
    void setMinMax(std::optional<HeartRateMinMax> minMax);
    void setShowIcon(bool show);
    void setShowMinMax(bool show);

    // The texts shown, top to bottom.
    QStringList lineTexts() const;

private:
    void refresh();

    std::optional<int> heartRate_;
    std::optional<HeartRateMinMax> minMax_;
    bool showIcon_ = true;
    bool showMinMax_ = false;
};

} // namespace routereel
