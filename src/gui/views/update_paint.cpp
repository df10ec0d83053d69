#include "gui/views/update_paint.h"

#include <cmath>
#include <string>

#include "gui/canvas/shapes.h"
#include "gui/views/page_metrics.h"
#include "update/version.h"

namespace nimbalo::gui {

namespace {
constexpr const char* kFailedGlyph = "\xEE\x9E\xBA";  // U+E7BA
constexpr const char* kUpdateGlyph = "\xEE\x9C\xAC";  // U+E72C
}  // namespace

float update_bar_width(float s, float P) {
    const float wide = 0.46f * P;
    return std::isnan(wide) ? 240 * s : std::fmax(240 * s, wide);
}

void paint_update(Canvas& c, TextEngine& t, const WindowGeometry& geometry, const UpdatePage& page) {
    const PageMetrics pm = page_metrics(geometry);
    const float s = pm.s, m = pm.m, P = pm.P;
    const float cx = m + P / 2, mid = (pm.list_top + pm.list_bottom) / 2;
    const bool failed = page.stage == kStageFailed, installed = page.stage == kStageInstalled;

    t.draw_text(c, m + 26 * s, pm.header_centre, 0.7f * P, "Updating Nimbalo", 5, white(0.97f), TextAlign::left);
    fill_hairline(c, m + 14 * s, pm.header_line, P - 28 * s, pm.hairline);

    const Colour glyph_colour = failed ? palette::error : installed ? rgb(0x0A84FF, 1.0f) : white(0.55f);
    t.draw_text(c, cx, mid - 74 * s, 80 * s, failed ? kFailedGlyph : kUpdateGlyph, 9, glyph_colour, TextAlign::centre);

    const std::string heading = failed ? "Update failed" : installed ? "Updated \xE2\x80\x94 restarting" : "Version " + page.version;
    t.draw_text(c, cx, mid - 18 * s, P - 120 * s, heading, 5, white(failed ? 0.86f : 0.97f), TextAlign::centre);
    const std::string sub = failed ? page.error.value_or("the download could not be installed")
                                   : std::string(update::kRunningVersion) + " \xE2\x86\x92 " + page.version;
    t.draw_text(c, cx, mid + 8 * s, P - 120 * s, sub, 6, white(0.42f), TextAlign::centre);

    if (!failed) {
        const float b = update_bar_width(s, P), left = cx - b / 2, top = mid + 40 * s;
        fill_rounded_rect(c, left, top, b, 5 * s, 2.5f * s, white(0.1f));
        fill_rounded_rect(c, left, top, update_fill_width(page.stage, page.progress, b, s), 5 * s, 2.5f * s, palette::accent);
        t.draw_text(c, cx, mid + 64 * s, b, page.text, 2, white(0.5f), TextAlign::centre);
        t.draw_text(c, cx, mid + 88 * s, b, update_amount_text(page.stage, page.progress), 4, white(0.32f), TextAlign::centre);
    }

    fill_hairline(c, m + 14 * s, pm.footer_y, P - 28 * s, pm.hairline);
    const float fy = pm.footer_y + 19 * s;
    t.draw_text(c, m + 26 * s, fy, 0.62f * P,
                failed ? "the current version keeps working; a new check runs later"
                       : "the search service is restarted right after the swap",
                4, white(0.34f), TextAlign::left);
    t.draw_text(c, m + P - 26 * s, fy, 0.3f * P, failed ? "Esc to close" : "Esc to hide", 4, white(0.28f), TextAlign::right);
}

}  // namespace nimbalo::gui
