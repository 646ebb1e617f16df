#include "gpxparsererror.h"

#include <QCoreApplication>

namespace routereel {

QString errorMessage(GPXParserError error, const QString &systemReason)
{
    switch (error) {
    case GPXParserError::fileNotFound:
        return QCoreApplication::translate("GPXParserError", "GPX file not found");
    case GPXParserError::parseError:
        return QCoreApplication::translate("GPXParserError", "Failed to parse GPX file");
    case GPXParserError::invalidCoordinates:
        return QCoreApplication::translate("GPXParserError", "The track contains invalid coordinates.");
    case GPXParserError::incompleteTimestamps:
        return QCoreApplication::translate(
            "GPXParserError",
            "Some track points have missing or invalid timestamps. Use a track with complete "
            "timestamps, or no timestamps.");
    case GPXParserError::invalidTimeRange:
        return QCoreApplication::translate(
            "GPXParserError", "Track timestamps must be in order and span no more than 31 days.");
    case GPXParserError::readFailed:
        return QCoreApplication::translate("GPXParserError", "Cannot read the file: %1").arg(systemReason);
    }
    return {};
}

} // namespace routereel
