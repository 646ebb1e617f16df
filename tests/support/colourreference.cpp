#include "colourreference.h"

#include "sourcekinds.h"

#include "media/sdrmapping.h"

#include <QProcess>

#include <algorithm>
#include <cmath>
#include <functional>

namespace testsupport {

namespace {

// The share of the picture's height above the patches: the bars are read in its middle.
constexpr double barsShare = 0.6;

QColor meanColour(const QImage &image, const QRect &patch)
{
    // The middle half: chroma subsampling and scaling blur the edges.
    const QRect middle = patch.adjusted(patch.width() / 4, patch.height() / 4, -patch.width() / 4,
                                        -patch.height() / 4);
    double r = 0, g = 0, b = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            r += qRed(c), g += qGreen(c), b += qBlue(c);
        }
    const double n = std::max(1, middle.width() * middle.height());
    return QColor(int(std::lround(r / n)), int(std::lround(g / n)), int(std::lround(b / n)));
}

PatchDifference compare(const QImage &image, const std::function<QColor(int, QRect)> &expected)
{
    if (image.isNull())
        return {QStringLiteral("(no picture)"), 255};
    PatchDifference largest;
    for (int i = 0; i < colourPatches().size(); ++i) {
        const QRect rect = patchRect(i, image.size());
        const QColor got = meanColour(image, rect), want = expected(i, rect);
        const int d = std::max({std::abs(got.red() - want.red()), std::abs(got.green() - want.green()),
                                std::abs(got.blue() - want.blue())});
        if (largest.patch.isEmpty() || d > largest.difference)
            largest = {QStringLiteral("%1 (%2,%3,%4 for %5,%6,%7)")
                           .arg(QLatin1String(colourPatches()[i].name))
                           .arg(got.red())
                           .arg(got.green())
                           .arg(got.blue())
                           .arg(want.red())
                           .arg(want.green())
                           .arg(want.blue()),
                       d};
    }
    return largest;
}

QString probeVideo(const QString &file, const QString &entry)
{
    QProcess p;
    p.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                        QStringLiteral("V:0"), QStringLiteral("-show_entries"),
                                        QStringLiteral("stream=") + entry, QStringLiteral("-of"),
                                        QStringLiteral("csv=p=0"), file});
    p.waitForFinished(60'000);
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed();
}

} // namespace

const QList<ColourPatch> &colourPatches()
{
    static const QList<ColourPatch> patches{
        {"red", QColor(200, 40, 40)},   {"yellow", QColor(200, 200, 40)}, {"green", QColor(40, 200, 40)},
        {"white", QColor(200, 200, 200)}, {"black", QColor(40, 40, 40)},  {"grey", QColor(120, 120, 120)},
    };
    return patches;
}

QRect patchRect(int index, QSize size)
{
    // On even pixels, so that 4:2:0 chroma never straddles two patches.
    const auto even = [](double v) { return int(v / 2) * 2; };
    const int n = int(colourPatches().size());
    const int top = even(size.height() * barsShare);
    const int left = even(double(size.width()) * index / n);
    const int right = index + 1 == n ? size.width() : even(double(size.width()) * (index + 1) / n);
    return QRect(left, top, right - left, size.height() - top);
}

QString patchFilter(QSize size)
{
    QStringList boxes;
    for (int i = 0; i < colourPatches().size(); ++i) {
        const QRect r = patchRect(i, size);
        boxes << QStringLiteral("drawbox=x=%1:y=%2:w=%3:h=%4:t=fill:color=%5")
                     .arg(r.x())
                     .arg(r.y())
                     .arg(r.width())
                     .arg(r.height())
                     .arg(colourPatches()[i].colour.name().replace(QLatin1Char('#'), QLatin1String("0x")));
    }
    return boxes.join(QLatin1Char(','));
}

QImage ffmpegPicture(const QString &file, double sourceSeconds, QSize size)
{
    // The frame by its place in ffprobe's list: a seek by time would round to a neighbour.
    const int shown = frameOnScreen(frameStarts(file), sourceSeconds);
    const QString transfer = probeVideo(file, QStringLiteral("color_transfer"));
    const bool fullRange = probeVideo(file, QStringLiteral("color_range")) == QLatin1String("pc");
    const routereel::HdrTransfer hdr = transfer == QLatin1String("arib-std-b67") ? routereel::HdrTransfer::hlg
        : transfer == QLatin1String("smpte2084")                                 ? routereel::HdrTransfer::pq
                                                                                 : routereel::HdrTransfer::none;
    QStringList chain{QStringLiteral("select=eq(n\\,%1)").arg(shown)};
    if (hdr != routereel::HdrTransfer::none)
        chain << routereel::sdrMappingFilter(hdr, fullRange);
    // HD that states no matrix, or a reserved one, is BT.709, as cameras write it and
    // players take it; ffmpeg alone would read it as BT.601.
    const QString space = probeVideo(file, QStringLiteral("color_space"));
    const bool hd = std::min(probeVideo(file, QStringLiteral("width")).toInt(),
                             probeVideo(file, QStringLiteral("height")).toInt()) > 576;
    const bool unstated = space.isEmpty() || space == QLatin1String("unknown") || space == QLatin1String("reserved");
    if (unstated && hd && hdr == routereel::HdrTransfer::none)
        chain << QStringLiteral("setparams=colorspace=bt709");
    // Range and matrix left to the scaler: it takes them from each frame's tags.
    chain << QStringLiteral("scale=%1:%2").arg(size.width()).arg(size.height());
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"), QStringLiteral("-i"), file,
             QStringLiteral("-vf"), chain.join(QLatin1Char(',')), QStringLiteral("-fps_mode"),
             QStringLiteral("passthrough"), QStringLiteral("-frames:v"), QStringLiteral("1"), QStringLiteral("-f"),
             QStringLiteral("rawvideo"), QStringLiteral("-pix_fmt"), QStringLiteral("rgb24"), QStringLiteral("-")});
    p.waitForFinished(120'000);
    const QByteArray raw = p.readAllStandardOutput();
    const qsizetype bytes = qsizetype(size.width()) * size.height() * 3;
    if (raw.size() < bytes)
        return {};
    return QImage(reinterpret_cast<const uchar *>(raw.constData()), size.width(), size.height(), size.width() * 3,
                  QImage::Format_RGB888)
        .copy();
}

PatchDifference largestPatchDifference(const QImage &a, const QImage &b)
{
    if (b.isNull())
        return {QStringLiteral("(no picture)"), 255};
    const QImage other = b.size() == a.size() ? b : b.scaled(a.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return compare(a, [&](int, QRect rect) { return meanColour(other, rect); });
}

PatchDifference largestPatchDifference(const QImage &image)
{
    return compare(image, [](int i, QRect) { return colourPatches()[i].colour; });
}

} // namespace testsupport
