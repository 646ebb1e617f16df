#pragma once

#include "changedclip.h"
#include "shownpicture.h"
#include "timeline/clipdeck.h"
#include "timeline/cutwait.h"
#include "timeline/previewclock.h"
#include "timeline/previewspans.h"
#include "timeline/previewplayer.h"

#include <QElapsedTimer>
#include <QTimer>

#include <array>
#include <functional>
#include <limits>
#include <optional>
#include <set>
#include <vector>

namespace routereel {

class PreviewSound;

// Plays a preview plan with two clip decks that decode with libav, as the export
// reads the files: the piece being played runs on one, while the other decodes the
// next piece's first pictures ahead, so that a cut is a switch of decks rather than
// a load. Black runs on the clock alone. The reported time is timeline time and
// never steps back while running; at a cut whose pictures are not decoded yet it
// stands until they are, so that no picture of another piece shows in its place.
class TimelinePlayer : public PreviewPlayer {
    Q_OBJECT

public:
    explicit TimelinePlayer(QObject *parent = nullptr);
    ~TimelinePlayer() override;

    ItemId replaceItem(std::optional<PreviewPlan> plan) override;
    ItemId currentItem() const override { return m_item; }
    ItemStatus itemStatus() const override { return m_status; }
    QString itemError() const override { return m_error; }

    void play() override;
    void pause() override;
    bool isPlaying() const override { return m_clock.isRunning() || m_cutWait.isWaiting(); }
    double currentTime() const override;
    void seek(double seconds, std::function<void(bool finished)> completion) override;

    QImage currentFrame() const override { return m_shown.image(); }
    QTransform currentFrameTransform() const override;
    QSizeF renderSize() const override { return m_renderSize; }
    void setDisplaySize(QSize pixels) override;

    // Pictures put on screen since the item was installed.
    quint64 framesShown() const { return m_framesShown; }
    // Pictures the decks have decoded, shown or not.
    quint64 framesDecoded() const;
    // The span the timeline time lies in; -1 before anything is installed.
    int currentPieceIndex() const { return m_index; }

private:
    struct Deck {
        ClipDeck *clip = nullptr;
        quint64 request = 0;   // its newest show or play request
        int span = -1;         // the span that request is for
        bool playing = false;  // the request decodes ahead
        quint64 scrubShown = 0; // the newest earlier request whose picture a scrub showed
        quint64 unreadable = 0; // a request that found no picture it could decode
        quint64 refused = 0;    // a request whose file refused a read
    };

    void enterSpan(int index, double time);
    void requestPicture();
    void prepareNext();
    int deckFor(const QString &path, int avoid = -1);
    void advance();
    void tick();
    void startClock();
    bool stopClock(double t, bool playOut = false);
    void cutSoundEnded(double time);
    bool resumeAfterCutSound();
    void updateSound();
    void deckOpened(int deck, const QString &path, bool ok, const QString &error);
    void deckShown(int deck, quint64 request, const DeckPicture &picture, bool final);
    void deckQueued(int deck, quint64 request);
    void deckUnreadable(int deck, quint64 request);
    void deckReadFailed(int deck, quint64 request, const QString &message);
    void deckOpenRefused(int deck, const QString &path, const QString &message);
    void tellRefused(const QString &path, const QString &message);
    void runOnOverRefusal(int deck);
    void failUnreadable(const PreviewSpan &span);
    void tell(double t);
    void showPicture(const DeckPicture &picture);
    void clearPicture();
    void finishSeek(bool finished);
    void setStatus(ItemStatus status, const QString &error = {});
    void failItem(const QString &message);
    void setRunning(bool running, bool playOut = false);
    bool checkLength(const PreviewSpan &span, double sourceSeconds);
    void restAt(double time);
    void restOn(double time);
    void soundStoppedAt(double time);
    double end() const;

    std::array<Deck, 2> m_decks;
    int m_active = 0;            // the deck of the span being shown
    PreviewClock m_clock;
    CutWait m_cutWait;           // running, but standing at m_time until the span's first picture comes
    // A cut reached while playing stopped the sound: where it ended, once the server tells.
    struct CutSound {
        bool awaited = false;
        double at = std::numeric_limits<double>::quiet_NaN();
        QElapsedTimer since;
    };
    CutSound m_cutSound;
    PreviewSound *m_sound = nullptr;
    ChangedClip m_changedClips;
    QTimer m_tick;

    ItemId m_item = 0;
    ItemId m_lastItem = 0;
    ItemStatus m_status = ItemStatus::unknown;
    QString m_error;
    std::vector<PreviewSpan> m_spans;
    QSizeF m_renderSize{1920, 1080};
    QSize m_displaySize;

    int m_index = -1;
    double m_time = 0;           // where the playhead stands while not running
    double m_told = 0;           // the time last told (periodicTime): a pause stops there
    bool m_wantsToRun = false;   // play was asked for
    bool m_restsWherePaused = false; // paused, and the playhead not moved since
    bool m_awaitingPicture = false; // paused: the picture at m_time is still being decoded
    std::function<void(bool)> m_seekCompletion;

    std::set<QString> m_toldRefused; // clips whose refused read was told, for this item
    ShownPicture m_shown;
    quint64 m_framesShown = 0;
};

} // namespace routereel
