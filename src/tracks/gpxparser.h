#pragma once

#include "xmltrackreader.h"

#include <QString>

namespace routereel {

// Reads the track points of a GPX file (waypoints, routes and metadata give none), keeping each
// trkseg as its own polyline piece. Heart rate comes from any element named "hr" or "<prefix>:hr".
class GPXParser : public XmlTrackReader {
protected:
    void startElement(QStringView name, const QXmlStreamAttributes &attributes) override;
    void characters(QStringView text) override;
    void endElement(QStringView name) override;

private:
    static bool isHeartRate(QStringView name);

    QString currentTime;
    QString currentEleText;
    bool parsingTime = false;
    bool parsingEle = false;
    QString currentHRText;
    bool parsingHR = false;
};

} // namespace routereel
