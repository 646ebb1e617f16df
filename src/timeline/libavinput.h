#pragma once

#include <QString>

#include <memory>

struct AVFormatContext;

namespace routereel {

struct FormatContextCloser {
    void operator()(AVFormatContext *context) const;
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// Opens the media file at `path` and reads its stream info. Throws VideoReadError naming the file
// when libav cannot do either.
FormatContextPtr openMediaFile(const QString &path);

} // namespace routereel
