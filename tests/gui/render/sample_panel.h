// TESTS AND BENCHMARKS ONLY: a stand-in for the Search view (which arrives later) that draws a
// typical text-heavy frame through the drawing interface: a search box, column heads, 9 result
// rows (name, folder, size, date; one size empty), separators and a footer: 40 strings drawn.
#pragma once

#include <string>

#include "gui/canvas/shapes.h"
#include "gui/canvas/text_engine.h"
#include "gui/glass/glass.h"

namespace nimbalo::gui::testing {

inline int draw_sample_panel(Canvas& c, TextEngine& text, float s, float dy = 0) {
    const GlassGeometry g = glass_geometry(s);
    const float x0 = static_cast<float>(g.x0), y0 = static_cast<float>(g.y0) + dy, P = static_cast<float>(g.panel_w);
    int strings = 0;
    auto draw = [&](float x, float cy, float max, const std::string& t, int style, const Colour& col, TextAlign a) {
        text.draw_text(c, x, cy, max, t, style, col, a);
        ++strings;
    };
    // Search box with glyph, query and caret.
    fill_rounded_rect(c, x0 + 20 * s, y0 + 20 * s, P - 40 * s, 52 * s, 14 * s, white(0.06f));
    // The search glyph as shapes (the icon font is style 8; under Wine it may be missing).
    fill_ring(c, x0 + 46 * s, y0 + 44 * s, 7 * s, 2 * s, palette::text_secondary);
    fill_capsule(c, x0 + 51 * s, y0 + 49 * s, x0 + 57 * s, y0 + 55 * s, 2.2f * s, palette::text_secondary);
    draw(x0 + 72 * s, y0 + 46 * s, P - 140 * s, "quarterly report", 0, palette::text_primary, TextAlign::left);
    const float caret_x = x0 + 72 * s + text.measure_text("quarterly report", 0) + 2 * s;
    fill_rounded_rect(c, caret_x, y0 + 34 * s, 2 * s, 24 * s, 1 * s, palette::caret);
    // Column heads.
    const float heads = y0 + 96 * s;
    const float size_right = x0 + P - 190 * s, date_right = x0 + P - 32 * s;
    draw(x0 + 72 * s, heads, 200 * s, "Name", 2, palette::text_tertiary, TextAlign::left);
    draw(size_right, heads, 100 * s, "Size", 2, palette::text_tertiary, TextAlign::right);
    draw(date_right, heads, 140 * s, "Modified", 2, palette::text_tertiary, TextAlign::right);
    fill_hairline(c, x0 + 24 * s, heads + 12 * s, P - 48 * s, std::max(s, 1.0f));
    static const char* names[] = {"quarterly-report-2026-Q3.xlsx", "Quarterly Report (final, approved by the board).docx",
                                  "report-template.dotx", "quarterly.pdf", "Отчёт за квартал.docx",
                                  "reports", "quarterly report – Résumé été.pptx", "Q4 report draft.md", "漢字 report.txt"};
    static const char* folders[] = {"C:\\Users\\me\\Documents\\Finance\\2026", "C:\\Users\\me\\OneDrive\\Company Shared\\Board\\Minutes and reports\\2026\\Third quarter",
                                    "C:\\Program Files\\Microsoft Office\\Templates", "D:\\Archive", "C:\\Users\\me\\Desktop",
                                    "C:\\Users\\me\\Documents", "C:\\Users\\me\\Documents\\Presentations", "C:\\src\\notes", "C:\\Temp"};
    static const char* sizes[] = {"48 KB", "1,204 KB", "22 KB", "3,871 KB", "96 KB", "", "12,040 KB", "4 KB", "1 KB"};
    static const char* dates[] = {"2026-10-02 09:14", "2026-09-30 17:45", "2025-01-12 08:00", "2024-12-31 23:59", "2026-11-20 11:03",
                                  "2026-12-01 10:10", "2026-10-15 16:20", "2026-12-09 22:41", "2026-12-10 03:55"};
    float y = heads + 22 * s;
    for (int i = 0; i < 9; ++i) {
        const float row_h = 44 * s;
        if (i == 1) fill_rounded_rect(c, x0 + 14 * s, y, P - 28 * s, row_h, 10 * s, palette::selected_row);
        if (i == 3) fill_rounded_rect(c, x0 + 14 * s, y, P - 28 * s, row_h, 10 * s, white(0.06f));
        fill_rounded_rect(c, x0 + 30 * s, y + 11 * s, 24 * s, 24 * s, 5 * s, rgb(i == 5 ? 0xF2C14E : 0x4C8DF6, 0.9f));
        draw(x0 + 72 * s, y + 16 * s, size_right - 110 * s - (x0 + 72 * s), names[i], 1, palette::text_primary, TextAlign::left);
        draw(x0 + 72 * s, y + 33 * s, size_right - 110 * s - (x0 + 72 * s), folders[i], 3, palette::text_secondary, TextAlign::left);
        draw(size_right, y + 23 * s, 100 * s, sizes[i], 2, palette::text_secondary, TextAlign::right);
        if (sizes[i][0] == 0) --strings;  // empty text: nothing drawn, not counted
        draw(date_right, y + 23 * s, 140 * s, dates[i], 2, palette::text_secondary, TextAlign::right);
        y += row_h;
    }
    fill_hairline(c, x0 + 24 * s, y + 6 * s, P - 48 * s, std::max(s, 1.0f));
    draw(x0 + 24 * s, y + 26 * s, P - 48 * s, "1,284,311 entries indexed \xC2\xB7 9 results in 4 ms", 4, palette::text_tertiary, TextAlign::left);
    return strings;
}

}  // namespace nimbalo::gui::testing
