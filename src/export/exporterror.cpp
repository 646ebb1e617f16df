#include "exporterror.h"

#include <QCoreApplication>

namespace routereel {

ExportError ExportError::ffmpegError(const QString &diagnostics)
{
    return {Kind::ffmpegError, diagnostics};
}

ExportError ExportError::sourceVideoMissing(const QString &path)
{
    return {Kind::sourceVideoMissing, path};
}

ExportError ExportError::sourceVideoUnreadable(const QString &path, const QString &reason)
{
    return {Kind::sourceVideoUnreadable, path, reason};
}

ExportError ExportError::sourceVideoIncomplete(const QString &path)
{
    return {Kind::sourceVideoIncomplete, path};
}

ExportError ExportError::sourceVideoChanged(const QString &path)
{
    return {Kind::sourceVideoChanged, path};
}

ExportError ExportError::sourceVideoChangedDuringExport(const QString &path)
{
    return {Kind::sourceVideoChangedDuringExport, path};
}

ExportError ExportError::sourceSoundUndecodable(const QString &path, const QString &reason)
{
    return {Kind::sourceSoundUndecodable, path, reason};
}

ExportError ExportError::ffmpegNotFound()
{
    return {Kind::ffmpegNotFound};
}

ExportError ExportError::renderError()
{
    return {Kind::renderError};
}

ExportError ExportError::cancelled()
{
    return {Kind::cancelled};
}

QString ExportError::message() const
{
    switch (m_kind) {
    case Kind::ffmpegError:
        // ffmpeg's own words, quoted as they are in every language.
        return QStringLiteral("FFmpeg: ") + m_payload;
    case Kind::sourceVideoMissing:
        return QCoreApplication::translate("ExportError",
                                           "Source video no longer exists on disk:\n%1\n\nThe file referenced by "
                                           "the project has been moved or deleted. Reload the video and try again.")
            .arg(m_payload);
    case Kind::sourceVideoUnreadable:
        return QCoreApplication::translate("ExportError",
                                           "The source video \"%1\" cannot be read: %2\n\nIts drive or network "
                                           "folder may not be answering. Check that it is connected and try again.")
            .arg(m_payload, m_reason);
    case Kind::sourceVideoIncomplete:
        return QCoreApplication::translate("ExportError",
                                           "Source video is incomplete:\n%1\n\nThe file ends before the data its "
                                           "index lists: it is damaged or was not copied whole. Replace it and try "
                                           "again.")
            .arg(m_payload);
    case Kind::sourceVideoChanged:
        return QCoreApplication::translate("ExportError",
                                           "Source video changed since it was loaded:\n%1\n\nThe file is shorter "
                                           "than its pieces on the timeline, or its picture size or frame rate is "
                                           "different. Reload the video and try again.")
            .arg(m_payload);
    case Kind::sourceVideoChangedDuringExport:
        return QCoreApplication::translate("ExportError",
                                           "Source video changed while it was being exported:\n%1\n\nThe file was "
                                           "written to, replaced or removed during the export, so the exported "
                                           "picture could not be trusted and no file was written. Let the file be "
                                           "and try again.")
            .arg(m_payload);
    case Kind::sourceSoundUndecodable:
        return QCoreApplication::translate("ExportError",
                                           "The sound of a source video cannot be decoded:\n%1\n\n%2\n\nThe export "
                                           "would fail on it, or copy sound that cannot be played. Convert the "
                                           "video's sound, or remove the video from the timeline, and try again.")
            .arg(m_payload, m_reason);
    case Kind::ffmpegNotFound:
        return QCoreApplication::translate(
            "ExportError",
            "FFmpeg runtime unavailable. The bundled copy could not be used, and no system FFmpeg was found.");
    case Kind::renderError:
        return QCoreApplication::translate("ExportError", "Failed to render overlay frames");
    case Kind::cancelled:
        return QCoreApplication::translate("ExportError", "Export cancelled");
    }
    return {};
}

} // namespace routereel
