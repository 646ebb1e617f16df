#pragma once

#include "libavinput.h"

#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace routereel {

// One decoded picture of a clip, on screen from `start` until `end` (source seconds,
// counted from the container's start time, as ffprobe's frame list gives them).
struct DecodedPicture {
    double start = 0;
    double end = 0;
    FramePtr frame;
};

// Reads a clip's pictures with libavformat and libavcodec, as ffmpeg reads them for
// the export: the same demuxer rules for edit lists, fragments and time stamps. Not
// thread-safe: one per deck, used on its thread.
class ClipDecoder {
public:
    // Throws VideoReadError when the file cannot be read, VideoTimelineError when it
    // has no picture.
    explicit ClipDecoder(const QString &path);
    ~ClipDecoder();
    ClipDecoder(const ClipDecoder &) = delete;
    ClipDecoder &operator=(const ClipDecoder &) = delete;

    // Clockwise degrees that turn the stored picture upright, and a stored pixel's
    // width over its height.
    int rotation() const { return m_rotation; }
    double pixelAspect() const { return m_pixelAspect; }
    // Source seconds to the end of the last picture, as far as the file tells.
    double length() const { return m_length; }

    // Positions the reading so that the pictures that follow lead to the one on
    // screen at `seconds`; reading on from where it stands when that is on the way.
    void seek(double seconds);
    // The next picture in presentation order, its end known; none at the end of the
    // clip, on a read error (readFault() tells), or when `cancel` is raised.
    std::optional<DecodedPicture> next(const std::atomic<bool> *cancel = nullptr);
    // The picture on screen at `seconds`: seeks when it lies behind or far ahead.
    // None when the clip has no picture at all or `cancel` was raised. `passing` is
    // shown each picture read on the way there (scrubbing shows some of them).
    std::optional<DecodedPicture> pictureAt(double seconds, const std::atomic<bool> *cancel = nullptr,
                                            const std::function<void(const DecodedPicture &)> &passing = {});

    // Where the last picture returned started; none right after a seek.
    std::optional<double> position() const;

    // The file refused a read, retried: nothing more is read until a seek or
    // resumeAfter(). `after`: source seconds up to which the clip was read.
    struct ReadFault {
        QString reason;
        double after = 0;
    };
    const std::optional<ReadFault> &readFault() const { return m_fault; }
    // Reads on from the first keyframe after `seconds`; false when none follows
    // (what is left of the clip is then its end).
    bool resumeAfter(double seconds);

private:
    std::optional<DecodedPicture> decodeOne(const std::atomic<bool> *cancel);
    bool keyframeBetween(double from, double to) const;
    void seekBefore(double seconds);
    void seekToFirstPicture(double seconds);
    void resetAfterSeek(double seconds);
    void forgetRefusal();
    std::int64_t tickAt(double seconds) const;
    double secondsOf(std::int64_t pts) const;
    static DecodedPicture copyOf(const DecodedPicture &picture);

    std::unique_ptr<RetryingMediaFile> m_file;
    AVFormatContext *m_context = nullptr; // m_file's
    std::unique_ptr<AVCodecContext, CodecContextDeleter> m_codec;
    std::unique_ptr<AVPacket, PacketDeleter> m_packet;
    int m_stream = -1;
    // The index lists pictures but flags none as a keyframe (a damaged index): no
    // seek can land on one, so every seek reads from the first picture on.
    bool m_keylessIndex = false;
    double m_startTime = 0;
    int m_rotation = 0;
    double m_pixelAspect = 1;
    double m_length = 0;
    double m_nominalFrame = 1.0 / 30;

    // One picture decoded ahead, so that each picture handed out knows its end.
    std::optional<DecodedPicture> m_ahead;
    std::optional<double> m_lastStart;
    // The last pictures handed out, kept (references, no copies) for a time asked
    // again within them: a pause just after a picture decoded ahead while playing.
    std::deque<DecodedPicture> m_recent;
    std::size_t m_replay = 0;    // the next of them to hand out again, past the end: none
    bool m_drained = false;      // the decoder has given its last picture
    bool m_flushing = false;     // end of file reached, the decoder being drained
    // After a seek: pictures before the first keyframe decoded, or presented before it,
    // miss their references and are dropped.
    std::optional<double> m_keyframeStart;
    bool m_afterSeek = false;
    int m_skippedBeforeKey = 0;
    double m_seekFloor = 0;      // where the last seek aimed
    double m_readTo = 0;         // source seconds of the last packet read since then
    std::optional<ReadFault> m_fault;
    bool m_faultDrained = false; // the pictures decoded before it are out
};

} // namespace routereel
