#include "support/testartifacts.h"
#include "tracks/gpxtrack.h"
#include "widgets/views/heartrategraphoverlayview.h"
#include "widgets/views/heartrateoverlayview.h"
#include "widgets/views/speedoverlayview.h"
#include "widgets/views/timeoverlayview.h"
#include "widgets/views/widgetborderoverlay.h"
#include "widgets/views/widgetcanvasdrag.h"
#include "widgets/views/widgetcanvaspreview.h"
#include "widgets/views/widgetcompassbadgeview.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

// A pointer event at a fixed screen position; the view may have moved under it.
void mouse(QWidget *target, QEvent::Type type, const QPointF &global, Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(global);
    QMouseEvent event(type, local, local, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// Presses in the middle of `view`, moves the pointer by each offset in turn (screen pixels), releases.
void drag(QWidget *view, std::initializer_list<QPointF> moves)
{
    const QPointF start = view->mapToGlobal(QPointF(view->width() / 2.0, view->height() / 2.0));
    mouse(view, QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (const QPointF &m : moves)
        mouse(view, QEvent::MouseMove, start + m, Qt::LeftButton);
    mouse(view, QEvent::MouseButtonRelease, start + *(moves.end() - 1), Qt::NoButton);
}

struct Canvas {
    WidgetCanvasPreview canvas;
    QWidget *widget = new QWidget;

    Canvas(QSize viewSize, QSizeF reference)
    {
        canvas.resize(viewSize);
        canvas.setReferenceSize(reference);
        canvas.placeView(widget, QPointF(300, 200), QSizeF(100, 50));
        canvas.show();
    }
};

} // namespace

TEST(WidgetCanvas, FitsTheReferenceCanvasIntoTheView)
{
    const struct {
        QSize view;
        QSizeF reference;
        QRectF rect;
    } cases[] = {
        {{480, 270}, {960, 540}, {0, 0, 480, 270}},
        {{800, 800}, {1920, 1080}, {0, 175, 800, 450}},
        {{800, 800}, {1080, 1920}, {175, 0, 450, 800}},
        {{800, 800}, {0, 540}, {}},
    };
    for (const auto &c : cases) {
        WidgetCanvasPreview canvas;
        canvas.resize(c.view);
        canvas.setReferenceSize(c.reference);
        EXPECT_EQ(canvas.canvasRect(), c.rect) << c.reference.width();
        EXPECT_TRUE(std::isfinite(canvas.canvasScale()));
        EXPECT_EQ(canvas.mapFromCanvas(QPointF(0, 0)), c.rect.topLeft());
    }
    Canvas half({480, 270}, {960, 540});
    EXPECT_EQ(half.widget->geometry(), QRect(125, 87, 50, 26)); // centre (150, 100), 50 × 25 rounded out
}

TEST(WidgetCanvas, DragInCanvasUnitsAtHalfSize)
{
    Canvas c({480, 270}, {960, 540});
    WidgetCanvasDrag dragger(&c.canvas, c.widget, QPointF(300, 200), QSizeF(50, 25));
    QList<QPointF> reported;
    QObject::connect(&dragger, &WidgetCanvasDrag::positionChanged, [&](const QPointF &p) { reported.append(p); });
    int taps = 0;
    QObject::connect(&dragger, &WidgetCanvasDrag::tapped, [&] { ++taps; });

    drag(c.widget, {QPointF(5, 5), QPointF(-6, 3)}); // never 10 px from the press: a tap
    EXPECT_FALSE(dragger.position());
    EXPECT_TRUE(reported.isEmpty());
    EXPECT_EQ(taps, 1);

    drag(c.widget, {QPointF(20, 0), QPointF(50, 0)}); // 50 screen px at half size: 100 canvas units
    ASSERT_TRUE(dragger.position());
    EXPECT_EQ(*dragger.position(), QPointF(400, 200));
    EXPECT_EQ(reported.last(), QPointF(400, 200));
    EXPECT_EQ(c.canvas.viewCenter(c.widget), QPointF(400, 200));
    EXPECT_EQ(c.widget->geometry().center(), QPoint(199, 99)); // 200 × 100 in screen px
    EXPECT_FALSE(dragger.isDragging());
    EXPECT_EQ(taps, 1);

    drag(c.widget, {QPointF(0, -25)}); // the next drag starts where the last one ended
    EXPECT_EQ(*dragger.position(), QPointF(400, 150));

    drag(c.widget, {QPointF(1000, 1000)}); // stops with the widget's edge on the canvas edge
    EXPECT_EQ(*dragger.position(), QPointF(910, 515));
    drag(c.widget, {QPointF(-1000, -1000)});
    EXPECT_EQ(*dragger.position(), QPointF(50, 25));
}

TEST(WidgetCanvas, DragStartsFromTheClampedDefaultPlace)
{
    Canvas c({960, 540}, {960, 540});
    // A default place too near the corner, and a widget taller than the canvas.
    WidgetCanvasDrag dragger(&c.canvas, c.widget, QPointF(10, 10), QSizeF(50, 400));
    drag(c.widget, {QPointF(30, 0)});
    ASSERT_TRUE(dragger.position());
    EXPECT_EQ(*dragger.position(), QPointF(80, 270)); // x from 50 (clamped) + 30; y held at the centre
    dragger.setPosition(QPointF(-40, 30)); // drawn inside, kept as given
    EXPECT_EQ(c.canvas.viewCenter(c.widget), QPointF(50, 270));
    EXPECT_EQ(dragger.position(), QPointF(-40, 30));
    dragger.setPosition(std::nullopt);
    EXPECT_EQ(c.canvas.viewCenter(c.widget), QPointF(50, 270));
    dragger.setHalfSize({50, 25});
    c.canvas.setReferenceSize({80, 540}); // a narrower canvas draws it inward again
    EXPECT_EQ(c.canvas.viewCenter(c.widget), QPointF(40, 25));
}

namespace {

// Set in the child process that has two screens side by side, the second at twice the scale.
constexpr char twoScreensVariable[] = "ROUTEREEL_CANVAS_TWO_SCREENS";

// A canvas at one pixel a unit whose window reaches over the second screen; drags
// start on the first screen and are let go at points over either. The pointer
// goes through the window system, which gives global positions by the screen under it.
void dragOverTheSecondScreen()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    ASSERT_NE(screens[0]->devicePixelRatio(), screens[1]->devicePixelRatio());
    WidgetCanvasPreview canvas;
    canvas.setGeometry(QRect(screens[0]->geometry().topLeft() + QPoint(200, 100), QSize(1000, 400)));
    canvas.setReferenceSize({1000, 400});
    auto *view = new QWidget;
    canvas.placeView(view, QPointF(300, 200), QSizeF(100, 50));
    canvas.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&canvas));
    QWindow *window = canvas.windowHandle();
    ASSERT_EQ(window->screen(), screens[0]);
    WidgetCanvasDrag dragger(&canvas, view, QPointF(300, 200), QSizeF(50, 25));

    for (const QPoint to : {QPoint(900, 250), QPoint(870, 360), QPoint(600, 60), QPoint(300, 200)}) {
        const QPoint from = view->geometry().center();
        QTest::mousePress(window, Qt::LeftButton, {}, from);
        QTest::mouseMove(window, (from + to) / 2);
        QTest::mouseMove(window, to);
        QTest::mouseRelease(window, Qt::LeftButton, {}, to);
        // The centre follows the pointer, give or take the rounding of the view to whole pixels.
        ASSERT_TRUE(dragger.position());
        EXPECT_NEAR(dragger.position()->x(), to.x() - (from.x() - 300), 1) << to.x() << "," << to.y();
        EXPECT_NEAR(dragger.position()->y(), to.y() - (from.y() - 200), 1) << to.x() << "," << to.y();
        dragger.setPosition(QPointF(300, 200));
    }
}

} // namespace

