#include "gui/views/settings_paint.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "gui/canvas/shapes.h"
#include "update/version.h"

namespace nimbalo::gui {

namespace {

constexpr const char* kBackGlyph = "\xEE\x9C\xAB";  // U+E72B

void draw_switch_row(Canvas& c, TextEngine& t, const PageMetrics& pm, const Rect& r, bool hovered, bool on,
                     const std::string& title, const std::string& subtitle) {
    const float s = pm.s;
    fill_rounded_rect(c, r.x, r.y, r.w, r.h, 13 * s, white(hovered ? 0.1f : 0.045f));
    const float max_w = r.w - 90 * s;
    t.draw_text(c, r.x + 16 * s, r.y + 0.34f * r.h, max_w, title, 1, white(0.97f), TextAlign::left);
    t.draw_text(c, r.x + 16 * s, r.y + 0.72f * r.h, max_w, subtitle, 2, white(on ? 0.54f : 0.34f), TextAlign::left);
    const float pill_w = 42 * s, pill_h = 22 * s;
    const float px = r.x + r.w - 58 * s, py = r.y + (r.h - pill_h) / 2;
    fill_rounded_rect(c, px, py, pill_w, pill_h, 11 * s, on ? palette::accent : white(0.16f));
    const float knob_x = on ? px + pill_w - 11 * s : px + 11 * s;
    fill_circle(c, knob_x, py + pill_h / 2, 8 * s, white(0.97f));
}

void draw_button(Canvas& c, TextEngine& t, const PageMetrics& pm, const Rect& r, const std::string& label, Colour fill,
                 Colour outline, Colour label_colour) {
    const float radius = r.h / 2;
    fill_rounded_rect(c, r.x, r.y, r.w, r.h, radius, fill);
    stroke_rounded_rect(c, r.x + 0.5f, r.y + 0.5f, r.w - 1, r.h - 1, radius - 0.5f, pm.hairline, outline, outline);
    t.draw_text(c, r.x + r.w / 2, r.y + r.h / 2, r.w - 10 * pm.s, label, 4, label_colour, TextAlign::centre);
}

}  // namespace

void paint_settings(Canvas& c, TextEngine& t, const WindowGeometry& geometry, const SettingsPage& page, bool mcp_enabled,
                    bool autostart_enabled) {
    const PageMetrics pm = page_metrics(geometry);
    const SettingsLayout L = settings_layout(pm);
    const float s = pm.s, m = pm.m, P = pm.P;
    const auto hover = static_cast<SettingsHit>(page.hover);

    // Header: back arrow, title, separator.
    const bool back_hovered = hover == SettingsHit::Back;
    if (back_hovered) fill_rounded_rect(c, L.back.x, L.back.y, L.back.w, L.back.h, 9 * s, white(0.075f));
    t.draw_text(c, L.back.x + L.back.w / 2, pm.header_centre, L.back.w, kBackGlyph, 7, white(back_hovered ? 0.97f : 0.54f),
                TextAlign::centre);
    t.draw_text(c, L.back.right() + 10 * s, pm.header_centre, 0.6f * P, "Settings", 5, white(0.97f), TextAlign::left);
    fill_hairline(c, m + 14 * s, pm.header_line, P - 28 * s, pm.hairline);

    // The switches.
    draw_switch_row(c, t, pm, L.mcp_row, hover == SettingsHit::McpSwitch, mcp_enabled, "MCP server",
                    mcp_enabled ? "Model Context Protocol \xC2\xB7 5 tools for AI agents"
                                : "Disabled \xE2\x80\x94 new client connections are refused");
    draw_switch_row(c, t, pm, L.autostart_row, hover == SettingsHit::Autostart, autostart_enabled, "Start with Windows",
                    "Runs at login and waits in the tray (Alt+Space)");

    // Status card.
    const Rect& sc = L.status_card;
    fill_rounded_rect(c, sc.x, sc.y, sc.w, sc.h, 14 * s, white(0.038f));
    const float line_y[4] = {18, 37, 56, 75};
    const auto lines = status_lines(page, mcp_enabled);
    for (int i = 0; i < 4; ++i)
        t.draw_text(c, sc.x + 16 * s, sc.y + line_y[i] * s, sc.w - 32 * s, lines[i].text, 2, lines[i].colour, TextAlign::left);

    // Buttons.
    draw_button(c, t, pm, L.test_button, "Test MCP", rgb(0x0A84FF, hover == SettingsHit::TestMcp ? 0.95f : 0.78f), white(0.18f),
                white(0.98f));
    draw_button(c, t, pm, L.open_log_button, "Open log", white(hover == SettingsHit::OpenLog ? 0.16f : 0.07f), white(0.1f),
                white(0.8f));
    draw_button(c, t, pm, L.copy_button, "Copy config", white(hover == SettingsHit::CopyConfig ? 0.16f : 0.07f), white(0.1f),
                white(0.8f));

    // Client configuration.
    const Rect& cc = L.config_card;
    fill_rounded_rect(c, cc.x, cc.y, cc.w, cc.h, 12 * s, white(0.032f));
    const float cw = cc.w - 28 * s;
    t.draw_text(c, cc.x + 14 * s, cc.y + 16 * s, cw, "Client configuration (claude_desktop_config.json)", 4, white(0.42f),
                TextAlign::left);
    t.draw_text(c, cc.x + 14 * s, cc.y + 36 * s, cw, page.config_fragment, 10, white(0.6f), TextAlign::left);
    t.draw_text(c, cc.x + 14 * s, cc.y + 52 * s, cw,
                "\xE2\x80\x9C" "Copy config\xE2\x80\x9D puts exactly this fragment on the clipboard", 4, white(0.34f),
                TextAlign::left);

    // Recent activity: the newest lines first to go where the footer begins. The section's last
    // line would sit across the footer hairline and its texts, so a line is drawn only when it
    // ends above that line (four of the five at 100 %).
    const Rect& ac = L.activity;
    t.draw_text(c, ac.x + 2 * s, ac.y + 10 * s, ac.w - 2 * s, "Recent MCP activity", 4, white(0.42f), TextAlign::left);
    if (page.log_tail.empty()) {
        t.draw_text(c, ac.x + 2 * s, ac.y + 30 * s, ac.w - 2 * s,
                    "Nothing logged yet \xE2\x80\x94 start a client to see requests here", 10, white(0.34f), TextAlign::left);
    } else {
        const float half_line = 0.5f * t.line_height(10);
        for (size_t i = 0; i < page.log_tail.size(); ++i) {
            const float y = ac.y + (30 + 17 * static_cast<float>(i)) * s;
            if (y + half_line > pm.footer_y) break;
            t.draw_text(c, ac.x + 2 * s, y, ac.w - 2 * s, page.log_tail[i], 10, white(0.44f), TextAlign::left);
        }
    }

    // Footer.
    fill_hairline(c, m + 14 * s, pm.footer_y, P - 28 * s, pm.hairline);
    const float fy = pm.footer_y + 19 * s;
    t.draw_text(c, m + 26 * s, fy, 0.6f * P, "MCP server control \xE2\x80\x94 stored in %LOCALAPPDATA%\\Nimbalo", 4,
                white(0.34f), TextAlign::left);
    t.draw_text(c, m + P - 26 * s, fy, 0.4f * P,
                "v" + std::string(update::kRunningVersion) + "  \xC2\xB7  Esc to go back", 4, white(0.28f), TextAlign::right);
}

}  // namespace nimbalo::gui
