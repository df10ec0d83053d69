#include "gui/canvas/shapes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace nimbalo::gui {

namespace {

constexpr float kInvisibleAlpha = 0.004f;

struct Box {
    int x0, y0, x1, y1;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// [floor(lo_x) - g, ceil(hi_x) + g) limited to the clip; NaN or huge bounds give an empty box.
Box clip_box(const Canvas& c, float lo_x, float lo_y, float hi_x, float hi_y, float g) {
    auto lo = [g](float v, int limit) {
        const float f = std::floor(v - g);
        if (!(f > static_cast<float>(limit))) return limit;  // NaN lands here too
        return f > 1e9f ? 1000000000 : static_cast<int>(f);
    };
    auto hi = [g](float v, int limit) {
        const float f = std::ceil(v + g);
        if (!(f < static_cast<float>(limit))) return std::isnan(f) ? -1 : limit;
        return f < -1e9f ? -1000000000 : static_cast<int>(f);
    };
    Box b{lo(lo_x, c.clip_x0), lo(lo_y, c.clip_y0), hi(hi_x, c.clip_x1), hi(hi_y, c.clip_y1)};
    if (std::isnan(lo_x) || std::isnan(lo_y) || std::isnan(hi_x) || std::isnan(hi_y)) b.x1 = b.x0;
    return b;
}

// floor/ceil results as ints, limited to [lo, hi] first (a cast of an out-of-range float is undefined).
int clamp_to_int(float v, int lo, int hi) {
    if (!(v > static_cast<float>(lo))) return lo;
    if (!(v < static_cast<float>(hi))) return hi;
    return static_cast<int>(v);
}

struct Source {
    std::uint32_t a, r, g, b;
};

// The 8-bit premultiplied source blend_pixel uses for a coverage (colour alpha included);
// alpha 0 when blend_pixel would leave the pixel unchanged.
Source source_at(const Colour& c, float cov) {
    if (!(cov > 0.003f)) return Source{0, 0, 0, 0};
    cov = std::min(cov, 1.0f);
    auto chan = [cov](float v) {
        v = v < 0 ? 0 : (v > 1 ? 1 : v);
        return static_cast<std::uint32_t>(v * cov * 255.0f + 0.5f);
    };
    return Source{static_cast<std::uint32_t>(cov * 255.0f + 0.5f), chan(c.r), chan(c.g), chan(c.b)};
}

// The 8-bit premultiplied source of a colour at full coverage (as blend_pixel computes it).
Source full_source(const Colour& c) {
    const float cov = std::min(c.a, 1.0f);
    auto chan = [cov](float v) {
        v = v < 0 ? 0 : (v > 1 ? 1 : v);
        return static_cast<std::uint32_t>(v * cov * 255.0f + 0.5f);
    };
    return Source{static_cast<std::uint32_t>(cov * 255.0f + 0.5f), chan(c.r), chan(c.g), chan(c.b)};
}

// Walks one row of a convex fill: px(i) = i + 0.5, dist(px) the signed distance, symmetric about
// the vertical line through cx. Pixels at full coverage form one run (convexity); the first
// found on the left gives the run's end by mirroring about cx.
template <class Dist>
void fill_row(Canvas& c, int y, int x0, int x1, float cx, const Colour& colour, const Source& full, Dist dist) {
    std::uint32_t* row = c.pixels.data() + static_cast<size_t>(y) * c.width;
    for (int x = x0; x < x1; ++x) {
        const float px = static_cast<float>(x) + 0.5f;
        const float d = dist(px);
        if (d >= 0.5f) continue;
        const float cov = std::clamp(0.5f - d, 0.0f, 1.0f);
        if (cov >= 1.0f && px < cx) {
            // Full coverage from here to the mirror image of this centre.
            const float m = 2.0f * cx - px;
            const int last = clamp_to_int(std::floor(m - 0.5f), x - 1, x1 - 1);
            if (last >= x) {
                if (full.a != 0 && colour.a > 0.003f) blend_span(row + x, last - x + 1, full.a, full.r, full.g, full.b);
                x = last;
                continue;
            }
        }
        blend_pixel(row[x], colour, cov * colour.a);
    }
}

}  // namespace

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define NIMBALO_SPAN_AVX2 1
// The same rule 8 pixels at a time, for processors with AVX2 (chosen at run time).
static __attribute__((target("avx2"))) int blend_span_avx2(std::uint32_t* p, int n, std::uint32_t src, std::uint16_t inv) {
    const __m256i vinv = _mm256_set1_epi16(static_cast<short>(inv)), v127 = _mm256_set1_epi16(127);
    const __m256i v1 = _mm256_set1_epi16(1), vsrc = _mm256_set1_epi32(static_cast<int>(src));
    const __m256i zero = _mm256_setzero_si256();
    auto div255 = [&](__m256i t) __attribute__((target("avx2"))) {
        t = _mm256_add_epi16(_mm256_mullo_epi16(t, vinv), v127);
        return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(t, v1), _mm256_srli_epi16(t, 8)), 8);
    };
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
        // unpack/pack work within 128-bit lanes and undo each other: the order is preserved.
        const __m256i lo = div255(_mm256_unpacklo_epi8(d, zero)), hi = div255(_mm256_unpackhi_epi8(d, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + i), _mm256_adds_epu8(vsrc, _mm256_packus_epi16(lo, hi)));
    }
    return i;
}
static bool has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}
#endif

