#pragma once

#include "exporterror.h"

#include "timeline/videotimelinesnapshot.h"

#include <QStringList>

#include <optional>

namespace routereel {

// Probes every clip of an export's timeline again before anything is written: a
// file replaced since it was loaded would otherwise be padded with its last
// picture, or scaled from another size, and the export reported as a success.
// Reads files: never on the main thread.
namespace exportsourcecheck {

// The first clip, in source order, that no longer is the one loaded: a piece
// reaches past its present length by more than a frame, its picture size or
// rate changed, or it cannot be probed. None when every clip still fits.
std::optional<ExportError> changedSource(const VideoTimelineSnapshot &timeline);

// The first of `paths` that is gone or, unless `timeline` holds it (changedSource
// reads those), ends before the data its index lists.
std::optional<ExportError> unusableSource(const QStringList &paths,
                                          const std::optional<VideoTimelineSnapshot> &timeline = std::nullopt);

} // namespace exportsourcecheck

} // namespace routereel
