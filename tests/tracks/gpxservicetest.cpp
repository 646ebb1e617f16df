#include "tracks/gpxservice.h"
#include "tracks/iso8601.h"
#include "tracks/xmltrackreader.h"

#include "support/trackfixtures.h"
#include "support/waitfor.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <gtest/gtest.h>

#include <memory>

using namespace routereel;

namespace {

const QByteArray gpxBody = R"(<?xml version="1.0"?><gpx version="1.1"><trk><trkseg>
<trkpt lat="47.0" lon="8.0"><time>2023-05-01T10:00:00Z</time></trkpt>
<trkpt lat="47.1" lon="8.1"><time>2023-05-01T10:00:01Z</time></trkpt>
<trkpt lat="47.2" lon="8.2"><time>2023-05-01T10:00:02Z</time></trkpt>
</trkseg></trk></gpx>)";

const QByteArray tcxBody = R"(<?xml version="1.0"?><TrainingCenterDatabase><Activities><Activity><Lap><Track>
<Trackpoint><Time>2023-05-01T10:00:00Z</Time><Position><LatitudeDegrees>47</LatitudeDegrees><LongitudeDegrees>8</LongitudeDegrees></Position></Trackpoint>
<Trackpoint><Time>2023-05-01T10:00:01Z</Time><Position><LatitudeDegrees>47.1</LatitudeDegrees><LongitudeDegrees>8.1</LongitudeDegrees></Position></Trackpoint>
</Track></Lap></Activity></Activities></TrainingCenterDatabase>)";

const QByteArray igcBody = "AXXX\r\nHFDTE010523\r\nB1000004700000N00800000EA0000000400\r\nB1000014700100N00800100EA0000000401\r\n";

struct Files {
    QTemporaryDir dir;

    QUrl write(const QString &name, const QByteArray &content)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            ADD_FAILURE() << "cannot write " << name.toStdString();
        return QUrl::fromLocalFile(f.fileName());
    }
};

TrackPoint at(Instant time, double lat = 47, double lng = 8)
{
    return testsupport::trackPoint(lat, lng, time);
}

GPXTrack trackStarting(std::optional<Instant> start)
{
    GPXTrack t;
    if (start) {
        t.trackPoints = {at(*start)};
        t.startTime = start;
        t.endTime = start;
    }
    return t;
}

QString message(const TrackResult<GPXTrack> &r)
{
    return r.ok() ? QString() : r.error().message();
}

// Runs the event loop until the background load's result was delivered or dropped.
bool settle(const QFuture<void> &future)
{
    return testsupport::waitFor([&] { return future.isFinished(); }, 10'000);
}

} // namespace

TEST(GPXService, FormatByExtension)
{
    Files files;
    struct Case {
        const char *name;
        const QByteArray *content;
        qsizetype points; // 0: refused as having no track points
    };
    const Case cases[] = {
        {"RIDE.GPX", &gpxBody, 3},   {"ride.Gpx", &gpxBody, 3},  {"ride.xml", &gpxBody, 3},
        {"ride", &gpxBody, 3},       {"ride.TCX", &tcxBody, 2},  {"ride.tcx", &gpxBody, 0},
        {"ride.xml", &tcxBody, 0},   {"ride.IGC", &igcBody, 2},  {"flight.igc.gpx", &igcBody, -1},
    };
    for (const Case &c : cases) {
        const auto r = GPXService::loadTrack(files.write(QString::fromLatin1(c.name), *c.content));
        if (c.points > 0) {
            ASSERT_TRUE(r.ok()) << c.name << ": " << message(r).toStdString();
            EXPECT_EQ(r.value().trackPoints.size(), c.points) << c.name;
            EXPECT_EQ(r.value().fileName, QString::fromLatin1(c.name));
        } else if (c.points == 0) {
            EXPECT_EQ(message(r), QStringLiteral("GPX file contains no track points")) << c.name;
        } else {
            EXPECT_FALSE(r.ok()) << c.name; // IGC text read as XML
        }
    }
}

