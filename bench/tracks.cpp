#include "benchcommand.h"

#include "tracks/gpxservice.h"
#include "tracks/iso8601.h"
#include "tracks/maptrackdata.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QXmlStreamReader>

#include <cstdio>

namespace routereel::bench {
namespace {

QString jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

void printLine(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QString millis(qint64 nanoseconds)
{
    return QString::number(double(nanoseconds) / 1e6, 'f', 1);
}

// Loads each file exactly as an import does and prints what came out.
int runTracks(const QStringList &files)
{
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: routereel-bench tracks FILE...\n");
        return 2;
    }
    int failures = 0;
    for (const QString &file : files) {
        const QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
        QElapsedTimer timer;
        timer.start();
        const TrackResult<GPXTrack> result = GPXService::loadTrack(url);
        const qint64 elapsed = timer.nsecsElapsed();
        if (!result) {
            ++failures;
            printLine(QStringLiteral(R"({"file":%1,"error":%2})")
                          .arg(jsonString(file), jsonString(result.error().message())));
            continue;
        }
        const GPXTrack &track = result.value();
        qsizetype heartRates = 0;
        for (const TrackPoint &p : track.trackPoints)
            heartRates += p.heartRate.has_value();
        const qsizetype polylines = MapTrackData::build({track}).breaks.size();
        printLine(QStringLiteral(
                      R"({"file":%1,"points":%2,"segments":%3,"heartRates":%4,"start":"%5","end":"%6","ms":%7})")
                      .arg(jsonString(file))
                      .arg(track.trackPoints.size())
                      .arg(polylines)
                      .arg(heartRates)
                      .arg(Iso8601::formatWithMilliseconds(*track.startTime),
                           Iso8601::formatWithMilliseconds(*track.endTime), millis(elapsed)));
    }
    return failures == 0 ? 0 : 1;
}

// The floor for any XML track reader: the same file walked token by token, nothing kept.
int runXmlWalk(const QStringList &files)
{
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: routereel-bench xmlwalk FILE...\n");
        return 2;
    }
    int failures = 0;
    for (const QString &file : files) {
        QElapsedTimer timer;
        timer.start();
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) {
            ++failures;
            printLine(QStringLiteral(R"({"file":%1,"error":%2})").arg(jsonString(file), jsonString(f.errorString())));
            continue;
        }
        QXmlStreamReader xml(&f);
        xml.setNamespaceProcessing(false);
        qint64 tokens = 0;
        while (!xml.atEnd()) {
            xml.readNext();
            ++tokens;
        }
        const qint64 elapsed = timer.nsecsElapsed();
        if (xml.hasError()) {
            ++failures;
            printLine(QStringLiteral(R"({"file":%1,"error":%2})").arg(jsonString(file), jsonString(xml.errorString())));
            continue;
        }
        printLine(QStringLiteral(R"({"file":%1,"tokens":%2,"ms":%3})")
                      .arg(jsonString(file))
                      .arg(tokens)
                      .arg(millis(elapsed)));
    }
    return failures == 0 ? 0 : 1;
}

const bool tracksRegistered = registerCommand("tracks", "FILE...", runTracks);
const bool xmlWalkRegistered = registerCommand("xmlwalk", "FILE...", runXmlWalk);

} // namespace
} // namespace routereel::bench
