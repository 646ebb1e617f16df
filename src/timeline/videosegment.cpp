#include "videosegment.h"

#include <QJsonValue>

namespace routereel {

QJsonObject VideoSegment::toJson() const
{
    return QJsonObject{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("sourceID"), sourceID.toString(QUuid::WithoutBraces)},
        {QStringLiteral("sourceStart"), sourceStart},
        {QStringLiteral("sourceEnd"), sourceEnd},
        {QStringLiteral("offset"), offset},
    };
}

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool readUuid(const QJsonObject &o, const QString &key, QUuid *out, QString *error)
{
    const QJsonValue v = o.value(key);
    if (!v.isString())
        return fail(error, QStringLiteral("video segment: \"%1\" must be a UUID string").arg(key));
    const QString text = v.toString();
    const QUuid id = QUuid::fromString(text);
    // Only the plain 36-character form is written, so only that form is read.
    if (text.size() != 36 || id.isNull())
        return fail(error, QStringLiteral("video segment: \"%1\" is not a UUID").arg(key));
    *out = id;
    return true;
}

bool readNumber(const QJsonObject &o, const QString &key, double *out, QString *error)
{
    const QJsonValue v = o.value(key);
    if (!v.isDouble())
        return fail(error, QStringLiteral("video segment: \"%1\" must be a number").arg(key));
    *out = v.toDouble();
    return true;
}

} // namespace

std::optional<VideoSegment> VideoSegment::fromJson(const QJsonValue &value, QString *error)
{
    if (!value.isObject()) {
        fail(error, QStringLiteral("video segment: not an object"));
        return std::nullopt;
    }
    const QJsonObject o = value.toObject();
    VideoSegment s;
    if (!readUuid(o, QStringLiteral("id"), &s.id, error)
        || !readUuid(o, QStringLiteral("sourceID"), &s.sourceID, error)
        || !readNumber(o, QStringLiteral("sourceStart"), &s.sourceStart, error)
        || !readNumber(o, QStringLiteral("sourceEnd"), &s.sourceEnd, error)
        || !readNumber(o, QStringLiteral("offset"), &s.offset, error))
        return std::nullopt;
    return s;
}

} // namespace routereel
