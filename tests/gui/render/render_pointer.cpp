// The tray pointer over a small test desktop with a taskbar (at the bottom or the top) and the
// launcher's tray icon, as the screen would show it: at 0.1 s (fading in), 1 s, 3 s and 6.2 s
// (fading out), with the English, Persian and Arabic labels, and near the screen's ends (clamped).
// Also prints the mean time of one frame (text included) for the notes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "gui/canvas/shapes.h"
#include "gui/render/render_support.h"
#include "gui/views/tray_pointer.h"

namespace nimbalo::gui::render {

namespace {

struct Desk {
    int w, h;
    float s;
    bool bar_on_top;
    ScreenRect bar, icon;
};

Desk make_desk(float s, bool bar_on_top, float icon_from_right) {
    Desk d{static_cast<int>(std::lround(560 * s)), static_cast<int>(std::lround(320 * s)), s, bar_on_top, {}, {}};
    // The icon's rectangle as the shell reports it: a 24-pixel-wide slot across the taskbar's height.
    const int bar_h = static_cast<int>(std::lround(40 * s)), icon_w = static_cast<int>(std::lround(24 * s));
    d.bar = bar_on_top ? ScreenRect{0, 0, d.w, bar_h} : ScreenRect{0, d.h - bar_h, d.w, d.h};
    const int left = d.w - static_cast<int>(std::lround(icon_from_right * s));
    d.icon = ScreenRect{left, d.bar.top, left + icon_w, d.bar.bottom};
    return d;
}

// A plain wallpaper, the taskbar strip with a few buttons, a clock-like block and the launcher's
// icon (a rounded square with a magnifier) in the notification area.
Canvas draw_desk(const Desk& d) {
    Canvas c(d.w, d.h);
    for (int y = 0; y < d.h; ++y)
        for (int x = 0; x < d.w; ++x) {
            const float u = static_cast<float>(x) / d.w, v = static_cast<float>(y) / d.h;
            auto q = [](float f) { return static_cast<std::uint32_t>(std::clamp(f, 0.0f, 1.0f) * 255 + 0.5f); };
            c.at(x, y) = make_pixel(255, q(0.35f + 0.3f * v), q(0.5f + 0.2f * u), q(0.62f + 0.1f * v));
        }
    const float s = d.s, bt = static_cast<float>(d.bar.top), bh = static_cast<float>(d.bar.bottom - d.bar.top);
    fill_rounded_rect(c, 0, bt, static_cast<float>(d.w), bh, 0, rgb(0x1C1F26, 1));
    fill_rounded_rect(c, 0, d.bar_on_top ? bt + bh - 1 : bt, static_cast<float>(d.w), 1, 0, white(0.12f));
    for (int i = 0; i < 5; ++i)
        fill_rounded_rect(c, (12 + 44 * i) * s, bt + 6 * s, 32 * s, bh - 12 * s, 5 * s, white(i == 1 ? 0.22f : 0.1f));
    fill_rounded_rect(c, static_cast<float>(d.w) - 60 * s, bt + 10 * s, 48 * s, bh - 20 * s, 3 * s, white(0.35f));
    const float side = static_cast<float>(d.icon.right - d.icon.left);
    const float ix = static_cast<float>(d.icon.left), iy = static_cast<float>(d.icon.top + d.icon.bottom) / 2 - side / 2;
    fill_rounded_rect(c, ix + 2 * s, iy + 2 * s, side - 4 * s, side - 4 * s, 5 * s, rgb(0x2D7FF0, 1));
    fill_ring(c, ix + side * 0.45f, iy + side * 0.45f, side * 0.18f, 2 * s, white(1));
    fill_capsule(c, ix + side * 0.58f, iy + side * 0.58f, ix + side * 0.74f, iy + side * 0.74f, 2.2f * s, white(1));
    return c;
}

// The pointer window's premultiplied pixels over the opaque desktop at (x, y).
void composite(Canvas& desk, const Canvas& window, int x, int y) {
    for (int wy = 0; wy < window.height; ++wy)
        for (int wx = 0; wx < window.width; ++wx) {
            const int dx = x + wx, dy = y + wy;
            if (dx < 0 || dy < 0 || dx >= desk.width || dy >= desk.height) continue;
            const std::uint32_t p = window.at(wx, wy);
            blend_premultiplied(desk.at(dx, dy), pixel_alpha(p), pixel_red(p), pixel_green(p), pixel_blue(p));
        }
}

void render_one(const Scene& scene, const std::string& name, const Desk& d, std::uint16_t language, double t) {
    const PointerPlacement p = pointer_placement(d.icon, static_cast<std::uint32_t>(std::lround(96 * d.s)),
                                                 MonitorSpan{0, d.h}, 0, d.w);
    Canvas frame(p.W, p.H);
    draw_pointer_frame(frame, scene.text, p, pointer_label(language), t);
    Canvas out = draw_desk(d);
    composite(out, frame, p.x, p.y);
    write_png(name + scene.sfx, out);
}

// One frame, drawn again and again with t moving as on screen (the label bobs, so its text is
// rasterised again on most frames).
void time_frames(const Scene& scene) {
    const Desk d = make_desk(scene.s, false, 90);
    const PointerPlacement p = pointer_placement(d.icon, static_cast<std::uint32_t>(std::lround(96 * d.s)),
                                                 MonitorSpan{0, d.h}, 0, d.w);
    Canvas frame(p.W, p.H);
    constexpr int kFrames = 300;
    double total = 0, best = 1e9;
    for (int i = 0; i < kFrames; ++i) {
        const double t = 0.1 + i * 0.016;  // through the fade-in, steady, every bob phase
        const auto t0 = std::chrono::steady_clock::now();
        draw_pointer_frame(frame, scene.text, p, pointer_label(0x0409), t);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        total += ms;
        best = std::min(best, ms);
    }
    std::printf("pointer frame %dx%d: mean %.3f ms, best %.3f ms over %d frames\n", p.W, p.H, total / kFrames, best,
                kFrames);
}

}  // namespace

void render_pointer(const Scene& scene) {
    const struct {
        const char* name;
        std::uint16_t language;
    } languages[] = {{"en", 0x0409}, {"fa", 0x0429}, {"ar", 0x0401}};
    for (bool top : {false, true}) {
        const Desk d = make_desk(scene.s, top, 90);
        const std::string where = top ? "pointer-top-" : "pointer-bottom-";
        for (double t : {0.1, 1.0, 3.0, 6.2}) {
            char ms[16];
            std::snprintf(ms, sizeof ms, "-%04dms", static_cast<int>(std::lround(t * 1000)));
            render_one(scene, where + "en" + ms, d, 0x0409, t);
        }
        for (const auto& l : languages)
            if (l.language != 0x0409) render_one(scene, where + l.name + "-1000ms", d, l.language, 1.0);
    }
    // Icons at the right and left ends of the screen: the window is shifted, the rings are not.
    render_one(scene, "pointer-clamped-right-en-3000ms", make_desk(scene.s, false, 26), 0x0409, 3.0);
    render_one(scene, "pointer-clamped-left-fa-3000ms", make_desk(scene.s, true, 560 - 4), 0x0429, 3.0);
    time_frames(scene);
}

}  // namespace nimbalo::gui::render
