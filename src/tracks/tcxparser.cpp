#include "tcxparser.h"

#include "strictnumber.h"

namespace routereel {

void TCXParser::startElement(QStringView name, const QXmlStreamAttributes &)
{
    if (name == u"Track") {
        startsSegment = true;
    } else if (name == u"Trackpoint") {
        // The time text is kept: a point without its own Time repeats the last one.
        pending = {};
    } else if (name == u"Time") {
        parsingTime = true;
        currentTime.clear();
    } else if (name == u"LatitudeDegrees") {
        parsingLat = true;
        currentText.clear();
    } else if (name == u"LongitudeDegrees") {
        parsingLon = true;
        currentText.clear();
    } else if (name == u"AltitudeMeters") {
        parsingEle = true;
        currentText.clear();
    } else if (name == u"HeartRateBpm") {
        inHeartRate = true;
    } else if (name == u"Value" && inHeartRate) {
        parsingHRValue = true;
        currentText.clear();
    }
}

void TCXParser::characters(QStringView text)
{
    if (parsingTime)
        currentTime += text.trimmed();
    else if (parsingLat || parsingLon || parsingEle || parsingHRValue)
        currentText += text.trimmed();
}

void TCXParser::endElement(QStringView name)
{
    if (name == u"Time") {
        parsingTime = false;
    } else if (name == u"LatitudeDegrees") {
        parsingLat = false;
        pending.lat = parseStrictDouble(currentText);
    } else if (name == u"LongitudeDegrees") {
        parsingLon = false;
        pending.lng = parseStrictDouble(currentText);
    } else if (name == u"AltitudeMeters") {
        parsingEle = false;
        pending.ele = finiteNumberFrom(currentText);
    } else if (name == u"Value") {
        if (parsingHRValue) {
            parsingHRValue = false;
            pending.heartRate = heartRateFrom(currentText);
        }
    } else if (name == u"HeartRateBpm") {
        inHeartRate = false;
    } else if (name == u"Trackpoint") {
        if (pending.lat && pending.lng && !isValidPosition(*pending.lat, *pending.lng)) {
            abort(GPXParserError::invalidCoordinates);
            return;
        }
        finishPoint(currentTime);
    }
}

} // namespace routereel
