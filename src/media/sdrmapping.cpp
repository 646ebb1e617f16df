#include "sdrmapping.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace routereel {

HdrTransfer hdrTransferOf(int avTransfer)
{
    switch (avTransfer) {
    case AVCOL_TRC_ARIB_STD_B67:
        return HdrTransfer::hlg;
    case AVCOL_TRC_SMPTE2084:
        return HdrTransfer::pq;
    default:
        return HdrTransfer::none;
    }
}

QString sdrMappingFilter(HdrTransfer transfer, bool fullRange)
{
    if (transfer == HdrTransfer::none)
        return {};
    // The source's tags are named rather than read from each frame: a file tagged in
    // its stream but not its frames (or the other way round) maps the same on both roads.
    // zscale makes 4:4:4 and the scaler 4:2:0: zscale refuses odd sides for 4:2:0.
    const QString tin = transfer == HdrTransfer::hlg ? QStringLiteral("arib-std-b67") : QStringLiteral("smpte2084");
    const QString rin = fullRange ? QStringLiteral("pc") : QStringLiteral("tv");
    return QStringLiteral("zscale=tin=%1:min=bt2020nc:pin=bt2020:rin=%2:t=linear:p=bt2020:npl=203,format=gbrpf32le,"
                          "zscale=p=bt709,tonemap=tonemap=mobius:param=0.8:desat=0,"
                          "zscale=t=bt709:m=bt709:r=tv,format=yuv444p,format=yuv420p")
        .arg(tin, rin);
}

} // namespace routereel
