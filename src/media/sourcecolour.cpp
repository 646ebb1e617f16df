#include "sourcecolour.h"

#include "videosource.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
}

#include <algorithm>

namespace routereel {

int matrixReadAs(int statedMatrix, double width, double height)
{
    switch (statedMatrix) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
        return statedMatrix;
    case AVCOL_SPC_BT2020_CL:
        return AVCOL_SPC_BT2020_NCL;
    case AVCOL_SPC_UNSPECIFIED:
    case AVCOL_SPC_RESERVED:
        return std::min(width, height) > 576 ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    default:
        return AVCOL_SPC_SMPTE170M;
    }
}

bool fullRangeReadAs(int statedRange, int pixelFormat)
{
    if (statedRange != AVCOL_RANGE_UNSPECIFIED)
        return statedRange == AVCOL_RANGE_JPEG;
    switch (pixelFormat) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return false;
    }
}

HdrTransfer transferMappedAs(int statedTransfer, bool rgb)
{
    return rgb ? HdrTransfer::none : hdrTransferOf(statedTransfer);
}

QString ExportColour::scaleMatrix() const
{
    switch (matrix) {
    case AVCOL_SPC_BT709:
        return QStringLiteral("bt709");
    case AVCOL_SPC_FCC:
        return QStringLiteral("fcc");
    case AVCOL_SPC_SMPTE240M:
        return QStringLiteral("smpte240m");
    case AVCOL_SPC_BT2020_NCL:
        return QStringLiteral("bt2020");
    default:
        return QStringLiteral("bt601");
    }
}

QString ExportColour::matrixTag() const
{
    return QString::fromLatin1(av_color_space_name(AVColorSpace(matrix)));
}

QString ExportColour::primariesTag() const
{
    if (primaries == AVCOL_PRI_RESERVED0 || primaries == AVCOL_PRI_UNSPECIFIED || primaries == AVCOL_PRI_RESERVED)
        return {};
    const char *name = av_color_primaries_name(AVColorPrimaries(primaries));
    return name ? QString::fromLatin1(name) : QString();
}

QString ExportColour::transferTag() const
{
    // libav names these two after their systems, ffmpeg's option after their gamma.
    switch (transfer) {
    case AVCOL_TRC_RESERVED0:
    case AVCOL_TRC_UNSPECIFIED:
    case AVCOL_TRC_RESERVED:
        return {};
    case AVCOL_TRC_GAMMA22:
        return QStringLiteral("gamma22");
    case AVCOL_TRC_GAMMA28:
        return QStringLiteral("gamma28");
    default:
        break;
    }
    const char *name = av_color_transfer_name(AVColorTransferCharacteristic(transfer));
    return name ? QString::fromLatin1(name) : QString();
}

QStringList ExportColour::outputArguments() const
{
    QStringList args{QStringLiteral("-colorspace"), matrixTag(), QStringLiteral("-color_range"), rangeTag()};
    if (const QString tag = primariesTag(); !tag.isEmpty())
        args << QStringLiteral("-color_primaries") << tag;
    if (const QString tag = transferTag(); !tag.isEmpty())
        args << QStringLiteral("-color_trc") << tag;
    return args;
}

ExportColour exportColourOf(const VideoSource &source)
{
    if (transferMappedAs(source.colorTransfer, source.rgb) != HdrTransfer::none)
        return {AVCOL_SPC_BT709, AVCOL_PRI_BT709, AVCOL_TRC_BT709, false};
    ExportColour colour;
    const double width = source.resolution.width(), height = source.resolution.height();
    colour.matrix = matrixReadAs(source.rgb ? AVCOL_SPC_UNSPECIFIED : source.colorMatrix, width, height);
    colour.fullRange = source.fullRange && !source.rgb;
    colour.primaries = source.colorPrimaries;
    colour.transfer = source.colorTransfer;
    // Kept only when they can be written: ExportColour's equality then means the same tags.
    if (colour.primariesTag().isEmpty())
        colour.primaries = AVCOL_PRI_UNSPECIFIED;
    if (colour.transferTag().isEmpty())
        colour.transfer = AVCOL_TRC_UNSPECIFIED;
    return colour;
}

} // namespace routereel
