#pragma once

#include <QString>

#include <algorithm>
#include <optional>

struct AVChannelLayout;
struct SwrContext;

namespace routereel {

// Where the channels of a sound stream are heard, the same in the preview and
// the export: at the places its layout states; a stream that states none at
// libav's usual places for its count (as ffmpeg guesses them); and where libav
// has no usual layout for the count (9 to 15, 17 to 23, 25 and more channels),
// every channel alike in every output channel, so that none of it is lost.
class SoundLayout {
public:
    // libswresample and ffmpeg's pan filter mix at most this many channels.
    static constexpr int mostChannels = 64;

    SoundLayout() = default;
    explicit SoundLayout(const AVChannelLayout &layout);

    int channels() const { return m_channels; }
    // The stream says where its channels go.
    bool stated() const { return m_stated; }
    // libav's text of the layout heard ("5.1", "hexadecagonal"); empty when mixed by count.
    QString name() const { return m_name; }
    bool mixedByCount() const { return m_channels > 0 && m_name.isEmpty(); }
    // Made from a stream's layout (not a default-constructed one).
    bool known() const { return m_channels > 0; }
    // The share of each channel in every output channel of a mix by count: together
    // they never exceed full scale.
    double countGain() const { return 1.0 / std::max(m_channels, 1); }

    // ffmpeg's filter that mixes this stream by count to stereo as the preview does;
    // empty when it is not mixed by count.
    QString ffmpegCountMix() const;

    // Why this layout cannot be mixed to stereo, in the words both roads use; none
    // when it can.
    std::optional<QString> unmixableReason() const;

    bool operator==(const SoundLayout &) const = default;

private:
    int m_channels = 0;
    bool m_stated = false;
    QString m_name;
};

// A resampler from sound of `layout` to `outChannels` at libav's usual places,
// mixed as SoundLayout says; null when it cannot be made (too many channels).
SwrContext *makeSoundMixer(const AVChannelLayout &layout, int inFormat, int inRate, int outChannels, int outFormat,
                           int outRate);

} // namespace routereel
