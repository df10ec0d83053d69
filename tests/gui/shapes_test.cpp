// Shape coverage against a supersampled reference, blending, clips and degenerate input.
// Faults caught: a wrong distance (corners, pills, NaN radius), an off-by-half pixel centre, a
// span shortcut that covers too much or too little, a clip that leaks, a blend that breaks
// premultiplication or rounds differently from the blending rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "gui/canvas/canvas.h"
#include "gui/canvas/shapes.h"
#include "gui/reference_raster.h"

namespace nimbalo::gui {
namespace {

using testing::supersampled_coverage;

// Inside the true rounded rectangle (radius rule), in double precision.
bool inside_rounded(double px, double py, double x, double y, double w, double h, double radius) {
    const double hw = w / 2, hh = h / 2;
    double r = std::isnan(radius) ? hw : radius;
    r = std::max(0.0, std::min({r, hw, hh}));
    if (px < x || px > x + w || py < y || py > y + h) return false;
    const double cx = std::clamp(px, x + r, x + w - r), cy = std::clamp(py, y + r, y + h - r);
    return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
}

struct Compare {
    double max_error = 0, mean_error = 0;
    int worst_x = 0, worst_y = 0;
    double corner_error = 0;  // largest error on the pixels holding a square corner
};

// Draws into a transparent canvas in opaque white and compares alpha / 255 with the reference.
// `corners` lists square (radius 0) corner points: the distance rule treats the pixel
// holding one like an edge pixel (coverage 0.5 - d from the nearer side), so there it may be off
// by up to 0.25 (a quarter-covered pixel whose centre lies on an edge); reported apart.
template <class Inside>
Compare compare(const Canvas& c, Inside inside, std::vector<std::array<double, 2>> corners = {}) {
    Compare r;
    double sum = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const double want = supersampled_coverage(x, y, inside);
            const double got = pixel_alpha(c.at(x, y)) / 255.0;
            const double e = std::fabs(want - got);
            sum += e;
            bool corner = false;
            for (auto [px, py] : corners) corner |= px >= x && px <= x + 1 && py >= y && py <= y + 1;
            if (corner)
                r.corner_error = std::max(r.corner_error, e);
            else if (e > r.max_error)
                r.max_error = e, r.worst_x = x, r.worst_y = y;
        }
    r.mean_error = sum / (c.width * c.height);
    return r;
}

// Analytic coverage from the distance at the pixel centre differs from the area most across
// diagonal and tightly curved edges; 0.1 bounds that, and the mean keeps the edges honest.
constexpr double kMaxError = 0.1, kMeanError = 0.01;

TEST(Shapes, RoundedRectCoverageMatchesSupersampledReference) {
    struct Case {
        float x, y, w, h, r;
    } cases[] = {
        {3.3f, 4.7f, 40.2f, 20.6f, 6.0f},   // ordinary
        {2.0f, 2.0f, 30.0f, 12.0f, 0.0f},   // square corners on pixel edges
        {2.5f, 3.25f, 30.0f, 12.5f, 0.0f},  // square corners off pixel edges
        {4.1f, 5.2f, 50.0f, 14.0f, 40.0f},  // radius beyond half the height: pill
        {3.0f, 3.0f, 20.0f, 20.0f, 10.0f},  // circle
        {3.6f, 2.2f, 40.0f, 16.0f, std::numeric_limits<float>::quiet_NaN()},  // NaN radius counts as hw
        {5.0f, 5.0f, 0.6f, 9.0f, 0.2f},     // thinner than a pixel
        {2.2f, 6.4f, 44.0f, 2.4f, 1.2f},    // a bar
        {1.5f, 1.5f, 26.0f, 26.0f, -4.0f},  // negative radius counts as 0
    };
    for (const Case& k : cases) {
        Canvas c(64, 36);
        fill_rounded_rect(c, k.x, k.y, k.w, k.h, k.r, white(1));
        std::vector<std::array<double, 2>> corners;
        if (!(k.r > 0)  && !std::isnan(k.r))
            corners = {{k.x, k.y}, {k.x + k.w, k.y}, {k.x, k.y + k.h}, {k.x + k.w, k.y + k.h}};
        const Compare r = compare(c, [&](double px, double py) { return inside_rounded(px, py, k.x, k.y, k.w, k.h, k.r); },
                                  corners);
        EXPECT_LE(r.corner_error, 0.25 + 1.0 / 255) << "square corners of " << k.w << "x" << k.h;
        EXPECT_LT(r.max_error, kMaxError) << "rect " << k.x << "," << k.y << " " << k.w << "x" << k.h << " r " << k.r
                                          << " worst at " << r.worst_x << "," << r.worst_y;
        EXPECT_LT(r.mean_error, kMeanError) << "rect " << k.w << "x" << k.h << " r " << k.r;
    }
}

TEST(Shapes, CircleRingCapsuleCoverageMatchesReference) {
    {
        Canvas c(40, 40);
        fill_circle(c, 19.3f, 20.6f, 12.4f, white(1));
        const Compare r = compare(c, [](double x, double y) { return std::hypot(x - 19.3, y - 20.6) <= 12.4; });
        EXPECT_LT(r.max_error, kMaxError);
        EXPECT_LT(r.mean_error, kMeanError);
    }
    {
        Canvas c(48, 48);
        fill_ring(c, 23.7f, 24.2f, 14.0f, 3.0f, white(1));
        const Compare r = compare(c, [](double x, double y) { return std::fabs(std::hypot(x - 23.7, y - 24.2) - 14.0) <= 1.5; });
        EXPECT_LT(r.max_error, kMaxError);
        EXPECT_LT(r.mean_error, kMeanError);
    }
    for (auto [x0, y0, x1, y1] : {std::array<float, 4>{5.2f, 6.1f, 38.7f, 30.4f}, {20.0f, 5.0f, 20.0f, 35.0f},
                                  {12.0f, 12.0f, 12.0f, 12.0f}}) {
        Canvas c(48, 40);
        fill_capsule(c, x0, y0, x1, y1, 3.2f, white(1));
        const Compare r = compare(c, [&](double x, double y) {
            const double vx = x1 - x0, vy = y1 - y0, len2 = std::max(vx * vx + vy * vy, 1e-12);
            const double u = std::clamp(((x - x0) * vx + (y - y0) * vy) / len2, 0.0, 1.0);
            return std::hypot(x - (x0 + u * vx), y - (y0 + u * vy)) <= 1.6;
        });
        EXPECT_LT(r.max_error, kMaxError) << x0 << "," << y0 << " -> " << x1 << "," << y1;
        EXPECT_LT(r.mean_error, kMeanError);
    }
}

TEST(Shapes, StrokeCoverageMatchesReference) {
    for (float lw : {1.0f, 1.6f, 3.0f}) {
        Canvas c(70, 44);
        stroke_rounded_rect(c, 4.5f, 5.5f, 60.0f, 32.0f, 9.0f, lw, white(1), white(1));
        const Compare r = compare(c, [&](double px, double py) {
            const double half = lw / 2.0;
            return inside_rounded(px, py, 4.5 - half, 5.5 - half, 60 + lw, 32 + lw, 9 + half) &&
                   !inside_rounded(px, py, 4.5 + half, 5.5 + half, 60 - lw, 32 - lw, 9 - half);
        });
        EXPECT_LT(r.max_error, kMaxError) << "line width " << lw << " worst at " << r.worst_x << "," << r.worst_y;
        EXPECT_LT(r.mean_error, kMeanError) << "line width " << lw;
    }
}

TEST(Shapes, StrokeGradientRunsTopToBottom) {
    Canvas c(40, 104);
    stroke_rounded_rect(c, 2, 2, 36, 100, 4, 2, white(1), black(1));
    // Left edge, column 2 (the line covers [1, 3)): colour from white at the top to black.
    const std::uint32_t top = c.at(2, 10), mid = c.at(2, 52), bottom = c.at(2, 94);
    EXPECT_EQ(pixel_alpha(top), 255u);
    EXPECT_GT(pixel_red(top), pixel_red(mid));
    EXPECT_GT(pixel_red(mid), pixel_red(bottom));
    EXPECT_NEAR(pixel_red(mid), 255 * (1 - (52.5 - 2) / 100.0), 2);
    EXPECT_EQ(c.at(20, 52), 0u) << "the inside stays empty";
}

TEST(Shapes, DegenerateInputDrawsNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Canvas c(32, 32);
    fill_rounded_rect(c, 2, 2, 0, 10, 2, white(1));
    fill_rounded_rect(c, 2, 2, 10, -1, 2, white(1));
    fill_rounded_rect(c, nan, 2, 10, 10, 2, white(1));
    fill_rounded_rect(c, 2, 2, nan, 10, 2, white(1));
    stroke_rounded_rect(c, 2, 2, 10, 10, 2, 0, white(1), white(1));
    stroke_rounded_rect(c, 2, 2, 10, 10, 2, -1, white(1), white(1));
    fill_circle(c, 10, 10, 0, white(1));
    fill_circle(c, 10, 10, -3, white(1));
    fill_ring(c, 10, 10, 0, 2, white(1));
    fill_ring(c, 10, 10, 5, 0, white(1));
    fill_capsule(c, 1, 1, 20, 20, 0, white(1));
    fill_hairline(c, 2, 2, 0, 1);
    fill_rounded_rect(c, 1e30f, 1e30f, 10, 10, 2, white(1));
    fill_rounded_rect(c, -1e30f, -1e30f, 1e30f, 1e30f, 2, white(0));
    for (std::uint32_t p : c.pixels) ASSERT_EQ(p, 0u);
    // Huge shapes covering the canvas: no overflow on the way (the sanitizer build watches).
    fill_rounded_rect(c, -1e30f, -1e30f, 2e30f, 2e30f, 5, white(1));
    EXPECT_EQ(c.at(16, 16), 0xFFFFFFFFu);
    stroke_rounded_rect(c, -1e30f, -1e30f, 2e30f, 2e30f, 5, 3, black(1), black(1));
    fill_circle(c, 16, 16, 1e30f, black(1));
    EXPECT_EQ(c.at(16, 16), 0xFF000000u);
}

TEST(Shapes, InvisibleColoursChangeNoPixel) {
    std::mt19937 rng(12);
    Canvas c(40, 40);
    for (auto& p : c.pixels) {
        const std::uint32_t a = rng() % 256;
        p = make_pixel(a, rng() % (a + 1), rng() % (a + 1), rng() % (a + 1));
    }
    const std::vector<std::uint32_t> before = c.pixels;
    for (float alpha : {0.0f, 0.001f, 0.003f, 0.004f}) {
        fill_rounded_rect(c, 2, 2, 30, 30, 5, white(alpha));
        stroke_rounded_rect(c, 2, 2, 30, 30, 5, 2, white(alpha), white(alpha));
        fill_circle(c, 20, 20, 12, white(alpha));
        fill_ring(c, 20, 20, 12, 3, white(alpha));
        fill_capsule(c, 3, 3, 30, 30, 4, white(alpha));
    }
    EXPECT_EQ(c.pixels, before);
}

TEST(Shapes, ClipCutsShapesExactly) {
    // Each shape drawn with a clip equals the unclipped drawing inside the clip, nothing outside.
    auto draw_all = [](Canvas& c) {
        fill_rounded_rect(c, 3.3f, 2.7f, 50, 30, 8, rgb(0x336699, 0.8f));
        stroke_rounded_rect(c, 5.5f, 6.5f, 40, 22, 6, 1.6f, white(0.3f), white(0.07f));
        fill_circle(c, 30, 20, 11.5f, rgb(0xFF8A80, 0.7f));
        fill_ring(c, 30, 20, 9, 3, rgb(0x1F70E0, 0.9f));
        fill_capsule(c, 8, 30, 52, 8, 3.2f, black(0.5f));
        fill_hairline(c, 0, 19.5f, 60, 1);
    };
    Canvas full(60, 40);
    draw_all(full);
    for (auto [x0, y0, x1, y1] : {std::array<int, 4>{10, 5, 31, 27}, {0, 0, 60, 1}, {59, 39, 60, 40}, {20, 20, 20, 30},
                                  {-5, -5, 100, 100}, {40, 30, 10, 5}}) {
        Canvas c(60, 40);
        c.set_clip(x0, y0, x1, y1);
        draw_all(c);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) {
                const bool in = x >= c.clip_x0 && x < c.clip_x1 && y >= c.clip_y0 && y < c.clip_y1;
                ASSERT_EQ(c.at(x, y), in ? full.at(x, y) : 0u) << "clip " << x0 << "," << y0 << "-" << x1 << "," << y1
                                                             << " pixel " << x << "," << y;
            }
    }
}

