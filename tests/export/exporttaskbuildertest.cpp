#include "widgets/canvasgeometry.h"
#include "export/exporttaskbuilder.h"

#include "timeline/timelineengine.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "support/timelinefixtures.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace routereel;
using testsupport::cut;

namespace {

struct ClearedSettings {
    ClearedSettings() { QSettings().clear(); }
};

// The models of a window with one 120 s track on the timeline at offset 0 and,
// unless removed, one 60 s clip of 1920 x 1080 that exists on disk.
struct Window {
    ClearedSettings cleared;
    QTemporaryDir dir;
    GPXService gpx;
    TimelineEngine engine;
    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings gpsPath;
    HeartRateWidgetSettings heartRate;
    HeartRateGraphWidgetSettings heartRateGraph;
    ExportTaskBuilder::PlayerState player;
    ExportTaskBuilder::WindowState state;
    VideoSource clip;

    Window()
    {
        GPXTrack track;
        track.duration = 120;
        gpx.setTracks({track});
        setGPX({{0, 60}});
        clip = addClip(QStringLiteral("clip.mp4"), 60, {1920, 1080});
        engine.setVideoSegments({cut(clip, 0, 60, 0)});
        engine.setCanvasOrigin(QSizeF(1920, 1080));
        player.videoURL = clip.url;
        player.isLoaded = true;
        player.isMetadataReady = true;
        player.duration = 60;
        player.videoFPS = 25;
        player.videoBitRate = 8e6;
        state.layoutSize = referenceCanvasSize(QSizeF(1920, 1080));
    }

    // GPX segments of the one track: (offset, length) each.
    void setGPX(const QList<std::pair<double, double>> &pieces)
    {
        QList<GPXSegment> segments;
        for (const auto &[offset, length] : pieces)
            segments.append(testsupport::segmentOf(gpx.tracks().first(), 10, 10 + length, offset));
        engine.setSegments(segments);
    }

    VideoSource addClip(const QString &name, double duration, QSizeF resolution, bool onDisk = true)
    {
        VideoSource s;
        s.id = QUuid::createUuid();
        s.url = QUrl::fromLocalFile(dir.filePath(name));
        s.duration = duration;
        s.resolution = resolution;
        s.fps = 25;
        if (onDisk) {
            QFile file(s.url.toLocalFile());
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        }
        engine.setVideoSources(engine.videoSources() << s);
        return s;
    }

    ExportTaskBuilder builder() const
    {
        return ExportTaskBuilder({gpx, engine, map, time, speed, gpsPath, heartRate, heartRateGraph}, player, state);
    }
    const QUrl output = QUrl::fromLocalFile(QStringLiteral("/exports/out.mp4"));

    std::optional<ExportStartError> error() const
    {
        auto built = builder().build(output);
        if (const auto *e = std::get_if<ExportStartError>(&built))
            return *e;
        return std::nullopt;
    }
    ExportTask task() const
    {
        auto built = builder().build(output);
        if (const auto *e = std::get_if<ExportStartError>(&built)) {
            ADD_FAILURE() << qPrintable(e->message());
            return {};
        }
        return std::get<ExportTask>(built);
    }
};

using Kind = ExportStartError::Kind;

} // namespace

TEST(ExportTaskBuilder, ChecksRefuseInTheirOrder)
{
    struct Case {
        const char *name;
        std::function<void(Window &)> change;
        std::optional<Kind> expected;
    };
    const QList<Case> cases{
        {"ready", [](Window &) {}, std::nullopt},
        // No tracks comes first, even without a video.
        {"no tracks", [](Window &w) { w.gpx.setTracks({}); w.player.videoURL.clear(); }, Kind::noTracks},
        {"no tracks, overlay",
         [](Window &w) { w.gpx.setTracks({}); w.state.compositionMode = CompositionMode::overlay; }, Kind::noTracks},
        {"no video", [](Window &w) { w.player.videoURL.clear(); w.player.isMetadataReady = false; }, Kind::noVideo},
        {"used source deleted",
         [](Window &w) { QFile::remove(w.clip.url.toLocalFile()); w.player.isMetadataReady = false; },
         Kind::sourceVideoMissing},
        {"unused source deleted",
         [](Window &w) { w.addClip(QStringLiteral("gone.mp4"), 10, {1280, 720}, false); }, std::nullopt},
        {"metadata loading", [](Window &w) { w.player.isMetadataReady = false; }, Kind::metadataLoading},
        {"gpx 0.05 s past the video", [](Window &w) { w.setGPX({{0.05, 60}}); }, std::nullopt},
        {"gpx 0.2 s past the video", [](Window &w) { w.setGPX({{0, 30}, {30.2, 30}}); }, Kind::gpxBeyondVideo},
        {"player not loaded", [](Window &w) { w.player.isLoaded = false; }, Kind::notReady},
        // Overlay mode reads nothing of the video, but needs a GPX range.
        {"overlay without video",
         [](Window &w) {
             w.state.compositionMode = CompositionMode::overlay;
             w.player = {};
             QFile::remove(w.clip.url.toLocalFile());
             w.setGPX({{0, 500}});
         },
         std::nullopt},
        {"overlay without gpx range",
         [](Window &w) { w.state.compositionMode = CompositionMode::overlay; w.engine.setSegments({}); },
         Kind::notReady},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Window w;
        c.change(w);
        const auto error = w.error();
        EXPECT_EQ(error ? std::optional(error->kind()) : std::nullopt, c.expected)
            << (error ? qPrintable(error->message()) : "");
        if (!error) {
            EXPECT_TRUE(w.builder().canExport());
        } else if (error->kind() == Kind::notReady) {
            EXPECT_FALSE(w.builder().canExport());
        }
    }
}

