#include "soundlayout.h"

#include <QCoreApplication>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <vector>

namespace routereel {

namespace {

// The layout `layout` is heard at: as stated, else libav's usual one for its count;
// order "unspecified" when the count has none.
AVChannelLayout heardLayout(const AVChannelLayout &layout)
{
    AVChannelLayout heard{};
    if (layout.order != AV_CHANNEL_ORDER_UNSPEC && layout.nb_channels > 0)
        av_channel_layout_copy(&heard, &layout);
    else
        av_channel_layout_default(&heard, std::max(layout.nb_channels, 1));
    return heard;
}

} // namespace

SoundLayout::SoundLayout(const AVChannelLayout &layout)
    : m_channels(std::max(layout.nb_channels, 1)),
      m_stated(layout.order != AV_CHANNEL_ORDER_UNSPEC && layout.nb_channels > 0)
{
    AVChannelLayout heard = heardLayout(layout);
    if (heard.order != AV_CHANNEL_ORDER_UNSPEC) {
        char text[256] = {};
        if (av_channel_layout_describe(&heard, text, sizeof text) > 0)
            m_name = QString::fromLatin1(text);
    }
    av_channel_layout_uninit(&heard);
}

QString SoundLayout::ffmpegCountMix() const
{
    if (!mixedByCount())
        return {};
    const QString gain = QString::number(countGain(), 'g', 17);
    QString sum;
    for (int c = 0; c < m_channels; ++c)
        sum += (c ? QStringLiteral("+") : QString()) + gain + QStringLiteral("*c") + QString::number(c);
    return QStringLiteral("pan=stereo|c0=%1|c1=%1").arg(sum);
}

std::optional<QString> SoundLayout::unmixableReason() const
{
    if (m_channels <= mostChannels)
        return std::nullopt;
    return QCoreApplication::translate("SoundLayout", "%1 channels, more than the %2 that can be mixed")
        .arg(m_channels)
        .arg(mostChannels);
}

SwrContext *makeSoundMixer(const AVChannelLayout &layout, int inFormat, int inRate, int outChannels, int outFormat,
                           int outRate)
{
    const SoundLayout sound(layout);
    if (sound.unmixableReason())
        return nullptr;
    AVChannelLayout in = heardLayout(layout);
    AVChannelLayout out{};
    av_channel_layout_default(&out, std::max(outChannels, 1));
    SwrContext *mixer = nullptr;
    int made = swr_alloc_set_opts2(&mixer, &out, AVSampleFormat(outFormat), outRate, &in, AVSampleFormat(inFormat),
                                   inRate, 0, nullptr);
    if (made >= 0 && sound.mixedByCount()) {
        // libswresample knows no places for these channels: every one goes everywhere.
        const std::vector<double> matrix(std::size_t(out.nb_channels) * std::size_t(sound.channels()),
                                         sound.countGain());
        made = swr_set_matrix(mixer, matrix.data(), sound.channels());
    }
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (made < 0 || swr_init(mixer) < 0) {
        swr_free(&mixer);
        return nullptr;
    }
    return mixer;
}

} // namespace routereel
