#include "gui/views/search_layout.h"

#include <algorithm>
#include <cmath>

namespace nimbalo::gui {

SearchLayout search_layout(const WindowGeometry& g) {
    SearchLayout l;
    const float s = g.scale;
    l.s = s;
    l.m = static_cast<float>(g.margin);
    l.P = static_cast<float>(g.panel_width);
    l.Q = static_cast<float>(g.panel_height);
    const float m = l.m, P = l.P;
    l.header_centre = m + 37 * s;
    l.query_x = m + 62 * s;
    l.query_width = P - 136 * s;
    l.button_x = m + P - 43 * s;
    l.button_y = l.header_centre;
    l.button_radius = 17 * s;
    l.button_hit_radius = 17 * s + 4 * s;
    l.separator_y = static_cast<float>(round_half_away(m + 74 * s));
    l.list_top = l.separator_y + 4 * s;
    l.heads_centre = l.list_top + 12 * s;
    l.first_row_top = l.list_top + 24 * s;
    l.row_pitch = 54 * s;
    l.row_height = 50 * s;
    l.row_x = m + 10 * s;
    l.row_width = P - 20 * s;
    l.row_radius = 12 * s;
    l.footer_y = static_cast<float>(round_half_away(m + l.Q - 38 * s));
    l.list_bottom = l.footer_y - 6 * s;
    const float rows = std::floor((l.list_bottom - l.first_row_top) / l.row_pitch);
    l.rows_per_page = rows > 0 ? static_cast<uint32_t>(rows) : 0;
    l.size_right = m + P - 150 * s;
    l.date_right = m + P - 30 * s;
    l.heads_x0 = m + 44 * s;
    l.heads_x1 = m + P - 26 * s;
    l.size_column_x = m + P - 238 * s;
    l.date_column_x = m + P - 134 * s;
    return l;
}

SearchHit hit_test(const SearchLayout& l, float x, float y, uint32_t row_count, uint32_t scroll) {
    SearchHit hit;
    if (std::hypot(x - l.button_x, y - l.button_y) <= l.button_hit_radius) {
        hit.kind = SearchHit::Button;
        return hit;
    }
    if (x >= l.query_x && x < l.query_x + l.query_width && y >= l.m && y < l.m + 74 * l.s) {
        hit.kind = SearchHit::Query;
        return hit;
    }
    if (row_count > 0 && y >= l.list_top && y < l.first_row_top && x >= l.heads_x0 && x < l.heads_x1) {
        hit.kind = x < l.size_column_x ? SearchHit::HeadName : (x < l.date_column_x ? SearchHit::HeadSize : SearchHit::HeadModified);
        return hit;
    }
    if (y >= l.first_row_top && y < l.list_bottom) {
        const auto visible = static_cast<uint32_t>(std::floor((y - l.first_row_top) / l.row_pitch));
        const uint64_t k = uint64_t{visible} + scroll;
        const float top = l.row_top(visible);
        if (k < row_count && x >= l.row_x && x < l.row_x + l.row_width && y >= top && y < top + l.row_height) {
            hit.kind = SearchHit::Row;
            hit.row = static_cast<uint32_t>(k);
        }
    }
    return hit;
}

}  // namespace nimbalo::gui
