#pragma once

#include <QString>

namespace routereel {

// Why the track store refused a file that its reader accepted (or never handed to a reader).
enum class GPXServiceError {
    emptyTrack,
    fileTooLarge, // above GPXService::maximumFileSize: refused before reading
};

QString errorMessage(GPXServiceError error);

} // namespace routereel
