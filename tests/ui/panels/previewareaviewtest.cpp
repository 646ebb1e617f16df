#include "ui/panels/deletedispatcher.h"
#include "ui/panels/previewareaview.h"

#include "export/exporttaskbuilder.h"
#include "export/overlayframecomposition.h"
#include "maps/mapservices.h"
#include "maps/views/mapoverlayview.h"
#include "maps/views/webmapruntime.h"
#include "support/clipgenerator.h"
#include "support/loopbackmapservice.h"
#include "support/testartifacts.h"
#include "support/trackfixtures.h"
#include "support/waitfor.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "timeline/timelineplayer.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"
#include "widgets/views/heartrateoverlayview.h"
#include "widgets/views/speedoverlayview.h"
#include "widgets/views/timeoverlayview.h"
#include "widgets/views/widgetcanvaspreview.h"
#include "widgets/views/widgetselectionoutline.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QWebEngineView>
#include <gtest/gtest.h>

using namespace routereel;
using ID = PreviewAreaView::PreviewWidgetID;

namespace {

// The map views are web pages: their runtime is set up before the application starts.
const bool runtimePrepared = (prepareWebMapRuntime(), true);

// 60 fixes a second apart heading north-east, with a heart rate on most of them.
GPXTrack ride()
{
    GPXTrack t;
    for (int i = 0; i < 60; ++i) {
        TrackPoint p = testsupport::trackPoint(52.5 + i * 1e-4, 13.4 + i * 1e-4, 1.7e9 + i);
        if (i % 10 != 7)
            p.heartRate = 110 + i;
        t.trackPoints.append(p);
    }
    t.duration = 59;
    return t;
}

void click(QWidget *view, QPoint at, QPoint moveBy = {})
{
    const auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent e(type, local, view->mapToGlobal(QPointF(local)), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(view, &e);
    };
    send(QEvent::MouseButtonPress, at, Qt::LeftButton);
    if (!moveBy.isNull())
        send(QEvent::MouseMove, at + moveBy, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at + moveBy, Qt::NoButton);
}

struct Harness {
    Harness(bool withTracks = true)
    {
        for (TextWidgetSettings *s : std::initializer_list<TextWidgetSettings *>{&speed, &time, &heartRate})
            s->setEnabled(true);
        gpsPath.setEnabled(true);
        graph.setEnabled(true);
        state.setWidgetLayoutSize(QSizeF(1920, 1080));
        engine.setCanvasOrigin(QSizeF(1920, 1080));
        if (withTracks) {
            gpx.setTracks({track});
            engine.setSegments({testsupport::segmentOf(track, 0, 59, 0)});
        }
        preview.resize(960, 540);
        preview.show();
    }
    QPoint centreOf(ID id) const { return preview.widgetView(id)->rect().center(); }

    ~Harness() { MapServices::overrideEndpointsForTesting({}); }

    bool freshSettings = (QSettings().clear(), true);  // before the settings objects read them
    // The map pages fetch from a loopback service only.
    std::unique_ptr<testsupport::LoopbackHttpServer> tiles = testsupport::startMapService();
    bool local = (MapServices::overrideEndpointsForTesting(tiles->baseUrl()), true);
    GPXTrack track = ride();
    VideoPlayerService player{new TimelinePlayer};
    GPXService gpx;
    TimelineEngine engine;
    MapSettings map;
    TimeWidgetSettings time;
    SpeedWidgetSettings speed;
    GPSPathWidgetSettings gpsPath;
    HeartRateWidgetSettings heartRate;
    HeartRateGraphWidgetSettings graph;
    WindowState state;
    int imports = 0;
    PreviewAreaView preview{{player, *player.clock(), gpx, engine, map, time, speed, gpsPath, heartRate, graph},
                            state,
                            [this] { ++imports; }};
};

} // namespace