TEST(GPXService, LoadBuildsASmoothedTrack)
{
    Files files;
    QByteArray body = "<gpx><trk><trkseg>";
    for (int i = 0; i < 8; ++i)
        body += QStringLiteral("<trkpt lat=\"%1\" lon=\"8\"><time>2023-05-01T10:00:0%2Z</time></trkpt>")
                    .arg(i % 2 ? 47.001 : 47.0)
                    .arg(i)
                    .toUtf8();
    body += "</trkseg></trk></gpx>";
    const QUrl url = files.write(QStringLiteral("zigzag.gpx"), body);
    const auto r = GPXService::loadTrack(url);
    ASSERT_TRUE(r.ok());
    const GPXTrack &t = r.value();
    ASSERT_EQ(t.trackPoints.size(), 8);
    EXPECT_NEAR(t.trackPoints[2].lat, 47.0004, 1e-9); // mean of 0..4: 47, 47.001, 47, 47.001, 47
    EXPECT_EQ(t.startTime, *Iso8601::parseAny(u"2023-05-01T10:00:00Z"));
    EXPECT_EQ(t.endTime, *t.startTime + 7);
    EXPECT_EQ(t.duration, 7);
    EXPECT_EQ(t.fileURL, url);
    EXPECT_EQ(t.fileName, QStringLiteral("zigzag.gpx"));
}

TEST(GPXService, TimeChecks)
{
    const Instant t0 = 1'700'000'000;
    struct Case {
        QList<Instant> times;
        bool ok;
    };
    const Case cases[] = {
        {{t0, t0, t0 + 1}, true},
        {{t0, t0 + 1, t0}, false},
        {{t0, t0 + 2'678'400}, true},
        {{t0, t0 + 2'678'401}, false},
        {{t0, t0 + 100, t0 + 2'678'400.5}, false},
        {{t0}, true},
    };
    for (const Case &c : cases) {
        QList<TrackPoint> pts;
        for (Instant t : c.times)
            pts.append(at(t));
        const auto r = GPXService::trackFromPoints(pts, QUrl::fromLocalFile(QStringLiteral("/x.gpx")));
        EXPECT_EQ(r.ok(), c.ok) << c.times.last() - t0;
        if (!c.ok) {
            EXPECT_EQ(message(r), QStringLiteral("Track timestamps must be in order and span no more than 31 days."));
        }
    }
}

TEST(GPXService, CoordinateAndEmptyChecks)
{
    const QUrl url = QUrl::fromLocalFile(QStringLiteral("/x.gpx"));
    for (const auto &[lat, lng] : {std::pair{91.0, 0.0}, std::pair{0.0, -180.1}, std::pair{qQNaN(), 0.0}, std::pair{0.0, qInf()}})
        EXPECT_EQ(message(GPXService::trackFromPoints({at(0), at(1, lat, lng)}, url)),
                  QStringLiteral("The track contains invalid coordinates."));
    EXPECT_EQ(message(GPXService::trackFromPoints({}, url)), QStringLiteral("GPX file contains no track points"));
}

TEST(GPXService, IGCStepBackIsRefusedNotMovedADay)
{
    Files files;
    const QByteArray stepBack = "HFDTE010523\nB1000004700000N00800000EA0000000400\nB0959594700100N00800100EA0000000401\n";
    EXPECT_EQ(message(GPXService::loadTrack(files.write(QStringLiteral("back.igc"), stepBack))),
              QStringLiteral("Track timestamps must be in order and span no more than 31 days."));
    const QByteArray midnight = "HFDTE010523\nB2359594700000N00800000EA0000000400\nB0000014700100N00800100EA0000000401\n";
    const auto r = GPXService::loadTrack(files.write(QStringLiteral("midnight.igc"), midnight));
    ASSERT_TRUE(r.ok()) << message(r).toStdString();
    EXPECT_EQ(r.value().duration, 2);
}

TEST(GPXService, UntimedTrackStartsAtTheReferenceInstant)
{
    Files files;
    const auto r = GPXService::loadTrack(files.write(
        QStringLiteral("untimed.gpx"),
        R"(<gpx><trk><trkseg><trkpt lat="1" lon="1"/><trkpt lat="1" lon="2"/><trkpt lat="1" lon="3"/><trkpt lat="1" lon="4"/></trkseg></trk></gpx>)"));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value().startTime, XmlTrackReader::fallbackReferenceTime);
    EXPECT_EQ(r.value().duration, 3);
}

