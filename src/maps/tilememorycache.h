#pragma once

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QString>

#include <list>

namespace routereel {

// Decoded tiles in memory, least recently used first out, bounded both by the
// bytes of their pixels and by their number. Safe to use from any thread.
class TileMemoryCache {
public:
    TileMemoryCache(qint64 costLimit, int countLimit);

    QImage find(const QString &key);
    void insert(const QString &key, const QImage &image);
    void clear();

    qint64 totalCost() const;
    int count() const;

    static qint64 costOf(const QImage &image) { return qint64(image.width()) * image.height() * 4; }

private:
    struct Entry {
        QString key;
        QImage image;
        qint64 cost;
    };
    void evictLocked();

    const qint64 m_costLimit;
    const int m_countLimit;
    mutable QMutex m_mutex;
    std::list<Entry> m_entries;  // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
    qint64 m_totalCost = 0;
};

} // namespace routereel
