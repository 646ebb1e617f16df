#include "trackloaderror.h"

namespace routereel {

QString TrackLoadError::message() const
{
    if (const auto *e = std::get_if<GPXParserError>(&reason))
        return errorMessage(*e, systemReason);
    if (const auto *e = std::get_if<GPXServiceError>(&reason))
        return errorMessage(*e);
    return std::get<ForeignText>(reason).text;
}

} // namespace routereel
