#pragma once

#include "timeline/previewcomposition.h"

#include <QUrl>

namespace testsupport {

// A small clip played from its start for `seconds`: what the sound tests and benches play.
inline routereel::PreviewPlan oneClipPlan(const QString &clip, double seconds)
{
    routereel::PreviewPiece piece;
    piece.start = *routereel::compositionTicks(0);
    piece.length = *routereel::compositionTicks(seconds);
    piece.url = QUrl::fromLocalFile(clip);
    piece.naturalSize = QSizeF(64, 64);
    routereel::PreviewPlan plan;
    plan.renderSize = QSizeF(64, 64);
    plan.pieces = {piece};
    return plan;
}

} // namespace testsupport
