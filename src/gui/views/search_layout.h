// Where the Search page's parts sit at one DPI scale, in physical pixels of the window, and what
// a point hits. One table drives painting, hit testing and the keys' page size. Pure values.
//
// At 100 %: the query text at x 63 with 664 px of room, the separator at y 75, the column heads
// centred at y 91, the first row at y 103, 7 rows per page, the footer line at y 523.
#pragma once

#include <cstdint>

#include "gui/launcher/geometry.h"

namespace nimbalo::gui {

struct SearchLayout {
    float s = 1;            // DPI scale
    float m = 1;            // the panel's offset inside the window
    float P = 800, Q = 560; // panel size
    float header_centre = 0;                  // y_c
    float query_x = 0, query_width = 0;       // query text: left edge and visible width
    float button_x = 0, button_y = 0;         // centre of the round rebuild button
    float button_radius = 0, button_hit_radius = 0;
    float separator_y = 0;                    // header hairline (rounded)
    float list_top = 0, heads_centre = 0, first_row_top = 0;
    float row_pitch = 0, row_height = 0, row_x = 0, row_width = 0, row_radius = 0;
    float footer_y = 0, list_bottom = 0;
    uint32_t rows_per_page = 0;
    float size_right = 0, date_right = 0;     // right edges of the Size and Modified values
    float heads_x0 = 0, heads_x1 = 0;         // clickable band of the column heads
    float size_column_x = 0, date_column_x = 0;

    float row_top(uint32_t visible_index) const { return first_row_top + row_pitch * static_cast<float>(visible_index); }
};

SearchLayout search_layout(const WindowGeometry& geometry);

struct SearchHit {
    enum Kind : uint8_t { None, Button, Query, HeadName, HeadSize, HeadModified, Row } kind = None;
    uint32_t row = 0;  // for Row: the row index (scroll included)
};

// In this order: the rebuild button, the query box, the column heads (only with rows), a row.
SearchHit hit_test(const SearchLayout& l, float x, float y, uint32_t row_count, uint32_t scroll);

}  // namespace nimbalo::gui
