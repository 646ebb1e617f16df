#include "overlayframecomposition.h"

#include "maps/gpspathrenderer.h"
#include "maps/tilemaprenderer.h"
#include "timeline/timelineengine.h"
#include "widgets/canvasgeometry.h"
#include "widgets/heartrategraphrenderer.h"
#include "widgets/speedunit.h"
#include "widgets/textwidgetrenderer.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <cmath>
#include <cstring>

namespace routereel {

namespace {

const GPXTrack *findTrack(const QList<GPXTrack> &tracks, const QUuid &id)
{
    for (const GPXTrack &track : tracks) {
        if (track.id == id)
            return &track;
    }
    return nullptr;
}

// 1/a as a float, 0 for a = 0: (c * 255 + a / 2) * (1/a), plus a little less than
// 1/255, floors to exactly (c * 255 + a / 2) / a, since that quotient stays
// below 256 and its float error below 1e-4.
const std::array<float, 256> &reciprocals()
{
    static const auto table = [] {
        std::array<float, 256> t{};
        for (int a = 1; a < 256; ++a)
            t[a] = 1.0f / float(a);
        return t;
    }();
    return table;
}

} // namespace

QString timeOfDayText(Instant time)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(time * 1000)), Qt::LocalTime)
        .toString(QStringLiteral("HH:mm:ss"));
}

FrameParams computeFrameParams(int index, const FrameParamsContext &context)
{
    FrameParams params;
    params.index = index;
    if (!context.needsTrackData || !context.engine)
        return params;

    const double t = context.startTime + index / context.frameRate;
    const PlayheadValues values = playheadValues(*context.engine, context.tracks, t);
    if (values.heading) {
        params.dotLat = values.heading->lat;
        params.dotLng = values.heading->lng;
    }
    params.bearing = values.mapRotation(context.orientation == MapOrientation::follow);
    params.mapCenterLat = params.dotLat;
    params.mapCenterLng = params.dotLng;
    if (values.position) {
        if (const GPXTrack *track = findTrack(context.tracks, values.position->trackID))
            params.trackPoints = track->trackPoints;
        params.trackIndex = values.position->index;
    }
    params.flattenedIndex = values.flattenedIndex;
    params.hasPosition = values.heading.has_value() && !params.trackPoints.isEmpty();

    if (!values.time)
        return params;
    const TextWidgetConfigs &texts = context.texts;
    if (texts.time.enabled)
        params.timeStr = timeOfDayText(*values.time);
    if (texts.speed.enabled)
        params.speedStr = formatSpeed(texts.speed.effectiveSpeedUnit(), values.speed);
    if (texts.heartRate.enabled) {
        if (auto bpm = HeartRateMinMax::bpmText(values.heartRate, texts.heartRate.showsHeartIcon())) {
            if (auto range = HeartRateMinMax::rangeText(context.heartRateMinMax))
                *bpm += QLatin1Char('\n') + *range;
            params.hrStr = *bpm;
        }
    }
    return params;
}

std::optional<ExportError> prepareTextImages(TextImageCache &cache, const QList<FrameParams> &batch,
                                             const TextWidgetConfigs &texts, double textScale,
                                             const std::function<bool()> &isCancelled)
{
    if (cache.size() >= 1025)
        cache.clear();
    QList<QString> needed;
    QSet<QString> seen;
    const auto want = [&](const char *prefix, const std::optional<QString> &text) {
        if (!text)
            return;
        const QString key = QLatin1String(prefix) + *text;
        if (!cache.contains(key) && !seen.contains(key)) {
            seen.insert(key);
            needed.append(key);
        }
    };
    for (const FrameParams &params : batch) {
        want("t_", params.timeStr);
        want("s_", params.speedStr);
        want("h_", params.hrStr);
    }
    const double s = textScale > 0 ? textScale : 1;
    for (const QString &key : needed) {
        if (isCancelled && isCancelled())
            return ExportError::cancelled();
        const QString prefix = key.left(2);
        QString text = key.mid(2);
        std::optional<QString> second;
        const TextWidgetExportConfig *config = nullptr;
        if (prefix == QLatin1String("t_")) {
            config = &texts.time;
        } else if (prefix == QLatin1String("s_")) {
            config = &texts.speed;
        } else if (prefix == QLatin1String("h_")) {
            config = &texts.heartRate;
            const qsizetype newline = text.indexOf(QLatin1Char('\n'));
            if (newline >= 0) {
                second = text.mid(newline + 1);
                text.truncate(newline);
            }
        }
        if (!config)
            continue;
        const QImage image = TextWidgetRenderer::render(text, config->textColor, second, config->fontSize / s, s);
        if (!image.isNull())
            cache.insert(key, image);
    }
    return std::nullopt;
}

