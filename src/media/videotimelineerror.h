#pragma once

#include <QByteArray>
#include <QException>
#include <QString>

namespace routereel {

// The error of the video timeline: a file that cannot serve as a video.
// Thrown by the probe (through QFuture) and by the preview composition.
class VideoTimelineError : public QException {
public:
    enum class Kind { invalidVideo };

    static VideoTimelineError invalidVideo(const QString &fileName);

    Kind kind() const { return m_kind; }
    QString fileName() const { return m_fileName; }
    // "Cannot load video: " + file name, in the interface language.
    QString message() const;

    const char *what() const noexcept override;
    void raise() const override { throw *this; }
    VideoTimelineError *clone() const override { return new VideoTimelineError(*this); }

private:
    VideoTimelineError(Kind kind, const QString &fileName);

    Kind m_kind;
    QString m_fileName;
    QByteArray m_what;
};

} // namespace routereel
