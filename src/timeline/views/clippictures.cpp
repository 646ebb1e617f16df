#include "clippictures.h"

#include "timeline/sourceframes.h"

#include <QCoreApplication>
#include <QException>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <limits>

namespace routereel {

namespace {

// Whether the clip has a picture starting at or after `end` (libav's clock): read
// from the packets around it, without decoding.
bool picturesFrom(const QString &path, double end)
{
    try {
        SourceFrameReader reader(path);
        // Past the end: the last picture. A sane time, as the reader converts it to ticks.
        const auto last = reader.frameAt(std::max(0.0, end - reader.startTime()) + 60);
        return last && reader.startTime() + last->start >= end;
    } catch (const QException &) {
        return false;
    }
}

} // namespace

ClipPictures::ClipPictures(QObject *parent)
    : QObject(parent)
    , m_cancel(std::make_shared<std::atomic<bool>>(false))
{
}

ClipPictures::~ClipPictures()
{
    // A long GOP takes seconds to decode; nobody waits for it now.
    *m_cancel = true;
}

void ClipPictures::requestTail(const QString &path, double end)
{
    if (!m_tails.try_emplace(path).second)
        return;
    QPointer<ClipPictures> self(this);
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    QThreadPool::globalInstance()->start([self, cancel, path, end] {
        std::vector<ClipTail::Picture> pictures;
        if (picturesFrom(path, end))
            pictures = ClipTail::decode(path, end, 16, cancel.get());
        if (*cancel)
            return;
        QMetaObject::invokeMethod(qApp, [self, path, pictures = std::move(pictures)]() mutable {
            if (!self)
                return;
            const auto it = self->m_tails.find(path);
            if (it == self->m_tails.end() || it->second)
                return;
            it->second = std::move(pictures);
            emit self->ready(path);
        }, Qt::QueuedConnection);
    });
}

const std::vector<ClipTail::Picture> *ClipPictures::tail(const QString &path) const
{
    const auto it = m_tails.find(path);
    return it == m_tails.end() || !it->second ? nullptr : &*it->second;
}

ClipPictures::LeadingKey ClipPictures::leadingKey(const QString &path, double at)
{
    return {path, std::llround(at * 1e6)};
}

void ClipPictures::requestLeading(const QString &path, double at)
{
    const LeadingKey key = leadingKey(path, at);
    if (m_leading.count(key))
        return;
    m_leading.emplace(key, std::nullopt);
    QPointer<ClipPictures> self(this);
    const std::shared_ptr<std::atomic<bool>> cancel = m_cancel;
    QThreadPool::globalInstance()->start([self, cancel, path, at, key] {
        ClipTail::Picture picture = ClipTail::leadingPicture(path, at, cancel.get()).value_or(ClipTail::Picture{});
        if (*cancel)
            return;
        QMetaObject::invokeMethod(qApp, [self, key, picture = std::move(picture)] {
            if (!self)
                return;
            const auto it = self->m_leading.find(key);
            if (it == self->m_leading.end() || it->second)
                return;
            it->second = picture;
            emit self->ready(key.first);
        }, Qt::QueuedConnection);
    });
}

std::optional<ClipTail::Picture> ClipPictures::leading(const QString &path, double at) const
{
    const auto it = m_leading.find(leadingKey(path, at));
    return it == m_leading.end() ? std::nullopt : it->second;
}

void ClipPictures::keepOnly(const std::vector<QString> &kept)
{
    const auto used = [&](const QString &path) { return std::find(kept.begin(), kept.end(), path) != kept.end(); };
    for (auto it = m_tails.begin(); it != m_tails.end();)
        it = used(it->first) ? std::next(it) : m_tails.erase(it);
    for (auto it = m_leading.begin(); it != m_leading.end();)
        it = used(it->first.first) ? std::next(it) : m_leading.erase(it);
}

void ClipPictures::forget(const QString &path)
{
    m_tails.erase(path);
    for (auto it = m_leading.begin(); it != m_leading.end();)
        it = it->first.first == path ? m_leading.erase(it) : std::next(it);
}

} // namespace routereel
