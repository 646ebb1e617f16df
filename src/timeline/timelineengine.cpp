#include "timelineengine.h"

#include "segmentrules.h"
#include "timelinesnapshotcommand.h"

#include "base/usablesize.h"

#include <algorithm>
#include <cmath>

namespace routereel {

using namespace segmentrules;

namespace {

// Decimal tolerances are not exact in binary: 12.3 - 0.01 lies above 12.29.
// This slack lets a segment exactly at the tolerance count as within it.
constexpr double toleranceSlack = 1e-9;

double gpxLength(const GPXSegment &s)
{
    return s.gpxEnd - s.gpxStart;
}

double gpxEndOf(const GPXSegment &s)
{
    return s.offset + gpxLength(s);
}

// Orders by offset, list order kept among equals; non-finite offsets go last
// so that the ordering stays well defined.
template <typename Segment>
QList<Segment> byOffset(QList<Segment> list)
{
    std::stable_sort(list.begin(), list.end(), [](const Segment &a, const Segment &b) {
        if (std::isnan(a.offset))
            return false;
        return std::isnan(b.offset) || a.offset < b.offset;
    });
    return list;
}

// The snap target of `moving` among `lane`: the end of the segment that ends
// last at or before its offset (+ tolerance), so the snapped segment overlaps
// nothing that lies before it; failing that, the end of the last segment that
// starts before it and overlaps it; 0 without either.
template <typename Segment, typename EndOf>
double snapTarget(const QList<Segment> &lane, const Segment &moving, EndOf endOf)
{
    const double origin = moving.offset;
    std::optional<double> target;
    QList<Segment> others;
    for (const Segment &s : lane) {
        if (s.id != moving.id)
            others.append(s);
    }
    for (const Segment &s : others) {
        const double end = endOf(s);
        if (end <= origin + snapTolerance + toleranceSlack && (!target || end > *target))
            target = end;
    }
    if (!target) {
        for (const Segment &s : byOffset(others)) {
            if (s.offset < origin)
                target = endOf(s);
        }
    }
    return target.value_or(0.0);
}

// Moves `moving` to the target and ripples every segment that starts at or after it.
template <typename Segment>
QList<Segment> snapped(QList<Segment> lane, const Segment &moving, double target)
{
    const double origin = moving.offset;
    const double delta = target - origin;
    for (Segment &s : lane) {
        if (s.id == moving.id)
            s.offset = target;
        else if (s.offset >= origin - snapTolerance - toleranceSlack)
            s.offset = std::max(0.0, s.offset + delta);
    }
    return lane;
}

template <typename Segment>
std::optional<double> smallestOffset(const QList<Segment> &lane)
{
    std::optional<double> m;
    for (const Segment &s : lane) {
        if (std::isfinite(s.offset))
            m = m ? std::min(*m, s.offset) : s.offset;
    }
    return m;
}

} // namespace

bool TimelineEngine::UndoSnapshot::sameState(const UndoSnapshot &o) const
{
    return segments == o.segments && selectedId == o.selectedId && videoSegments == o.videoSegments
        && videoSources == o.videoSources && selectedVideoId == o.selectedVideoId && canvasOrigin == o.canvasOrigin;
}

TimelineEngine::TimelineEngine(QObject *parent) : QObject(parent), m_undoStack(new QUndoStack(this))
{
}

TimelineEngine::~TimelineEngine()
{
    // Commands refer back to the engine: drop them while it is still whole.
    m_undoStack->clear();
}

void TimelineEngine::setSegments(const QList<GPXSegment> &segments)
{
    dropCaches();
    if (segments == m_segments)
        return;
    m_segments = segments;
    emit segmentsChanged();
}

void TimelineEngine::setSelectedId(const QUuid &id)
{
    if (id != m_selectedId) {
        m_selectedId = id;
        emit selectedIdChanged();
    }
    if (!id.isNull())
        setSelectedVideoId({});
}

void TimelineEngine::setSelectedVideoId(const QUuid &id)
{
    if (id != m_selectedVideoId) {
        m_selectedVideoId = id;
        emit selectedVideoIdChanged();
    }
    if (!id.isNull())
        setSelectedId({});
}

void TimelineEngine::setVideoSources(const QList<VideoSource> &sources)
{
    if (sources == m_videoSources)
        return;
    m_videoSources = sources;
    emit videoSourcesChanged();
}

void TimelineEngine::setVideoSegments(const QList<VideoSegment> &segments)
{
    if (segments == m_videoSegments)
        return;
    m_videoSegments = segments;
    emit videoSegmentsChanged();
}

void TimelineEngine::setCanvasOrigin(const std::optional<QSizeF> &size)
{
    if (size == m_canvasOrigin)
        return;
    m_canvasOrigin = size;
    emit canvasOriginChanged();
}

// ---- lifecycle and undo

TimelineEngine::UndoSnapshot TimelineEngine::undoSnapshot(const QString &actionName) const
{
    return {m_segments, m_selectedId, m_videoSegments, m_videoSources, m_selectedVideoId, m_canvasOrigin, actionName};
}

void TimelineEngine::restoreSnapshot(const UndoSnapshot &snapshot)
{
    setCanvasOrigin(snapshot.canvasOrigin);
    setSegments(snapshot.segments);
    setVideoSources(snapshot.videoSources);
    setVideoSegments(snapshot.videoSegments);
    setSelectedId(snapshot.selectedId);
    setSelectedVideoId(snapshot.selectedVideoId);
}

void TimelineEngine::edit(const QString &actionName, const std::function<void()> &change, Unchanged unchanged)
{
    m_trimUndoSaved = false;
    UndoSnapshot before = undoSnapshot(actionName);
    change();
    UndoSnapshot after = undoSnapshot(actionName);
    if (unchanged == Unchanged::skip && after.sameState(before))
        return;
    m_undoStack->push(new TimelineSnapshotCommand(this, std::move(before), std::move(after)));
}

void TimelineEngine::trimEdit(const std::function<void()> &change)
{
    const QString name = QStringLiteral("Trim");
    UndoSnapshot before = undoSnapshot(name);
    change();
    UndoSnapshot after = undoSnapshot(name);
    if (after.sameState(before))
        return;
    if (!m_trimUndoSaved)
        ++m_trimDrag;
    m_undoStack->push(new TimelineSnapshotCommand(this, std::move(before), std::move(after), m_trimDrag));
    m_trimUndoSaved = true;
}

void TimelineEngine::registerUndoableTracksChange(const QList<GPXTrack> &newValue, const QString &actionName,
                                                  std::function<QList<GPXTrack>()> read,
                                                  std::function<void(const QList<GPXTrack> &)> write)
{
    registerUndoableChange<QList<GPXTrack>>(newValue, actionName, std::move(read), std::move(write));
}

void TimelineEngine::registerUndoableBoolChange(bool newValue, const QString &actionName, std::function<bool()> read,
                                                std::function<void(const bool &)> write)
{
    registerUndoableChange<bool>(newValue, actionName, std::move(read), std::move(write));
}

void TimelineEngine::load(const std::optional<QSizeF> &canvasSize)
{
    m_importGeneration = QUuid::createUuid();
    emit importGenerationChanged();
    setSegments({});
    setVideoSegments({});
    setVideoSources({});
    setCanvasOrigin(canvasSize && isUsableSize(*canvasSize) ? canvasSize : std::nullopt);
    setSelectedId({});
    setSelectedVideoId({});
    m_trimUndoSaved = false;
    m_undoStack->clear();
}

void TimelineEngine::clear()
{
    // Renewed even when there is nothing to clear, so imports in flight are dropped.
    m_importGeneration = QUuid::createUuid();
    emit importGenerationChanged();
    edit(QStringLiteral("Clear"), [this] {
        setSegments({});
        setVideoSegments({});
        setVideoSources({});
        setCanvasOrigin(std::nullopt);
        setSelectedId({});
        setSelectedVideoId({});
    });
}

bool TimelineEngine::hasSelection() const
{
    return !m_selectedId.isNull() || !m_selectedVideoId.isNull();
}

std::optional<TimelineEngine::TimeRange> TimelineEngine::gpxTimeRange() const
{
    std::optional<TimeRange> range;
    for (const GPXSegment &s : m_segments) {
        const double length = gpxLength(s);
        const double end = s.offset + length;
        if (!std::isfinite(s.offset) || s.offset < 0 || !std::isfinite(length) || !(length > 0)
            || !std::isfinite(end))
            continue;
        range = range ? TimeRange{std::min(range->lower, s.offset), std::max(range->upper, end)}
                      : TimeRange{s.offset, end};
    }
    return range;
}

VideoTimelineSnapshot TimelineEngine::videoSnapshot() const
{
    return {m_videoSources, m_videoSegments, m_canvasOrigin};
}

void TimelineEngine::updateCanvasOrigin(const std::optional<QSizeF> &size)
{
    if (m_canvasOrigin || !size || !isUsableSize(*size))
        return;
    setCanvasOrigin(size);
}

GPXSegment *TimelineEngine::findSegment(const QUuid &id)
{
    for (GPXSegment &s : m_segments) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

VideoSegment *TimelineEngine::findVideoSegment(const QUuid &id)
{
    for (VideoSegment &s : m_videoSegments) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

const VideoSource *TimelineEngine::findSource(const QUuid &id) const
{
    for (const VideoSource &s : m_videoSources) {
        if (s.id == id)
            return &s;
    }
    return nullptr;
}

// ---- GPX lane

void TimelineEngine::importGPX(const GPXTrack &track)
{
    if (!(track.duration > 0) || !std::isfinite(track.duration))
        return;
    edit(QStringLiteral("Import"), [&] {
        double offset = 0;
        for (const GPXSegment &s : m_segments) {
            if (std::isfinite(gpxEndOf(s)))
                offset = std::max(offset, gpxEndOf(s));
        }
        GPXSegment segment;
        segment.trackID = track.id;
        segment.gpxStart = 0;
        segment.gpxEnd = track.duration;
        segment.offset = offset;
        QList<GPXSegment> lane = m_segments;
        lane.append(segment);
        setSegments(lane);
    });
}

void TimelineEngine::moveSegment(const QUuid &id, double offset)
{
    if (!findSegment(id))
        return;
    // A drag that ends where it began is still a move the user made: it gets its step.
    edit(
        QStringLiteral("Move"),
        [&] {
            QList<GPXSegment> lane = m_segments;
            for (GPXSegment &s : lane) {
                if (s.id == id) {
                    s.offset = offset >= 0 ? offset : 0.0;  // NaN gives 0
                    break;
                }
            }
            setSegments(lane);
        },
        Unchanged::keep);
}

void TimelineEngine::snapSegment(const QUuid &id)
{
    const GPXSegment *found = findSegment(id);
    if (!found)
        return;
    const GPXSegment moving = *found;
    const double target = snapTarget(m_segments, moving, gpxEndOf);
    if (std::fabs(target - moving.offset) <= snapTolerance + toleranceSlack)
        return;
    edit(QStringLiteral("Snap"), [&] { setSegments(snapped(m_segments, moving, target)); });
}

void TimelineEngine::trimSegmentStart(const QUuid &id, double gpxStart, double offset, double trackDuration)
{
    const GPXSegment *s = findSegment(id);
    if (!s)
        return;
    const auto trimmed = clampedTrimStart(gpxStart, offset, s->gpxEnd, trackDuration);
    if (!trimmed || (trimmed->start == s->gpxStart && trimmed->offset == s->offset))
        return;
    trimEdit([&] {
        QList<GPXSegment> lane = m_segments;
        auto target = std::find_if(lane.begin(), lane.end(), [&](const GPXSegment &x) { return x.id == id; });
        target->gpxStart = trimmed->start;
        target->offset = trimmed->offset;
        setSegments(lane);
    });
}

void TimelineEngine::trimSegmentEnd(const QUuid &id, double gpxEnd, double trackDuration)
{
    const GPXSegment *s = findSegment(id);
    if (!s)
        return;
    const auto end = clampedTrimEnd(gpxEnd, s->gpxStart, trackDuration);
    if (!end || *end == s->gpxEnd)
        return;
    trimEdit([&] {
        QList<GPXSegment> lane = m_segments;
        auto target = std::find_if(lane.begin(), lane.end(), [&](const GPXSegment &x) { return x.id == id; });
        target->gpxEnd = *end;
        setSegments(lane);
    });
}

void TimelineEngine::splitAtPlayhead(double t)
{
    if (!m_selectedVideoId.isNull()) {
        splitVideoSegment(m_selectedVideoId, t);
        return;
    }
    const GPXSegment *found = findSegment(m_selectedId);
    if (m_selectedId.isNull() || !found)
        return;
    const GPXSegment old = *found;
    const auto cut = splitPoint(t, old.offset, old.gpxStart, old.gpxEnd);
    if (!cut)
        return;
    edit(QStringLiteral("Split"), [&] {
        GPXSegment first;
        first.trackID = old.trackID;
        first.gpxStart = old.gpxStart;
        first.gpxEnd = *cut;
        first.offset = old.offset;
        GPXSegment second;
        second.trackID = old.trackID;
        second.gpxStart = *cut;
        second.gpxEnd = old.gpxEnd;
        second.offset = t;
        QList<GPXSegment> lane = m_segments;
        const qsizetype at = std::find_if(lane.cbegin(), lane.cend(), [&](const GPXSegment &x) { return x.id == old.id; })
            - lane.cbegin();
        lane.replace(at, first);
        lane.insert(at + 1, second);
        setSegments(lane);
        setSelectedId(second.id);
    });
}

bool TimelineEngine::canSplit(double t) const
{
    if (!m_selectedVideoId.isNull()) {
        for (const VideoSegment &v : m_videoSegments) {
            if (v.id == m_selectedVideoId)
                return splitPoint(t, v.offset, v.sourceStart, v.sourceEnd).has_value();
        }
    }
    if (!m_selectedId.isNull()) {
        for (const GPXSegment &s : m_segments) {
            if (s.id == m_selectedId)
                return splitPoint(t, s.offset, s.gpxStart, s.gpxEnd).has_value();
        }
    }
    return false;
}

void TimelineEngine::deleteSegment(const QUuid &id)
{
    // A step even when no segment has that id: callers count one step per delete.
    edit(
        QStringLiteral("Delete"),
        [&] {
            QList<GPXSegment> lane = m_segments;
            lane.removeIf([&](const GPXSegment &s) { return s.id == id; });
            setSegments(lane);
            if (m_selectedId == id)
                setSelectedId({});
        },
        Unchanged::keep);
}

void TimelineEngine::deleteSelected()
{
    if (!m_selectedVideoId.isNull()) {
        const QUuid id = m_selectedVideoId;
        edit(QStringLiteral("Delete"), [&] {
            QList<VideoSegment> lane = m_videoSegments;
            lane.removeIf([&](const VideoSegment &s) { return s.id == id; });
            setVideoSegments(lane);
            setSelectedVideoId({});
        });
    } else if (!m_selectedId.isNull()) {
        deleteSegment(m_selectedId);
    }
}

void TimelineEngine::toggleSegmentSelection(const QUuid &id)
{
    setSelectedVideoId({});
    setSelectedId(m_selectedId == id ? QUuid() : id);
}

void TimelineEngine::toggleVideoSegmentSelection(const QUuid &id)
{
    setSelectedId({});
    setSelectedVideoId(m_selectedVideoId == id ? QUuid() : id);
}

bool TimelineEngine::canAlignToZero() const
{
    return smallestOffset(m_videoSegments).value_or(0) > 0 || smallestOffset(m_segments).value_or(0) > 0;
}

void TimelineEngine::alignToZero()
{
    const double videoMin = smallestOffset(m_videoSegments).value_or(0);
    const double gpxMin = smallestOffset(m_segments).value_or(0);
    if (!(videoMin > 0) && !(gpxMin > 0))
        return;
    edit(tr("Align Tracks to Zero"), [&] {
        if (videoMin > 0) {
            QList<VideoSegment> lane = m_videoSegments;
            for (VideoSegment &s : lane)
                s.offset -= videoMin;
            setVideoSegments(lane);
        }
        if (gpxMin > 0) {
            QList<GPXSegment> lane = m_segments;
            for (GPXSegment &s : lane)
                s.offset -= gpxMin;
            setSegments(lane);
        }
    });
}

// ---- video lane

void TimelineEngine::importVideo(const VideoSource &source)
{
    edit(QStringLiteral("Import"), [&] {
        updateCanvasOrigin(source.resolution);
        double offset = 0;
        for (const VideoSegment &s : m_videoSegments) {
            if (std::isfinite(s.end()))
                offset = std::max(offset, s.end());
        }
        QList<VideoSource> sources = m_videoSources;
        sources.append(source);
        setVideoSources(sources);
        VideoSegment segment;
        segment.sourceID = source.id;
        segment.sourceStart = 0;
        segment.sourceEnd = source.duration;
        segment.offset = offset;
        QList<VideoSegment> lane = m_videoSegments;
        lane.append(segment);
        setVideoSegments(lane);
    });
}

void TimelineEngine::moveVideoSegment(const QUuid &id, double offset)
{
    if (!std::isfinite(offset))
        return;
    const VideoSegment *s = findVideoSegment(id);
    if (!s)
        return;
    const double clamped = std::max(0.0, offset);
    if (std::fabs(s->offset - clamped) <= 0.000001)
        return;
    edit(QStringLiteral("Move"), [&] {
        QList<VideoSegment> lane = m_videoSegments;
        std::find_if(lane.begin(), lane.end(), [&](const VideoSegment &x) { return x.id == id; })->offset = clamped;
        setVideoSegments(lane);
    });
}

void TimelineEngine::snapVideoSegment(const QUuid &id)
{
    const VideoSegment *found = findVideoSegment(id);
    if (!found)
        return;
    const VideoSegment moving = *found;
    auto endOf = [](const VideoSegment &s) { return s.end(); };
    const double target = snapTarget(m_videoSegments, moving, endOf);
    if (std::fabs(target - moving.offset) <= snapTolerance + toleranceSlack)
        return;
    edit(QStringLiteral("Snap"),
         [&] { setVideoSegments(snapped(m_videoSegments, moving, target)); });
}

void TimelineEngine::trimVideoSegmentStart(const QUuid &id, double sourceStart, double offset)
{
    const VideoSegment *s = findVideoSegment(id);
    const VideoSource *source = s ? findSource(s->sourceID) : nullptr;
    if (!source)
        return;
    const auto trimmed = clampedTrimStart(sourceStart, offset, s->sourceEnd, source->duration);
    if (!trimmed || (trimmed->start == s->sourceStart && trimmed->offset == s->offset))
        return;
    trimEdit([&] {
        QList<VideoSegment> lane = m_videoSegments;
        auto target = std::find_if(lane.begin(), lane.end(), [&](const VideoSegment &x) { return x.id == id; });
        target->sourceStart = trimmed->start;
        target->offset = trimmed->offset;
        setVideoSegments(lane);
    });
}

void TimelineEngine::trimVideoSegmentEnd(const QUuid &id, double sourceEnd)
{
    const VideoSegment *s = findVideoSegment(id);
    const VideoSource *source = s ? findSource(s->sourceID) : nullptr;
    if (!source)
        return;
    const auto end = clampedTrimEnd(sourceEnd, s->sourceStart, source->duration);
    if (!end || *end == s->sourceEnd)
        return;
    trimEdit([&] {
        QList<VideoSegment> lane = m_videoSegments;
        std::find_if(lane.begin(), lane.end(), [&](const VideoSegment &x) { return x.id == id; })->sourceEnd = *end;
        setVideoSegments(lane);
    });
}

void TimelineEngine::splitVideoSegment(const QUuid &id, double t)
{
    const VideoSegment *found = findVideoSegment(id);
    if (!found)
        return;
    const VideoSegment old = *found;
    const auto cut = splitPoint(t, old.offset, old.sourceStart, old.sourceEnd);
    if (!cut)
        return;
    edit(QStringLiteral("Split"), [&] {
        VideoSegment first = old;
        first.id = QUuid::createUuid();
        first.sourceEnd = *cut;
        VideoSegment second = old;
        second.id = QUuid::createUuid();
        second.sourceStart = *cut;
        second.offset = t;
        QList<VideoSegment> lane = m_videoSegments;
        const qsizetype at =
            std::find_if(lane.cbegin(), lane.cend(), [&](const VideoSegment &x) { return x.id == old.id; })
            - lane.cbegin();
        lane.replace(at, first);
        lane.insert(at + 1, second);
        setVideoSegments(lane);
        setSelectedVideoId(second.id);
    });
}

} // namespace routereel
