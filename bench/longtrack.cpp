#include "longtrack.h"

#include "tracks/gpxservice.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace routereel::bench {
namespace {

constexpr int pointsPerSegment = 25000;

QList<TrackPoint> ridePoints(int count)
{
    QRandomGenerator rng(42);
    const auto uniform = [&](double spread) { return (rng.generateDouble() * 2 - 1) * spread; };
    QList<TrackPoint> points;
    points.reserve(count);
    double lat = 47.3769, lng = 8.5417, ele = 408, heading = 0, hr = 110;
    const double start = QDateTime(QDate(2023, 5, 1), QTime(6, 0), Qt::UTC).toSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        heading += uniform(0.2);
        const double step = 8.0 / 111000;
        lat += step * std::cos(heading);
        lng += step * std::sin(heading) / std::cos(lat * M_PI / 180);
        ele = std::max(0.0, ele + uniform(0.5));
        hr = std::clamp(hr + uniform(2), 60.0, 190.0);
        TrackPoint p;
        p.lat = lat;
        p.lng = lng;
        p.ele = ele;
        p.time = start + i;
        p.heartRate = int(std::lround(hr));
        p.startsSegment = i > 0 && i % pointsPerSegment == 0;
        points.append(p);
    }
    return points;
}

} // namespace

GPXTrack generatedRide(int points)
{
    auto track = GPXService::trackFromPoints(ridePoints(std::max(points, 2)),
                                             QUrl::fromLocalFile(QStringLiteral("/generated/ride.gpx")));
    if (!track)
        return {};
    GPXTrack t = track.value();
    t.id = QUuid::createUuid();
    t.revision = QUuid::createUuid();
    return t;
}

bool writeGeneratedRide(const QString &path, int points)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"routereel-bench\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
           "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v1\">\n <trk>\n  <name>Long ride</name>\n";
    const QList<TrackPoint> ride = ridePoints(std::max(points, 2));
    for (qsizetype i = 0; i < ride.size(); ++i) {
        const TrackPoint &p = ride[i];
        if (i % pointsPerSegment == 0)
            out << (i ? "  </trkseg>\n" : "") << "  <trkseg>\n";
        out << "   <trkpt lat=\"" << QString::number(p.lat, 'f', 7) << "\" lon=\"" << QString::number(p.lng, 'f', 7)
            << "\"><ele>" << QString::number(*p.ele, 'f', 1) << "</ele><time>"
            << QDateTime::fromSecsSinceEpoch(qint64(p.time), Qt::UTC).toString(Qt::ISODate)
            << "</time><extensions><gpxtpx:TrackPointExtension><gpxtpx:hr>" << *p.heartRate
            << "</gpxtpx:hr></gpxtpx:TrackPointExtension></extensions></trkpt>\n";
    }
    out << "  </trkseg>\n </trk>\n</gpx>\n";
    out.flush();
    return file.error() == QFileDevice::NoError;
}

bool takeTrackOption(const QStringList &args, qsizetype &k, GPXTrack &track, QString &error)
{
    const QString &a = args.at(k);
    if (a != QStringLiteral("--track") && a != QStringLiteral("--track-points"))
        return false;
    const QString value = k + 1 < args.size() ? args.at(++k) : QString();
    if (a == QStringLiteral("--track")) {
        const auto loaded = GPXService::loadTrack(QUrl::fromLocalFile(QFileInfo(value).absoluteFilePath()));
        if (!loaded) {
            error = QStringLiteral("track: ") + loaded.error().message();
            return true;
        }
        track = loaded.value();
        track.id = QUuid::createUuid();
        track.revision = QUuid::createUuid();
        return true;
    }
    bool ok = false;
    const int count = value.toInt(&ok);
    if (!ok || count < 2) {
        error = QStringLiteral("--track-points takes a count of at least 2");
        return true;
    }
    track = generatedRide(count);
    if (track.trackPoints.isEmpty())
        error = QStringLiteral("the generated track was refused");
    return true;
}

} // namespace routereel::bench
