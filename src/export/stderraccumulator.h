#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

namespace routereel {

// The last 4096 characters of ffmpeg's standard error, appended to by the
// reader thread and read by the export run when ffmpeg fails.
class StderrAccumulator {
public:
    static constexpr qsizetype capacity = 4096;

    StderrAccumulator() = default;
    // Also keeps, apart from the bounded buffer, the first line that starts with
    // one of `watchedPrefixes`: what comes after it cannot push it out.
    explicit StderrAccumulator(QStringList watchedPrefixes);

    void append(const QString &text);
    // Decodes UTF-8 across calls, so a character split between two reads survives.
    void appendBytes(const QByteArray &bytes);
    // Flushes an incomplete character left at the end of the stream.
    void finish();

    QString buffer() const;
    // The last ten newline-separated pieces of the buffer (an empty last one
    // when it ends with a newline), joined by newlines: what a failed ffmpeg said last.
    QString tail() const;
    std::optional<QString> firstWatchedLine() const;

private:
    void appendLocked(const QString &text);
    void watchLocked(const QString &text);
    void endLineLocked();

    mutable std::mutex m_lock;
    QString m_buffer;
    QByteArray m_pending;  // the start of a character whose other bytes have not arrived
    QStringList m_watchedPrefixes;
    QString m_line;  // the start of the line being read
    std::optional<QString> m_watchedLine;
};

} // namespace routereel
