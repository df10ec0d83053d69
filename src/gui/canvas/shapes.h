// Shape primitives of the panel and the tray pointer: antialiased by signed distance, blended with the rule of
// canvas.h, limited to the canvas clip.
//
// Coverage rule (all shapes): evaluated at pixel centres (column + 0.5, row + 0.5) inside the
// shape's bounding box grown by 1 pixel (strokes: by ceil(line_width / 2) + 1) and intersected
// with the clip. Fill, ring and capsule: d = signed distance to the edge (negative inside), the
// pixel is skipped when d >= 0.5, coverage = clamp(0.5 - d, 0, 1) * alpha. Stroke: coverage =
// clamp(line_width / 2 + 0.5 - |d|, 0, 1) * alpha. A colour with alpha <= 0.004 draws nothing
// (the documented edge case; the per-pixel 0.003 threshold alone would let 0.004 through).
// Degenerate input draws nothing: w <= 0, h <= 0, r <= 0, line width <= 0, NaN coordinates.
//
// Cost: the pixels of the bounding box, but fully covered runs (fills) and empty insides
// (strokes) are found by symmetry and convexity and handled as whole spans, so a row costs its
// edge pixels plus one tight blend loop. Not thread-safe per canvas.
#pragma once

#include "gui/canvas/canvas.h"
#include "gui/canvas/colour.h"

namespace nimbalo::gui {

// Signed distance from (px, py) to a rounded rectangle of centre (cx, cy), half sizes hw, hh and a
// radius already limited to [0, min(hw, hh)].
float rounded_rect_distance(float px, float py, float cx, float cy, float hw, float hh, float r);
// The radius rule: NaN counts as hw, then limited to at most hw and hh, at least 0.
float limit_radius(float radius, float hw, float hh);

void fill_rounded_rect(Canvas& c, float x, float y, float w, float h, float radius, const Colour& colour);
// An outline of the rounded rectangle whose colour (all four channels) varies linearly from
// top_colour at y to bottom_colour at y + h.
void stroke_rounded_rect(Canvas& c, float x, float y, float w, float h, float radius, float line_width,
                         const Colour& top_colour, const Colour& bottom_colour);
void fill_circle(Canvas& c, float cx, float cy, float r, const Colour& colour);
// [floor(x), ceil(x + w)) x [floor(y), ceil(y + h)) in white at coverage 0.075 (8-bit alpha 19),
// without antialiasing: separators.
void fill_hairline(Canvas& c, float x, float y, float w, float h);
// A ring of centre (cx, cy), radius r, line width w: d = |dist - r| - w / 2.
void fill_ring(Canvas& c, float cx, float cy, float r, float w, const Colour& colour);
// A segment from (x0, y0) to (x1, y1) with round ends, line width w.
void fill_capsule(Canvas& c, float x0, float y0, float x1, float y1, float w, const Colour& colour);

// Source-over of one constant premultiplied source over n pixels (the inner loop of every fill).
void blend_span(std::uint32_t* p, int n, std::uint32_t sa, std::uint32_t sr, std::uint32_t sg, std::uint32_t sb);

}  // namespace nimbalo::gui