TEST(PreviewArea, WidgetsDrawnAtTheirClampedPlaces)
{
    Harness h;
    const struct {
        ID id;
        QPointF centre;
    } defaults[] = {{ID::map, {116, 116}},    {ID::gpsPath, {1814, 974}}, {ID::speed, {80, 1050}},
                    {ID::time, {1840, 1050}}, {ID::heartRate, {80, 1014}}, {ID::heartRateGraph, {1794, 845}}};
    for (const auto &d : defaults)
        EXPECT_EQ(h.preview.widgetCenter(d.id), d.centre) << int(d.id);

    h.state.setPosition(ID::speed, QPointF(-50, 2000));
    const QSizeF box = static_cast<SpeedOverlayView *>(h.preview.widgetView(ID::speed))->contentSize();
    EXPECT_EQ(h.preview.widgetCenter(ID::speed), QPointF(box.width() / 2, 1080 - box.height() / 2));
    EXPECT_EQ(h.state.position(ID::speed), QPointF(-50, 2000));
    h.state.setPosition(ID::map, QPointF(0, 0));
    EXPECT_EQ(h.preview.widgetCenter(ID::map), QPointF(100.8, 100.8));
    h.map.setBorderStyle(MapBorderStyle::gta);
    EXPECT_EQ(h.preview.widgetCenter(ID::map), QPointF(115, 115));
    h.preview.selectWidget(ID::map);
    EXPECT_EQ(h.preview.selectionOutline()->outlineRect(), QRectF(-19, -19, 238, 238));
    h.heartRate.setShowMinMax(true);  // the wide box moves inward, whole
    const auto *heart = static_cast<HeartRateOverlayView *>(h.preview.widgetView(ID::heartRate));
    EXPECT_EQ(h.preview.widgetCenter(ID::heartRate)->x(), heart->contentSize().width() / 2);
    EXPECT_GT(heart->contentSize().width(), 160);

    h.state.setWidgetLayoutSize(QSizeF(100, 100));
    h.engine.setCanvasOrigin(std::nullopt);
    h.engine.setCanvasOrigin(QSizeF(100, 1080));
    EXPECT_EQ(h.preview.canvasSize(), QSizeF(100, 1080));
    EXPECT_EQ(h.preview.widgetCenter(ID::gpsPath)->x(), 50);

    h.state.setMapProvider(MapProvider::mapbox);  // no token: no map
    EXPECT_FALSE(h.preview.widgetCenter(ID::map));
    EXPECT_TRUE(h.preview.widgetCenter(ID::speed));
    h.state.setMapboxToken(QStringLiteral("pk.a"));
    QPointer<QWidget> first = h.preview.widgetView(ID::map);
    ASSERT_TRUE(first);
    h.map.setZoomLevel(12);
    EXPECT_EQ(h.preview.widgetView(ID::map), first.data());
    h.state.setMapboxToken(QStringLiteral("pk.b"));  // a new page for a new token
    EXPECT_TRUE(first.isNull());
    ASSERT_TRUE(h.preview.widgetView(ID::map));

    // The page itself is faded and cut round (effects do not reach web views) and laid out in canvas units.
    h.map.setShape(MapShape::roundedRect);
    QWebEngineView *page = static_cast<MapOverlayView *>(h.preview.widgetView(ID::map))->webView();
    EXPECT_DOUBLE_EQ(page->zoomFactor(), h.preview.canvas()->canvasScale());
    const auto style = std::make_shared<QString>();  // answers may come after this test
    EXPECT_TRUE(testsupport::waitFor([&] {
        page->page()->runJavaScript(QStringLiteral("document.documentElement.style.opacity + ' ' + "
                                                   "document.documentElement.style.clipPath"),
                                    [style](const QVariant &v) { *style = v.toString(); });
        return *style == QStringLiteral("0.8 inset(0px round 12px)");
    }, 20000)) << style->toStdString();
}

