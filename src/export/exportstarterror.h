#pragma once

#include <QString>

namespace routereel {

class ExportError;

// Why an export cannot start from the window's current state. The window shows
// message() in its error alert, except for notReady, which it never shows (its
// Export buttons are disabled then).
class ExportStartError {
public:
    enum class Kind {
        noTracks,
        noVideo,
        sourceVideoMissing,
        sourceVideoUnreadable,
        metadataLoading,
        gpxBeyondVideo,
        notReady,
        invalidResolution,
        noWidgets,
    };

    static ExportStartError noTracks();
    static ExportStartError noVideo();
    static ExportStartError sourceVideoMissing(const QString &path);
    static ExportStartError sourceVideoUnreadable(const QString &path, const QString &reason);
    // sourceVideoMissing or sourceVideoUnreadable, as `error` (of the same kind) says.
    static ExportStartError sourceVideo(const ExportError &error);
    static ExportStartError metadataLoading();
    // Both in seconds: the end of the last GPX segment and the video's duration.
    static ExportStartError gpxBeyondVideo(double gpxEnd, double videoDuration);
    static ExportStartError notReady();
    static ExportStartError invalidResolution();
    static ExportStartError noWidgets();

    Kind kind() const { return m_kind; }
    // Shown by the window; false for notReady.
    bool isShown() const { return m_kind != Kind::notReady; }
    QString message() const;

    bool operator==(const ExportStartError &) const = default;

private:
    ExportStartError(Kind kind, QString payload = {}, QString reason = {})
        : m_kind(kind), m_payload(std::move(payload)), m_reason(std::move(reason))
    {
    }

    Kind m_kind;
    QString m_payload;
    QString m_reason;
};

// Whole minutes and seconds, "%d:%02d", also beyond an hour (75.9 -> "1:15", 3600 -> "60:00").
QString formatMinutesSeconds(double seconds);

} // namespace routereel
