#pragma once

#include "changedclip.h"
#include "clippictures.h"
#include "framestarts.h"
#include "mediadeck.h"
#include "timeline/previewplayer.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QVideoFrame>

#include <memory>
#include <vector>

class QThread;
class QVideoSink;

namespace routereel {

class FrameConverter;

// Plays a preview plan with two QMediaPlayer decks: the piece being played runs
// on one, while the other holds the next clip loaded and paused at its first
// frame, so that a change of clip at a slice boundary is a switch of decks rather
// than a load. Gaps run on a clock of their own and show black; the reported time
// is always timeline time and never steps back while running.
class TimelinePlayer : public PreviewPlayer {
    Q_OBJECT

public:
    explicit TimelinePlayer(QObject *parent = nullptr);
    ~TimelinePlayer() override;

    // Qt Multimedia's GStreamer back end: its ffmpeg back end crashes without an
    // audio device. Call before the first multimedia object is made.
    static void selectMediaBackend();

    ItemId replaceItem(std::optional<PreviewPlan> plan) override;
    ItemId currentItem() const override { return m_item; }
    ItemStatus itemStatus() const override { return m_status; }
    QString itemError() const override { return m_error; }

    void play() override;
    void pause() override;
    bool isPlaying() const override { return m_running; }
    double currentTime() const override;
    void seek(double seconds, std::function<void(bool finished)> completion) override;

    QImage currentFrame() const override;
    QTransform currentFrameTransform() const override;
    QSizeF renderSize() const override { return m_renderSize; }
    // While running, the newest picture already converted; paused, the current one.
    QImage displayFrame() const override { return m_running ? m_display : currentFrame(); }
    QTransform displayFrameTransform() const override
    {
        return m_running ? m_displayTransform : currentFrameTransform();
    }
    void setDisplaySize(QSize pixels) override { m_displaySize = pixels; }

    // Where the frames shown arrive, whichever deck decoded them.
    QVideoSink *videoSink() const { return m_output; }
    // Frames taken for display since the item was installed.
    quint64 framesShown() const { return m_framesShown; }
    // Frames the decks have decoded, shown or not.
    quint64 framesDecoded() const { return m_framesDecoded; }
    // The piece the timeline time lies in; -1 before anything is installed.
    int currentPieceIndex() const { return m_index; }

private:
    struct Piece {
        double start = 0;
        double end = 0;
        QUrl url;               // empty for a gap
        double sourceStart = 0; // on the media player's clock: the clip's start time plus source seconds
        QSizeF naturalSize;
        std::optional<QTransform> fit; // none: fit the picture into the canvas whole
        double clipStart = 0;   // the clip's start time, where source time 0 lies on that clock
        std::optional<double> firstFrame; // start of the frame on screen at sourceStart, once looked up
        bool isGap() const { return url.isEmpty(); }
        double sourceEnd() const { return sourceStart + (end - start); }
    };

    struct Deck {
        MediaDeck *media = nullptr;
        QThread *thread = nullptr;           // where its media player runs
        QUrl url;
        bool loaded = false;                 // loaded and seekable
        std::optional<double> heldAt;        // clip seconds it stands paused at, its frame shown
        QVideoFrame heldFrame;               // the picture there
        QVideoFrame lastFrame;               // the newest picture decoded, taken or not
        bool busy = false;                   // a seek is out and has not shown its frame
        double issued = 0;                   // clip seconds of that seek
        qint64 issuedMs = -1;                // the position it was given
        std::optional<double> wanted;        // the seek to send when it has
        QTimer *busyTimeout = nullptr;
        QElapsedTimer sent;                  // since that seek went to the media player
        int freshSinceSeek = 0;              // pictures handed over since it was carried out
        bool leadIn = false;                 // sent before a leading picture it is to show
        double frameTimeOffset = 0;          // frame start times less clip times (edit lists)
        bool offsetKnown = false;            // frameTimeOffset measured on this clip
        bool still = true;                   // asked to stand paused
        // Paused from running, until its pause has handed over its picture: a seek
        // before that waits on the deck's thread for that very hand-over (see sendPosition).
        bool pausing = false;
        bool sendPending = false;            // the seek issued waits for that
        quint64 seekCommand = 0;             // the deck's command that sent the newest seek
        quint64 pauseCommand = 0;            // and the newest pause
        QTimer *pauseSettled = nullptr;
        int framesWhileStill = 0;            // pictures handed over since, not asked for by a seek
    };

