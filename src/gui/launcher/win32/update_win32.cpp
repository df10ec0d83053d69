// The Update page on Windows: the administrator test, the elevated `update apply`, the restart
// into the new build. The flow and the drawing are the page's own (gui/views/update_page.h,
// update_paint.h).
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "gui/launcher/win32/launcher_app.h"
#include "gui/launcher/win32/pages_win32.h"
#include "gui/views/update_paint.h"
#include "platform/console.h"
#include "platform/debug_log.h"
#include "platform/file_info.h"
#include "platform/program_paths.h"
#include "platform/service_manager.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"
#include "setup/install.h"
#include "userdata/activity_log.h"

namespace nimbalo::gui {

namespace {

UpdateSystem update_system(LauncherApp& app) {
    UpdateSystem sys;
    sys.send_job = [&app](WorkerJob job) { return app.send_job(std::move(job)); };
    sys.has_admin_rights = [] { return has_admin_rights(); };
    sys.update_target = [] {
        const std::string installed = installed_exe();
        return update_target(installed, platform::file_info(installed).has_value(), platform::executable_path());
    };
    sys.running_exe = [] { return platform::executable_path(); };
    sys.repaint_now = [&app] { repaint(app); };
    sys.start_elevated = [](const std::string& exe, const std::string& params) {
        return platform::start_elevated(exe, params);
    };
    sys.release_single_instance = [] { platform::release_single_instance(); };
    sys.open_target = [](const std::string& exe) {
        const HINSTANCE r = ShellExecuteW(nullptr, L"open", platform::win32::widen(exe).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return reinterpret_cast<INT_PTR>(r) > 32;
    };
    sys.log_line = [](std::string_view line) { log_line(line); };
    sys.debug_log = [](std::string_view line) { platform::debug_log(std::string(line)); };
    sys.end_launcher = [&app] { app.end_requested = true; };
    return sys;
}

}  // namespace

bool apply_update_event(LauncherApp& app, const WorkerEvent& e) {
    UpdateSystem sys = update_system(app);
    return app.update.apply(e, app.state, sys, platform::tick_count_ms());
}

bool update_ends_launcher(LauncherApp& app, uint64_t now) {
    if (app.update.restart_due(now)) {
        UpdateSystem sys = update_system(app);
        app.update.restart(sys);
        DestroyWindow(app.window);  // removes the tray icon and the hotkey; app is gone
        ExitProcess(0);
    }
    if (!app.end_requested) return false;
    DestroyWindow(app.window);  // the elevated update takes over; the message loop ends
    return true;
}

void update_key_down(LauncherApp& app, WPARAM key) {
    if (update_key_hides(key == VK_ESCAPE, app.state)) begin_hide(app);
}

void paint_update_view(LauncherApp& app) { paint_update(app.frame, *app.text, app.geometry, app.update); }

}  // namespace nimbalo::gui