TextImageCache widestTextImages(const FrameParamsContext &context, double textScale)
{
    const TextWidgetConfigs &texts = context.texts;
    FrameParams widest;
    const auto keep = [](std::optional<QString> &longest, const QString &text) {
        if (!longest || text.size() > longest->size())
            longest = text;
    };
    for (const GPXTrack &track : context.tracks) {
        for (qsizetype i = 0; i < track.trackPoints.size(); ++i) {
            const TrackPoint &point = track.trackPoints.at(i);
            // "HH:mm:ss" once one time is valid.
            if (texts.time.enabled && (!widest.timeStr || widest.timeStr->size() < 8))
                keep(widest.timeStr, timeOfDayText(point.time));
            if (texts.speed.enabled) {
                // Every step counts, a segment's first too: more than any frame shows does no harm.
                double speed = 0;
                if (i > 0) {
                    const TrackPoint &previous = track.trackPoints.at(i - 1);
                    const double dt = point.time - previous.time;
                    if (dt > 0)
                        speed = haversineDistance(previous, point) / dt;
                }
                keep(widest.speedStr, formatSpeed(texts.speed.effectiveSpeedUnit(), speed));
            }
            if (texts.heartRate.enabled) {
                if (auto bpm = HeartRateMinMax::bpmText(point.heartRate, texts.heartRate.showsHeartIcon())) {
                    if (auto range = HeartRateMinMax::rangeText(context.heartRateMinMax))
                        *bpm += QLatin1Char('\n') + *range;
                    keep(widest.hrStr, *bpm);
                }
            }
        }
    }
    TextImageCache rendered;
    prepareTextImages(rendered, {widest}, texts, textScale, {});
    TextImageCache byWidget;
    const auto move = [&](const char *prefix, const std::optional<QString> &text) {
        if (text && rendered.contains(QLatin1String(prefix) + *text))
            byWidget.insert(QLatin1String(prefix), rendered.value(QLatin1String(prefix) + *text));
    };
    move("t_", widest.timeStr);
    move("s_", widest.speedStr);
    move("h_", widest.hrStr);
    return byWidget;
}

void unpremultiplyRows(unsigned char *data, int bytesPerLine, const QRect &rect)
{
    // straight = min(255, (c * 255 + a / 2) / a) for each component c, four pixels at a time.
    const float *inverse = reciprocals().data();
#if defined(__SSE2__)
    const __m128i byte = _mm_set1_epi32(0xff);
    const __m128i opaque = _mm_set1_epi32(int(0xff000000u));
    const __m128i zero = _mm_setzero_si128();
    const __m128 nudge = _mm_set1_ps(0.001f);
    const __m128 most = _mm_set1_ps(255.0f);
    const auto four = [&](unsigned char *at) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const __m128i alphaBits = _mm_and_si128(p, opaque);
        // Wholly clear or wholly opaque pixels stay as they are.
        const __m128i keep = _mm_or_si128(_mm_cmpeq_epi32(alphaBits, zero), _mm_cmpeq_epi32(alphaBits, opaque));
        if (_mm_movemask_epi8(keep) == 0xffff)
            return;
        alignas(16) quint32 a[4];
        _mm_store_si128(reinterpret_cast<__m128i *>(a), _mm_srli_epi32(p, 24));
        const __m128 inv = _mm_setr_ps(inverse[a[0]], inverse[a[1]], inverse[a[2]], inverse[a[3]]);
        const __m128i half = _mm_srli_epi32(p, 25);
        const auto straight = [&](int shift) {
            const __m128i c = _mm_and_si128(_mm_srli_epi32(p, shift), byte);
            // c * 255 = (c << 8) - c
            const __m128i n = _mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(c, 8), c), half);
            const __m128 q = _mm_min_ps(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(n), inv), nudge), most);
            return _mm_slli_epi32(_mm_cvttps_epi32(q), shift);
        };
        const __m128i out = _mm_or_si128(_mm_or_si128(alphaBits, straight(16)), _mm_or_si128(straight(8), straight(0)));
        const __m128i result = _mm_or_si128(_mm_and_si128(keep, p), _mm_andnot_si128(keep, out));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(at), result);
    };
