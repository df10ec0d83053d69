// The glass background: downsampling, blur against a naive windowed mean, the panel
// geometry at 100 % and 150 %, the outline and rim positions, the backdrop's bounded share and
// the synthetic fallback. Faults caught: a running sum started from the wrong window, edges not
// clamped, a cell off by one, a panel or outline one pixel off, a backdrop share above 0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "gui/glass/backdrop.h"
#include "gui/glass/glass.h"

namespace nimbalo::gui {
namespace {

// Naive clamped box blur: each cell the mean of its 2b+1 neighbours along the axis.
std::vector<double> naive_blur(std::vector<double> g, int gw, int gh, int b, int rounds) {
    std::vector<double> t(g.size());
    for (int round = 0; round < rounds; ++round) {
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i)
                for (int c = 0; c < 3; ++c) {
                    double s = 0;
                    for (int k = -b; k <= b; ++k) s += g[(j * gw + std::clamp(i + k, 0, gw - 1)) * 3 + c];
                    t[(j * gw + i) * 3 + c] = s / (2 * b + 1);
                }
        for (int j = 0; j < gh; ++j)
            for (int i = 0; i < gw; ++i)
                for (int c = 0; c < 3; ++c) {
                    double s = 0;
                    for (int k = -b; k <= b; ++k) s += t[(std::clamp(j + k, 0, gh - 1) * gw + i) * 3 + c];
                    g[(j * gw + i) * 3 + c] = s / (2 * b + 1);
                }
    }
    return g;
}

TEST(Glass, BoxBlurMatchesNaiveClampedMean) {
    const unsigned seed = 7;
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0, 1);
    for (auto [gw, gh, b] : {std::array<int, 3>{37, 23, 9}, {5, 4, 9}, {2, 2, 3}, {60, 3, 14}, {1, 8, 3}}) {
        Backdrop g;
        g.gw = gw;
        g.gh = gh;
        g.rgb.resize(static_cast<size_t>(gw) * gh * 3);
        for (float& v : g.rgb) v = unit(rng);
        const std::vector<double> want =
            gw > 1 && gh > 1 ? naive_blur(std::vector<double>(g.rgb.begin(), g.rgb.end()), gw, gh, b, 3)
                             : std::vector<double>(g.rgb.begin(), g.rgb.end());  // one-cell axis: no blur
        box_blur(g, b, 3);
        for (size_t i = 0; i < want.size(); ++i) ASSERT_NEAR(g.rgb[i], want[i], 1e-5) << gw << "x" << gh << " cell " << i / 3;
    }
}

TEST(Glass, DownsampleAveragesCellsInsideTheWindow) {
    // 5 x 3 pixels, u = 2: grid 2 x 1 (the fifth column and third row lie beyond the cells).
    std::vector<std::uint32_t> px(15, 0);
    px[0] = 0x00FF0000;  // (0,0) red
    px[1] = 0x00FF0000;
    px[5] = 0x000000FF;  // (0,1) blue
    px[6] = 0x000000FF;
    px[2] = 0x0000FF00;  // (2,0) green, alpha byte ignored
    px[4] = 0xFFFFFFFF;  // (4,0) outside every cell
    const Backdrop g = downsample(px, 5, 3, 2);
    ASSERT_EQ(g.gw, 2);
    ASSERT_EQ(g.gh, 1);
    EXPECT_FLOAT_EQ(g.at(0, 0)[0], 0.5f);
    EXPECT_FLOAT_EQ(g.at(0, 0)[1], 0.0f);
    EXPECT_FLOAT_EQ(g.at(0, 0)[2], 0.5f);
    EXPECT_FLOAT_EQ(g.at(1, 0)[1], 0.25f);
    EXPECT_FLOAT_EQ(g.at(1, 0)[0], 0.0f);
}

TEST(Glass, GeometryAt100And150Percent) {
    const GlassGeometry a = glass_geometry(1.0f);
    EXPECT_EQ(a.x0, 1);
    EXPECT_EQ(a.panel_w, 800);
    EXPECT_EQ(a.panel_h, 560);
    EXPECT_FLOAT_EQ(a.fill_radius, 26);
    EXPECT_EQ(a.cell, 2);
    EXPECT_EQ(a.blur_radius, 9);
    const GlassGeometry b = glass_geometry(1.5f);
    EXPECT_EQ(b.x0, 2);
    EXPECT_EQ(b.panel_w, 1200);
    EXPECT_EQ(b.panel_h, 840);
    EXPECT_EQ(b.cell, 3);
    EXPECT_EQ(b.blur_radius, 14);
}

std::vector<std::uint32_t> flat(int w, int h, std::uint32_t colour) { return std::vector<std::uint32_t>(static_cast<size_t>(w) * h, colour); }

