#include "projectfakes.h"

#include "support/markingtranslator.h"

#include <QSettings>
#include <gtest/gtest.h>

#include <limits>

using namespace routereel;
using namespace projecttest;

namespace {

struct ApplyHarness : Harness {
    ControlledProbe probe;
    QTemporaryDir dir;
    ApplyHarness() { session.setVideoProbe(probe.function()); }
    QString track(const QString &name, int points = 601) { return writeGPX(dir.path(), name, points); }
};

} // namespace

TEST(ProjectApply, MissingFilesAreLoggedAndSummarised)
{
    ApplyHarness h;
    ProjectDocument d = baseDocument();
    d.videoFiles = QList<VideoFileRef>{VideoFileRef{QUuid::createUuid(), h.dir.path() + "/gone.mp4", "Ym9vaw=="}};
    d.gpxFiles = {GPXFileRef{h.dir.path() + "/gone.gpx", "Ym9vaw==", "A"}, GPXFileRef{QString(), {}, "B"},
                  GPXFileRef{h.track("here.gpx"), {}, "C"}};
    h.session.applyProject(d);

    const auto warnings = h.window->entries(LogEntry::Level::warning);
    ASSERT_EQ(warnings.size(), 2);
    // Newest first.
    EXPECT_EQ(warnings[1].title, QStringLiteral("Video file missing"));
    EXPECT_EQ(warnings[1].detail, h.dir.path() + "/gone.mp4");
    EXPECT_EQ(warnings[0].title, QStringLiteral("GPX files missing"));
    EXPECT_EQ(warnings[0].detail, QStringLiteral("These GPX files referenced by the project no longer exist; related "
                                                 "timeline segments were skipped:\n")
                                      + h.dir.path() + "/gone.gpx\n");
    const QString summary = QStringLiteral("Some resources referenced by this project were not found:\n"
                                           "Video: %1/gone.mp4\n"
                                           "GPX files (2):\n"
                                           "  %1/gone.gpx\n"
                                           "  \n"
                                           "\n"
                                           "These files may have been moved or deleted. Reload them or open a "
                                           "different project before exporting.")
                                .arg(h.dir.path());
    const auto errors = h.window->entries(LogEntry::Level::error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].detail, summary);
    EXPECT_EQ(h.alerts.shown, QStringList{QStringLiteral("Some resources referenced by this project were not found:")});
    EXPECT_EQ(h.window->gpx.tracks().size(), 1);  // the file that is there was imported
    // A video import of the project before must not land in this one.
    EXPECT_EQ(h.window->videoImportCancels, 1);
}

// Log entries are data: their titles and fixed texts do not follow the interface language.
TEST(ProjectApply, LogTextsStayAsTheyStandUnderATranslation)
{
    testsupport::MarkingTranslator translator;
    ApplyHarness h;
    ProjectDocument d = baseDocument();
    d.videoFiles = QList<VideoFileRef>{VideoFileRef{QUuid::createUuid(), h.dir.path() + "/gone.mp4", {}}};
    d.gpxFiles = {GPXFileRef{h.dir.path() + "/gone.gpx", {}, "A"}};
    h.session.applyProject(d);
    ASSERT_TRUE(h.session.saveProject(QUrl::fromLocalFile(h.dir.path() + "/trip.rrl")));
    h.session.openProject(QUrl::fromLocalFile(h.dir.path() + "/trip.rrl"));
    ASSERT_TRUE(settle(h.session));

    QStringList texts;
    for (const LogEntry &entry : h.window->log.entries())
        if (entry.level != LogEntry::Level::error)  // the alerts' messages are looked up
            texts.prepend(entry.title + " / " + entry.detail.section('\n', 0, 0));
    const QStringList expected{
        "Video file missing / " + h.dir.path() + "/gone.mp4",
        "GPX files missing / These GPX files referenced by the project no longer exist; related timeline segments "
        "were skipped:",
        "Save Project / " + h.dir.path() + "/trip.rrl",
        "Open Project / " + h.dir.path() + "/trip.rrl",
    };
    EXPECT_EQ(texts.join(" | ").toStdString(), expected.join(" | ").toStdString());
}

TEST(ProjectApply, ATrackThatCannotBeReadIsNamed)
{
    ApplyHarness h;
    const QString broken = h.dir.path() + "/broken.gpx";
    ASSERT_TRUE(writeFile(broken, "<gpx><trk><trkseg><trkpt lat=\"91\" lon=\"0\"/></trkseg></trk></gpx>"));
    ProjectDocument d = baseDocument();
    d.gpxFiles = {GPXFileRef{broken, {}, "A"}, GPXFileRef{h.track("here.gpx"), {}, "B"}};
    h.session.applyProject(d);

    ASSERT_EQ(h.alerts.shown.size(), 1);
    EXPECT_TRUE(h.alerts.shown[0].startsWith(QStringLiteral("The track \"broken.gpx\" could not be loaded: ")))
        << h.alerts.shown[0].toStdString();
    const auto errors = h.window->entries(LogEntry::Level::error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].detail.endsWith(QLatin1Char('\n') + broken)) << errors[0].detail.toStdString();
    EXPECT_EQ(h.window->gpx.tracks().size(), 1);
}