#else
    const auto four = [inverse](unsigned char *at) {
        for (int k = 0; k < 4; ++k) {
            quint32 p;
            std::memcpy(&p, at + 4 * k, 4);
            const quint32 a = p >> 24;
            if (a == 0 || a == 255)
                continue;
            const auto straight = [&](int shift) {
                const quint32 n = ((p >> shift) & 0xff) * 255 + a / 2;
                return quint32(std::min(255.0f, float(n) * inverse[a] + 0.001f)) << shift;
            };
            p = (a << 24) | straight(16) | straight(8) | straight(0);
            std::memcpy(at + 4 * k, &p, 4);
        }
    };
#endif
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        unsigned char *row = data + qsizetype(y) * bytesPerLine;
        int x = rect.left();
        for (; x + 4 <= rect.right() + 1; x += 4)
            four(row + x * 4);
        if (x <= rect.right()) {
            // The last pixels through a copy, so nothing past the rectangle is read or written.
            alignas(16) unsigned char tail[16] = {};
            const std::size_t bytes = std::size_t(rect.right() + 1 - x) * 4;
            std::memcpy(tail, row + x * 4, bytes);
            four(tail);
            std::memcpy(row + x * 4, tail, bytes);
        }
    }
}

OverlayFrameComposer::OverlayFrameComposer(Setup setup) : m_setup(std::move(setup)) {}

void OverlayFrameComposer::fillRect(unsigned char *data, const QRect &rect) const
{
    const int bytesPerLine = m_setup.width * 4;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        auto *row = reinterpret_cast<quint32 *>(data + qsizetype(y) * bytesPerLine) + rect.left();
        if (m_setup.overlayMode)
            std::fill_n(row, rect.width(), overlayBackground);
        else
            std::memset(row, 0, std::size_t(rect.width()) * 4);
    }
}

