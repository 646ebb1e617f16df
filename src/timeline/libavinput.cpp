#include "libavinput.h"

#include "videoreaderror.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavformat/avformat.h>
}

namespace routereel {

namespace {

QString libavReason(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

void FormatContextCloser::operator()(AVFormatContext *context) const
{
    avformat_close_input(&context);
}

FormatContextPtr openMediaFile(const QString &path)
{
    AVFormatContext *raw = nullptr;
    if (const int rc = avformat_open_input(&raw, QFile::encodeName(path).constData(), nullptr, nullptr); rc < 0)
        throw VideoReadError(QFileInfo(path).fileName(), libavReason(rc));
    FormatContextPtr context(raw);
    if (const int rc = avformat_find_stream_info(context.get(), nullptr); rc < 0)
        throw VideoReadError(QFileInfo(path).fileName(), libavReason(rc));
    return context;
}

} // namespace routereel
