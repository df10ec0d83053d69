// What the render harness gives each page's renderer: the scale, the backdrop and its glass, the
// text engine, and the PNG writer. A page renderer draws its states over a copy of `glass` and
// writes each as over(frame, desk) under a name ending in `sfx` ("-100" / "-150").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"

namespace nimbalo::gui::render {

struct Scene {
    float s;                                 // the scale (1.0, 1.5)
    std::string sfx;                         // "-100" or "-150"
    int W, H;                                // the launcher window's size at this scale
    const std::vector<std::uint32_t>& desk;  // the photo-like desktop behind the window
    const Canvas& glass;                     // the glass panel rendered over `desk`
    TextEngine& text;
};

// Writes a premultiplied canvas as a straight-alpha PNG named NAME.png (skipped unless --only
// matches its start).
void write_png(const std::string& name, const Canvas& c);
// What the screen shows: the window's premultiplied pixels over an opaque desktop.
Canvas over(const Canvas& window, const std::vector<std::uint32_t>& desktop);

// The pages' renderers, one file each beside this header (render_<page>.cpp); called once per
// scale, in this order. A new page adds its declaration and its entry here.
using ViewRenderer = void (*)(const Scene&);
void render_search(const Scene&);
// Times `repaints` repaints of a full result page (gui_render --bench).
void bench_search(const Scene&, int repaints);
void render_settings(const Scene&);
void render_update(const Scene&);
void render_pointer(const Scene& scene);  // the tray pointer over a test desktop (render_pointer.cpp)
inline constexpr ViewRenderer kViewRenderers[] = {
    nullptr,  // keeps the list non-empty; skipped
    render_search,
    render_settings,
    render_update,
    render_pointer,
};

}  // namespace nimbalo::gui::render
