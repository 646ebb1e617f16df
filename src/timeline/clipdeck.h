#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace routereel {

// A picture of a deck's clip as the preview paints it.
struct DeckPicture {
    double start = 0; // source seconds, from the container's start time
    double end = 0;
    QImage image;     // upright, no larger than the deck's bound
};

// Decodes one clip at a time for the preview on a thread of its own, so that the
// window never waits on a file: the picture on screen at a time (paused, scrubbing),
// or the pictures from a time on into a small queue (playing). Each request
// supersedes the one before: a deck is never busy with a time nobody wants any more.
class ClipDeck : public QObject {
    Q_OBJECT

public:
    explicit ClipDeck(QObject *parent = nullptr);
    // Returns promptly: decoding stops between two pictures.
    ~ClipDeck() override;

    // Opens `path` unless it is open already (`reopen`: the file was replaced); `opened` follows.
    void open(const QString &path, bool reopen = false);
    QString path() const { return m_path; }
    // The clip is open and its length known.
    bool isOpen() const { return m_open; }
    double length() const { return m_length; }

    // The picture on screen at source second `seconds` comes as `shown`. `passing`
    // (a scrub): the picture being decoded for an earlier request is let finish and
    // comes too, and while decoding takes long, pictures passed on the way come, not
    // as final.
    quint64 show(double seconds, bool passing = false);
    // Decodes ahead from the picture on screen at `seconds`, for `take`.
    quint64 play(double seconds);
    // No more decoding; the queue is emptied.
    void halt();

    // Pictures are converted no larger than this (empty: as displayed).
    void setBound(QSize bound);
    // Where the player's clock stands on this clip (source seconds): playing, pictures
    // already past are not converted while it keeps up.
    void setClock(double seconds) { m_clock.store(seconds, std::memory_order_relaxed); }

    // Playing `request`: the newest queued picture starting at or before `seconds`,
    // with the ones before it dropped; none while the first is still to come.
    std::optional<DeckPicture> take(quint64 request, double seconds);
    // Whether `request` has decoded up to the clip's end with nothing left queued.
    bool playedOut(quint64 request) const;
    // Pictures decoded, converted or not, since the deck was made.
    quint64 decoded() const { return m_decoded.load(std::memory_order_relaxed); }

signals:
    // `error`: why libav cannot read it; empty for a file without a picture.
    void opened(const QString &path, bool ok, const QString &error);
    void shown(quint64 request, const routereel::DeckPicture &picture, bool final);
    // A picture of `request` was queued.
    void queued(quint64 request);
    // `request` found no picture it could decode in the whole clip (damaged media data).
    void unreadable(quint64 request);
    // The file refused a read for `request` (told once a request): paused, there is no
    // picture; playing, the deck reads on from the next keyframe it can read past the
    // stretch and the clock, trying again while the file keeps refusing.
    void readFailed(quint64 request, const QString &message);
    // The disk refused to open `path` (a share not answering): the deck tries again
    // for a while, its requests waiting, before `opened` tells a failure.
    void openRefused(const QString &path, const QString &message);

private:
    enum class Mode { idle, show, play };
    struct Job {
        Mode mode = Mode::idle;
        double seconds = 0;
        quint64 request = 0;
        bool passing = false;
    };
    void run();
    void interrupt();

    // On the window's thread.
    QString m_path;
    bool m_open = false;
    double m_length = 0;
    quint64 m_requests = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<QString> m_toOpen;
    std::optional<Job> m_job;          // the newest request, not begun
    quint64 m_current = 0;             // the request being carried out
    std::deque<DeckPicture> m_queue;   // of m_current, while playing
    bool m_atEnd = false;              // m_current decoded to the clip's end
    bool m_taken = false;              // a picture of m_current was taken
    bool m_showing = false;            // a show job is being decoded
    QSize m_bound;
    bool m_stop = false;
    std::atomic<bool> m_interrupt{false};
    std::atomic<bool> m_passingWanted{false}; // a scrub came while a show job is decoded
    std::atomic<double> m_clock{0};
    std::atomic<quint64> m_decoded{0};
    std::thread m_thread;
};

} // namespace routereel

Q_DECLARE_METATYPE(routereel::DeckPicture)
