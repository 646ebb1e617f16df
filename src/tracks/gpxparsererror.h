#pragma once

#include <QString>

namespace routereel {

// Why a GPX or TCX file gave no track; also raised by the track store's checks.
enum class GPXParserError {
    fileNotFound,
    parseError,
    invalidCoordinates,
    incompleteTimestamps,
    invalidTimeRange,
};

// The user-facing message, in the interface language.
QString errorMessage(GPXParserError error);

} // namespace routereel
