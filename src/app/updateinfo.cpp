#include "updateinfo.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

namespace routereel {

namespace {

// Reads `key` into `out`; false when it is there but no string, or missing and required.
bool readString(const QJsonObject &object, const char *key, bool required, std::optional<QString> &out,
                QString *error)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
        if (required && error)
            *error = QCoreApplication::translate("UpdateInfo", "the key \"%1\" is missing").arg(QLatin1String(key));
        return !required;
    }
    if (!value.isString()) {
        if (error)
            *error = QCoreApplication::translate("UpdateInfo", "the key \"%1\" is not a text").arg(QLatin1String(key));
        return false;
    }
    out = value.toString();
    return true;
}

} // namespace

std::optional<UpdateInfo> UpdateInfo::decode(const QByteArray &body, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = parseError.errorString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error)
            *error = QCoreApplication::translate("UpdateInfo", "the answer is not a JSON object");
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    std::optional<QString> latest, downloadUrl;
    UpdateInfo info;
    if (!readString(object, "latest", true, latest, error) || !readString(object, "minimum", false, info.minimum, error)
        || !readString(object, "downloadUrl", true, downloadUrl, error)
        || !readString(object, "releaseNotes", false, info.releaseNotes, error))
        return std::nullopt;
    info.latest = *latest;
    info.downloadUrl = *downloadUrl;
    return info;
}

QByteArray UpdateInfo::encode() const
{
    QJsonObject object{{QStringLiteral("latest"), latest}, {QStringLiteral("downloadUrl"), downloadUrl}};
    if (minimum)
        object.insert(QStringLiteral("minimum"), *minimum);
    if (releaseNotes)
        object.insert(QStringLiteral("releaseNotes"), *releaseNotes);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace routereel
