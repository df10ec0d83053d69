// Paints the Search page over the panel's glass: the query box with its caret, selection and
// horizontal scroll, the round rebuild button, the progress bar, the column heads, the visible
// rows with icons and the scrollbar, or the full-panel message, and the footer. Everything is
// drawn with the shapes of shapes.h and the TextEngine; icons come from an injected lookup.
// Pure drawing: same page, same clock, same pixels.
#pragma once

#include <cstdint>
#include <functional>

#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"
#include "gui/views/icon_cache.h"
#include "gui/views/search_layout.h"
#include "gui/views/search_page.h"

namespace nimbalo::gui {

struct SearchPaintContext {
    bool focused = true;
    bool caret_on = true;
    uint64_t now = 0;  // ms; drives the sweeping bar of a rebuild without progress
};

// The row's 32 x 32 icon, or null (the fallback glyph is drawn).
using IconLookup = std::function<const Icon*(const ResultRow& row)>;

void paint_search(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page,
                  const SearchPaintContext& ctx, const IconLookup& icon_of);

// Draws a 32 x 32 premultiplied icon scaled to size x size (nearest neighbour) at (x, y) with an
// opacity, limited to the clip.
void draw_icon(Canvas& c, const Icon& icon, int x, int y, int size, float opacity);

}  // namespace nimbalo::gui
