#include "cliptracks.h"

#include "libavinput.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cmath>

namespace routereel {

namespace {

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
            // The composition moves the turned picture into place: no translation needed.
            tracks.preferredTransform = QTransform().rotate(clockwiseRotation(s));
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
