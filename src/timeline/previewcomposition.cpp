#include "previewcomposition.h"

#include "media/videotimelineerror.h"

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

const VideoSource *firstUsedSource(const VideoTimelineSnapshot &snapshot)
{
    for (const VideoSource &source : snapshot.sources) {
        for (const VideoSegment &segment : snapshot.segments) {
            if (segment.sourceID == source.id)
                return &source;
        }
    }
    return nullptr;
}

qint64 frameDuration(double fps)
{
    // A source without a usable rate plays at the usual 30 frames per second.
    const double rate = fps > 0 && std::isfinite(fps) ? fps : 30.0;
    return compositionTicks(1.0 / rate).value_or(2000);
}

// The clip's sound laid over [start, start + length): its own audio where the
// first audio track covers the source range, silence before and after.
std::vector<PreviewAudioPiece> audioFor(const ClipTracks &tracks, double clipStart, qint64 start, qint64 length,
                                        qint64 sourceStart)
{
    std::vector<PreviewAudioPiece> out;
    qint64 cursor = start;
    if (tracks.hasAudio) {
        // Source times count from the file's start time, the track's from the file's clock.
        const auto audioStart = compositionTicks(tracks.audioStart - clipStart);
        const auto audioEnd = compositionTicks(tracks.audioStart - clipStart + tracks.audioDuration);
        if (audioStart && audioEnd) {
            const qint64 from = std::max(*audioStart, sourceStart);
            const qint64 to = std::min(*audioEnd, sourceStart + length);
            if (to > from) {
                const qint64 at = start + (from - sourceStart);
                if (at > start)
                    out.push_back({start, at - start, std::nullopt});
                out.push_back({at, to - from, from});
                cursor = at + (to - from);
            }
        }
    }
    if (cursor < start + length)
        out.push_back({cursor, start + length - cursor, std::nullopt});
    return out;
}

} // namespace

QTransform PreviewComposition::fitTransform(const QSizeF &naturalSize, const QTransform &preferred,
                                            const QSizeF &canvas, const QSizeF &displayed)
{
    const QRectF upright = preferred.mapRect(QRectF(QPointF(0, 0), naturalSize));
    // Non-square pixels: the upright picture is stretched to the shape it is shown at.
    const QSizeF shown = displayed.isEmpty() ? upright.size() : displayed;
    const double sx = shown.width() / upright.width();
    const double sy = shown.height() / upright.height();
    const double k = std::min(canvas.width() / shown.width(), canvas.height() / shown.height());
    return preferred * QTransform::fromScale(sx * k, sy * k)
        * QTransform::fromTranslate((canvas.width() - shown.width() * k) * 0.5 - upright.x() * sx * k,
                                    (canvas.height() - shown.height() * k) * 0.5 - upright.y() * sy * k);
}

std::optional<PreviewPlan> PreviewComposition::makePlan(const VideoTimelineSnapshot &snapshot,
                                                        const TrackReader &readTracks,
                                                        const std::function<bool()> &cancelled)
{
    const VideoSource *first = firstUsedSource(snapshot);
    PreviewPlan plan;
    plan.renderSize = snapshot.canvasSize();
    if (first)
        plan.frameDuration = frameDuration(first->fps);
    if (snapshot.singleFullSource() && first) {
        plan.directUrl = first->url;
        plan.directDuration = first->duration;
        plan.directStartTime = first->startTime;
        return plan;
    }
    if (!first)
        throw VideoTimelineError::invalidVideo(QString());

    const QSizeF canvas = plan.renderSize;
    for (const VideoTimelineSnapshot::Slice &slice : snapshot.slices()) {
        if (cancelled && cancelled())
            return std::nullopt;
        const auto start = compositionTicks(slice.offset);
        const auto end = compositionTicks(slice.offset + slice.duration);
        const auto sourceStart = compositionTicks(slice.sourceStart);
        if (!start || !end || !sourceStart)
            throw VideoTimelineError::invalidVideo(first->url.fileName());
        const qint64 length = *end - *start;
        if (length <= 0)
            continue;

        PreviewPiece piece;
        piece.start = *start;
        piece.length = length;
        piece.seconds = PreviewSeconds{slice.offset, slice.offset + slice.duration, slice.sourceStart};
        if (slice.isGap()) {
            piece.audio.push_back({*start, length, std::nullopt});
            plan.pieces.push_back(std::move(piece));
            continue;
        }
        const VideoSource &source = *slice.source;
        const ClipTracks tracks = readTracks(source.url);
        const QRectF upright = tracks.preferredTransform.mapRect(QRectF(QPointF(0, 0), tracks.naturalSize));
        if (!tracks.hasVideo || !(upright.width() >= 1) || !(upright.height() >= 1))
            throw VideoTimelineError::invalidVideo(source.url.fileName());
        piece.url = source.url;
        piece.sourceStart = *sourceStart;
        piece.clipStartTime = source.startTime;
        piece.naturalSize = tracks.naturalSize;
        piece.fit = fitTransform(tracks.naturalSize, tracks.preferredTransform, canvas, source.resolution);
        piece.audio = audioFor(tracks, source.startTime, *start, length, *sourceStart);
        plan.pieces.push_back(std::move(piece));
    }
    return plan;
}

QFuture<std::optional<PreviewPlan>> PreviewComposition::makePlanAsync(const VideoTimelineSnapshot &snapshot,
                                                                      std::shared_ptr<std::atomic_bool> cancel)
{
    return QtConcurrent::run([snapshot, cancel] {
        return makePlan(snapshot, &ClipTracks::read, [cancel] { return cancel->load(); });
    });
}

} // namespace routereel
