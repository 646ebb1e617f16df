#include "timelineplayer.h"

#include "timeline/previewsound.h"

#include "media/videotimelineerror.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace routereel {

namespace {

constexpr int tickMilliseconds = 16; // ~1/60 s
// A server that has not told where the sound stopped by then does not answer.
constexpr qint64 cutSoundWaitMs = 1000;

} // namespace

TimelinePlayer::TimelinePlayer(QObject *parent)
    : PreviewPlayer(parent)
{
    for (int i = 0; i < int(m_decks.size()); ++i) {
        ClipDeck *clip = new ClipDeck(this);
        m_decks[i].clip = clip;
        connect(clip, &ClipDeck::opened, this,
                [this, i](const QString &path, bool ok, const QString &error) { deckOpened(i, path, ok, error); });
        connect(clip, &ClipDeck::shown, this, [this, i](quint64 request, const DeckPicture &picture, bool final) {
            deckShown(i, request, picture, final);
        });
        connect(clip, &ClipDeck::queued, this, [this, i](quint64 request) { deckQueued(i, request); });
        connect(clip, &ClipDeck::unreadable, this, [this, i](quint64 request) { deckUnreadable(i, request); });
        connect(clip, &ClipDeck::readFailed, this,
                [this, i](quint64 request, const QString &message) { deckReadFailed(i, request, message); });
        connect(clip, &ClipDeck::openRefused, this,
                [this, i](const QString &path, const QString &message) { deckOpenRefused(i, path, message); });
    }
    m_sound = new PreviewSound(this);
    connect(m_sound, &PreviewSound::readFailed, this, &PreviewPlayer::soundFailed);
    connect(m_sound, &PreviewSound::resumed, this, [this] { m_clock.soundResumed(); });
    connect(m_sound, &PreviewSound::stoppedAt, this, [this](double time) {
        if (m_cutSound.awaited)
            cutSoundEnded(time);
        else
            soundStoppedAt(time);
    });
    m_clock.setSound([this] { return m_sound->playedTime(); }, [this](double t) { m_sound->start(t); },
                     [this] { return m_sound->startSeconds(); });
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(tickMilliseconds);
    connect(&m_tick, &QTimer::timeout, this, &TimelinePlayer::tick);
}

TimelinePlayer::~TimelinePlayer()
{
    m_seekCompletion = nullptr;
    // Each deck stops between two pictures and joins its thread.
    for (Deck &deck : m_decks) {
        deck.clip->disconnect(this);
        delete deck.clip;
        deck.clip = nullptr;
    }
}

quint64 TimelinePlayer::framesDecoded() const
{
    quint64 sum = 0;
    for (const Deck &deck : m_decks)
        sum += deck.clip->decoded();
    return sum;
}

void TimelinePlayer::setDisplaySize(QSize pixels)
{
    if (pixels == m_displaySize)
        return;
    m_displaySize = pixels;
    for (Deck &deck : m_decks)
        deck.clip->setBound(pixels);
    // Paused, the picture on screen was converted for the old size and would be
    // stretched until the next seek; playing, the next pictures come at the new one.
    if (!m_wantsToRun && m_item && m_index >= 0 && !m_spans[m_index].isGap() && m_status != ItemStatus::failed
        && m_decks[m_active].clip->isOpen())
        requestPicture();
}

