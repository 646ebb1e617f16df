#include "exportstarterror.h"

#include "exporterror.h"

#include <QCoreApplication>

#include <cmath>

namespace routereel {

ExportStartError ExportStartError::noTracks()
{
    return {Kind::noTracks};
}

ExportStartError ExportStartError::noVideo()
{
    return {Kind::noVideo};
}

ExportStartError ExportStartError::sourceVideoMissing(const QString &path)
{
    return {Kind::sourceVideoMissing, path};
}

ExportStartError ExportStartError::sourceVideoUnreadable(const QString &path, const QString &reason)
{
    return {Kind::sourceVideoUnreadable, path, reason};
}

ExportStartError ExportStartError::sourceVideo(const ExportError &error)
{
    if (error.kind() == ExportError::Kind::sourceVideoUnreadable)
        return sourceVideoUnreadable(error.payload(), error.reason());
    return sourceVideoMissing(error.payload());
}

ExportStartError ExportStartError::metadataLoading()
{
    return {Kind::metadataLoading};
}

ExportStartError ExportStartError::gpxBeyondVideo(double gpxEnd, double videoDuration)
{
    return {Kind::gpxBeyondVideo, formatMinutesSeconds(gpxEnd) + QStringLiteral(" > ") + formatMinutesSeconds(videoDuration)};
}

ExportStartError ExportStartError::notReady()
{
    return {Kind::notReady};
}

ExportStartError ExportStartError::invalidResolution()
{
    return {Kind::invalidResolution};
}

ExportStartError ExportStartError::noWidgets()
{
    return {Kind::noWidgets};
}

QString ExportStartError::message() const
{
    switch (m_kind) {
    case Kind::noTracks:
        return QCoreApplication::translate("ExportStartError", "Import GPX before exporting.");
    case Kind::noVideo:
        return QCoreApplication::translate("ExportStartError", "Cannot export: no video has been loaded.");
    case Kind::sourceVideoMissing:
        // The same words as a source that vanishes once the export runs.
        return ExportError::sourceVideoMissing(m_payload).message();
    case Kind::sourceVideoUnreadable:
        return ExportError::sourceVideoUnreadable(m_payload, m_reason).message();
    case Kind::metadataLoading:
        return QCoreApplication::translate("ExportStartError",
                                           "Video metadata is still loading. Please wait a moment and try again.");
    case Kind::gpxBeyondVideo:
        return QCoreApplication::translate(
                   "ExportStartError", "GPX track extends beyond video (%1). Trim or remove excess segments before exporting.")
            .arg(m_payload);
    case Kind::notReady:
        return QCoreApplication::translate(
            "ExportStartError",
            "Nothing to export yet: a loaded video and a GPX track are needed (in Overlay mode, a GPX track on the timeline).");
    case Kind::invalidResolution:
        return QCoreApplication::translate("ExportStartError", "Video resolution is invalid; please reload the video.");
    case Kind::noWidgets:
        return QCoreApplication::translate(
            "ExportStartError", "No widgets are enabled. Enable at least one (Map / Path / Time / Speed) before exporting.");
    }
    return {};
}

QString formatMinutesSeconds(double seconds)
{
    // Durations in a message; anything that is no sensible number of seconds reads as 0.
    const double t = std::isfinite(seconds) ? std::trunc(seconds) : 0;
    const long long n = std::abs(t) < 1e15 ? static_cast<long long>(t) : 0;
    const long long minutes = n / 60;
    const long long rest = n - 60 * minutes;
    return QString::asprintf("%lld:%02lld", minutes, rest < 0 ? -rest : rest);
}

} // namespace routereel
