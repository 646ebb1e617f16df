#include "xmltrackreader.h"

#include "iso8601.h"
#include "strictnumber.h"
#include "xmlmarkupguard.h"

#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace routereel {
namespace {

// Real track files nest a dozen levels deep. The XML parser keeps every open
// element, so a hostile file could take gigabytes: refused long before that.
// XmlMarkupGuard keeps the parser's work in step with the file's size.
constexpr int maximumDepth = 1000;

} // namespace

TrackResult<QList<TrackPoint>> XmlTrackReader::parse(const QUrl &url)
{
    if (!url.isLocalFile())
        return GPXParserError::fileNotFound;
    // Only a file that is not there is "not found": a folder that answers EIO or
    // refuses access names the system's reason.
    const int fd = ::open(QFile::encodeName(url.toLocalFile()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return GPXParserError::fileNotFound;
        return TrackLoadError::readFailed(QString::fromLocal8Bit(std::strerror(error)));
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        return GPXParserError::fileNotFound;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return TrackLoadError::readFailed(file.errorString());
    }
    return parse(&file);
}

TrackResult<QList<TrackPoint>> XmlTrackReader::parse(QIODevice *device)
{
    trackPoints.clear();
    fallbackTimeIndex = 0;
    hasRealTime = false;
    inputError.reset();
    startsSegment = true;

    XmlMarkupGuard guard(device);
    QXmlStreamReader xml(&guard);
    xml.setNamespaceProcessing(false);
    int depth = 0;
    while (!xml.atEnd() && !inputError && !guard.readFailure() && depth <= maximumDepth) {
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
    // Whatever the XML parser made of the missing rest, the file was not read to its end.
    if (const auto &failure = guard.readFailure())
        return TrackLoadError::readFailed(*failure);
    if (depth > maximumDepth) {
        return TrackLoadError::foreign(QCoreApplication::translate(
            "XmlTrackReader", "The file nests its elements too deeply to be a track."));
    }
    switch (guard.refusal()) {
    case XmlMarkupGuard::Refusal::tooManyAttributes:
        return TrackLoadError::foreign(QCoreApplication::translate(
            "XmlTrackReader", "The file has an element with too many attributes to be a track."));
    case XmlMarkupGuard::Refusal::internalSubset:
        return TrackLoadError::foreign(QCoreApplication::translate(
            "XmlTrackReader", "The file defines its own XML entities or attributes, which no track file does."));
    case XmlMarkupGuard::Refusal::none:
        break;
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