PreviewPlayer::ItemId TimelinePlayer::replaceItem(std::optional<PreviewPlan> plan)
{
    m_restsWherePaused = false;
    finishSeek(false);
    setRunning(false);
    for (Deck &deck : m_decks) {
        deck.clip->halt();
        deck.request = 0;
        deck.span = -1;
        deck.playing = false;
    }
    m_spans.clear();
    m_index = -1;
    m_time = 0;
    m_awaitingPicture = false;
    m_status = ItemStatus::unknown;
    m_error.clear();
    m_framesShown = 0;
    m_toldRefused.clear();
    clearPicture();
    if (!plan) {
        m_item = 0;
        return m_item;
    }

    m_item = ++m_lastItem;
    m_renderSize = plan->renderSize;
    m_spans = previewSpans(*plan);
    updateSound();
    for (const PreviewSpan &span : m_spans) {
        if (span.isGap() || !m_changedClips.noticeReplacement(span.url))
            continue;
        for (Deck &deck : m_decks) {
            if (deck.clip->path() == span.path())
                deck.clip->open(span.path(), true);
        }
    }
    const auto firstClip = std::find_if(m_spans.begin(), m_spans.end(), [](const PreviewSpan &s) { return !s.isGap(); });
    if (firstClip == m_spans.end()) {
        const ItemId item = m_item;
        QMetaObject::invokeMethod(this, [this, item] {
            if (m_item == item && m_status == ItemStatus::unknown)
                setStatus(ItemStatus::readyToPlay);
        }, Qt::QueuedConnection);
        if (!m_spans.empty())
            enterSpan(0, 0);
        return m_item;
    }
    enterSpan(0, 0);
    prepareNext(); // a timeline that starts black has its first clip opened now
    // The first clip's readiness is the item's; one open already sends no new signal.
    for (int d = 0; d < int(m_decks.size()); ++d) {
        const ClipDeck *clip = m_decks[d].clip;
        if (clip->path() == firstClip->path() && clip->isOpen()) {
            const ItemId item = m_item;
            const QString path = clip->path();
            QMetaObject::invokeMethod(this, [this, item, d, path] {
                if (m_item == item && m_status == ItemStatus::unknown)
                    deckOpened(d, path, true, {});
            }, Qt::QueuedConnection);
            break;
        }
    }
    return m_item;
}

double TimelinePlayer::end() const
{
    return m_spans.empty() ? 0 : m_spans.back().end;
}

// The deck to show `path` on: one that has it open (the one prepared for the span
// first), else one other than `avoid`, which keeps the picture on screen meanwhile.
int TimelinePlayer::deckFor(const QString &path, int avoid)
{
    for (int d = 0; d < int(m_decks.size()); ++d) {
        if (m_decks[d].clip->path() == path && m_decks[d].span == m_index && m_decks[d].playing)
            return d;
    }
    for (int d = 0; d < int(m_decks.size()); ++d) {
        if (d != avoid && m_decks[d].clip->path() == path)
            return d;
    }
    const int d = avoid >= 0 ? 1 - avoid : 1 - m_active;
    m_decks[d].clip->open(path);
    m_decks[d].request = 0;
    m_decks[d].span = -1;
    m_decks[d].playing = false;
    return d;
}

void TimelinePlayer::enterSpan(int index, double time)
{
    m_index = index;
    m_time = time;
    const PreviewSpan &span = m_spans[index];
    if (span.isGap()) {
        m_awaitingPicture = false;
        clearPicture();
        finishSeek(true);
        if (isPlaying()) {
            m_cutWait.end();
            if (!m_clock.isRunning())
                startClock();
        }
        prepareNext();
        return;
    }
    if (m_changedClips.noticeReplacement(span.url)) {
        for (Deck &deck : m_decks) {
            if (deck.clip->path() == span.path()) {
                deck.clip->open(span.path(), true);
                deck.span = -1;
                deck.playing = false;
            }
        }
    }
    m_active = deckFor(span.path());
    requestPicture();
}

