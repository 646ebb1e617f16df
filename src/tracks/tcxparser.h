#pragma once

#include "xmltrackreader.h"

#include <QString>

namespace routereel {

// Reads the track points of a TCX activity, keeping each Track as its own polyline piece.
// Unlike GPX, positions are element text, and a point without a position is skipped.
class TCXParser : public XmlTrackReader {
protected:
    void startElement(QStringView name, const QXmlStreamAttributes &attributes) override;
    void characters(QStringView text) override;
    void endElement(QStringView name) override;

private:
    QString currentTime;
    QString currentText;
    bool parsingTime = false;
    bool parsingLat = false;
    bool parsingLon = false;
    bool parsingEle = false;
    bool inHeartRate = false;
    bool parsingHRValue = false;
};

} // namespace routereel
