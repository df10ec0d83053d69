#include "gui/glass/glass.h"

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "gui/canvas/shapes.h"

namespace nimbalo::gui {

namespace {

struct RowShade {
    float t0, t1, t2;  // tint + highlight per channel
    float v;           // vignette
    float qy;          // |py - cy| - (hh - r)
    float cx, half_straight, r;  // centre x, hw - r, fill radius
};

// One pixel of the shading step: 0 when skipped.
inline std::uint32_t shade_pixel(float px, float red, float green, float blue, const RowShade& k) {
    const float qx = std::fabs(px - k.cx) - k.half_straight;
    const float ox = std::max(qx, 0.0f), oy = std::max(k.qy, 0.0f);
    const float d = std::min(std::max(qx, k.qy), 0.0f) + std::sqrt(ox * ox + oy * oy) - k.r;
    if (d >= 0.5f) return 0;
    const float c0 = std::clamp(0.5f - d, 0.0f, 1.0f);
    if (c0 <= 0.002f) return 0;
    const float c = std::clamp(0.95f * c0, 0.0f, 1.0f);
    const auto a = static_cast<std::uint32_t>(255 * c + 0.5f);
    if (c <= 0.003f || a == 0) return 0;
    const float L = 0.299f * red + 0.587f * green + 0.114f * blue;
    auto channel = [&](float ch, float t) {
        const float q = std::max(0.0f, L + 1.15f * (ch - L));
        const float share = 0.1f * std::min(1.0f, 1.06f * q + 0.03f);
        return static_cast<std::uint32_t>(255 * c * std::min(1.0f, (share + t) * k.v) + 0.5f);
    };
    return make_pixel(a, channel(red, k.t0), channel(green, k.t1), channel(blue, k.t2));
}

// A row of pixels x0 .. x0 + n - 1; four at a time with SSE2 (the same single-precision operations
// in the same order, so the same bytes), the rest one by one.
void shade_row(std::uint32_t* out, int x0, int n, const float* red, const float* green, const float* blue,
               const RowShade& k) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 absmask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128 qy = _mm_set1_ps(k.qy), oy = _mm_set1_ps(std::max(k.qy, 0.0f));
    const __m128 cx = _mm_set1_ps(k.cx), hs = _mm_set1_ps(k.half_straight), rr = _mm_set1_ps(k.r);
    const __m128 v255 = _mm_set1_ps(255.0f), vv = _mm_set1_ps(k.v);
    auto channel = [&](__m128 L, __m128 ch, float t, __m128 c) {
        __m128 q = _mm_max_ps(_mm_add_ps(L, _mm_mul_ps(_mm_set1_ps(1.15f), _mm_sub_ps(ch, L))), zero);
        q = _mm_min_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(1.06f), q), _mm_set1_ps(0.03f)), one);
        const __m128 share = _mm_mul_ps(_mm_set1_ps(0.1f), q);
        const __m128 lit = _mm_min_ps(_mm_mul_ps(_mm_add_ps(share, _mm_set1_ps(t)), vv), one);
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_mul_ps(v255, c), lit), half));
    };
    for (; i + 4 <= n; i += 4) {
        const float base = static_cast<float>(x0 + i);
        const __m128 px = _mm_add_ps(_mm_setr_ps(base, base + 1, base + 2, base + 3), half);
        const __m128 qx = _mm_sub_ps(_mm_and_ps(_mm_sub_ps(px, cx), absmask), hs);
        const __m128 ox = _mm_max_ps(qx, zero);
        const __m128 d = _mm_sub_ps(_mm_add_ps(_mm_min_ps(_mm_max_ps(qx, qy), zero),
                                               _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(ox, ox), _mm_mul_ps(oy, oy)))),
                                    rr);
        const __m128 c0 = _mm_min_ps(_mm_max_ps(_mm_sub_ps(half, d), zero), one);
        const __m128 c = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_set1_ps(0.95f), c0), zero), one);
        const __m128i a = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v255, c), half));
        const __m128 keep_f = _mm_and_ps(_mm_and_ps(_mm_cmplt_ps(d, half), _mm_cmpgt_ps(c0, _mm_set1_ps(0.002f))),
                                         _mm_cmpgt_ps(c, _mm_set1_ps(0.003f)));
        const __m128i keep = _mm_andnot_si128(_mm_cmpeq_epi32(a, _mm_setzero_si128()), _mm_castps_si128(keep_f));
        const __m128 R = _mm_loadu_ps(red + i), G = _mm_loadu_ps(green + i), B = _mm_loadu_ps(blue + i);
        const __m128 L = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(0.299f), R), _mm_mul_ps(_mm_set1_ps(0.587f), G)),
                                    _mm_mul_ps(_mm_set1_ps(0.114f), B));
        const __m128i pr = channel(L, R, k.t0, c), pg = channel(L, G, k.t1, c), pb = channel(L, B, k.t2, c);
        __m128i pixel = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(a, 24), _mm_slli_epi32(pr, 16)),
                                     _mm_or_si128(_mm_slli_epi32(pg, 8), pb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_and_si128(pixel, keep));
    }
#endif
    for (; i < n; ++i) out[i] = shade_pixel(static_cast<float>(x0 + i) + 0.5f, red[i], green[i], blue[i], k);
}

}  // namespace

GlassGeometry glass_geometry(float s) {
    GlassGeometry g;
    g.s = s;
    const int m = static_cast<int>(std::lround(s));
    g.x0 = m;
    g.y0 = m;
    g.panel_w = static_cast<int>(std::lround(800 * s));
    g.panel_h = static_cast<int>(std::lround(560 * s));
    g.outline_radius = 26 * s;
    g.fill_radius = std::min({26 * s, g.panel_w / 2.0f, g.panel_h / 2.0f});
    g.cell = std::max(static_cast<int>(std::lround(2 * s)), 2);
    g.blur_radius = std::max(static_cast<int>(std::lround(9 * s)), 3);
    return g;
}