// Asks the active deck for the span's picture at m_time: decoded ahead from there
// while running, the one picture while paused.
void TimelinePlayer::requestPicture()
{
    Deck &deck = m_decks[m_active];
    const PreviewSpan &span = m_spans[m_index];
    const double source = span.sourceAt(m_time);
    if (deck.clip->isOpen() && !checkLength(span, source))
        return;
    if (!m_wantsToRun) {
        // One asked while the one before is still being decoded: a scrub, shown on the way.
        deck.request = deck.clip->show(source, m_awaitingPicture);
        deck.span = m_index;
        deck.playing = false;
        m_awaitingPicture = true;
        return;
    }
    m_awaitingPicture = false;
    const bool prepared = deck.playing && deck.span == m_index && std::fabs(m_time - span.start) < 1e-9;
    if (!prepared) {
        deck.clip->setClock(-std::numeric_limits<double>::infinity());
        deck.request = deck.clip->play(source);
        deck.span = m_index;
        deck.playing = true;
    }
    if (auto picture = deck.clip->take(deck.request, source)) {
        showPicture(*picture);
        m_cutWait.end();
        if (!m_clock.isRunning())
            startClock();
        finishSeek(true);
    } else if (deck.unreadable == deck.request) {
        failUnreadable(span); // found while it was readied
        return;
    } else if (deck.refused == deck.request) {
        // Its first pictures could not be read while it was readied: the clock runs
        // on, black rather than another piece's picture, and the deck's pictures from
        // past them show at their time.
        if (m_shown.span() != m_index)
            clearPicture();
        m_cutWait.end();
        if (!m_clock.isRunning())
            startClock();
        finishSeek(true);
    } else {
        // A cut reached while playing: the server plays on what it took of this span.
        const bool reached = m_clock.isRunning();
        const bool told = stopClock(m_time);
        m_cutSound = {};
        if (reached && told) {
            m_cutSound.awaited = true;
            m_cutSound.since.start();
        }
        m_cutWait.begin(deck.clip, deck.request, source);
    }
    prepareNext();
}

// Running, the next span's deck decodes its first pictures ahead.
void TimelinePlayer::prepareNext()
{
    if (!m_wantsToRun || m_index < 0 || m_index + 1 >= int(m_spans.size()))
        return;
    const int next = m_index + 1;
    const PreviewSpan &span = m_spans[next];
    if (span.isGap())
        return;
    const int d = m_spans[m_index].isGap() ? deckFor(span.path(), -1) : 1 - m_active;
    if (d == m_active && !m_spans[m_index].isGap())
        return;
    Deck &deck = m_decks[d];
    if (deck.playing && deck.span == next)
        return;
    deck.clip->open(span.path());
    deck.clip->setClock(-std::numeric_limits<double>::infinity());
    deck.request = deck.clip->play(span.sourceAt(span.start));
    deck.span = next;
    deck.playing = true;
}

bool TimelinePlayer::checkLength(const PreviewSpan &span, double sourceSeconds)
{
    if (!m_changedClips.isReplaced(span.url))
        return true;
    const double length = m_decks[m_active].clip->length();
    if (!ChangedClip::pastEnd(sourceSeconds, length))
        return true;
    failItem(ChangedClip::pastEndError(span.url, sourceSeconds, length));
    return false;
}

void TimelinePlayer::deckOpened(int d, const QString &path, bool ok, const QString &error)
{
    if (!m_item)
        return;
    if (!ok) {
        // Only a clip of this timeline fails it.
        if (std::any_of(m_spans.begin(), m_spans.end(), [&](const PreviewSpan &s) { return s.path() == path; }))
            failItem(ChangedClip::loadError(QUrl::fromLocalFile(path), error));
        return;
    }
    if (m_spans.size() == 1 && std::isinf(m_spans.front().end) && m_spans.front().path() == path) {
        // One file played as it is, its length unknown until now.
        PreviewSpan &whole = m_spans.front();
        whole.end = std::max(0.001, m_decks[d].clip->length());
        whole.lastInstant = std::max(0.0, whole.end - 1e-6);
        updateSound();
    }
    if (m_status == ItemStatus::unknown) {
        const auto first = std::find_if(m_spans.begin(), m_spans.end(), [](const PreviewSpan &s) { return !s.isGap(); });
        if (first != m_spans.end() && first->path() == path)
            setStatus(ItemStatus::readyToPlay);
    }
    if (d == m_active && m_index >= 0 && !m_spans[m_index].isGap() && m_spans[m_index].path() == path)
        checkLength(m_spans[m_index], m_spans[m_index].sourceAt(m_time));
}