TEST(PreviewArea, EmptyStateAndOverlayCanvas)
{
    Harness h(false);
    EXPECT_TRUE(h.preview.showsEmptyState());
    EXPECT_EQ(h.preview.importButton()->text(), QStringLiteral("Import Files to Get Started"));
    h.preview.importButton()->click();
    EXPECT_EQ(h.imports, 1);

    h.state.setCompositionMode(CompositionMode::overlay);
    EXPECT_FALSE(h.preview.showsEmptyState());
    for (ID id : {ID::map, ID::gpsPath, ID::speed, ID::time, ID::heartRate, ID::heartRateGraph})
        EXPECT_FALSE(h.preview.widgetCenter(id)) << int(id);  // enabled, but no tracks
    const QImage grab = h.preview.grab().toImage();
    EXPECT_EQ(grab.pixelColor(480, 270), QColor(0, 100, 0));
}

TEST(PreviewArea, SelectMoveAndDeleteWithUndo)
{
    Harness h;
    DeleteDispatcher dispatcher(h.preview, h.engine, &h.preview);
    QUndoStack *undo = h.engine.undoStack();
    const int steps = undo->count();
    EXPECT_FALSE(dispatcher.dispatch());  // nothing selected: no step
    EXPECT_EQ(undo->count(), steps);

    h.engine.setSelectedId(h.engine.segments().first().id);
    click(h.preview.widgetView(ID::speed), h.centreOf(ID::speed));
    EXPECT_EQ(h.preview.selectedWidget(), ID::speed);
    EXPECT_FALSE(h.engine.hasSelection());
    ASSERT_TRUE(h.preview.selectionOutline());
    EXPECT_TRUE(h.preview.selectionOutline()->isVisible());
    const QObjectList stacked = h.preview.canvas()->children();  // bottom to top
    EXPECT_GT(stacked.indexOf(h.preview.selectionOutline()), stacked.indexOf(h.preview.widgetView(ID::speed)));
    EXPECT_GT(stacked.indexOf(h.preview.widgetView(ID::time)), stacked.indexOf(h.preview.widgetView(ID::heartRate)));
    EXPECT_EQ(h.preview.selectionOutline()->outlineRect().width(),
              static_cast<SpeedOverlayView *>(h.preview.widgetView(ID::speed))->contentSize().width() + 8);

    const QPointF before = *h.preview.widgetCenter(ID::speed);
    click(h.preview.widgetView(ID::speed), h.centreOf(ID::speed), {4, 4});  // under 10: nothing moves
    EXPECT_FALSE(h.state.position(ID::speed));
    click(h.preview.widgetView(ID::speed), h.centreOf(ID::speed), {50, -20});  // 100 x -40 canvas units
    EXPECT_EQ(h.state.position(ID::speed), before + QPointF(100, -40));
    EXPECT_EQ(undo->count(), steps);

    QLineEdit field(&h.preview);
    field.show();
    QApplication::setActiveWindow(&h.preview);
    field.setFocus();
    ASSERT_TRUE(field.hasFocus());
    EXPECT_FALSE(dispatcher.dispatch());  // the key is the field's
    field.clearFocus();
    ASSERT_TRUE(dispatcher.dispatch());
    EXPECT_FALSE(h.speed.enabled());
    EXPECT_FALSE(h.preview.selectedWidget());
    EXPECT_EQ(undo->undoText(), QStringLiteral("Delete"));
    EXPECT_EQ(h.engine.segments().size(), 1);  // the segment stays
    undo->undo();
    EXPECT_TRUE(h.speed.enabled());
    EXPECT_FALSE(h.preview.selectedWidget());
    undo->redo();
    EXPECT_FALSE(h.speed.enabled());
    EXPECT_EQ(undo->undoText(), QStringLiteral("Delete"));

    // Hidden from the inspector the widget stays selected and comes back with its outline;
    // Delete on it while hidden adds no empty step.
    click(h.preview.widgetView(ID::time), h.centreOf(ID::time));
    h.time.setEnabled(false);
    ASSERT_EQ(h.preview.selectedWidget(), ID::time);
    EXPECT_FALSE(h.preview.selectionOutline()->isVisible());
    h.time.setEnabled(true);
    ASSERT_EQ(h.preview.selectedWidget(), ID::time);
    EXPECT_TRUE(h.preview.selectionOutline()->isVisible());
    EXPECT_EQ(h.preview.selectionOutline()->geometry().center(), h.preview.widgetView(ID::time)->geometry().center());
    h.time.setEnabled(false);
    const int hidden = undo->count();
    h.preview.deleteSelectedWidget();
    EXPECT_EQ(undo->count(), hidden);
    EXPECT_FALSE(h.preview.selectedWidget());

    // A segment selection clears the widget's; a canvas click clears only the widget's.
    click(h.preview.widgetView(ID::heartRate), h.centreOf(ID::heartRate));
    h.engine.setSelectedId(h.engine.segments().first().id);
    EXPECT_FALSE(h.preview.selectedWidget());
    h.preview.selectWidget(ID::heartRate);
    click(h.preview.canvas(), QPoint(480, 270));
    EXPECT_FALSE(h.preview.selectedWidget());
    h.engine.setSelectedId(h.engine.segments().first().id);
    click(h.preview.canvas(), QPoint(480, 270));
    EXPECT_TRUE(h.engine.hasSelection());
    ASSERT_TRUE(dispatcher.dispatch());  // now the segment goes, and no widget
    EXPECT_TRUE(h.engine.segments().isEmpty());
    EXPECT_TRUE(h.heartRate.enabled());
}