TEST(Glass, PanelOutlineAndRimAtScale1) {
    const int W = 802, H = 562;
    const Canvas c = render_glass_background(flat(W, H, 0xFF808080), 1.0f, W, H);
    ASSERT_EQ(c.width, W);
    ASSERT_EQ(c.height, H);
    // Outline: the 1-pixel line just outside the panel: column 0 and row 0 along straight edges,
    // black at 0.34 (alpha 87) and nothing of the glass there.
    EXPECT_EQ(c.at(0, 281), make_pixel(87, 0, 0, 0));
    EXPECT_EQ(c.at(801, 281), make_pixel(87, 0, 0, 0));
    EXPECT_EQ(c.at(400, 0), make_pixel(87, 0, 0, 0));
    EXPECT_EQ(c.at(400, 561), make_pixel(87, 0, 0, 0));
    // Corners outside the rounded panel stay transparent.
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(3, 3), 0u);
    // Inside: glass at 95 % (alpha 242) under the rim; column 1 is the rim's full pixel, column 2 its
    // 0.6 pixel, column 3 plain glass: brightest first.
    const std::uint32_t rim = c.at(1, 100), part = c.at(2, 100), glass = c.at(3, 100);
    EXPECT_EQ(pixel_alpha(glass), 242u);
    EXPECT_GT(pixel_red(rim), pixel_red(part));
    EXPECT_GT(pixel_red(part), pixel_red(glass));
    EXPECT_GE(pixel_alpha(rim), 242u);
}

TEST(Glass, PanelAt150PercentFillsItsWindow) {
    const int W = 1204, H = 844;
    const Canvas c = render_glass_background(flat(W, H, 0xFF204060), 1.5f, W, H);
    EXPECT_EQ(pixel_alpha(c.at(602, 422)), 242u);
    EXPECT_EQ(pixel_alpha(c.at(1195, 422)), 242u);
    EXPECT_GE(pixel_alpha(c.at(1201, 422)), 242u);  // last panel column (2 + 1200 - 1), under the rim
    EXPECT_EQ(c.at(1202, 422), make_pixel(87, 0, 0, 0));  // outline
    EXPECT_EQ(c.at(1203, 422), 0u);
}

TEST(Glass, WhiteAndBlackDesktopsDifferByTheBackdropShareOnly) {
    const int W = 802, H = 562;
    const Canvas w = render_glass_background(flat(W, H, 0xFFFFFFFF), 1.0f, W, H);
    const Canvas b = render_glass_background(flat(W, H, 0xFF000000), 1.0f, W, H);
    double largest = 0;
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 5) {
            const std::uint32_t p = w.at(x, y), q = b.at(x, y);
            ASSERT_EQ(pixel_alpha(p), pixel_alpha(q));
            const double a = pixel_alpha(p);
            if (a < 200) continue;  // edges: rounding of tiny coverages
            for (int sh : {16, 8, 0}) {
                const double d = (static_cast<double>((p >> sh) & 0xFF) - ((q >> sh) & 0xFF)) / a;
                EXPECT_GE(d, -1.0 / a) << "white desktop darker at " << x << "," << y;
                largest = std::max(largest, d);
            }
        }
    // The share is 0.1 * min(1, 1.06 q + 0.03): 0.1 for white, 0.003 for black.
    EXPECT_LE(largest, 0.1 + 1.5 / 242);
    EXPECT_GT(largest, 0.08) << "the backdrop must show through";
}

