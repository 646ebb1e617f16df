// One export of each mode driven through the real window as a user would: files
// dropped on it, Export, a preset picked in the sheet, the file named, the queue
// awaited; then the file itself is checked with ffprobe and a decoded frame.
#include "ui/main/exportaction.h"
#include "ui/main/mainwindow.h"
#include "ui/main/windowsheets.h"

#include "export/exportqueue.h"
#include "export/ffmpegruntime.h"
#include "export/videoexporter.h"
#include "maps/mapservices.h"
#include "project/projectsession.h"
#include "timeline/timelineengine.h"
#include "timeline/videoplayerservice.h"
#include "tracks/gpxservice.h"
#include "widgets/gpspathwidgetsettings.h"
#include "widgets/heartrategraphwidgetsettings.h"
#include "widgets/heartratewidgetsettings.h"
#include "widgets/mapsettings.h"
#include "widgets/speedwidgetsettings.h"
#include "widgets/timewidgetsettings.h"

#include "export/exporttestutil.h"
#include "support/fakeffmpeg.h"
#include "support/loopbackmapservice.h"
#include "support/notificationbus.h"
#include "support/testartifacts.h"

#include <QApplication>
#include <QAbstractButton>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>

using namespace routereel;
using exporttest::decodeFrame;
using exporttest::near;
using testsupport::waitFor;

namespace {

// Four fixes a second apart with heart rate: a three-second ride.
void writeRide(const QString &path)
{
    QString points;
    for (int i = 0; i < 4; ++i) {
        points += QStringLiteral("<trkpt lat=\"%1\" lon=\"8.5417\"><time>2023-05-01T06:00:0%2Z</time><extensions>"
                                 "<gpxtpx:TrackPointExtension><gpxtpx:hr>%3</gpxtpx:hr></gpxtpx:TrackPointExtension>"
                                 "</extensions></trkpt>")
                      .arg(47.3769 + i * 0.0001, 0, 'f', 7).arg(i).arg(120 + i);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<?xml version=\"1.0\"?><gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
                              "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v1\"><trk><trkseg>%1"
                              "</trkseg></trk></gpx>").arg(points).toUtf8());
}

void drop(MainWindow &window, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent event(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
}

// Export, 1080p, the file named: the task runs to its end.
QString exportAt1080p(MainWindow &window, const QString &path)
{
    QStringList proposed;
    window.exportAction().setSaveDialog([&](QWidget *, const QString &name) {
        proposed << name;
        return QUrl::fromLocalFile(path);
    });
    window.exportAction().action()->trigger();
    QDialog *sheet = window.sheets().dialog(WindowSheets::Sheet::exportSettings);
    EXPECT_TRUE(sheet && sheet->isVisible());
    if (!sheet)
        return {};
    QTest::mouseClick(sheet->findChild<QRadioButton *>(QStringLiteral("1080p")), Qt::LeftButton);
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("export")), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] {
        return !window.exportAction().isCheckingSources() && !window.exportQueue().isBusy();
    }, 180'000));
    return proposed.value(0);
}

// Export with the preset the sheet picks, the file named: the task runs to its end.
void exportAt(MainWindow &window, const QString &path)
{
    window.exportAction().setSaveDialog([&](QWidget *, const QString &) { return QUrl::fromLocalFile(path); });
    const qsizetype done = window.exportQueue().history().size();
    window.exportAction().action()->trigger();
    QDialog *sheet = window.sheets().dialog(WindowSheets::Sheet::exportSettings);
    ASSERT_TRUE(sheet && sheet->isVisible());
    QTest::mouseClick(sheet->findChild<QPushButton *>(QStringLiteral("export")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return window.exportQueue().history().size() > done; }, 60'000));
}

} // namespace

