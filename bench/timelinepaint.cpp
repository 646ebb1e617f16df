// routereel-bench timeline-paint [PAINTS]: how long one paint of the timeline panel
// takes, 1920 wide, with 1,000 GPX and 200 video segments over 31 days, at the
// highest and at the lowest zoom. Painting runs on the calling thread only.
#include "benchcommand.h"

#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "ui/state/windowstate.h"
#include "ui/timeline/timelinemath.h"
#include "ui/timeline/timelinescrollarea.h"
#include "ui/timeline/timelineview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <vector>

namespace routereel::bench {
namespace {

// A player with nothing to play: the panel only reads the clock.
class IdlePlayer : public PreviewPlayer {
public:
    ItemId replaceItem(std::optional<PreviewPlan>) override { return 0; }
    ItemId currentItem() const override { return 0; }
    ItemStatus itemStatus() const override { return ItemStatus::unknown; }
    QString itemError() const override { return {}; }
    void play() override {}
    void pause() override {}
    bool isPlaying() const override { return false; }
    double currentTime() const override { return std::numeric_limits<double>::quiet_NaN(); }
    void seek(double, std::function<void(bool)> completion) override { completion(false); }
    QImage currentFrame() const override { return {}; }
    QTransform currentFrameTransform() const override { return {}; }
    QSizeF renderSize() const override { return {1920, 1080}; }
};

constexpr double span = 31 * 86400.0;

void fill(GPXService &store, TimelineEngine &engine)
{
    QList<GPXTrack> tracks;
    for (int i = 0; i < 8; ++i) {
        GPXTrack track;
        track.fileName = QStringLiteral("track%1.gpx").arg(i);
        track.duration = span;
        track.colorIndex = i;
        tracks.append(track);
    }
    store.setTracks(tracks);
    QList<GPXSegment> segments;
    const double gpxStep = span / 1000;
    for (int i = 0; i < 1000; ++i) {
        GPXSegment s;
        s.trackID = tracks[i % 8].id;
        s.gpxStart = i * gpxStep;
        s.gpxEnd = s.gpxStart + gpxStep * 0.8;
        s.offset = i * gpxStep;
        segments.append(s);
    }
    engine.setSegments(segments);
    QList<VideoSource> sources;
    QList<VideoSegment> cuts;
    const double videoStep = span / 200;
    for (int i = 0; i < 200; ++i) {
        VideoSource source;
        source.id = QUuid::createUuid();
        source.url = QUrl::fromLocalFile(QStringLiteral("/clips/clip%1.mov").arg(i, 3, 10, QLatin1Char('0')));
        source.duration = 1800;
        source.resolution = QSizeF(1920, 1080);
        sources.append(source);
        VideoSegment cut;
        cut.sourceID = source.id;
        cut.sourceEnd = 1800;
        cut.offset = i * videoStep;
        cuts.append(cut);
    }
    engine.setVideoSources(sources);
    engine.setVideoSegments(cuts);
    engine.setSelectedId(segments[500].id);
}

double medianPaintMs(QWidget &panel, int paints)
{
    QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> ms;
    for (int i = 0; i < paints; ++i) {
        image.fill(Qt::transparent);
        QElapsedTimer timer;
        timer.start();
        {
            QPainter painter(&image);
            panel.render(&painter);
        }
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

int run(const QStringList &args)
{
    const int paints = args.isEmpty() ? 200 : args.first().toInt();
    if (paints <= 0) {
        std::fprintf(stderr, "timeline-paint: PAINTS must be a positive number\n");
        return 2;
    }
    VideoPlayerService player(new IdlePlayer);
    GPXService store;
    TimelineEngine engine;
    WindowState state;
    TimelineView view(player, *player.clock(), store, engine, state);
    view.resize(1920, view.height());
    view.show();
    fill(store, engine);
    QCoreApplication::processEvents();
    player.clock()->setPlayheadTime(span / 2);

    // Highest zoom, where a clip starts, with GPX bars and labels in view.
    view.setPps(timelinemetrics::maxPps);
    const double at = engine.videoSegments()[100].offset - 3;
    view.scrollArea()->setScrollOffset(at * view.pps());
    QCoreApplication::processEvents();
    const double in = medianPaintMs(view, paints);
    std::printf("timeline-paint zoomed in  (%.0f pt/s): median %.3f ms per paint (%d paints)\n", view.pps(), in,
                paints);

    view.setPps(view.minPps());
    view.scrollArea()->setScrollOffset(0);
    QCoreApplication::processEvents();
    const double out = medianPaintMs(view, paints);
    std::printf("timeline-paint zoomed out (%.6f pt/s): median %.3f ms per paint (%d paints)\n", view.pps(), out,
                paints);
    return 0;
}

const bool registered = registerCommand("timeline-paint", "[PAINTS=200]", run);

} // namespace
} // namespace routereel::bench
