#include "maps/osmwebmapexportrenderer.h"

#include "maps/mappages.h"
#include "maps/webmercator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <cmath>

namespace routereel {

namespace {

// Web Mercator pixels of a 512-px world at `zoom`; longitude unwrapped near `nearX`.
QPointF worldPixel(double lng, double lat, int zoom, std::optional<double> nearX = {})
{
    const double world = std::ldexp(512.0, zoom);
    double x = webmercator::x(lng, world);
    if (nearX)
        x = webmercator::unwrapNear(x, *nearX, world);
    return {x, webmercator::y(lat, world)};
}

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

struct ResultBox {
    std::mutex lock;
    std::optional<QVariant> value;
    // For the capture trace: when the main thread sent the call and got its answer.
    std::chrono::steady_clock::time_point issued, answered;
};

// ROUTEREEL_CAPTURE_TRACE=1 logs where each capture's time goes.
bool tracesCaptures()
{
    static const bool on = qEnvironmentVariableIntValue("ROUTEREEL_CAPTURE_TRACE") > 0;
    return on;
}

double millisecondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

thread_local std::chrono::steady_clock::time_point lastIssued, lastAnswered;

QJsonArray intArray(const QList<int> &values)
{
    QJsonArray out;
    for (int v : values)
        out.append(v);
    return out;
}

} // namespace

OSMWebMapExportRenderer::LoadDeadline OSMWebMapExportRenderer::LoadDeadline::after(std::chrono::milliseconds wait)
{
    return {std::chrono::steady_clock::now() + wait, QDateTime::currentMSecsSinceEpoch() + wait.count()};
}

OSMWebMapExportRenderer::OSMWebMapExportRenderer(Kind kind, const QString &language, const QSizeF &referenceSize,
                                                 double pixelRatio, WebMapPageFactory factory,
                                                 const std::optional<WebMapPageView> &initialView,
                                                 const std::optional<LoadDeadline> &loadDeadline)
    : m_kind(kind)
    , m_language(language)
    , m_referenceSize(referenceSize)
    , m_expectedPixelSize(referenceSize.width() * pixelRatio, referenceSize.height() * pixelRatio)
    , m_pixelRatio(pixelRatio)
    , m_initialView(initialView)
    , m_loadDeadline(loadDeadline ? *loadDeadline : LoadDeadline::after(MapPages::exportLoadTimeout()))
{
    Q_ASSERT(onMainThread());
    if (!factory)
        factory = webMapPageFactory();
    m_factory = factory;
    if (!factory) {
        // No web engine in this process (core build, or prepareWebMapRuntime not called):
        // the page never gets ready and the export draws raster tiles.
        qWarning().noquote() << QStringLiteral("[OSMWebMapExportRenderer] no web page available");
        return;
    }
    WebMapPageRequest request;
    request.kind = kind;
    request.referenceSize = referenceSize;
    request.pixelRatio = pixelRatio;
    request.readyMessage = handlerName();
    request.onReady = [this] {
        std::lock_guard lock(m_stateLock);
        m_isReady = true;
        m_readyChanged.notify_all();
    };
    request.onFailed = [this](const QString &reason) {
        qWarning().noquote() << QStringLiteral("[OSMWebMapExportRenderer] page cannot draw the map (%1)").arg(reason.left(120));
        std::lock_guard lock(m_stateLock);
        m_pageFailed = true;
        m_readyChanged.notify_all();
    };
    request.initialView = initialView;
    request.loadDeadline = m_loadDeadline.msecsSinceEpoch;
    m_page = factory(request);
}

OSMWebMapExportRenderer::~OSMWebMapExportRenderer()
{
    shutdown();
}

std::unique_ptr<OSMWebMapExportRenderer> OSMWebMapExportRenderer::makeSibling() const
{
    auto sibling = std::make_unique<OSMWebMapExportRenderer>(m_kind, m_language, m_referenceSize, m_pixelRatio,
                                                             m_factory, m_initialView, m_loadDeadline);
    sibling->m_reusesCaptures = m_reusesCaptures;
    return sibling;
}

QString OSMWebMapExportRenderer::mapWidgetPageHTML(double width, double height, double pixelRatio, bool preview)
{
    return MapPages::mapWidgetPageHTML(width, height, pixelRatio, preview);
}

QString OSMWebMapExportRenderer::gpsPathPageHTML(double width, double height, double pixelRatio, bool preview)
{
    return MapPages::gpsPathPageHTML(width, height, pixelRatio, preview);
}

QString OSMWebMapExportRenderer::handlerName() const
{
    return m_kind == Kind::mapWidget ? QStringLiteral("mapReady") : QStringLiteral("pathMapReady");
}

bool OSMWebMapExportRenderer::isReady() const
{
    std::lock_guard lock(m_stateLock);
    return m_isReady;
}

void OSMWebMapExportRenderer::shutdown()
{
    {
        std::lock_guard lock(m_stateLock);
        if (m_didShutdown)
            return;
        m_didShutdown = true;
    }
    if (!m_page)
        return;
    Q_ASSERT(onMainThread());
    m_page->shutdown();
    m_page.reset();
}

void OSMWebMapExportRenderer::runOnMainThread(std::function<void()> body)
{
    if (onMainThread()) {
        body();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(body), Qt::QueuedConnection);
}

void OSMWebMapExportRenderer::assertBackground(const char *what) const
{
    // Blocking the main thread here would deadlock: the page answers on it.
    if (onMainThread())
        qFatal("OSMWebMapExportRenderer::%s called on the main thread", what);
}

std::optional<QVariant> OSMWebMapExportRenderer::callPage(const QString &body, const WebMapPage::Arguments &args,
                                                          double limitSeconds, const IsCancelled &stop)
{
    return askOnMainThread([body, args](WebMapPage &page, WebMapPage::Done done) { page.call(body, args, done); },
                           limitSeconds, stop);
}

std::optional<QVariant> OSMWebMapExportRenderer::evaluateInPage(const QString &function,
                                                                const WebMapPage::Arguments &args,
                                                                double limitSeconds, const IsCancelled &stop)
{
    // The values go in as one JSON array, never substituted into the script's text.
    QJsonArray values;
    for (const auto &[name, value] : args)
        values.append(value);
    const QString script = function + QStringLiteral(".apply(null,")
        + QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact)) + QLatin1Char(')');
    return askOnMainThread([script](WebMapPage &page, WebMapPage::Done done) { page.evaluate(script, done); },
                           limitSeconds, stop);
}

