// Settings page states for the render harness: MCP on and off, a self-test running, passed and
// failed, a five-line log tail and a live session's status.
#include <string>

#include "gui/render/render_support.h"
#include "gui/views/settings_paint.h"

namespace nimbalo::gui::render {

namespace {

SettingsPage sample_page() {
    SettingsPage page;
    page.log_path = "C:\\Users\\demo\\AppData\\Local\\Nimbalo\\mcp.log";
    page.config_fragment =
        "\"nimbalo\": { \"command\": \"C:\\\\Program Files\\\\Nimbalo\\\\nimbalo.exe\", \"args\": [\"mcp\"] }";
    return page;
}

void draw(const Scene& sc, const std::string& name, const SettingsPage& page, bool mcp, bool autostart) {
    Canvas frame = sc.glass;
    const WindowGeometry g = window_geometry(sc.s);
    paint_settings(frame, sc.text, g, page, mcp, autostart);
    write_png(name + sc.sfx, over(frame, sc.desk));
}

}  // namespace

void render_settings(const Scene& sc) {
    SettingsPage page = sample_page();
    draw(sc, "settings-empty", page, true, true);

    // A live session: 37 requests, last activity 12 s ago, the tail of the log.
    StatusSnapshot snap;
    snap.pid = 4242;
    snap.requests = 37;
    snap.last_ms = 1000000;
    snap.last_method = "tools/call";
    snap.last_tool = "search";
    snap.session_started = "2026-12-10 09:14:03";
    page.reload(snap,
                "2026-12-10 09:14:03  mcp: session started (pid 4242)\n"
                "2026-12-10 09:14:03  mcp: initialize from claude-ai 0.1.0\n"
                "2026-12-10 09:14:04  mcp: tools/list\n"
                "2026-12-10 09:15:40  mcp: search \"report ext:pdf\" -> 23 results in 4 ms\n"
                "2026-12-10 09:15:51  mcp: get_file_info C:\\Users\\demo\\Documents\\report-2026.pdf\n"
                "2026-12-10 09:16:02  mcp: search \"*.xlsx size:>1mb\" -> 100 results in 11 ms\n",
                1012000);
    page.hover = static_cast<uint8_t>(SettingsHit::TestMcp);
    draw(sc, "settings-active", page, true, true);

    page.hover = static_cast<uint8_t>(SettingsHit::McpSwitch);
    page.selftest_running = true;
    draw(sc, "settings-testing", page, true, false);

    page.hover = static_cast<uint8_t>(SettingsHit::CopyConfig);
    page.selftest_finished(true, "handshake ok: nimbalo-mcp 0.5.5, 5 tools, protocol 2024-11-05");
    draw(sc, "settings-test-ok", page, true, false);

    page.hover = static_cast<uint8_t>(SettingsHit::Back);
    page.selftest_finished(false, "MCP is disabled \xE2\x80\x94 switch it on first");
    draw(sc, "settings-mcp-off", page, false, false);

    page.hover = 0;
    page.result.reset();
    page.status->last_error = "cannot reach the search service: connection refused";
    draw(sc, "settings-last-error", page, true, true);
}

}  // namespace nimbalo::gui::render
