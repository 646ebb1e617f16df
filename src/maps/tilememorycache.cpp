#include "tilememorycache.h"

namespace routereel {

TileMemoryCache::TileMemoryCache(qint64 costLimit, int countLimit)
    : m_costLimit(costLimit)
    , m_countLimit(countLimit)
{
}

QImage TileMemoryCache::find(const QString &key)
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_index.constFind(key);
    if (it == m_index.constEnd())
        return {};
    m_entries.splice(m_entries.begin(), m_entries, *it);
    return (*it)->image;
}

void TileMemoryCache::insert(const QString &key, const QImage &image)
{
    if (image.isNull())
        return;
    const qint64 cost = costOf(image);
    QMutexLocker lock(&m_mutex);
    if (const auto it = m_index.constFind(key); it != m_index.constEnd()) {
        m_totalCost -= (*it)->cost;
        m_entries.erase(*it);
        m_index.erase(it);
    }
    if (cost > m_costLimit)
        return;
    m_entries.push_front({key, image, cost});
    m_index.insert(key, m_entries.begin());
    m_totalCost += cost;
    evictLocked();
}

void TileMemoryCache::evictLocked()
{
    while (!m_entries.empty() && (m_totalCost > m_costLimit || qsizetype(m_entries.size()) > m_countLimit)) {
        const Entry &last = m_entries.back();
        m_totalCost -= last.cost;
        m_index.remove(last.key);
        m_entries.pop_back();
    }
}

void TileMemoryCache::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_index.clear();
    m_totalCost = 0;
}

qint64 TileMemoryCache::totalCost() const
{
    QMutexLocker lock(&m_mutex);
    return m_totalCost;
}

int TileMemoryCache::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}

} // namespace routereel