TEST(Shapes, HairlineCoversWholePixelsAtAlpha19) {
    Canvas c(20, 10);
    fill_hairline(c, 2.4f, 3.6f, 10.2f, 1.0f);  // [2, 13) x [3, 5)
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = x >= 2 && x < 13 && y >= 3 && y < 5;
            EXPECT_EQ(c.at(x, y), in ? make_pixel(19, 19, 19, 19) : 0u) << x << "," << y;
        }
}

TEST(Blend, SpanMatchesTheIntegerRuleForEveryByte) {
    // blend_span computes floor((d * inv + 127) / 255) with shifts; compare with the plain rule.
    for (std::uint32_t sa = 1; sa < 255; ++sa) {
        // 263 pixels: the 8-wide, 4-wide and one-at-a-time paths all take part.
        std::uint32_t px[263];
        for (std::uint32_t d = 0; d < 263; ++d) px[d] = make_pixel(d % 256, d % 256, 255 - d % 256, d / 2 % 256);
        const std::uint32_t s = sa / 3;
        blend_span(px, 263, sa, s, sa, 0);
        for (std::uint32_t d = 0; d < 263; ++d) {
            std::uint32_t want = make_pixel(d % 256, d % 256, 255 - d % 256, d / 2 % 256);
            blend_premultiplied(want, sa, s, sa, 0);
            ASSERT_EQ(px[d], want) << "alpha " << sa << " dest " << d;
        }
    }
}