TEST(ExportEndToEnd, EachModeThroughTheWindow)
{
    QSettings().clear();
    QFile::remove(ProjectSession::lastSessionPath().value_or(QString()));
    const QColor map(255, 0, 255);
    const QByteArray tile = testsupport::solidTilePng(map);
    testsupport::LoopbackHttpServer tiles([&](const testsupport::HttpRequest &) {
        testsupport::HttpResponse response;
        response.contentType = "image/png";
        response.body = tile;
        return response;
    });
    MapServices::overrideEndpointsForTesting(tiles.baseUrl());
    QTemporaryDir dir;
    const QColor ground(40, 80, 160);
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"), {4, 1920, 1080, 30, true, ground});
    writeRide(dir.filePath(QStringLiteral("ride.gpx")));

    MainWindow window({.makePlayer = {}, .network = QNetworkInformation::Reachability::Online});
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    drop(window, {QUrl::fromLocalFile(clip), QUrl::fromLocalFile(dir.filePath(QStringLiteral("ride.gpx")))});
    ASSERT_TRUE(waitFor([&] { return window.exportAction().canExport(); }, 30'000));
    window.mapSettings().setEnabled(true);
    window.mapSettings().setOpacity(1);
    window.gpsPathSettings().setEnabled(true);
    window.gpsPathSettings().setShowMap(true);
    window.timeSettings().setEnabled(true);
    window.speedSettings().setEnabled(true);
    window.heartRateSettings().setEnabled(true);
    window.heartRateGraphSettings().setEnabled(true);
    // Where the preview's drag leaves the map: its centre on the 960 x 540 layout, two pixels a point.
    window.windowState().setPosition(WidgetKind::map, QPointF(300, 200));
    const double radius = window.mapSettings().width();  // in output pixels

    struct Case {
        const char *name;
        CompositionMode mode;
        bool audio;
        const char *frames;  // four seconds of video, or the three of the GPX range
    };
    for (const Case &c : {Case{"regular", CompositionMode::regular, true, "120"},
                          Case{"overlay", CompositionMode::overlay, false, "90"}}) {
        SCOPED_TRACE(c.name);
        QAbstractButton *mode = window.findChild<QAbstractButton *>(enumText(c.mode));
        ASSERT_TRUE(mode);
        QTest::mouseClick(mode, Qt::LeftButton);
        ASSERT_TRUE(waitFor([&] { return window.playerService().isLoaded() && window.exportAction().canExport(); }));
        const QString output = dir.filePath(QLatin1String(c.name) + QStringLiteral(".mp4"));
        EXPECT_TRUE(exportAt1080p(window, output).endsWith(QStringLiteral("_1080p.mp4")));

        ASSERT_FALSE(window.exportQueue().history().isEmpty());
        EXPECT_EQ(window.exportQueue().history().first().status, ExportTaskStatus::completed())
            << qPrintable(window.exportQueue().history().first().status.message());
        const auto video = testsupport::probeStream(output, "v:0", "stream=codec_name,pix_fmt,width,height,nb_read_frames");
        EXPECT_EQ(video, (QMap<QString, QString>{{"codec_name", "h264"}, {"pix_fmt", "yuv420p"}, {"width", "1920"},
                                                 {"height", "1080"}, {"nb_read_frames", c.frames}}));
        EXPECT_EQ(testsupport::probeStream(output, "a:0", "stream=codec_type").value("codec_type"),
                  c.audio ? "audio" : "");

        const QImage frame = decodeFrame(output, 45);
        ASSERT_EQ(frame.size(), QSize(1920, 1080));
        saveTestArtifact(frame, QStringLiteral("export-endtoend-") + QLatin1String(c.name));
        const QPoint mapCentre(600, 400);
        EXPECT_TRUE(near(frame.pixel(mapCentre - QPoint(radius / 2, 0)), map)) << Qt::hex << frame.pixel(mapCentre);
        EXPECT_FALSE(near(frame.pixel(mapCentre - QPoint(radius + 30, 0)), map));
        // The speed at its default place, never moved: white text around (160, 1020).
        int white = 0;
        for (int x = 60; x < 260; ++x)
            white += near(frame.pixel(x, 1020), Qt::white, 60) ? 1 : 0;
        EXPECT_GT(white, 5);
        if (c.mode == CompositionMode::regular)
            EXPECT_TRUE(near(frame.pixel(960, 200), ground));
    }
    MapServices::overrideEndpointsForTesting({});
    // The window saved a session of files that go with `dir`: later windows must not restore it.
    window.close();
    QFile::remove(ProjectSession::lastSessionPath().value_or(QString()));
}

TEST(ExportEndToEnd, EndingsAreNotifiedOnTheDesktop)
{
    QSettings().clear();
    QFile::remove(ProjectSession::lastSessionPath().value_or(QString()));
    testsupport::PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    testsupport::FakeNotificationService notifications;
    ASSERT_TRUE(notifications.serve(bus.connect(QStringLiteral("notification-service"))));

    QTemporaryDir dir;
    const QString clip = testsupport::makeClip(dir.path(), QStringLiteral("ride.mp4"), {.seconds = 4, .audio = false});
    writeRide(dir.filePath(QStringLiteral("ride.gpx")));
    MainWindow window({.makePlayer = {},
                       .network = QNetworkInformation::Reachability::Online,
                       .notificationBus = bus.connect(QStringLiteral("window"))});
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.session().didAttemptAutoRestore(); }));
    drop(window, {QUrl::fromLocalFile(clip), QUrl::fromLocalFile(dir.filePath(QStringLiteral("ride.gpx")))});
    ASSERT_TRUE(waitFor([&] { return window.exportAction().canExport(); }, 30'000));
    for (auto *settings : std::initializer_list<QObject *>{&window.mapSettings(), &window.gpsPathSettings(),
                                                          &window.speedSettings(), &window.heartRateSettings(),
                                                          &window.heartRateGraphSettings()})
        settings->setProperty("enabled", false);
    window.timeSettings().setEnabled(true);

    // The real ffmpeg, then one that fails.
    exportAt(window, dir.filePath(QStringLiteral("good.mp4")));
    ASSERT_EQ(window.exportQueue().history().first().status, ExportTaskStatus::completed());
    testsupport::FakeFfmpegSpec failing;
    failing.runExit = 1;
    failing.stderrText = QStringLiteral("Conversion failed!");
    FFmpegSearch search;
    search.bundled = {dir.filePath(QStringLiteral("ffmpeg"))};
    ASSERT_TRUE(testsupport::writeFakeFfmpeg(search.bundled.first(), failing));
    window.exportQueue().exporter()->setFFmpegSearch(search);
    exportAt(window, dir.filePath(QStringLiteral("bad.mp4")));
    ASSERT_NE(window.exportQueue().history().first().status, ExportTaskStatus::completed());

    ASSERT_TRUE(waitFor([&] { return notifications.calls.size() >= 2; }, 10'000));
    ASSERT_EQ(notifications.calls.size(), 2);
    EXPECT_EQ(notifications.calls[0].summary, QStringLiteral("routereel"));
    EXPECT_EQ(notifications.calls[0].body, QStringLiteral("Export Complete!"));
    EXPECT_EQ(notifications.calls[1].summary, QStringLiteral("routereel"));
    EXPECT_EQ(notifications.calls[1].body, QStringLiteral("Export Failed: bad.mp4"));
    window.close();
    QFile::remove(ProjectSession::lastSessionPath().value_or(QString()));
}
