#pragma once

#include "heartrategraphgeometry.h"

#include <QColor>
#include <QImage>

#include <optional>

namespace routereel {

// Draws the heart-rate graph widget into export frames. The panel, its shadow,
// the curve and the heart sign are drawn once into a base image; a frame is a
// copy of it with a dot at the frame's sample. Images are larger than the
// panel by margin() on every side, room for the shadow.
//
// buildCurvePath() runs before the frames; afterwards renderFrame() may be
// called from several threads at once.
class HeartRateGraphRenderer {
public:
    HeartRateGraphRenderer(const QColor &lineColor, double pixelWidth, double pixelHeight, double referenceWidth,
                           double opacity);

    void buildCurvePath(const QList<GPXTrack> &tracks);

    // The frame for a sample; the base image alone when there is no sample to
    // mark; a null image without data, or when no bitmap can be made.
    QImage renderFrame(std::optional<double> time, std::optional<int> heartRate) const;

    double pixelWidth() const { return pixelWidth_; }
    double pixelHeight() const { return pixelHeight_; }
    double opacity() const { return opacity_; } // applied by the caller when compositing
    double scale() const { return pixelWidth_ / referenceWidth_; }
    int margin() const { return margin_; }
    bool hasData() const { return hasData_; }
    HeartRateGraphAxis axis() const { return axis_; }
    const QPainterPath &curvePath() const { return curvePath_; }
    const QImage &baseImage() const { return baseImage_; }

private:
    QImage renderBaseImage() const;
    QPainterPath panelPath() const;

    double pixelWidth_;
    double pixelHeight_;
    double referenceWidth_;
    double opacity_;
    QColor lineColor_;
    HeartRateGraphAxis axis_;
    int margin_ = 0; // -1: the scale allows no bitmap
    QPainterPath curvePath_;
    QImage baseImage_;
    bool hasData_ = false;
};

} // namespace routereel
