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
    readFailed, // the file system failed partway (a bad sector, a share that dropped): no track from part of a file
};

// The user-facing message, in the interface language. `systemReason` is the file system's
// wording, which only readFailed names.
QString errorMessage(GPXParserError error, const QString &systemReason = {});

} // namespace routereel
