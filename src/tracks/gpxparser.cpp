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
        pending = {lat, lon, std::nullopt, std::nullopt};
        currentTime.clear();
        currentEleText.clear();
        currentHRText.clear();
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
        pending.ele = finiteNumberFrom(currentEleText);
    } else if (isHeartRate(name)) {
        parsingHR = false;
        pending.heartRate = heartRateFrom(currentHRText);
    } else if (name == u"trkpt") {
        finishPoint(currentTime);
    }
}

} // namespace routereel
