#pragma once

#include "backgroundbuild.h"
#include "overlayview.h"
#include "tracks/gpxtrack.h"
#include "widgets/heartrategraphgeometry.h"
#include "widgets/widgettextcolor.h"

#include <optional>

namespace routereel {

// Preview of the heart-rate graph widget: a dark panel with the curve of all
// loaded tracks, a dot at the playhead's sample and a heart sign. Shows
// nothing at all when the tracks have no heart-rate axis. Cheap to update on
// every playhead change: the panel and the curve are kept as a picture at the
// painter's pixels (drawn off the main thread for long tracks); a paint adds
// the dot and the heart sign.
class HeartRateGraphOverlayView : public OverlayView {
    Q_OBJECT

public:
    explicit HeartRateGraphOverlayView(QWidget *parent = nullptr);

    void setTracks(const QList<GPXTrack> &tracks);
    // Time (on the clock of TrackPoint::time) and heart rate at the playhead.
    void setCurrentSample(std::optional<double> time, std::optional<int> heartRate);
    void setPanelSize(double width, double height);
    void setLineColor(WidgetTextColor color);

    std::optional<HeartRateGraphAxis> axis() const;
    // Where the dot is drawn, in reference units; none when no dot is drawn.
    std::optional<QPointF> dotCenter() const;

    QSizeF contentSize() const override;

    // True while the curve of the current tracks is still being drawn off the main thread.
    bool isDrawingCurve() const { return panel_.isBuilding(); }
    // True once the panel and curve have been drawn and none is being drawn.
    bool isCurveDrawn() const { return panel_.hasValue() && !panel_.isBuilding(); }

protected:
    void paintContent(QPainter &painter) override;

private:
    QList<GPXTrack> tracks_;
    std::optional<double> currentTime_;
    std::optional<int> currentHR_;
    double width_ = 220;
    double height_ = 70;
    WidgetTextColor lineColor_ = WidgetTextColor::white;
    qsizetype pointCount_ = 0;
    BackgroundBuild<QImage> panel_{this, [this] { update(); }};
};

} // namespace routereel
