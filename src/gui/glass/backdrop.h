// Backdrop: the blurred, downsampled desktop behind the panel (capture steps 2-4).
//
// A grid of gw x gh cells of u x u window pixels, each holding red, green, blue as floats 0..1
// (interleaved). The blur is three rounds of a horizontal then a vertical box blur of radius b
// cells with clamp-to-edge ends, by running sums: linear in the grid size, independent of b.
// The synthetic fallback (capture failed) is a vertical dark gradient that shading evaluates per
// pixel row rather than sampling. Plain values; no thread-safety concerns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace nimbalo::gui {

struct Backdrop {
    int gw = 1, gh = 1;  // cells per row, rows
    int cell = 1;        // u: window pixels per cell side
    bool synthetic = false;
    int window_height = 1;  // H, for the synthetic gradient
    std::vector<float> rgb;  // gw * gh * 3, row-major

    float* at(int i, int j) { return rgb.data() + (static_cast<size_t>(j) * gw + i) * 3; }
    const float* at(int i, int j) const { return rgb.data() + (static_cast<size_t>(j) * gw + i) * 3; }
};

// Step 2: cell (i, j) is the mean of the pixels in [i u, i u + u) x [j u, j u + u) inside the
// window; gw = max(floor(W / u), 1), gh likewise. Pixels are 0xAARRGGBB; alpha is ignored.
// An empty or short pixel buffer gives a black grid.
Backdrop downsample(std::span<const std::uint32_t> pixels, int width, int height, int u);
// Step 3: `rounds` rounds of horizontal then vertical box blur of radius b; skipped unless
// gw > 1 and gh > 1.
void box_blur(Backdrop& grid, int b, int rounds = 3);
// Step 4: 8 x 8-pixel cells, row j coloured (0.1 - 0.04 t, 0.11 - 0.045 t, 0.14 - 0.05 t), t = j / gh.
Backdrop fallback_backdrop(int width, int height);
// The colour behind window pixel (x, y): the bilinear sample of the shading step, or the
// synthetic gradient at t = clamp((y + 0.5) / H, 0, 1).
void backdrop_colour(const Backdrop& grid, int x, int y, float out[3]);

}  // namespace nimbalo::gui
