#include "projectfakes.h"
#include "support/trackfixtures.h"

#include <gtest/gtest.h>

#include <limits>

using namespace routereel;
using namespace projecttest;

TEST(ProjectBuild, AnEmptyWindowGivesAValidDocumentWithEveryBlock)
{
    Harness h;
    const ProjectDocument d = h.session.makeProjectDocument();
    EXPECT_EQ(d.validate(), std::nullopt);
    EXPECT_EQ(d.videoFiles, QList<VideoFileRef>());
    EXPECT_EQ(d.videoSegments, QList<VideoSegment>());
    EXPECT_FALSE(d.videoPath || d.videoBookmark || d.canvasOrigin || d.map.mapboxToken);
    EXPECT_TRUE(d.gpsPathWidget && d.heartRateWidget && d.heartRateGraphWidget);
    EXPECT_TRUE(d.heartRateWidget->showIcon && d.heartRateWidget->showMinMax && d.map.enabled && d.map.borderStyle);
    EXPECT_EQ(d.widgetLayoutSize, QSizeF(960, 540));
}

TEST(ProjectBuild, CompressionFactorIsKeptWithinItsRange)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> cases[] = {{0.3, 0.6}, {1.7, 1.0}, {nan, 1.0}, {inf, 1.0}, {-inf, 1.0},
                                               {0.85, 0.85}};
    Harness h;
    for (const auto &[stored, written] : cases) {
        h.window->compressionFactor = stored;
        EXPECT_EQ(h.session.makeProjectDocument().exportCompressionFactor, written) << stored;
    }
}

TEST(ProjectBuild, FileReferencesPositionsAndTexts)
{
    Harness h;
    FakeWindow &w = *h.window;
    QTemporaryDir dir;
    const QString kept = writeGPX(dir.path(), "kept.gpx");
    const QString deleted = writeGPX(dir.path(), "deleted.gpx");
    GPXTrack withFile = w.gpx.importTrack(QUrl::fromLocalFile(kept)).value();
    GPXTrack deletedFile = w.gpx.importTrack(QUrl::fromLocalFile(deleted)).value();
    QFile::remove(deleted);
    GPXTrack noFile;
    noFile.id = QUuid::fromString(QStringLiteral("{abcdefab-cdef-4abc-8def-abcdefabcdef}"));
    w.gpx.addTrack(noFile);
    w.engineObject.setSegments({testsupport::segmentOf(noFile, 0, 1, 0)});
    w.playerObject.url = QUrl::fromLocalFile(dir.path() + "/video.mp4");
    w.playerObject.playhead = 3.25;
    w.positions.heartRateGraph = QPointF(7, 8);
    w.provider = MapProvider::mapbox;
    w.speed.setUnit(SpeedUnit::ms);
    w.map.setShape(MapShape::roundedRect);
    w.mode = CompositionMode::overlay;
    w.preset = ExportPreset::p720;
    w.engineObject.setCanvasOrigin(QSizeF(1080, 1920));
    QSettings().setValue(QStringLiteral("mapboxToken"), QStringLiteral("pk.secret"));

    const ProjectDocument d = h.session.makeProjectDocument();
    EXPECT_EQ(d.videoPath, dir.path() + "/video.mp4");
    EXPECT_FALSE(d.videoBookmark);
    QStringList paths;
    for (const GPXFileRef &ref : d.gpxFiles) {
        EXPECT_FALSE(ref.bookmark);
        paths << ref.path;
    }
    paths.sort();
    EXPECT_EQ(paths, (QStringList{QString(), deleted, kept}));
    EXPECT_TRUE(std::any_of(d.gpxFiles.begin(), d.gpxFiles.end(), [](const GPXFileRef &r) {
        return r.trackID == QStringLiteral("ABCDEFAB-CDEF-4ABC-8DEF-ABCDEFABCDEF");
    }));
    EXPECT_EQ(d.segments[0].trackID, QStringLiteral("ABCDEFAB-CDEF-4ABC-8DEF-ABCDEFABCDEF"));
    EXPECT_EQ(d.playheadTime, 3.25);
    EXPECT_EQ(d.heartRateGraphWidget->positionX, 7);
    EXPECT_EQ(d.heartRateGraphWidget->positionY, 8);
    EXPECT_FALSE(d.timeWidget.positionX || d.timeWidget.positionY);
    EXPECT_EQ(d.map.provider, QStringLiteral("Mapbox"));
    EXPECT_FALSE(d.map.mapboxToken);
    EXPECT_EQ(d.map.shape, QStringLiteral("Rect"));
    EXPECT_EQ(d.speedWidget.unit, QStringLiteral("m/s"));
    EXPECT_EQ(d.compositionMode, QStringLiteral("Overlay"));
    EXPECT_EQ(d.exportPreset, QStringLiteral("720p"));
    EXPECT_EQ(d.canvasOrigin, QSizeF(1080, 1920));
    EXPECT_EQ(d.widgetLayoutSize, QSizeF(540, 960));
    EXPECT_FALSE(d.encode(ProjectDocument::Style::saved)->contains("pk.secret"));
}
