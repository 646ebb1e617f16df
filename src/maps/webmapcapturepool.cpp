#include "maps/webmapcapturepool.h"

#include <QSemaphore>
#include <QtDebug>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace routereel {

WebMapCapturePool::WebMapCapturePool(OSMWebMapExportRenderer *first) : m_first(first)
{
    if (first)
        m_ready.push_back(first);
}

WebMapCapturePool::~WebMapCapturePool()
{
    if (m_own.empty())
        return;
    OSMWebMapExportRenderer::runOnMainThread([own = m_own] {
        for (OSMWebMapExportRenderer *page : own) {
            page->shutdown();
            delete page;
        }
    });
}

namespace {
std::atomic<int> pageCountOverride{0};
} // namespace

int WebMapCapturePool::pageCount(bool turns, int processors)
{
    if (const int pages = pageCountOverride; turns && pages > 0)
        return pages;
    return turns && processors >= 4 ? 2 : 1;
}

void WebMapCapturePool::overridePageCountForBenchmarks(std::optional<int> pages)
{
    pageCountOverride = pages ? std::max(1, *pages) : 0;
}

std::vector<OSMWebMapExportRenderer *> WebMapCapturePool::makePages(
    int count, const OSMWebMapExportRenderer::IsCancelled &isCancelled)
{
    struct Handover {
        std::mutex lock;
        bool abandoned = false;
        std::vector<OSMWebMapExportRenderer *> pages;
        QSemaphore done;
    };
    auto handover = std::make_shared<Handover>();
    OSMWebMapExportRenderer::runOnMainThread([handover, first = m_first, count] {
        std::lock_guard lock(handover->lock);
        if (!handover->abandoned && first) {
            for (int k = 0; k < count; ++k)
                handover->pages.push_back(first->makeSibling().release());
        }
        handover->done.release();
    });
    // The main thread may be busy or the export cancelled: then there are no more pages.
    while (!handover->done.tryAcquire(1, 100)) {
        if (isCancelled && isCancelled()) {
            std::lock_guard lock(handover->lock);
            if (handover->pages.empty()) {
                handover->abandoned = true;
                return {};
            }
            break;
        }
    }
    std::lock_guard lock(handover->lock);
    return handover->pages;
}

bool WebMapCapturePool::prepareForFrames(const QList<TrackPoint> &points, const QList<int> &breaks, int zoom,
                                         std::chrono::milliseconds readyTimeout,
                                         const std::function<void(double)> &progress,
                                         const OSMWebMapExportRenderer::IsCancelled &isCancelled,
                                         const std::optional<QList<TrackPoint>> &viewCentres, bool turns, int pages)
{
    if (!m_first)
        return false;
    const std::vector<OSMWebMapExportRenderer *> more = pages > size() ? makePages(pages - size(), isCancelled)
                                                                       : std::vector<OSMWebMapExportRenderer *>();
    m_own.insert(m_own.end(), more.begin(), more.end());
    // Each page loads and warms up in its own renderer process; they are prepared side by side.
    std::vector<char> prepared(more.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < more.size(); ++k) {
        threads.emplace_back([&, k] {
            prepared[k] = more[k]->prepareForFrames(points, breaks, zoom, readyTimeout, {}, isCancelled,
                                                    viewCentres, turns);
        });
    }
    const bool firstPrepared = m_first->prepareForFrames(points, breaks, zoom, readyTimeout, progress, isCancelled,
                                                         viewCentres, turns);
    for (std::thread &t : threads)
        t.join();
    m_ready.clear();
    if (!firstPrepared) {
        // Raster tiles instead: the other pages go now, not with the pool.
        OSMWebMapExportRenderer::runOnMainThread([more] {
            for (OSMWebMapExportRenderer *page : more)
                page->shutdown();
        });
        return false;
    }
    m_ready.push_back(m_first.data());
    for (std::size_t k = 0; k < more.size(); ++k) {
        if (prepared[k])
            m_ready.push_back(more[k]);
    }
    if (m_ready.size() < more.size() + 1)
        qWarning().noquote() << QStringLiteral("[OSMWebMapExportRenderer] %1 of %2 capture pages ready")
                                    .arg(m_ready.size())
                                    .arg(more.size() + 1);
    return true;
}

OSMWebMapExportRenderer::CaptureStats WebMapCapturePool::captureStats() const
{
    OSMWebMapExportRenderer::CaptureStats sum;
    for (const OSMWebMapExportRenderer *page : m_ready) {
        const auto stats = page->captureStats();
        sum.made += stats.made;
        sum.reused += stats.reused;
        sum.seconds += stats.seconds;
    }
    return sum;
}

} // namespace routereel