QRegion OverlayFrameComposer::reach(const TextImageCache &widestTexts) const
{
    QRegion region;
    // Images are stamped at rounded positions: a pixel more on every side.
    const auto add = [&](const QRectF &rect) { region += rect.toAlignedRect().adjusted(-1, -1, 1, 1); };
    const MapGroup &map = m_setup.map;
    if (map.enabled) {
        const QRectF rect(map.rect);
        add(rect);
        if (map.ring)
            add(QRectF(rect.x() + map.ring->offsetX, rect.y() + map.ring->offsetY, map.ring->width, map.ring->height));
        if (map.badge) {
            // Anywhere on its circle: a following map turns it round.
            const double r = rect.width() / 2 + map.borderWidth / 2 + map.badge->side / 2.0;
            add(QRectF(rect.center().x() - r, rect.center().y() - r, 2 * r, 2 * r));
        }
    }
    const auto addText = [&](const char *prefix, const TextWidgetExportConfig &config) {
        if (!config.enabled)
            return;
        const auto found = widestTexts.constFind(QLatin1String(prefix));
        if (found == widestTexts.constEnd())
            return;
        const QImage &image = *found;
        const QPointF centre = clampedWidgetCenter(QPointF(config.x, config.y), QSizeF(m_setup.width, m_setup.height),
                                                   TextWidgetRenderer::boxSize(image) / 2);
        add(QRectF(centre.x() - image.width() / 2.0, centre.y() - image.height() / 2.0, image.width(),
                   image.height()));
    };
    addText("t_", m_setup.texts.time);
    addText("s_", m_setup.texts.speed);
    addText("h_", m_setup.texts.heartRate);
    const GPSPathGroup &gps = m_setup.gpsPath;
    if (gps.renderer) {
        const double p = gps.config.pixelSize;
        const QRectF rect(gps.config.centerX - p / 2, gps.config.centerY - p / 2, p, p);
        add(rect);
        if (gps.ring)
            add(QRectF(rect.x() + gps.ring->offsetX, rect.y() + gps.ring->offsetY, gps.ring->width, gps.ring->height));
        if (gps.badge) {
            const double n = gps.badge->side;
            add(QRectF(rect.center().x() - n / 2, rect.center().y() - p / 2 - gps.borderWidth / 2 - n / 2, n, n));
        }
    }
    const GraphGroup &graph = m_setup.graph;
    if (graph.renderer) {
        const double pw = graph.config.pixelWidth;
        const double ph = graph.config.pixelHeight;
        const double m = graph.renderer->margin();
        add(QRectF(graph.config.centerX - pw / 2 - m, graph.config.centerY - ph / 2 - m, pw + 2 * m, ph + 2 * m));
    }
    return region & QRect(0, 0, m_setup.width, m_setup.height);
}

void OverlayFrameComposer::initialise(Slot &slot) const
{
    fillRect(slot.data, QRect(0, 0, m_setup.width, m_setup.height));
    slot.dirty = QRegion();
}

