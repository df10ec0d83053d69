// Show and hide animations: the 75 ms frame, the end states, the shrink and the mark.
// Faults caught: easing applied twice or not at all, rows shifted the wrong way, the fade's
// rounding, the hide target or mark in the wrong place, an animation that never ends.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "gui/canvas/shapes.h"
#include "gui/glass/animation.h"
#include "gui/glass/glass.h"

namespace nimbalo::gui {
namespace {

Canvas random_frame(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    Canvas c(w, h);
    for (auto& p : c.pixels) {
        const std::uint32_t a = rng() % 256;
        p = make_pixel(a, rng() % (a + 1), rng() % (a + 1), rng() % (a + 1));
    }
    return c;
}

TEST(ShowAnimation, HalfwayFrameIsOffsetAndFaded) {
    for (float s : {1.0f, 1.5f, 2.0f}) {
        const ShowStep step = show_animation_step(75, s, 562);
        EXPECT_FALSE(step.finished);
        EXPECT_EQ(step.offset, static_cast<int>(std::lround(10 * s * 0.125))) << "scale " << s;
        EXPECT_FLOAT_EQ(step.opacity, 0.15f + 0.85f * 0.875f);
    }
    const Canvas frame = random_frame(64, 48, 3);
    Canvas anim(64, 48);
    const ShowStep step = show_animation_step(75, 1.0f, 48);
    const Canvas& out = apply_show_animation(frame, anim, step);
    ASSERT_EQ(&out, &anim);
    const std::uint32_t n = static_cast<std::uint32_t>(256 * (0.15 + 0.85 * 0.875));  // 241
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint32_t want = 0;
            if (y < 47) {
                const std::uint32_t p = frame.at(x, y + 1);
                want = make_pixel((pixel_alpha(p) * n) >> 8, (pixel_red(p) * n) >> 8, (pixel_green(p) * n) >> 8,
                                  (pixel_blue(p) * n) >> 8);
            }
            ASSERT_EQ(out.at(x, y), want) << x << "," << y;
        }
}

TEST(ShowAnimation, StartsHighAndFaintEndsExact) {
    const ShowStep first = show_animation_step(0, 1.0f, 562);
    EXPECT_EQ(first.offset, 10);
    EXPECT_FLOAT_EQ(first.opacity, 0.15f);
    const Canvas frame = random_frame(32, 16, 4);
    Canvas anim(32, 16);
    for (double ms : {150.0, 151.0, 1e9}) {
        const ShowStep end = show_animation_step(ms, 1.5f, 16);
        EXPECT_TRUE(end.finished);
        EXPECT_EQ(&apply_show_animation(frame, anim, end), &frame) << "presented unchanged at " << ms << " ms";
    }
    // Offsets never exceed the frame; a mismatched animation frame gets the frame unshifted.
    EXPECT_EQ(show_animation_step(0, 100.0f, 16).offset, 16);
    Canvas wrong(3, 3);
    const ShowStep late{false, 0, 1.0f};
    EXPECT_EQ(apply_show_animation(frame, wrong, late).pixels, frame.pixels);
}

TEST(HideAnimation, ShrinksTowardsTheCornerAndEnds) {
    const int W = 802, H = 562;
    std::vector<std::uint32_t> grey(static_cast<size_t>(W) * H, 0xFF606060);
    const Canvas glass = render_glass_background(grey, 1.0f, W, H);
    Canvas snapshot = glass;
    fill_rounded_rect(snapshot, 100, 100, 600, 360, 10, white(1));  // a bright block of "content"
    Canvas frame(W, H);

    draw_hide_frame(frame, glass, snapshot, hide_animation_step(0), 1.0f);
    EXPECT_EQ(frame.at(400, 280), 0xFFFFFFFFu) << "at 0 ms the content is whole and opaque";

    const HideStep mid = hide_animation_step(130);
    EXPECT_FALSE(mid.finished);
    draw_hide_frame(frame, glass, snapshot, mid, 1.0f);
    // T = (1 + 800 - 26, 1 + 560 - 22) = (775, 539); the mark's first bar spans x 765..785 around
    // y 538.2..539.8 in accent at 0.9: strongly blue there.
    const std::uint32_t mark = frame.at(770, 538);
    EXPECT_GT(pixel_blue(mark), pixel_red(mark) + 100);
    // The content has left the top-left corner of the panel.
    EXPECT_EQ(frame.at(120, 120), glass.at(120, 120));

    const HideStep end = hide_animation_step(260);
    EXPECT_TRUE(end.finished);
    EXPECT_FLOAT_EQ(end.e, 1.0f);
    draw_hide_frame(frame, glass, snapshot, end, 1.0f);
    // 6 % of the panel (48 x 33.6) centred on T at half opacity; no mark at the end.
    EXPECT_NE(frame.at(775, 539), glass.at(775, 539));
    int changed = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (frame.at(x, y) != glass.at(x, y)) {
                ++changed;
                ASSERT_LE(std::abs(x - 775), 25) << x << "," << y;
                ASSERT_LE(std::abs(y - 539), 18) << x << "," << y;
            }
    EXPECT_GT(changed, 100);
    EXPECT_TRUE(hide_animation_step(1e6).finished);
}

}  // namespace
}  // namespace nimbalo::gui
