// The tray pointer: placement against the taskbar and the virtual screen, the label's language and
// geometry, the fade, and what one frame covers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "gui/canvas/shapes.h"
#include "gui/fake_text_backend.h"
#include "gui/views/tray_pointer.h"

namespace nimbalo::gui {
namespace {

constexpr std::uint32_t kBlue = 0xFF1F70E0u;  // the pointer blue, opaque, premultiplied
constexpr MonitorSpan kMonitor{0, 1080};

// A 24 x 24 icon in a 40-pixel taskbar at the bottom (or the top) of a 1920 x 1080 screen.
const ScreenRect kBottomIcon{1700, 1048, 1724, 1072};
const ScreenRect kTopIcon{1700, 8, 1724, 32};

struct Frame {
    PointerPlacement p;
    Canvas c;
    TextEngine text;
    explicit Frame(const PointerPlacement& pl)
        : p(pl), c(pl.W, pl.H), text(std::make_unique<testing::FakeTextBackend>(pl.W, pl.H, pl.s)) {}
    PointerLayout layout() { return pointer_layout(p, text.measure_text(pointer_label(0x0409), kPointerLabelStyle)); }
    void draw(double t, std::string_view label = pointer_label(0x0409)) { draw_pointer_frame(c, text, p, label, t); }
    std::uint32_t at(float x, float y) const { return c.at(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y))); }
};

// Where the arrow's box starts and the label's top edge, as the frame computes them.
struct ArrowAt {
    float a, top, tip;
};
ArrowAt arrow_at(const PointerPlacement& p, float F, double t) {
    const float s = p.s, L = 26 * s, w = 3.2f * s;
    const float b = static_cast<float>((std::cos(3.14159265358979 * t / 0.55) * 0.5 + 0.5) * 8 * s);
    if (p.upper) {
        const float a = p.ly + F + 4 * s + b;
        return {a, a + L + 6 * s, a + w};
    }
    const float a = p.ly - F - 4 * s - b - L;
    return {a, a - 38 * s, a + L - w};
}

TEST(TrayPointer, WindowSizeFollowsTheTaskbarDpi) {
    const PointerPlacement at150 = pointer_placement(kBottomIcon, 144, kMonitor, 0, 1920);
    EXPECT_FLOAT_EQ(at150.s, 1.5f);
    EXPECT_EQ(at150.W, 480);
    EXPECT_EQ(at150.H, 270);
    const PointerPlacement at125 = pointer_placement(kBottomIcon, 120, kMonitor, 0, 1920);
    EXPECT_EQ(at125.W, 400);
    EXPECT_EQ(at125.H, 225);
    // No taskbar window (DPI 0) or a DPI below 96: 100 %.
    for (std::uint32_t dpi : {0u, 72u, 96u}) {
        const PointerPlacement p = pointer_placement(kBottomIcon, dpi, kMonitor, 0, 1920);
        EXPECT_FLOAT_EQ(p.s, 1.0f);
        EXPECT_EQ(p.W, 320);
        EXPECT_EQ(p.H, 180);
    }
}

TEST(TrayPointer, IconMustLieInsideTheTaskbar) {
    const ScreenRect bar{0, 1040, 1920, 1080};
    EXPECT_TRUE(icon_in_taskbar(kBottomIcon, bar));
    EXPECT_TRUE(icon_in_taskbar(ScreenRect{0, 1040, 24, 1080}, bar));        // edges included
    EXPECT_TRUE(icon_in_taskbar(ScreenRect{1896, 1056, 1920, 1080}, bar));
    EXPECT_FALSE(icon_in_taskbar(ScreenRect{1700, 980, 1724, 1004}, bar));   // the overflow area
    EXPECT_FALSE(icon_in_taskbar(ScreenRect{1900, 1048, 1924, 1072}, bar));  // sticks out on the right
    EXPECT_FALSE(icon_in_taskbar(ScreenRect{-1, 1048, 23, 1072}, bar));
    EXPECT_TRUE(rect_has_area(kBottomIcon));
    EXPECT_FALSE(rect_has_area(ScreenRect{}));
    EXPECT_FALSE(rect_has_area(ScreenRect{10, 10, 10, 20}));
    EXPECT_FALSE(rect_has_area(ScreenRect{10, 20, 30, 10}));
}

