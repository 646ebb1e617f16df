#include "project/projectdocument.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace routereel;

namespace {

ProjectDocument validDocument()
{
    ProjectDocument d;
    d.gpxFiles = {GPXFileRef{QStringLiteral("/t.gpx"), std::nullopt, QStringLiteral("T")}};
    d.segments = {SegmentData{QStringLiteral("S"), QStringLiteral("T"), 0, 100, 0}};
    d.map = MapData{true, QStringLiteral("OSM"), std::nullopt, QStringLiteral("Circle"), std::nullopt, 200, 200, 12,
                    QStringLiteral("North"), 15, 0.8, std::nullopt, std::nullopt};
    d.timeWidget = TimeWidgetData{true, 18, 1, QStringLiteral("White"), std::nullopt, std::nullopt};
    d.speedWidget = SpeedWidgetData{true, 18, 1, QStringLiteral("White"), QStringLiteral("km/h"), std::nullopt,
                                    std::nullopt};
    d.gpsPathWidget = GPSPathWidgetData{true, 150, 1, true, 10, std::nullopt, std::nullopt, std::nullopt};
    d.heartRateWidget = HeartRateWidgetData{true, 18, 1, QStringLiteral("White"), std::nullopt, std::nullopt,
                                            true, false};
    d.heartRateGraphWidget = HeartRateGraphWidgetData{true, 200, 80, 1, QStringLiteral("White"), std::nullopt,
                                                      std::nullopt};
    d.videoSegments = QList<VideoSegment>{VideoSegment{QUuid::createUuid(), QUuid::createUuid(), 0, 10, 0}};
    d.exportPreset = QStringLiteral("Original");
    return d;
}

} // namespace

TEST(ProjectValidation, BoundsOfEveryCheckedValue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    using Change = std::function<void(ProjectDocument &)>;
    struct Case {
        const char *what;
        Change change;
        bool valid;
    };
    const Case cases[] = {
        {"unchanged", [](ProjectDocument &) {}, true},
        {"playhead at the bound", [](ProjectDocument &d) { d.playheadTime = 2678400; }, true},
        {"playhead just past it", [](ProjectDocument &d) { d.playheadTime = 2678400.000001; }, false},
        {"playhead -0", [](ProjectDocument &d) { d.playheadTime = -0.0; }, true},
        {"playhead negative", [](ProjectDocument &d) { d.playheadTime = -0.001; }, false},
        {"playhead NaN", [&](ProjectDocument &d) { d.playheadTime = nan; }, false},
        {"canvas 16384 square", [](ProjectDocument &d) { d.canvasOrigin = QSizeF(16384, 16384); }, true},
        {"canvas half a pixel", [](ProjectDocument &d) { d.canvasOrigin = QSizeF(0.5, 1080); }, false},
        {"canvas too tall", [](ProjectDocument &d) { d.canvasOrigin = QSizeF(1920, 16385); }, false},
        {"layout size infinite", [&](ProjectDocument &d) { d.widgetLayoutSize = QSizeF(inf, 540); }, false},
        {"layout size 1 x 1", [](ProjectDocument &d) { d.widgetLayoutSize = QSizeF(1, 1); }, true},
        {"zero-length segment", [](ProjectDocument &d) { d.segments[0].gpxEnd = d.segments[0].gpxStart = 50; }, true},
        {"inverted segment", [](ProjectDocument &d) { d.segments[0].gpxStart = 101; }, false},
        {"segment end past T on the timeline",
         [](ProjectDocument &d) { d.segments[0] = SegmentData{"S", "T", 0, 1000, 2677500}; }, false},
        {"segment end at T on the timeline",
         [](ProjectDocument &d) { d.segments[0] = SegmentData{"S", "T", 0, 1000, 2677400}; }, true},
        {"second segment bad",
         [](ProjectDocument &d) { d.segments.append(SegmentData{"S2", "T", -1, 10, 0}); }, false},
        {"map zoom negative", [](ProjectDocument &d) { d.map.zoomLevel = -40; }, true},
        {"map radius 2048 on a narrow map",
         [](ProjectDocument &d) {
             d.map.cornerRadius = 2048;
             d.map.width = 10;
         },
         true},
        {"map radius 2049", [](ProjectDocument &d) { d.map.cornerRadius = 2049; }, false},
        {"map height 4097", [](ProjectDocument &d) { d.map.height = 4097; }, false},
        {"map opacity above 1", [](ProjectDocument &d) { d.map.opacity = 1.01; }, false},
        {"map position -1000000", [](ProjectDocument &d) { d.map.positionX = -1000000; }, true},
        {"map position -1000001", [](ProjectDocument &d) { d.map.positionX = -1000001; }, false},
        {"time font 200", [](ProjectDocument &d) { d.timeWidget.fontSize = 200; }, true},
        {"time font 201", [](ProjectDocument &d) { d.timeWidget.fontSize = 201; }, false},
        {"time font 0.5", [](ProjectDocument &d) { d.timeWidget.fontSize = 0.5; }, false},
        {"speed position NaN", [&](ProjectDocument &d) { d.speedWidget.positionY = nan; }, false},
        {"gps path padding 1025", [](ProjectDocument &d) { d.gpsPathWidget->padding = 1025; }, false},
        {"gps path width 0", [](ProjectDocument &d) { d.gpsPathWidget->width = 0; }, false},
        {"heart rate font 201", [](ProjectDocument &d) { d.heartRateWidget->fontSize = 201; }, false},
        {"heart-rate graph height 0", [](ProjectDocument &d) { d.heartRateGraphWidget->height = 0; }, false},
        {"absent blocks skipped",
         [](ProjectDocument &d) {
             d.heartRateGraphWidget.reset();
             d.gpsPathWidget.reset();
             d.heartRateWidget.reset();
         },
         true},
        {"video cut inverted", [](ProjectDocument &d) { (*d.videoSegments)[0].sourceStart = 11; }, false},
        {"video cut end past T", [](ProjectDocument &d) { (*d.videoSegments)[0].sourceEnd = 2678400.5; }, false},
        {"video cut timeline end just past T",
         [](ProjectDocument &d) {
             (*d.videoSegments)[0] = VideoSegment{QUuid::createUuid(), QUuid::createUuid(), 100, 2000, 2676500.001};
         },
         false},
        {"video cut negative offset", [](ProjectDocument &d) { (*d.videoSegments)[0].offset = -0.1; }, false},
        {"no video segments", [](ProjectDocument &d) { d.videoSegments.reset(); }, true},
        {"not checked: version, factor, texts",
         [&](ProjectDocument &d) {
             d.version = -3;
             d.exportCompressionFactor = nan;
             d.map.provider = QStringLiteral("??");
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ProjectDocument d = validDocument();
        c.change(d);
        const auto error = d.validate();
        EXPECT_EQ(!error.has_value(), c.valid);
    }
}
