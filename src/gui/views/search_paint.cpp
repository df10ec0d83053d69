#include "gui/views/search_paint.h"

#include <algorithm>
#include <cmath>

#include "common/unicode.h"
#include "gui/canvas/shapes.h"
#include "gui/launcher/geometry.h"
#include "gui/views/search_texts.h"

namespace nimbalo::gui {

namespace {

void paint_query(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page, const SearchPaintContext& ctx) {
    const float s = l.s, yc = l.header_centre;
    const bool empty = page.query.empty();
    const Colour glyph_colour = !ctx.focused ? white(0.34f) : (empty ? white(0.55f) : white(0.54f));
    text.draw_text(c, l.m + 37 * s, yc, 30 * s, glyph::Search, 8, glyph_colour, TextAlign::centre);

    const float u = page.query_offset(l, text);
    size_t caret_bytes = 0;
    {
        size_t pos = 0;
        for (uint32_t i = 0; i < page.caret && pos < page.query.size(); ++i) pos += utf8_decode_step(page.query, pos).len;
        caret_bytes = pos;
    }
    const float caret_x = text.measure_text(std::string_view(page.query).substr(0, caret_bytes), 0);
    c.set_clip(round_half_away(l.m + 60 * s), round_half_away(l.m), round_half_away(l.query_x + l.query_width + 2 * s),
               round_half_away(l.m + 74 * s));
    if (empty) {
        text.draw_text(c, l.query_x, yc, l.query_width, kQueryPlaceholder, 0, palette::placeholder, TextAlign::left);
    } else {
        if (page.select_all) {
            const float w = std::min(l.query_width + u + 3 * s, text.measure_text(page.query, 0) + 6 * s);
            fill_rounded_rect(c, l.query_x - u - 3 * s, yc - 15 * s, w, 30 * s, 7 * s, palette::accent_selection);
        }
        // The whole text is laid out from its shifted origin; the clip shows the visible part.
        text.draw_text(c, l.query_x - u, yc, 1e7f, page.query, 0, palette::text_primary, TextAlign::left);
    }
    if (ctx.focused && ctx.caret_on)
        fill_rounded_rect(c, l.query_x + caret_x - u - 0.75f * s, yc - 12 * s, std::max(1.5f * s, 1.0f), 24 * s, s,
                          palette::caret);
    c.reset_clip();
}

void paint_button_and_bar(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page,
                          const SearchPaintContext& ctx) {
    const float s = l.s, r = l.button_radius;
    fill_circle(c, l.button_x, l.button_y, r, white(page.refresh_hover ? 0.16f : 0.075f));
    stroke_rounded_rect(c, l.button_x - r, l.button_y - r, 2 * r, 2 * r, r, std::max(s, 1.0f), white(0.1f), white(0.1f));
    const Colour g = page.rebuilding() ? palette::accent : white(page.refresh_hover ? 0.97f : 0.54f);
    text.draw_text(c, l.button_x, l.button_y, 2 * r, glyph::Refresh, 7, g, TextAlign::centre);

    fill_hairline(c, l.m + 14 * s, l.separator_y, l.P - 28 * s, std::max(s, 1.0f));

    const float bar_y = l.m + s, bar_h = 2.5f * s, bar_r = 1.25f * s;
    if (page.reindex_state == ReindexState::Progress) {
        const float w = std::max(8 * s, page.reindex_progress * (l.P - 2 * s));
        fill_rounded_rect(c, l.m + s, bar_y, w, bar_h, bar_r, palette::accent);
    } else if (page.reindex_state == ReindexState::Sweeping) {
        const float phase = static_cast<float>(ctx.now % 1600) / 1600.0f;
        fill_rounded_rect(c, l.m + s + (l.P - 2 * s - 180 * s) * phase, bar_y, 180 * s, bar_h, bar_r, palette::accent);
    }
}

void paint_rows(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page, const IconLookup& icon_of) {
    const float s = l.s, m = l.m, P = l.P;
    const SortColumn cols[] = {SortColumn::Name, SortColumn::Size, SortColumn::Modified};
    for (SortColumn col : cols) {
        const Colour colour = white(page.sort_column == col ? 0.62f : 0.34f);
        const std::string head = column_head(page, col);
        if (col == SortColumn::Name)
            text.draw_text(c, m + 52 * s, l.heads_centre, P - 214 * s, head, 4, colour, TextAlign::left);
        else if (col == SortColumn::Size)
            text.draw_text(c, l.size_right, l.heads_centre, 90 * s, head, 4, colour, TextAlign::right);
        else
            text.draw_text(c, l.date_right, l.heads_centre, 110 * s, head, 4, colour, TextAlign::right);
    }

    const uint32_t count = static_cast<uint32_t>(page.rows.size());
    const uint32_t page_rows = l.rows_per_page;
    const float name_width = std::max(40 * s, P - 291 * s);
    for (uint32_t v = 0; v < page_rows && page.scroll + v < count; ++v) {
        const uint32_t k = page.scroll + v;
        const ResultRow& row = page.rows[k];
        const float y = l.row_top(v), h = l.row_height, centre = y + h / 2;
        const bool selected = k == page.selection;
        if (selected) {
            fill_rounded_rect(c, l.row_x, y, l.row_width, h, l.row_radius, palette::selected_row);
            fill_rounded_rect(c, l.row_x, y, l.row_width, h * 0.55f, l.row_radius, white(0.03f));
            stroke_rounded_rect(c, l.row_x + 0.5f, y + 0.5f, l.row_width - 1, h - 1, l.row_radius - 0.5f, std::max(s, 1.0f),
                                white(0.1f), white(0.1f));
        } else if (page.hover_row_active && page.hover_row == k) {
            fill_rounded_rect(c, l.row_x, y, l.row_width, h, l.row_radius, white(0.075f));
        }
        const Icon* icon = icon_of ? icon_of(row) : nullptr;
        if (icon) {
            const int size = round_half_away(20 * s);
            draw_icon(c, *icon, round_half_away(m + 23 * s), round_half_away(centre - static_cast<float>(size) / 2.0f), size,
                      row.missing ? 0.42f : 1.0f);
        } else {
            text.draw_text(c, m + 33 * s, centre, 30 * s, row.is_folder ? glyph::Folder : glyph::File, 8,
                           white(selected ? 0.95f : 0.54f), TextAlign::centre);
        }
        const Colour name_colour = white(selected ? 1.0f : (row.missing ? 0.45f : 0.97f));
        text.draw_text(c, m + 53 * s, y + 0.36f * h, name_width, row.name, 1, name_colour, TextAlign::left);
        text.draw_text(c, m + 53 * s, y + 0.705f * h, name_width, row.folder, 2, white(selected ? 0.72f : 0.38f),
                       TextAlign::left);
        text.draw_text(c, l.size_right, centre, 96 * s, row.size_text, 3,
                       white(selected ? 0.82f : (row.missing ? 0.3f : 0.34f)), TextAlign::right);
        text.draw_text(c, l.date_right, centre, 110 * s, row.date_text, 3, white(selected ? 0.74f : 0.34f), TextAlign::right);
    }

    if (count > page_rows && page_rows > 0) {
        const float track_x = m + P - 6 * s, track_y = l.list_top + 4 * s, track = l.list_bottom - l.list_top - 8 * s;
        fill_rounded_rect(c, track_x, track_y, 3 * s, track, 1.5f * s, white(0.05f));
        const float thumb = std::max(28 * s, track * static_cast<float>(page_rows) / static_cast<float>(count));
        const float at = track_y + (track - thumb) * static_cast<float>(page.scroll) / static_cast<float>(count - page_rows);
        fill_rounded_rect(c, track_x, at, 3 * s, thumb, 1.5f * s, white(0.2f));
    }
}

void paint_message(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page) {
    const SearchMessage msg = search_message(page);
    const float s = l.s, cx = l.m + l.P / 2, mid = (l.list_top + l.list_bottom) / 2;
    text.draw_text(c, cx, mid - 44 * s, l.P - 80 * s, msg.glyph, 9, white(0.17f), TextAlign::centre);
    text.draw_text(c, cx, mid + 6 * s, l.P - 80 * s, msg.title, 5, white(0.62f), TextAlign::centre);
    text.draw_text(c, cx, mid + 30 * s, l.P - 80 * s, msg.subtitle, 6, white(0.32f), TextAlign::centre);
}

void paint_footer(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page) {
    const float s = l.s, y = l.footer_y + 19 * s;
    fill_hairline(c, l.m + 14 * s, l.footer_y, l.P - 28 * s, std::max(s, 1.0f));
    text.draw_text(c, l.m + 26 * s, y, 0.6f * l.P, footer_status(page), 4, white(0.36f), TextAlign::left);
    text.draw_text(c, l.m + l.P - 26 * s, y, 0.55f * l.P, kFooterHint, 4, white(0.28f), TextAlign::right);
}

}  // namespace

void draw_icon(Canvas& c, const Icon& icon, int x, int y, int size, float opacity) {
    if (size <= 0 || icon.pixels.size() < static_cast<size_t>(kIconSize * kIconSize)) return;
    const auto op = static_cast<uint32_t>(std::clamp(opacity, 0.0f, 1.0f) * 255.0f + 0.5f);
    const int x0 = std::max(x, c.clip_x0), x1 = std::min(x + size, c.clip_x1);
    const int y0 = std::max(y, c.clip_y0), y1 = std::min(y + size, c.clip_y1);
    for (int py = y0; py < y1; ++py) {
        const int sy = (py - y) * kIconSize / size;
        for (int px = x0; px < x1; ++px) {
            const int sx = (px - x) * kIconSize / size;
            const uint32_t p = icon.pixels[static_cast<size_t>(sy) * kIconSize + sx];
            auto k = [op](uint32_t v) { return (v * op + 127) / 255; };
            const uint32_t a = k(pixel_alpha(p));
            if (a == 0) continue;
            blend_premultiplied(c.at(px, py), a, k(pixel_red(p)), k(pixel_green(p)), k(pixel_blue(p)));
        }
    }
}

void paint_search(Canvas& c, TextEngine& text, const SearchLayout& l, const SearchPage& page, const SearchPaintContext& ctx,
                  const IconLookup& icon_of) {
    paint_query(c, text, l, page, ctx);
    paint_button_and_bar(c, text, l, page, ctx);
    if (!page.rows.empty())
        paint_rows(c, text, l, page, icon_of);
    else
        paint_message(c, text, l, page);
    paint_footer(c, text, l, page);
}

}  // namespace nimbalo::gui
