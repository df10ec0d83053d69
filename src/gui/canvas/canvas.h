// Canvas: one premultiplied 32-bit pixel buffer with a drawing clip.
//
// Pixel format: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7 (BGRA bytes in memory), the
// format UpdateLayeredWindow with AC_SRC_ALPHA expects. Invariant: pixels.size() == width * height
// and 0 <= clip_x0 <= clip_x1 <= width (likewise y) after every call of this header.
// Blending is source-over on premultiplied pixels in integer arithmetic; every shape of
// shapes.h, the text compositing and the glass go through blend_pixel, so one rule holds
// everywhere. Not thread-safe: a canvas belongs to the thread that draws into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gui/canvas/colour.h"

namespace nimbalo::gui {

struct Canvas {
    std::vector<std::uint32_t> pixels;  // row-major, top row first
    std::int32_t width = 0, height = 0;
    std::int32_t clip_x0 = 0, clip_y0 = 0, clip_x1 = 0, clip_y1 = 0;  // half-open

    Canvas() = default;
    // A fully transparent canvas; negative sizes count as 0.
    Canvas(std::int32_t w, std::int32_t h);

    void reset_clip();
    // Intersects [x0, x1) x [y0, y1) with the full canvas (an inverted rectangle becomes empty).
    void set_clip(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1);
    void clear();  // every pixel to 0 (transparent), clip ignored
    // Fades the whole canvas: every channel c of every pixel (alpha included) becomes
    // (c * factor) >> 8, factor 0..256 (256 leaves it unchanged). Premultiplied pixels stay valid.
    void multiply(std::uint32_t factor);
    std::uint32_t& at(std::int32_t x, std::int32_t y) { return pixels[static_cast<size_t>(y) * width + x]; }
    std::uint32_t at(std::int32_t x, std::int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline std::uint32_t pixel_alpha(std::uint32_t p) { return p >> 24; }
inline std::uint32_t pixel_red(std::uint32_t p) { return (p >> 16) & 0xFF; }
inline std::uint32_t pixel_green(std::uint32_t p) { return (p >> 8) & 0xFF; }
inline std::uint32_t pixel_blue(std::uint32_t p) { return p & 0xFF; }
inline std::uint32_t make_pixel(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Source-over of an 8-bit premultiplied source (sa, sr, sg, sb) onto dst:
// each channel becomes min(255, s + (d * (255 - sa) + 127) / 255).
inline void blend_premultiplied(std::uint32_t& dst, std::uint32_t sa, std::uint32_t sr, std::uint32_t sg,
                                std::uint32_t sb) {
    const std::uint32_t d = dst, inv = 255 - sa;
    auto ch = [inv](std::uint32_t s, std::uint32_t dc) {
        const std::uint32_t v = s + (dc * inv + 127) / 255;
        return v > 255 ? 255u : v;
    };
    dst = make_pixel(ch(sa, pixel_alpha(d)), ch(sr, pixel_red(d)), ch(sg, pixel_green(d)), ch(sb, pixel_blue(d)));
}

// The blending rule for one pixel: nothing when coverage (already multiplied by
// the colour's alpha) is <= 0.003 or its 8-bit alpha rounds to 0; otherwise
// a = trunc(coverage * 255 + 0.5), c = trunc(colour_c * coverage * 255 + 0.5), source-over.
inline void blend_pixel(std::uint32_t& dst, const Colour& c, float coverage) {
    if (!(coverage > 0.003f)) return;
    if (coverage > 1.0f) coverage = 1.0f;
    const auto a = static_cast<std::uint32_t>(coverage * 255.0f + 0.5f);
    if (a == 0) return;
    auto chan = [coverage](float v) {
        v = v < 0 ? 0 : (v > 1 ? 1 : v);
        return static_cast<std::uint32_t>(v * coverage * 255.0f + 0.5f);
    };
    blend_premultiplied(dst, a, chan(c.r), chan(c.g), chan(c.b));
}

}  // namespace nimbalo::gui
