// Render harness (a test program, not a user command): renders the drawing layer's main states into
// PNG files for a reviewer to look at. On Windows (under Wine) text is real GDI+; natively it is
// the test stand-in of fake_text_backend.h (boxes), useful for layout only.
//
//   gui_render OUTPUT_FOLDER [--only NAME] [--bench N]
//
// Writes, each at 100 % and 150 % (suffix -100 / -150):
//   glass-photo, glass-white, glass-black: the glass composited over a photo-like test backdrop
//     and over pure white and pure black desktops (what the screen shows);
//   glass-fallback: the synthetic glass (capture failed) over the same photo;
//   glass-capture (Windows only): the glass over whatever BitBlt got from the screen;
//   show-000ms, show-075ms, show-150ms; hide-000ms, hide-130ms, hide-260ms: a sample panel;
//   text: every style, left/right/centre alignment, ellipsis; shapes: the primitives.
// With --only NAME only files starting with NAME are written ("text-missing-icons" writes the
// text sheet under that name, for the run without icon fonts). --bench N times N repaints of the
// 40-string sample frame (warm caches) and prints the mean and best.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO_UNUSED
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include "gui/canvas/shapes.h"
#include "gui/canvas/text_engine.h"
#include "gui/canvas/text_styles.h"
#include "gui/glass/animation.h"
#include "gui/glass/glass.h"
#include "gui/render/render_support.h"
#include "gui/render/sample_panel.h"
#ifdef _WIN32
#include "gui/win32/gdiplus_text.h"
#include "gui/win32/present_surface.h"
#else
#include "gui/fake_text_backend.h"
#endif

using namespace nimbalo::gui;

namespace {

std::string g_dir, g_only;
int g_written = 0;

bool wanted(const std::string& name) { return g_only.empty() || name.rfind(g_only, 0) == 0; }

}  // namespace

namespace nimbalo::gui::render {

// Writes a premultiplied canvas as straight-alpha RGBA PNG.
void write_png(const std::string& name, const Canvas& c) {
    if (!wanted(name)) return;
    std::vector<unsigned char> rgba(static_cast<size_t>(c.width) * c.height * 4);
    for (size_t i = 0; i < c.pixels.size(); ++i) {
        const std::uint32_t p = c.pixels[i], a = pixel_alpha(p);
        auto un = [a](std::uint32_t v) { return static_cast<unsigned char>(a == 0 ? 0 : std::min(255u, (v * 255 + a / 2) / a)); };
        rgba[i * 4 + 0] = un(pixel_red(p));
        rgba[i * 4 + 1] = un(pixel_green(p));
        rgba[i * 4 + 2] = un(pixel_blue(p));
        rgba[i * 4 + 3] = static_cast<unsigned char>(a);
    }
    const std::string path = g_dir + "/" + name + ".png";
    if (!stbi_write_png(path.c_str(), c.width, c.height, 4, rgba.data(), c.width * 4)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    ++g_written;
    std::printf("%s\n", path.c_str());
}

// What the screen shows: the layered window's premultiplied pixels over an opaque desktop.
Canvas over(const Canvas& window, const std::vector<std::uint32_t>& desktop) {
    Canvas out = window;
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        std::uint32_t d = desktop[i] | 0xFF000000u;
        const std::uint32_t p = window.pixels[i];
        blend_premultiplied(d, pixel_alpha(p), pixel_red(p), pixel_green(p), pixel_blue(p));
        out.pixels[i] = d;
    }
    return out;
}

}  // namespace nimbalo::gui::render

