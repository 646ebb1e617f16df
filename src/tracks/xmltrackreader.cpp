#include "xmltrackreader.h"

#include "iso8601.h"
#include "strictnumber.h"

#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <cmath>
#include <utility>

namespace routereel {
namespace {

// Real track files nest a dozen levels deep and give an element a handful of attributes. The XML
// parser keeps every open element and checks each attribute against all earlier ones of its
// element, so a hostile file could take gigabytes or hours: both are refused long before that.
constexpr int maximumDepth = 1000;
constexpr qint64 maximumAttributesPerElement = 10'000;

// Passes the file through to the XML parser and stops it when more than
// maximumAttributesPerElement '=' signs come without a '>' between them. That over-counts
// (text may hold '='), never under-counts, and no real file comes near it.
class AttributeGuard : public QIODevice {
public:
    explicit AttributeGuard(QIODevice *source) : source(source)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    bool tripped() const { return overLimit; }
    bool isSequential() const override { return true; }
    bool atEnd() const override { return overLimit || source->atEnd(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (overLimit)
            return -1;
        const qint64 n = source->read(data, maxSize);
        for (qint64 i = 0; i < n; ++i) {
            if (data[i] == '>') {
                marks = 0;
            } else if (data[i] == '=' && ++marks > maximumAttributesPerElement) {
                overLimit = true;
                return -1;
            }
        }
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QIODevice *source;
    qint64 marks = 0;
    bool overLimit = false;
};

} // namespace

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

    AttributeGuard guard(device);
    QXmlStreamReader xml(&guard);
    xml.setNamespaceProcessing(false);
    int depth = 0;
    while (!xml.atEnd() && !inputError && depth <= maximumDepth) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (++depth <= maximumDepth)
                startElement(xml.qualifiedName(), xml.attributes());
            break;
        case QXmlStreamReader::Characters:
            characters(xml.text());
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            endElement(xml.qualifiedName());
            break;
        default:
            break;
        }
    }

    if (inputError)
        return *inputError;
    if (depth > maximumDepth) {
        return TrackLoadError::foreign(QCoreApplication::translate(
            "XmlTrackReader", "The file nests its elements too deeply to be a track."));
    }
    if (guard.tripped()) {
        return TrackLoadError::foreign(QCoreApplication::translate(
            "XmlTrackReader", "The file has an element with too many attributes to be a track."));
    }
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

void XmlTrackReader::finishPoint(QStringView timeText)
{
    const PendingPoint finished = std::exchange(pending, {});
    if (!finished.lat || !finished.lng)
        return;
    TrackPoint p;
    if (const auto t = Iso8601::parseAny(timeText)) {
        p.time = *t;
        hasRealTime = true;
    } else {
        p.time = fallbackReferenceTime + fallbackTimeIndex;
        fallbackTimeIndex += 1;
    }
    p.lat = *finished.lat;
    p.lng = *finished.lng;
    p.ele = finished.ele;
    p.heartRate = finished.heartRate;
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
