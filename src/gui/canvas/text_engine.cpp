#include "gui/canvas/text_engine.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/text.h"
#include "gui/canvas/text_styles.h"

namespace nimbalo::gui {

namespace {

bool valid_style(int style) { return style >= 0 && style < kTextStyleCount; }

// Byte offsets of the Unicode scalar values of valid UTF-8; an invalid byte counts as one value.
std::vector<size_t> scalar_starts(std::string_view text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();) {
        starts.push_back(i);
        const int n = utf8_sequence_length(static_cast<unsigned char>(text[i]));
        i += (n <= 0 || i + static_cast<size_t>(n) > text.size()) ? 1 : static_cast<size_t>(n);
    }
    return starts;
}

}  // namespace

TextEngine::TextEngine(std::unique_ptr<TextBackend> backend) : backend_(std::move(backend)) {}

bool TextEngine::has_style(int style) const { return valid_style(style) && backend_->has_style(style); }

float TextEngine::line_height(int style) const { return valid_style(style) ? backend_->line_height(style) : 0; }

TextBounds TextEngine::bounds(std::string_view text, int style) {
    if (!has_style(style) || text.empty()) return {};
    std::string key;
    key.reserve(text.size() + 1);
    key.push_back(static_cast<char>(style));
    key.append(text);
    if (auto it = widths_.find(key); it != widths_.end()) return it->second;
    utf16_ = utf8_to_utf16(text);
    TextBounds b = backend_->measure(utf16_, style);
    if (std::isnan(b.x)) b.x = 0;
    if (!(b.width >= 0)) b.width = 0;
    if (widths_.size() > kWidthCacheLimit) widths_.clear();
    widths_.emplace(std::move(key), b);
    return b;
}

float TextEngine::measure_text(std::string_view text, int style) { return bounds(text, style).width; }

std::string TextEngine::fit_text(std::string_view text, int style, float max_width) {
    if (measure_text(text, style) <= max_width) return std::string(text);
    std::string key;
    key.push_back(static_cast<char>(style));
    const long rounded = std::lround(std::clamp(max_width, -1e9f, 1e9f));
    key.append(reinterpret_cast<const char*>(&rounded), sizeof rounded);
    key.append(text);
    if (auto it = ellipses_.find(key); it != ellipses_.end()) return it->second;
    const std::vector<size_t> starts = scalar_starts(text);
    size_t lo = 0, hi = starts.size();
    std::string candidate;
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        candidate.assign(text.substr(0, mid < starts.size() ? starts[mid] : text.size()));
        candidate += "\xE2\x80\xA6";  // U+2026
        if (measure_text(candidate, style) <= max_width)
            lo = mid;
        else
            hi = mid - 1;
    }
    std::string result;
    if (lo > 0) {
        result.assign(text.substr(0, lo < starts.size() ? starts[lo] : text.size()));
        result += "\xE2\x80\xA6";
    }
    if (ellipses_.size() > kEllipsisCacheLimit) ellipses_.clear();
    ellipses_.emplace(std::move(key), result);
    return result;
}

void TextEngine::draw_text(Canvas& canvas, float x, float centre_y, float max_width, std::string_view text,
                           int style, const Colour& colour, TextAlign align) {
    if (text.empty() || !(colour.a > 0.004f) || !(max_width > 0)) return;
    const std::string fitted = fit_text(text, style, max_width);
    if (fitted.empty() || !has_style(style)) return;
    const TextBounds b = bounds(fitted, style);
    const float bx = b.x, bw = std::max(b.width, 1.0f);
    float left = x;
    if (align == TextAlign::right) left = x - bw - bx;
    if (align == TextAlign::centre) left = x - bw / 2 - bx;
    const float lh = line_height(style);
    const float top = centre_y - lh / 2;
    if (!std::isfinite(left) || !std::isfinite(top)) return;

    PixelView s = backend_->scratch();
    const float fx0 = std::floor(left + bx - 3), fy0 = std::floor(top - 3);
    const float fx1 = fx0 + std::ceil(bw + 8), fy1 = fy0 + std::ceil(lh + 8);
    auto lim = [](float v, int hi) { return static_cast<int>(std::clamp(v, 0.0f, static_cast<float>(hi))); };
    const int sx0 = lim(fx0, s.width), sx1 = lim(fx1, s.width), sy0 = lim(fy0, s.height), sy1 = lim(fy1, s.height);
    if (sx0 >= sx1 || sy0 >= sy1) return;
    const int cx0 = std::max(sx0, canvas.clip_x0), cx1 = std::min(sx1, canvas.clip_x1);
    const int cy0 = std::max(sy0, canvas.clip_y0), cy1 = std::min(sy1, canvas.clip_y1);
    const float scale = colour.a / 255.0f;
    auto composite = [&](auto red_at) {
        for (int y = cy0; y < cy1; ++y) {
            std::uint32_t* dst = canvas.pixels.data() + static_cast<size_t>(y) * canvas.width;
            for (int xx = cx0; xx < cx1; ++xx) {
                const std::uint32_t red = red_at(xx, y);
                if (red != 0) blend_pixel(dst[xx], colour, static_cast<float>(red) * scale);
            }
        }
    };

    // The coverage cache: the same string in the same style at the same (float) position gives the
    // same scratch pixels, so a repaint of an unchanged line skips the rasteriser. Only rectangles
    // wholly inside the scratch buffer are kept (a cut one would not be the same next time).
    const bool cacheable = fx0 >= 0 && fy0 >= 0 && fx1 <= static_cast<float>(s.width) && fy1 <= static_cast<float>(s.height);
    std::string key;
    if (cacheable) {
        key.push_back(static_cast<char>(style));
        key.append(reinterpret_cast<const char*>(&left), sizeof left);
        key.append(reinterpret_cast<const char*>(&top), sizeof top);
        key.append(fitted);
        if (auto it = masks_.find(key); it != masks_.end()) {
            const CoverageMask& m = it->second;
            composite([&](int x, int y) { return static_cast<std::uint32_t>(m.red[static_cast<size_t>(y - sy0) * m.width + (x - sx0)]); });
            return;
        }
    }

    for (int y = sy0; y < sy1; ++y)
        std::fill(s.pixels + static_cast<size_t>(y) * s.width + sx0, s.pixels + static_cast<size_t>(y) * s.width + sx1,
                  0u);
    utf16_ = utf8_to_utf16(fitted);
    backend_->draw_white(utf16_, style, left, top);
    composite([&](int x, int y) { return pixel_red(s.pixels[static_cast<size_t>(y) * s.width + x]); });

    if (cacheable) {
        CoverageMask m;
        m.width = sx1 - sx0;
        m.red.resize(static_cast<size_t>(m.width) * (sy1 - sy0));
        for (int y = sy0; y < sy1; ++y)
            for (int x = sx0; x < sx1; ++x)
                m.red[static_cast<size_t>(y - sy0) * m.width + (x - sx0)] =
                    static_cast<std::uint8_t>(pixel_red(s.pixels[static_cast<size_t>(y) * s.width + x]));
        if (mask_bytes_ + m.red.size() > kCoverageCacheBytes) {
            masks_.clear();
            mask_bytes_ = 0;
        }
        mask_bytes_ += m.red.size();
        masks_.emplace(std::move(key), std::move(m));
    }
}

}  // namespace nimbalo::gui
