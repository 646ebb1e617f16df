#pragma once

#include <QString>

#include <memory>

struct AVFormatContext;

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

} // namespace routereel
