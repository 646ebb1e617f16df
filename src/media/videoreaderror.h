#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

namespace routereel {

// libav could not open or read a video file at all (missing, unreadable, not a
// media file). Distinct from VideoTimelineError, which means the file was read
// but holds no usable video.
class VideoReadError : public QException {
public:
    // `refused`: the disk refused to read (an I/O error, a share not answering), which
    // may pass; not a file that is missing or no media file.
    VideoReadError(const QString &fileName, const QString &reason, bool refused = false);

    QString fileName() const { return m_fileName; }
    QString reason() const { return m_reason; }
    bool refused() const { return m_refused; }
    // "Cannot read video file <name>: <reason>", in the interface language.
    QString message() const;
    // "Part of video file <name> cannot be read (<reason>); the preview skips it", in
    // the interface language: told once when a clip being played refuses a read.
    static QString skippedPartMessage(const QString &fileName, const QString &reason);

    const char *what() const noexcept override { return m_what.constData(); }
    void raise() const override { throw *this; }
    VideoReadError *clone() const override { return new VideoReadError(*this); }

private:
    QString m_fileName;
    QString m_reason;
    bool m_refused = false;
    QByteArray m_what;
};

} // namespace routereel
