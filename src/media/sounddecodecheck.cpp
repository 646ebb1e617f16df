#include "sounddecodecheck.h"

#include "libavinput.h"
#include "soundlayout.h"

#include <QCoreApplication>
#include <QException>

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libswresample/swresample.h>
}

namespace routereel {

namespace {

std::optional<QString> unmixable(const AVChannelLayout &layout)
{
    SwrContext *mixer = makeSoundMixer(layout, AV_SAMPLE_FMT_FLT, 48000, 2, AV_SAMPLE_FMT_FLT, 48000);
    if (mixer) {
        swr_free(&mixer);
        return std::nullopt;
    }
    const SoundLayout sound(layout);
    return sound.unmixableReason().value_or(
        QCoreApplication::translate("SoundDecodeCheck", "its channels (%1) cannot be mixed to stereo")
            .arg(sound.name()));
}

} // namespace

std::optional<QString> soundDecodeFailure(const QString &path, bool everyStream)
{
    FormatContextPtr file;
    try {
        file = openMediaFile(path);
    } catch (const QException &) {
        return std::nullopt;
    }
    for (unsigned i = 0; i < file->nb_streams; ++i) {
        const AVCodecParameters *parameters = file->streams[i]->codecpar;
        if (parameters->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        const QString codecName = QString::fromLatin1(avcodec_get_name(parameters->codec_id));
        const AVCodec *codec = avcodec_find_decoder(parameters->codec_id);
        if (!codec)
            return QCoreApplication::translate("SoundDecodeCheck", "Sound stream %1 (%2): no decoder for it")
                .arg(i)
                .arg(codecName);
        // Opening is where a decoder refuses what it does not implement (an AAC object type, say).
        CodecContextPtr context(avcodec_alloc_context3(codec));
        int rc = context ? avcodec_parameters_to_context(context.get(), parameters) : AVERROR(ENOMEM);
        if (rc >= 0) {
            context->thread_count = 1;
            rc = avcodec_open2(context.get(), codec, nullptr);
        }
        if (rc < 0) {
            char text[AV_ERROR_MAX_STRING_SIZE] = {};
            av_strerror(rc, text, sizeof text);
            return QCoreApplication::translate("SoundDecodeCheck", "Sound stream %1 (%2): %3")
                .arg(i)
                .arg(codecName, QString::fromLocal8Bit(text));
        }
        // Both roads mix every sound to stereo: the preview's resampler, the export's filters.
        if (const auto reason = unmixable(context->ch_layout))
            return QCoreApplication::translate("SoundDecodeCheck", "Sound stream %1 (%2): %3")
                .arg(i)
                .arg(codecName, *reason);
        if (!everyStream)
            break;
    }
    return std::nullopt;
}

} // namespace routereel
