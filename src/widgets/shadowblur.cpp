#include "shadowblur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace routereel {
namespace {

// Three box blurs in a row come close to a Gaussian; widths after Kovesi.
std::array<int, 3> boxRadii(double sigma)
{
    constexpr int n = 3;
    const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double mIdeal = (12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) / (-4.0 * lower - 4);
    const int m = int(std::lround(mIdeal));
    std::array<int, 3> radii{};
    for (int i = 0; i < n; ++i)
        radii[i] = ((i < m ? lower : upper) - 1) / 2;
    return radii;
}

// One box blur of radius r along a line of `count` values `stride` apart;
// values beyond the ends count as zero.
void boxBlurLine(const quint16 *src, quint16 *dst, int count, int stride, int r)
{
    const int window = 2 * r + 1;
    int sum = 0;
    for (int i = 0; i < std::min(r, count); ++i)
        sum += src[i * stride];
    for (int i = 0; i < count; ++i) {
        const int in = i + r;
        if (in < count)
            sum += src[in * stride];
        const int out = i - r - 1;
        if (out >= 0)
            sum -= src[out * stride];
        dst[i * stride] = quint16((sum + window / 2) / window);
    }
}

} // namespace

QImage shadowOf(const QImage &layer, double blur, double opacity)
{
    const QImage src = layer.format() == QImage::Format_ARGB32_Premultiplied
        ? layer : layer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = src.width();
    const int h = src.height();
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    if (src.isNull() || out.isNull())
        return {};
    out.setDotsPerMeterX(src.dotsPerMeterX());
    out.setDotsPerMeterY(src.dotsPerMeterY());

    // Alpha scaled by 64 keeps some precision through the integer passes.
    std::vector<quint16> a(size_t(w) * h), tmp(size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < w; ++x)
            a[size_t(y) * w + x] = quint16(qAlpha(line[x]) * 64);
    }
    const double sigma = std::isfinite(blur) ? blur / 2 : 0;
    if (sigma >= 0.3) {
        for (int r : boxRadii(sigma)) {
            if (r <= 0)
                continue;
            for (int y = 0; y < h; ++y)
                boxBlurLine(&a[size_t(y) * w], &tmp[size_t(y) * w], w, 1, r);
            for (int x = 0; x < w; ++x)
                boxBlurLine(&tmp[x], &a[x], h, w, r);
        }
    }
    const double k = std::clamp(opacity, 0.0, 1.0) / 64;
    for (int y = 0; y < h; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(0, 0, 0, int(a[size_t(y) * w + x] * k + 0.5));
    }
    return out;
}

} // namespace routereel