std::optional<QVariant> OSMWebMapExportRenderer::askOnMainThread(
    const std::function<void(WebMapPage &, WebMapPage::Done)> &send, double limitSeconds, const IsCancelled &stop)
{
    if (stop && stop())
        return std::nullopt;
    auto box = std::make_shared<ResultBox>();
    auto signal = std::make_shared<QSemaphore>();
    QPointer<OSMWebMapExportRenderer> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, send, box, signal] {
            if (!self || !self->m_page) {
                signal->release();
                return;
            }
            {
                std::lock_guard lock(box->lock);
                box->issued = std::chrono::steady_clock::now();
            }
            send(*self->m_page, [box, signal](std::optional<QVariant> value) {
                {
                    std::lock_guard lock(box->lock);
                    box->value = std::move(value);
                    box->answered = std::chrono::steady_clock::now();
                }
                signal->release();
            });
        },
        Qt::QueuedConnection);

    const auto deadline = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(static_cast<qint64>(limitSeconds * 1000));
    while (true) {
        if (signal->tryAcquire(1, 100)) {
            std::lock_guard lock(box->lock);
            lastIssued = box->issued;
            lastAnswered = box->answered;
            return box->value;
        }
        // A call that ran out keeps running in the page; its late answer lands in the dropped box.
        if ((stop && stop()) || std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
    }
}

bool OSMWebMapExportRenderer::waitUntilReady(std::chrono::milliseconds timeout, const IsCancelled &isCancelled) const
{
    // Woken by the page's ready message; a cancel is noticed within 0.1 s. The
    // page says itself when its deadline has passed; should that word be late
    // (a busy main thread), the export does not wait for it much longer.
    constexpr auto pageWordGrace = std::chrono::milliseconds(250);
    const auto deadline = std::min(std::chrono::steady_clock::now() + timeout, m_loadDeadline.at + pageWordGrace);
    std::unique_lock lock(m_stateLock);
    while (!m_isReady) {
        const auto now = std::chrono::steady_clock::now();
        // A page that said it cannot load its map never gets ready.
        if (m_pageFailed)
            return false;
        if (now >= m_loadDeadline.at + pageWordGrace) {
            // The same rule as the page's, heard from here: its word is only late.
            m_pageFailed = true;
            qWarning().noquote()
                << QStringLiteral("[OSMWebMapExportRenderer] page cannot draw the map (not loaded by the deadline)");
            return false;
        }
        if (now >= deadline)
            return false;
        lock.unlock();
        const bool cancelled = isCancelled && isCancelled();
        lock.lock();
        if (cancelled)
            return false;
        m_readyChanged.wait_for(lock, std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                     std::chrono::milliseconds(100)));
    }
    return true;
}

