// The tray icon and its menu: the launcher's way back when the panel is hidden, and its only
// way to exit.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "client/service_request.h"
#include "gui/launcher/tray_menu.h"
#include "gui/launcher/win32/launcher_app.h"
#include "gui/launcher/win32/pages_win32.h"
#include "platform/file_io.h"
#include "platform/program_paths.h"
#include "platform/run_key.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"
#include "setup/autostart.h"
#include "userdata/activity_log.h"
#include "userdata/settings.h"

namespace nimbalo::gui {

using platform::win32::widen;

namespace {

constexpr uint32_t kTrayReindexTimeoutMs = 400;

}  // namespace

void add_tray_icon(HWND window) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = kTrayIconId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    const std::wstring tip = widen(kTrayTip);
    wcsncpy(nid.szTip, tip.c_str(), 127);
    Shell_NotifyIconW(NIM_ADD, &nid);
}

void delete_tray_icon(HWND window) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = kTrayIconId;
    Shell_NotifyIconW(NIM_DELETE, &nid);
}

void open_mcp_log(std::string_view created_line) {
    const std::string folder = data_folder();
    (void)platform::create_folders(folder);
    const std::string path = platform::join_path(folder, "mcp.log");
    if (!platform::path_exists(path)) log_line(created_line);
    ShellExecuteW(nullptr, L"open", widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void tray_menu_command(LauncherApp& app) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    for (const auto& item : tray_menu(mcp_enabled(), platform::read_run_value(kRunValueName).has_value())) {
        if (item.id == kTraySeparator)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else
            AppendMenuW(menu, MF_STRING, item.id, widen(item.text).c_str());
    }
    POINT pt{};
    GetCursorPos(&pt);
    // The click on the taskbar took the focus from a shown panel, which has begun to hide. The
    // menu's owner must not change under the menu (hidden mid-track, it takes the menu with it):
    // the panel stays while the menu is up, and no focus change then starts another hide.
    if (app.state.hiding) {
        app.state.hiding = false;
        repaint(app);
    }
    app.state.menu_open = true;
    SetForegroundWindow(app.window);
    const UINT chosen = UINT(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, 0, app.window, nullptr));
    app.state.menu_open = false;
    DestroyMenu(menu);
    switch (chosen) {
        case kTraySearch:
            show(app);
            break;
        case kTrayExit:
            DestroyWindow(app.window);
            break;
        case kTrayRebuild: {
            client::RequestLimits limits;
            limits.timeout_ms = kTrayReindexTimeoutMs;
            limits.port = client::service_port();
            (void)client::service_request("/reindex", limits);
            app.search.rebuild_requested();
            app.state.rebuild_running = true;
            break;
        }
        case kTrayMcpSettings:
            open_settings(app);
            break;
        case kTrayMcpSwitch:
            // Writes the opposite of the file's value; a failure shows on the Settings page.
            app.settings.mcp_switch_done(set_mcp_enabled(mcp_enabled()), app.mcp_enabled);
            if (app.state.view == View::Settings) {
                reload_settings(app);
                repaint(app);
            }
            break;
        case kTrayOpenLog:
            open_mcp_log("log opened from the tray (empty)");
            break;
        case kTrayAutostart:
            if (const bool on = autostart_enabled(system_autostart()); set_autostart(system_autostart(), !on))
                app.autostart_enabled = !on;
            if (app.state.view == View::Settings) repaint(app);
            break;
        default:
            break;
    }
}

}  // namespace nimbalo::gui