    std::optional<double> frameStartAt(const Piece &p, double clipTime);
    std::optional<double> firstFrameOf(Piece &p);
    void lookUpTarget();
    void framesFound(const QString &file);
    bool fromTime(int deck, const QVideoFrame &frame, double clipTime, bool fresh = false) const;
    void learnOffset(int deck, const QVideoFrame &frame, double clipTime, bool fresh = false);
    QVideoFrame tailPicture(int deck, double clipTime, bool *pending = nullptr);
    bool enterTail(double clipTime);
    QVideoFrame onFramesClock(int deck, const ClipTail::Picture &picture) const;
    void presentSought(QVideoFrame frame); // by value: it may be m_soughtFrame
    void picturesReady(const QString &path);

    void enterPiece(int index, double time);
    void positionMedia();
    void requestPosition(int deck, double seconds);
    void issuePosition(int deck);
    void sendPosition(int deck);
    void pauseDone(int deck);
    bool stillSeeking(int deck) const;
    void deckSettled(int deck, const QVideoFrame &frame = {}, bool fresh = false, qint64 seekMs = -1);
    void prepareNext();
    void prepareDeck(int deck);
    int deckWith(const QUrl &url) const;
    int loadDeck(const QUrl &url);
    MediaDeck *media() const { return m_decks[m_active].media; }
    void finishSwitch();
    void startDeck(int deck);
    void stillDeck(int deck);
    void restill(int deck);
    void advance();
    void tick();
    void finishSeek(bool finished);
    void setRunning(bool running);
    void setReported(double t);
    void setStatus(ItemStatus status, const QString &error = {});
    void takeFrame(int deck, const QVideoFrame &frame, quint64 commandsDone, qint64 seekMs);
    double clipSeconds(int deck, const QVideoFrame &frame) const;
    void showPlayheadFrame();
    void showFrame(const QVideoFrame &frame);
    void clearFrame();
    void onMediaStatus(int deck);
    void clipLoaded(int deck);
    void onMediaError(int deck);
    void failItem(const QString &message);
    void forgetClip(const QUrl &url);
    int pieceAt(double time) const;
    double end() const;

    FrameStarts *m_frameStarts = nullptr;
    ChangedClip m_changedClips;
    ClipPictures *m_pictures = nullptr;
    // A paused seek's picture from the media player, held back until it is known
    // whether it is a leading picture the media player cannot show whole.
    QVideoFrame m_soughtFrame;
    bool m_awaitingTail = false; // a seek into the tail waits for it to be decoded
    bool m_awaitingLeading = false; // a cut while playing waits to know whether it lands on a leading picture
    bool m_leadingWaited = false;   // and has waited long enough
    Deck m_decks[2];
    int m_active = 0;
    int m_preparing = -1;        // the deck being readied for the next piece
    int m_preparingPiece = -1;   // and that piece
    std::optional<double> m_prepareTarget;
    QVideoSink *m_output = nullptr;
    QTimer m_tick;
    QTimer m_switchTimeout;
    QTimer m_prepareDelay;

    ItemId m_item = 0;
    ItemId m_lastItem = 0;
    ItemStatus m_status = ItemStatus::unknown;
    QString m_error;
    std::vector<Piece> m_pieces;
    QSizeF m_renderSize{1920, 1080};
    bool m_direct = false;
    double m_directDuration = 0;

    int m_index = -1;
    double m_time = 0;           // held time while paused, switching or in a gap
    double m_lastReported = 0;   // keeps the running clock from stepping back
    double m_anchorTime = 0;     // and from leaping ahead: a time it stood at,
    QElapsedTimer m_anchorWall;  // and since when
    bool m_running = false;
    bool m_inTail = false;       // showing pictures past the media player's end, on m_gapClock
    QElapsedTimer m_gapClock;

    bool m_switching = false;    // waiting for the media player to reach m_target
    bool m_positionIssued = false;
    bool m_targetKnown = false;  // m_target and m_pieceFirstFrame looked up
    bool m_checkPlayhead = false; // paused, the picture on screen to be checked once looked up
    double m_target = 0;         // clip seconds being sought
    double m_pieceFirstFrame = 0; // clip seconds: start of the frame on screen at the piece's start

    std::function<void(bool)> m_seekCompletion;

    QVideoFrame m_frame;
    int m_frameDeck = -1;        // the deck that decoded m_frame
    QElapsedTimer m_frameWall;   // since m_frame was shown
    FrameConverter *m_converter = nullptr;
    quint64 m_frameTicket = 0;
    QSize m_displaySize;   // counts the pictures shown; names their conversions
    mutable QImage m_image;
    QImage m_display;
    QTransform m_displayTransform;
    mutable bool m_imageValid = false;
    quint64 m_framesShown = 0;
    quint64 m_framesDecoded = 0;
};

} // namespace routereel
