#include "gpxparser.h"

#include "strictnumber.h"

namespace routereel {

namespace {

std::optional<double> numberAttribute(const QXmlStreamAttributes &attributes, QStringView name)
{
    for (const QXmlStreamAttribute &a : attributes) {
        if (a.qualifiedName() == name)
            return parseStrictDouble(a.value());
    }
    return std::nullopt;
}

} // namespace

bool GPXParser::isHeartRate(QStringView name)
{
    return name == u"hr" || name.endsWith(u":hr");
}

void GPXParser::startElement(QStringView name, const QXmlStreamAttributes &attributes)
{
    if (name == u"trkseg") {
        startsSegment = true;
    } else if (name == u"trkpt") {
        const auto lat = numberAttribute(attributes, u"lat");
        const auto lon = numberAttribute(attributes, u"lon");
        if (!lat || !lon || !isValidPosition(*lat, *lon)) {
            abort(GPXParserError::invalidCoordinates);
            return;
        }
        currentLat = lat;
        currentLon = lon;
        currentTime.clear();
        currentEleText.clear();
        currentHRText.clear();
        currentEle.reset();
        currentHR.reset();
    } else if (name == u"time") {
        parsingTime = true;
        currentTime.clear();
    } else if (name == u"ele") {
        parsingEle = true;
        currentEleText.clear();
    } else if (isHeartRate(name)) {
        parsingHR = true;
        currentHRText.clear();
    }
}

void GPXParser::characters(QStringView text)
{
    if (parsingTime)
        currentTime += text.trimmed();
    else if (parsingEle)
        currentEleText += text.trimmed();
    else if (parsingHR)
        currentHRText += text.trimmed();
}

void GPXParser::endElement(QStringView name)
{
    if (name == u"time") {
        parsingTime = false;
    } else if (name == u"ele") {
        parsingEle = false;
        currentEle = finiteNumberFrom(currentEleText);
    } else if (isHeartRate(name)) {
        parsingHR = false;
        currentHR = heartRateFrom(currentHRText);
    } else if (name == u"trkpt") {
        if (currentLat && currentLon)
            appendPoint(*currentLat, *currentLon, currentEle, currentTime, currentHR);
        currentLat.reset();
        currentLon.reset();
        currentEle.reset();
        currentHR.reset();
    }
}

} // namespace routereel
