#include "timelinepanel.h"

#include "support/testartifacts.h"
#include "support/waitfor.h"

#include "ui/icons/symbolicon.h"
#include "ui/timeline/timelinesegmentdurationtooltip.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QWidgetAction>
#include <QWheelEvent>
#include <QWindow>
#include <gtest/gtest.h>

using namespace routereel;
using testsupport::waitFor;
using Status = PreviewPlayer::ItemStatus;

namespace {

constexpr int laneY = 20;

int xAt(const TimelinePanel &p, double t)
{
    return int(std::lround(t * p.view->pps() + 8));
}

void drag(QWidget &w, std::initializer_list<QPoint> path)
{
    QTest::mousePress(&w, Qt::LeftButton, {}, *path.begin());
    for (QPoint point : path)
        QTest::mouseMove(&w, point);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, *(path.end() - 1));
}

// Through the window, as a person's click comes: whatever lies over `w` at that point takes it.
void clickIn(const TimelinePanel &p, const QWidget &w, QPoint at, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(p.window.windowHandle(), button, {}, w.mapTo(&p.window, at));
}

void hover(QWidget &w, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, w.mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
}

void sendWheel(QObject *to, QPointF at, QPoint pixelDelta, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent wheel(at, at, pixelDelta, pixelDelta * 3, Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &wheel);
}

void pinch(QWidget &w, std::initializer_list<double> increments)
{
    const auto send = [&](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent e(type, QPointingDevice::primaryPointingDevice(), 2, QPointF(50, 20), QPointF(50, 20),
                              QPointF(50, 20), value, QPointF());
        QApplication::sendEvent(&w, &e);
    };
    send(Qt::BeginNativeGesture, 0);
    for (double v : increments)
        send(Qt::ZoomNativeGesture, v);
    send(Qt::EndNativeGesture, 0);
}

QString lastStep(const TimelineEngine &engine)
{
    const QUndoStack *undo = engine.undoStack();
    return undo->count() ? undo->text(undo->index() - 1) : QString();
}

} // namespace

TEST(TimelineView, LowestZoomAndRulerEndFollowContentUntilCleared)
{
    TimelinePanel p;
    ASSERT_EQ(p.view->scrollAreaWidth(), 1000);
    EXPECT_EQ(p.view->minPps(), 0.1);
    EXPECT_EQ(p.view->rulerEnd(), 1);
    EXPECT_EQ(p.view->contentWidth(), 1000);
    EXPECT_EQ(p.view->pps(), 20);

    const GPXSegment late = p.addTrack(400, 200);
    p.addTrack(100, 0);
    EXPECT_NEAR(p.view->minPps(), 0.371666, 1e-6);
    EXPECT_EQ(p.view->rulerEnd(), 600);
    EXPECT_EQ(p.view->contentWidth(), 600 * 20 + 108);
    p.service.scrub(900);  // a playhead past the content extends the ruler
    EXPECT_EQ(p.view->rulerEnd(), 900);
    p.service.scrub(0);

    // Deleting the segment that ends last keeps the ruler and the lowest zoom.
    p.engine.setSelectedId(late.id);
    p.toolbar().deleteAction()->trigger();
    EXPECT_EQ(p.engine.segments().size(), 1);
    EXPECT_EQ(p.view->rulerEnd(), 600);
    EXPECT_NEAR(p.view->minPps(), 0.371666, 1e-6);

    // A one-second timeline raises the lowest zoom to the cap, and the zoom with it.
    p.engine.clear();
    EXPECT_EQ(p.view->rulerEnd(), 1);
    EXPECT_EQ(p.view->minPps(), 0.1);
    p.addTrack(1, 0);
    EXPECT_EQ(p.view->minPps(), 200);
    EXPECT_EQ(p.view->pps(), 200);
    EXPECT_EQ(p.view->zoomSliderPosition(), 0);
    // A falling lowest zoom leaves the zoom where it is.
    p.addTrack(500, 1);
    EXPECT_EQ(p.view->pps(), 200);
    EXPECT_FALSE(p.toolbar().zoomInAction()->isEnabled());
    EXPECT_TRUE(p.toolbar().zoomOutAction()->isEnabled());
}