TEST(TrayPointer, TaskbarAtTheBottomPointsDownWithTheLabelAbove) {
    Frame f(pointer_placement(kBottomIcon, 96, kMonitor, 0, 1920));
    const PointerPlacement& p = f.p;
    EXPECT_FALSE(p.upper);
    EXPECT_EQ(p.y + p.H, kBottomIcon.bottom);  // the window ends where the icon ends
    EXPECT_EQ(p.x, 1712 - 160);
    EXPECT_FLOAT_EQ(p.x + p.lx, 1712.0f);  // the icon's centre
    EXPECT_FLOAT_EQ(p.y + p.ly, 1060.0f);

    const double t = 1.1;  // bob at its full 8 s, fully faded in
    f.draw(t);
    const PointerLayout l = f.layout();
    EXPECT_FLOAT_EQ(l.F, 19.0f);
    const ArrowAt ar = arrow_at(p, l.F, t);
    const float h = 0.42f * 26;
    // Outline ring around the icon.
    EXPECT_EQ(f.at(p.lx + l.F, p.ly), kBlue);
    EXPECT_EQ(f.at(p.lx, p.ly - l.F), kBlue);
    // The arrow: its heads open upwards from the tip below (pointing down at the icon).
    EXPECT_LT(ar.tip, p.ly - l.F);
    EXPECT_EQ(f.at(p.lx, ar.a + 13), kBlue);                    // shaft
    EXPECT_EQ(f.at(p.lx - 0.7f * h, ar.tip - 0.7f * h), kBlue);  // left head
    EXPECT_EQ(f.at(p.lx + 0.7f * h, ar.tip - 0.7f * h), kBlue);  // right head
    EXPECT_EQ(pixel_alpha(f.at(p.lx - 0.7f * h, ar.a + 3.2f)), 0u);  // nothing beside the tail
    // The label's pill above the arrow.
    EXPECT_LT(ar.top + 32, ar.a + 0.01f);
    EXPECT_EQ(f.at(l.N + 4, ar.top + 16), kBlue);
    EXPECT_EQ(pixel_alpha(f.at(l.N + 4, ar.top - 6)), 0u);
}

TEST(TrayPointer, TaskbarAtTheTopIsMirrored) {
    Frame f(pointer_placement(kTopIcon, 96, kMonitor, 0, 1920));
    const PointerPlacement& p = f.p;
    EXPECT_TRUE(p.upper);
    EXPECT_EQ(p.y, kTopIcon.top);  // the window starts where the icon starts
    EXPECT_FLOAT_EQ(p.ly, 12.0f);

    const double t = 1.1;
    f.draw(t);
    const PointerLayout l = f.layout();
    const ArrowAt ar = arrow_at(p, l.F, t);
    const float h = 0.42f * 26;
    EXPECT_EQ(f.at(p.lx, p.ly + l.F), kBlue);
    EXPECT_GT(ar.tip, p.ly + l.F);
    EXPECT_EQ(f.at(p.lx, ar.a + 13), kBlue);
    EXPECT_EQ(f.at(p.lx - 0.7f * h, ar.tip + 0.7f * h), kBlue);  // heads open downwards: points up
    EXPECT_EQ(f.at(p.lx + 0.7f * h, ar.tip + 0.7f * h), kBlue);
    EXPECT_EQ(pixel_alpha(f.at(p.lx - 0.7f * h, ar.a + 26 - 3.2f)), 0u);
    EXPECT_FLOAT_EQ(ar.top, ar.a + 32);  // below the arrow
    EXPECT_EQ(f.at(l.N + 4, ar.top + 16), kBlue);
    EXPECT_LT(ar.top + 40, static_cast<float>(p.H));

    // Bottom and top are the same geometry mirrored: rows of the window at the bottom, read upside
    // down, put the rings and the pill at the same places.
    const PointerPlacement bottom = pointer_placement(kBottomIcon, 96, kMonitor, 0, 1920);
    EXPECT_FLOAT_EQ(bottom.H - bottom.ly, p.ly);
    const ArrowAt down = arrow_at(bottom, l.F, t);
    EXPECT_FLOAT_EQ(bottom.H - (down.a + 26), ar.a);
    EXPECT_FLOAT_EQ(bottom.H - (down.top + 32), ar.top);
}

