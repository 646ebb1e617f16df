#pragma once

#include <QColor>
#include <QImage>
#include <QMap>
#include <QString>
#include <QStringList>

// Test inputs made with Debian's ffmpeg (lavfi sources), so no media files are shipped.
namespace testsupport {

struct ClipSpec {
    double seconds = 2;
    int width = 320;
    int height = 240;
    double fps = 30;
    bool audio = true;
    QColor color = Qt::red;      // solid colour; empty (invalid) gives the testsrc2 pattern
    QString container = QStringLiteral("mp4");
    bool indexAtFront = false;   // "+faststart": the index before the data, as for streaming
};

// Runs ffmpeg with `args`; returns false (and fails the current test) when it does not exit 0.
bool runFfmpeg(const QStringList &args);

// Writes an H.264 (+AAC when audio) clip to `dir`/`name`; returns its path, or "" on failure.
QString makeClip(const QString &dir, const QString &name, const ClipSpec &spec = {});

// The numbered pictures below as a lavfi source at ffmpeg rate text `rate`.
QString numberedPictures(double seconds, int width, int height, const QString &rate);

// Writes an H.264 clip whose every picture carries its own frame number N as 12 wide
// bars, bar b white when bit b of N is set (least significant on the left): they
// survive compression and scaling, and frameNumberOf reads them back.
QString makeNumberedClip(const QString &dir, const QString &name, double seconds, bool audio = false,
                         int width = 320, int height = 180, double fps = 30);
// The same encoded as a camera's: with B-frames, so that the decoder's frame times run
// a couple of frames ahead of the clip's; with grain, so that every picture costs real
// decoding; and with a keyframe only every `keyframeSeconds`, so that a seek far from
// one has many pictures to decode first.
QString makeNumberedCameraClip(const QString &dir, const QString &name, double seconds, int width, int height,
                                      double fps, double keyframeSeconds);
// The frame number a picture of such a clip shows; -1 for a null image.
int frameNumberOf(const QImage &image);

// Writes an audio-only AAC file (e.g. "x.m4a").
QString makeAudioOnly(const QString &dir, const QString &name, double seconds = 1);

// ffprobe's "key=value" facts `entries` (e.g. "stream=width,height") of one stream ("v:0", "a:0");
// empty without that stream.
QMap<QString, QString> probeStream(const QString &file, const QString &stream, const QString &entries);

// Like makeClip, at ffmpeg rate text `rate` ("30000/1001"), with a sine at `sampleRate`
// that lasts `soundSeconds` whatever the picture's length.
QString makeClipWithSound(const QString &dir, const QString &name, const ClipSpec &spec, const QString &rate,
                          double soundSeconds, int sampleRate = 44100);

} // namespace testsupport
