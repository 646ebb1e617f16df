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
        sourceVideoUnreadable,
        sourceVideoIncomplete,
        sourceVideoChanged,
        sourceVideoChangedDuringExport,
        sourceSoundUndecodable,
        ffmpegNotFound,
        renderError,
        cancelled
    };

    static ExportError ffmpegError(const QString &diagnostics);
    static ExportError sourceVideoMissing(const QString &path);
    // The file is there but cannot be read (its drive or network folder does not answer);
    // `reason` is the system's wording.
    static ExportError sourceVideoUnreadable(const QString &path, const QString &reason);
    // The file is there but ends before what its index lists (cut short since it was loaded).
    static ExportError sourceVideoIncomplete(const QString &path);
    // The file is no longer the one loaded: shorter than its pieces, or another picture size or rate.
    static ExportError sourceVideoChanged(const QString &path);
    // The file was written to, replaced or removed while ffmpeg read it.
    static ExportError sourceVideoChangedDuringExport(const QString &path);
    // The sound the export takes from the file cannot be decoded; `reason` says why.
    static ExportError sourceSoundUndecodable(const QString &path, const QString &reason);
    static ExportError ffmpegNotFound();
    static ExportError renderError();
    static ExportError cancelled();

    Kind kind() const { return m_kind; }
    // The diagnostics of ffmpegError, the path of the source video errors, else empty.
    QString payload() const { return m_payload; }
    QString reason() const { return m_reason; }
    QString message() const;

    bool operator==(const ExportError &) const = default;

private:
    ExportError(Kind kind, QString payload = {}, QString reason = {})
        : m_kind(kind), m_payload(std::move(payload)), m_reason(std::move(reason))
    {
    }

    Kind m_kind;
    QString m_payload;
    QString m_reason;
};

} // namespace routereel
