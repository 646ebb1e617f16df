#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace routereel {

// The update server's answer to "/api/version": a JSON object with "latest" and
// "downloadUrl" (strings, required), "minimum" and "releaseNotes" (strings when
// present). Other keys are ignored; a missing required key or any of the four
// holding another JSON type (null included) is no answer.
struct UpdateInfo {
    QString latest;
    std::optional<QString> minimum;
    QString downloadUrl;
    std::optional<QString> releaseNotes;

    // The answer in `body`, or none with the reason in `error`.
    static std::optional<UpdateInfo> decode(const QByteArray &body, QString *error = nullptr);
    QByteArray encode() const;

    bool operator==(const UpdateInfo &) const = default;
};

} // namespace routereel
