#pragma once

#include "trackpoint.h"
#include "trackresult.h"

#include <QList>
#include <QStringView>
#include <QXmlStreamAttributes>

#include <optional>

class QIODevice;
class QUrl;

namespace routereel {

// The common ground of the XML track readers: runs an event-driven XML parser (namespace
// processing off, so names keep their prefixes) and hands element starts, character data and
// element ends to the format's reader; turns points without a usable time into the fallback
// clock and reports the outcome. One object reads one file.
class XmlTrackReader {
public:
    virtual ~XmlTrackReader() = default;

    TrackResult<QList<TrackPoint>> parse(const QUrl &url);
    // `device` must be open for reading.
    TrackResult<QList<TrackPoint>> parse(QIODevice *device);

    // Points without a usable time count on from here, one second apart.
    static constexpr Instant fallbackReferenceTime = 978'307'200; // 2001-01-01T00:00:00Z

protected:
    virtual void startElement(QStringView name, const QXmlStreamAttributes &attributes) = 0;
    virtual void characters(QStringView text) = 0;
    virtual void endElement(QStringView name) = 0;

    // The parts of the point being read, as they arrive.
    struct PendingPoint {
        std::optional<double> lat;
        std::optional<double> lng;
        std::optional<double> ele;
        std::optional<int> heartRate;
    };

    // Ends the pending point: with a position it becomes the next point, timed by `timeText`,
    // and `startsSegment` is cleared. The pending point is empty afterwards.
    void finishPoint(QStringView timeText);
    // Stops the run after the current event; the first reason wins.
    void abort(GPXParserError error);

    static std::optional<int> heartRateFrom(QStringView text);
    static std::optional<double> finiteNumberFrom(QStringView text);
    static bool isValidPosition(double lat, double lng);

    PendingPoint pending;
    QList<TrackPoint> trackPoints;
    double fallbackTimeIndex = 0;
    bool hasRealTime = false;
    std::optional<GPXParserError> inputError;
    bool startsSegment = true;
};

} // namespace routereel
