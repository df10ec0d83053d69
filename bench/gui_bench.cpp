// The launcher's pixel hot paths: the glass background once per show, one show
// animation frame per tick, and the rounded rectangles of a result list per repaint; at 100 % and
// 150 %. Each case checks its output so a fast wrong answer cannot win. Seeded, deterministic.
//
//   cmake -B build/bench -DCMAKE_BUILD_TYPE=Release -DNIMBALO_BENCH=ON && cmake --build build/bench --target gui_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "gui/canvas/shapes.h"
#include "gui/glass/animation.h"
#include "gui/glass/backdrop.h"
#include "gui/glass/glass.h"
#include "gui/views/result_rows.h"
#include "gui/views/search_paint.h"
#include "gui/views/tray_pointer.h"
// The test text stand-in: glyph boxes, so the figures are the pages' own drawing and compositing
// (the GDI+ rasteriser's share is measured by gui_render under Wine).
#include "../tests/gui/fake_text_backend.h"

using namespace nimbalo::gui;

namespace {

struct Window {
    int w, h;
    float s;
};
Window window(int percent) {
    const float s = percent / 100.0f;
    const int m = static_cast<int>(std::lround(s));
    return {static_cast<int>(std::lround(800 * s)) + 2 * m, static_cast<int>(std::lround(560 * s)) + 2 * m, s};
}

std::vector<std::uint32_t> desktop(int w, int h) {
    std::mt19937 rng(42);
    std::vector<std::uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            px[static_cast<size_t>(y) * w + x] = 0xFF000000u | ((x * 255 / w) << 16) | ((y * 255 / h) << 8) | (rng() & 0x3F);
    return px;
}

void GlassBackground(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const auto cap = desktop(win.w, win.h);
    for (auto _ : st) {
        Canvas c = render_glass_background(cap, win.s, win.w, win.h);
        if (pixel_alpha(c.at(win.w / 2, win.h / 2)) != 242) st.SkipWithError("wrong glass");
        benchmark::DoNotOptimize(c.pixels.data());
    }
    st.SetLabel(std::to_string(win.w) + "x" + std::to_string(win.h));
    st.counters["ns/px"] = benchmark::Counter(static_cast<double>(win.w) * win.h, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The three phases of GlassBackground apart: where the time goes.
void GlassDownsample(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const auto cap = desktop(win.w, win.h);
    const GlassGeometry g = glass_geometry(win.s);
    for (auto _ : st) benchmark::DoNotOptimize(downsample(cap, win.w, win.h, g.cell).rgb.data());
}
void GlassBlur(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const GlassGeometry g = glass_geometry(win.s);
    const Backdrop grid = downsample(desktop(win.w, win.h), win.w, win.h, g.cell);
    for (auto _ : st) {
        Backdrop b = grid;
        box_blur(b, g.blur_radius, 3);
        benchmark::DoNotOptimize(b.rgb.data());
    }
    st.SetLabel(std::to_string(grid.gw) + "x" + std::to_string(grid.gh) + " cells, radius " + std::to_string(g.blur_radius));
}
void GlassShade(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const GlassGeometry g = glass_geometry(win.s);
    Backdrop grid = downsample(desktop(win.w, win.h), win.w, win.h, g.cell);
    box_blur(grid, g.blur_radius, 3);
    for (auto _ : st) benchmark::DoNotOptimize(shade_glass(grid, win.s, win.w, win.h).pixels.data());
}

void ShowFrame(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const Canvas frame = render_glass_background(desktop(win.w, win.h), win.s, win.w, win.h);
    Canvas anim(win.w, win.h);
    const ShowStep step = show_animation_step(75, win.s, win.h);
    for (auto _ : st) {
        const Canvas& out = apply_show_animation(frame, anim, step);
        benchmark::DoNotOptimize(out.pixels.data());
    }
    if (anim.at(win.w / 2, 0) == 0) st.SkipWithError("nothing shifted in");
    st.SetLabel(std::to_string(win.w) + "x" + std::to_string(win.h) + ", offset " + std::to_string(step.offset));
}

void HideFrame(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const Canvas glass = render_glass_background(desktop(win.w, win.h), win.s, win.w, win.h);
    Canvas frame(win.w, win.h);
    const HideStep step = hide_animation_step(60);
    for (auto _ : st) {
        draw_hide_frame(frame, glass, glass, step, win.s);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
}

// 200 result-row rectangles (panel width less 28 s, 46 s tall, radius 10 s) over a full frame, as a
// repaint with hover and selection fills draws them; arg 1 picks the alpha (6 % hover, 62 % selected, opaque).
void RoundedRects200(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const float alpha = static_cast<float>(st.range(1)) / 100.0f;
    const float s = win.s;
    Canvas c(win.w, win.h);
    const float w = std::lround(800 * s) - 28 * s, h = 46 * s;
    for (auto _ : st) {
        for (int i = 0; i < 200; ++i)
            fill_rounded_rect(c, 15 * s, 100 * s + static_cast<float>(i % 9) * h, w, h, 10 * s, rgb(0x0070F0, alpha));
        benchmark::DoNotOptimize(c.pixels.data());
    }
    if (pixel_alpha(c.at(win.w / 2, static_cast<int>(120 * s))) == 0) st.SkipWithError("nothing drawn");
    st.counters["px/rect"] = w * h;
}

// One tray pointer frame (target: 4 ms): clear, rings, arrow, pill, label and the fade; t moves
// by 16 ms per frame as on screen, so the label bobs and its text is composited afresh. Arg: percent.
void PointerFrame(benchmark::State& st) {
    const std::uint32_t dpi = static_cast<std::uint32_t>(96 * st.range(0) / 100);
    const PointerPlacement p = pointer_placement(ScreenRect{1700, 1048, 1724, 1072}, dpi, MonitorSpan{0, 1080}, 0, 1920);
    Canvas c(p.W, p.H);
    TextEngine text(std::make_unique<testing::FakeTextBackend>(p.W, p.H, p.s));
    double t = 0.05;
    for (auto _ : st) {
        draw_pointer_frame(c, text, p, pointer_label(0x0409), t);
        benchmark::DoNotOptimize(c.pixels.data());
        t = t + 0.016 > 6.4 ? 0.05 : t + 0.016;
    }
    if (std::all_of(c.pixels.begin(), c.pixels.end(), [](std::uint32_t px) { return px == 0; }))
        st.SkipWithError("nothing drawn");
    st.SetLabel(std::to_string(p.W) + "x" + std::to_string(p.H));
}

// 100 hit paths of a typical result turned into rows (on a fake disk: splitting, lower-casing,
// size and date texts) and sorted by name.
std::vector<std::string> hundred_paths() {
    std::vector<std::string> paths;
    for (int i = 0; i < 100; ++i)
        paths.push_back("C:\\Users\\me\\Documents\\Projects\\Quarterly Reports\\" + std::to_string(2000 + i) +
                        "\\Résumé Report " + std::to_string(i * 7919 % 1000) + (i % 3 ? ".docx" : ".pdf"));
    return paths;
}

void SearchRows100(benchmark::State& st) {
    const auto paths = hundred_paths();
    const DiskInspector disk = [](const std::string& p) -> std::optional<DiskEntry> {
        return DiskEntry{p.size() * 1537, 0x20, 134116992000000000ull + p.size() * 86400ull * 10000000, 0};
    };
    for (auto _ : st) {
        auto rows = make_rows(paths, disk);
        benchmark::DoNotOptimize(sort_rows(rows, SortColumn::Name, false, 0));
        if (rows.size() != 100 || rows[0].size_text.empty()) st.SkipWithError("wrong rows");
    }
}

// A repaint of a full result page (7 rows, selection, hover, scrollbar, icons) over the glass,
// warm text caches, as the launcher does on every change.
void SearchPageRepaint(benchmark::State& st) {
    const Window win = window(static_cast<int>(st.range(0)));
    const WindowGeometry g = window_geometry(win.s);
    const SearchLayout l = search_layout(g);
    const Canvas glass = render_glass_background(desktop(win.w, win.h), win.s, win.w, win.h);
    TextEngine text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(win.w, win.h, win.s));
    SearchPage page;
    page.query = "report";
    page.caret = 6;
    const DiskInspector disk = [](const std::string& p) -> std::optional<DiskEntry> {
        return DiskEntry{p.size() * 1537, 0x20, 134116992000000000ull, 0};
    };
    page.rows = make_rows(hundred_paths(), disk);
    page.selection = 2;
    page.hover_row_active = true;
    page.hover_row = 4;
    Icon icon;
    icon.pixels.assign(kIconSize * kIconSize, 0xFF2B6CD9u);
    const IconLookup icons = [&](const ResultRow&) { return &icon; };
    Canvas frame = glass;
    paint_search(frame, text, l, page, {true, true, 0}, icons);  // warms the caches
    for (auto _ : st) {
        frame.pixels = glass.pixels;
        paint_search(frame, text, l, page, {true, true, 0}, icons);
        benchmark::DoNotOptimize(frame.pixels.data());
    }
    if (frame.pixels == glass.pixels) st.SkipWithError("nothing drawn");
}

}  // namespace

BENCHMARK(SearchRows100)->Unit(benchmark::kMicrosecond);
BENCHMARK(SearchPageRepaint)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(GlassBackground)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(GlassDownsample)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(GlassBlur)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(GlassShade)->Arg(100)->Arg(150)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowFrame)->Arg(100)->Arg(150)->Unit(benchmark::kMicrosecond);
BENCHMARK(HideFrame)->Arg(100)->Arg(150)->Unit(benchmark::kMicrosecond);
BENCHMARK(RoundedRects200)->Args({100, 6})->Args({150, 6})->Args({150, 62})->Args({150, 100})->Unit(benchmark::kMicrosecond);
BENCHMARK(PointerFrame)->Arg(100)->Arg(150)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
