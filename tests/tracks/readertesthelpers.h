#pragma once

#include "tracks/xmltrackreader.h"

#include <QBuffer>
#include <QByteArray>
#include <QXmlStreamReader>

namespace routereel::test {

template <typename Reader>
TrackResult<QList<TrackPoint>> parseXml(const QByteArray &xml)
{
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    return Reader().parse(&buffer);
}

// What QXmlStreamReader itself says about `xml`, for checking that its wording is passed on.
inline QString xmlReaderError(const QByteArray &xml)
{
    QXmlStreamReader reader(xml);
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd())
        reader.readNext();
    return reader.errorString();
}

inline std::optional<GPXParserError> parserError(const TrackResult<QList<TrackPoint>> &r)
{
    if (r.ok())
        return std::nullopt;
    if (const auto *e = std::get_if<GPXParserError>(&r.error().reason))
        return *e;
    return std::nullopt;
}

constexpr Instant fallbackStart = XmlTrackReader::fallbackReferenceTime;

} // namespace routereel::test
