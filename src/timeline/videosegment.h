#pragma once

#include <QJsonObject>
#include <QUuid>

#include <optional>

namespace routereel {

// A cut [sourceStart, sourceEnd) of a video source, shown from `offset` on the timeline.
struct VideoSegment {
    QUuid id = QUuid::createUuid();
    QUuid sourceID;
    double sourceStart = 0;
    double sourceEnd = 0;
    double offset = 0;

    double length() const { return sourceEnd - sourceStart; }
    double end() const { return offset + length(); }

    bool operator==(const VideoSegment &) const = default;

    // Project-file form: "id", "sourceID", "sourceStart", "sourceEnd", "offset".
    QJsonObject toJson() const;
    // All five keys are required with the right JSON types; other keys are ignored.
    // On failure returns nothing and, when `error` is given, says which key is wrong.
    static std::optional<VideoSegment> fromJson(const QJsonValue &value, QString *error = nullptr);
};

} // namespace routereel
