#include "timelineplayer.h"

#include "frameconverter.h"


#include <QAudioDevice>
#include <QCoreApplication>
#include <QException>
#include <QMediaDevices>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QVideoSink>

#include <algorithm>
#include <cmath>
#include <limits>

namespace routereel {

namespace {

constexpr int tickMilliseconds = 16;          // ~1/60 s
constexpr int switchTimeoutMilliseconds = 1500;
constexpr int busyTimeoutMilliseconds = 600;
// A paused seek far from a keyframe in a large clip decodes every picture from there:
// on a busy machine, seconds. Given up only after this long.
constexpr int slowSeekMilliseconds = 8000;
// A deck that has just stopped may still be handing a picture to its thread; a
// seek or a new clip on it before that is done blocks that thread until Qt's
// hand-over gives up (300 ms), and the deck that has just started freezes meanwhile.
constexpr int prepareDelayMilliseconds = 250;
// A frame whose start lies this far from the sought clip time is taken as left over
// from before the seek (GStreamer's frame times are a couple of frames off).
constexpr double staleFrameTolerance = 0.25;
// Frame times compared on the media player's clock, which counts whole milliseconds.
constexpr double sameInstant = 0.0005;
// How far before its end a piece's last instant lies: within a frame that starts
// in the piece's last millisecond, which is on screen there however briefly.
constexpr double lastInstant = 1e-6;

// The media player takes whole milliseconds, and a paused seek to the very instant
// a frame starts shows the frame ending there (a phone's 1/600 time base puts starts
// on whole milliseconds). The first whole millisecond after the time lies in the
// frame starting there: no frame is shorter than a millisecond.
qint64 positionMs(double seconds)
{
    return qint64(std::floor(seconds * 1000 + 1e-6)) + 1;
}

} // namespace

TimelinePlayer::TimelinePlayer(QObject *parent)
    : PreviewPlayer(parent)
{
    selectMediaBackend();
    m_output = new QVideoSink(this);
    m_converter = new FrameConverter(this);
    m_pictures = new ClipPictures(this);
    m_frameStarts = new FrameStarts(this);
    connect(m_frameStarts, &FrameStarts::found, this, &TimelinePlayer::framesFound);
    connect(m_pictures, &ClipPictures::ready, this, &TimelinePlayer::picturesReady);
    // The picture is announced once it is an image; views paint that image, so a
    // repaint for the overlays above never waits for a conversion.
    connect(m_converter, &FrameConverter::converted, this,
            [this](quint64 ticket, const QImage &image, const QTransform &toCanvas) {
                if (!m_frame.isValid())
                    return;
                if (ticket == m_frameTicket && !m_imageValid) {
                    m_image = image;
                    m_imageValid = true;
                }
                // One finished after a newer frame came is still newer than the one on
                // screen: while conversions take longer than a frame, every one is shown.
                m_display = image;
                m_displayTransform = toCanvas;
                emit frameChanged();
            });
    const QAudioDevice audio = QMediaDevices::defaultAudioOutput();
    for (int i = 0; i < 2; ++i) {
        Deck &deck = m_decks[i];
        // A thread each: one deck's media player held up in a seek or a load
        // leaves the other's pictures flowing.
        deck.thread = new QThread(this);
        deck.thread->setObjectName(QStringLiteral("media deck %1").arg(i));
        deck.thread->start();
        deck.media = new MediaDeck(deck.thread, audio, this);
        connect(deck.media, &MediaDeck::videoFrameChanged, this,
                [this, i](const QVideoFrame &frame, quint64 done, qint64 seekMs) { takeFrame(i, frame, done, seekMs); });
        connect(deck.media, &MediaDeck::mediaStatusChanged, this, [this, i] { onMediaStatus(i); });
        // Positions given before the media is seekable are dropped.
        connect(deck.media, &MediaDeck::seekableChanged, this, [this, i] { onMediaStatus(i); });
        connect(deck.media, &MediaDeck::errorOccurred, this, [this, i] { onMediaError(i); });
        deck.busyTimeout = new QTimer(this);
        deck.busyTimeout->setSingleShot(true);
        deck.busyTimeout->setInterval(busyTimeoutMilliseconds);
        deck.pauseSettled = new QTimer(this);
        deck.pauseSettled->setSingleShot(true);
        // Qt's hand-over gives up after 300 ms: the pause is over by then, one way or another.
        deck.pauseSettled->setInterval(300);
        connect(deck.pauseSettled, &QTimer::timeout, this, [this, i] { pauseDone(i); });
        connect(deck.busyTimeout, &QTimer::timeout, this, [this, i] {
            if (stillSeeking(i))
                m_decks[i].busyTimeout->start();
            else
                deckSettled(i);
        });
    }

    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(tickMilliseconds);
    connect(&m_tick, &QTimer::timeout, this, &TimelinePlayer::tick);
    m_switchTimeout.setSingleShot(true);
    m_switchTimeout.setInterval(switchTimeoutMilliseconds);
    connect(&m_switchTimeout, &QTimer::timeout, this, [this] {
        if (m_switching && m_positionIssued && stillSeeking(m_active)
            && std::fabs(m_decks[m_active].issued - m_target) < 0.0005) {
            m_switchTimeout.start();
            return;
        }
        if (m_switching && m_awaitingLeading) { // seek without knowing, rather than not at all
            m_awaitingLeading = false;
            m_leadingWaited = true;
            positionMedia();
            return;
        }
        if (m_switching && m_positionIssued) {
            if (m_soughtFrame.isValid())
                showFrame(m_soughtFrame);
            finishSwitch();
        }
    });
    m_prepareDelay.setSingleShot(true);
    m_prepareDelay.setInterval(prepareDelayMilliseconds);
    connect(&m_prepareDelay, &QTimer::timeout, this, &TimelinePlayer::prepareNext);
}

TimelinePlayer::~TimelinePlayer()
{
    m_seekCompletion = nullptr;
    for (Deck &deck : m_decks) {
        deck.media->disconnect(this);
        delete deck.media;
        deck.thread->quit();
        deck.thread->wait();
    }
}

void TimelinePlayer::selectMediaBackend()
{
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

PreviewPlayer::ItemId TimelinePlayer::replaceItem(std::optional<PreviewPlan> plan)
{
    finishSeek(false);
    setRunning(false);
    for (int d = 0; d < 2; ++d)
        stillDeck(d);
    m_preparing = -1;
    m_prepareTarget.reset();
    m_switching = false;
    m_switchTimeout.stop();
    m_prepareDelay.stop();
    m_pieces.clear();
    m_index = -1;
    m_inTail = false;
    m_time = 0;
    setReported(0);
    m_status = ItemStatus::unknown;
    m_error.clear();
    m_framesShown = 0;
    clearFrame();

    if (!plan) {
        m_item = 0;
        m_direct = false;
        for (Deck &deck : m_decks) {
            deck.url.clear();
            deck.loaded = false;
            deck.lastFrame = QVideoFrame();
            deck.media->setSource(QUrl());
        }
        return m_item;
    }

    m_item = ++m_lastItem;
    m_renderSize = plan->renderSize;
    m_direct = plan->isDirect();
    if (m_direct) {
        // Without a length from the probe it is known once the file is loaded.
        m_directDuration = plan->directDuration;
        const double clipStart = plan->directStartTime;
        m_pieces.push_back({0, m_directDuration > 0 ? m_directDuration : std::numeric_limits<double>::infinity(),
                            plan->directUrl, clipStart, {}, std::nullopt, clipStart, std::nullopt});
    } else {
        double cursor = 0;
        for (const PreviewPiece &p : plan->pieces) {
            const PreviewSeconds exact = p.seconds.value_or(PreviewSeconds{
                compositionSeconds(p.start), compositionSeconds(p.end()), compositionSeconds(p.sourceStart)});
            // Abutting slices meet exactly; their sums of seconds may not.
            const double start = exact.start > cursor + 1e-9 ? exact.start : cursor;
            if (start > cursor) // the composed item is black before its first piece
                m_pieces.push_back({cursor, start, {}, 0, {}, std::nullopt, 0, std::nullopt});
            // GStreamer's clock for a file is libav's: source time 0 lies at the start time.
            const double clipStart = p.isGap() ? 0 : p.clipStartTime;
            const double stop = std::max(start, exact.end);
            m_pieces.push_back({start, stop, p.url, clipStart + exact.sourceStart + (start - exact.start),
                                p.naturalSize, p.fit, clipStart, std::nullopt});
            cursor = stop;
        }
    }
    for (const Piece &p : m_pieces) {
        if (!p.isGap() && m_changedClips.noticeReplacement(p.url))
            forgetClip(p.url);
    }
    std::vector<QString> files;
    for (const Piece &p : m_pieces)
        files.push_back(p.url.toLocalFile());
    m_pictures->keepOnly(files);
    m_frameStarts->keepOnly(files);
    if (m_pieces.empty()) {
        const ItemId item = m_item;
        QMetaObject::invokeMethod(this, [this, item] {
            if (m_item == item && m_status == ItemStatus::unknown)
                setStatus(ItemStatus::readyToPlay);
        }, Qt::QueuedConnection);
        return m_item;
    }
    // Every piece's first picture, looked up ahead of its cut.
    for (Piece &p : m_pieces) {
        if (!p.isGap())
            firstFrameOf(p);
    }
    // The first clip's readiness is the item's; a timeline that starts black
    // has it prepared as the next piece.
    enterPiece(0, 0);
    // A clip still loaded from the previous item sends no new load signal.
    for (const Piece &p : m_pieces) {
        if (p.isGap())
            continue;
        if (const int d = deckWith(p.url); d >= 0 && m_decks[d].loaded) {
            const ItemId item = m_item;
            QMetaObject::invokeMethod(this, [this, item, d] {
                if (m_item == item && m_status == ItemStatus::unknown)
                    clipLoaded(d);
            }, Qt::QueuedConnection);
        }
        break;
    }
    return m_item;
}

void TimelinePlayer::clipLoaded(int d)
{
    Deck &deck = m_decks[d];
    if (!deck.media->hasVideo()) {
        // Sound alone is no video; the service names the file.
        if (m_status != ItemStatus::failed)
            setStatus(ItemStatus::failed);
        return;
    }
    if (m_direct && m_directDuration <= 0 && !m_pieces.empty() && deck.url == m_pieces.front().url)
        m_pieces.front().end = std::max(0.001, deck.media->duration() / 1000.0);
    if (m_status == ItemStatus::unknown)
        setStatus(ItemStatus::readyToPlay);
}

int TimelinePlayer::pieceAt(double time) const
{
    for (int i = 0; i < int(m_pieces.size()); ++i) {
        if (time < m_pieces[i].end)
            return i;
    }
    return int(m_pieces.size()) - 1;
}

double TimelinePlayer::end() const
{
    return m_pieces.empty() ? 0 : m_pieces.back().end;
}

int TimelinePlayer::deckWith(const QUrl &url) const
{
    for (int i = 0; i < 2; ++i) {
        if (m_decks[i].url == url)
            return i;
    }
    return -1;
}

int TimelinePlayer::loadDeck(const QUrl &url)
{
    if (const int found = deckWith(url); found >= 0)
        return found;
    // The other deck, so that the clip on screen stays loaded.
    const int d = 1 - m_active;
    Deck &deck = m_decks[d];
    stillDeck(d);
    deck.url = url;
    deck.loaded = false;
    deck.heldAt.reset();
    deck.heldFrame = QVideoFrame();
    deck.lastFrame = QVideoFrame();
    deck.busy = false;
    deck.wanted.reset();
    deck.busyTimeout->stop();
    deck.issuedMs = -1;
    deck.pausing = false;
    deck.sendPending = false;
    deck.pauseSettled->stop();
    deck.frameTimeOffset = 0;
    deck.offsetKnown = false;
    if (m_preparing == d) {
        m_preparing = -1;
        m_prepareTarget.reset();
    }
    deck.media->setSource(url);
    return d;
}

void TimelinePlayer::enterPiece(int index, double time)
{
    m_inTail = false;
    m_checkPlayhead = false;
    m_soughtFrame = QVideoFrame();
    m_awaitingTail = false;
    m_awaitingLeading = false;
    m_leadingWaited = false;
    m_index = index;
    m_time = time;
    setReported(time);
    const Piece &p = m_pieces[index];
    if (p.isGap()) {
        m_switching = false;
        m_switchTimeout.stop();
        stillDeck(m_active);
        // Before the black is announced: the time read then is the gap's.
        m_gapClock.restart();
        clearFrame();
        finishSeek(true);
        prepareNext();
        return;
    }
    if (m_changedClips.noticeReplacement(p.url))
        forgetClip(p.url);
    m_switching = true;
    m_positionIssued = false;
    m_targetKnown = false;
    const int d = loadDeck(p.url);
    if (d != m_active) {
        stillDeck(m_active);
        m_active = d;
        if (m_running)
            m_prepareDelay.start();
    }
    if (m_preparing == d) {
        m_preparing = -1;
        m_prepareTarget.reset();
    }
    lookUpTarget();
}

// The picture the piece's deck is to show: positioned once both it is known and
// the clip is loaded (earlier seeks are ignored), whichever comes last.
void TimelinePlayer::lookUpTarget()
{
    Piece &p = m_pieces[m_index];
    // A seek to the very end shows the last frame rather than running off the clip.
    const double into = std::min(m_time - p.start, std::max(0.0, p.end - p.start - lastInstant));
    // The frame's own start: GStreamer takes a frame's length from the nominal rate,
    // and a seek past that (into a long frame of a variable rate) would show the next.
    const auto first = firstFrameOf(p);
    const auto target = into <= 0 ? first : frameStartAt(p, p.sourceStart + into);
    if (!first || !target)
        return; // looked up on the worker: framesFound comes back here
    m_pieceFirstFrame = *first;
    m_target = *target;
    m_targetKnown = true;
    // Found while the media player seeks; told ahead for each piece's first frame.
    m_pictures->requestLeading(p.url.toLocalFile(), m_target);
    if (m_decks[m_active].loaded)
        positionMedia();
}

void TimelinePlayer::framesFound(const QString &file)
{
    for (Piece &p : m_pieces) {
        if (!p.isGap() && p.url.toLocalFile() == file)
            firstFrameOf(p);
    }
    if (m_index >= 0 && m_switching && !m_targetKnown && m_pieces[m_index].url.toLocalFile() == file)
        lookUpTarget();
    if (m_preparing >= 0 && !m_prepareTarget && m_preparingPiece < int(m_pieces.size())) {
        m_prepareTarget = firstFrameOf(m_pieces[m_preparingPiece]);
        if (m_prepareTarget && m_decks[m_preparing].loaded)
            prepareDeck(m_preparing);
    }
    if (m_checkPlayhead && !m_running && !m_switching) {
        m_checkPlayhead = false;
        showPlayheadFrame();
    }
}

void TimelinePlayer::positionMedia()
{
    Deck &deck = m_decks[m_active];
    m_positionIssued = true;
    if (const Piece &p = m_pieces[m_index]; m_changedClips.isReplaced(p.url)) {
        const double into = std::clamp(m_time - p.start, 0.0, std::max(0.0, p.end - p.start - lastInstant));
        const double wanted = p.sourceStart - p.clipStart + into;
        const double length = deck.media->duration() / 1000.0;
        if (ChangedClip::pastEnd(wanted, length)) {
            failItem(ChangedClip::pastEndError(p.url, wanted, length));
            return;
        }
    }
    bool pending = false;
    if (const QVideoFrame tail = tailPicture(m_active, m_target, &pending); tail.isValid() || pending) {
        stillDeck(m_active);
        m_awaitingTail = pending;
        if (pending) { // positioned again once decoded
            m_switchTimeout.start();
            return;
        }
        m_inTail = true;
        m_gapClock.restart();
        showFrame(tail);
        finishSwitch();
        return;
    }
    const auto leading = m_pictures->leading(m_pieces[m_index].url.toLocalFile(), m_target);
    if (m_running && !leading && !m_leadingWaited) {
        // Whether it is a leading picture decides where the seek goes (see
        // sendPosition): told by the worker, looked for since the piece was known.
        m_awaitingLeading = true;
        m_switchTimeout.start();
        return;
    }
    const bool heldWhole = !(m_running && leading && leading->frame.isValid()); // else the keyframe after it
    if (!deck.busy && heldWhole && deck.heldAt && std::fabs(*deck.heldAt - m_target) < 0.0005
        && deck.heldFrame.isValid()) {
        // Already standing at this very frame (prepared, or sought before): show it
        // and go on without a seek.
        const QVideoFrame frame = deck.heldFrame;
        if (m_running) {
            deck.heldAt.reset();
            startDeck(m_active);
        }
        presentSought(frame);
        return;
    }
    const QVideoFrame &last = deck.lastFrame;
    if (!deck.busy && !m_running && last.isValid() && deck.media->position() == positionMs(m_target)
        && fromTime(m_active, last, m_target)) {
        // The media player drops a seek to where it already stands, so no frame
        // would come: the first picture after loading, decoded before this item
        // asked for it, is the one.
        learnOffset(m_active, last, m_target);
        deck.heldAt = m_target;
        deck.heldFrame = last;
        presentSought(last);
        return;
    }
    requestPosition(m_active, m_target);
    m_switchTimeout.start();
}

// A paused seek makes GStreamer preroll, and Qt's next seek waits for that
// preroll on the deck's thread, which the preroll itself needs to hand its frame over:
// a stall of 300 ms and a failed stream. So a deck takes one seek at a time; the
// newest of the seeks asked for meanwhile follows once the previous one has
// shown its frame, which also keeps scrubbing from piling up seeks.
void TimelinePlayer::requestPosition(int d, double seconds)
{
    Deck &deck = m_decks[d];
    if (deck.sendPending) {
        deck.issued = seconds; // not sent yet: the newest one goes
        deck.wanted.reset();
        return;
    }
    if (deck.busy && std::fabs(deck.issued - seconds) < 0.0005) {
        deck.wanted.reset(); // already on its way
        return;
    }
    deck.wanted = seconds;
    if (!deck.busy)
        issuePosition(d);
}

void TimelinePlayer::issuePosition(int d)
{
    Deck &deck = m_decks[d];
    if (!deck.wanted)
        return;
    deck.busy = true;
    deck.issued = *deck.wanted;
    deck.wanted.reset();
    deck.heldAt.reset();
    deck.heldFrame = QVideoFrame();
    if (deck.pausing && !(d == m_active && m_running)) {
        deck.sendPending = true;
        return;
    }
    sendPosition(d);
}

// A pause makes GStreamer preroll a picture and hand it to the deck's thread, and
// Qt makes a seek wait on that thread for the preroll to finish: a seek sent before
// the hand-over is done stalls both for 300 ms, and the stream fails.
void TimelinePlayer::sendPosition(int d)
{
    Deck &deck = m_decks[d];
    qint64 ms = positionMs(deck.issued);
    if (!(d == m_active && m_running)) {
        // A paused media player drops a seek to where it stands (a deck started and
        // stopped at once has not moved), and no picture would ever come: a
        // millisecond on lies in the same frame. Where it stands is known on the
        // deck's thread (setPosition); a seek not carried out yet only here.
        while (ms == deck.issuedMs)
            ++ms;
    }
    deck.issuedMs = ms;
    const bool running = d == m_active && m_running;
    // A leading picture of an open GOP: a seek to it lands on the keyframe after it,
    // and the media player shows that keyframe instead, or the picture without its
    // references. From before the first of them it decodes them whole; playing, the
    // pictures before it do not answer the seek (see takeFrame).
    deck.leadIn = false;
    if (running) {
        if (const auto leading = m_pictures->leading(deck.url.toLocalFile(), deck.issued);
            leading && leading->frame.isValid() && leading->wholeFrom && *leading->wholeFrom > 0) {
            ms = positionMs(*leading->wholeFrom);
            deck.leadIn = true;
        }
    }
    deck.media->setPosition(ms, !running);
    // Pictures handed over once it is carried out were decoded after the seek's flush.
    deck.seekCommand = deck.media->commandsGiven();
    if (running)
        startDeck(d);
    else
        stillDeck(d);
    deck.sent.start();
    deck.freshSinceSeek = 0;
    deck.busyTimeout->start();
}

// A deck's seek that has not answered yet, with nothing newer to send: its picture
// is being decoded, slowly; one sent while it is would wait for it anyway. Playing,
// the cut waits for it rather than letting the clock run on ahead of the pictures.
bool TimelinePlayer::stillSeeking(int d) const
{
    const Deck &deck = m_decks[d];
    // Playing, only while nothing at all has come since: pictures that come and do
    // not answer it are let through after the usual wait.
    return deck.busy && (deck.still || deck.freshSinceSeek == 0) && !deck.wanted && !deck.sendPending
        && deck.sent.isValid() && deck.sent.elapsed() < slowSeekMilliseconds;
}

void TimelinePlayer::deckSettled(int d, const QVideoFrame &frame, bool fresh, qint64 seekMs)
{
    Deck &deck = m_decks[d];
    deck.busy = false;
    deck.busyTimeout->stop();
    // The decoder clips the picture of an exact seek to the seek point, start and
    // length: it starts at the time sought plus the file's shift (an edit list).
    // Not so a seek to a leading picture of an open GOP, which the keyframe after it
    // answers, whether known to be one yet or not while playing: a shift once
    // measured stays.
    const auto leading = m_pictures->leading(deck.url.toLocalFile(), deck.issued);
    const bool playing = d == m_active && m_running;
    if (!deck.offsetKnown || !(playing || (leading && leading->frame.isValid())))
        learnOffset(d, frame, (seekMs >= 0 && fresh ? seekMs : deck.issuedMs) / 1000.0, fresh);
    if (frame.isValid() && !(d == m_active && m_running)) {
        deck.heldAt = deck.issued;
        deck.heldFrame = frame;
    }
    if (deck.wanted && std::fabs(*deck.wanted - deck.issued) < 0.0005)
        deck.wanted.reset();
    if (deck.wanted) {
        issuePosition(d);
    } else if (d == m_active && m_running && m_index >= 0 && !m_pieces[m_index].isGap()) {
        // Sought while it was readied, paused, and switched to before it got there:
        // the cut has waited for this picture, now the piece runs.
        startDeck(d);
    }
}

void TimelinePlayer::finishSwitch()
{
    m_switching = false;
    m_switchTimeout.stop();
    finishSeek(true);
    if (!m_prepareDelay.isActive())
        prepareNext();
}

// Readies the clip of the next piece that is on another file in the idle deck,
// paused at the piece's first frame.
void TimelinePlayer::prepareNext()
{
    if (m_index < 0 || m_prepareDelay.isActive())
        return;
    for (int j = m_index + 1; j < int(m_pieces.size()); ++j) {
        const Piece &next = m_pieces[j];
        if (next.isGap())
            continue;
        if (next.url == m_decks[m_active].url)
            return; // the same file goes on: a seek on the running deck
        const int d = loadDeck(next.url);
        if (d == m_active)
            return;
        m_preparing = d;
        m_preparingPiece = j;
        m_prepareTarget = firstFrameOf(m_pieces[j]);
        if (m_decks[d].loaded)
            prepareDeck(d);
        return;
    }
}

void TimelinePlayer::prepareDeck(int d)
{
    Deck &deck = m_decks[d];
    if (!m_prepareTarget || m_preparing != d)
        return;
    if (deck.heldAt && std::fabs(*deck.heldAt - *m_prepareTarget) < 0.0005)
        return;
    requestPosition(d, *m_prepareTarget);
}

void TimelinePlayer::onMediaStatus(int d)
{
    Deck &deck = m_decks[d];
    if (deck.url.isEmpty() || deck.media->source() != deck.url)
        return;
    switch (deck.media->mediaStatus()) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferedMedia:
        if (deck.loaded || !deck.media->isSeekable())
            break;
        deck.loaded = true;
        // Decoded ahead of the clip's end, off this thread.
        if (deck.media->duration() > 0)
            m_pictures->requestTail(deck.url.toLocalFile(), deck.media->duration() / 1000.0 - sameInstant);
        clipLoaded(d);
        if (m_status == ItemStatus::failed)
            return;
        if (d == m_active && m_switching && m_targetKnown && m_index >= 0 && m_pieces[m_index].url == deck.url)
            positionMedia();
        else if (d == m_preparing)
            prepareDeck(d);
        break;
    case QMediaPlayer::EndOfMedia:
        // The clip ended a little before its piece did: its last pictures, when the
        // media player left them out, else the next piece.
        if (d == m_active && m_running && m_index >= 0 && !m_pieces[m_index].isGap() && !m_switching
            && !m_inTail) {
            const Piece &p = m_pieces[m_index];
            const double end = deck.media->duration() / 1000.0;
            m_time = std::max(m_lastReported, std::clamp(p.start + (end - p.sourceStart), p.start, p.end));
            if (!enterTail(std::max(end, p.sourceStart + (m_time - p.start))))
                advance();
        }
        break;
    case QMediaPlayer::InvalidMedia:
        onMediaError(d);
        break;
    default:
        break;
    }
}

void TimelinePlayer::onMediaError(int d)
{
    Deck &deck = m_decks[d];
    if (deck.media->error() == QMediaPlayer::NoError && deck.media->mediaStatus() != QMediaPlayer::InvalidMedia)
        return;
    failItem(ChangedClip::loadError(deck.url, deck.media->errorString()));
}

void TimelinePlayer::failItem(const QString &message)
{
    setRunning(false);
    for (int each = 0; each < 2; ++each)
        stillDeck(each);
    m_switching = false;
    m_switchTimeout.stop();
    clearFrame(); // black, not a picture of another clip or moment
    finishSeek(false);
    if (m_status != ItemStatus::failed)
        setStatus(ItemStatus::failed, message);
}

// Its decks and frame lookups read the file as it was: they start anew.
void TimelinePlayer::forgetClip(const QUrl &url)
{
    m_frameStarts->forget(url.toLocalFile());
    m_pictures->forget(url.toLocalFile());
    for (int d = 0; d < 2; ++d) {
        Deck &deck = m_decks[d];
        if (deck.url != url)
            continue;
        stillDeck(d);
        deck.url.clear();
        deck.loaded = false;
        deck.busy = false;
        deck.wanted.reset();
        deck.busyTimeout->stop();
        deck.media->setSource(QUrl());
        if (m_preparing == d) {
            m_preparing = -1;
            m_prepareTarget.reset();
        }
    }
}

void TimelinePlayer::setStatus(ItemStatus status, const QString &error)
{
    m_status = status;
    m_error = error;
    emit itemStatusChanged(m_item, status);
}

void TimelinePlayer::play()
{
    if (!m_item || m_running || m_index < 0 || m_status == ItemStatus::failed)
        return;
    if (m_time >= end()) {
        emit playedToEnd(m_item);
        return;
    }
    setRunning(true);
    setReported(m_time);
    const Piece &p = m_pieces[m_index];
    if (p.isGap() || m_inTail) {
        m_gapClock.restart();
    } else if (!m_switching) {
        m_decks[m_active].heldAt.reset();
        startDeck(m_active);
    }
}

void TimelinePlayer::pause()
{
    if (!m_running)
        return;
    m_time = currentTime();
    setReported(m_time);
    setRunning(false);
    for (int d = 0; d < 2; ++d)
        stillDeck(d);
    showPlayheadFrame();
    emit periodicTime(m_time);
}

// A running deck's pictures may trail its clock by a few frames, more so just
// after a cut: a paused picture must be the one at the playhead, or the overlays
// would show data from another moment than the video.
void TimelinePlayer::showPlayheadFrame()
{
    const int index = pieceAt(m_time);
    if (index < 0 || m_pieces[index].isGap() || m_switching)
        return;
    const Piece &p = m_pieces[index];
    const double into = std::min(m_time - p.start, std::max(0.0, p.end - p.start - lastInstant));
    const auto wanted = frameStartAt(p, p.sourceStart + std::max(0.0, into));
    if (!wanted) {
        m_checkPlayhead = true; // once looked up
        return;
    }
    if (index == m_index && m_frameDeck == m_active && m_frame.isValid()
        && std::fabs(clipSeconds(m_active, m_frame) - *wanted) < 3 * sameInstant)
        return;
    enterPiece(index, m_time);
}

void TimelinePlayer::setReported(double t)
{
    m_lastReported = t;
    m_anchorTime = t;
    m_anchorWall.restart();
}

void TimelinePlayer::setRunning(bool running)
{
    if (running)
        m_tick.start();
    else
        m_tick.stop();
    if (m_running == running)
        return;
    if (running && m_frame.isValid()) {
        // Paused, views paint the current picture; running, the converter's newest
        // answer, which may still be an older picture or none after a clear.
        m_display = currentFrame();
        m_displayTransform = currentFrameTransform();
    }
    m_running = running;
    emit playingChanged(running);
}

double TimelinePlayer::currentTime() const
{
    if (!m_item)
        return std::numeric_limits<double>::quiet_NaN();
    if (!m_running || m_index < 0 || m_switching)
        return m_time;
    const Piece &p = m_pieces[m_index];
    double t;
    if (p.isGap() || m_inTail)
        t = m_time + m_gapClock.nsecsElapsed() / 1e9;
    else
        t = p.start + (media()->position() / 1000.0 - p.sourceStart);
    // The media player's position may leap ahead after a seek where a clip's sound
    // starts later or ends early (it follows the sound): never further than the
    // picture on screen has lasted, or than the wall clock before the first one.
    // (A picture is handed over at its time, so this binds only on such a leap.)
    const double shown = m_frame.isValid() && m_frameDeck == m_active && !m_inTail
        ? p.start + (clipSeconds(m_active, m_frame) - p.sourceStart)
        : std::numeric_limits<double>::quiet_NaN();
    if (shown >= m_anchorTime && shown <= p.end) {
        t = std::min(t, shown + m_frameWall.nsecsElapsed() / 1e9 + 0.005);
    } else if (!p.isGap() && !m_inTail) {
        t = std::min(t, m_anchorTime + m_anchorWall.nsecsElapsed() / 1e9 + 0.02);
    }
    t = std::clamp(t, p.start, p.end);
    return std::max(t, m_lastReported);
}

void TimelinePlayer::tick()
{
    if (!m_running || m_index < 0)
        return;
    const double t = currentTime();
    m_lastReported = t; // not a new anchor: the bound below stays on the wall clock
    if (!m_switching && t >= m_pieces[m_index].end - 1e-6) {
        advance();
        return;
    }
    if (m_inTail) {
        const Piece &p = m_pieces[m_index];
        const QVideoFrame picture = tailPicture(m_active, p.sourceStart + (t - p.start));
        if (picture.isValid() && picture.startTime() != m_frame.startTime())
            showFrame(picture);
    }
    emit periodicTime(t);
}

void TimelinePlayer::advance()
{
    const double boundary = m_pieces[m_index].end;
    if (m_index + 1 >= int(m_pieces.size())) {
        m_time = boundary;
        setReported(boundary);
        // Told while still running, so that the playhead comes to rest at the end.
        emit periodicTime(boundary);
        setRunning(false);
        stillDeck(m_active);
        showPlayheadFrame(); // the last frame of the last piece
        emit playedToEnd(m_item);
        return;
    }
    enterPiece(m_index + 1, boundary);
    emit periodicTime(boundary);
}

void TimelinePlayer::seek(double seconds, std::function<void(bool finished)> completion)
{
    finishSeek(false);
    m_seekCompletion = std::move(completion);
    if (!m_item || m_index < 0 || !std::isfinite(seconds)) {
        finishSeek(m_item != 0);
        return;
    }
    const double t = std::clamp(seconds, 0.0, end());
    enterPiece(pieceAt(t), t);
    emit periodicTime(t);
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

void TimelinePlayer::takeFrame(int d, const QVideoFrame &frame, quint64 commandsDone, qint64 seekMs)
{
    Deck &deck = m_decks[d];
    ++m_framesDecoded;
    const bool fresh = commandsDone >= deck.seekCommand;
    deck.freshSinceSeek += fresh;
    if (!frame.isValid() || deck.media->source() != deck.url)
        return;
    if (deck.pausing && commandsDone >= deck.pauseCommand) {
        // Handed over since the pause: the seek waiting may go, after this picture.
        QMetaObject::invokeMethod(this, [this, d] {
            if (m_decks[d].pausing)
                pauseDone(d);
        }, Qt::QueuedConnection);
    }
    if (deck.loaded && deck.still && !deck.busy && ++deck.framesWhileStill > 2) {
        // A paused deck shows one picture per seek, and a couple may still be on their
        // way from before the pause. More means that the media player lost a pause
        // given just after a start (it then runs on while it says it is paused).
        restill(d);
        return;
    }
    deck.lastFrame = frame;
    if (!deck.loaded)
        return;
    const bool answersSeek = deck.busy;
    if (deck.busy) {
        // Frames from before the seek do not settle it, nor those of a lead-in.
        if (deck.sendPending || !fromTime(d, frame, deck.issued, fresh))
            return;
        if (deck.leadIn && deck.offsetKnown && clipSeconds(d, frame) < deck.issued - sameInstant)
            return;
        deckSettled(d, frame, fresh, seekMs);
        if (deck.busy)
            return; // a newer seek went out: this picture is already stale
    } else if (d == m_active && m_running) {
        deck.heldAt.reset(); // moving on
    }
    if (d != m_active)
        return; // kept as the idle deck's held picture
    if (m_index < 0 || m_pieces[m_index].isGap() || m_inTail)
        return;
    if (!m_running && !m_switching && !answersSeek)
        return; // still coming from before a pause: it would run past the playhead
    if (m_running && !m_switching) {
        // Only pictures of the piece's own source range: the clip runs on past the
        // cut until the next piece takes over, and a picture from before a seek may
        // still arrive. One starting just before the cut is shown for that moment.
        const Piece &p = m_pieces[m_index];
        const double at = clipSeconds(d, frame);
        if (at >= p.sourceEnd() - sameInstant) {
            advance();
            return;
        }
        if (at < m_pieceFirstFrame - sameInstant)
            return;
    }
    if (m_switching) {
        if (!m_positionIssued)
            return;
        if (!fromTime(d, frame, m_target, fresh))
            return;
        presentSought(frame);
        return;
    }
    showFrame(frame);
}

void TimelinePlayer::startDeck(int d)
{
    Deck &deck = m_decks[d];
    if (deck.pausing)
        pauseDone(d);
    deck.still = false;
    deck.media->play();
}

void TimelinePlayer::pauseDone(int d)
{
    Deck &deck = m_decks[d];
    deck.pausing = false;
    deck.pauseSettled->stop();
    if (deck.sendPending) {
        deck.sendPending = false;
        sendPosition(d);
    }
}

void TimelinePlayer::stillDeck(int d)
{
    Deck &deck = m_decks[d];
    deck.media->pause();
    if (!deck.still && deck.loaded) {
        deck.pausing = true;
        deck.pauseCommand = deck.media->commandsGiven();
        deck.pauseSettled->start();
    }
    deck.still = true;
    deck.framesWhileStill = 0;
}

// Stops a deck that ran on after a pause and puts it back where it stood.
void TimelinePlayer::restill(int d)
{
    Deck &deck = m_decks[d];
    if (d == m_active && m_running) {
        deck.still = false; // running is what it should do
        return;
    }
    deck.media->play(); // its pause is ignored while it believes itself paused
    stillDeck(d);
    deck.heldAt.reset();
    deck.heldFrame = QVideoFrame();
    if (d == m_active && m_index >= 0 && !m_pieces[m_index].isGap())
        enterPiece(m_index, m_time);
    else if (d == m_preparing)
        prepareDeck(d);
}

double TimelinePlayer::clipSeconds(int d, const QVideoFrame &frame) const
{
    return frame.startTime() < 0 ? std::numeric_limits<double>::quiet_NaN()
                                 : frame.startTime() / 1e6 - m_decks[d].frameTimeOffset;
}

// On the media player's clock, as the clip's times are; none until looked up.
std::optional<double> TimelinePlayer::frameStartAt(const Piece &p, double clipTime)
{
    const QString file = p.url.toLocalFile();
    // A hair on, so that a time on a frame's start reached by adding seconds finds that frame.
    const double t = clipTime - p.clipStart + 1e-9;
    if (const auto start = m_frameStarts->at(file, t))
        return p.clipStart + *start;
    m_frameStarts->request(file, t);
    return std::nullopt;
}

std::optional<double> TimelinePlayer::firstFrameOf(Piece &p)
{
    if (!p.firstFrame) {
        p.firstFrame = frameStartAt(p, p.sourceStart);
        // Whether a cut onto it needs the media player sent earlier (see sendPosition).
        if (p.firstFrame)
            m_pictures->requestLeading(p.url.toLocalFile(), *p.firstFrame);
    }
    return p.firstFrame;
}

// Whether the frame is the one at clipTime rather than one left over from before:
// its start is the clip time shifted by the file's own shift, which is unknown until
// a first seek shows it: none, a B-frame delay (an edit list), the empty time an
// edit list puts before the first picture, or the decoded-but-hidden stretch from
// the keyframe that a stream-copied cut starts with (up to a whole GOP). Until then
// a picture handed over after the seek went out (`fresh`) is the seek's.
bool TimelinePlayer::fromTime(int d, const QVideoFrame &frame, double clipTime, bool fresh) const
{
    if (frame.startTime() < 0)
        return true; // nothing to tell: trust it
    const Deck &deck = m_decks[d];
    const double start = frame.startTime() / 1e6;
    if (deck.offsetKnown)
        return std::fabs(start - deck.frameTimeOffset - clipTime) < staleFrameTolerance;
    if (fresh)
        return true;
    const double firstFrame = m_frameStarts->firstPicture(deck.url.toLocalFile()).value_or(0);
    return std::fabs(start - clipTime) < staleFrameTolerance
        || std::fabs(start + firstFrame - clipTime) < staleFrameTolerance;
}

// The picture past the media player's end at clipTime; none before that end or
// where no picture lies, and none but `pending` while the tail is being decoded.
QVideoFrame TimelinePlayer::tailPicture(int d, double clipTime, bool *pending)
{
    Deck &deck = m_decks[d];
    const double end = deck.media->duration() / 1000.0;
    if (!deck.loaded || end <= 0 || clipTime < end - sameInstant)
        return {};
    const QString path = deck.url.toLocalFile();
    m_pictures->requestTail(path, end - sameInstant);
    const std::vector<ClipTail::Picture> *tail = m_pictures->tail(path);
    if (!tail) {
        if (pending)
            *pending = true;
        return {};
    }
    const ClipTail::Picture *found = nullptr;
    for (const ClipTail::Picture &picture : *tail) {
        if (picture.start <= clipTime + 1e-6)
            found = &picture;
    }
    return found ? onFramesClock(d, *found) : QVideoFrame();
}

// Told apart from the deck's own pictures, and placed, by their start on the frames' clock.
QVideoFrame TimelinePlayer::onFramesClock(int d, const ClipTail::Picture &picture) const
{
    QVideoFrame frame = picture.frame;
    // Turned as the media player's own pictures of the clip are (a phone's rotation).
    if (const QVideoFrame &own = m_decks[d].lastFrame; own.isValid()) {
        frame.setRotationAngle(own.rotationAngle());
        frame.setMirrored(own.mirrored());
    }
    frame.setStartTime(qint64(std::llround((picture.start + m_decks[d].frameTimeOffset) * 1e6)));
    frame.setEndTime(qint64(std::llround((picture.end + m_decks[d].frameTimeOffset) * 1e6)));
    return frame;
}

// Shows the picture at clipTime when the media player cannot, and runs the rest of
// the piece on a clock of its own; while the tail is still being decoded, the
// picture on screen stays until it is.
bool TimelinePlayer::enterTail(double clipTime)
{
    bool pending = false;
    const QVideoFrame picture = tailPicture(m_active, clipTime, &pending);
    if (!picture.isValid() && !pending)
        return false;
    m_inTail = true;
    m_gapClock.restart();
    if (picture.isValid())
        showFrame(picture);
    return true;
}

// The picture a seek asked for is here: paused, it is shown once the worker has
// told whether it is a leading picture of an open GOP, which the media player
// decodes without its references or not at all; then libav's is shown instead.
void TimelinePlayer::presentSought(QVideoFrame frame)
{
    if (!m_running && m_index >= 0 && !m_pieces[m_index].isGap()) {
        const auto leading = m_pictures->leading(m_pieces[m_index].url.toLocalFile(), m_target);
        if (!leading) {
            // The first picture that answers: a deck paused while switching may hand
            // over a few more.
            if (!m_soughtFrame.isValid())
                m_soughtFrame = frame;
            m_pictures->requestLeading(m_pieces[m_index].url.toLocalFile(), m_target);
            return;
        }
        if (leading->frame.isValid()) {
            m_soughtFrame = QVideoFrame();
            showFrame(onFramesClock(m_active, *leading));
            finishSwitch();
            return;
        }
    }
    m_soughtFrame = QVideoFrame();
    showFrame(frame);
    finishSwitch();
}

void TimelinePlayer::picturesReady(const QString &path)
{
    if (!m_switching || !m_positionIssued || m_index < 0 || m_pieces[m_index].isGap()
        || m_pieces[m_index].url.toLocalFile() != path)
        return;
    if (m_soughtFrame.isValid())
        presentSought(m_soughtFrame);
    else if (m_awaitingTail && m_pictures->tail(path))
        positionMedia();
    else if (m_awaitingLeading && m_pictures->leading(path, m_target)) {
        m_awaitingLeading = false;
        positionMedia();
    }
}

void TimelinePlayer::learnOffset(int d, const QVideoFrame &frame, double clipTime, bool fresh)
{
    if (!frame.isValid() || frame.startTime() < 0 || !fromTime(d, frame, clipTime, fresh))
        return;
    Deck &deck = m_decks[d];
    deck.frameTimeOffset = frame.startTime() / 1e6 - clipTime;
    deck.offsetKnown = true;
}

void TimelinePlayer::showFrame(const QVideoFrame &frame)
{
    if (!m_frame.isValid()) // the picture was taken off: nothing converted before stays of use
        m_converter->discardBefore(m_frameTicket + 1);
    m_frame = frame;
    m_frameDeck = m_active;
    m_frameWall.restart();
    m_imageValid = false;
    ++m_framesShown;
    const Piece *p = m_index >= 0 ? &m_pieces[m_index] : nullptr;
    m_converter->convert(++m_frameTicket, frame, m_displaySize,
                         p ? FramePlacement::of(p->fit, p->naturalSize, m_renderSize) : FramePlacement::whole(m_renderSize));
    m_output->setVideoFrame(frame);
}

void TimelinePlayer::clearFrame()
{
    const bool had = m_frame.isValid();
    m_frameDeck = -1;
    ++m_frameTicket; // a conversion still on its way is of no use now
    m_frame = QVideoFrame();
    m_image = QImage();
    m_imageValid = true;
    m_display = QImage();
    if (had)
        emit frameChanged();
}

QImage TimelinePlayer::currentFrame() const
{
    // Asked for before the converter has answered (a test right after a seek): the
    // same conversion, here.
    if (!m_imageValid) {
        m_image = m_frame.isValid() ? FrameConverter::toImage(m_frame, m_displaySize) : QImage();
        m_imageValid = true;
    }
    return m_image;
}

QTransform TimelinePlayer::currentFrameTransform() const
{
    if (!m_frame.isValid() || m_index < 0)
        return {};
    const Piece &p = m_pieces[m_index];
    return FramePlacement::of(p.fit, p.naturalSize, m_renderSize).transformFor(currentFrame().size());
}

} // namespace routereel


