#include "clipdeck.h"

#include "media/clipdecoder.h"
#include "media/pictureconverter.h"
#include "media/videoreaderror.h"
#include "media/videotimelineerror.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <utility>

namespace routereel {

namespace {

// Pictures decoded ahead while playing: enough to ride out a slow picture, few
// enough that a 4K clip's queue stays small (they are converted to the view's size).
constexpr std::size_t queueLength = 6;
// A late picture is still converted when none was for this long, so that a clip
// decoding slower than real time still moves rather than standing still.
constexpr qint64 mostWithoutPictureMs = 80;
// While a scrub decodes far to its picture, one it passes is shown this often.
constexpr qint64 passingPictureMs = 120;
// Between two tries at a file that keeps refusing reads (a share away): each try
// already waits out its own retries.
constexpr auto refusedAgainPause = std::chrono::milliseconds(150);
// How long an open the disk refuses is tried again before it counts as failed.
constexpr qint64 mostRefusedOpenMs = 30'000;

} // namespace

ClipDeck::ClipDeck(QObject *parent)
    : QObject(parent)
{
    static const int registered = qRegisterMetaType<DeckPicture>();
    Q_UNUSED(registered);
    m_thread = std::thread([this] { run(); });
}

ClipDeck::~ClipDeck()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_interrupt = true;
    m_wake.notify_all();
    m_thread.join();
}

// Called with m_mutex held, after a new job was set: the worker clears the flag under
// the same lock as it takes a job, so a raised flag always means a newer job waits.
void ClipDeck::interrupt()
{
    m_interrupt.store(true);
}

void ClipDeck::open(const QString &path, bool reopen)
{
    if (path == m_path && !reopen)
        return;
    m_path = path;
    m_open = false;
    m_length = 0;
    {
        std::lock_guard lock(m_mutex);
        m_toOpen = path;
        m_job.reset();
        m_queue.clear();
        m_current = 0;
        interrupt();
    }
    m_wake.notify_all();
}

quint64 ClipDeck::show(double seconds, bool passing)
{
    const quint64 request = ++m_requests;
    {
        std::lock_guard lock(m_mutex);
        m_job = Job{Mode::show, seconds, request, passing};
        // A scrub lets the picture being decoded finish, and goes on from there to the
        // newest time asked: cancelled every few milliseconds, a slow seek would never
        // show anything while the drag lasts.
        if (!(passing && m_showing))
            interrupt();
        else
            m_passingWanted.store(true); // and the one being decoded shows its way too
    }
    m_wake.notify_all();
    return request;
}

quint64 ClipDeck::play(double seconds)
{
    const quint64 request = ++m_requests;
    {
        std::lock_guard lock(m_mutex);
        m_job = Job{Mode::play, seconds, request};
        m_queue.clear();
        interrupt();
    }
    m_wake.notify_all();
    return request;
}

void ClipDeck::halt()
{
    {
        std::lock_guard lock(m_mutex);
        m_job = Job{Mode::idle, 0, ++m_requests};
        m_queue.clear();
        interrupt();
    }
    m_wake.notify_all();
}

void ClipDeck::setBound(QSize bound)
{
    std::lock_guard lock(m_mutex);
    m_bound = bound;
}

std::optional<DeckPicture> ClipDeck::take(quint64 request, double seconds)
{
    std::optional<DeckPicture> found;
    {
        std::lock_guard lock(m_mutex);
        if (m_current != request)
            return std::nullopt;
        // The first picture is the one on screen where the request began, even where
        // that lies before the clip's first picture.
        while (!m_queue.empty() && (!m_taken || m_queue.front().start <= seconds + 1e-7)) {
            found = std::move(m_queue.front());
            m_queue.pop_front();
            m_taken = true;
        }
    }
    if (found)
        m_wake.notify_all(); // room in the queue
    return found;
}