TEST(TrayPointer, UnreadableMonitorCountsAsUpperHalf) {
    const PointerPlacement p = pointer_placement(kBottomIcon, 96, std::nullopt, 0, 1920);
    EXPECT_TRUE(p.upper);
    EXPECT_EQ(p.y, kBottomIcon.top);
}

TEST(TrayPointer, ClampedToTheVirtualScreenWithRingsOnTheIcon) {
    struct Case {
        ScreenRect icon;
        std::int32_t vx, vw;
        std::uint32_t dpi;
    };
    const Case cases[] = {
        {{-1915, 1048, -1891, 1072}, -1920, 3840, 96},  // left end of a monitor left of the primary
        {{1896, 1048, 1920, 1072}, -1920, 3840, 96},    // right end
        {{1890, 1044, 1926, 1080}, 0, 1926, 144},       // right end at 150 %
        {{2, 1048, 26, 1072}, 0, 1920, 144},            // left end at 150 %
        {{100, 1048, 124, 1072}, 0, 200, 96},           // a virtual screen narrower than the window
    };
    for (const Case& k : cases) {
        Frame f(pointer_placement(k.icon, k.dpi, kMonitor, k.vx, k.vw));
        const PointerPlacement& p = f.p;
        const float s = p.s;
        SCOPED_TRACE(k.icon.left);
        EXPECT_GE(p.x, k.vx);
        if (k.vw >= p.W) {
            EXPECT_LE(p.x + p.W, k.vx + k.vw);
        } else {
            EXPECT_EQ(p.x, k.vx);
        }
        EXPECT_FLOAT_EQ(p.x + p.lx, k.icon.left + (k.icon.right - k.icon.left) / 2.0f);
        const PointerLayout l = f.layout();
        EXPECT_GE(l.N, 2 * s);
        EXPECT_LE(l.N + l.J, p.W - 2 * s + 0.001f);
        f.draw(1.1);
        // The outline ring is centred on the icon, wherever the window went.
        EXPECT_EQ(f.at(p.lx, p.ly - l.F), kBlue);
        if (p.lx + l.F < p.W) {
            EXPECT_EQ(f.at(p.lx + l.F, p.ly), kBlue);
        }
        if (p.lx - l.F >= 0) {
            EXPECT_EQ(f.at(p.lx - l.F, p.ly), kBlue);
        }
        // Nothing of the pill in the 2 s margins beside it.
        const ArrowAt ar = arrow_at(p, l.F, 1.1);
        EXPECT_EQ(f.at(l.N + 4 * s, ar.top + 16 * s), kBlue);
    }
}

