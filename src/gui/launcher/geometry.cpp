#include "gui/launcher/geometry.h"

#include <cmath>

namespace nimbalo::gui {

int32_t round_half_away(double v) { return int32_t(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5)); }

float scale_for_dpi(uint32_t dpi) {
    if (dpi == 0) return 1.0f;
    const float s = float(dpi) / 96.0f;
    return s < 0.5f ? 0.5f : s;
}

WindowGeometry window_geometry(float scale) {
    WindowGeometry g;
    g.scale = scale;
    g.margin = round_half_away(scale);
    const auto at_least_one = [](int32_t v) { return v < 2 ? 1 : v; };
    g.width = at_least_one(round_half_away(800.0 * scale + 2.0 * g.margin));
    g.height = at_least_one(round_half_away(560.0 * scale + 2.0 * g.margin));
    g.panel_width = round_half_away(800.0 * scale);
    g.panel_height = round_half_away(560.0 * scale);
    return g;
}

Point window_origin(const WorkArea& work, const WindowGeometry& g) {
    return {work.left + (work.width - g.width) / 2, work.top + int32_t(std::trunc(0.17 * work.height))};
}

}  // namespace nimbalo::gui