TEST(PreviewArea, AgreesWithTheExportedFrame)
{
    Harness h;
    h.map.setEnabled(false);  // its web page has no part in this comparison
    h.state.setWidgetLayoutSize(QSizeF(960, 540));  // the export draws at twice the layout
    h.state.setCompositionMode(CompositionMode::overlay);
    h.state.setPosition(ID::time, QPointF(700, 100));
    h.state.setPosition(ID::heartRateGraph, QPointF(2000, -5));
    h.player.clock()->setPlayheadTime(12.5);

    ExportTaskBuilder::WindowState window;
    window.compositionMode = CompositionMode::overlay;
    window.selectedPreset = ExportPreset::p1080;
    window.layoutSize = h.preview.canvasSize();
    window.timePosition = h.state.position(ID::time);
    window.heartRateGraphPosition = h.state.position(ID::heartRateGraph);
    const ExportTaskBuilder builder({h.gpx, h.engine, h.map, h.time, h.speed, h.gpsPath, h.heartRate, h.graph}, {},
                                    window);
    const auto built = builder.build(QUrl::fromLocalFile(QStringLiteral("/tmp/out.mp4")));
    ASSERT_TRUE(std::holds_alternative<ExportTask>(built));
    const ExportTask &task = std::get<ExportTask>(built);
    const double k = task.previewToVideoScale;
    ASSERT_EQ(k, 2);
    const auto pixels = [&](ID id) { return *h.preview.widgetCenter(id) * k; };
    const struct {
        ID id;
        QPointF exported;
    } places[] = {{ID::time, QPointF(task.timeWidget.x, task.timeWidget.y)},
                  {ID::speed, QPointF(task.speedWidget.x, task.speedWidget.y)},
                  {ID::heartRate, QPointF(task.heartRateWidget.x, task.heartRateWidget.y)},
                  {ID::heartRateGraph, QPointF(task.heartRateGraphWidget.centerX, task.heartRateGraphWidget.centerY)},
                  {ID::gpsPath, QPointF(task.gpsPathWidget.centerX, task.gpsPathWidget.centerY)}};
    for (const auto &p : places) {
        EXPECT_NEAR(pixels(p.id).x(), p.exported.x(), 1) << int(p.id);
        EXPECT_NEAR(pixels(p.id).y(), p.exported.y(), 1) << int(p.id);
    }

    FrameParamsContext context;
    context.needsTrackData = true;
    context.engine = &h.engine;
    context.tracks = task.tracks;
    context.frameRate = task.videoFPS;
    context.texts = {task.timeWidget, task.speedWidget, task.heartRateWidget};
    const FrameParams frame = computeFrameParams(int(12.5 * task.videoFPS), context);
    EXPECT_EQ(frame.timeStr, static_cast<TimeOverlayView *>(h.preview.widgetView(ID::time))->text());
    EXPECT_EQ(frame.speedStr, static_cast<SpeedOverlayView *>(h.preview.widgetView(ID::speed))->text());
    EXPECT_NE(frame.speedStr, QStringLiteral("0.0 km/h"));
    ASSERT_TRUE(h.preview.values().heading);
    EXPECT_EQ(frame.dotLat, h.preview.values().heading->lat);
    EXPECT_EQ(frame.flattenedIndex, h.preview.values().flattenedIndex);
}

