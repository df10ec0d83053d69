// GDI+ glyph rasteriser (flat API) for TextEngine; see gdiplus_text.h.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>

#include "gui/canvas/text_styles.h"
#include "gui/win32/gdiplus_text.h"
#include "gui/win32/surface_impl_win32.h"

namespace nimbalo::gui {

namespace {

namespace gp = Gdiplus;
namespace flat = Gdiplus::DllExports;

class GdiplusBackend final : public TextBackend {
public:
    GdiplusBackend(PresentSurface surface) : surface_(std::move(surface)) {}
    GdiplusBackend(const GdiplusBackend&) = delete;  // owns GDI+ objects
    GdiplusBackend& operator=(const GdiplusBackend&) = delete;
    ~GdiplusBackend() override {
        for (auto& f : fonts_)
            if (f.font) flat::GdipDeleteFont(f.font);
        for (auto& [name, family] : families_)
            if (family) flat::GdipDeleteFontFamily(family);
        if (brush_) flat::GdipDeleteBrush(brush_);
        if (format_) flat::GdipDeleteStringFormat(format_);
        if (graphics_) flat::GdipDeleteGraphics(graphics_);
        // GdiplusShutdown is not called: other engines of the process may live on.
    }

    Status init(float scale) {
        if (flat::GdipCreateFromHDC(surface_.impl().dc, &graphics_) != gp::Ok || !graphics_)
            return fail("GDI+ text engine unavailable");
        flat::GdipSetTextRenderingHint(graphics_, gp::TextRenderingHintAntiAliasGridFit);  // 3
        if (flat::GdipCreateStringFormat(0, LANG_NEUTRAL, &format_) != gp::Ok || !format_)
            return fail("GDI+ text engine unavailable");
        flat::GdipSetStringFormatFlags(format_, 0x5000);  // no wrap, no clip
        gp::GpSolidFill* fill = nullptr;
        flat::GdipCreateSolidFill(0xFFFFFFFF, &fill);
        brush_ = fill;
        for (int s = 0; s < kTextStyleCount; ++s) {
            const TextStyleSpec& spec = kTextStyles[s];
            gp::GpFontFamily* family = find_family(spec.family);
            if (!family && spec.fallback) family = find_family(spec.fallback);
            if (!family) continue;
            const float px = spec.size * scale;
            gp::GpFont* font = nullptr;
            if (flat::GdipCreateFont(family, px, gp::FontStyleRegular, gp::UnitPixel, &font) != gp::Ok || !font) continue;
            float h = 0;
            if (flat::GdipGetFontHeight(font, graphics_, &h) != gp::Ok || !(h > 0)) h = px * 1.32f;
            fonts_[s] = Slot{font, h};
        }
        return {};
    }

    bool has_style(int style) const override { return fonts_[style].font != nullptr; }
    float line_height(int style) const override { return fonts_[style].height; }

    TextBounds measure(std::u16string_view text, int style) override {
        gp::GpFont* font = fonts_[style].font;
        if (!font || text.empty()) return {};
        const gp::RectF layout(0, 0, 8192, 8192);
        gp::RectF box;
        if (flat::GdipMeasureString(graphics_, wide(text), static_cast<INT>(text.size()), font, &layout, format_, &box,
                                    nullptr, nullptr) != gp::Ok)
            return {};
        return TextBounds{box.X, box.Width};
    }

    void draw_white(std::u16string_view text, int style, float left, float top) override {
        gp::GpFont* font = fonts_[style].font;
        if (!font) return;
        GdiFlush();  // the engine cleared the scratch pixels directly
        const gp::RectF layout(left, top, 8192, 8192);
        flat::GdipDrawString(graphics_, wide(text), static_cast<INT>(text.size()), font, &layout, format_, brush_);
        flat::GdipFlush(graphics_, gp::FlushIntentionSync);
        GdiFlush();
    }

    PixelView scratch() override { return PixelView{surface_.bits(), surface_.width(), surface_.height()}; }

private:
    struct Slot {
        gp::GpFont* font = nullptr;
        float height = 0;
    };

    static const WCHAR* wide(std::u16string_view t) { return reinterpret_cast<const WCHAR*>(t.data()); }

    gp::GpFontFamily* find_family(const char16_t* name) {
        const std::u16string key(name);
        if (auto it = families_.find(key); it != families_.end()) return it->second;
        gp::GpFontFamily* family = nullptr;
        if (flat::GdipCreateFontFamilyFromName(reinterpret_cast<const WCHAR*>(name), nullptr, &family) != gp::Ok)
            family = nullptr;
        families_.emplace(key, family);
        return family;
    }

    PresentSurface surface_;
    gp::GpGraphics* graphics_ = nullptr;
    gp::GpStringFormat* format_ = nullptr;
    gp::GpBrush* brush_ = nullptr;
    std::array<Slot, kTextStyleCount> fonts_{};
    std::map<std::u16string, gp::GpFontFamily*> families_;
};

bool start_gdiplus() {
    static const bool started = [] {
        ULONG_PTR token = 0;
        gp::GdiplusStartupInput input;  // version 1
        return gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok;
    }();
    return started;
}

}  // namespace

Result<std::unique_ptr<TextBackend>> make_gdiplus_text_backend(int width, int height, float scale) {
    if (!start_gdiplus()) return fail("GDI+ text engine unavailable");
    auto surface = PresentSurface::create(std::max(width, 1), std::max(height, 1));
    if (!surface) return fail("GDI+ text engine unavailable");
    auto backend = std::make_unique<GdiplusBackend>(std::move(*surface));
    if (Status st = backend->init(scale); !st) return std::move(st).take_error();
    return std::unique_ptr<TextBackend>(std::move(backend));
}

}  // namespace nimbalo::gui