bool ClipDeck::playedOut(quint64 request) const
{
    std::lock_guard lock(m_mutex);
    return m_current == request && m_atEnd && m_queue.empty();
}

void ClipDeck::run()
{
    std::unique_ptr<ClipDecoder> decoder;
    PictureConverter converter;
    Job job;
    QString fileName;
    bool begun = false; // the play job has found its first picture
    bool toldFault = false; // the job has told a refused read
    int faultsInARow = 0;
    std::optional<QString> reopen; // refused by the disk: opened again after a pause
    QString refusedPath;
    QElapsedTimer refusedSince;
    QElapsedTimer sinceQueued;
    const auto convert = [&](const DecodedPicture &picture, QSize bound) {
        return converter.convert(picture.frame.get(), bound, decoder->rotation(), decoder->pixelAspect());
    };

    while (true) {
        QSize bound;
        {
            std::unique_lock lock(m_mutex);
            // Requests wait meanwhile, for the file they are for.
            if (reopen && !m_stop && !m_toOpen
                && !m_wake.wait_for(lock, refusedAgainPause, [&] { return m_stop || m_toOpen.has_value(); }))
                m_toOpen = *reopen;
            reopen.reset();
            m_wake.wait(lock, [&] {
                return m_stop || m_toOpen || m_job
                    || (job.mode == Mode::play && decoder && !m_atEnd && m_queue.size() < queueLength);
            });
            if (m_stop)
                return;
            m_interrupt.store(false);
            if (m_toOpen) {
                const QString path = *m_toOpen;
                m_toOpen.reset();
                job = {};
                lock.unlock();
                decoder.reset();
                fileName = QFileInfo(path).fileName();
                QString error;
                try {
                    decoder = std::make_unique<ClipDecoder>(path);
                } catch (const VideoReadError &e) {
                    error = e.message();
                    if (e.refused()) {
                        const bool first = path != refusedPath || !refusedSince.isValid();
                        if (first) {
                            refusedPath = path;
                            refusedSince.start();
                        }
                        if (refusedSince.elapsed() < mostRefusedOpenMs) {
                            reopen = path;
                            if (first)
                                QMetaObject::invokeMethod(this, [this, path, error] { emit openRefused(path, error); },
                                                          Qt::QueuedConnection);
                            continue;
                        }
                    }
                } catch (const VideoTimelineError &) {
                    // No picture in it: the load error's own title says so.
                }
                refusedSince.invalidate();
                const double length = decoder ? decoder->length() : 0;
                const bool ok = decoder != nullptr;
                QMetaObject::invokeMethod(this, [this, path, ok, length, error] {
                    if (path != m_path)
                        return;
                    m_open = ok;
                    m_length = length;
                    emit opened(path, ok, error);
                }, Qt::QueuedConnection);
                continue;
            }
            if (m_job) {
                job = *m_job;
                m_job.reset();
                m_showing = job.mode == Mode::show;
                m_passingWanted.store(false);
                m_current = job.request;
                m_atEnd = false;
                m_taken = false;
                begun = false;
                toldFault = false;
                faultsInARow = 0;
                if (job.mode != Mode::play)
                    m_queue.clear();
            }
            bound = m_bound;
        }
        if (!decoder || job.mode == Mode::idle) {
            job.mode = Mode::idle;
            continue;
        }

        if (job.mode == Mode::show) {
            const quint64 request = job.request;
            QElapsedTimer sincePassing;
            sincePassing.start();
            const auto passing = [&](const DecodedPicture &picture) {
                m_decoded.fetch_add(1, std::memory_order_relaxed);
                if (!(job.passing || m_passingWanted.load()) || sincePassing.elapsed() < passingPictureMs)
                    return;
                sincePassing.restart();
                DeckPicture shown{picture.start, picture.end, convert(picture, bound)};
                QMetaObject::invokeMethod(this, [this, request, shown] { emit this->shown(request, shown, false); },
                                          Qt::QueuedConnection);
            };
            std::optional<DecodedPicture> picture =
                decoder->pictureAt(job.seconds, &m_interrupt, passing);
            {
                std::lock_guard lock(m_mutex);
                m_showing = false;
            }
            if (m_interrupt.load())
                continue; // superseded: the newer request is waiting
            job.mode = Mode::idle;
            if (!picture && decoder->readFault()) {
                const QString message = VideoReadError::skippedPartMessage(fileName, decoder->readFault()->reason);
                QMetaObject::invokeMethod(this, [this, request, message] { emit readFailed(request, message); },
                                          Qt::QueuedConnection);
                continue;
            }
            if (!picture) {
                QMetaObject::invokeMethod(this, [this, request] { emit unreadable(request); }, Qt::QueuedConnection);
                continue;
            }
            m_decoded.fetch_add(1, std::memory_order_relaxed);
            DeckPicture shown{picture->start, picture->end, convert(*picture, bound)};
            QMetaObject::invokeMethod(this, [this, request, shown] { emit this->shown(request, shown, true); },
                                      Qt::QueuedConnection);
            continue;
        }

        // Playing: one picture a round, so that a new request is seen between pictures.
        // A request kept waiting (its file refused for a while) starts where the clock is now.
        std::optional<DecodedPicture> picture =
            begun ? decoder->next(&m_interrupt)
                  : decoder->pictureAt(std::max(job.seconds, m_clock.load(std::memory_order_relaxed)), &m_interrupt);
        if (m_interrupt.load())
            continue;
        if (!picture && decoder->readFault()) {
            const ClipDecoder::ReadFault fault = *decoder->readFault();
            const quint64 request = job.request;
            if (!std::exchange(toldFault, true)) {
                const QString message = VideoReadError::skippedPartMessage(fileName, fault.reason);
                QMetaObject::invokeMethod(this, [this, request, message] { emit readFailed(request, message); },
                                          Qt::QueuedConnection);
            }
            std::unique_lock lock(m_mutex);
            // The clock runs on over what cannot be read: what comes after it shows at
            // its own time, never early.
            if (m_current == request)
                m_taken = true;
            if (++faultsInARow > 1
                && m_wake.wait_for(lock, refusedAgainPause, [&] { return m_stop || m_toOpen || m_job; }))
                continue;
            lock.unlock();
            // On from the next keyframe past the stretch; where the clock has passed
            // it (the file refused for longer), from the picture at the clock.
            begun = true;
            const double clock = m_clock.load(std::memory_order_relaxed);
            if (clock > fault.after)
                decoder->seek(clock);
            else if (!decoder->resumeAfter(fault.after)) {
                lock.lock();
                if (m_current == request)
                    m_atEnd = true;
            }
            continue;
        }
        if (!picture) {
            std::lock_guard lock(m_mutex);
            if (m_current == job.request)
                m_atEnd = true;
            if (!begun) {
                const quint64 request = job.request;
                QMetaObject::invokeMethod(this, [this, request] { emit unreadable(request); }, Qt::QueuedConnection);
            }
            continue;
        }
        faultsInARow = 0;
        m_decoded.fetch_add(1, std::memory_order_relaxed);
        const bool first = !begun;
        begun = true;
        const bool late = picture->end <= m_clock.load(std::memory_order_relaxed);
        if (late && !first && sinceQueued.isValid() && sinceQueued.elapsed() < mostWithoutPictureMs)
            continue;
        DeckPicture queued{picture->start, picture->end, convert(*picture, bound)};
        sinceQueued.start();
        const quint64 request = job.request;
        {
            std::lock_guard lock(m_mutex);
            if (m_current != request || m_job)
                continue;
            m_queue.push_back(std::move(queued));
        }
        QMetaObject::invokeMethod(this, [this, request] { emit this->queued(request); }, Qt::QueuedConnection);
    }
}

} // namespace routereel
