#pragma once

#include <QString>

#include <cstdint>
#include <memory>

struct AVFormatContext;
struct AVStream;

namespace routereel {

struct FormatContextCloser {
    void operator()(AVFormatContext *context) const;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// `path` as libav and ffmpeg are given a file: behind the "file:" protocol, so
// that nothing in it ("concat:", "http://") is read as another protocol. Empty
// when `path` is not absolute, as it would name a file of whatever folder the
// process happens to work in.
QString libavFileName(const QString &path);

// Opens the media file at `path` (absolute) and reads its stream info, with no
// protocol but plain files allowed, also for what the file itself refers to.
// Throws VideoReadError naming the file when libav cannot do either.
FormatContextPtr openMediaFile(const QString &path);

// The clip's picture: a video stream that is not cover art (a one-picture stream).
bool isPictureStream(const AVStream *stream);

// The container's start time, from which source times count: in microseconds
// (AV_TIME_BASE), 0 when the file gives none.
std::int64_t startMicros(const AVFormatContext *context);

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
