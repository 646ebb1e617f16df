#pragma once

#include <QByteArray>
#include <QString>

#include <mutex>

namespace routereel {

// The last 4096 characters of ffmpeg's standard error, appended to by the
// reader thread and read by the export run when ffmpeg fails.
class StderrAccumulator {
public:
    static constexpr qsizetype capacity = 4096;

    void append(const QString &text);
    // Decodes UTF-8 across calls, so a character split between two reads survives.
    void appendBytes(const QByteArray &bytes);
    // Flushes an incomplete character left at the end of the stream.
    void finish();

    QString buffer() const;
    // The last ten newline-separated pieces of the buffer (an empty last one
    // when it ends with a newline), joined by newlines: what a failed ffmpeg said last.
    QString tail() const;

private:
    void appendLocked(const QString &text);

    mutable std::mutex m_lock;
    QString m_buffer;
    QByteArray m_pending;  // the start of a character whose other bytes have not arrived
};

} // namespace routereel
