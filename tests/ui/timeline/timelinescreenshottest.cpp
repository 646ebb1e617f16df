#include "timelinepanel.h"

#include "support/clipgenerator.h"
#include "support/testartifacts.h"
#include "support/waitfor.h"

#include "ui/timeline/timelinesegmentdurationhelp.h"
#include "ui/timeline/timelinesegmentdurationtooltip.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTranslator>
#include <QWindow>
#include <gtest/gtest.h>

using namespace routereel;

namespace {

// A track of `seconds` one-second fixes heading north-east, with heart rate.
QUrl writeTrack(const QString &dir, const QString &name, int seconds)
{
    QString gpx = QStringLiteral("<?xml version=\"1.0\"?><gpx version=\"1.1\" creator=\"test\" "
                                 "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>");
    for (int i = 0; i <= seconds; ++i)
        gpx += QStringLiteral("<trkpt lat=\"%1\" lon=\"%2\"><time>2024-06-01T08:%3:%4Z</time></trkpt>")
                   .arg(47.37 + i * 0.0001)
                   .arg(8.54 + i * 0.0001)
                   .arg(i / 60, 2, 10, QLatin1Char('0'))
                   .arg(i % 60, 2, 10, QLatin1Char('0'));
    gpx += QStringLiteral("</trkseg></trk></gpx>");
    QFile file(dir + QLatin1Char('/') + name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gpx.toUtf8());
    return QUrl::fromLocalFile(file.fileName());
}

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(40, 40, 40));
    p.setColor(QPalette::WindowText, QColor(235, 235, 235));
    p.setColor(QPalette::Base, QColor(30, 30, 30));
    p.setColor(QPalette::Text, QColor(235, 235, 235));
    p.setColor(QPalette::Button, QColor(55, 55, 55));
    p.setColor(QPalette::ButtonText, QColor(235, 235, 235));
    p.setColor(QPalette::Mid, QColor(70, 70, 70));
    p.setColor(QPalette::Highlight, QColor(10, 132, 255));
    return p;
}

} // namespace

