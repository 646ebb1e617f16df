#pragma once

#include "base/textenum.h"

#include <QList>
#include <QSizeF>
#include <QString>

#include <optional>

namespace routereel {

// Output sizes offered by the export sheet, stored by their text.
enum class ExportPreset { original, p4K, p2K, p1080, p720 };

template <>
struct TextEnum<ExportPreset> {
    static constexpr std::array cases{std::pair{ExportPreset::original, "Original"},
                                      std::pair{ExportPreset::p4K, "4K"}, std::pair{ExportPreset::p2K, "2K"},
                                      std::pair{ExportPreset::p1080, "1080p"}, std::pair{ExportPreset::p720, "720p"}};
};

// The short side a preset aims at; none for Original.
std::optional<int> targetShortSide(ExportPreset preset);

// Presets offered for a canvas in regular mode: Original, and those that do not enlarge it.
QList<ExportPreset> availablePresets(const QSizeF &sourceSize);

// Presets offered in overlay mode: 4K, 1080p, 720p.
const QList<ExportPreset> &overlayPresets();

// The preset an overlay export uses: `selected` when overlay offers it, else 1080p.
ExportPreset overlayPresetFor(ExportPreset selected);

// Output canvas of an overlay export: the source's aspect on the preset's short
// side (1080 for presets outside overlayPresets()), both sides even.
QSizeF outputSize(ExportPreset preset, const QSizeF &sourceSize);

// Scale applied to the canvas in regular mode: shrinks to the preset's short side, never enlarges.
double regularOutputScale(ExportPreset preset, const QSizeF &canvasSize);

// "4k", "2k", "1080p", "720p", else the whole number of lines and "p".
QString resolutionLabel(double shortSide);

} // namespace routereel