TEST(Blend, PixelRuleRoundsAsPart72Says) {
    std::uint32_t p = make_pixel(255, 0, 0, 0);
    blend_pixel(p, Colour{1, 0.5f, 0, 0.5f}, 0.5f);  // a = trunc(127.5 + 0.5) = 128; red 128, green 64
    const std::uint32_t keep = (255 * 127 + 127) / 255;
    EXPECT_EQ(p, make_pixel(128 + keep, 128, 64, 0));
    std::uint32_t q = 0x80402010u;
    blend_pixel(q, white(1), 0.003f);  // at the threshold: unchanged
    blend_pixel(q, white(1), 0.0019f);  // rounds to alpha 0: unchanged
    EXPECT_EQ(q, 0x80402010u);
}

TEST(Blend, RandomShapesKeepPixelsPremultiplied) {
    const unsigned seed = 20261210;
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> pos(-10, 90), size(-5, 60), unit(0, 1);
    Canvas c(80, 60);
    for (int i = 0; i < 600; ++i) {
        const Colour col{unit(rng) * 1.2f - 0.1f, unit(rng), unit(rng), unit(rng)};
        switch (rng() % 6) {
        case 0: fill_rounded_rect(c, pos(rng), pos(rng), size(rng), size(rng), size(rng) / 3, col); break;
        case 1: stroke_rounded_rect(c, pos(rng), pos(rng), size(rng), size(rng), size(rng) / 3, unit(rng) * 4, col, white(unit(rng))); break;
        case 2: fill_circle(c, pos(rng), pos(rng), size(rng) / 2, col); break;
        case 3: fill_ring(c, pos(rng), pos(rng), size(rng) / 2, unit(rng) * 5, col); break;
        case 4: fill_capsule(c, pos(rng), pos(rng), pos(rng), pos(rng), unit(rng) * 6, col); break;
        case 5: fill_hairline(c, pos(rng), pos(rng), size(rng), 1); break;
        }
        if (i % 50 == 0) c.set_clip(static_cast<int>(rng() % 80), static_cast<int>(rng() % 60), 80, 60);
        if (i % 50 == 25) c.reset_clip();
    }
    for (std::uint32_t p : c.pixels) {
        const std::uint32_t a = pixel_alpha(p);
        ASSERT_LE(pixel_red(p), a + 1);
        ASSERT_LE(pixel_green(p), a + 1);
        ASSERT_LE(pixel_blue(p), a + 1);
    }
}

}  // namespace
}  // namespace nimbalo::gui
