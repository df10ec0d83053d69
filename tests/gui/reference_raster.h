// TESTS ONLY: slow, obviously correct coverage by supersampling (16 x 16 samples per pixel) of an
// inside-test, the reference the analytic coverage of shapes.cpp is measured against.
#pragma once

#include <functional>

namespace nimbalo::gui::testing {

// Fraction of pixel (x, y) whose sample points satisfy inside(px, py).
inline double supersampled_coverage(int x, int y, const std::function<bool(double, double)>& inside, int n = 16) {
    int hits = 0;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            if (inside(x + (i + 0.5) / n, y + (j + 0.5) / n)) ++hits;
    return static_cast<double>(hits) / (n * n);
}

}  // namespace nimbalo::gui::testing
