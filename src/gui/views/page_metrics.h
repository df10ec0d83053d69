// The panel's common measures for the pages drawn into it: the scale s, the panel's offset m,
// its size P x Q, the header separator line, the list area between header and footer and the
// footer line. Everything in physical pixels of the window's canvas. Pure; plain values.
#pragma once

#include <cmath>

#include "gui/launcher/geometry.h"

namespace nimbalo::gui {

struct Rect {
    float x = 0, y = 0, w = 0, h = 0;
    float right() const { return x + w; }
    float bottom() const { return y + h; }
    // Half-open: the left and top edges belong to the rectangle, the right and bottom do not.
    bool contains(float px, float py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct PageMetrics {
    float s = 1, m = 1, P = 800, Q = 560;
    float header_centre = 0;  // y_c = m + 37 s
    float header_line = 0;    // round(m + 74 s)
    float footer_y = 0;       // round(m + Q - 38 s)
    float list_top = 0;       // header_line + 4 s
    float list_bottom = 0;    // footer_y - 6 s
    float hairline = 1;       // max(s, 1)
};

inline PageMetrics page_metrics(const WindowGeometry& g) {
    PageMetrics p;
    p.s = g.scale;
    p.m = static_cast<float>(g.margin);
    p.P = static_cast<float>(g.panel_width);
    p.Q = static_cast<float>(g.panel_height);
    p.header_centre = p.m + 37 * p.s;
    p.header_line = static_cast<float>(round_half_away(p.m + 74.0 * p.s));
    p.footer_y = static_cast<float>(round_half_away(p.m + p.Q - 38.0 * p.s));
    p.list_top = p.header_line + 4 * p.s;
    p.list_bottom = p.footer_y - 6 * p.s;
    p.hairline = std::fmax(p.s, 1.0f);
    return p;
}

}  // namespace nimbalo::gui
