#include "xmltrackreader.h"

#include "iso8601.h"
#include "strictnumber.h"

#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <cmath>

namespace routereel {

TrackResult<QList<TrackPoint>> XmlTrackReader::parse(const QUrl &url)
{
    if (!url.isLocalFile())
        return GPXParserError::fileNotFound;
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return GPXParserError::fileNotFound;
    return parse(&file);
}

TrackResult<QList<TrackPoint>> XmlTrackReader::parse(QIODevice *device)
{
    trackPoints.clear();
    fallbackTimeIndex = 0;
    hasRealTime = false;
    inputError.reset();
    startsSegment = true;

    QXmlStreamReader xml(device);
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd() && !inputError) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            startElement(xml.qualifiedName(), xml.attributes());
            break;
        case QXmlStreamReader::Characters:
            characters(xml.text());
            break;
        case QXmlStreamReader::EndElement:
            endElement(xml.qualifiedName());
            break;
        default:
            break;
        }
    }

    if (inputError)
        return *inputError;
    if (xml.hasError()) {
        const QString text = xml.errorString();
        if (text.isEmpty())
            return GPXParserError::parseError;
        return TrackLoadError::foreign(text);
    }
    if (hasRealTime && fallbackTimeIndex > 0)
        return GPXParserError::incompleteTimestamps;
    return std::move(trackPoints);
}

void XmlTrackReader::appendPoint(double lat, double lng, std::optional<double> ele,
                                 QStringView timeText, std::optional<int> heartRate)
{
    TrackPoint p;
    if (const auto t = Iso8601::parseAny(timeText)) {
        p.time = *t;
        hasRealTime = true;
    } else {
        p.time = fallbackReferenceTime + fallbackTimeIndex;
        fallbackTimeIndex += 1;
    }
    p.lat = lat;
    p.lng = lng;
    p.ele = ele;
    p.heartRate = heartRate;
    p.startsSegment = startsSegment;
    trackPoints.append(p);
    startsSegment = false;
}

void XmlTrackReader::abort(GPXParserError error)
{
    if (!inputError)
        inputError = error;
}

std::optional<int> XmlTrackReader::heartRateFrom(QStringView text)
{
    const auto v = parseStrictInteger(text);
    if (!v || *v < 1 || *v > 1000)
        return std::nullopt;
    return int(*v);
}

std::optional<double> XmlTrackReader::finiteNumberFrom(QStringView text)
{
    const auto v = parseStrictDouble(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    return v;
}

bool XmlTrackReader::isValidPosition(double lat, double lng)
{
    return std::isfinite(lat) && std::isfinite(lng) && lat >= -90 && lat <= 90 && lng >= -180
        && lng <= 180;
}

} // namespace routereel