// The shading step written out plainly, per pixel, in double precision: the
// reference for the row-wise, vectorised shading.
std::uint32_t reference_shade(const Backdrop& bd, float s, int x, int y) {
    const GlassGeometry g = glass_geometry(s);
    const double P = g.panel_w, Q = g.panel_h, hw = P / 2, hh = Q / 2, cx = g.x0 + hw, cy = g.y0 + hh;
    const double r = std::min({26.0 * s, P / 2, Q / 2});
    const double qx = std::fabs(x + 0.5 - cx) - (hw - r), qy = std::fabs(y + 0.5 - cy) - (hh - r);
    const double d = std::min(std::max(qx, qy), 0.0) + std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) - r;
    if (d >= 0.5) return 0;
    const double c0 = std::clamp(0.5 - d, 0.0, 1.0);
    if (c0 <= 0.002) return 0;
    const double c = std::clamp(0.95 * c0, 0.0, 1.0);
    const auto a = static_cast<std::uint32_t>(255 * c + 0.5);
    if (c <= 0.003 || a == 0) return 0;
    const double ty = std::clamp((y + 0.5 - g.y0) / Q, 0.0, 1.0);
    const double tint[3] = {0.9 * (52 - 35 * ty) / 255, 0.9 * (56 - 37 * ty) / 255, 0.9 * (64 - 40 * ty) / 255};
    const double k = std::max(0.42 * Q, 1.0) / Q;
    const double h = ty < k ? 0.055 * (1 - ty / k) * (1 - ty / k) : 0.0, v = 1 - 0.1 * ty * ty;
    // Bilinear sample of the grid.
    auto coord = [&](int p, int count) { return std::clamp((p + 0.5) / bd.cell, 0.0, count - 1.001); };
    const double gx = coord(x, bd.gw), gy = coord(y, bd.gh);
    const int x0 = static_cast<int>(gx), y0 = static_cast<int>(gy);
    const int x1 = std::min(bd.gw - 1, x0 + 1), y1 = std::min(bd.gh - 1, y0 + 1);
    double bg[3];
    for (int i = 0; i < 3; ++i) {
        const double top = bd.at(x0, y0)[i] + (bd.at(x1, y0)[i] - bd.at(x0, y0)[i]) * (gx - x0);
        const double bottom = bd.at(x0, y1)[i] + (bd.at(x1, y1)[i] - bd.at(x0, y1)[i]) * (gx - x0);
        bg[i] = top + (bottom - top) * (gy - y0);
    }
    const double L = 0.299 * bg[0] + 0.587 * bg[1] + 0.114 * bg[2];
    std::uint32_t ch[3];
    for (int i = 0; i < 3; ++i) {
        const double q = std::max(0.0, L + 1.15 * (bg[i] - L));
        const double light = i == 2 ? std::min(1.0, 1.1 * h) : h;
        const double value = std::min(1.0, (0.1 * std::min(1.0, 1.06 * q + 0.03) + tint[i] + light) * v);
        ch[i] = static_cast<std::uint32_t>(255 * c * value + 0.5);
    }
    return make_pixel(a, ch[0], ch[1], ch[2]);
}

TEST(Glass, ShadingMatchesAPlainPerPixelReference) {
    const unsigned seed = 11;
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    for (float s : {1.0f, 1.5f}) {
        const GlassGeometry g = glass_geometry(s);
        const int W = g.panel_w + 2 * g.x0, H = g.panel_h + 2 * g.y0;
        std::vector<std::uint32_t> desk(static_cast<size_t>(W) * H);
        for (auto& p : desk) p = 0xFF000000u | (rng() & 0xFFFFFF);
        Backdrop bd = downsample(desk, W, H, g.cell);
        box_blur(bd, g.blur_radius, 3);
        const Canvas c = shade_glass(bd, s, W, H);
        for (int y = g.y0; y < g.y0 + g.panel_h; y += 3)
            for (int x = g.x0; x < g.x0 + g.panel_w; x += 1) {
                // Skip where the inner rim (1.6 s wide along the rounded edge) is drawn on top.
                const double P = g.panel_w, Q = g.panel_h, r = std::min({26.0 * s, P / 2, Q / 2});
                const double qx = std::fabs(x + 0.5 - (g.x0 + P / 2)) - (P / 2 - r), qy = std::fabs(y + 0.5 - (g.y0 + Q / 2)) - (Q / 2 - r);
                const double d = std::min(std::max(qx, qy), 0.0) + std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) - r;
                if (d > -(1.6 * std::max(s, 1.0f) + 2)) continue;
                const std::uint32_t want = reference_shade(bd, s, x, y), got = c.at(x, y);
                for (int sh : {24, 16, 8, 0})
                    ASSERT_NEAR(static_cast<int>((got >> sh) & 0xFF), static_cast<int>((want >> sh) & 0xFF), 1)
                        << "scale " << s << " pixel " << x << "," << y;
            }
    }
}

TEST(Glass, FallbackIsTheSyntheticGradient) {
    const int W = 802, H = 562;
    const Canvas failed = render_glass_background({}, 1.0f, W, H);
    const Canvas direct = shade_glass(fallback_backdrop(W, H), 1.0f, W, H);
    EXPECT_EQ(failed.pixels, direct.pixels);
    // Same outline as a captured glass; darker at the bottom than at the top.
    EXPECT_EQ(failed.at(0, 281), make_pixel(87, 0, 0, 0));
    EXPECT_GT(pixel_blue(failed.at(400, 40)), pixel_blue(failed.at(400, 520)));
    // Backdrop colour per row (t = (y + 0.5) / H), not sampled from the 8-pixel grid.
    const Backdrop fb = fallback_backdrop(W, H);
    float c[3];
    backdrop_colour(fb, 10, 281, c);
    EXPECT_NEAR(c[2], 0.14f - 0.05f * (281.5f / H), 1e-6);
}

}  // namespace
}  // namespace nimbalo::gui
