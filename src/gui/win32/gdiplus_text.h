// The GDI+ glyph rasteriser under TextEngine, Windows only; no Windows type crosses
// this header. Fonts: the 11 styles of text_styles.h at size x scale pixels, regular, unit pixel;
// a missing family falls back as the table says, else its slot stays empty. Text is drawn in
// opaque white into a private top-down DIB of the window's size, with rendering hint 3 (anti-alias,
// grid fit, grey-scale) and the string format flags 0x5000 (no wrap, no clip).
// Owns every GDI+ object it makes and deletes them on destruction; GdiplusShutdown is never
// called. Not thread-safe: one per drawing thread.
#pragma once

#include <memory>
#include <string>

#include "common/result.h"
#include "gui/canvas/text_engine.h"

namespace nimbalo::gui {

// Fails with "GDI+ text engine unavailable" when GdiplusStartup, the surface, the graphics object
// or the string format cannot be made.
Result<std::unique_ptr<TextBackend>> make_gdiplus_text_backend(int width, int height, float scale);

}  // namespace nimbalo::gui
