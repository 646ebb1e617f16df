#include "heartrateoverlayview.h"

namespace routereel {

HeartRateOverlayView::HeartRateOverlayView(QWidget *parent)
    : LabelOverlayView(parent)
{
    refresh();
}

void HeartRateOverlayView::setHeartRate(std::optional<int> heartRate)
{
    heartRate_ = heartRate;
    refresh();
}

void HeartRateOverlayView::setMinMax(std::optional<HeartRateMinMax> minMax)
{
    minMax_ = minMax;
    refresh();
}

void HeartRateOverlayView::setShowIcon(bool show)
{
    showIcon_ = show;
    refresh();
}

void HeartRateOverlayView::setShowMinMax(bool show)
{
    showMinMax_ = show;
    refresh();
}

QStringList HeartRateOverlayView::lineTexts() const
{
    QStringList out;
    const std::optional<QString> main = HeartRateMinMax::bpmText(heartRate_, showIcon_);
    if (!main)
        return out;
    out.append(*main);
    if (showMinMax_) {
        if (const std::optional<QString> range = HeartRateMinMax::rangeText(minMax_))
            out.append(*range);
    }
    return out;
}

void HeartRateOverlayView::refresh()
{
    QList<Line> lines;
    const QStringList texts = lineTexts();
    for (qsizetype i = 0; i < texts.size(); ++i)
        lines.append({texts[i], i == 0 ? 1.0 : 0.8});
    setLines(lines);
}

} // namespace routereel
