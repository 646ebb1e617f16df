#pragma once

#include "base/textenum.h"

namespace routereel {

// Regular: the widgets over the source video. Overlay: the widgets alone.
enum class CompositionMode { regular, overlay };

template <>
struct TextEnum<CompositionMode> {
    static constexpr std::array cases{std::pair{CompositionMode::regular, "Regular"},
                                      std::pair{CompositionMode::overlay, "Overlay"}};
};

} // namespace routereel
