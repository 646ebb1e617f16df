#include "gpxserviceerror.h"

#include <QCoreApplication>

namespace routereel {

QString errorMessage(GPXServiceError error)
{
    switch (error) {
    case GPXServiceError::emptyTrack:
        return QCoreApplication::translate("GPXServiceError", "GPX file contains no track points");
    case GPXServiceError::fileTooLarge:
        return QCoreApplication::translate("GPXServiceError",
                                           "The track file is too large (more than 256 MiB).");
    }
    return {};
}

} // namespace routereel
