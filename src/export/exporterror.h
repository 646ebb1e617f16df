#pragma once

#include <QString>

namespace routereel {

// Every failure of an export that is neither the output transaction's nor the
// file system's. The user sees message().
class ExportError {
public:
    enum class Kind {
        ffmpegError,
        sourceVideoMissing,
        sourceVideoIncomplete,
        sourceVideoChanged,
        sourceVideoChangedDuringExport,
        ffmpegNotFound,
        renderError,
        cancelled
    };

    static ExportError ffmpegError(const QString &diagnostics);
    static ExportError sourceVideoMissing(const QString &path);
    // The file is there but ends before what its index lists (cut short since it was loaded).
    static ExportError sourceVideoIncomplete(const QString &path);
    // The file is no longer the one loaded: shorter than its pieces, or another picture size or rate.
    static ExportError sourceVideoChanged(const QString &path);
    // The file was written to, replaced or removed while ffmpeg read it.
    static ExportError sourceVideoChangedDuringExport(const QString &path);
    static ExportError ffmpegNotFound();
    static ExportError renderError();
    static ExportError cancelled();

    Kind kind() const { return m_kind; }
    // The diagnostics of ffmpegError, the path of the source video errors, else empty.
    QString payload() const { return m_payload; }
    QString message() const;

    bool operator==(const ExportError &) const = default;

private:
    ExportError(Kind kind, QString payload = {}) : m_kind(kind), m_payload(std::move(payload)) {}

    Kind m_kind;
    QString m_payload;
};

} // namespace routereel
