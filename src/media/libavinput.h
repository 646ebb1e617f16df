#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>

struct AVCodecContext;
struct AVFormatContext;
struct AVIOContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

namespace routereel {

// libav's objects owned: each freed by its own function, whatever way a scope is left.
struct FormatContextCloser {
    void operator()(AVFormatContext *context) const;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
struct FrameDeleter {
    void operator()(AVFrame *frame) const;
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
struct CodecContextDeleter {
    void operator()(AVCodecContext *context) const;
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
struct PacketDeleter {
    void operator()(AVPacket *packet) const;
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// `path` as libav and ffmpeg are given a file: behind the "file:" protocol, so
// that nothing in it ("concat:", "http://") is read as another protocol. Empty
// when `path` is not absolute, as it would name a file of whatever folder the
// process happens to work in.
QString libavFileName(const QString &path);

// Opens the media file at `path` (absolute) and reads its stream info, with no
// protocol but plain files allowed, also for what the file itself refers to.
// Throws VideoReadError naming the file when libav cannot do either.
FormatContextPtr openMediaFile(const QString &path);

// A media file opened as openMediaFile does, but read through a descriptor of its
// own: a read the disk refuses (a failing sector, a share that drops for a moment)
// is tried again a few times, briefly, before libav is told. What libav was told
// is kept, so that a read error is never taken for the file's end: demuxers treat
// the two alike. Used on one thread at a time.
class RetryingMediaFile {
public:
    // Throws VideoReadError naming the file when it cannot be opened or read.
    explicit RetryingMediaFile(const QString &path);
    ~RetryingMediaFile();
    RetryingMediaFile(const RetryingMediaFile &) = delete;
    RetryingMediaFile &operator=(const RetryingMediaFile &) = delete;

    AVFormatContext *context() const { return m_context.get(); }
    // A raised flag ends a read's retries at once; null: none.
    void setCancel(const std::atomic<bool> *cancel) { m_cancel = cancel; }
    // The errno of the last read that failed for good since the last call; 0: none.
    int takeFailure() { return std::exchange(m_failure, 0); }

private:
    static int readPacket(void *opaque, std::uint8_t *buffer, int size);
    static std::int64_t seekTo(void *opaque, std::int64_t offset, int whence);
    bool waitBeforeRetry(int attempt) const;

    int m_fd = -1;
    AVIOContext *m_io = nullptr;
    FormatContextPtr m_context; // closed before m_io goes
    const std::atomic<bool> *m_cancel = nullptr;
    int m_failure = 0;
};

// The reason libav gives for `code` (an AVERROR), as ffmpeg prints it.
QString libavReason(int code);

// The clip's picture: a video stream that is not cover art (a one-picture stream).
bool isPictureStream(const AVStream *stream);

// Clockwise degrees (0, 90, 180 or 270) that turn the stream's stored picture
// upright, by its display matrix in whole quarter turns.
int clockwiseRotation(const AVStream *stream);
// The stream's display matrix (nine 16.16 / 2.30 fixed-point entries), or null.
const std::int32_t *displayMatrix(const AVStream *stream);

// The container's start time, from which source times count: in microseconds
// (AV_TIME_BASE), 0 when the file gives none.
std::int64_t startMicros(const AVFormatContext *context);

// Start times and lengths beyond these are no recording's. Refusing them keeps
// every conversion of a source time to microseconds or to a stream's ticks
// within 64 bits.
constexpr double latestStartSeconds = 4294967296.0; // 2^32 s: wall-clock stamps of any epoch fit
constexpr double longestLengthSeconds = 1.0e7;      // about 115 days

// Throws VideoReadError naming `fileName` when the container's start time lies
// further from 0 than any recording's.
void checkStartTime(const AVFormatContext *context, const QString &fileName);

// The reason of a VideoReadError for a file whose length no recording has.
QString implausibleLengthReason(double seconds);

// `value` as a 64-bit integer, held at the type's limits rather than overflowing;
// 0 for NaN.
std::int64_t saturatedInt64(double value);

// True when the file's index places data beyond the file's end: a copy or a
// recording cut short. libav then reads what is there and stops without an
// error, so the missing rest would pass unnoticed.
bool endsBeforeItsIndex(AVFormatContext *context);

// Opens the media file at `path` (absolute) as far as its index and tells
// whether it ends before it (above). False when it cannot be opened at all:
// that is for the caller's other checks to report.
bool mediaFileEndsEarly(const QString &path);

// "the file ends before the data its index lists", in the interface language:
// the reason of a VideoReadError for such a file.
QString endsEarlyReason();

} // namespace routereel