// The panel with generated clips and tracks, used as a person would, then
// photographed in both languages and both appearances.
TEST(TimelineScreens, RealClipsAndTracksInUseAndOnScreen)
{
    QTemporaryDir dir;
    const QString rideClip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mov"),
                                                   {.seconds = 12, .color = {}, .container = QStringLiteral("mov")});
    const QString descent = testsupport::makeClip(dir.path(), QStringLiteral("descent.mp4"), {.seconds = 8});
    ASSERT_FALSE(rideClip.isEmpty() || descent.isEmpty());
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::style()->standardPalette();

    TimelinePanel p(1280);
    for (const QString &clip : {rideClip, descent})
        p.engine.importVideo(VideoSource::probe(QUrl::fromLocalFile(clip), QUuid::createUuid()));
    for (const auto &[name, seconds] : {std::pair{"morning.gpx", 30}, std::pair{"climb.gpx", 14}}) {
        const auto result = GPXService::loadTrack(writeTrack(dir.path(), QString::fromLatin1(name), seconds));
        ASSERT_TRUE(result.ok());
        p.store.addTrack(result.value());
        p.engine.importGPX(p.store.tracks().last());
    }
    p.service.loadOverlayOnly(std::pair{0.0, 44.0}, QSizeF(1920, 1080));
    ASSERT_EQ(p.videoLane().label(p.engine.videoSegments()[0]), QStringLiteral("ride.mov  00:00:12.00"));

    // Used through the window system as a person would: zoom in, scrub, move the
    // second track right, snap it back with a double click, trim the first clip's
    // end, split it with Ctrl+B, undo the split.
    // The first 12 s clip alone raised the lowest zoom, and the zoom with it, to 22.75.
    ASSERT_DOUBLE_EQ(p.view->pps(), (1200 - 108) / 12.0 * 0.25);
    QWindow *window = p.window.windowHandle();
    const auto in = [&](const QWidget &w, double t, int y = 20) {
        return w.mapTo(&p.window, QPoint(int(std::lround(t * p.view->pps() + 8)), y));
    };
    const auto button = [&](const char *name) {
        const auto *b = p.toolbar().findChild<QWidget *>(QString::fromLatin1(name));
        return b->mapTo(&p.window, b->rect().center());
    };
    const auto dragIn = [&](const QWidget &lane, double from, double to, double nudge = 0) {
        QTest::mousePress(window, Qt::LeftButton, {}, in(lane, from) + QPoint(int(nudge), 0));
        QTest::mouseMove(window, in(lane, (from + to) / 2) + QPoint(int(nudge), 0));
        QTest::mouseMove(window, in(lane, to) + QPoint(int(nudge), 0));
        QTest::mouseRelease(window, Qt::LeftButton, {}, in(lane, to) + QPoint(int(nudge), 0));
    };
    QTest::mouseClick(window, Qt::LeftButton, {}, button("zoomInButton"));
    EXPECT_DOUBLE_EQ(p.view->pps(), (1200 - 108) / 12.0 * 0.25 * 1.1);
    QTest::mouseClick(window, Qt::LeftButton, {}, in(p.ruler(), 6, 10));
    EXPECT_NEAR(p.service.clock()->playheadTime(), 6, 0.05);
    dragIn(p.gpxLane(), 38, 40);
    EXPECT_NEAR(p.engine.segments()[1].offset, 32, 0.05);
    QTest::mouseDClick(window, Qt::LeftButton, {}, in(p.gpxLane(), 40));
    EXPECT_DOUBLE_EQ(p.engine.segments()[1].offset, 30);
    dragIn(p.videoLane(), 12, 10, -2);
    EXPECT_NEAR(p.engine.videoSegments()[0].sourceEnd, 10, 0.05);
    ASSERT_EQ(p.engine.selectedVideoId(), p.engine.videoSegments()[0].id);  // a trim selects
    QTest::keyClick(window, Qt::Key_B, Qt::ControlModifier);
    EXPECT_EQ(p.engine.videoSegments().size(), 3);
    QTest::mouseClick(window, Qt::LeftButton, {}, button("undoButton"));
    EXPECT_EQ(p.engine.videoSegments().size(), 2);
    p.engine.setSelectedId(p.engine.segments()[0].id);
    p.view->addMarker(2);
    p.view->addMarker(9.5);

    QTranslator chinese;
    ASSERT_TRUE(chinese.load(QStringLiteral(":/i18n/ui_timeline_zh_CN.qm")));
    int moves = 0;
    for (const bool zh : {false, true}) {
        if (zh)
            QApplication::installTranslator(&chinese);
        QCoreApplication::processEvents();  // the views retranslate on a posted event
        EXPECT_EQ(p.toolbar().splitAction()->toolTip().startsWith(QStringLiteral("在播放头处")), zh);
        for (const bool dark : {false, true}) {
            QApplication::setPalette(dark ? darkPalette() : light);
            QTest::mouseMove(window, in(p.videoLane(), 18) + QPoint(++moves, 0));  // a fresh hover each time
            ASSERT_TRUE(testsupport::waitFor([&] { return p.view->durationTooltip()->isVisible(); }, 3000));
            EXPECT_EQ(p.view->durationTooltip()->text(), QStringLiteral("00:08.00"));
            const QString name = QStringLiteral("timeline-panel-%1-%2")
                                     .arg(zh ? QStringLiteral("zh") : QStringLiteral("en"),
                                          dark ? QStringLiteral("dark") : QStringLiteral("light"));
            EXPECT_TRUE(saveTestArtifact(p.window.grab().toImage(), name));
            p.view->durationTooltip()->setPresentation(std::nullopt);
            p.videoLane().durationHelp().hide();
        }
    }
    QApplication::removeTranslator(&chinese);
    QApplication::setPalette(light);
}
