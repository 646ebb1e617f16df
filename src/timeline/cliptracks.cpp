#include "cliptracks.h"

#include "libavinput.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include <cmath>

namespace routereel {

namespace {

// Turns the picture upright by the display matrix's rotation, in whole quarter
// turns; the composition moves the result into place, so no translation is needed.
QTransform uprightTransform(const AVStream *stream)
{
    const auto *matrix = reinterpret_cast<const int32_t *>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return {};
    const double counterClockwise = av_display_rotation_get(matrix);
    if (!std::isfinite(counterClockwise))
        return {};
    // Screen coordinates grow downwards, where QTransform::rotate turns clockwise.
    const double clockwise = std::fmod(std::round(-counterClockwise / 90.0) * 90.0 + 360.0, 360.0);
    return QTransform().rotate(clockwise);
}

double seconds(int64_t value, AVRational base)
{
    return value == AV_NOPTS_VALUE ? 0.0 : double(value) * av_q2d(base);
}

} // namespace

ClipTracks ClipTracks::read(const QUrl &url)
{
    const FormatContextPtr ctx = openMediaFile(url.toLocalFile());

    ClipTracks tracks;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream *s = ctx->streams[i];
        const AVCodecParameters *par = s->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)
            && !tracks.hasVideo) {
            tracks.hasVideo = true;
            tracks.naturalSize = QSizeF(par->width, par->height);
            tracks.preferredTransform = uprightTransform(s);
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && !tracks.hasAudio) {
            tracks.hasAudio = true;
            tracks.audioStart = seconds(s->start_time, s->time_base);
            tracks.audioDuration = s->duration != AV_NOPTS_VALUE
                ? seconds(s->duration, s->time_base)
                : (ctx->duration != AV_NOPTS_VALUE ? double(ctx->duration) / AV_TIME_BASE : 0.0);
        }
    }
    return tracks;
}

} // namespace routereel