void blend_span(std::uint32_t* p, int n, std::uint32_t sa, std::uint32_t sr, std::uint32_t sg, std::uint32_t sb) {
    if (n <= 0 || sa == 0) return;
    const std::uint32_t src = make_pixel(sa, sr, sg, sb);
    if (sa == 255) {
        std::fill(p, p + n, src);
        return;
    }
    // Per byte: min(255, s + floor((d * inv + 127) / 255)), the division computed exactly as
    // (t + 1 + (t >> 8)) >> 8 with t = d * inv + 127 < 65536 (checked exhaustively in the tests);
    // the saturating byte add is the min(255, ...).
    const std::uint16_t inv = static_cast<std::uint16_t>(255 - sa);
    int i = 0;
#if defined(NIMBALO_SPAN_AVX2)
    if (n >= 8 && has_avx2()) i = blend_span_avx2(p, n, src, inv);
#endif
#if defined(__SSE2__)
    const __m128i vinv = _mm_set1_epi16(static_cast<short>(inv)), v127 = _mm_set1_epi16(127), v1 = _mm_set1_epi16(1);
    const __m128i vsrc = _mm_set1_epi32(static_cast<int>(src)), zero = _mm_setzero_si128();
    auto div255 = [&](__m128i t) {
        t = _mm_add_epi16(_mm_mullo_epi16(t, vinv), v127);
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, v1), _mm_srli_epi16(t, 8)), 8);
    };
    for (; i + 4 <= n; i += 4) {
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i lo = div255(_mm_unpacklo_epi8(d, zero)), hi = div255(_mm_unpackhi_epi8(d, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_adds_epu8(vsrc, _mm_packus_epi16(lo, hi)));
    }
#endif
    std::uint8_t s[4];
    std::memcpy(s, &src, 4);
    auto* bytes = reinterpret_cast<std::uint8_t*>(p);
    for (; i < n; ++i) {
        std::uint8_t* q = bytes + 4 * i;
        for (int k = 0; k < 4; ++k) {
            const std::uint16_t t = static_cast<std::uint16_t>(q[k] * inv + 127);
            const std::uint16_t v = static_cast<std::uint16_t>(s[k] + ((t + 1 + (t >> 8)) >> 8));
            q[k] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
        }
    }
}

float limit_radius(float radius, float hw, float hh) {
    float r = std::isnan(radius) ? hw : radius;
    r = std::min(r, hw);
    r = std::min(r, hh);
    return std::max(r, 0.0f);
}

float rounded_rect_distance(float px, float py, float cx, float cy, float hw, float hh, float r) {
    const float qx = std::fabs(px - cx) - (hw - r);
    const float qy = std::fabs(py - cy) - (hh - r);
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::min(std::max(qx, qy), 0.0f) + std::sqrt(ox * ox + oy * oy) - r;
}

