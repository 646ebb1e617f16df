#pragma once

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QObject>
#include <QUrl>
#include <QVideoFrame>

class QThread;

namespace routereel {

// A QMediaPlayer that lives on a thread of its own. Qt's GStreamer calls (a new
// source, a seek, a pause) wait on the pipeline, and on a busy machine hold their
// thread for over 100 ms; and a picture is handed over to the sink's thread while
// the decoder waits. Here that thread is the deck's, never the window's.
//
// Commands are carried out on the deck's thread in the order given; what it tells
// is the media player's state as last reported, or as the commands given since
// make it (a new source is loading, a seek stands where it was sent).
class MediaDeck : public QObject {
    Q_OBJECT

public:
    MediaDeck(QThread *thread, const QAudioDevice &audio, QObject *parent = nullptr);
    ~MediaDeck() override;

    void setSource(const QUrl &url);
    // A paused media player drops a seek to where it stands, and no picture would
    // come: with `offWhereItStands` the seek goes a millisecond on (the same frame).
    void setPosition(qint64 ms, bool offWhereItStands);
    void play();
    void pause();

    QUrl source() const { return m_source; }
    QMediaPlayer::MediaStatus mediaStatus() const { return m_state.status; }
    bool isSeekable() const { return m_state.seekable; }
    bool hasVideo() const { return m_state.hasVideo; }
    qint64 duration() const { return m_state.duration; }
    // While playing, on from the last report by the time passed since.
    qint64 position() const;
    QMediaPlayer::Error error() const { return m_state.error; }
    QString errorString() const { return m_state.errorString; }
    // Commands given so far; each picture tells how many had been carried out when
    // it was handed over.
    quint64 commandsGiven() const { return m_given; }

signals:
    void mediaStatusChanged();
    void seekableChanged();
    void errorOccurred();
    // `commandsDone`: the commands carried out before the picture was handed over;
    // `seekMs`: the position the newest of those seeks was sent to, -1 before any.
    void videoFrameChanged(const QVideoFrame &frame, quint64 commandsDone, qint64 seekMs);

public:
    struct State {
        QUrl source;
        QMediaPlayer::MediaStatus status = QMediaPlayer::NoMedia;
        bool seekable = false;
        bool hasVideo = false;
        qint64 duration = 0;
        qint64 position = 0;
        bool playing = false;
        QMediaPlayer::Error error = QMediaPlayer::NoError;
        QString errorString;
        quint64 commandsDone = 0;
    };

private:
    class Worker;
    void report(const State &state);
    void handOver(const QVideoFrame &frame, quint64 commandsDone, qint64 seekMs);
    void command(std::function<void(Worker &)> work);

    Worker *m_worker = nullptr; // lives on the deck's thread
    QUrl m_source;
    State m_state;
    QElapsedTimer m_stateAge;   // since m_state.position was last set
    quint64 m_given = 0;
    quint64 m_sourceCommand = 0; // the command that set the present source
};

} // namespace routereel