TEST(TimelineView, SliderButtonsPinchAndCtrlWheelZoom)
{
    TimelinePanel p;
    p.addTrack(600, 0);
    const double min = p.view->minPps();

    p.toolbar().zoomInAction()->trigger();
    EXPECT_NEAR(p.view->pps(), 22, 1e-9);
    p.view->setZoomSliderPosition(0.5);
    EXPECT_NEAR(p.view->pps(), min + 0.25 * (200 - min), 1e-9);
    p.toolbar().zoomSlider()->setValue(0);
    EXPECT_EQ(p.view->pps(), min);
    EXPECT_FALSE(p.toolbar().zoomOutAction()->isEnabled());
    p.view->setPps(min * 1.05);
    p.toolbar().zoomOutAction()->trigger();
    EXPECT_EQ(p.view->pps(), min);
    EXPECT_EQ(p.toolbar().zoomSlider()->value(), 0);

    // Pinch: the zoom follows the total of the increments from the pinch's start.
    p.view->setPps(20);
    pinch(p.gpxLane(), {0.5, 0.5});
    EXPECT_NEAR(p.view->pps(), 28.284271, 1e-6);
    p.view->setPps(20);
    pinch(p.ruler(), {-0.75});
    EXPECT_NEAR(p.view->pps(), 10, 1e-9);
    p.view->setPps(20);
    pinch(p.videoLane(), {-1.5});  // a magnification below 0 is ignored
    EXPECT_EQ(p.view->pps(), 20);

    // Ctrl+wheel anywhere in the application zooms once; the widget under it never sees it.
    struct WheelCounter : QWidget {
        int wheels = 0;
        void wheelEvent(QWheelEvent *e) override { ++wheels, e->accept(); }
    } elsewhere;
    elsewhere.resize(200, 200);
    elsewhere.show();
    ASSERT_TRUE(elsewhere.windowHandle());
    sendWheel(elsewhere.windowHandle(), QPointF(50, 50), QPoint(0, 10), Qt::ControlModifier);
    EXPECT_NEAR(p.view->pps(), 21, 1e-9);
    sendWheel(&elsewhere, QPointF(50, 50), QPoint(0, -10), Qt::ControlModifier);
    EXPECT_NEAR(p.view->pps(), 21 * 0.95, 1e-9);
    sendWheel(&elsewhere, QPointF(50, 50), QPoint(0, 0), Qt::ControlModifier);
    EXPECT_EQ(elsewhere.wheels, 0);
    sendWheel(elsewhere.windowHandle(), QPointF(50, 50), QPoint(0, 10), Qt::NoModifier);
    EXPECT_EQ(elsewhere.wheels, 1);
    EXPECT_NEAR(p.view->pps(), 21 * 0.95, 1e-9);
    // Hidden, the panel leaves the wheel alone.
    p.window.hide();
    sendWheel(&elsewhere, QPointF(50, 50), QPoint(0, 10), Qt::ControlModifier);
    EXPECT_EQ(elsewhere.wheels, 2);
}

TEST(TimelineView, RulerScrubsWithinTheRulerAndStopsAPendingPlay)
{
    TimelinePanel p;
    p.addTrack(100, 0);
    QTest::mouseClick(&p.ruler(), Qt::LeftButton, {}, QPoint(xAt(p, 10), 10));
    EXPECT_EQ(p.service.clock()->playheadTime(), 0);  // nothing loaded: nothing happens

    // A play waiting for a seek would resume after the scrub.
    p.addClip(100, 0);
    p.service.loadTimeline(p.engine.videoSnapshot());
    ASSERT_TRUE(waitFor([&] { return p.player->replaceCount == 1; }));
    p.player->settle(Status::readyToPlay);
    p.player->completeSeek();
    p.service.seek(30);
    p.service.play();
    ASSERT_TRUE(p.service.wantsToPlay());
    ASSERT_FALSE(p.service.isPlaying());
    QTest::mousePress(&p.ruler(), Qt::LeftButton, {}, QPoint(xAt(p, 10), 10));
    EXPECT_DOUBLE_EQ(p.service.clock()->playheadTime(), 10);
    EXPECT_FALSE(p.service.wantsToPlay());
    QTest::mouseMove(&p.ruler(), QPoint(2, 10));
    EXPECT_EQ(p.service.clock()->playheadTime(), 0);
    QTest::mouseMove(&p.ruler(), QPoint(xAt(p, 40), 10));
    QTest::mouseRelease(&p.ruler(), Qt::LeftButton, {}, QPoint(xAt(p, 40), 10));
    for (size_t i = 0; i < p.player->seeks.size(); ++i)
        p.player->completeSeek(int(i));
    EXPECT_FALSE(p.player->playing);
    EXPECT_DOUBLE_EQ(p.service.clock()->playheadTime(), 40);

    p.view->setPps(3);  // the content ends before the panel does
    QTest::mouseClick(&p.ruler(), Qt::LeftButton, {}, QPoint(900, 10));
    EXPECT_EQ(p.service.clock()->playheadTime(), p.view->rulerEnd());
}