OSMWebMapExportRenderer::CaptureStats OSMWebMapExportRenderer::captureStats() const
{
    std::lock_guard lock(m_stateLock);
    return m_captureStats;
}

bool OSMWebMapExportRenderer::didShutdown() const
{
    std::lock_guard lock(m_stateLock);
    return m_didShutdown;
}

bool OSMWebMapExportRenderer::prepareForFrames(const QList<TrackPoint> &points, const QList<int> &breaks, int zoom,
                                               std::chrono::milliseconds readyTimeout,
                                               const std::function<void(double)> &progress,
                                               const IsCancelled &isCancelled,
                                               const std::optional<QList<TrackPoint>> &viewCentres, bool turns)
{
    assertBackground("prepareForFrames");
    QList<QPointF> coords;
    coords.reserve(points.size());
    for (const TrackPoint &p : points)
        coords.append(QPointF(p.lng, p.lat));
    const auto prepare = [&] {
        if (!waitUntilReady(readyTimeout, isCancelled) || !askPage(isCancelled))
            return false;
        if (!m_drawsTrack || !m_reusesCaptures) {
            if (!loadTrack(coords, breaks, isCancelled))
                return false;
            warmUp(viewCentres ? *viewCentres : points, zoom, progress, isCancelled);
            return true;
        }
        // The page draws only the map: it needs the language, not the track
        // (a long track would be held once more in every page).
        const auto answer = callPage(QStringLiteral("setMapLanguage(lang); return 'ok';"),
                                     {{QStringLiteral("lang"), m_language}}, 30, isCancelled);
        if (!answer || answer->toString() != QLatin1String("ok"))
            return false;
        forgetCaptures();
        m_overlay.setTrack(coords, breaks);
        if (turns || !viewCentres || viewCentres->isEmpty()) {
            // Captured frame by frame: only the tiles are fetched ahead.
            warmUp(viewCentres ? *viewCentres : points, zoom, progress, isCancelled);
            return true;
        }
        const TrackPoint &first = viewCentres->first();
        if (!takeBase({first.lng, first.lat, 0, zoom, baseMargin(m_referenceSize)}, isCancelled))
            return false;
        if (progress)
            progress(1);
        return true;
    };
    if (!prepare()) {
        QPointer<OSMWebMapExportRenderer> self(this);
        runOnMainThread([self] {
            if (self)
                self->shutdown();
        });
        return false;
    }
    return true;
}

QList<QPointF> OSMWebMapExportRenderer::warmUpStops(const QList<TrackPoint> &points, int zoom,
                                                    const QSizeF &referenceSize)
{
    QList<QPointF> stops;
    if (points.isEmpty())
        return stops;
    const double threshold = std::max(referenceSize.width(), referenceSize.height()) / 2;
    const auto pixel = [zoom](const TrackPoint &p) { return worldPixel(p.lng, p.lat, zoom); };
    QPointF last = pixel(points.first());
    stops.append(QPointF(points.first().lng, points.first().lat));
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF p = pixel(points[i]);
        if (std::abs(p.x() - last.x()) > threshold || std::abs(p.y() - last.y()) > threshold) {
            stops.append(QPointF(points[i].lng, points[i].lat));
            last = p;
        }
    }
    return stops;
}

void OSMWebMapExportRenderer::warmUp(const QList<TrackPoint> &points, int zoom,
                                     const std::function<void(double)> &progress, const IsCancelled &isCancelled)
{
    assertBackground("warmUp");
    const QList<QPointF> stops = warmUpStops(points, zoom, m_referenceSize);
    if (stops.isEmpty())
        return;
    qInfo().noquote() << QStringLiteral("[OSMWebMapExportRenderer] warmup %1 stops, zoom=%2").arg(stops.size()).arg(zoom);
    for (qsizetype i = 0; i < stops.size(); ++i) {
        if (isCancelled && isCancelled())
            return;
        // A stop that times out is passed: the capture will wait for its tiles.
        callPage(QStringLiteral("return warmStep(lng,lat,z);"),
                 {{QStringLiteral("lng"), stops[i].x()}, {QStringLiteral("lat"), stops[i].y()}, {QStringLiteral("z"), zoom}},
                 12, isCancelled);
        if (progress)
            progress(double(i + 1) / double(stops.size()));
    }
}

