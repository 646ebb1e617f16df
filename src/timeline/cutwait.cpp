#include "cutwait.h"

namespace routereel {

void CutWait::begin(ClipDeck *deck, quint64 request, double source)
{
    m_deck = deck;
    m_request = request;
    m_source = source;
}

std::optional<DeckPicture> CutWait::take()
{
    if (!m_deck)
        return std::nullopt;
    std::optional<DeckPicture> picture = m_deck->take(m_request, m_source);
    if (picture)
        m_deck = nullptr;
    return picture;
}

} // namespace routereel