TEST(TimelineView, OriginAndReadoutFollowTheModeAndTheDragPreview)
{
    TimelinePanel p;
    EXPECT_EQ(p.toolbar().endTimeLabel()->text(), QStringLiteral("00:00:00.00"));
    const VideoSegment clip = p.addClip(75.5, 25);
    p.addTrack(60, 40);
    p.service.scrub(5);
    EXPECT_EQ(p.view->timeOrigin(), 25);
    EXPECT_EQ(p.toolbar().currentTimeLabel()->text(), QString(QChar(0x2212)) + QStringLiteral("00:00:20.00"));
    EXPECT_EQ(p.toolbar().endTimeLabel()->text(), QStringLiteral("00:01:15.50"));
    EXPECT_EQ(p.toolbar().segmentCountLabel()->text(), QStringLiteral("2 seg"));

    // Home scrolls the origin to the leading edge, every time it is pressed.
    p.service.loadOverlayOnly(std::pair{0.0, 100.0}, QSizeF(1920, 1080));
    for (int press = 0; press < 2; ++press) {
        p.view->scrollArea()->setScrollOffset(900);
        p.toolbar().homeAction()->trigger();
        EXPECT_EQ(p.service.clock()->playheadTime(), 25);
        EXPECT_TRUE(waitFor([&] { return p.view->scrollArea()->scrollOffset() == 25 * 20; }, 2000)) << press;
    }

    p.view->setVideoDrag(VideoDragPreview{clip.id, 10});
    EXPECT_EQ(p.view->timeOrigin(), 10);
    EXPECT_EQ(p.view->contentEnd(), 100);
    p.view->setVideoDrag(std::nullopt);

    p.state.setCompositionMode(CompositionMode::overlay);
    EXPECT_EQ(p.view->timeOrigin(), 40);
    EXPECT_EQ(p.toolbar().endTimeLabel()->text(), QStringLiteral("00:01:00.00"));
    p.engine.setSegments({});
    EXPECT_EQ(p.view->timeOrigin(), 0);
    EXPECT_EQ(p.toolbar().endTimeLabel()->text(), QStringLiteral("00:00:00.00"));
}

TEST(GPXLane, ClickMoveTrimAndSnapGestures)
{
    TimelinePanel p;
    const GPXSegment a = p.addTrack(20, 5);
    GPXLaneView &lane = p.gpxLane();
    EXPECT_EQ(lane.segmentGeometry(a).rect, QRectF(108, 3, 400, 38));

    // Three points of travel are a click: it selects and moves nothing.
    drag(lane, {QPoint(300, laneY), QPoint(303, laneY + 10)});
    EXPECT_EQ(p.engine.selectedId(), a.id);
    EXPECT_EQ(p.engine.segments()[0].offset, 5);
    EXPECT_EQ(p.engine.undoStack()->count(), 0);

    // A drag left past time 0 stops the bar at 0 and commits one "Move" to 0.
    p.engine.moveSegment(a.id, 2);
    const int steps = p.engine.undoStack()->count();
    QTest::mousePress(&lane, Qt::LeftButton, {}, QPoint(200, laneY));
    QTest::mouseMove(&lane, QPoint(100, laneY));
    EXPECT_EQ(lane.segmentGeometry(p.engine.segments()[0]).rect.left(), 8);
    EXPECT_EQ(p.engine.segments()[0].offset, 2);
    p.view->setPps(40);  // the drag converts with the zoom it began at
    QTest::mouseRelease(&lane, Qt::LeftButton, {}, QPoint(100, laneY));
    EXPECT_EQ(p.engine.segments()[0].offset, 0);
    EXPECT_EQ(p.engine.undoStack()->count(), steps + 1);
    EXPECT_EQ(lastStep(p.engine), QStringLiteral("Move"));
    p.view->setPps(20);

    // One trim gesture of many events is one "Trim" step; the next gesture is another.
    const int end = xAt(p, 20) - 2;
    drag(lane, {QPoint(end, laneY), QPoint(end - 20, laneY), QPoint(end - 40, laneY), QPoint(end - 60, laneY)});
    EXPECT_DOUBLE_EQ(p.engine.segments()[0].gpxEnd, 17);
    EXPECT_EQ(p.engine.undoStack()->count(), steps + 2);
    EXPECT_EQ(lastStep(p.engine), QStringLiteral("Trim"));
    drag(lane, {QPoint(xAt(p, 0) + 2, laneY), QPoint(xAt(p, 2) + 2, laneY)});
    EXPECT_DOUBLE_EQ(p.engine.segments()[0].gpxStart, 2);
    EXPECT_DOUBLE_EQ(p.engine.segments()[0].offset, 2);
    EXPECT_EQ(p.engine.undoStack()->count(), steps + 3);

    // A move that the window loses midway is dropped.
    QTest::mousePress(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 10), laneY));
    QTest::mouseMove(&lane, QPoint(xAt(p, 20), laneY));
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(&lane, &deactivate);
    QTest::mouseRelease(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 20), laneY));
    EXPECT_EQ(p.engine.segments()[0].offset, 2);
    EXPECT_EQ(lane.segmentGeometry(p.engine.segments()[0]).rect.left(), xAt(p, 2));
}

