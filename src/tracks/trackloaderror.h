#pragma once

#include "gpxparsererror.h"
#include "gpxserviceerror.h"

#include <QString>

#include <utility>
#include <variant>

namespace routereel {

// Everything that can stop a track file from loading: our own errors, or text that another
// component wrote (the XML parser's description of malformed XML, the file system's read error),
// which reaches the user unchanged.
struct TrackLoadError {
    struct ForeignText {
        QString text;
        bool operator==(const ForeignText &) const = default;
    };

    TrackLoadError(GPXParserError e) : reason(e) {}
    TrackLoadError(GPXServiceError e) : reason(e) {}
    static TrackLoadError foreign(QString text) { return TrackLoadError(ForeignText{std::move(text)}); }

    std::variant<GPXParserError, GPXServiceError, ForeignText> reason;

    QString message() const;
    bool operator==(const TrackLoadError &) const = default;

private:
    explicit TrackLoadError(ForeignText t) : reason(std::move(t)) {}
};

} // namespace routereel
