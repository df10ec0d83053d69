#include "gui/glass/animation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/canvas/colour.h"
#include "gui/canvas/shapes.h"
#include "gui/glass/glass.h"

namespace nimbalo::gui {

namespace {

double ease_out_cubic(double t) { return 1 - (1 - t) * (1 - t) * (1 - t); }

// dst bytes = (src bytes * n) >> 8, n in [0, 256]; vectorises.
void scale_bytes(const std::uint32_t* src, std::uint32_t* dst, size_t count, std::uint32_t n) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(src);
    auto* d = reinterpret_cast<std::uint8_t*>(dst);
    const std::uint16_t m = static_cast<std::uint16_t>(n);
    for (size_t i = 0; i < count * 4; ++i) d[i] = static_cast<std::uint8_t>((s[i] * m) >> 8);
}

}  // namespace

ShowStep show_animation_step(double elapsed_ms, float scale, int height) {
    ShowStep step;
    const double t = std::min(1.0, std::max(0.0, elapsed_ms) / kShowAnimationMs);
    if (t >= 1) {
        step.finished = true;
        return step;
    }
    const double e = ease_out_cubic(t);
    step.offset = std::clamp(static_cast<int>(std::lround(10.0 * scale * (1 - e))), 0, std::max(height, 0));
    step.opacity = static_cast<float>(std::clamp(0.15 + 0.85 * e, 0.0, 1.0));
    return step;
}

const Canvas& apply_show_animation(const Canvas& frame, Canvas& anim, const ShowStep& step) {
    if (step.finished) return frame;
    const bool same = anim.width == frame.width && anim.height == frame.height &&
                      anim.pixels.size() == frame.pixels.size();
    if (!same) {
        anim = Canvas(frame.width, frame.height);
    }
    const int g = same ? std::clamp(step.offset, 0, frame.height) : 0;
    const size_t w = static_cast<size_t>(frame.width);
    const size_t moved = (static_cast<size_t>(frame.height) - g) * w;
    const bool fade = step.opacity < 0.999f;
    const auto n = static_cast<std::uint32_t>(256.0f * std::clamp(step.opacity, 0.0f, 1.0f));
    const std::uint32_t* src = frame.pixels.data() + static_cast<size_t>(g) * w;
    if (fade)
        scale_bytes(src, anim.pixels.data(), moved, n);
    else if (moved != 0)
        std::memcpy(anim.pixels.data(), src, moved * sizeof(std::uint32_t));
    std::fill(anim.pixels.begin() + static_cast<std::ptrdiff_t>(moved), anim.pixels.end(), 0u);
    return anim;
}

HideStep hide_animation_step(double elapsed_ms) {
    HideStep h;
    h.t = static_cast<float>(std::min(1.0, std::max(0.0, elapsed_ms) / kHideAnimationMs));
    h.e = static_cast<float>(ease_out_cubic(h.t));
    h.finished = h.t >= 1;
    return h;
}

void draw_hide_frame(Canvas& frame, const Canvas& glass, const Canvas& snapshot, const HideStep& step, float s) {
    if (glass.pixels.size() == frame.pixels.size()) frame.pixels = glass.pixels;
    const GlassGeometry g = glass_geometry(s);
    const float P = static_cast<float>(g.panel_w), Q = static_cast<float>(g.panel_h);
    const float tx = g.x0 + P - 26 * s, ty = g.y0 + Q - 22 * s;
    const float e = step.e;
    const float dw = (1 - 0.94f * e) * P, dh = (1 - 0.94f * e) * Q;
    const float ccx = g.x0 + P / 2, ccy = g.y0 + Q / 2;
    const float mx = ccx + (tx - ccx) * e, my = ccy + (ty - ccy) * e;
    const float opacity = 1 - 0.5f * e;
    const int W = snapshot.width, H = snapshot.height;
    if (dw > 0 && dh > 0 && opacity > 0.004f && W > 0 && H > 0) {
        const float left = mx - dw / 2, top = my - dh / 2;
        const int x0 = std::max(static_cast<int>(std::floor(left)), frame.clip_x0);
        const int x1 = std::min(static_cast<int>(std::ceil(left + dw)), frame.clip_x1);
        const int y0 = std::max(static_cast<int>(std::floor(top)), frame.clip_y0);
        const int y1 = std::min(static_cast<int>(std::ceil(top + dh)), frame.clip_y1);
        const auto n = static_cast<std::uint32_t>(256.0f * opacity);
        for (int y = y0; y < y1; ++y) {
            const int sy = std::clamp(static_cast<int>((static_cast<float>(y) + 0.5f - top) * H / dh), 0, H - 1);
            const std::uint32_t* srow = snapshot.pixels.data() + static_cast<size_t>(sy) * W;
            std::uint32_t* drow = frame.pixels.data() + static_cast<size_t>(y) * frame.width;
            for (int x = x0; x < x1; ++x) {
                const int sx = std::clamp(static_cast<int>((static_cast<float>(x) + 0.5f - left) * W / dw), 0, W - 1);
                const std::uint32_t p = srow[sx];
                const std::uint32_t sa = (n * pixel_alpha(p)) >> 8;
                if (sa == 0 && (p & 0xFFFFFFu) == 0) continue;
                blend_premultiplied(drow[x], sa, (n * pixel_red(p)) / 256, (n * pixel_green(p)) / 256,
                                    (n * pixel_blue(p)) / 256);
            }
        }
    }
    const float mark = 0.9f * std::max(0.0f, 1 - std::fabs(2 * step.t - 1));
    const Colour accent = rgb(0x0A84FF, mark);
    fill_rounded_rect(frame, tx - 10 * s, ty - 0.8f * s, 20 * s, 1.6f * s, 0.8f * s, accent);
    fill_rounded_rect(frame, tx + 4 * s, ty - 6 * s, 1.6f * s, 6.5f * s, 0.8f * s, accent);
    fill_rounded_rect(frame, tx + 9 * s, ty - s, 6.5f * s, 1.6f * s, 0.8f * s, accent);
}

}  // namespace nimbalo::gui