Canvas shade_glass(const Backdrop& backdrop, float scale, int width, int height) {
    const GlassGeometry g = glass_geometry(scale);
    Canvas out(width, height);
    const float P = static_cast<float>(g.panel_w), Q = static_cast<float>(g.panel_h);
    const float hw = P / 2, hh = Q / 2, cx = g.x0 + hw, cy = g.y0 + hh;
    const float r = limit_radius(g.fill_radius, hw, hh);
    const float k = std::max(0.42f * Q, 1.0f) / Q;
    const int xa = std::max(g.x0 - 1, 0), xb = std::max(std::min(g.x0 + g.panel_w + 1, out.width), xa);
    const int ya = std::max(g.y0 - 1, 0), yb = std::min(g.y0 + g.panel_h + 1, out.height);
    const int n = xb - xa;
    if (n <= 0) return out;

    // The bilinear sample of the shading step, split: per column the two neighbours and weight
    // (computed once), per row the vertical blend of two grid rows (once per row), per pixel one
    // horizontal blend. Same arithmetic as backdrop_colour, reordered.
    const float u = static_cast<float>(backdrop.cell);
    auto coord = [u](int p, int count) {
        const float v = (static_cast<float>(p) + 0.5f) / u;
        return count <= 1 ? 0.0f : std::clamp(v, 0.0f, static_cast<float>(count) - 1.001f);
    };
    std::vector<int> col0(n), col1(n);
    std::vector<float> colf(n);
    for (int i = 0; i < n; ++i) {
        const float gx = coord(xa + i, backdrop.gw);
        col0[i] = static_cast<int>(std::floor(gx));
        col1[i] = std::min(backdrop.gw - 1, col0[i] + 1);
        colf[i] = gx - static_cast<float>(col0[i]);
    }
    std::vector<float> grid_row(static_cast<size_t>(backdrop.gw) * 3);
    std::vector<float> red(n), green(n), blue(n);

    for (int y = ya; y < yb; ++y) {
        const float py = static_cast<float>(y) + 0.5f;
        const float ty = std::clamp((py - static_cast<float>(g.y0)) / Q, 0.0f, 1.0f);
        const float tint[3] = {0.9f * (52 - 35 * ty) / 255.0f, 0.9f * (56 - 37 * ty) / 255.0f,
                               0.9f * (64 - 40 * ty) / 255.0f};
        const float h = ty < k ? 0.055f * (1 - ty / k) * (1 - ty / k) : 0.0f;
        const float light[3] = {h, h, std::min(1.0f, 1.1f * h)};
        const float v = 1 - 0.1f * ty * ty;

        // Backdrop colours of this row.
        if (backdrop.synthetic) {
            float c[3];
            backdrop_colour(backdrop, 0, y, c);
            std::fill(red.begin(), red.end(), c[0]);
            std::fill(green.begin(), green.end(), c[1]);
            std::fill(blue.begin(), blue.end(), c[2]);
        } else {
            const float gy = coord(y, backdrop.gh);
            const int r0 = static_cast<int>(std::floor(gy)), r1 = std::min(backdrop.gh - 1, r0 + 1);
            const float fy = gy - static_cast<float>(r0);
            const float* a = backdrop.at(0, r0);
            const float* b = backdrop.at(0, r1);
            for (size_t i = 0; i < grid_row.size(); ++i) grid_row[i] = a[i] + (b[i] - a[i]) * fy;
            for (int i = 0; i < n; ++i) {
                const float* p0 = &grid_row[static_cast<size_t>(col0[i]) * 3];
                const float* p1 = &grid_row[static_cast<size_t>(col1[i]) * 3];
                red[i] = p0[0] + (p1[0] - p0[0]) * colf[i];
                green[i] = p0[1] + (p1[1] - p0[1]) * colf[i];
                blue[i] = p0[2] + (p1[2] - p0[2]) * colf[i];
            }
        }
        // Shading and coverage of the rounded panel, written premultiplied. The canvas starts
        // transparent and each pixel is written once, so a skipped pixel is simply written as 0.
        const RowShade rs{tint[0] + light[0], tint[1] + light[1], tint[2] + light[2], v,
                          std::fabs(py - cy) - (hh - r), cx, hw - r, r};
        shade_row(out.pixels.data() + static_cast<size_t>(y) * out.width + xa, xa, n, red.data(), green.data(),
                  blue.data(), rs);
    }
    const float s = g.s;
    stroke_rounded_rect(out, g.x0 - 0.5f, g.y0 - 0.5f, P + 1, Q + 1, 26 * s + 0.5f, 1, black(0.34f), black(0.34f));
    const float f = 1.6f * std::max(s, 1.0f);
    stroke_rounded_rect(out, g.x0 + f / 2, g.y0 + f / 2, P - f, Q - f, 26 * s - f / 2, f, white(0.3f), white(0.07f));
    return out;
}

Canvas render_glass_background(std::span<const std::uint32_t> capture, float scale, int width, int height) {
    const GlassGeometry g = glass_geometry(scale);
    const bool captured = width > 0 && height > 0 && capture.size() >= static_cast<size_t>(width) * height;
    Backdrop backdrop;
    if (captured) {
        backdrop = downsample(capture, width, height, g.cell);
        box_blur(backdrop, g.blur_radius, 3);
    } else {
        backdrop = fallback_backdrop(width, height);
    }
    return shade_glass(backdrop, scale, width, height);
}

}  // namespace nimbalo::gui