TEST(GPXService, UnreadableFiles)
{
    Files files;
    const QString missing = files.dir.filePath(QStringLiteral("missing"));
    EXPECT_EQ(message(GPXService::loadTrack(QUrl::fromLocalFile(missing + QStringLiteral(".gpx")))), QStringLiteral("GPX file not found"));
    EXPECT_EQ(message(GPXService::loadTrack(QUrl::fromLocalFile(missing + QStringLiteral(".tcx")))), QStringLiteral("GPX file not found"));
    const QString igcMissing = message(GPXService::loadTrack(QUrl::fromLocalFile(missing + QStringLiteral(".igc"))));
    EXPECT_TRUE(igcMissing.startsWith(QStringLiteral("Cannot read the file: "))) << igcMissing.toStdString();
    EXPECT_GT(igcMissing.size(), QStringLiteral("Cannot read the file: ").size());

    const QByteArray notUtf8[] = {"HFDTE010523\n\xff\xfe", "HFDTE010523\n\xc3", "\xed\xa0\x80", "\xc0\xaf"};
    for (const QByteArray &bytes : notUtf8)
        EXPECT_EQ(message(GPXService::loadTrack(files.write(QStringLiteral("bad.igc"), bytes))),
                  QStringLiteral("The file is not UTF-8 text."));
    const auto bom = GPXService::loadTrack(files.write(QStringLiteral("bom.igc"), "\xEF\xBB\xBF" + igcBody));
    EXPECT_TRUE(bom.ok());

    const QByteArray truncated = gpxBody.left(gpxBody.size() / 2);
    EXPECT_EQ(message(GPXService::loadTrack(files.write(QStringLiteral("cut.gpx"), truncated))),
              QStringLiteral("Premature end of document."));
}

TEST(GPXService, RefusesHugeFilesBeforeReading)
{
    Files files;
    for (const QString &name : {QStringLiteral("huge.gpx"), QStringLiteral("huge.igc"), QStringLiteral("huge.tcx")}) {
        QFile f(files.dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(GPXService::maximumFileSize + 1)); // sparse: costs no disk
        f.close();
        EXPECT_EQ(message(GPXService::loadTrack(QUrl::fromLocalFile(f.fileName()))),
                  QStringLiteral("The track file is too large (more than 256 MiB).")) << name.toStdString();
    }
}

TEST(GPXService, AddTrackOrdersByStartAndColoursByCount)
{
    GPXService service;
    const Instant ten = 1'700'000'000, nine = ten - 3600;
    GPXTrack a = trackStarting(ten), b = trackStarting(nine), c = trackStarting(ten);
    service.addTrack(a);
    service.addTrack(b);
    service.addTrack(c);
    const QList<GPXTrack> &t = service.tracks();
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t[0].id, b.id);
    EXPECT_EQ(t[1].id, a.id);
    EXPECT_EQ(t[2].id, c.id);
    EXPECT_EQ(t[0].colorIndex, 1);
    EXPECT_EQ(t[1].colorIndex, 0);
    EXPECT_EQ(t[2].colorIndex, 2);

    // Tracks without a start go last and are passed over when inserting.
    GPXTrack empty = trackStarting(std::nullopt), early = trackStarting(nine - 1);
    service.addTrack(empty);
    service.addTrack(early);
    EXPECT_EQ(service.tracks().first().id, early.id);
    EXPECT_EQ(service.tracks().last().id, empty.id);

    // The ninth track starts the palette again.
    for (int i = 0; i < 3; ++i)
        service.addTrack(trackStarting(ten + i));
    const GPXTrack ninth = trackStarting(ten);
    service.addTrack(ninth);
    ASSERT_EQ(service.tracks().size(), 9);
    EXPECT_EQ(std::find(service.tracks().begin(), service.tracks().end(), ninth)->colorIndex, 0);
}

TEST(GPXService, ImportTrack)
{
    Files files;
    GPXService service;
    service.addTrack(trackStarting(0));
    int changes = 0;
    QObject::connect(&service, &GPXService::tracksChanged, [&] { ++changes; });

    const auto added = service.importTrack(files.write(QStringLiteral("a.gpx"), gpxBody));
    ASSERT_TRUE(added.ok());
    EXPECT_EQ(added.value().colorIndex, 1);
    EXPECT_EQ(service.tracks().size(), 2);
    EXPECT_EQ(service.tracks()[1].id, added.value().id);
    EXPECT_EQ(changes, 1);

    const auto failed = service.importTrack(files.write(QStringLiteral("b.gpx"), "<gpx/>"));
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(service.tracks().size(), 2);
    EXPECT_EQ(changes, 1);
}

