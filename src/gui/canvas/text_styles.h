// The launcher's 11 text styles: family, fallback family and size in logical pixels.
// Fonts are created with style regular, unit pixel and size * scale. Plain data.
#pragma once

#include <array>

namespace nimbalo::gui {

struct TextStyleSpec {
    const char16_t* family;
    const char16_t* fallback;  // nullptr: none; the slot stays empty when the family is missing
    float size;
};

inline constexpr int kTextStyleCount = 11;

inline constexpr std::array<TextStyleSpec, kTextStyleCount> kTextStyles = {{
    {u"Segoe UI", nullptr, 21.0f},                            // 0 search query and placeholder
    {u"Segoe UI", nullptr, 15.0f},                            // 1 card titles, result names
    {u"Segoe UI", nullptr, 12.0f},                            // 2 secondary lines, column heads, buttons
    {u"Segoe UI", nullptr, 12.0f},                            // 3 result folder line
    {u"Segoe UI", nullptr, 11.5f},                            // 4 footer and hint lines
    {u"Segoe UI Semibold", nullptr, 17.0f},                   // 5 page titles
    {u"Segoe UI", nullptr, 12.5f},                            // 6 status lines of the update page
    {u"Segoe Fluent Icons", u"Segoe MDL2 Assets", 15.0f},    // 7 small glyphs (refresh, back)
    {u"Segoe Fluent Icons", u"Segoe MDL2 Assets", 19.0f},    // 8 search glyph
    {u"Segoe Fluent Icons", u"Segoe MDL2 Assets", 40.0f},    // 9 large glyph of the update page
    {u"Cascadia Mono", u"Consolas", 11.0f},                   // 10 monospaced log and configuration text
}};

}  // namespace nimbalo::gui
