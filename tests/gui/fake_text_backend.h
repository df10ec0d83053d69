// TESTS ONLY: a deterministic stand-in for the GDI+ text backend, so the text engine's rules
// (caches, ellipsis, alignment, compositing) and view layouts can be tested natively.
// Every UTF-16 unit is a box of 0.55 x size x scale pixels advance; its ink is the advance less
// a 1-pixel gap on the right; the bounding box starts 1 pixel right of the layout origin (as
// real fonts have a small left bearing). Line height: size x scale x 1.32. Styles listed in
// `missing` are empty slots.
#pragma once

#include <cmath>
#include <set>
#include <vector>

#include "gui/canvas/text_engine.h"
#include "gui/canvas/text_styles.h"

namespace nimbalo::gui::testing {

class FakeTextBackend : public TextBackend {
public:
    FakeTextBackend(int width, int height, float scale, std::set<int> missing = {})
        : scale_(scale), missing_(std::move(missing)), pixels_(static_cast<size_t>(width) * height), w_(width), h_(height) {}

    int measure_calls = 0, draw_calls = 0;

    bool has_style(int style) const override { return missing_.count(style) == 0; }
    float line_height(int style) const override { return kTextStyles[style].size * scale_ * 1.32f; }
    float advance(int style) const { return kTextStyles[style].size * scale_ * 0.55f; }
    TextBounds measure(std::u16string_view text, int style) override {
        ++measure_calls;
        if (text.empty()) return {};
        return TextBounds{1.0f, advance(style) * static_cast<float>(text.size()) - 1.0f};
    }
    void draw_white(std::u16string_view text, int style, float left, float top) override {
        ++draw_calls;
        const float adv = advance(style), lh = line_height(style);
        for (size_t i = 0; i < text.size(); ++i) {
            const float gx0 = left + 1.0f + adv * static_cast<float>(i), gx1 = gx0 + adv - 1.0f;
            const float gy0 = top + lh * 0.2f, gy1 = top + lh * 0.8f;
            for (int y = std::max(0, static_cast<int>(std::floor(gy0))); y < std::min(h_, static_cast<int>(std::ceil(gy1))); ++y)
                for (int x = std::max(0, static_cast<int>(std::floor(gx0))); x < std::min(w_, static_cast<int>(std::ceil(gx1))); ++x)
                    pixels_[static_cast<size_t>(y) * w_ + x] = 0xFFFFFFFFu;
        }
    }
    PixelView scratch() override { return PixelView{pixels_.data(), w_, h_}; }

private:
    float scale_;
    std::set<int> missing_;
    std::vector<std::uint32_t> pixels_;
    int w_, h_;
};

}  // namespace nimbalo::gui::testing