namespace {

using nimbalo::gui::render::over;
using nimbalo::gui::render::write_png;

// A photo-like test backdrop: sky gradient, a sun, layered hills, a lake, a few bright windows.
std::vector<std::uint32_t> photo(int W, int H) {
    std::vector<std::uint32_t> px(static_cast<size_t>(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const double u = static_cast<double>(x) / W, v = static_cast<double>(y) / H;
            double r = 0.25 + 0.5 * v, g = 0.45 + 0.3 * v, b = 0.85 - 0.2 * v;  // sky
            const double sun = std::hypot(u - 0.72, v - 0.22);
            if (sun < 0.07) r = 1.0, g = 0.85, b = 0.4;
            else if (sun < 0.2) { const double k = (0.2 - sun) / 0.13 * 0.5; r += (1 - r) * k; g += (0.8 - g) * k; b *= 1 - k * 0.6; }
            const double hill1 = 0.55 + 0.08 * std::sin(u * 9.0) + 0.04 * std::sin(u * 23.0 + 1);
            const double hill2 = 0.68 + 0.06 * std::sin(u * 5.0 + 2) + 0.02 * std::sin(u * 41.0);
            if (v > hill1) r = 0.18 + 0.1 * u, g = 0.42 - 0.1 * v, b = 0.22;
            if (v > hill2) r = 0.10, g = 0.28 + 0.05 * std::sin(u * 60), b = 0.16;
            if (v > 0.86) r = 0.15 + 0.3 * (1 - sun), g = 0.35, b = 0.55 + 0.1 * std::sin(u * 80 + v * 200);  // lake
            if (u > 0.08 && u < 0.3 && v > 0.1 && v < 0.45) {  // a bright application window
                r = g = b = 0.96;
                if (v < 0.14) r = 0.2, g = 0.45, b = 0.9;
                if (v > 0.2 && std::fmod(v * 60, 1.0) < 0.35 && u < 0.25) r = g = b = 0.3;
            }
            auto q = [](double c) { return static_cast<std::uint32_t>(std::clamp(c, 0.0, 1.0) * 255 + 0.5); };
            px[static_cast<size_t>(y) * W + x] = 0xFF000000u | (q(r) << 16) | (q(g) << 8) | q(b);
        }
    return px;
}

// Passes everything through and adds up the time spent in the rasteriser (for --bench).
class TimedBackend : public TextBackend {
public:
    explicit TimedBackend(std::unique_ptr<TextBackend> inner) : inner_(std::move(inner)) {}
    double measure_ms = 0, draw_ms = 0;
    int measures = 0, draws = 0;
    bool has_style(int style) const override { return inner_->has_style(style); }
    float line_height(int style) const override { return inner_->line_height(style); }
    TextBounds measure(std::u16string_view text, int style) override {
        const auto t0 = std::chrono::steady_clock::now();
        const TextBounds b = inner_->measure(text, style);
        measure_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        ++measures;
        return b;
    }
    void draw_white(std::u16string_view text, int style, float left, float top) override {
        const auto t0 = std::chrono::steady_clock::now();
        inner_->draw_white(text, style, left, top);
        draw_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        ++draws;
    }
    PixelView scratch() override { return inner_->scratch(); }

private:
    std::unique_ptr<TextBackend> inner_;
};

TimedBackend* g_timed = nullptr;

std::unique_ptr<TextEngine> make_engine(int W, int H, float s) {
#ifdef _WIN32
    auto b = make_gdiplus_text_backend(W, H, s);
    if (!b) {
        std::fprintf(stderr, "%s\n", b.error().c_str());
        std::exit(1);
    }
    std::unique_ptr<TextBackend> inner = std::move(*b);
#else
    std::unique_ptr<TextBackend> inner = std::make_unique<nimbalo::gui::testing::FakeTextBackend>(W, H, s);
#endif
    auto timed = std::make_unique<TimedBackend>(std::move(inner));
    g_timed = timed.get();
    return std::make_unique<TextEngine>(std::move(timed));
}

void text_sheet(const std::string& name, TextEngine& text, const Canvas& glass, float s) {
    Canvas c = glass;
    const GlassGeometry g = glass_geometry(s);
    const float x0 = g.x0 + 24 * s, P = static_cast<float>(g.panel_w);
    const char* sample[] = {"Search query – Résumé 2026", "Card title, result name", "Secondary line, column head",
                            "C:\\Users\\me\\Documents\\folder line", "Footer and hint line · 1,284,311 entries",
                            "Page title Semibold", "Status line of the update page", "\xEE\x9C\xAC \xEE\x9C\xA1 small glyphs",
                            "\xEE\x9C\xA1 search glyph", "\xEE\xA2\x95", "mono: {\"mcpServers\": {\"nimbalo\"}}"};
    float y = g.y0 + 30 * s;
    for (int style = 0; style < kTextStyleCount; ++style) {
        const float lh = std::max(text.line_height(style), 14 * s);
        const Colour col = style == 5 ? palette::text_primary : (style >= 7 && style <= 9 ? palette::accent : palette::text_primary);
        // Left, ellipsised (max 180 s), centre, right; guide lines at the anchors.
        text.draw_text(c, x0, y, 250 * s, std::to_string(style) + " " + sample[style], style, col, TextAlign::left);
        text.draw_text(c, x0 + 270 * s, y, 150 * s, sample[style], style, palette::text_secondary, TextAlign::left);
        text.draw_text(c, x0 + 520 * s, y, 160 * s, "centre", style, col, TextAlign::centre);
        text.draw_text(c, x0 + P - 48 * s, y, 150 * s, "right 1,234 KB", style, col, TextAlign::right);
        y += lh + 6 * s;
    }
    fill_rounded_rect(c, x0 + 270 * s - 0.5f, g.y0 + 14 * s, 1, y - g.y0 - 20 * s, 0, rgb(0xFF8A80, 0.5f));
    fill_rounded_rect(c, x0 + 420 * s - 0.5f, g.y0 + 14 * s, 1, y - g.y0 - 20 * s, 0, rgb(0xFF8A80, 0.5f));
    fill_rounded_rect(c, x0 + 520 * s - 0.5f, g.y0 + 14 * s, 1, y - g.y0 - 20 * s, 0, rgb(0x5EA8FF, 0.5f));
    fill_rounded_rect(c, x0 + P - 48 * s - 0.5f, g.y0 + 14 * s, 1, y - g.y0 - 20 * s, 0, rgb(0xFF8A80, 0.5f));
    write_png(name, c);
}

void shape_sheet(const std::string& name, const Canvas& glass, float s) {
    Canvas c = glass;
    const GlassGeometry g = glass_geometry(s);
    const float x = g.x0 + 40 * s, y = g.y0 + 40 * s;
    fill_rounded_rect(c, x, y, 200 * s, 44 * s, 10 * s, palette::selected_row);
    fill_rounded_rect(c, x + 220 * s, y, 120 * s, 30 * s, 100 * s, palette::accent);  // pill
    fill_rounded_rect(c, x + 360 * s, y, 80 * s, 44 * s, 0, white(0.3f));           // square corners
    stroke_rounded_rect(c, x + 460 * s, y, 140 * s, 60 * s, 14 * s, 2 * s, white(0.8f), white(0.1f));
    fill_circle(c, x + 30 * s, y + 110 * s, 22 * s, palette::error);
    fill_circle(c, x + 90 * s, y + 110 * s, 3.3f * s, palette::caret);
    for (float r = 8; r <= 38; r += 10) fill_ring(c, x + 180 * s, y + 110 * s, r * s, 3 * s, rgb(0x1F70E0, 1.0f - r / 60));
    fill_capsule(c, x + 260 * s, y + 90 * s, x + 400 * s, y + 130 * s, 3.2f * s, rgb(0x1F70E0, 1));
    fill_capsule(c, x + 420 * s, y + 130 * s, x + 440 * s, y + 85 * s, 6 * s, white(0.9f));
    for (int i = 0; i < 5; ++i) fill_hairline(c, x, y + (170 + 8 * i) * s, 600 * s, std::max(s, 1.0f));
    write_png(name, c);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_render OUTPUT_FOLDER [--only NAME] [--bench N]\n");
        return 2;
    }
    g_dir = argv[1];
    int bench = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--only") == 0) g_only = argv[i + 1];
        if (std::strcmp(argv[i], "--bench") == 0) bench = std::atoi(argv[i + 1]);
    }
    for (float s : {1.0f, 1.5f}) {
        const std::string sfx = s == 1.0f ? "-100" : "-150";
        const int W = static_cast<int>(std::lround(800 * s)) + 2 * static_cast<int>(std::lround(s));
        const int H = static_cast<int>(std::lround(560 * s)) + 2 * static_cast<int>(std::lround(s));
        const std::vector<std::uint32_t> desk = photo(W, H), whites(static_cast<size_t>(W) * H, 0xFFFFFFFFu),
                                         blacks(static_cast<size_t>(W) * H, 0xFF000000u);
        const Canvas glass = render_glass_background(desk, s, W, H);
        const Canvas fallback = render_glass_background({}, s, W, H);
        std::unique_ptr<TextEngine> text = make_engine(W, H, s);

        if (bench > 0) {
            // Warm: the same frame again (caches hit, as a repaint of an unchanged list).
            // Moving: every repaint 1/64 pixel lower, so each string goes through GDI+ again (widths
            // and ellipses still cached), as when the list scrolls or a row changes.
            for (bool moving : {false, true}) {
                Canvas frame(W, H);
                frame.pixels = glass.pixels;
                int strings = nimbalo::gui::testing::draw_sample_panel(frame, *text, s);  // warms the caches
                double total = 0, best = 1e9;
                g_timed->draw_ms = g_timed->measure_ms = 0;
                g_timed->draws = g_timed->measures = 0;
                for (int i = 0; i < bench; ++i) {
                    const auto t0 = std::chrono::steady_clock::now();
                    std::memcpy(frame.pixels.data(), glass.pixels.data(), glass.pixels.size() * 4);
                    strings = nimbalo::gui::testing::draw_sample_panel(frame, *text, s, moving ? (i + 1) / 64.0f : 0.0f);
                    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
                    total += ms;
                    best = std::min(best, ms);
                }
                std::printf("repaint %dx%d, %d strings, %s: mean %.3f ms, best %.3f ms over %d; per repaint: "
                            "rasteriser draws %.3f ms (%d calls), measurements %.3f ms (%d calls), the rest %.3f ms\n",
                            W, H, strings, moving ? "moving (coverage cache misses)" : "warm caches", total / bench, best,
                            bench, g_timed->draw_ms / bench, g_timed->draws / bench, g_timed->measure_ms / bench,
                            g_timed->measures / bench, (total - g_timed->draw_ms - g_timed->measure_ms) / bench);
            }
            nimbalo::gui::render::bench_search({s, sfx, W, H, desk, glass, *text}, bench);
            continue;
        }

        write_png("glass-photo" + sfx, over(glass, desk));
        write_png("glass-white" + sfx, over(render_glass_background(whites, s, W, H), whites));
        write_png("glass-black" + sfx, over(render_glass_background(blacks, s, W, H), blacks));
        write_png("glass-fallback" + sfx, over(fallback, desk));
        write_png("glass-raw" + sfx, glass);  // the window's own pixels, transparent outside the panel
#ifdef _WIN32
        if (wanted("glass-capture")) {
            auto cap = capture_screen(0, 0, W, H);
            std::printf("screen capture: %s\n", cap ? "ok" : cap.error().c_str());
            const Canvas captured = render_glass_background(cap ? *cap : std::vector<std::uint32_t>{}, s, W, H);
            write_png("glass-capture" + sfx, over(captured, cap ? *cap : desk));
        }
#endif
        Canvas frame = glass;
        nimbalo::gui::testing::draw_sample_panel(frame, *text, s);
        Canvas anim(W, H);
        for (int ms : {0, 75, 150}) {
            const ShowStep st = show_animation_step(ms, s, H);
            char name[32];
            std::snprintf(name, sizeof name, "show-%03dms", ms);
            write_png(name + sfx, over(apply_show_animation(frame, anim, st), desk));
        }
        Canvas hide(W, H);
        for (int ms : {0, 130, 260}) {
            char name[32];
            std::snprintf(name, sizeof name, "hide-%03dms", ms);
            draw_hide_frame(hide, glass, frame, hide_animation_step(ms), s);
            write_png(name + sfx, over(hide, desk));
        }
        const nimbalo::gui::render::Scene scene{s, sfx, W, H, desk, glass, *text};
        for (const auto views : nimbalo::gui::render::kViewRenderers)
            if (views) views(scene);
        text_sheet((g_only == "text-missing-icons" ? "text-missing-icons" : "text") + sfx, *text, fallback, s);
        shape_sheet("shapes" + sfx, fallback, s);
    }
    if (bench == 0) std::printf("%d PNG files written\n", g_written);
    return bench == 0 && g_written == 0 ? 1 : 0;
}