TEST(GPXService, TrackPointLookup)
{
    GPXService service;
    GPXTrack t;
    t.trackPoints = {at(0, 1, 1), at(1, 2, 2)};
    t.startTime = 0;
    service.addTrack(t);
    EXPECT_EQ(service.trackPoint({t.id, 1}), t.trackPoints[1]);
    EXPECT_FALSE(service.trackPoint({t.id, -1}));
    EXPECT_FALSE(service.trackPoint({t.id, 2}));
    EXPECT_FALSE(service.trackPoint({QUuid::createUuid(), 0}));
}

TEST(GPXService, AssignmentNotifiesAndRenewsTheMapData)
{
    GPXService service;
    GPXTrack a = trackStarting(10);
    service.addTrack(a);
    const MapTrackData first = service.mapTrackData();
    EXPECT_EQ(service.mapTrackData().revision, first.revision);
    EXPECT_EQ(first.points.size(), 1);

    std::vector<std::pair<const char *, qsizetype>> seen; // signal, tracks at that moment
    QObject::connect(&service, &GPXService::tracksAboutToChange, [&] { seen.emplace_back("about", service.tracks().size()); });
    QObject::connect(&service, &GPXService::tracksChanged, [&] {
        seen.emplace_back("changed", service.tracks().size());
        seen.emplace_back("map", service.mapTrackData().points.size());
    });
    GPXTrack b = trackStarting(20);
    service.setTracks({a, b});
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (std::pair<const char *, qsizetype>{"about", 1}));
    EXPECT_EQ(seen[1], (std::pair<const char *, qsizetype>{"changed", 2}));
    EXPECT_EQ(seen[2], (std::pair<const char *, qsizetype>{"map", 2}));
    EXPECT_NE(service.mapTrackData().revision, first.revision);

    // Even an assignment of the same list is a change.
    const QUuid before = service.mapTrackData().revision;
    service.setTracks(service.tracks());
    EXPECT_NE(service.mapTrackData().revision, before);
}

TEST(GPXService, BackgroundLoadDeliversOnTheMainThreadUnlessStale)
{
    Files files;
    const QUrl url = files.write(QStringLiteral("bg.gpx"), gpxBody);
    GPXService service;

    int generation = 1;
    std::optional<TrackResult<GPXTrack>> delivered;
    QThread *deliveredOn = nullptr;
    auto deliver = [&](const TrackResult<GPXTrack> &r) {
        delivered = r;
        deliveredOn = QThread::currentThread();
    };
    auto current = [&generation, taken = generation] { return generation == taken; };

    QFuture<void> f = service.loadTrackInBackground(url, current, deliver);
    EXPECT_FALSE(delivered.has_value()); // never inside the call
    ASSERT_TRUE(settle(f));
    ASSERT_TRUE(delivered.has_value());
    EXPECT_TRUE(delivered->ok());
    EXPECT_EQ(deliveredOn, QCoreApplication::instance()->thread());
    EXPECT_TRUE(service.tracks().isEmpty()); // adding is the caller's step

    delivered.reset();
    f = service.loadTrackInBackground(url, [&generation, taken = generation] { return generation == taken; }, deliver);
    ++generation; // a newer import started
    ASSERT_TRUE(settle(f));
    EXPECT_FALSE(delivered.has_value());

    const QUrl missing = QUrl::fromLocalFile(files.dir.filePath(QStringLiteral("none.gpx")));
    f = service.loadTrackInBackground(missing, {}, deliver);
    ASSERT_TRUE(settle(f));
    ASSERT_TRUE(delivered.has_value());
    EXPECT_EQ(delivered->error().message(), QStringLiteral("GPX file not found"));
}

TEST(GPXService, BackgroundLoadAfterTheStoreIsGoneDeliversNothing)
{
    Files files;
    const QUrl url = files.write(QStringLiteral("bg.gpx"), gpxBody);
    for (const bool loadFinishedFirst : {false, true}) {
        auto service = std::make_unique<GPXService>();
        bool delivered = false;
        QFuture<void> f = service->loadTrackInBackground(url, {}, [&](const auto &) { delivered = true; });
        if (loadFinishedFirst)
            QThreadPool::globalInstance()->waitForDone(); // its delivery is already queued
        service.reset();
        ASSERT_TRUE(settle(f));
        EXPECT_TRUE(f.isCanceled());
        EXPECT_FALSE(delivered);
    }
}