TEST(GPXLane, ASecondClickCloseInTimeAndPlaceSnapsWhatItLandsOn)
{
    TimelinePanel p;
    const GPXSegment a = p.addTrack(10, 0);     // at 20 points a second: x 8 to 208
    const GPXSegment b = p.addTrack(10, 10.3);  // x 214 to 414
    p.view->setPps(20);  // the first track alone raised it
    struct Click {
        int x;
        int pauseMs = 0;  // before this click
    };
    struct Case {
        const char *name;
        std::vector<Click> clicks;
        double bOffset;
        QUuid selected;
    };
    const Case cases[] = {
        {"A, then B 9 points away: B snaps, A stays selected", {{206}, {215}}, 10, a.id},
        {"a third quick click snaps again, it does not toggle", {{300}, {302}, {304}}, 10, b.id},
        {"0.4 s apart: two toggles", {{300}, {300, 400}}, 10.3, {}},
        {"11 points apart: two toggles", {{300}, {311}}, 10.3, {}},
        {"the second on empty space: two toggles", {{409}, {417}}, 10.3, {}},
    };
    for (const Case &c : cases) {
        p.engine.setSegments({a, b});
        p.engine.setSelectedId({});
        QTest::qWait(400);  // the previous case's last click is no longer recent
        const int steps = p.engine.undoStack()->count();
        for (const Click &click : c.clicks) {
            QTest::qWait(click.pauseMs);
            clickIn(p, p.gpxLane(), QPoint(click.x, laneY));
        }
        EXPECT_DOUBLE_EQ(p.engine.segments()[1].offset, c.bOffset) << c.name;
        EXPECT_EQ(p.engine.selectedId(), c.selected) << c.name;
        EXPECT_EQ(p.engine.undoStack()->count(), steps + (c.bOffset == 10 ? 1 : 0)) << c.name;
    }
}

TEST(GPXLane, TheScrollBarLeavesTheLanesWhole)
{
    TimelinePanel p;
    const GPXSegment track = p.addTrack(600, 0);
    QScrollBar *bar = p.view->scrollArea()->scrollBar();
    ASSERT_TRUE(bar->isVisible());
    const QRectF r = p.gpxLane().segmentGeometry(track).rect;
    for (const QPoint at : {QPoint(300, int(r.bottom()) - 1), QPoint(600, int(r.bottom()) - 4)}) {
        p.engine.setSelectedId({});
        clickIn(p, p.gpxLane(), at);
        EXPECT_EQ(p.engine.selectedId(), track.id) << at.y();
        EXPECT_EQ(p.view->scrollArea()->scrollOffset(), 0) << at.y();
    }
    // The bar still pages the view from its own strip.
    clickIn(p, *bar, QPoint(bar->width() * 3 / 4, bar->height() / 2));
    EXPECT_GT(p.view->scrollArea()->scrollOffset(), 0);
}