void fill_rounded_rect(Canvas& c, float x, float y, float w, float h, float radius, const Colour& colour) {
    if (!(w > 0) || !(h > 0) || !(colour.a > kInvisibleAlpha)) return;
    const float hw = w / 2, hh = h / 2, cx = x + hw, cy = y + hh;
    const float r = limit_radius(radius, hw, hh);
    const Box b = clip_box(c, x, y, x + w, y + h, 1.0f);
    if (b.empty()) return;
    const Source full = full_source(colour);
    for (int yy = b.y0; yy < b.y1; ++yy) {
        const float py = static_cast<float>(yy) + 0.5f;
        const float qy = std::fabs(py - cy) - (hh - r);
        const float dconst = qy - r;  // d on the band |px - cx| <= hw - r + min(qy, 0), the row's least d
        if (dconst >= 0.5f) continue;
        auto dist = [&](float px) {
            const float qx = std::fabs(px - cx) - (hw - r);
            const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
            return std::min(std::max(qx, qy), 0.0f) + std::sqrt(ox * ox + oy * oy) - r;
        };
        if (dconst > -0.5f) {
            // A top or bottom edge row: no pixel is fully covered, and along the straight band the
            // coverage is one constant: one span there, per pixel only on the corner arcs.
            const float band = hw - r + std::min(qy, 0.0f);
            const int bx0 = clamp_to_int(std::ceil(cx - band - 0.5f), b.x0, b.x1);
            const int bx1 = clamp_to_int(std::floor(cx + band - 0.5f) + 1, b.x0, b.x1);
            std::uint32_t* row = c.pixels.data() + static_cast<size_t>(yy) * c.width;
            auto each = [&](int from, int to) {
                for (int x = from; x < to; ++x) {
                    const float d = dist(static_cast<float>(x) + 0.5f);
                    if (d < 0.5f) blend_pixel(row[x], colour, std::clamp(0.5f - d, 0.0f, 1.0f) * colour.a);
                }
            };
            if (bx0 >= bx1) {
                each(b.x0, b.x1);
                continue;
            }
            each(b.x0, bx0);
            const Source part = source_at(colour, std::clamp(0.5f - dconst, 0.0f, 1.0f) * colour.a);
            if (part.a != 0) blend_span(row + bx0, bx1 - bx0, part.a, part.r, part.g, part.b);
            each(bx1, b.x1);
            continue;
        }
        fill_row(c, yy, b.x0, b.x1, cx, colour, full, [&](float px) {
            const float qx = std::fabs(px - cx) - (hw - r);
            const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
            return std::min(std::max(qx, qy), 0.0f) + std::sqrt(ox * ox + oy * oy) - r;
        });
    }
}

void stroke_rounded_rect(Canvas& c, float x, float y, float w, float h, float radius, float line_width,
                         const Colour& top, const Colour& bottom) {
    if (!(w > 0) || !(h > 0) || !(line_width > 0)) return;
    if (!(top.a > kInvisibleAlpha) && !(bottom.a > kInvisibleAlpha)) return;
    const float hw = w / 2, hh = h / 2, cx = x + hw, cy = y + hh;
    const float r = limit_radius(radius, hw, hh);
    const float half = line_width / 2;
    const Box b = clip_box(c, x, y, x + w, y + h, std::ceil(half) + 1.0f);
    if (b.empty()) return;
    for (int yy = b.y0; yy < b.y1; ++yy) {
        const float py = static_cast<float>(yy) + 0.5f;
        const float t = std::clamp((py - y) / h, 0.0f, 1.0f);
        const Colour col{top.r + t * (bottom.r - top.r), top.g + t * (bottom.g - top.g),
                         top.b + t * (bottom.b - top.b), top.a + t * (bottom.a - top.a)};
        const float qy = std::fabs(py - cy) - (hh - r);
        std::uint32_t* row = c.pixels.data() + static_cast<size_t>(yy) * c.width;
        for (int xx = b.x0; xx < b.x1; ++xx) {
            const float px = static_cast<float>(xx) + 0.5f;
            const float qx = std::fabs(px - cx) - (hw - r);
            const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
            const float d = std::min(std::max(qx, qy), 0.0f) + std::sqrt(ox * ox + oy * oy) - r;
            const float cov = std::clamp(half + 0.5f - std::fabs(d), 0.0f, 1.0f);
            if (cov <= 0.0f && d < 0.0f && px < cx) {
                // Inside, beyond the line: so is every centre up to the mirror image (convexity).
                const int next = clamp_to_int(std::floor(2.0f * cx - px - 0.5f), xx, b.x1) + 1;
                if (next > xx + 1) xx = std::min(next, b.x1) - 1;
                continue;
            }
            blend_pixel(row[xx], col, cov * col.a);
        }
    }
}

