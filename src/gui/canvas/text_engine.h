// TextEngine: measure_text and draw_text over a glyph rasteriser (TextBackend).
//
// The engine owns the rules that do not depend on GDI+: the width cache (at most 4096 entries,
// cleared wholesale before an insertion into a fuller cache), the ellipsis cache (2048, likewise)
// with its binary search over Unicode scalar values, the three alignments by measured bounding
// box, the scratch clearing and the compositing of the rasteriser's red channel in the requested
// colour, and a third cache of the composited coverage of each string drawn at one exact position
// (an unchanged line of a repaint costs no rasteriser call). The backend only measures, knows its line heights and empty slots, and draws opaque
// white text into its scratch buffer. On Windows the backend is GDI+ (gui/win32/gdiplus_text.h);
// tests use a deterministic stand-in (tests/gui/fake_text_backend.h), never shipped.
// Views draw only through this class and the shapes of shapes.h.
// Not thread-safe: one engine per drawing thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "gui/canvas/canvas.h"
#include "gui/canvas/colour.h"

namespace nimbalo::gui {

struct TextBounds {
    float x = 0;      // offset of the ink's bounding box from the layout origin
    float width = 0;  // width of that box (NaN or negative counts as 0)
};

// A window-sized premultiplied buffer owned by the backend, where text is drawn in white.
struct PixelView {
    std::uint32_t* pixels = nullptr;
    std::int32_t width = 0, height = 0;
};

class TextBackend {
public:
    virtual ~TextBackend() = default;
    virtual bool has_style(int style) const = 0;
    virtual float line_height(int style) const = 0;
    virtual TextBounds measure(std::u16string_view text, int style) = 0;
    // Draws text in opaque white with its layout rectangle at (left, top) into scratch().
    virtual void draw_white(std::u16string_view text, int style, float left, float top) = 0;
    virtual PixelView scratch() = 0;
};

enum class TextAlign { left = 0, right = 1, centre = 2 };

class TextEngine {
public:
    static constexpr size_t kWidthCacheLimit = 4096;
    static constexpr size_t kEllipsisCacheLimit = 2048;
    // Coverage masks of drawn strings (red bytes of the scratch rectangle), at most this many bytes,
    // cleared wholesale like the other caches.
    static constexpr size_t kCoverageCacheBytes = size_t{8} << 20;

    explicit TextEngine(std::unique_ptr<TextBackend> backend);

    bool has_style(int style) const;
    float line_height(int style) const;
    // The bounding-box width; 0 for an empty slot or an unknown style.
    float measure_text(std::string_view text, int style);
    // y is the vertical centre of the line. Draws nothing for empty text, alpha <= 0.004,
    // max_width <= 0, an empty slot, or a max_width below one character plus "…".
    void draw_text(Canvas& canvas, float x, float centre_y, float max_width, std::string_view text, int style,
                   const Colour& colour, TextAlign align);
    // The text draw_text would draw: itself when it fits, else the longest prefix (in Unicode
    // scalar values) followed by "…" that fits, else "".
    std::string fit_text(std::string_view text, int style, float max_width);

    size_t width_cache_size() const { return widths_.size(); }
    size_t coverage_cache_bytes() const { return mask_bytes_; }
    size_t ellipsis_cache_size() const { return ellipses_.size(); }
    TextBackend& backend() { return *backend_; }

private:
    TextBounds bounds(std::string_view text, int style);

    std::unique_ptr<TextBackend> backend_;
    std::unordered_map<std::string, TextBounds> widths_;   // key: style byte + text bytes
    std::unordered_map<std::string, std::string> ellipses_;  // key: style, rounded width, text
    struct CoverageMask {
        int width = 0;
        std::vector<std::uint8_t> red;
    };
    std::unordered_map<std::string, CoverageMask> masks_;  // key: style, left, top, text
    size_t mask_bytes_ = 0;
    std::u16string utf16_;
};

}  // namespace nimbalo::gui