TEST(ProjectApply, SegmentsFollowTheirReimportedTracks)
{
    ApplyHarness h;
    ProjectDocument d = baseDocument();
    const QString keptID = QStringLiteral("0B0B0B0B-1111-4222-8333-444444444444");
    d.gpxFiles = {GPXFileRef{h.track("first.gpx"), {}, "same"}, GPXFileRef{h.track("second.gpx", 301), {}, "same"},
                  GPXFileRef{h.dir.path() + "/broken.gpx", {}, "broken"}};
    writeFile(h.dir.path() + "/broken.gpx", "<gpx><trk><trkseg><trkpt lat=");
    d.segments = {
        SegmentData{keptID, "same", 0, 300, 10},          // kept with its id, on the second track
        SegmentData{"abc", "same", 10, 300.0000005, 0},   // within the tolerance, new id
        SegmentData{"x1", "same", 0, 300.00001, 0},       // longer than the track
        SegmentData{"x2", "same", 50, 50, 0},             // empty
        SegmentData{"x3", "unknown", 0, 10, 0},           // no such track
        SegmentData{"x4", "broken", 0, 10, 0},            // its file did not load
    };
    h.window->engineObject.importGPX(GPXTrack());  // an undo step the apply must clear
    h.session.applyProject(d);

    const auto tracks = h.window->gpx.tracks();
    ASSERT_EQ(tracks.size(), 2);
    const auto second = std::find_if(tracks.begin(), tracks.end(), [](const GPXTrack &t) {
        return t.fileURL.fileName() == QStringLiteral("second.gpx");
    });
    ASSERT_NE(second, tracks.end());
    const auto segments = h.window->engineObject.segments();
    ASSERT_EQ(segments.size(), 2);
    EXPECT_EQ(segments[0].id, QUuid::fromString(keptID));
    EXPECT_EQ(segments[0].trackID, second->id);
    EXPECT_EQ(segments[0].offset, 10);
    EXPECT_FALSE(segments[1].id.isNull());
    EXPECT_EQ(segments[1].trackID, second->id);
    EXPECT_EQ(segments[1].gpxEnd, 300.0000005);
    // The broken file is reported with the reader's message, not as missing.
    EXPECT_EQ(h.alerts.shown.size(), 1);
    EXPECT_TRUE(h.window->entries(LogEntry::Level::warning).isEmpty());
    EXPECT_EQ(h.window->engineObject.undoStack()->count(), 0);
}

TEST(ProjectApply, WidgetValuesAreMappedAndClamped)
{
    ApplyHarness h;
    FakeWindow &w = *h.window;
    w.gpsPath.setWidth(123);
    w.heartRate.setFontSize(33);
    w.heartRateGraph.setHeight(77);
    w.positions.gpsPath = QPointF(5, 6);

    ProjectDocument d = baseDocument();
    d.map = MapData{std::nullopt, "osm", "pk.token", "Rect", "GTA", 50, 1000, 7, "Follow", 30, 0.3, 10, std::nullopt};
    d.speedWidget.unit = QStringLiteral("MPH");
    d.timeWidget.positionX = 1;
    d.timeWidget.positionY = 2;
    d.exportCompressionFactor = 0.3;
    d.exportPreset = QStringLiteral("2K");
    d.compositionMode = QStringLiteral("overlay");  // not the exact text: regular
    h.session.applyProject(d);

    EXPECT_EQ(w.provider, MapProvider::openStreetMap);
    EXPECT_EQ(QSettings().value(QStringLiteral("mapProvider")).toString(), QStringLiteral("OSM"));
    EXPECT_TRUE(w.map.enabled());
    EXPECT_EQ(w.map.shape(), MapShape::circle);
    EXPECT_EQ(w.map.borderStyle(), MapBorderStyle::gta);
    EXPECT_EQ(w.map.width(), 100);
    EXPECT_EQ(w.map.height(), 200);
    EXPECT_EQ(w.map.orientation(), MapOrientation::follow);
    EXPECT_EQ(w.map.zoomLevel(), 22);
    EXPECT_EQ(w.map.opacity(), 0.3);
    EXPECT_FALSE(w.positions.map);  // one coordinate alone is no position
    EXPECT_EQ(w.speed.unit(), SpeedUnit::kmh);
    EXPECT_EQ(w.positions.time, QPointF(1, 2));
    EXPECT_EQ(w.compressionFactor, 0.6);
    EXPECT_EQ(w.preset, ExportPreset::p2K);
    EXPECT_EQ(w.mode, CompositionMode::regular);
    // Absent blocks leave those widgets as they were.
    EXPECT_EQ(w.gpsPath.width(), 123);
    EXPECT_EQ(w.heartRate.fontSize(), 33);
    EXPECT_EQ(w.heartRateGraph.height(), 77);
    EXPECT_EQ(w.positions.gpsPath, QPointF(5, 6));

    d.map.zoomLevel = 0;
    d.map.provider = QStringLiteral("Mapbox");
    d.gpsPathWidget = GPSPathWidgetData{true, 1000, 0.5, false, 9, "Unknown", 3, 4};
    d.heartRateWidget = HeartRateWidgetData{true, 40, 0.5, "White", {}, {}, std::nullopt, std::nullopt};
    d.heartRateGraphWidget = HeartRateGraphWidgetData{true, 500, 90, 1, "White", {}, {}};
    d.exportCompressionFactor.reset();
    h.session.applyProject(d);
    EXPECT_EQ(w.provider, MapProvider::mapbox);
    EXPECT_EQ(QSettings().value(QStringLiteral("mapProvider")).toString(), QStringLiteral("Mapbox"));
    EXPECT_EQ(w.map.zoomLevel(), 1);
    EXPECT_EQ(w.gpsPath.width(), 200);
    EXPECT_EQ(w.gpsPath.borderStyle(), MapBorderStyle::defaultStyle);
    EXPECT_EQ(w.positions.gpsPath, QPointF(3, 4));
    EXPECT_TRUE(w.heartRate.showIcon());
    EXPECT_FALSE(w.heartRate.showMinMax());
    EXPECT_EQ(w.heartRateGraph.width(), 500);  // not clamped
    EXPECT_EQ(w.compressionFactor, 1.0);
}