void TimelinePlayer::deckShown(int d, quint64 request, const DeckPicture &picture, bool final)
{
    Deck &deck = m_decks[d];
    // A picture asked for a span the playhead has left (into a gap) comes too late.
    if (d != m_active || deck.playing || deck.span != m_index || m_status == ItemStatus::failed)
        return;
    if (request != deck.request) {
        // An earlier time of a scrub: shown on the way, the newest still to come.
        if (m_awaitingPicture && request >= deck.scrubShown)
            showPicture(picture);
        deck.scrubShown = std::max(deck.scrubShown, request);
        return;
    }
    showPicture(picture);
    if (final) {
        m_awaitingPicture = false;
        finishSeek(true);
    }
}

void TimelinePlayer::deckQueued(int d, quint64 request)
{
    if (d == m_active && m_cutWait.waitsFor(m_decks[d].clip, request))
        tick();
}

void TimelinePlayer::deckUnreadable(int d, quint64 request)
{
    Deck &deck = m_decks[d];
    if (request != deck.request || deck.span < 0 || deck.span >= int(m_spans.size()) || m_status == ItemStatus::failed)
        return;
    deck.unreadable = request;
    // The next piece's deck tells it early: the piece before plays on to the cut.
    if (d == m_active && deck.span == m_index)
        failUnreadable(m_spans[m_index]);
}

// A refused read is no end of the clip and no failure of the item: told once a
// clip, with the playhead running on over it while the deck reads on past it.
void TimelinePlayer::deckReadFailed(int d, quint64 request, const QString &message)
{
    Deck &deck = m_decks[d];
    if (request != deck.request || deck.span < 0 || deck.span >= int(m_spans.size()) || m_status == ItemStatus::failed)
        return;
    tellRefused(deck.clip->path(), message);
    runOnOverRefusal(d);
}

// The disk refused to open a clip; the deck tries again a while, its requests waiting.
void TimelinePlayer::deckOpenRefused(int d, const QString &path, const QString &message)
{
    Deck &deck = m_decks[d];
    if (!m_item || m_status == ItemStatus::failed || deck.clip->path() != path
        || std::none_of(m_spans.begin(), m_spans.end(), [&](const PreviewSpan &s) { return s.path() == path; }))
        return;
    tellRefused(path, message);
    if (deck.span >= 0 && deck.span < int(m_spans.size()))
        runOnOverRefusal(d);
}

void TimelinePlayer::tellRefused(const QString &path, const QString &message)
{
    if (m_toldRefused.insert(path).second)
        emit readFailed(message);
}

// The playhead does not wait on what the disk refuses: paused, the seek ends on
// black; playing, a cut waiting for the deck's first picture goes on without it.
void TimelinePlayer::runOnOverRefusal(int d)
{
    Deck &deck = m_decks[d];
    deck.refused = deck.request;
    if (d != m_active || deck.span != m_index)
        return; // the next piece's deck: its own time comes
    if (!deck.playing) {
        // Paused: no picture there, black rather than one of another moment.
        if (m_awaitingPicture) {
            m_awaitingPicture = false;
            clearPicture();
            finishSeek(true);
        }
        return;
    }
    if (m_cutWait.waitsFor(deck.clip, deck.request)) {
        if (m_shown.span() != m_index)
            clearPicture();
        m_cutWait.end();
        startClock();
        finishSeek(true);
    }
}

// A clip whose pictures cannot be decoded fails the item as one that cannot be
// opened does: nothing waits for a picture that never comes.
void TimelinePlayer::failUnreadable(const PreviewSpan &span)
{
    failItem(VideoTimelineError::invalidVideo(span.url.fileName()).message());
}

void TimelinePlayer::tell(double t)
{
    m_told = t;
    emit periodicTime(t);
}

void TimelinePlayer::startClock()
{
    m_clock.start(m_time);
    m_sound->start(m_time);
}

// Returns whether the sound will tell where it ended. Played out, it ends with its last sample.
bool TimelinePlayer::stopClock(double t, bool playOut)
{
    m_clock.stop(t);
    if (!playOut)
        return m_sound->stop();
    m_sound->finish();
    return false;
}

void TimelinePlayer::cutSoundEnded(double time)
{
    m_cutSound.awaited = false;
    m_cutSound.at = time;
    if (m_cutWait.isWaiting())
        tick();
}

