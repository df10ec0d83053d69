#include "gui/canvas/canvas.h"

#include <algorithm>

namespace nimbalo::gui {

Canvas::Canvas(std::int32_t w, std::int32_t h) : width(std::max(w, 0)), height(std::max(h, 0)) {
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
    reset_clip();
}

void Canvas::reset_clip() {
    clip_x0 = 0;
    clip_y0 = 0;
    clip_x1 = width;
    clip_y1 = height;
}

void Canvas::set_clip(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
    clip_x0 = std::clamp(x0, 0, width);
    clip_y0 = std::clamp(y0, 0, height);
    clip_x1 = std::clamp(x1, clip_x0, width);
    clip_y1 = std::clamp(y1, clip_y0, height);
}

void Canvas::clear() { std::fill(pixels.begin(), pixels.end(), 0u); }

void Canvas::multiply(std::uint32_t factor) {
    if (factor >= 256) return;
    // Two channels per 32-bit multiply (red and blue, then alpha and green): each 8-bit channel times
    // a factor below 256 fits its 16-bit lane, so the lanes never carry into each other.
    for (std::uint32_t& p : pixels) {
        const std::uint32_t rb = ((p & 0x00FF00FFu) * factor >> 8) & 0x00FF00FFu;
        const std::uint32_t ag = (((p >> 8) & 0x00FF00FFu) * factor) & 0xFF00FF00u;
        p = ag | rb;
    }
}

}  // namespace nimbalo::gui
