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
    // ffmpeg's last `count` error lines, joined by newlines: its diagnostics
    // without progress and statistics lines, the description of its inputs and
    // outputs, the banner and blank lines (what is left is what went wrong).
    QString errorLines(int count = 5) const;

private:
    void appendLocked(const QString &text);

    mutable std::mutex m_lock;
    QString m_buffer;
    QByteArray m_pending;  // the start of a character whose other bytes have not arrived
    bool m_cut = false;    // the buffer lost its start: its first line is a fragment
};

} // namespace routereel