// What was heard of the span past its cut is not heard again: the wait goes on to
// where the sound ended, and the clock and picture start there. Returns false when
// that lies in a later span, which is entered instead.
bool TimelinePlayer::resumeAfterCutSound()
{
    const double at = std::exchange(m_cutSound.at, std::numeric_limits<double>::quiet_NaN());
    if (!std::isfinite(at) || at <= m_time)
        return true;
    const PreviewSpan &span = m_spans[m_index];
    if (at < span.end - 1e-9) {
        m_time = at;
        m_cutWait.moveTo(span.sourceAt(at));
        return true;
    }
    m_cutWait.end();
    const double t = std::min(at, end() - 1e-6);
    enterSpan(spanAt(m_spans, t), t);
    tell(t);
    return false;
}

void TimelinePlayer::updateSound()
{
    std::vector<SoundPiece> pieces;
    for (const PreviewSpan &span : m_spans)
        pieces.push_back({span.start, span.end, span.path(), span.sourceStart});
    m_sound->setPieces(std::move(pieces));
}

void TimelinePlayer::tick()
{
    if (!isPlaying() || m_index < 0)
        return;
    const PreviewSpan &span = m_spans[m_index];
    Deck &deck = m_decks[m_active];
    if (m_cutWait.isWaiting()) {
        if (m_cutSound.awaited && m_cutSound.since.elapsed() < cutSoundWaitMs)
            return;
        m_cutSound.awaited = false;
        if (!resumeAfterCutSound())
            return;
        if (auto picture = m_cutWait.take()) {
            showPicture(*picture);
            startClock();
            finishSeek(true);
        }
        return;
    }
    m_clock.follow();
    const double t = m_clock.now();
    if (t >= span.end - 1e-9) {
        if (!span.isGap()) { // the span's last picture, however briefly
            if (auto picture = deck.clip->take(deck.request, span.sourceAt(span.end)))
                showPicture(*picture);
        }
        advance();
        return;
    }
    if (!span.isGap()) {
        const double source = span.sourceAt(t);
        deck.clip->setClock(source);
        if (auto picture = deck.clip->take(deck.request, source))
            showPicture(*picture);
    }
    tell(t);
}

void TimelinePlayer::advance()
{
    const double boundary = m_spans[m_index].end;
    if (m_index + 1 >= int(m_spans.size())) {
        m_time = boundary;
        // Told while still running, so that the playhead comes to rest at the end.
        tell(boundary);
        setRunning(false, true); // the sound's tail is heard to its end
        restAt(boundary); // on the picture at the last instant, exactly
        emit playedToEnd(m_item);
        return;
    }
    enterSpan(m_index + 1, boundary);
    tell(boundary);
}

void TimelinePlayer::play()
{
    if (!m_item || isPlaying() || m_index < 0 || m_status == ItemStatus::failed)
        return;
    if (m_time >= end()) {
        emit playedToEnd(m_item);
        return;
    }
    m_wantsToRun = true;
    m_restsWherePaused = false;
    m_told = m_time;
    m_tick.start();
    emit playingChanged(true);
    if (m_spans[m_index].isGap()) {
        startClock();
        prepareNext();
    } else {
        requestPicture();
    }
}

void TimelinePlayer::pause()
{
    if (!isPlaying())
        return;
    // Where the playhead was last told to be, and its picture with it: the clock may
    // have run on since (a busy machine delays the pause), but that time nobody saw.
    m_time = std::clamp(m_told, 0.0, end());
    setRunning(false);
    restOn(m_time);
    m_restsWherePaused = true;
}

// Stopped at `time`, in whichever span holds it: on the picture there, exactly.
void TimelinePlayer::restOn(double time)
{
    m_time = time;
    const int index = spanAt(m_spans, time);
    if (index != m_index)
        enterSpan(index, time);
    else
        restAt(time);
    tell(time);
}

