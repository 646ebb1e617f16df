#pragma once

#include <QString>

namespace routereel {

// HLG and PQ pictures (HEVC Main10, BT.2020) are shown and exported as SDR BT.709,
// so that the preview and the exported file look alike on every screen. Both roads
// run the same ffmpeg filter chain: the export in its filter graph, the preview
// through libavfilter on each deck's thread.
enum class HdrTransfer { none, hlg, pq };

// From libav's AVColorTransferCharacteristic value.
HdrTransfer hdrTransferOf(int avTransfer);

// The chain that takes a decoded HLG/PQ picture (its range as stored: `fullRange`)
// to 8-bit 4:2:0 BT.709, limited range; empty for `none`. Scene light is taken to
// SDR white at BT.2408's 203 nits, and highlights above are rolled off rather than
// clipped.
QString sdrMappingFilter(HdrTransfer transfer, bool fullRange = false);

} // namespace routereel
