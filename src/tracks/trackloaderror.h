#pragma once

#include "gpxparsererror.h"
#include "gpxserviceerror.h"

#include <QString>

#include <utility>
#include <variant>

namespace routereel {

// Everything that can stop a track file from loading: our own errors, or text that another
// component wrote (the XML parser's description of malformed XML), which reaches the user
// unchanged.
struct TrackLoadError {
    struct ForeignText {
        QString text;
        bool operator==(const ForeignText &) const = default;
    };

    TrackLoadError(GPXParserError e) : reason(e) {}
    TrackLoadError(GPXServiceError e) : reason(e) {}
    static TrackLoadError foreign(QString text) { return TrackLoadError(ForeignText{std::move(text)}); }
    // GPXParserError::readFailed with the file system's wording (QIODevice::errorString()).
    static TrackLoadError readFailed(QString systemReason)
    {
        TrackLoadError e(GPXParserError::readFailed);
        e.systemReason = std::move(systemReason);
        return e;
    }

    std::variant<GPXParserError, GPXServiceError, ForeignText> reason;
    QString systemReason;

    QString message() const;
    bool operator==(const TrackLoadError &) const = default;

private:
    explicit TrackLoadError(ForeignText t) : reason(std::move(t)) {}
};

} // namespace routereel
