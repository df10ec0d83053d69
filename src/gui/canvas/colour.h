// Colour: straight (not premultiplied) red, green, blue, alpha as floats 0..1, and the
// launcher's shared palette. Plain values; no state, safe from any thread.
#pragma once

#include <cstdint>

namespace nimbalo::gui {

struct Colour {
    float r = 0, g = 0, b = 0, a = 0;
};

// A hex RGB value (channel = byte / 255) with an alpha, as the Parts write colours.
constexpr Colour rgb(std::uint32_t hex, float alpha) {
    return Colour{static_cast<float>((hex >> 16) & 0xFF) / 255.0f, static_cast<float>((hex >> 8) & 0xFF) / 255.0f,
                  static_cast<float>(hex & 0xFF) / 255.0f, alpha};
}
constexpr Colour white(float alpha) { return Colour{1, 1, 1, alpha}; }
constexpr Colour black(float alpha) { return Colour{0, 0, 0, alpha}; }

// The shared palette.
namespace palette {
inline constexpr Colour text_primary = white(0.97f);
inline constexpr Colour text_strong = white(0.8f);
inline constexpr Colour text_secondary = white(0.54f);
inline constexpr Colour text_tertiary = white(0.34f);
inline constexpr Colour placeholder = white(0.29f);
inline constexpr Colour separator = white(0.075f);
inline constexpr Colour accent = rgb(0x0A84FF, 0.95f);
inline constexpr Colour accent_selection = rgb(0x0A84FF, 0.3f);
inline constexpr Colour caret = rgb(0x5EA8FF, 1.0f);
inline constexpr Colour selected_row = rgb(0x0070F0, 0.62f);
inline constexpr Colour error = rgb(0xFF8A80, 1.0f);
}  // namespace palette

}  // namespace nimbalo::gui