void fill_circle(Canvas& c, float cx, float cy, float r, const Colour& colour) {
    if (!(r > 0) || !(colour.a > kInvisibleAlpha)) return;
    const Box b = clip_box(c, cx - r, cy - r, cx + r, cy + r, 1.0f);
    if (b.empty()) return;
    const Source full = full_source(colour);
    for (int yy = b.y0; yy < b.y1; ++yy) {
        const float dy = static_cast<float>(yy) + 0.5f - cy;
        fill_row(c, yy, b.x0, b.x1, cx, colour, full, [&](float px) {
            const float dx = px - cx;
            return std::sqrt(dx * dx + dy * dy) - r;
        });
    }
}

void fill_hairline(Canvas& c, float x, float y, float w, float h) {
    if (!(w > 0) || !(h > 0)) return;
    const Box b = clip_box(c, x, y, x + w, y + h, 0.0f);
    if (b.empty()) return;
    for (int yy = b.y0; yy < b.y1; ++yy)
        blend_span(c.pixels.data() + static_cast<size_t>(yy) * c.width + b.x0, b.x1 - b.x0, 19, 19, 19, 19);
}

void fill_ring(Canvas& c, float cx, float cy, float r, float w, const Colour& colour) {
    if (!(r > 0) || !(w > 0) || !(colour.a > kInvisibleAlpha)) return;
    const float g = r + w + 1;
    const Box b = clip_box(c, cx - g, cy - g, cx + g, cy + g, 0.0f);
    if (b.empty()) return;
    const float half = w / 2;
    for (int yy = b.y0; yy < b.y1; ++yy) {
        const float dy = static_cast<float>(yy) + 0.5f - cy;
        std::uint32_t* row = c.pixels.data() + static_cast<size_t>(yy) * c.width;
        for (int xx = b.x0; xx < b.x1; ++xx) {
            const float dx = static_cast<float>(xx) + 0.5f - cx;
            const float d = std::fabs(std::sqrt(dx * dx + dy * dy) - r) - half;
            if (d >= 0.5f) continue;
            blend_pixel(row[xx], colour, std::clamp(0.5f - d, 0.0f, 1.0f) * colour.a);
        }
    }
}

void fill_capsule(Canvas& c, float x0, float y0, float x1, float y1, float w, const Colour& colour) {
    if (!(w > 0) || !(colour.a > kInvisibleAlpha)) return;
    const float g = w / 2 + 1;
    const Box b = clip_box(c, std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1), g);
    if (b.empty()) return;
    const float vx = x1 - x0, vy = y1 - y0;
    const float len2 = std::max(vx * vx + vy * vy, 1e-6f);
    const float half = w / 2;
    for (int yy = b.y0; yy < b.y1; ++yy) {
        const float py = static_cast<float>(yy) + 0.5f;
        std::uint32_t* row = c.pixels.data() + static_cast<size_t>(yy) * c.width;
        for (int xx = b.x0; xx < b.x1; ++xx) {
            const float px = static_cast<float>(xx) + 0.5f;
            const float u = std::clamp(((px - x0) * vx + (py - y0) * vy) / len2, 0.0f, 1.0f);
            const float ex = px - (x0 + u * vx), ey = py - (y0 + u * vy);
            const float d = std::sqrt(ex * ex + ey * ey) - half;
            if (d >= 0.5f) continue;
            blend_pixel(row[xx], colour, std::clamp(0.5f - d, 0.0f, 1.0f) * colour.a);
        }
    }
}

}  // namespace nimbalo::gui
