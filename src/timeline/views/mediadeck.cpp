#include "mediadeck.h"

#include <QAudioOutput>
#include <QThread>
#include <QVideoSink>

namespace routereel {

namespace {

// How far past its last report a playing deck's position is carried on: its
// reports come with each picture, so only a stall reaches this.
constexpr qint64 longestGuessMs = 250;

} // namespace

// The media player and everything that calls into it, on the deck's thread.
class MediaDeck::Worker : public QObject {
public:
    Worker(MediaDeck *deck, const QAudioDevice &audio)
        : m_deck(deck)
        , m_audioDevice(audio)
    {
    }

    ~Worker() override
    {
        if (!m_player)
            return;
        m_player->disconnect(this);
        m_sink->disconnect(this);
        m_player->stop();
        delete m_player;
        delete m_sink;
        delete m_audio;
    }

    // Made here, so that the media player and its sink belong to this thread.
    void start()
    {
        m_player = new QMediaPlayer;
        m_sink = new QVideoSink;
        m_player->setVideoSink(m_sink);
        // Without any audio device GStreamer's automatic sink falls back to a silent
        // one that keeps time, so playback never waits for sound.
        m_audio = new QAudioOutput(m_audioDevice);
        m_player->setAudioOutput(m_audio);
        connect(m_sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame &frame) {
            m_state.position = m_player->position();
            publish();
            QMetaObject::invokeMethod(m_deck, [deck = m_deck, frame, done = m_state.commandsDone, ms = m_seekMs] {
                deck->handOver(frame, done, ms);
            }, Qt::QueuedConnection);
        });
        const auto read = [this] { this->read(); };
        connect(m_player, &QMediaPlayer::mediaStatusChanged, this, read);
        connect(m_player, &QMediaPlayer::seekableChanged, this, read);
        connect(m_player, &QMediaPlayer::durationChanged, this, read);
        connect(m_player, &QMediaPlayer::hasVideoChanged, this, read);
        connect(m_player, &QMediaPlayer::playbackStateChanged, this, read);
        connect(m_player, &QMediaPlayer::positionChanged, this, read);
        connect(m_player, &QMediaPlayer::errorOccurred, this, read);
    }

    void setSource(const QUrl &url)
    {
        m_seekMs = -1;
        m_player->setSource(url);
    }

    void setPosition(qint64 ms, bool offWhereItStands)
    {
        while (offWhereItStands && ms == m_player->position())
            ++ms;
        m_seekMs = ms;
        m_player->setPosition(ms);
    }

    QMediaPlayer *player() const { return m_player; }

    void done()
    {
        ++m_state.commandsDone;
        read();
    }

private:
    void read()
    {
        m_state.source = m_player->source();
        m_state.status = m_player->mediaStatus();
        m_state.seekable = m_player->isSeekable();
        m_state.hasVideo = m_player->hasVideo();
        m_state.duration = m_player->duration();
        m_state.position = m_player->position();
        m_state.playing = m_player->playbackState() == QMediaPlayer::PlayingState;
        m_state.error = m_player->error();
        m_state.errorString = m_player->errorString();
        publish();
    }

    void publish()
    {
        QMetaObject::invokeMethod(m_deck, [deck = m_deck, state = m_state] { deck->report(state); },
                                  Qt::QueuedConnection);
    }

    MediaDeck *m_deck;
    QAudioDevice m_audioDevice;
    QMediaPlayer *m_player = nullptr;
    QVideoSink *m_sink = nullptr;
    QAudioOutput *m_audio = nullptr;
    State m_state;
    qint64 m_seekMs = -1;
};

MediaDeck::MediaDeck(QThread *thread, const QAudioDevice &audio, QObject *parent)
    : QObject(parent)
    , m_worker(new Worker(this, audio))
{
    m_worker->moveToThread(thread);
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->start(); }, Qt::QueuedConnection);
    m_stateAge.start();
}

MediaDeck::~MediaDeck()
{
    // Stopped and deleted on its own thread; nothing it posts reaches this deck after.
    if (m_worker->thread()->isRunning())
        QMetaObject::invokeMethod(m_worker, [w = m_worker] { delete w; }, Qt::BlockingQueuedConnection);
    else
        delete m_worker;
}

void MediaDeck::command(std::function<void(Worker &)> work)
{
    ++m_given;
    QMetaObject::invokeMethod(m_worker, [w = m_worker, work = std::move(work)] {
        work(*w);
        w->done();
    }, Qt::QueuedConnection);
}

void MediaDeck::handOver(const QVideoFrame &frame, quint64 commandsDone, qint64 seekMs)
{
    if (commandsDone >= m_sourceCommand) // not a picture of the clip before
        emit videoFrameChanged(frame, commandsDone, seekMs);
}

void MediaDeck::setSource(const QUrl &url)
{
    m_source = url;
    m_sourceCommand = m_given + 1;
    // As the media player itself tells at once.
    m_state = State{};
    m_state.source = url;
    m_state.status = url.isEmpty() ? QMediaPlayer::NoMedia : QMediaPlayer::LoadingMedia;
    m_stateAge.restart();
    command([url](Worker &w) { w.setSource(url); });
}

void MediaDeck::setPosition(qint64 ms, bool offWhereItStands)
{
    m_state.position = ms;
    m_stateAge.restart();
    if (m_state.status == QMediaPlayer::EndOfMedia)
        m_state.status = QMediaPlayer::BufferedMedia;
    command([ms, offWhereItStands](Worker &w) { w.setPosition(ms, offWhereItStands); });
}

void MediaDeck::play()
{
    m_state.position = position();
    m_state.playing = true;
    m_stateAge.restart();
    command([](Worker &w) { w.player()->play(); });
}

void MediaDeck::pause()
{
    m_state.position = position();
    m_state.playing = false;
    m_stateAge.restart();
    command([](Worker &w) { w.player()->pause(); });
}

qint64 MediaDeck::position() const
{
    if (!m_state.playing || m_state.status == QMediaPlayer::EndOfMedia)
        return m_state.position;
    const qint64 guessed = m_state.position + std::min(m_stateAge.elapsed(), longestGuessMs);
    return m_state.duration > 0 ? std::min(guessed, m_state.duration) : guessed;
}

// Reports from before a command given since are left out: the command has changed
// what they tell, and its own report follows.
void MediaDeck::report(const State &state)
{
    if (state.source != m_source || state.commandsDone != m_given)
        return;
    const State was = m_state;
    m_state = state;
    m_stateAge.restart();
    if (state.status != was.status)
        emit mediaStatusChanged();
    if (state.seekable != was.seekable)
        emit seekableChanged();
    if (state.error != QMediaPlayer::NoError && (state.error != was.error || state.errorString != was.errorString))
        emit errorOccurred();
}

} // namespace routereel