void OverlayFrameComposer::draw(Slot &slot, const FrameParams &params, const std::optional<QImage> &preparedMap,
                                bool usePreparedMaps, const TextImageCache &texts) const
{
    const QRect frameRect(0, 0, m_setup.width, m_setup.height);
    for (const QRect &r : slot.dirty)
        fillRect(slot.data, r);
    QRegion dirty;

    QImage target(slot.data, m_setup.width, m_setup.height, m_setup.width * 4, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&target);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    // Images are stamped at whole pixels: sharp, and Qt's fast unscaled path.
    const auto stamp = [&](const QPointF &topLeft, const QImage &image) {
        const QPoint at = topLeft.toPoint();
        painter.drawImage(at, image);
        dirty += QRect(at, image.size());
    };

    const MapGroup &map = m_setup.map;
    if (map.enabled) {
        QImage image;
        if (usePreparedMaps) {
            if (preparedMap)
                image = *preparedMap;
        } else if (map.renderer && !params.trackPoints.isEmpty() && params.hasPosition) {
            image = map.renderer->renderFrame(params.trackPoints, params.trackIndex, params.mapCenterLat,
                                              params.mapCenterLng, params.dotLat, params.dotLng, params.bearing);
        }
        if (!image.isNull()) {
            painter.save();
            if (map.opacity < 1)
                painter.setOpacity(map.opacity);
            const QRectF rect(map.rect);
            if (usePreparedMaps) {
                QPainterPath outline;
                if (map.shape == MapShape::circle)
                    outline.addEllipse(rect);
                else
                    outline.addRoundedRect(rect, map.cornerRadius, map.cornerRadius);
                painter.setClipPath(outline);
            }
            stamp(map.rect.topLeft(), image);
            painter.setClipping(false);
            if (map.ring) {
                const QRectF ringRect(rect.x() + map.ring->offsetX, rect.y() + map.ring->offsetY, map.ring->width,
                                      map.ring->height);
                stamp(ringRect.topLeft(), map.ring->image);
            }
            if (map.badge) {
                const double degrees = map.orientation == MapOrientation::follow ? -params.bearing : 0;
                const double a = degrees * M_PI / 180;
                const double r = rect.width() / 2 + map.borderWidth / 2;
                const QPointF centre(rect.center().x() + r * std::sin(a), rect.center().y() - r * std::cos(a));
                const double n = map.badge->side;
                const QRectF badgeRect(centre.x() - n / 2, centre.y() - n / 2, n, n);
                stamp(badgeRect.topLeft(), map.badge->image);
            }
            painter.restore();
        }
    }

    const auto drawText = [&](const char *prefix, const std::optional<QString> &text,
                              const TextWidgetExportConfig &config) {
        if (!text)
            return;
        const auto found = texts.constFind(QLatin1String(prefix) + *text);
        if (found == texts.constEnd())
            return;
        const QImage &image = *found;
        // The box stays whole inside the frame; its shadow may fall outside.
        const QPointF centre = clampedWidgetCenter(QPointF(config.x, config.y), QSizeF(m_setup.width, m_setup.height),
                                                   TextWidgetRenderer::boxSize(image) / 2);
        const QRectF rect(centre.x() - image.width() / 2.0, centre.y() - image.height() / 2.0, image.width(),
                          image.height());
        painter.save();
        if (config.opacity < 1)
            painter.setOpacity(config.opacity);
        stamp(rect.topLeft(), image);
        painter.restore();
    };
    drawText("t_", params.timeStr, m_setup.texts.time);
    drawText("s_", params.speedStr, m_setup.texts.speed);
    drawText("h_", params.hrStr, m_setup.texts.heartRate);

    const GPSPathGroup &gps = m_setup.gpsPath;
    if (gps.renderer) {
        const QImage image = gps.renderer->renderFrame(gps.points, params.dotLat, params.dotLng);
        if (!image.isNull()) {
            const double p = gps.config.pixelSize;
            const QRectF rect(gps.config.centerX - p / 2, gps.config.centerY - p / 2, p, p);
            painter.save();
            if (gps.config.opacity < 1)
                painter.setOpacity(gps.config.opacity);
            stamp(rect.topLeft(), image);
            if (gps.ring) {
                const QRectF ringRect(rect.x() + gps.ring->offsetX, rect.y() + gps.ring->offsetY, gps.ring->width,
                                      gps.ring->height);
                stamp(ringRect.topLeft(), gps.ring->image);
            }
            if (gps.badge) {
                // The path is always drawn north up: the badge stays on top.
                const double n = gps.badge->side;
                const QPointF centre(rect.center().x(), rect.center().y() - p / 2 - gps.borderWidth / 2);
                const QRectF badgeRect(centre.x() - n / 2, centre.y() - n / 2, n, n);
                stamp(badgeRect.topLeft(), gps.badge->image);
            }
            painter.restore();
        }
    }

    const GraphGroup &graph = m_setup.graph;
    if (graph.renderer) {
        std::optional<double> time;
        std::optional<int> heartRate;
        if (params.trackIndex >= 0 && params.trackIndex < params.trackPoints.size()) {
            const TrackPoint &point = params.trackPoints.at(params.trackIndex);
            time = point.time;
            heartRate = point.heartRate;
        }
        const QImage image = graph.renderer->renderFrame(time, heartRate);
        if (!image.isNull()) {
            const double pw = graph.config.pixelWidth;
            const double ph = graph.config.pixelHeight;
            const double m = graph.renderer->margin();
            const QRectF rect(graph.config.centerX - pw / 2 - m, graph.config.centerY - ph / 2 - m, pw + 2 * m,
                              ph + 2 * m);
            painter.save();
            if (graph.config.opacity < 1)
                painter.setOpacity(graph.config.opacity);
            stamp(rect.topLeft(), image);
            painter.restore();
        }
    }
    painter.end();

    dirty &= frameRect;
    if (!m_setup.overlayMode) {
        for (const QRect &r : dirty)
            unpremultiplyRows(slot.data, m_setup.width * 4, r);
    }
    slot.dirty = dirty;
}

} // namespace routereel