TEST(GPXLane, TrackIconIsTenPointsAtTheDevicesPixelsBeforeTheDuration)
{
    TimelinePanel p;
    const GPXSegment a = p.addTrack(20, 5);
    GPXLaneView &lane = p.gpxLane();
    const double ratio = lane.devicePixelRatioF() > 1 ? lane.devicePixelRatioF() : 2.0;
    QImage shot((QSizeF(lane.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    shot.setDevicePixelRatio(ratio);
    shot.fill(Qt::black);
    lane.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);

    // The symbol alone, 10 points at the same ratio, in the lane's white on black.
    QImage alone(QSize(10, 10) * ratio, QImage::Format_ARGB32_Premultiplied);
    alone.setDevicePixelRatio(ratio);
    alone.fill(Qt::black);
    {
        QPainter painter(&alone);
        paintSymbol(painter, QRectF(0, 0, 10, 10), QStringLiteral("point.topleft.down.to.point.bottomright.curvepath"),
                    QColor(255, 255, 255, int(255 * 0.85)));
    }
    const auto inkIn = [](const QImage &image, const QRect &area) {
        QRect box;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::min({c.red(), c.green(), c.blue()}) > 150)
                    box |= QRect(x, y, 1, 1);
            }
        return box;
    };
    const QRect expected = inkIn(alone, alone.rect());
    ASSERT_FALSE(expected.isEmpty());

    // Between the label area's start and the duration text, 18 points in.
    const SegmentGeometry g = lane.segmentGeometry(a);
    const double left = g.rect.left() + g.handleWidth + 2;
    const QRect iconArea = QRectF(QPointF(left, g.rect.top()) * ratio, QPointF(left + 17, g.rect.bottom()) * ratio)
                               .toAlignedRect() & shot.rect();
    const QRect icon = inkIn(shot, iconArea);
    EXPECT_NEAR(icon.width(), expected.width(), 1.5);
    EXPECT_NEAR(icon.height(), expected.height(), 1.5);
    EXPECT_NEAR(icon.left(), (left + 4) * ratio + expected.left(), 1.5);
    EXPECT_NEAR(icon.top(), (g.rect.center().y() - 5) * ratio + expected.top(), 1.5);
}

TEST(VideoLane, LabelPreviewedMoveTrimAndSnap)
{
    TimelinePanel p;
    const VideoSegment a = p.addClip(75.5, 0);
    p.addClip(20, 80, QStringLiteral("/clips/b.mp4"));
    p.view->setPps(8);
    VideoLaneView &lane = p.videoLane();
    EXPECT_EQ(lane.label(a), QStringLiteral("ride.mov  00:01:15.50"));

    int drags = 0;
    QObject::connect(p.view, &TimelineView::videoDragChanged, [&] { ++drags; });
    QTest::mousePress(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 90), laneY));
    QTest::mouseMove(&lane, QPoint(xAt(p, 100), laneY));
    ASSERT_TRUE(p.view->videoDrag());
    EXPECT_EQ(p.view->videoDrag()->offset, 90);
    EXPECT_EQ(p.view->contentEnd(), 110);
    EXPECT_EQ(p.engine.videoSegments()[1].offset, 80);
    QTest::mouseMove(&lane, QPoint(xAt(p, 0), laneY));
    QTest::mouseRelease(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 0), laneY));
    EXPECT_FALSE(p.view->videoDrag());
    EXPECT_EQ(p.engine.videoSegments()[1].offset, 0);
    EXPECT_EQ(lastStep(p.engine), QStringLiteral("Move"));
    EXPECT_EQ(p.engine.selectedVideoId(), p.engine.videoSegments()[1].id);
    EXPECT_EQ(drags, 3);
    EXPECT_EQ(p.view->rulerEnd(), 110);  // the ruler never shrinks after edits

    p.engine.undoStack()->undo();
    const int steps = p.engine.undoStack()->count();
    const int end = xAt(p, 75.5) - 2;
    drag(lane, {QPoint(end, laneY), QPoint(end - 40, laneY), QPoint(end - 80, laneY)});
    EXPECT_DOUBLE_EQ(p.engine.videoSegments()[0].sourceEnd, 65.5);
    EXPECT_EQ(p.engine.undoStack()->count(), steps);  // the undone move was replaced by one trim
    EXPECT_EQ(lastStep(p.engine), QStringLiteral("Trim"));

    QTest::mouseClick(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 85), laneY));
    QTest::mouseClick(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 85), laneY));
    EXPECT_DOUBLE_EQ(p.engine.videoSegments()[1].offset, 65.5);
    EXPECT_EQ(lastStep(p.engine), QStringLiteral("Snap"));
    QTest::mouseClick(&lane, Qt::LeftButton, {}, QPoint(xAt(p, 200), laneY));
    EXPECT_TRUE(p.engine.selectedVideoId().isNull());
}

