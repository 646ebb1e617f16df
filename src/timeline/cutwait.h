#pragma once

#include "timeline/clipdeck.h"

#include <optional>

namespace routereel {

// A running player standing at a cut, or where a seek or Play put it, until the
// deck has decoded its first picture there: the clock and the sound stand with
// it, so that no picture of another piece or moment shows in its place.
class CutWait {
public:
    // Stands until `request` of `deck` has a picture at source second `source`.
    void begin(ClipDeck *deck, quint64 request, double source);
    void end() { m_deck = nullptr; }
    bool isWaiting() const { return m_deck != nullptr; }
    // Whether a picture queued for `request` of `deck` may end the wait.
    bool waitsFor(const ClipDeck *deck, quint64 request) const { return m_deck == deck && m_request == request; }
    // Waits for the picture at a later source second instead: the sound was heard past the cut.
    void moveTo(double source) { m_source = source; }
    // The picture, once the deck has it; the wait ends with it.
    std::optional<DeckPicture> take();

private:
    ClipDeck *m_deck = nullptr;
    quint64 m_request = 0;
    double m_source = 0;
};

} // namespace routereel
