// The Settings page on Windows: reads the MCP files, flips the switches, sends the self-test,
// opens the log and copies the client configuration. The decisions and the drawing are the
// page's own (gui/views/settings_page.h, settings_paint.h).
#include <windows.h>

#include <string>

#include "gui/launcher/win32/launcher_app.h"
#include "gui/launcher/win32/pages_win32.h"
#include "gui/views/settings_paint.h"
#include "gui/win32/clipboard.h"
#include "platform/debug_log.h"
#include "platform/system.h"
#include "setup/autostart.h"
#include "userdata/activity_log.h"
#include "userdata/client_config.h"
#include "userdata/settings.h"
#include "userdata/status.h"

namespace nimbalo::gui {

namespace {

constexpr uint64_t kLogReadLimit = uint64_t{16} << 20;  // mcp.log rotates at 192 KiB

std::string mcp_log_path() { return platform::join_path(data_folder(), "mcp.log"); }

}  // namespace

void reload_settings(LauncherApp& app) {
    app.mcp_enabled = mcp_enabled();
    app.settings.log_path = mcp_log_path();
    app.settings.config_fragment = client_config_fragment();
    const auto log = platform::read_file(app.settings.log_path, kLogReadLimit);
    app.settings.reload(read_status(), log ? std::optional<std::string_view>(*log) : std::nullopt,
                        platform::tick_count_ms());
}

void open_settings(LauncherApp& app) {
    if (!app.state.visible) show(app);
    app.state.view = View::Settings;
    app.settings.hover = 0;
    app.autostart_enabled = autostart_enabled(system_autostart());  // the Run key may have changed since
    reload_settings(app);
    app.state.settings_opened_tick = platform::tick_count_ms();
    repaint(app);
    platform::debug_log("settings: opened");
}

void settings_key_down(LauncherApp& app, WPARAM key) {
    const PageKey k = key == VK_ESCAPE ? PageKey::Escape : key == VK_BACK ? PageKey::Backspace : PageKey::Other;
    const bool ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (settings_key(app.settings, app.state, k, ctrl)) repaint(app);
}

void settings_mouse_move(LauncherApp& app, float x, float y) {
    const SettingsHit hit = settings_hit(settings_layout(page_metrics(app.geometry)), x, y);
    app.cursor_kind = hit == SettingsHit::None ? 0 : 1;
    if (app.settings.hover_to(hit)) repaint(app);
}

void settings_click(LauncherApp& app, float x, float y) {
    SettingsPage& page = app.settings;
    switch (settings_hit(settings_layout(page_metrics(app.geometry)), x, y)) {
        case SettingsHit::Back:
            settings_back(page, app.state);
            break;
        case SettingsHit::McpSwitch:
            page.mcp_switch_done(set_mcp_enabled(app.mcp_enabled), app.mcp_enabled);
            reload_settings(app);
            break;
        case SettingsHit::Autostart: {
            const bool wanted = !app.autostart_enabled;
            page.autostart_switch_done(set_autostart(system_autostart(), wanted), wanted, app.autostart_enabled);
            break;
        }
        case SettingsHit::TestMcp:
            if (page.begin_selftest()) (void)app.send_job(job::McpSelfTest{});
            break;
        case SettingsHit::OpenLog:
            open_mcp_log("log opened from the launcher (empty)");
            break;
        case SettingsHit::CopyConfig:
            if (copy_to_clipboard(app.window, client_config_fragment()))
                log_line("settings: client configuration copied to the clipboard");
            else
                page.result = SettingsResult{false, "the clipboard could not be written"};
            break;
        case SettingsHit::None:
            break;
    }
    repaint(app);
}

void settings_selftest_finished(LauncherApp& app, const event::SelfTestFinished& e) {
    app.settings.selftest_finished(e.ok, e.message);
    reload_settings(app);
    repaint(app);
}

void paint_settings_view(LauncherApp& app) {
    paint_settings(app.frame, *app.text, app.geometry, app.settings, app.mcp_enabled, app.autostart_enabled);
}

}  // namespace nimbalo::gui
