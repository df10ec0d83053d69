// The Search page's mouse: hover and cursor, left clicks (button, rows, column heads, the caret),
// right clicks on rows and the wheel. Part of SearchPage (search_page.h).
#include <algorithm>
#include <cmath>

#include "common/unicode.h"
#include "gui/views/search_page.h"

namespace nimbalo::gui {

bool SearchPage::mouse_move(const SearchLayout& l, float x, float y, int& cursor) {
    const SearchHit hit = hit_test(l, x, y, static_cast<uint32_t>(rows.size()), scroll);
    const bool on_button = hit.kind == SearchHit::Button;
    const bool on_row = hit.kind == SearchHit::Row;
    cursor = hit.kind == SearchHit::Query ? 2 : (on_button || on_row ? 1 : 0);
    const bool changed = on_button != refresh_hover || on_row != hover_row_active || (on_row && hit.row != hover_row);
    refresh_hover = on_button;
    hover_row_active = on_row;
    if (on_row) hover_row = hit.row;
    return changed;
}

void SearchPage::clear_hover() {
    hover_row_active = refresh_hover = false;
}

float SearchPage::query_offset(const SearchLayout& l, TextEngine& text) const {
    const std::string before = query.substr(0, [&] {
        size_t pos = 0;
        for (uint32_t i = 0; i < caret && pos < query.size(); ++i) pos += utf8_decode_step(query, pos).len;
        return pos;
    }());
    const float caret_x = text.measure_text(before, 0);
    return std::max(0.0f, 7 * l.s + caret_x - l.query_width);
}

SearchCommand SearchPage::click(const SearchLayout& l, TextEngine& text, float x, float y, bool double_click) {
    const SearchHit hit = hit_test(l, x, y, static_cast<uint32_t>(rows.size()), scroll);
    switch (hit.kind) {
        case SearchHit::Button:
            return SearchCommand::Rebuild;
        case SearchHit::Row:
            selection = hit.row;
            return double_click ? SearchCommand::Open : SearchCommand::None;
        case SearchHit::HeadName:
            sort_by(SortColumn::Name, sort_column == SortColumn::Name ? !sort_descending : false);
            selection = scroll = 0;
            return SearchCommand::None;
        case SearchHit::HeadSize:
        case SearchHit::HeadModified: {
            const SortColumn column = hit.kind == SearchHit::HeadSize ? SortColumn::Size : SortColumn::Modified;
            sort_by(column, sort_column == column ? !sort_descending : true);
            selection = scroll = 0;
            return SearchCommand::None;
        }
        case SearchHit::Query:
        case SearchHit::None:
            break;
    }
    const uint32_t count = char_count();
    if (double_click) {
        if (count > 0) {
            select_all = true;
            caret = count;
        }
        return SearchCommand::None;
    }
    // The caret goes to the character boundary nearest the point (the first one on ties); the
    // text's own horizontal scroll counts, so a click lands where the text is drawn.
    const float target = x - (l.query_x - query_offset(l, text));
    uint32_t best = 0;
    float best_distance = std::fabs(target);
    size_t pos = 0;
    for (uint32_t i = 1; i <= count; ++i) {
        pos += utf8_decode_step(query, pos).len;
        const float w = text.measure_text(std::string_view(query).substr(0, pos), 0);
        if (std::fabs(w - target) < best_distance) {
            best_distance = std::fabs(w - target);
            best = i;
        }
        if (w >= target) break;  // widths only grow from here
    }
    caret = best;
    select_all = false;
    return SearchCommand::None;
}

std::optional<uint32_t> SearchPage::right_click(const SearchLayout& l, float x, float y) {
    const SearchHit hit = hit_test(l, x, y, static_cast<uint32_t>(rows.size()), scroll);
    if (hit.kind != SearchHit::Row) return std::nullopt;
    selection = hit.row;
    return hit.row;
}

}  // namespace nimbalo::gui