// A window across two screens of different scales: the widget still lands under the pointer.
TEST(WidgetCanvas, DragFollowsThePointerOverAScreenOfAnotherScale)
{
    if (qEnvironmentVariableIsSet(twoScreensVariable))
        return dragOverTheSecondScreen();
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"screens": [
        {"name": "first", "x": 0, "y": 0, "width": 1000, "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96},
        {"name": "second", "x": 1000, "y": 0, "width": 1000, "height": 800, "logicalDpi": 192, "logicalBaseDpi": 96}]})");
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(twoScreensVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(WidgetCanvas, OverlayViewsFollowTheCanvasScale)
{
    WidgetCanvasPreview canvas;
    canvas.resize(480, 270);
    canvas.setReferenceSize({960, 540});
    canvas.show();
    auto *speed = new SpeedOverlayView;
    speed->setSpeed(10);
    const QSizeF content = speed->contentSize();
    canvas.placeView(speed, QPointF(480, 270));
    EXPECT_EQ(speed->canvasScale(), 0.5);
    EXPECT_NEAR(speed->width(), content.width() / 2, 1.5);
    canvas.resize(960, 540);
    EXPECT_EQ(speed->canvasScale(), 1);
    EXPECT_NEAR(speed->width(), content.width(), 1.5);
    speed->setFontSize(36); // the canvas re-lays out a view whose content grows
    EXPECT_NEAR(speed->width(), speed->contentSize().width(), 1.5);

    // A shadow widens the view round the same centre and darkens beyond the box; opacity thins the box.
    const QRect plain = speed->geometry();
    const QImage before = speed->grab().toImage();
    speed->setShadow(true);
    EXPECT_NEAR(speed->width(), plain.width() + 4 * OverlayView::shadowRadius, 1.5);
    EXPECT_NEAR(speed->geometry().center().x(), plain.center().x(), 1);
    const int m = int(2 * OverlayView::shadowRadius);
    const QImage shadowed = speed->grab().toImage();
    const double dpr = shadowed.devicePixelRatio();  // grabs are in device pixels
    EXPECT_GT(qAlpha(shadowed.pixel(int((m - 2) * dpr), int(speed->height() / 2 * dpr))), 0);
    EXPECT_EQ(qAlpha(shadowed.pixel(0, 0)), 0);
    speed->setShadow(false);
    speed->setOpacity(0.5);
    EXPECT_NEAR(qAlpha(speed->grab().toImage().pixel(int(dpr), before.height() / 2)),
                qAlpha(before.pixel(int(dpr), before.height() / 2)) / 2, 2);
}

TEST(WidgetCanvas, PreviewGrab)
{
    QWidget window;
    window.resize(960, 540);
    window.setStyleSheet(QStringLiteral("background: rgb(0, 100, 0);"));
    auto *canvas = new WidgetCanvasPreview(&window);
    canvas->resize(960, 540);
    canvas->setReferenceSize({960, 540});

    GPXTrack track;
    for (int i = 0; i < 120; ++i) {
        TrackPoint p;
        p.time = 1.7e9 + i * 10;
        if (i % 40 != 39)
            p.heartRate = 120 + (i * 7) % 30;
        track.trackPoints.append(p);
    }
    auto *graph = new HeartRateGraphOverlayView;
    graph->setTracks({track});
    graph->setPanelSize(220, 70);
    graph->setCurrentSample(1.7e9 + 500, 130);
    canvas->placeView(graph, QPointF(160, 470));
    auto *speed = new SpeedOverlayView;
    speed->setSpeed(8.4);
    canvas->placeView(speed, QPointF(860, 40));
    auto *time = new TimeOverlayView;
    time->setTime(QDateTime(QDate(2024, 5, 1), QTime(19, 5, 9)));
    canvas->placeView(time, QPointF(860, 80));
    auto *hr = new HeartRateOverlayView;
    hr->setHeartRate(142);
    hr->setShowMinMax(true);
    hr->setMinMax(HeartRateMinMax{95, 178});
    canvas->placeView(hr, QPointF(860, 130));
    auto *content = new QWidget;
    content->setStyleSheet(QStringLiteral("background: rgb(40, 60, 90); border-radius: 90px;"));
    canvas->placeView(content, QPointF(140, 140), QSizeF(180, 180));
    auto *border = new WidgetBorderOverlay;
    border->setLayers(borderLayers(MapBorderStyle::gta));
    border->setWidgetSize(QSizeF(180, 180));
    canvas->placeView(border, QPointF(140, 140));
    auto *badge = new WidgetCompassBadgeView;
    badge->setWidgetSize(QSizeF(180, 180));
    badge->setTotalWidth(borderTotalWidth(MapBorderStyle::gta));
    badge->setAngle(30);
    canvas->placeView(badge, QPointF(140, 140));
    window.show();
    QApplication::processEvents();
    const QImage grab = window.grab().toImage();
    ASSERT_FALSE(grab.isNull());
    EXPECT_EQ(grab.pixelColor(480, 300), QColor(0, 100, 0));
    saveTestArtifact(grab, QStringLiteral("view-canvas"));
    canvas->resize(480, 270);
    saveTestArtifact(window.grab().toImage(), QStringLiteral("view-canvas-half"));
}
