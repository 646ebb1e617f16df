#pragma once

#include "previewplan.h"

#include <QSizeF>
#include <QString>
#include <QTransform>
#include <QUrl>

#include <optional>
#include <vector>

namespace routereel {

// One stretch of the preview's timeline as the player runs it: a clip's range, or
// black. Times in seconds; source times count from the clip's container start time.
struct PreviewSpan {
    double start = 0;
    double end = 0;
    QUrl url;                        // empty for black
    double sourceStart = 0;          // source second shown at `start`
    double lastInstant = 0;          // seconds into the span of the last picture its clip range shows
    QSizeF naturalSize;
    std::optional<QTransform> fit;   // none: the picture fills the canvas whole (one file played as it is)

    bool isGap() const { return url.isEmpty(); }
    QString path() const { return url.toLocalFile(); }
    // The source second on screen at timeline second `t`: a time past the range shows
    // its last picture.
    double sourceAt(double t) const;
};

// The spans of a preview plan, in order and without holes. A gap between two pieces
// that holds no frame instant of the timeline's rate (cut times computed from other
// cut times meet a hair apart) is not black: the export shows no black frame there,
// so the piece before runs on over it, showing its last picture.
std::vector<PreviewSpan> previewSpans(const PreviewPlan &plan);

// The span that timeline second `t` lies in: the last one for a time past the end.
int spanAt(const std::vector<PreviewSpan> &spans, double t);

} // namespace routereel