TEST(TimelineToolbar, MarkersSplitDeleteAndClearWithOneUndo)
{
    TimelinePanel p;
    const GPXSegment track = p.addTrack(60, 0);
    const VideoSegment clip = p.addClip(30, 0);
    p.service.loadOverlayOnly(std::pair{0.0, 60.0}, QSizeF(1920, 1080));

    EXPECT_FALSE(p.toolbar().markerGroup()->isVisibleTo(&p.window));
    for (double t : {5.0, 2.0}) {
        p.service.scrub(t);
        p.view->addMarker(p.service.clock()->playheadTime());
    }
    EXPECT_EQ(p.view->markers(), (QList<double>{5, 2}));
    EXPECT_TRUE(p.toolbar().markerGroup()->isVisibleTo(&p.window));
    EXPECT_EQ(p.toolbar().markerSpanLabel()->text(), QStringLiteral("00:03"));
    p.view->addMarker(std::nan(""));
    EXPECT_EQ(p.view->markers(), (QList<double>{2, 0}));
    QTest::mouseClick(p.toolbar().findChild<QToolButton *>(QStringLiteral("clearMarkersButton")), Qt::LeftButton);
    EXPECT_TRUE(p.view->markers().isEmpty());
    EXPECT_FALSE(p.toolbar().markerGroup()->isVisibleTo(&p.window));

    // Ctrl+B splits only while the engine allows it at the playhead.
    p.service.scrub(20);
    QTest::keyClick(&p.window, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(p.engine.videoSegments().size(), 1);
    p.engine.setSelectedVideoId(clip.id);
    EXPECT_TRUE(p.toolbar().splitAction()->isEnabled());
    QTest::keyClick(&p.window, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(p.engine.videoSegments().size(), 2);
    p.engine.setSelectedVideoId(p.engine.videoSegments()[1].id);
    p.view->deleteSelection();
    EXPECT_EQ(p.engine.videoSegments().size(), 1);
    EXPECT_FALSE(p.toolbar().deleteAction()->isEnabled());
    QTest::keyClick(&p.window, Qt::Key_Home);
    EXPECT_EQ(p.service.clock()->playheadTime(), 0);

    // Clear asks first; one Undo brings back tracks and segments, one Redo removes them again.
    const auto lanes = [&] { return p.engine.segments().size() + p.engine.videoSegments().size(); };
    p.toolbar().clearAction()->trigger();
    QMessageBox *box = p.view->clearConfirmation();
    ASSERT_TRUE(box && box->isVisible());
    EXPECT_EQ(box->informativeText(), QStringLiteral("This will remove the video and all GPX segments."));
    const auto button = [&](const char *text) {
        for (QAbstractButton *b : box->buttons())
            if (b->text() == QLatin1String(text))
                return b;
        return static_cast<QAbstractButton *>(nullptr);
    };
    button("Cancel")->click();
    EXPECT_EQ(lanes(), 2);
    p.toolbar().clearAction()->trigger();
    button("Clear")->click();
    EXPECT_EQ(lanes(), 0);
    EXPECT_TRUE(p.store.tracks().isEmpty());
    EXPECT_FALSE(p.service.isLoaded());
    EXPECT_FALSE(p.toolbar().clearAction()->isEnabled());
    EXPECT_EQ(lastStep(p.engine), QStringLiteral("Clear"));
    p.toolbar().undoAction()->trigger();
    EXPECT_EQ(lanes(), 2);
    ASSERT_EQ(p.store.tracks().size(), 1);
    EXPECT_EQ(p.store.tracks()[0].id, track.trackID);
    p.toolbar().redoAction()->trigger();
    EXPECT_EQ(lanes(), 0);
    EXPECT_TRUE(p.store.tracks().isEmpty());
}

// The panel as narrow as the window lets it be: the window's minimum less the
// inspector (829), and on 1366 × 768 at 150 % (679), 1366 × 768 and 1280 × 720 at
// 200 % (452, 409), and narrower still. No two controls overlap, none is cut, and
// what does not fit is in the "more" menu, named.
TEST(TimelineToolbar, NarrowRowsKeepEveryControlWholeAndReachable)
{
    TimelinePanel p;
    p.window.setMinimumSize(1, 1);  // as the window's content: the panel gets what is left
    p.addTrack(4000, 0);
    const VideoSegment clip = p.addClip(30, 0);
    p.service.loadOverlayOnly(std::pair{0.0, 4000.0}, QSizeF(1920, 1080));
    p.view->addMarker(2);
    p.view->addMarker(3700);
    TimelineToolbar &bar = p.toolbar();
    QTranslator chinese;
    ASSERT_TRUE(chinese.load(QStringLiteral(":/i18n/ui_timeline_zh_CN.qm")));

    for (const bool zh : {false, true}) {
        if (zh)
            QApplication::installTranslator(&chinese);
        for (const int width : {829, 679, 452, 409, 260}) {
            SCOPED_TRACE(testing::Message() << (zh ? "zh " : "en ") << width);
            p.window.resize(width, p.window.height());
            // The display's word on the last size may still be on its way: it would undo this one.
            QGuiApplication::sync();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);  // the row, as it now fits
            ASSERT_EQ(bar.width(), width);

            QList<QWidget *> shown;
            for (QWidget *w : bar.findChildren<QWidget *>()) {
                const bool leaf = std::none_of(w->children().begin(), w->children().end(), [&](QObject *c) {
                    return c->isWidgetType() && static_cast<QWidget *>(c)->isVisibleTo(&bar);
                });
                if (w->isVisibleTo(&bar) && leaf && !qobject_cast<QMenu *>(w))
                    shown << w;
            }
            for (QWidget *w : shown) {
                const QRect box(w->mapTo(&bar, QPoint()), w->size());
                EXPECT_TRUE(bar.rect().contains(box)) << w->objectName().toStdString();
                for (QWidget *other : shown) {
                    if (other != w)
                        EXPECT_FALSE(box.intersects(QRect(other->mapTo(&bar, QPoint()), other->size())))
                            << w->objectName().toStdString() << " over " << other->objectName().toStdString();
                }
                if (auto *label = qobject_cast<QLabel *>(w))
                    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
                        << label->text().toStdString();
            }
            EXPECT_TRUE(bar.currentTimeLabel()->isVisibleTo(&bar));

            // Whatever is not on the row is in the menu, with a name a screen reader reads.
            QList<QAction *> menu = bar.overflowMenu()->actions();
            menu.removeIf([](QAction *a) { return a->isSeparator(); });
            EXPECT_EQ(bar.overflowButton()->isVisibleTo(&bar), !menu.isEmpty());
            EXPECT_FALSE(bar.overflowButton()->accessibleName().isEmpty());
            for (QAction *action : {bar.zoomOutAction(), bar.zoomInAction(), bar.alignAction(), bar.homeAction(),
                                    bar.splitAction(), bar.deleteAction(), bar.clearAction(), bar.undoAction(),
                                    bar.redoAction(), bar.clearMarkersAction()}) {
                const bool onRow = std::any_of(shown.begin(), shown.end(), [&](QWidget *w) {
                    auto *button = qobject_cast<QToolButton *>(w);
                    return button && button->defaultAction() == action;
                });
                EXPECT_NE(onRow, menu.contains(action)) << action->objectName().toStdString();
                EXPECT_FALSE(action->text().isEmpty());
            }
            const bool sliderInMenu = std::any_of(menu.begin(), menu.end(), [](QAction *a) {
                auto *item = qobject_cast<QWidgetAction *>(a);
                return item && item->defaultWidget()->findChild<QSlider *>();
            });
            EXPECT_NE(bar.zoomSlider()->isVisibleTo(&bar), sliderInMenu);
            const auto listed = [&](const QString &text) {
                return std::any_of(menu.begin(), menu.end(), [&](QAction *a) { return a->text().contains(text); });
            };
            for (QLabel *readout : {bar.segmentCountLabel(), bar.markerSpanLabel(), bar.endTimeLabel()})
                EXPECT_NE(readout->isVisibleTo(&bar), listed(readout->text())) << readout->text().toStdString();
            if (width == 409) {
                QTest::mouseClick(bar.overflowButton(), Qt::LeftButton);
                ASSERT_TRUE(waitFor([&] { return bar.overflowMenu()->isVisible(); }, 1000));
                const QString lang = zh ? QStringLiteral("zh") : QStringLiteral("en");
                EXPECT_TRUE(saveTestArtifact(bar.grab().toImage(), QStringLiteral("timeline-toolbar-409-") + lang));
                EXPECT_TRUE(saveTestArtifact(bar.overflowMenu()->grab().toImage(),
                                             QStringLiteral("timeline-toolbar-more-") + lang));
                bar.overflowMenu()->close();
            }
        }
    }
    QApplication::removeTranslator(&chinese);
    QCoreApplication::processEvents();

    // Keys of buttons waiting in the menu still work.
    ASSERT_FALSE(bar.findChild<QToolButton *>(QStringLiteral("splitButton"))->isVisibleTo(&bar));
    QApplication::setActiveWindow(&p.window);  // the menu had the keyboard
    p.engine.setSelectedVideoId(clip.id);
    p.service.scrub(10);
    QTest::keyClick(&p.window, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(p.engine.videoSegments().size(), 2);
    QTest::keyClick(&p.window, Qt::Key_Home);
    EXPECT_EQ(p.service.clock()->playheadTime(), 0);
}

TEST(DurationHelp, ShowsAfterOneSecondOfRestAndSetsResizeCursor)
{
    TimelinePanel p;
    p.addTrack(83.5, 0);
    p.view->setPps(10);
    GPXLaneView &lane = p.gpxLane();
    TimelineSegmentDurationTooltip &tooltip = *p.view->durationTooltip();

    hover(lane, QPoint(xAt(p, 0) + 3, laneY));
    EXPECT_EQ(lane.cursor().shape(), Qt::SizeHorCursor);
    const QPoint at(xAt(p, 40), laneY);
    hover(lane, at);
    EXPECT_EQ(lane.cursor().shape(), Qt::ArrowCursor);
    QTest::qWait(900);
    EXPECT_FALSE(tooltip.isVisible());
    ASSERT_TRUE(waitFor([&] { return tooltip.isVisible(); }, 1000));
    EXPECT_EQ(tooltip.text(), QStringLiteral("01:23.50"));
    const QPointF pointer = lane.mapTo(p.view, at);
    EXPECT_DOUBLE_EQ(tooltip.boxRect().left(), pointer.x() + 10);
    EXPECT_DOUBLE_EQ(tooltip.boxRect().bottom(), pointer.y() - 12);

    // Zooming hides it; a hover elsewhere on the lane with no segment keeps it hidden.
    p.view->setPps(11);
    EXPECT_FALSE(tooltip.isVisible());
    hover(lane, QPoint(xAt(p, 90), laneY));
    QTest::qWait(1100);
    EXPECT_FALSE(tooltip.isVisible());
}

TEST(DurationHelp, NeverShowsWhereThePointerWasWhenAContextMenuOpened)
{
    TimelinePanel p;
    p.addClip(60, 0);
    p.view->setPps(10);
    QWindow *window = p.window.windowHandle();
    TimelineSegmentDurationTooltip &tooltip = *p.view->durationTooltip();
    const QPoint before = p.videoLane().mapTo(&p.window, QPoint(xAt(p, 20), laneY));
    QTest::mouseMove(window, before);
    QTest::qWait(500);

    // The menu stays open past the help's second, then is dismissed where it opened.
    bool menuOpened = false;
    bool shownUnderMenu = true;
    QTimer::singleShot(1000, [&] {
        QWidget *menu = QApplication::activePopupWidget();
        menuOpened = menu != nullptr;
        shownUnderMenu = tooltip.isVisible();
        if (menu)
            QTest::keyClick(menu, Qt::Key_Escape);
    });
    clickIn(p, p.videoLane(), p.videoLane().mapFrom(&p.window, before), Qt::RightButton);
    ASSERT_TRUE(menuOpened);
    EXPECT_FALSE(shownUnderMenu);
    QTest::mouseMove(window, before);  // the pointer is reported where it rests
    QTest::qWait(1200);
    EXPECT_FALSE(tooltip.isVisible());

    // Moved, the pointer gets the help at its new place after a full second.
    const QPoint after = before + QPoint(30, 0);
    QTest::mouseMove(window, after);
    QTest::qWait(900);
    EXPECT_FALSE(tooltip.isVisible());
    ASSERT_TRUE(waitFor([&] { return tooltip.isVisible(); }, 1000));
    EXPECT_DOUBLE_EQ(tooltip.boxRect().left(), p.view->mapFrom(&p.window, after).x() + 10);
}
