#include "videosource.h"

#include "libavinput.h"
#include "sourcecolour.h"
#include "videoreaderror.h"
#include "videotimelineerror.h"

#include "base/usablesize.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

extern "C" {
#include <libavformat/avformat.h>
#include <libavcodec/codec_id.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace routereel {

namespace {

double rationalValue(AVRational r)
{
    return r.num > 0 && r.den > 0 ? av_q2d(r) : 0.0;
}

// A stored pixel's width over its height; 1 when the file states none.
double pixelAspectOf(const AVFormatContext *ctx, const AVStream *stream)
{
    const double ratio = rationalValue(av_guess_sample_aspect_ratio(const_cast<AVFormatContext *>(ctx),
                                                                    const_cast<AVStream *>(stream), nullptr));
    return ratio > 0 && std::isfinite(ratio) ? ratio : 1.0;
}

// The size shown on screen: the coded size with its pixels' shape and the
// display matrix applied, as the bounding box of the transformed rectangle (a
// quarter turn swaps sides).
QSizeF displayedSize(const AVStream *stream, double pixelAspect)
{
    const double w = stream->codecpar->width * pixelAspect;
    const double h = stream->codecpar->height;
    const std::int32_t *matrix = displayMatrix(stream);
    if (!matrix)
        return {w, h};
    // Display matrix entries a, b, c, d are 16.16 fixed point; (x, y) -> (a x + c y, b x + d y).
    const double a = matrix[0] / 65536.0, b = matrix[1] / 65536.0;
    const double c = matrix[3] / 65536.0, d = matrix[4] / 65536.0;
    return {std::fabs(a * w) + std::fabs(c * h), std::fabs(b * w) + std::fabs(d * h)};
}

// Seconds from the container's start time to where the last packet of `streams`
// ends, read from the last keyframe before the stated end: Matroska states no
// stream lengths, and its own length counts from its clock's zero, which lies
// before a start time such as a remuxed broadcast's.
std::optional<double> lastPacketEnd(AVFormatContext *ctx, const QList<const AVStream *> &streams)
{
    if (ctx->duration == AV_NOPTS_VALUE || ctx->duration <= 0)
        return std::nullopt;
    const std::int64_t target = saturatedInt64(double(startMicros(ctx)) + double(ctx->duration));
    if (avformat_seek_file(ctx, -1, std::numeric_limits<std::int64_t>::min(), target, target, 0) < 0)
        return std::nullopt;
    std::optional<double> end;
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(ctx, packet) >= 0) {
        for (const AVStream *s : streams) {
            if (s->index == packet->stream_index && packet->pts != AV_NOPTS_VALUE) {
                const double at = (double(packet->pts) + double(std::max<std::int64_t>(0, packet->duration)))
                    * av_q2d(s->time_base);
                end = std::max(end.value_or(at), at);
            }
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (!end)
        return std::nullopt;
    return *end - double(startMicros(ctx)) / AV_TIME_BASE;
}

// Seconds from the container's start time to where its picture and sound end. A
// movie header's length also counts an empty edit before the first picture, and
// the timeline would then run past the clip's last frame.
double lengthFromStart(AVFormatContext *ctx, const AVStream *video, const QList<const AVStream *> &audio)
{
    const double stated = ctx->duration == AV_NOPTS_VALUE ? 0.0 : double(ctx->duration) / AV_TIME_BASE;
    const double start = double(startMicros(ctx)) / AV_TIME_BASE;
    double end = 0;
    QList<const AVStream *> streams = audio;
    streams.prepend(video);
    for (const AVStream *s : streams) {
        if (s->start_time == AV_NOPTS_VALUE || s->duration == AV_NOPTS_VALUE || s->duration <= 0) {
            // No stream lengths (Matroska): read where the last packets end.
            const auto measured = lastPacketEnd(ctx, streams);
            return measured && *measured > 0 && *measured < stated ? *measured : stated;
        }
        end = std::max(end, (double(s->start_time) + double(s->duration)) * av_q2d(s->time_base));
    }
    const double measured = end - start;
    return measured > 0 && measured < stated ? measured : stated;
}

} // namespace

VideoSource VideoSource::probe(const QUrl &url, const QUuid &id)
{
    const QString path = url.toLocalFile();
    const QString fileName = QFileInfo(path).fileName();

    // Read through a descriptor of its own: a read the disk refuses is tried again,
    // and one that still fails is named as such, where libav would take the cut
    // short index for a damaged file.
    RetryingMediaFile file(path);
    AVFormatContext *const ctx = file.context();
    // Its stated length would be taken for what it holds: the export would pad
    // the missing part with its last picture and report success.
    if (endsBeforeItsIndex(ctx))
        throw VideoReadError(fileName, endsEarlyReason());

    checkStartTime(ctx, fileName);

    const AVStream *video = nullptr;
    QList<const AVStream *> audio;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream *s = ctx->streams[i];
        if (!video && isPictureStream(s))
            video = s;
        else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            audio.append(s);
    }
    if (!video)
        throw VideoTimelineError::invalidVideo(fileName);

    const double duration = lengthFromStart(ctx, video, audio);
    // Where the last packets end was not read to the end: the length is not known.
    if (const int failure = file.takeFailure())
        throw VideoReadError(fileName, libavReason(AVERROR(failure)), true);
    if (!(duration > 0) || !std::isfinite(duration))
        throw VideoTimelineError::invalidVideo(fileName);
    if (duration > longestLengthSeconds)
        throw VideoReadError(fileName, implausibleLengthReason(duration));

    const double pixelAspect = pixelAspectOf(ctx, video);
    const QSizeF shown = displayedSize(video, pixelAspect);
    if (!isUsableSize(shown))
        throw VideoTimelineError::invalidVideo(fileName);

    double fps = rationalValue(video->avg_frame_rate);
    if (!(fps > 0) || !std::isfinite(fps))
        fps = rationalValue(video->r_frame_rate);

    double audioBitRate = 0;
    for (const AVStream *s : audio) {
        const double rate = double(s->codecpar->bit_rate);
        audioBitRate += rate > 0 ? rate : 192'000.0;
    }

    VideoSource source;
    source.id = id;
    source.url = url;
    source.duration = duration;
    source.startTime = double(startMicros(ctx)) / AV_TIME_BASE;
    source.statedDuration = ctx->duration == AV_NOPTS_VALUE ? duration : double(ctx->duration) / AV_TIME_BASE;
    source.resolution = QSizeF(std::round(shown.width()), std::round(shown.height()));
    source.pixelAspect = pixelAspect;
    source.fps = fps > 0 && std::isfinite(fps) ? fps : 30.0;
    source.bitRate = double(video->codecpar->bit_rate);
    source.hasAudio = !audio.isEmpty();
    source.audioBitRate = audioBitRate;
    const AVCodecParameters *picture = video->codecpar;
    source.colorMatrix = picture->color_space;
    source.colorPrimaries = picture->color_primaries;
    source.colorTransfer = picture->color_trc;
    const auto *format = av_pix_fmt_desc_get(AVPixelFormat(picture->format));
    source.fullRange = fullRangeReadAs(picture->color_range, picture->format);
    source.rgb = picture->color_space == AVCOL_SPC_RGB
        || (format && (format->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)));
    for (const AVStream *s : audio) {
        source.audioCodecs.append(QString::fromLatin1(avcodec_get_name(s->codecpar->codec_id)));
        source.audioLayouts.append(SoundLayout(s->codecpar->ch_layout));
    }
    return source;
}

QFuture<VideoSource> VideoSource::load(const QUrl &url, const QUuid &id)
{
    return QtConcurrent::run([url, id] { return probe(url, id); });
}

} // namespace routereel
