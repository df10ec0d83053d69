// Draws the Update page over the panel's glass: title, the large glyph, the heading and sub-line,
// the progress bar with its status line and amount, or the failure texts, and the footer.
// Pure drawing through the canvas shapes and the text engine.
#pragma once

#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"
#include "gui/launcher/geometry.h"
#include "gui/views/update_page.h"

namespace nimbalo::gui {

// The progress bar track's width b = max(240 s, 0.46 P) (240 s when 0.46 P is not a number).
float update_bar_width(float s, float P);

void paint_update(Canvas& canvas, TextEngine& text, const WindowGeometry& geometry, const UpdatePage& page);

}  // namespace nimbalo::gui