TEST(PreviewArea, ScreenshotsOverARealClip)
{
    QTemporaryDir dir;
    testsupport::ClipSpec spec;
    spec.seconds = 3;
    spec.width = 1280;
    spec.height = 720;
    spec.color = QColor();  // the moving test pattern
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("clip.mp4"), spec);
    ASSERT_FALSE(clip.isEmpty());

    Harness h(false);
    h.state.setWidgetLayoutSize(QSizeF(960, 540));  // the window's default layout
    saveTestArtifact(h.preview.grab().toImage(), QStringLiteral("preview-empty-en"));
    h.engine.setCanvasOrigin(std::nullopt);
    h.engine.importVideo(VideoSource::probe(QUrl::fromLocalFile(clip), QUuid::createUuid()));
    h.player.loadTimeline(h.engine.videoSnapshot());
    ASSERT_TRUE(testsupport::waitFor([&] { return h.player.isLoaded() && !h.player.isSeeking(); }, 20000));
    EXPECT_FALSE(h.preview.showsEmptyState());
    EXPECT_FALSE(h.preview.widgetCenter(ID::speed));  // a video without tracks shows no widget

    h.gpx.setTracks({h.track});
    h.engine.setSegments({testsupport::segmentOf(h.track, 0, 59, 0)});
    h.map.setBorderStyle(MapBorderStyle::gta);
    h.map.setOrientation(MapOrientation::follow);
    h.gpsPath.setShowMap(true);
    h.heartRate.setShowMinMax(true);
    h.player.seek(1.5);
    h.player.clock()->setPlayheadTime(1.5);
    click(h.preview.widgetView(ID::speed), h.centreOf(ID::speed));
    testsupport::waitFor([] { return false; }, 4000);  // the map pages load their tiles
    ASSERT_EQ(h.preview.selectedWidget(), ID::speed);
    ASSERT_TRUE(h.preview.selectionOutline()->isVisible());
    saveTestArtifact(h.preview.grab().toImage(), QStringLiteral("preview-en"));

    QTranslator chinese;
    ASSERT_TRUE(chinese.load(QStringLiteral(":/i18n/ui_panels_zh_CN.qm")));
    QCoreApplication::installTranslator(&chinese);
    h.state.setAppLanguage(QStringLiteral("zh-Hans"));
    QPalette dark = h.preview.palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Button, QColor(60, 60, 60));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    h.preview.setPalette(dark);
    testsupport::waitFor([] { return false; }, 2000);
    saveTestArtifact(h.preview.grab().toImage(), QStringLiteral("preview-zh-dark"));
    h.gpx.setTracks({});
    h.player.loadTimeline({});
    h.state.setCompositionMode(CompositionMode::regular);
    testsupport::waitFor([&] { return h.preview.showsEmptyState(); }, 5000);
    EXPECT_EQ(h.preview.importButton()->text(), QStringLiteral("导入文件以开始"));
    saveTestArtifact(h.preview.grab().toImage(), QStringLiteral("preview-empty-zh-dark"));
    QCoreApplication::removeTranslator(&chinese);
}
