#include "previewsound.h"

#include "sounddecoder.h"
#include "sounddevice.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace routereel {

namespace {

constexpr int rate = 48000; // the server converts to its sink's
constexpr int channels = 2;

} // namespace

PreviewSound::PreviewSound(QObject *parent)
    : QObject(parent)
{
    m_decoder = std::make_unique<SoundDecoder>(rate, channels, [this](const QString &message) {
        QMetaObject::invokeMethod(this, [this, message] { emit readFailed(message); }, Qt::QueuedConnection);
    });
    // The device's thread pulls; the decoder outlives the device.
    m_device = new SoundDevice(rate, channels, [this](float *out, qint64 frames) { return m_decoder->pull(out, frames); },
                               this);
    connect(m_device, &SoundDevice::availableChanged, this, &PreviewSound::deviceChanged);
    connect(m_device, &SoundDevice::renewed, this, &PreviewSound::deviceRenewed);
    connect(m_device, &SoundDevice::stoppedAfter, this, [this](quint64 stop, double seconds) {
        if (stop != m_stop)
            return;
        if (!m_playing) {
            emit stoppedAt(m_startTime + seconds);
        } else if (m_startAfterStop && stop == m_awaitedStop) {
            const double t = *std::exchange(m_startAfterStop, std::nullopt);
            startNow(std::isfinite(seconds) ? std::max(t, m_startTime + seconds) : t);
        }
    });
}

PreviewSound::~PreviewSound()
{
    delete m_device; // no pull after this
    m_device = nullptr;
    m_decoder.reset();
}

void PreviewSound::setPieces(std::vector<SoundPiece> pieces)
{
    m_decoder->setPieces(std::move(pieces));
}

// A server whose graph holds the next cycles plays them after the stop: starting
// before their end would play them twice.
constexpr int stopAnswerMs = 1000; // a server that has not told by then does not answer

void PreviewSound::start(double timelineSeconds)
{
    ++m_starts;
    if (m_startAfterStop) {
        m_startAfterStop = timelineSeconds; // still waiting for the same stop
        return;
    }
    if (m_playing) {
        m_stop = m_device->stop();
        if (m_device->tellsStop()) {
            m_decoder->halt();
            m_startAfterStop = timelineSeconds;
            m_awaitedStop = m_stop;
            QTimer::singleShot(stopAnswerMs, this, [this, stop = m_stop] {
                if (m_startAfterStop && m_awaitedStop == stop && m_playing)
                    startNow(*std::exchange(m_startAfterStop, std::nullopt));
            });
            return;
        }
    }
    startNow(timelineSeconds);
}

void PreviewSound::startNow(double timelineSeconds)
{
    m_device->stop();
    m_playing = true;
    m_startTime = timelineSeconds;
    m_sinceStart.start();
    m_decoder->restart(timelineSeconds, m_device->isAvailable()); // nothing decoded for no one
    m_device->start();
}

bool PreviewSound::stop()
{
    m_playing = false;
    // Stopped already, not started again yet: that stop tells where the sound ended.
    if (std::exchange(m_startAfterStop, std::nullopt))
        return true;
    m_stop = m_device->stop();
    m_decoder->halt();
    return m_device->tellsStop();
}

void PreviewSound::finish()
{
    m_playing = false;
    m_startAfterStop.reset();
    m_stop = m_device->finish();
}

bool PreviewSound::hasOutput() const
{
    return m_device->isAvailable();
}

double PreviewSound::startSeconds() const
{
    // Beside the device's latency: the first chunk's decode and a server's period.
    // A server that reports more than any real output has must not hold the picture longer.
    constexpr double margin = 0.25;
    constexpr double longest = 3.0;
    return m_device->isAvailable() ? std::min(m_device->latencySeconds() + margin, longest) : 0;
}

qint64 PreviewSound::framesPlayed() const
{
    return m_device->framesTaken();
}

void PreviewSound::deviceChanged(bool available)
{
    if (available && m_playing)
        resume();
}

void PreviewSound::deviceRenewed()
{
    if (m_playing)
        resume();
}

// Started once, where the clock is: the wall clock since the last start is no
// guide (the clock waited for the first sound meanwhile), and a server catching up
// after a stand plays at once what a first start hands it.
void PreviewSound::resume()
{
    const quint64 starts = m_starts;
    emit resumed();
    if (m_playing && m_starts == starts)
        start(m_startTime + double(m_sinceStart.nsecsElapsed()) / 1e9);
}

std::optional<double> PreviewSound::playedTime() const
{
    if (!m_playing)
        return std::nullopt;
    const std::optional<double> heard = m_device->heardSeconds();
    if (!heard || m_decoder->ranOut(*heard * rate))
        return std::nullopt;
    return m_startTime + *heard;
}

} // namespace routereel