TEST(ProjectApply, OverlayModeKeepsOnlyOverlayPresetsAndMovesThePlayhead)
{
    struct Case {
        const char *mode;
        const char *preset;
        CompositionMode expectedMode;
        ExportPreset expectedPreset;
    };
    const Case cases[] = {
        {"Overlay", "Original", CompositionMode::overlay, ExportPreset::p1080},
        {"Overlay", "2K", CompositionMode::overlay, ExportPreset::p1080},
        {"Overlay", "4K", CompositionMode::overlay, ExportPreset::p4K},
        {"Overlay", "720p", CompositionMode::overlay, ExportPreset::p720},
        {"Regular", "2K", CompositionMode::regular, ExportPreset::p2K},
        {"Regular", "8K", CompositionMode::regular, ExportPreset::original},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + c.preset);
        ApplyHarness h;
        ProjectDocument d = baseDocument();
        d.compositionMode = QString::fromLatin1(c.mode);
        d.exportPreset = QString::fromLatin1(c.preset);
        d.playheadTime = 12;
        h.session.applyProject(d);
        EXPECT_EQ(h.window->mode, c.expectedMode);
        EXPECT_EQ(h.window->preset, c.expectedPreset);
        const FakePlayer &player = h.window->playerObject;
        EXPECT_EQ(player.resets, 1);
        if (c.expectedMode == CompositionMode::overlay) {
            EXPECT_EQ(player.overlayLoads.size(), 1);
            EXPECT_EQ(player.scrubs, QList<double>{12});
        } else {
            EXPECT_TRUE(player.overlayLoads.isEmpty());
            EXPECT_TRUE(player.scrubs.isEmpty());
        }
    }
}

TEST(ProjectApply, WhichVideoFieldsAreUsed)
{
    ApplyHarness h;
    const QString video = h.dir.path() + "/ride.mp4";
    writeFile(video, "x");
    ProjectDocument d = baseDocument();
    d.videoPath = video;
    d.videoFiles = QList<VideoFileRef>();  // present and empty: the single-video path is not used
    h.session.applyProject(d);
    spinEvents();
    EXPECT_TRUE(h.probe.calls.isEmpty());

    d.videoFiles.reset();
    h.session.applyProject(d);
    ASSERT_TRUE(spinUntil([&] { return h.probe.calls.size() == 1; }));
    EXPECT_EQ(h.probe.calls[0].url, QUrl::fromLocalFile(video));
    EXPECT_FALSE(h.probe.calls[0].id.isNull());
}

TEST(ProjectApply, StoredLayoutIsRescaledToTheCurrentReference)
{
    ApplyHarness h;
    ProjectDocument d = baseDocument();
    d.widgetLayoutSize = QSizeF(1920, 1080);
    d.map.positionX = 960;
    d.map.positionY = 540;
    d.speedWidget.positionX = 1920;
    d.speedWidget.positionY = 0;
    h.session.applyProject(d);
    // No canvas: the reference is 1920 x 1080 scaled to the stored layout's short side.
    EXPECT_EQ(h.window->layoutSize, QSizeF(1920, 1080));
    EXPECT_EQ(h.window->positions.map, QPointF(960, 540));

    d.widgetLayoutSize = QSizeF(960, 540);
    d.canvasOrigin = QSizeF(1080, 1920);  // portrait: reference 540 x 960
    h.session.applyProject(d);
    EXPECT_EQ(h.window->layoutSize, QSizeF(540, 960));
    EXPECT_EQ(h.window->positions.map, QPointF(540, 960));
    EXPECT_EQ(h.window->positions.speed, QPointF(540, 0));

    d.widgetLayoutSize = QSizeF(0.5, 540);  // unusable: no rescaling
    d.canvasOrigin.reset();
    h.session.applyProject(d);
    EXPECT_EQ(h.window->layoutSize, QSizeF(960, 540));
    EXPECT_EQ(h.window->positions.map, QPointF(960, 540));
}

