// The Search page's layout at 100 % and 150 %, and what its painting puts where: the selected
// row's fill, the scrollbar, the progress bar, the caret and the icons with their opacity.
#include <gtest/gtest.h>

#include <memory>

#include "gui/canvas/shapes.h"
#include "gui/fake_text_backend.h"
#include "gui/views/search_paint.h"

using namespace nimbalo::gui;

TEST(SearchLayout, NumbersAt100And150) {
    const SearchLayout l = search_layout(window_geometry(1.0f));
    EXPECT_FLOAT_EQ(l.query_x, 63);
    EXPECT_FLOAT_EQ(l.query_width, 664);
    EXPECT_FLOAT_EQ(l.separator_y, 75);
    EXPECT_FLOAT_EQ(l.heads_centre, 91);
    EXPECT_FLOAT_EQ(l.first_row_top, 103);
    EXPECT_EQ(l.rows_per_page, 7u);
    EXPECT_FLOAT_EQ(l.footer_y, 523);
    EXPECT_FLOAT_EQ(l.button_x, 758);
    EXPECT_FLOAT_EQ(l.header_centre, 38);
    const SearchLayout h = search_layout(window_geometry(1.5f));
    EXPECT_FLOAT_EQ(h.query_x, 95);
    EXPECT_FLOAT_EQ(h.query_width, 996);
    EXPECT_FLOAT_EQ(h.separator_y, 113);
    EXPECT_FLOAT_EQ(h.first_row_top, 155);
    EXPECT_FLOAT_EQ(h.footer_y, 785);
    EXPECT_EQ(h.rows_per_page, 7u);
}

namespace {

struct Frame {
    WindowGeometry g;
    SearchLayout l;
    Canvas c;
    TextEngine text;
    explicit Frame(float s)
        : g(window_geometry(s)), l(search_layout(g)), c(g.width, g.height),
          text(std::make_unique<nimbalo::gui::testing::FakeTextBackend>(g.width, g.height, s)) {}
};

SearchPage page_with_rows(int n) {
    SearchPage p;
    p.query = "report";
    p.caret = 6;
    for (int i = 0; i < n; ++i) {
        ResultRow r = make_row("C:\\Users\\me\\Documents\\report-" + std::to_string(i) + ".pdf", nullptr);
        r.missing = i == 1;
        p.rows.push_back(r);
    }
    return p;
}

}  // namespace

TEST(SearchPaint, RowsSelectionScrollbarAndIcons) {
    Frame f(1.0f);
    SearchPage p = page_with_rows(8);
    p.selection = 0;
    Icon red;
    red.pixels.assign(1024, 0xFFFF0000u);
    paint_search(f.c, f.text, f.l, p, {true, true, 0}, [&](const ResultRow&) { return &red; });
    // The selected row's fill (away from text and icon): blue-ish.
    const uint32_t sel = f.c.at(400, 103 + 45);
    EXPECT_GT(pixel_blue(sel), pixel_red(sel));
    EXPECT_GT(pixel_alpha(sel), 100u);
    // The icon: 20 x 20 at x 24, centred in the row box (row 0: 103..153 -> 118..138), opaque red.
    EXPECT_EQ(f.c.at(30, 125), 0xFFFF0000u);
    // Row 1 is missing: its icon at opacity 0.42 (alpha 107 over nothing on a clear canvas).
    EXPECT_EQ(pixel_alpha(f.c.at(30, 157 + 22)), 107u);
    // Only 7 of 8 rows are painted: the eighth slot (y 481..531) stays clear at the icon spot.
    EXPECT_EQ(f.c.at(30, 495), 0u);
    // The scrollbar track at x = 1 + 800 - 6 = 795 and its thumb at the top.
    EXPECT_GT(pixel_alpha(f.c.at(796, 90)), pixel_alpha(f.c.at(796, 500)));
    EXPECT_GT(pixel_alpha(f.c.at(796, 500)), 0u);
    // The caret after "report": x = 63 + 6 * 11.55 - 1 - 0.75.
    EXPECT_EQ(f.c.at(131, 38), 0xFF5EA8FFu);
}

TEST(SearchPaint, ProgressBarAndMessages) {
    Frame f(1.0f);
    SearchPage p;
    p.reindex_state = ReindexState::Progress;
    p.reindex_progress = 0.42f;
    paint_search(f.c, f.text, f.l, p, {false, false, 0}, nullptr);
    // 42 % of 798 px from x 2: filled at x 300, not at x 400.
    EXPECT_GT(pixel_alpha(f.c.at(300, 2)), 0u);
    EXPECT_EQ(pixel_alpha(f.c.at(400, 2)), 0u);
    // Not focused: no caret.
    EXPECT_EQ(f.c.at(63, 38) & 0xFFFFFFu, 0u);

    // Without progress: a 180 px segment sweeping with the clock.
    Frame g(1.0f);
    p.reindex_state = ReindexState::Sweeping;
    paint_search(g.c, g.text, g.l, p, {true, true, 800}, nullptr);
    // Half-way through the 1.6 s sweep: from x 2 + (798 - 180) / 2 = 311 to 491.
    EXPECT_EQ(pixel_alpha(g.c.at(300, 2)), 0u);
    EXPECT_GT(pixel_alpha(g.c.at(400, 2)), 0u);
    EXPECT_EQ(pixel_alpha(g.c.at(500, 2)), 0u);
}