std::optional<QImage> OSMWebMapExportRenderer::decodeCapture(const std::optional<QVariant> &result)
{
    if (!result || result->typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = result->toString();
    if (text.startsWith(QLatin1String("ERR:")))
        return std::nullopt;
    const qsizetype marker = text.indexOf(QLatin1String("base64,"));
    if (marker < 0)
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromBase64(text.mid(marker + 7).toLatin1());
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes))
        return std::nullopt;
    return image;
}

std::optional<QImage> OSMWebMapExportRenderer::decodePixels(const std::optional<QVariant> &result,
                                                            const QSizeF &expected)
{
    if (!result || result->typeId() != QMetaType::QByteArray)
        return std::nullopt;
    const QByteArray bytes = result->toByteArray();
    if (bytes.size() < 8)
        return std::nullopt;
    const auto word = [&bytes](qsizetype at) {
        const auto *p = reinterpret_cast<const uchar *>(bytes.constData()) + at;
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    };
    const quint32 width = word(bytes.size() - 8);
    const quint32 height = word(bytes.size() - 4);
    if (width == 0 || height == 0 || width > 16384 || height > 16384
        || qsizetype(width) * height * 4 + 8 != bytes.size()
        || !sizeAccepted(QSize(int(width), int(height)), expected))
        return std::nullopt;
    QImage image(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return std::nullopt;
    // GL rows run bottom up; RGBA bytes become the native 0xAARRGGBB.
    for (int y = 0; y < int(height); ++y) {
        const auto *src = reinterpret_cast<const uchar *>(bytes.constData()) + qsizetype(height - 1 - y) * width * 4;
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (quint32 x = 0; x < width; ++x, src += 4)
            dst[x] = quint32(src[3]) << 24 | quint32(src[0]) << 16 | quint32(src[1]) << 8 | src[2];
    }
    return image;
}

bool OSMWebMapExportRenderer::sizeAccepted(const QSize &size, const QSizeF &expected)
{
    return std::abs(size.width() - expected.width()) <= 2 && std::abs(size.height() - expected.height()) <= 2;
}

namespace {

// A capture serves another frame only at the same zoom and within a tenth of a degree of bearing.
bool sameView(int zoomA, double bearingA, int zoomB, double bearingB)
{
    return zoomA == zoomB && std::abs(std::remainder(bearingA - bearingB, 360.0)) < 0.1;
}

} // namespace

std::optional<QPointF> OSMWebMapExportRenderer::reuseOffset(const FrameKey &captured, const FrameKey &wanted,
                                                            double pixelRatio)
{
    constexpr double maxPixels = 0.25;
    if (captured.idx != wanted.idx || !sameView(captured.zoom, captured.bearing, wanted.zoom, wanted.bearing))
        return std::nullopt;
    const QPointF centreFrom = worldPixel(captured.mapLng, captured.mapLat, captured.zoom);
    const QPointF centre = (worldPixel(wanted.mapLng, wanted.mapLat, wanted.zoom, centreFrom.x()) - centreFrom)
        * pixelRatio;
    const QPointF dotFrom = worldPixel(captured.curLng, captured.curLat, captured.zoom);
    const QPointF dot = (worldPixel(wanted.curLng, wanted.curLat, wanted.zoom, dotFrom.x()) - dotFrom) * pixelRatio;
    // The position marker is drawn in the capture: it must stay where the moved capture puts it.
    const QPointF markerRest = dot - centre;
    if (!(std::hypot(centre.x(), centre.y()) < maxPixels) || !(std::hypot(markerRest.x(), markerRest.y()) < maxPixels))
        return std::nullopt;
    // The new centre as seen on the captured (rotated) map; the picture moves the other way.
    const double b = captured.bearing * M_PI / 180;
    const QPointF onScreen(std::cos(b) * centre.x() + std::sin(b) * centre.y(),
                           -std::sin(b) * centre.x() + std::cos(b) * centre.y());
    return -onScreen;
}

QImage OSMWebMapExportRenderer::shifted(const QImage &image, QPointF offset)
{
    // Each output pixel reads the source at (x - dx, y - dy).
    return cropped(image, -offset, image.size());
}

std::optional<QImage> OSMWebMapExportRenderer::capture(const QString &body, const WebMapPage::Arguments &args,
                                                       double limitSeconds, const QSizeF &expected,
                                                       const IsCancelled &isCancelled)
{
    const auto started = std::chrono::steady_clock::now();
    const auto account = [&](std::optional<QImage> image) { return counted(std::move(image), started); };
    for (int attempt = 1; attempt <= 2; ++attempt) {
        const auto asked = std::chrono::steady_clock::now();
        // Traced, the page also says when (wall clock, ms) it started and finished.
        QString script = body;
        if (tracesCaptures())
            script = QStringLiteral("var t0=performance.timeOrigin+performance.now();var r=await (async function(){")
                + body + QStringLiteral("})();return [r,t0,performance.timeOrigin+performance.now()];");
        const auto issuedWall = std::chrono::system_clock::now();
        auto result = callPage(script, args, limitSeconds, isCancelled);
        double pageStart = 0, pageEnd = 0;
        if (tracesCaptures() && result && result->typeId() == QMetaType::QVariantList) {
            const QVariantList parts = result->toList();
            pageStart = parts.value(1).toDouble();
            pageEnd = parts.value(2).toDouble();
            result = parts.value(0);
        }
        if (isCancelled && isCancelled())
            return account(std::nullopt);
        const auto woke = std::chrono::steady_clock::now();
        const auto image = decodeCapture(result);
        if (tracesCaptures()) {
            const auto decoded = std::chrono::steady_clock::now();
            const double issuedMs
                = std::chrono::duration<double, std::milli>(issuedWall.time_since_epoch()).count()
                + millisecondsBetween(asked, lastIssued);
            const double answeredMs = issuedMs + millisecondsBetween(lastIssued, lastAnswered);
            qInfo().noquote() << QStringLiteral("[capture-trace] %1 to-page %7 in-page %8 back %9 queued %2 page %3 "
                                                "handover %4 decode %5 ms, %6 chars")
                                     .arg(quintptr(this) % 997)
                                     .arg(millisecondsBetween(asked, lastIssued), 0, 'f', 1)
                                     .arg(millisecondsBetween(lastIssued, lastAnswered), 0, 'f', 1)
                                     .arg(millisecondsBetween(lastAnswered, woke), 0, 'f', 1)
                                     .arg(millisecondsBetween(woke, decoded), 0, 'f', 1)
                                     .arg(result ? result->toString().size() : 0)
                                     .arg(pageStart - issuedMs, 0, 'f', 1)
                                     .arg(pageEnd - pageStart, 0, 'f', 1)
                                     .arg(answeredMs - pageEnd, 0, 'f', 1);
        }
        if (image && sizeAccepted(image->size(), expected))
            return account(image);
        qWarning().noquote() << QStringLiteral("[OSMWebMapExportRenderer] capture failed, attempt %1/2").arg(attempt);
    }
    return account(std::nullopt);
}

std::optional<QImage> OSMWebMapExportRenderer::counted(std::optional<QImage> image,
                                                      std::chrono::steady_clock::time_point started)
{
    std::lock_guard lock(m_stateLock);
    m_captureStats.made += image ? 1 : 0;
    m_captureStats.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return image;
}

void OSMWebMapExportRenderer::forgetCaptures()
{
    // The memo belongs to the old track.
    m_lastKey.reset();
    m_lastImage.reset();
    m_baseView.reset();
    m_base = QImage();
}

void OSMWebMapExportRenderer::countReused()
{
    std::lock_guard lock(m_stateLock);
    ++m_captureStats.reused;
}

std::optional<QImage> OSMWebMapExportRenderer::captureFrame(int idx, double curLng, double curLat, double mapLng,
                                                            double mapLat, double bearing, int zoom,
                                                            const IsCancelled &isCancelled)
{
    assertBackground("captureFrame");
    if (isCancelled && isCancelled())
        return std::nullopt;
    const FrameKey key{idx, curLng, curLat, mapLng, mapLat, bearing, zoom};
    if (m_reusesCaptures && !m_askedPage && !askPage(isCancelled))
        return std::nullopt;
    if (m_drawsTrack && m_reusesCaptures)
        return composedFrame(key, isCancelled);
    if (m_lastKey && m_lastImage) {
        const auto offset = *m_lastKey == key ? std::optional<QPointF>(QPointF())
            : m_reusesCaptures              ? reuseOffset(*m_lastKey, key, m_pixelRatio)
                                            : std::nullopt;
        if (offset) {
            countReused();
            return offset->isNull() ? *m_lastImage : shifted(*m_lastImage, *offset);
        }
    }
    const WebMapPage::Arguments args{{QStringLiteral("idx"), idx},       {QStringLiteral("curLng"), curLng},
                                     {QStringLiteral("curLat"), curLat}, {QStringLiteral("mapLng"), mapLng},
                                     {QStringLiteral("mapLat"), mapLat}, {QStringLiteral("bearing"), bearing},
                                     {QStringLiteral("z"), zoom}};
    auto image = capture(QStringLiteral("return renderAndCapture(idx,curLng,curLat,mapLng,mapLat,bearing,z);"), args,
                         5, m_expectedPixelSize, isCancelled);
    if (image) {
        m_lastKey = key;
        m_lastImage = image;
    }
    return image;
}

std::optional<QPointF> OSMWebMapExportRenderer::offsetInBase(const BaseView &base, const QSize &baseSize,
                                                             const FrameKey &wanted, const QSizeF &referenceSize,
                                                             double pixelRatio, bool rasterOnly)
{
    if (!sameView(base.zoom, base.bearing, wanted.zoom, wanted.bearing))
        return std::nullopt;
    const QPointF from = worldPixel(base.mapLng, base.mapLat, base.zoom);
    const QPointF to = worldPixel(wanted.mapLng, wanted.mapLat, wanted.zoom, from.x());
    // MapLibre puts raster images on whole CSS pixels of the view (half pixels
    // when the view's side is odd), wherever the centre falls between them.
    const auto anchor = [rasterOnly](double v, double side) {
        if (!rasterOnly)
            return v;
        return qRound(side) % 2 ? std::floor(v) + 0.5 : std::round(v);
    };
    const double dx = anchor(to.x(), referenceSize.width()) - anchor(from.x(), referenceSize.width());
    const double dy = anchor(to.y(), referenceSize.height()) - anchor(from.y(), referenceSize.height());
    const double b = base.bearing * M_PI / 180;
    const QPointF onScreen(std::cos(b) * dx + std::sin(b) * dy, -std::sin(b) * dx + std::cos(b) * dy);
    const QPointF topLeft = QPointF(base.margin.width(), base.margin.height()) * pixelRatio + onScreen * pixelRatio;
    const double width = std::floor(referenceSize.width() * pixelRatio);
    const double height = std::floor(referenceSize.height() * pixelRatio);
    constexpr double slack = 1e-6;
    if (topLeft.x() < -slack || topLeft.y() < -slack || std::ceil(topLeft.x() + width - slack) > baseSize.width()
        || std::ceil(topLeft.y() + height - slack) > baseSize.height())
        return std::nullopt;
    return QPointF(std::max(0.0, topLeft.x()), std::max(0.0, topLeft.y()));
}

QImage OSMWebMapExportRenderer::cropped(const QImage &image, QPointF topLeft, QSize size)
{
    const QImage source = image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    const int w = source.width();
    const int h = source.height();
    if (w == 0 || h == 0 || size.isEmpty())
        return out;
    int ix = int(std::floor(topLeft.x()));
    int iy = int(std::floor(topLeft.y()));
    int fx = int(std::lround((topLeft.x() - ix) * 256));
    int fy = int(std::lround((topLeft.y() - iy) * 256));
    if (fx == 256) {
        ++ix;
        fx = 0;
    }
    if (fy == 256) {
        ++iy;
        fy = 0;
    }
    if (fx == 0 && fy == 0 && ix >= 0 && iy >= 0 && ix + size.width() <= w && iy + size.height() <= h) {
        // Whole pixels: a plain copy.
        for (int y = 0; y < size.height(); ++y) {
            const auto *row = reinterpret_cast<const quint32 *>(source.constScanLine(y + iy)) + ix;
            std::copy(row, row + size.width(), reinterpret_cast<quint32 *>(out.scanLine(y)));
        }
        return out;
    }
    const auto clampX = [w](int x) { return std::clamp(x, 0, w - 1); };
    const auto clampY = [h](int y) { return std::clamp(y, 0, h - 1); };
    for (int y = 0; y < size.height(); ++y) {
        const auto *row0 = reinterpret_cast<const quint32 *>(source.constScanLine(clampY(y + iy)));
        const auto *row1 = reinterpret_cast<const quint32 *>(source.constScanLine(clampY(y + iy + 1)));
        auto *dst = reinterpret_cast<quint32 *>(out.scanLine(y));
        const int weight[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
        for (int x = 0; x < size.width(); ++x) {
            const int x0 = clampX(x + ix);
            const int x1 = clampX(x + ix + 1);
            const quint32 p[4] = {row0[x0], row0[x1], row1[x0], row1[x1]};
            quint32 pixel = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                int sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += int((p[k] >> shift) & 0xff) * weight[k];
                pixel |= quint32((sum + 32768) >> 16) << shift;
            }
            dst[x] = pixel;
        }
    }
    return out;
}

std::optional<QImage> OSMWebMapExportRenderer::captureBase(const BaseView &view, const IsCancelled &isCancelled)
{
    const WebMapPage::Arguments args{{QStringLiteral("mapLng"), view.mapLng},
                                     {QStringLiteral("mapLat"), view.mapLat},
                                     {QStringLiteral("bearing"), view.bearing},
                                     {QStringLiteral("z"), view.zoom},
                                     {QStringLiteral("marginX"), view.margin.width()},
                                     {QStringLiteral("marginY"), view.margin.height()}};
    const QSizeF expected((m_referenceSize.width() + 2 * view.margin.width()) * m_pixelRatio,
                          (m_referenceSize.height() + 2 * view.margin.height()) * m_pixelRatio);
    // Read back as raw pixels when the page draws the view at once: no PNG to
    // encode in the page and decode here, nor its text through the channel.
    // A page still waiting for tiles answers otherwise: it is read back once
    // it has drawn them. The read-back never waits, so a page that takes
    // seconds has stalled; the PNG capture below is what is left then.
    const auto started = std::chrono::steady_clock::now();
    const auto readBack = [&] { return evaluateInPage(QStringLiteral("captureBasePixels"), args, 5, isCancelled); };
    const auto first = readBack();
    if (auto pixels = decodePixels(first, expected))
        return counted(std::move(pixels), started);
    if (first && first->toString() == QLatin1String("wait")) {
        const auto idle = callPage(QStringLiteral("return waitForExportIdle(8000, false);"), {}, 10, isCancelled);
        if (idle && idle->toString() == QLatin1String("ok")) {
            if (auto pixels = decodePixels(readBack(), expected))
                return counted(std::move(pixels), started);
        }
    }
    if (isCancelled && isCancelled())
        return std::nullopt;
    const auto image = capture(QStringLiteral("return captureBase(mapLng,mapLat,bearing,z,marginX,marginY);"), args,
                               10, expected, isCancelled);
    if (!image)
        return std::nullopt;
    return image->convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool OSMWebMapExportRenderer::askPage(const IsCancelled &isCancelled)
{
    if (m_askedPage)
        return true;
    // A page that can draw the map alone leaves the track to the program.
    // No answer is a page that stopped answering; an older page lacks the functions.
    const auto answer = callPage(QStringLiteral("return (typeof canCaptureBase === 'function' ? canCaptureBase() : 'no')"
                                                " + ',' + (typeof baseIsRaster === 'function' ? baseIsRaster() : 'no');"),
                                 {}, 10, isCancelled);
    if (!answer)
        return false;
    const QString text = answer->toString();
    m_askedPage = true;
    m_drawsTrack = text.startsWith(QLatin1String("yes,"));
    m_rasterOnly = text == QLatin1String("yes,yes");
    return true;
}

QSize OSMWebMapExportRenderer::baseMargin(const QSizeF &referenceSize)
{
    const double side = std::max(referenceSize.width(), referenceSize.height());
    const int margin = int(std::ceil(std::min(side / 2, 256.0)));
    return {margin, margin};
}

bool OSMWebMapExportRenderer::takeBase(const BaseView &view, const IsCancelled &isCancelled)
{
    auto base = captureBase(view, isCancelled);
    if (!base)
        return false;
    m_baseView = view;
    m_base = std::move(*base);
    return true;
}

std::optional<QImage> OSMWebMapExportRenderer::composedFrame(const FrameKey &key, const IsCancelled &isCancelled)
{
    if (m_lastKey && m_lastImage && *m_lastKey == key) {
        countReused();
        return m_lastImage;
    }
    std::optional<QPointF> offset;
    if (m_baseView)
        offset = offsetInBase(*m_baseView, m_base.size(), key, m_referenceSize, m_pixelRatio, m_rasterOnly);
    if (offset) {
        countReused();
    } else {
        // A map that keeps its bearing (North) is captured with room to move
        // around in; one that turns is captured for each frame.
        const bool steady = !m_lastKey || sameView(m_lastKey->zoom, m_lastKey->bearing, key.zoom, key.bearing);
        const BaseView view{key.mapLng, key.mapLat, key.bearing, key.zoom,
                            steady ? baseMargin(m_referenceSize) : QSize(0, 0)};
        if (!takeBase(view, isCancelled))
            return std::nullopt;
        offset = offsetInBase(view, m_base.size(), key, m_referenceSize, m_pixelRatio, m_rasterOnly);
        if (!offset)
            return std::nullopt;
    }
    const QSize size(int(std::floor(m_expectedPixelSize.width())), int(std::floor(m_expectedPixelSize.height())));
    QImage image = cropped(m_base, *offset, size);
    m_overlay.draw(image, {key.mapLng, key.mapLat, key.bearing, key.zoom, m_referenceSize, m_pixelRatio}, key.idx,
                   key.curLng, key.curLat);
    m_lastKey = key;
    m_lastImage = image;
    return image;
}

OSMWebMapExportRenderer::ExportFrame OSMWebMapExportRenderer::exportFrame(const std::optional<FramePosition> &position,
                                                                        int zoom, const IsCancelled &isCancelled)
{
    if (!position)
        return {ExportFrame::Status::noPosition, std::nullopt};
    auto image = captureFrame(position->idx, position->curLng, position->curLat, position->mapLng, position->mapLat,
                              position->bearing, zoom, isCancelled);
    if (!image)
        return {ExportFrame::Status::failed, std::nullopt};
    return {ExportFrame::Status::captured, std::move(image)};
}

bool OSMWebMapExportRenderer::loadTrack(const QList<QPointF> &coords, const QList<int> &breaks,
                                        const IsCancelled &isCancelled)
{
    assertBackground("loadTrack");
    QJsonArray pairs;
    for (const QPointF &c : coords)
        pairs.append(QJsonArray{c.x(), c.y()});
    const auto result = callPage(QStringLiteral("updateTrack(coords,breaks); setMapLanguage(lang); return 'ok';"),
                                 {{QStringLiteral("coords"), pairs},
                                  {QStringLiteral("breaks"), intArray(breaks)},
                                  {QStringLiteral("lang"), m_language}},
                                 30, isCancelled);
    const bool ok = result && result->typeId() == QMetaType::QString && result->toString() == QLatin1String("ok");
    if (ok) {
        forgetCaptures();
        m_overlay.setTrack(coords, breaks);
        m_askedPage = false;
    }
    return ok;
}

std::optional<QImage> OSMWebMapExportRenderer::captureStatic(const QString &featureCollection, double lng, double lat,
                                                             double zoom, const IsCancelled &isCancelled)
{
    assertBackground("captureStatic");
    const WebMapPage::Arguments args{{QStringLiteral("fc"), featureCollection},
                                     {QStringLiteral("lng"), lng},
                                     {QStringLiteral("lat"), lat},
                                     {QStringLiteral("zoom"), zoom},
                                     {QStringLiteral("lang"), m_language}};
    // Drawn and waited for, then read back raw: no PNG to encode in the page
    // and decode here. A page that cannot be read back is captured as a PNG.
    const auto shown = callPage(
        QStringLiteral("setMapLanguage(lang); return showStatic(JSON.parse(fc),lng,lat,zoom);"), args, 20, isCancelled);
    if (shown && shown->toString() == QLatin1String("ok")) {
        if (auto pixels = decodePixels(evaluateInPage(QStringLiteral("staticPixels"), {}, 5, isCancelled),
                                       m_expectedPixelSize))
            return pixels;
    }
    if (isCancelled && isCancelled())
        return std::nullopt;
    const auto result = callPage(
        QStringLiteral("setMapLanguage(lang); return captureStatic(JSON.parse(fc),lng,lat,zoom);"), args, 20, isCancelled);
    if (!result || result->typeId() != QMetaType::QString || result->toString().startsWith(QLatin1String("ERR:"))) {
        const QString description = result ? result->toString() : QStringLiteral("nil");
        qWarning().noquote() << QStringLiteral("[OSMWebMapExportRenderer] static capture failed (%1)")
                                    .arg(description.left(120));
        return std::nullopt;
    }
    auto image = decodeCapture(result);
    if (image && !sizeAccepted(image->size(), m_expectedPixelSize) && !m_loggedSizeMismatch) {
        m_loggedSizeMismatch = true;
        qWarning().noquote() << QStringLiteral("[OSMWebMapExportRenderer] captured %1x%2 != expected %3x%4 — 长宽比可能被拉伸")
                                    .arg(image->width())
                                    .arg(image->height())
                                    .arg(qRound(m_expectedPixelSize.width()))
                                    .arg(qRound(m_expectedPixelSize.height()));
    }
    return image;
}

} // namespace routereel
