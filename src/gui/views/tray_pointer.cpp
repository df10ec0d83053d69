#include "gui/views/tray_pointer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "gui/canvas/shapes.h"

namespace nimbalo::gui {

namespace {

// ceil(v) as a window side: saturated to the int range, at least 1.
std::int32_t side(float v) {
    const double c = std::ceil(static_cast<double>(v));
    if (!(c >= 1)) return 1;
    if (c >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(c);
}

}  // namespace

bool rect_has_area(const ScreenRect& r) { return r.left < r.right && r.top < r.bottom; }

bool icon_in_taskbar(const ScreenRect& icon, const ScreenRect& bar) {
    return icon.left >= bar.left && icon.top >= bar.top && icon.right <= bar.right && icon.bottom <= bar.bottom;
}

PointerPlacement pointer_placement(const ScreenRect& icon, std::uint32_t taskbar_dpi,
                                   std::optional<MonitorSpan> monitor, std::int32_t vx, std::int32_t vw) {
    PointerPlacement p;
    p.s = static_cast<float>(std::max<std::uint32_t>(taskbar_dpi, 96)) / 96.0f;
    p.W = side(320 * p.s);
    p.H = side(180 * p.s);
    p.icon_w = static_cast<float>(icon.right) - static_cast<float>(icon.left);
    p.icon_h = static_cast<float>(icon.bottom) - static_cast<float>(icon.top);
    const float cx = static_cast<float>(icon.left) + p.icon_w / 2;
    const float cy = static_cast<float>(icon.top) + p.icon_h / 2;
    const float mid = monitor ? (static_cast<float>(monitor->top) + static_cast<float>(monitor->bottom)) / 2 : cy + 1;
    p.upper = mid > cy;
    // In 64 bits: a virtual screen at the edge of the int range must not overflow the clamp.
    const std::int64_t lo = vx, hi = std::max<std::int64_t>(lo, std::int64_t{vx} + vw - p.W);
    const std::int64_t x = static_cast<std::int64_t>(std::trunc(static_cast<double>(cx) - p.W / 2.0));
    p.x = static_cast<std::int32_t>(std::clamp(x, lo, hi));
    p.y = p.upper ? icon.top : static_cast<std::int32_t>(std::int64_t{icon.bottom} - p.H);
    p.lx = cx - static_cast<float>(p.x);
    p.ly = cy - static_cast<float>(p.y);
    return p;
}

std::string_view pointer_label(std::uint16_t ui_language) {
    switch (ui_language & 0x3FF) {
        case 0x01: return "\xD9\x87\xD9\x86\xD8\xA7\xD8\x8C \xD9\x84\xD8\xA7 \xD8\xAA\xD9\x8F\xD8\xB6\xD9\x8A\xD9\x91\xD8\xB9\xD9\x87 Nimbalo";
        case 0x29: return "\xD8\xA7\xDB\x8C\xD9\x86\xD8\xAC\xD8\xA7\xD8\xB3\xD8\xAA \xDA\xAF\xD9\x85\xD8\xB4 \xD9\x86\xDA\xA9\xD9\x86\xDB\x8C Nimbalo";
        default: return "Nimbalo lives here \xE2\x80\x94 don't lose it";
    }
}

PointerLayout pointer_layout(const PointerPlacement& p, float text_width) {
    const float s = p.s, W = static_cast<float>(p.W);
    PointerLayout l;
    l.F = (14 * s + std::max(p.icon_w, p.icon_h)) / 2;
    const float wanted = 28 * s + text_width;
    l.J = std::isnan(wanted) ? W - 4 * s : std::min(W - 4 * s, wanted);
    l.N = std::clamp(p.lx - l.J / 2, 2 * s, std::max(2 * s, W - l.J - 2 * s));
    return l;
}

float pointer_fade(double t) {
    double f = 1;
    if (t < 0.2) f = t / 0.2;
    else if (t > 6.0) f = 1 - (t - 6.0) / 0.4;
    return static_cast<float>(std::clamp(f, 0.0, 1.0));
}

namespace {

Colour blue(float alpha) { return Colour{kPointerBlue.r, kPointerBlue.g, kPointerBlue.b, alpha}; }

// A ring that grows from F to 1.9 F with a quadratic ease-out and fades out, phase p in [0, 1).
void pulse(Canvas& c, const PointerPlacement& pl, float F, double p) {
    const double grow = 1 - (1 - p) * (1 - p);
    fill_ring(c, pl.lx, pl.ly, static_cast<float>(F * (1 + 0.9 * grow)), 3 * pl.s, blue(static_cast<float>(0.9 * (1 - p))));
}

// The arrow in the box [a, a + L) pointing up or down at the icon: shaft and two heads.
void arrow(Canvas& c, float lx, float a, float s, bool up, float dy, const Colour& colour) {
    const float L = 26 * s, w = 3.2f * s, h = 0.42f * L;
    const float tip = up ? a + w : a + L - w;
    const float tail = up ? a + L - w : a + w;
    const float heads = up ? tip + h : tip - h;
    fill_capsule(c, lx, tip + dy, lx, tail + dy, w, colour);
    fill_capsule(c, lx, tip + dy, lx - h, heads + dy, w, colour);
    fill_capsule(c, lx, tip + dy, lx + h, heads + dy, w, colour);
}

}  // namespace

void draw_pointer_frame(Canvas& c, TextEngine& text, const PointerPlacement& p, std::string_view label, double t) {
    const float s = p.s;
    const PointerLayout l = pointer_layout(p, text.measure_text(label, kPointerLabelStyle));
    c.reset_clip();
    c.clear();

    pulse(c, p, l.F, std::fmod(t, 1.3) / 1.3);
    if (t >= 0.65) pulse(c, p, l.F, std::fmod(t - 0.65, 1.3) / 1.3);
    fill_ring(c, p.lx, p.ly, l.F, 9 * s, blue(0.18f));
    fill_ring(c, p.lx, p.ly, l.F, 3 * s, blue(1));

    const float bob = static_cast<float>((std::cos(std::numbers::pi * t / 0.55) * 0.5 + 0.5) * 8 * s);
    const float L = 26 * s;
    const float a = p.upper ? p.ly + l.F + 4 * s + bob : p.ly - l.F - 4 * s - bob - L;
    const float top = p.upper ? a + L + 6 * s : a - 6 * s - 32 * s;  // the label's top edge
    arrow(c, p.lx, a, s, p.upper, 0.4f * 3.2f * s, black(0.22f));
    arrow(c, p.lx, a, s, p.upper, 0, blue(1));

    fill_rounded_rect(c, l.N - 4 * s, top - 2 * s, l.J + 8 * s, 40 * s, 20 * s, black(0.06f));
    fill_rounded_rect(c, l.N - 2 * s, top, l.J + 4 * s, 36 * s, 18 * s, black(0.1f));
    fill_rounded_rect(c, l.N, top + 2 * s, l.J, 32 * s, 16 * s, black(0.14f));
    fill_rounded_rect(c, l.N, top, l.J, 32 * s, 16 * s, blue(1));
    text.draw_text(c, l.N + l.J / 2, top + 16 * s, l.J - 16 * s, label, kPointerLabelStyle, white(1), TextAlign::centre);

    const float f = pointer_fade(t);
    if (f < 0.999f) c.multiply(static_cast<std::uint32_t>(f * 256));
}

}  // namespace nimbalo::gui
