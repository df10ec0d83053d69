// The glass background: blurred desktop mixed into a dark slate tint with a top
// highlight and a vignette, cut to the rounded panel, with an outline and an inner rim.
//
// Pure: the screen capture is the caller's (gui/win32/screen_capture.h on Windows), handed in as
// 0xAARRGGBB pixels of the window's future rectangle, or absent for the synthetic fallback.
// Cost: one pass over the W x H pixels for the downsampling, a blur linear in the grid, one shading
// pass over the panel rectangle; computed once per show. Not thread-safe per canvas.
#pragma once

#include <cstdint>
#include <span>

#include "gui/canvas/canvas.h"
#include "gui/glass/backdrop.h"

namespace nimbalo::gui {

struct GlassGeometry {
    float s = 1;              // DPI scale
    int x0 = 1, y0 = 1;       // panel origin: m = round(s)
    int panel_w = 800, panel_h = 560;  // P = round(800 s), Q = round(560 s)
    float outline_radius = 26;  // 26 s
    float fill_radius = 26;     // min(26 s, P / 2, Q / 2)
    int cell = 2;               // u = max(round(2 s), 2)
    int blur_radius = 9;        // b = max(round(9 s), 3)
};

GlassGeometry glass_geometry(float scale);

// Steps 5-7 over a prepared backdrop: a new W x H canvas, transparent outside the panel.
Canvas shade_glass(const Backdrop& backdrop, float scale, int width, int height);
// Steps 2-8: downsample and blur the capture (or use the fallback when `capture` is empty or
// shorter than W x H), then shade.
Canvas render_glass_background(std::span<const std::uint32_t> capture, float scale, int width, int height);

}  // namespace nimbalo::gui