TEST(TrayPointer, LabelFollowsThePrimaryUiLanguage) {
    const std::string_view arabic = pointer_label(0x0401), persian = pointer_label(0x0429),
                           english = pointer_label(0x0409);
    EXPECT_EQ(english, "Nimbalo lives here \xE2\x80\x94 don't lose it");
    EXPECT_EQ(arabic, "\xD9\x87\xD9\x86\xD8\xA7\xD8\x8C \xD9\x84\xD8\xA7 \xD8\xAA\xD9\x8F\xD8\xB6\xD9\x8A\xD9\x91\xD8\xB9\xD9\x87 Nimbalo");
    EXPECT_EQ(persian, "\xD8\xA7\xDB\x8C\xD9\x86\xD8\xAC\xD8\xA7\xD8\xB3\xD8\xAA \xDA\xAF\xD9\x85\xD8\xB4 \xD9\x86\xDA\xA9\xD9\x86\xDB\x8C Nimbalo");
    for (std::uint16_t id : {0x0001, 0x0801, 0x0C01, 0x1401, 0x3C01}) EXPECT_EQ(pointer_label(id), arabic) << id;
    for (std::uint16_t id : {0x0029, 0x0829, 0x0429}) EXPECT_EQ(pointer_label(id), persian) << id;
    // Only the low 10 bits are the primary language: 0x0429 | 0x0400 is still Persian, 0x0201 is not Arabic.
    EXPECT_EQ(pointer_label(0x0C29), persian);
    for (std::uint16_t id : {0x0000, 0x0409, 0x0809, 0x0419, 0x040D, 0x0420, 0x0201, 0x0229, 0xFFFF})
        EXPECT_EQ(pointer_label(id), english) << id;
}

TEST(TrayPointer, LongLabelIsCutToTheWindow) {
    Frame f(pointer_placement(kBottomIcon, 144, kMonitor, 0, 1920));
    const float s = f.p.s;
    const std::string label(120, 'x');
    const PointerLayout l = pointer_layout(f.p, f.text.measure_text(label, kPointerLabelStyle));
    EXPECT_FLOAT_EQ(l.J, f.p.W - 4 * s);
    EXPECT_FLOAT_EQ(l.N, 2 * s);
    const std::string shown = f.text.fit_text(label, kPointerLabelStyle, l.J - 16 * s);
    EXPECT_EQ(shown.substr(shown.size() - 3), "\xE2\x80\xA6");
    EXPECT_LE(f.text.measure_text(shown, kPointerLabelStyle), l.J - 16 * s);
    // A NaN width (a failed measurement) gives the widest pill too.
    EXPECT_FLOAT_EQ(pointer_layout(f.p, std::nanf("")).J, f.p.W - 4 * s);

    // The drawn text stays within the pill's inner width, and the short label is centred in its pill.
    for (const std::string& text : {label, std::string(pointer_label(0x0409))}) {
        f.draw(2.0, text);
        const PointerLayout lt = pointer_layout(f.p, f.text.measure_text(text, kPointerLabelStyle));
        const ArrowAt ar = arrow_at(f.p, lt.F, 2.0);
        const int row = static_cast<int>(ar.top + 16 * s);
        int first = f.p.W, last = -1;
        for (int x = 0; x < f.p.W; ++x)
            if (pixel_red(f.c.at(x, row)) > 0x60) first = std::min(first, x), last = std::max(last, x);
        ASSERT_GE(last, first) << "no text drawn";
        EXPECT_GE(first, lt.N + 8 * s - 1);
        EXPECT_LE(last, lt.N + lt.J - 8 * s + 1);
        if (text.size() < 60) {
            EXPECT_NEAR((first + last + 1) / 2.0f, lt.N + lt.J / 2, 2.0f);
        }
    }
}

TEST(TrayPointer, FadesInAndOut) {
    EXPECT_FLOAT_EQ(pointer_fade(0), 0.0f);
    EXPECT_FLOAT_EQ(pointer_fade(0.1), 0.5f);
    EXPECT_FLOAT_EQ(pointer_fade(0.2), 1.0f);
    EXPECT_FLOAT_EQ(pointer_fade(3), 1.0f);
    EXPECT_FLOAT_EQ(pointer_fade(6), 1.0f);
    EXPECT_FLOAT_EQ(pointer_fade(6.2), 0.5f);
    EXPECT_FLOAT_EQ(pointer_fade(6.4), 0.0f);
    EXPECT_FLOAT_EQ(pointer_fade(9), 0.0f);
    EXPECT_FLOAT_EQ(pointer_fade(-1), 0.0f);

    // Every channel times trunc(f x 256), shifted right by 8.
    Frame f(pointer_placement(kBottomIcon, 96, kMonitor, 0, 1920));
    f.draw(0.1);
    const PointerLayout l = f.layout();
    EXPECT_EQ(f.at(f.p.lx + l.F, f.p.ly), 0x7F0F3870u);  // kBlue at half
    f.draw(3.0);
    EXPECT_EQ(f.at(f.p.lx + l.F, f.p.ly), kBlue);
    f.draw(6.3);
    const std::uint32_t a = static_cast<std::uint32_t>(pointer_fade(6.3) * 256);
    EXPECT_NEAR(a, 64, 1);
    EXPECT_EQ(f.at(f.p.lx + l.F, f.p.ly), make_pixel(0xFF * a >> 8, 0x1F * a >> 8, 0x70 * a >> 8, 0xE0 * a >> 8));
}

