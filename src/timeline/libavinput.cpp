#include "libavinput.h"

#include "videoreaderror.h"

#include <QCoreApplication>
#include <QDir>
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

QString libavFileName(const QString &path)
{
    if (!QDir::isAbsolutePath(path))
        return {};
    return QStringLiteral("file:") + path;
}

FormatContextPtr openMediaFile(const QString &path)
{
    const QString name = libavFileName(path);
    if (name.isEmpty())
        throw VideoReadError(path, QCoreApplication::translate("VideoReadError", "the path is not absolute"));
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext *raw = nullptr;
    const int rc = avformat_open_input(&raw, QFile::encodeName(name).constData(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0)
        throw VideoReadError(QFileInfo(path).fileName(), libavReason(rc));
    FormatContextPtr context(raw);
    if (const int rc = avformat_find_stream_info(context.get(), nullptr); rc < 0)
        throw VideoReadError(QFileInfo(path).fileName(), libavReason(rc));
    return context;
}

} // namespace routereel
