#pragma once

#include "trackloaderror.h"

#include <utility>
#include <variant>

namespace routereel {

// A value or the reason there is none.
template <typename T>
class TrackResult {
public:
    TrackResult(T value) : v(std::move(value)) {}
    TrackResult(TrackLoadError error) : v(std::move(error)) {}
    TrackResult(GPXParserError error) : v(TrackLoadError(error)) {}
    TrackResult(GPXServiceError error) : v(TrackLoadError(error)) {}

    bool ok() const { return v.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T &value() const & { return std::get<0>(v); }
    T &value() & { return std::get<0>(v); }
    T &&value() && { return std::get<0>(std::move(v)); }
    const TrackLoadError &error() const { return std::get<1>(v); }

private:
    std::variant<T, TrackLoadError> v;
};

} // namespace routereel
