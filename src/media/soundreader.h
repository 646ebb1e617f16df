#pragma once

#include "videoreaderror.h"

#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

namespace routereel {

// One piece of the timeline's sound.
struct SoundPiece {
    double start = 0;       // timeline seconds
    double end = 0;
    QString path;           // the clip; empty: silence (a gap)
    double sourceStart = 0; // source seconds at `start`, counted from the container's start time
};

class ClipSound;

// Reads the timeline's sound as interleaved float32 PCM (what the sound device plays
// without a conversion) at a fixed rate and channel count: each piece's clip
// sound resampled, silence where a piece has none (no sound stream, before the
// sound starts, after it ends, a file that cannot be read).
//
// Samples are placed by libavformat's timestamps as ffmpeg places them: a source
// sample at source second s of a piece starting at timeline t lands on sample
// round((t + s - sourceStart) * rate). Not thread-safe: one reader per thread.
class SoundReader {
public:
    SoundReader(int sampleRate, int channels);
    ~SoundReader();
    SoundReader(const SoundReader &) = delete;
    SoundReader &operator=(const SoundReader &) = delete;

    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }

    // Reading goes on from the same timeline instant in the new pieces.
    void setPieces(std::vector<SoundPiece> pieces);
    // The next read starts exactly there (to the sample).
    void seek(double timelineSeconds);
    // Frames written to `out` (frames * channels floats); fewer only at the timeline's end.
    qint64 read(float *out, qint64 frames);
    // The timeline sample the next read starts at.
    qint64 position() const { return m_position; }
    // The files whose sound could not be read since the last call, each once:
    // they play as silence.
    QList<VideoReadError> takeErrors();

private:
    struct Piece {
        qint64 first = 0; // timeline samples [first, last)
        qint64 last = 0;
        QString path;
        double shift = 0; // source seconds less timeline seconds
    };
    qint64 sampleAt(double seconds) const;
    bool enter(std::size_t piece); // false: the piece plays silence
    void fromClip(const Piece &piece, float *out, qint64 frames);
    void silence(float *out, qint64 frames) const;

    int m_rate;
    int m_channels;
    std::vector<Piece> m_pieces; // by start
    qint64 m_end = 0;
    qint64 m_position = 0;

    // The piece being read and its clip's decoded sound not yet written.
    std::size_t m_entered = SIZE_MAX;
    std::unique_ptr<ClipSound> m_clip;
    double m_clipShift = 0;
    bool m_clipEnded = false;
    bool m_placeNext = true;    // the next chunk goes where its time says, whatever came before
    QString m_refusedPath;      // a clip whose open the disk refused, tried again from m_refusedUntil
    qint64 m_refusedUntil = 0;
    bool m_seekDue = false;     // the disk refused a read: the clip is sought again where the silence ends
    std::vector<float> m_pending;
    qint64 m_pendingAt = 0;     // timeline sample of m_pending's first frame
    qint64 m_nextAt = 0;        // where a chunk following on lands

    QSet<QString> m_failed;
    QList<VideoReadError> m_errors;
};

} // namespace routereel