TEST(TrayPointer, CanvasMultiplyScalesEveryChannel) {
    Canvas c(5, 1);
    const std::uint32_t px[5] = {0xFFFFFFFFu, 0x80402010u, 0x01010101u, 0xFF000000u, 0u};
    std::copy(std::begin(px), std::end(px), c.pixels.begin());
    c.multiply(256);
    EXPECT_TRUE(std::equal(c.pixels.begin(), c.pixels.end(), std::begin(px)));
    c.multiply(128);
    EXPECT_EQ(c.pixels[0], 0x7F7F7F7Fu);
    EXPECT_EQ(c.pixels[1], 0x40201008u);
    EXPECT_EQ(c.pixels[2], 0u);
    EXPECT_EQ(c.pixels[3], 0x7F000000u);
    c.multiply(0);
    EXPECT_TRUE(std::all_of(c.pixels.begin(), c.pixels.end(), [](std::uint32_t p) { return p == 0; }));
}

// Outside the rings, the arrow and the label (with their antialiased rims and shadows) every pixel
// is fully transparent, also when the canvas held an earlier frame.
TEST(TrayPointer, FrameIsTransparentOutsideWhatItDraws) {
    for (const ScreenRect& icon : {kBottomIcon, kTopIcon, ScreenRect{1896, 1048, 1920, 1072}}) {
        for (std::uint32_t dpi : {96u, 144u}) {
            Frame f(pointer_placement(icon, dpi, kMonitor, 0, 1920));
            const PointerPlacement& p = f.p;
            const float s = p.s;
            const PointerLayout l = f.layout();
            for (double t : {0.5, 1.1, 3.0, 6.1}) {
                f.draw(t);
                const ArrowAt ar = arrow_at(p, l.F, t);
                const float R = 1.9f * l.F + 1.5f * s + 1, h = 0.42f * 26 * s, w = 3.2f * s;
                auto inside = [&](int x, int y) {
                    const float px = x + 0.5f, py = y + 0.5f;
                    const bool rings = std::hypot(px - p.lx, py - p.ly) <= std::max(R, l.F + 4.5f * s + 1);
                    const bool arrow = px >= p.lx - h - w && px <= p.lx + h + w && py >= ar.a - 1 && py <= ar.a + 26 * s + 2 * w;
                    const bool pill = px >= l.N - 4 * s - 1 && px <= l.N + l.J + 4 * s + 1 && py >= ar.top - 2 * s - 1 &&
                                      py <= ar.top + 38 * s + 1;
                    return rings || arrow || pill;
                };
                int drawn = 0;
                for (int y = 0; y < p.H; ++y)
                    for (int x = 0; x < p.W; ++x) {
                        const std::uint32_t px = f.c.at(x, y);
                        if (inside(x, y)) drawn += px != 0;
                        else ASSERT_EQ(px, 0u) << "at " << x << "," << y << " t=" << t;
                    }
                EXPECT_GT(drawn, 0);
                // Premultiplied pixels stay valid through the blending and the fade.
                for (std::uint32_t px : f.c.pixels)
                    ASSERT_TRUE(pixel_red(px) <= pixel_alpha(px) && pixel_green(px) <= pixel_alpha(px) &&
                                pixel_blue(px) <= pixel_alpha(px));
            }
        }
    }
}

}  // namespace
}  // namespace nimbalo::gui
