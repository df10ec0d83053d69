// Where the launcher's window goes and how big it is: the DPI scale, the window size (the 800 x 560
// panel at that scale plus a margin of round(scale) pixels on each side for the outer border), and
// the origin on a monitor's work area (centred, 17 % down). One table of (scale, size) drives the
// window, the drawing and the hit testing. Pure.
#pragma once

#include <cstdint>

namespace nimbalo::gui {

struct WorkArea {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

struct WindowGeometry {
    float scale = 1;
    int32_t width = 0, height = 0;   // the window, physical pixels
    int32_t margin = 0;              // m = round(scale): the panel's offset inside the window
    int32_t panel_width = 0, panel_height = 0;
};

// Round half away from zero.
int32_t round_half_away(double v);

// scale = dpi / 96, at least 0.5; 1.0 when the DPI is unknown (0).
float scale_for_dpi(uint32_t dpi);
WindowGeometry window_geometry(float scale);

struct Point {
    int32_t x = 0, y = 0;
};
// x: work.left + (work.width - width) / 2 (integer division); y: work.top + trunc(0.17 x work.height).
// Without monitor information the caller passes the work area (0, 0, width, height).
Point window_origin(const WorkArea& work, const WindowGeometry& geometry);

}  // namespace nimbalo::gui
