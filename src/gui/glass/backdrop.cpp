#include "gui/glass/backdrop.h"

#include <algorithm>
#include <cmath>

namespace nimbalo::gui {

Backdrop downsample(std::span<const std::uint32_t> pixels, int width, int height, int u) {
    Backdrop g;
    u = std::max(u, 1);
    width = std::max(width, 0);
    height = std::max(height, 0);
    g.cell = u;
    g.gw = std::max(width / u, 1);
    g.gh = std::max(height / u, 1);
    g.window_height = std::max(height, 1);
    g.rgb.assign(static_cast<size_t>(g.gw) * g.gh * 3, 0.0f);
    if (pixels.size() < static_cast<size_t>(width) * height) return g;
    std::vector<std::uint32_t> sums(static_cast<size_t>(g.gw) * 3);
    for (int j = 0; j < g.gh; ++j) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y1 = std::min(j * u + u, height);
        const int x_end = std::min(g.gw * u, width);
        for (int y = j * u; y < y1; ++y) {
            const std::uint32_t* row = pixels.data() + static_cast<size_t>(y) * width;
            for (int x = 0; x < x_end; ++x) {
                const std::uint32_t p = row[x];
                std::uint32_t* s = &sums[static_cast<size_t>(x / u) * 3];
                s[0] += (p >> 16) & 0xFF;
                s[1] += (p >> 8) & 0xFF;
                s[2] += p & 0xFF;
            }
        }
        const int rows = y1 - j * u;
        for (int i = 0; i < g.gw; ++i) {
            const int cols = std::min(i * u + u, width) - i * u;
            const int n = rows * cols;
            if (n <= 0) continue;
            float* c = g.at(i, j);
            for (int k = 0; k < 3; ++k) c[k] = static_cast<float>(sums[static_cast<size_t>(i) * 3 + k]) / (255.0f * n);
        }
    }
    return g;
}

namespace {

// One box pass over `count` cells spaced `stride` floats apart (3 channels each), in place.
void blur_line(float* base, int count, size_t stride, int b, std::vector<float>& tmp) {
    tmp.assign(static_cast<size_t>(count) * 3, 0.0f);
    const float inv = 1.0f / static_cast<float>(2 * b + 1);
    auto at = [&](int i) { return base + static_cast<size_t>(std::clamp(i, 0, count - 1)) * stride; };
    double sum[3] = {0, 0, 0};
    for (int k = -b; k <= b; ++k)
        for (int c = 0; c < 3; ++c) sum[c] += at(k)[c];
    for (int i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) tmp[static_cast<size_t>(i) * 3 + c] = static_cast<float>(sum[c]) * inv;
        const float* add = at(i + b + 1);
        const float* sub = at(i - b);
        for (int c = 0; c < 3; ++c) sum[c] += static_cast<double>(add[c]) - sub[c];
    }
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 3; ++c) base[static_cast<size_t>(i) * stride + c] = tmp[static_cast<size_t>(i) * 3 + c];
}

}  // namespace

void box_blur(Backdrop& g, int b, int rounds) {
    if (g.gw <= 1 || g.gh <= 1 || b <= 0) return;
    std::vector<float> tmp;
    const size_t row_stride = static_cast<size_t>(g.gw) * 3;
    for (int round = 0; round < rounds; ++round) {
        for (int j = 0; j < g.gh; ++j) blur_line(g.at(0, j), g.gw, 3, b, tmp);
        for (int i = 0; i < g.gw; ++i) blur_line(g.at(i, 0), g.gh, row_stride, b, tmp);
    }
}

Backdrop fallback_backdrop(int width, int height) {
    Backdrop g;
    g.synthetic = true;
    g.cell = 8;
    g.gw = std::max(width / 8, 1);
    g.gh = std::max(height / 8, 1);
    g.window_height = std::max(height, 1);
    g.rgb.resize(static_cast<size_t>(g.gw) * g.gh * 3);
    for (int j = 0; j < g.gh; ++j) {
        const float t = static_cast<float>(j) / static_cast<float>(g.gh);
        for (int i = 0; i < g.gw; ++i) {
            float* c = g.at(i, j);
            c[0] = 0.1f - 0.04f * t;
            c[1] = 0.11f - 0.045f * t;
            c[2] = 0.14f - 0.05f * t;
        }
    }
    return g;
}

void backdrop_colour(const Backdrop& g, int x, int y, float out[3]) {
    if (g.synthetic) {
        const float t = std::clamp((static_cast<float>(y) + 0.5f) / static_cast<float>(g.window_height), 0.0f, 1.0f);
        out[0] = 0.1f - 0.04f * t;
        out[1] = 0.11f - 0.045f * t;
        out[2] = 0.14f - 0.05f * t;
        return;
    }
    const float u = static_cast<float>(g.cell);
    auto coord = [u](int p, int count) {
        const float v = (static_cast<float>(p) + 0.5f) / u;
        return count <= 1 ? 0.0f : std::clamp(v, 0.0f, static_cast<float>(count) - 1.001f);
    };
    const float gx = coord(x, g.gw), gy = coord(y, g.gh);
    const int x0 = static_cast<int>(std::floor(gx)), y0 = static_cast<int>(std::floor(gy));
    const int x1 = std::min(g.gw - 1, x0 + 1), y1 = std::min(g.gh - 1, y0 + 1);
    const float fx = gx - static_cast<float>(x0), fy = gy - static_cast<float>(y0);
    const float* a = g.at(x0, y0);
    const float* b = g.at(x1, y0);
    const float* c = g.at(x0, y1);
    const float* d = g.at(x1, y1);
    for (int k = 0; k < 3; ++k) {
        const float top = a[k] + (b[k] - a[k]) * fx;
        const float bottom = c[k] + (d[k] - c[k]) * fx;
        out[k] = top + (bottom - top) * fy;
    }
}

}  // namespace nimbalo::gui