// The sound ended at `time` after the Pause: further on (a server that played on) or
// before (a server that stood while the clock ran). The playhead follows it, so that
// the picture is the one last heard with and the next Play repeats and skips none of
// it. Less than a picture tick and a bit is left as it was, as is a playhead moved since.
void TimelinePlayer::soundStoppedAt(double time)
{
    constexpr double least = 0.02;
    constexpr double most = 0.5; // the longest graph cycles are 0.2 s
    if (isPlaying() || !m_restsWherePaused || m_index < 0 || !std::isfinite(time))
        return;
    m_restsWherePaused = false;
    const double t = std::min(time, end());
    if (std::abs(t - m_time) < least || std::abs(t - m_time) > most)
        return;
    restOn(t);
    emit pausedPlayheadMoved(t);
}

void TimelinePlayer::setRunning(bool running, bool playOut)
{
    const bool was = isPlaying();
    m_wantsToRun = running;
    if (running) {
        m_tick.start();
    } else {
        m_tick.stop();
        stopClock(m_time, playOut);
        m_cutWait.end();
        m_cutSound = {};
        for (int d = 0; d < int(m_decks.size()); ++d) {
            if (d != m_active && m_decks[d].playing) {
                m_decks[d].clip->halt();
                m_decks[d].playing = false;
                m_decks[d].span = -1;
            }
        }
    }
    if (was != isPlaying())
        emit playingChanged(isPlaying());
}

double TimelinePlayer::currentTime() const
{
    if (!m_item)
        return std::numeric_limits<double>::quiet_NaN();
    if (!m_clock.isRunning() || m_index < 0)
        return m_time;
    return std::clamp(m_clock.now(), m_spans[m_index].start, m_spans[m_index].end);
}

void TimelinePlayer::seek(double seconds, std::function<void(bool finished)> completion)
{
    finishSeek(false);
    m_restsWherePaused = false;
    m_seekCompletion = std::move(completion);
    if (!m_item || m_index < 0 || !std::isfinite(seconds) || m_status == ItemStatus::failed) {
        finishSeek(m_item != 0 && m_status != ItemStatus::failed);
        return;
    }
    const double t = std::clamp(seconds, 0.0, end());
    if (m_clock.isRunning())
        stopClock(t);
    enterSpan(spanAt(m_spans, t), t);
    tell(t);
}

void TimelinePlayer::finishSeek(bool finished)
{
    if (!m_seekCompletion)
        return;
    // Always later, as a real seek would be: callers may still be in the middle of seeking.
    QMetaObject::invokeMethod(this, [done = std::move(m_seekCompletion), finished] { done(finished); },
                              Qt::QueuedConnection);
    m_seekCompletion = nullptr;
}

void TimelinePlayer::showPicture(const DeckPicture &picture)
{
    if (picture.image.isNull())
        return;
    m_shown.show(picture, m_spans[m_index], m_index);
    ++m_framesShown;
    emit frameChanged();
}

void TimelinePlayer::clearPicture()
{
    if (m_shown.clear())
        emit frameChanged();
}

// Stopped at `time` in the current span: the picture there stays when it is on
// screen already, else it is decoded; no deck decodes on.
void TimelinePlayer::restAt(double time)
{
    Deck &deck = m_decks[m_active];
    if (m_spans[m_index].isGap() || m_shown.covers(m_index, m_spans[m_index].sourceAt(time))) {
        m_awaitingPicture = false;
        deck.clip->halt();
        deck.playing = false;
        return;
    }
    requestPicture();
}

QTransform TimelinePlayer::currentFrameTransform() const
{
    return m_shown.toCanvas(m_renderSize);
}

void TimelinePlayer::failItem(const QString &message)
{
    setRunning(false);
    m_awaitingPicture = false;
    for (Deck &deck : m_decks) {
        deck.clip->halt();
        deck.playing = false;
        deck.span = -1;
    }
    clearPicture(); // black, not a picture of another clip or moment
    finishSeek(false);
    if (m_status != ItemStatus::failed)
        setStatus(ItemStatus::failed, message);
}

void TimelinePlayer::setStatus(ItemStatus status, const QString &error)
{
    m_status = status;
    m_error = error;
    emit itemStatusChanged(m_item, status);
}

} // namespace routereel