TEST(ExportTaskBuilder, MessagesNameWhatTheUserMustFix)
{
    Window w;
    w.setGPX({{0, 30}, {45, 30.2}});
    ASSERT_TRUE(w.error());
    EXPECT_EQ(w.error()->message(), QStringLiteral("GPX track extends beyond video (1:15 > 1:00). Trim or remove "
                                                   "excess segments before exporting."));

    Window missing;
    QFile::remove(missing.clip.url.toLocalFile());
    ASSERT_TRUE(missing.error());
    EXPECT_TRUE(missing.error()->message().contains(missing.clip.url.toLocalFile()));
    EXPECT_TRUE(missing.error()->isShown());

    Window idle;
    idle.player.isLoaded = false;
    ASSERT_TRUE(idle.error());
    EXPECT_FALSE(idle.error()->isShown());  // the window disables Export instead

    EXPECT_EQ(formatMinutesSeconds(75.9), QStringLiteral("1:15"));
    EXPECT_EQ(formatMinutesSeconds(3600), QStringLiteral("60:00"));
    EXPECT_EQ(formatMinutesSeconds(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("0:00"));
}

TEST(ExportTaskBuilder, NoWidgetEnabledIsRefused)
{
    Window w;
    EXPECT_FALSE(w.builder().checkWidgets());
    w.map.setEnabled(false);
    w.gpsPath.setEnabled(false);
    w.time.setEnabled(false);
    w.speed.setEnabled(false);
    w.heartRate.setEnabled(false);
    // One widget left is enough.
    w.heartRateGraph.setEnabled(true);
    EXPECT_FALSE(w.builder().checkWidgets());
    EXPECT_FALSE(w.builder().needsNetwork());
    w.heartRateGraph.setEnabled(false);
    ASSERT_TRUE(w.builder().checkWidgets());
    EXPECT_EQ(w.builder().checkWidgets()->kind(), Kind::noWidgets);
    w.gpsPath.setEnabled(true);
    w.gpsPath.setShowMap(false);
    EXPECT_FALSE(w.builder().needsNetwork());
    w.gpsPath.setShowMap(true);
    EXPECT_TRUE(w.builder().needsNetwork());
}

TEST(ExportTaskBuilder, RegularTaskTakesTheVideoAndTheUsersSettings)
{
    Window w;
    // A second clip after a gap; the export runs from the first segment's start to the last end.
    const VideoSource second = w.addClip(QStringLiteral("b.mp4"), 30, {1280, 720});
    w.engine.setVideoSegments({cut(w.clip, 5, 25, 2), cut(second, 0, 4, 30)});
    w.player.duration = 34;
    w.setGPX({{2, 30}});
    w.state.selectedPreset = ExportPreset::p720;
    w.speed.setUnit(SpeedUnit::mph);
    w.heartRate.setShowIcon(false);

    const ExportTask task = w.task();
    EXPECT_EQ(task.compositionMode, CompositionMode::regular);
    EXPECT_EQ(task.videoURL, w.clip.url);
    ASSERT_TRUE(task.videoTimeline);
    EXPECT_EQ(*task.videoTimeline, w.engine.videoSnapshot());
    EXPECT_EQ(task.segments, w.engine.segments());
    EXPECT_DOUBLE_EQ(task.videoDuration, 32);
    EXPECT_EQ(task.videoResolution, QSizeF(1920, 1080));
    EXPECT_DOUBLE_EQ(task.videoFPS, 25);
    EXPECT_DOUBLE_EQ(task.outputScale, 720.0 / 1080);
    EXPECT_EQ(task.speedWidget.speedUnit, SpeedUnit::mph);
    EXPECT_EQ(task.heartRateWidget.hrShowIcon, false);
}

TEST(ExportTaskBuilder, OverlayTaskHasNoVideo)
{
    Window w;
    w.state.compositionMode = CompositionMode::overlay;
    w.state.selectedPreset = ExportPreset::p2K;  // not offered in overlay mode
    w.engine.setCanvasOrigin(QSizeF(1080, 1920));
    w.setGPX({{5, 100}, {200, 40}});
    EXPECT_EQ(w.builder().offeredExportPresets(), overlayPresets());

    const ExportTask task = w.task();
    EXPECT_EQ(task.compositionMode, CompositionMode::overlay);
    EXPECT_TRUE(task.videoURL.isEmpty());
    ASSERT_TRUE(task.videoTimeline);
    EXPECT_EQ(*task.videoTimeline, VideoTimelineSnapshot{});
    EXPECT_DOUBLE_EQ(task.videoDuration, 235);
    EXPECT_DOUBLE_EQ(task.videoFPS, 30);
    EXPECT_DOUBLE_EQ(task.videoBitRate, 0);
    EXPECT_DOUBLE_EQ(task.outputScale, 1);
    EXPECT_EQ(task.videoResolution, QSizeF(1080, 1920));  // 1080p on the upright canvas

    w.state.selectedPreset = ExportPreset::p720;
    EXPECT_EQ(w.task().videoResolution, QSizeF(720, 1280));
}

TEST(ExportTaskBuilder, CompressionFactorIsClamped)
{
    const QList<std::pair<double, double>> cases{{0.3, 0.6},
                                                 {1.4, 1.0},
                                                 {0.85, 0.85},
                                                 {std::numeric_limits<double>::quiet_NaN(), 1.0},
                                                 {-std::numeric_limits<double>::infinity(), 1.0}};
    for (const auto &[stored, expected] : cases) {
        Window w;
        w.state.compressionFactor = stored;
        EXPECT_DOUBLE_EQ(w.task().compressionFactor, expected) << stored;
    }
}

TEST(ExportTaskBuilder, WidgetsNeverMovedSitAtTheirDefaultPlaces)
{
    // 1920 x 1080 canvas, layout 960 x 540: two output pixels per layout point.
    Window w;
    w.map.setWidth(180);
    w.map.setBorderStyle(MapBorderStyle::defaultStyle);
    w.heartRateGraph.setWidth(240);
    w.heartRateGraph.setHeight(100);
    w.gpsPath.setWidth(150);
    w.gpsPath.setPadding(10);
    w.time.setFontSize(30);
    const ExportTask task = w.task();
    EXPECT_DOUBLE_EQ(task.previewToVideoScale, 2);
    EXPECT_EQ(std::pair(task.timeWidget.x, task.timeWidget.y), std::pair(1760, 1020));
    EXPECT_EQ(std::pair(task.speedWidget.x, task.speedWidget.y), std::pair(160, 1020));
    EXPECT_EQ(std::pair(task.heartRateWidget.x, task.heartRateWidget.y), std::pair(160, 948));
    EXPECT_DOUBLE_EQ(task.timeWidget.fontSize, 60);
    // Circle: the map is 180 x 180 at (16, 16) of the layout.
    EXPECT_EQ(std::pair(task.overlayX, task.overlayY), std::pair(32, 32));
    EXPECT_EQ(task.mapSize, QSizeF(360, 360));
    EXPECT_EQ(task.mapReferenceSize, QSizeF(180, 180));
    EXPECT_EQ(std::pair(task.heartRateGraphWidget.centerX, task.heartRateGraphWidget.centerY),
              std::pair(2 * (960 - 120 - 16), 2 * (540 - 50 - 200)));
    EXPECT_DOUBLE_EQ(task.heartRateGraphWidget.pixelWidth, 480);
    EXPECT_DOUBLE_EQ(task.heartRateGraphWidget.referenceWidth, 240);
    EXPECT_EQ(std::pair(task.gpsPathWidget.centerX, task.gpsPathWidget.centerY),
              std::pair(2 * (960 - 75 - 16), 2 * (540 - 75 - 16)));
    EXPECT_DOUBLE_EQ(task.gpsPathWidget.pixelSize, 300);
    EXPECT_DOUBLE_EQ(task.gpsPathWidget.padding, 20);
}

TEST(ExportTaskBuilder, MovedWidgetsAreKeptInsideTheFrame)
{
    Window w;
    w.map.setShape(MapShape::roundedRect);
    w.map.setWidth(200);
    w.map.setHeight(120);
    w.map.setCornerRadius(12);
    w.map.setBorderStyle(MapBorderStyle::gta);
    w.state.mapPosition = QPointF(0, 0);            // its ring would leave the frame
    w.state.timePosition = QPointF(2000, -50);       // beyond the layout
    w.state.speedPosition = QPointF(480.7, 270.9);   // pixels truncate
    w.state.gpsPathPosition = QPointF(960, 540);
    const ExportTask task = w.task();
    const double ring = borderTotalWidth(MapBorderStyle::gta) * 1.5;
    EXPECT_EQ(std::pair(task.overlayX, task.overlayY), std::pair(int(2 * ring), int(2 * ring)));
    EXPECT_DOUBLE_EQ(task.cornerRadius, 24);
    EXPECT_EQ(task.mapSize, QSizeF(400, 240));
    EXPECT_EQ(std::pair(task.timeWidget.x, task.timeWidget.y), std::pair(1920, 0));
    EXPECT_EQ(std::pair(task.speedWidget.x, task.speedWidget.y), std::pair(961, 541));
    const double half = w.gpsPath.width() / 2 + borderTotalWidth(w.gpsPath.borderStyle())
        * (w.gpsPath.borderStyle() == MapBorderStyle::gta ? 1.5 : 1.0);
    EXPECT_EQ(task.gpsPathWidget.centerX, int(2 * (960 - half)));
    EXPECT_EQ(task.gpsPathWidget.centerY, int(2 * (540 - half)));
}

TEST(ExportTaskBuilder, PositionsOfAStoredLayoutScaleToTheOutput)
{
    // A 4K canvas laid out on a 1280 x 720 layout, exported at 1080p: the canvas
    // stays, the pipeline scales it by one half.
    Window w;
    w.engine.setCanvasOrigin(QSizeF(3840, 2160));
    w.state.layoutSize = referenceCanvasSize(QSizeF(3840, 2160), QSizeF(1280, 720));
    w.state.selectedPreset = ExportPreset::p1080;
    w.state.timePosition = QPointF(640, 360);
    const ExportTask task = w.task();
    EXPECT_EQ(task.videoResolution, QSizeF(3840, 2160));
    EXPECT_DOUBLE_EQ(task.outputScale, 0.5);
    EXPECT_DOUBLE_EQ(task.previewToVideoScale, 3);
    EXPECT_EQ(std::pair(task.timeWidget.x, task.timeWidget.y), std::pair(1920, 1080));

    // Overlay output of another aspect than the layout: letterboxed, centred.
    Window o;
    o.state.compositionMode = CompositionMode::overlay;
    o.state.selectedPreset = ExportPreset::p1080;
    o.state.layoutSize = QSizeF(540, 540);
    o.state.timePosition = QPointF(0, 0);
    const ExportTask overlay = o.task();
    EXPECT_EQ(overlay.videoResolution, QSizeF(1920, 1080));
    EXPECT_DOUBLE_EQ(overlay.previewToVideoScale, 2);
    EXPECT_EQ(std::pair(overlay.timeWidget.x, overlay.timeWidget.y), std::pair(420, 0));
}

TEST(ExportTaskBuilder, EstimatesEachPresetAtItsOwnScale)
{
    // The fixture's clip has no known bit rate, so each size tier's floor rate
    // applies: 9 Mb/s at 1080 lines, 5 Mb/s at 720; overlay 8, 3 and 1.5 Mb/s.
    // 60 s of it, plus 1 % for the container.
    struct Case {
        CompositionMode mode;
        ExportPreset preset;
        double storedFactor;
        double expectedScale;
        std::optional<qint64> expected;
    };
    const QList<Case> cases{
        {CompositionMode::regular, ExportPreset::original, 1, 1, 68'175'000},
        {CompositionMode::regular, ExportPreset::p720, 1, 720.0 / 1080, 37'875'000},
        {CompositionMode::regular, ExportPreset::original, 0.3, 1, 40'905'000},  // read as 0.6
        {CompositionMode::overlay, ExportPreset::p4K, 1, 1, 60'600'000},
        {CompositionMode::overlay, ExportPreset::p1080, 1.4, 1, 22'725'000},  // read as 1.0
        {CompositionMode::overlay, ExportPreset::p720, 1, 1, 11'362'500},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << qPrintable(enumText(c.preset)) << " " << c.storedFactor);
        Window w;
        w.state.compositionMode = c.mode;
        w.state.compressionFactor = c.storedFactor;
        EXPECT_DOUBLE_EQ(w.builder().outputScale(c.preset), c.expectedScale);
        EXPECT_EQ(w.builder().estimatedExportBytes(c.preset), c.expected);
    }

    Window noRange;
    noRange.state.compositionMode = CompositionMode::overlay;
    noRange.engine.setSegments({});
    EXPECT_FALSE(noRange.builder().estimatedExportBytes(ExportPreset::p1080));
    Window noVideo;
    noVideo.engine.setVideoSegments({});
    EXPECT_FALSE(noVideo.builder().estimatedExportBytes(ExportPreset::original));
}
