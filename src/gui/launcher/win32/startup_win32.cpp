// The launcher's start-up on Windows: the service check, the process settings, the window and its
// state, the first drawing off screen, then the message loop. The window procedure and the tick
// are in launcher_win32.cpp.
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <string>
#include <thread>

#include "client/service_request.h"
#include "common/unicode.h"
#include "gui/launcher/ensure_service.h"
#include "gui/launcher/geometry.h"
#include "gui/launcher/launcher.h"
#include "gui/launcher/win32/launcher_app.h"
#include "gui/launcher/win32/pages_win32.h"
#include "gui/launcher/win32/search_win32.h"
#include "gui/win32/gdiplus_text.h"
#include "gui/win32/present_surface.h"
#include "gui/worker/worker.h"
#include "platform/debug_log.h"
#include "platform/file_io.h"
#include "platform/net.h"
#include "platform/program_paths.h"
#include "platform/service_manager.h"
#include "platform/system.h"
#include "setup/autostart.h"
#include "setup/desktop_shortcut.h"
#include "setup/install.h"
#include "update/apply.h"
#include "userdata/settings.h"

namespace nimbalo::gui {

using platform::debug_log;

void remove_leftover_build() {
    if (const auto self = platform::executable_path()) (void)platform::remove_file(update::fallback_path(*self));
}

namespace {

bool is_installed_copy() {
    const auto self = platform::executable_path();
    return self && to_lower_full(*self) == to_lower_full(installed_exe());
}

void repair_shortcut_thread() {
    std::thread([] { repair_desktop_shortcut(system_shortcut()); }).detach();
}

EnsureServiceSystem system_ensure_service() {
    EnsureServiceSystem s;
    s.is_installed_copy = [] { return is_installed_copy(); };
    s.service_answers = [] {
        platform::net_startup();
        return platform::connect_tcp("127.0.0.1", client::service_port(), 180).ok();
    };
    s.service_running_or_starting = [] { return platform::service_running_or_starting(kServiceName); };
    s.has_admin_rights = [] { return has_admin_rights(); };
    s.install_in_process = [] { return install_service(real_install_system(), program_folder(), installed_exe()); };
    s.start_elevated_install = [] {
        const auto self = platform::executable_path();
        return self && platform::start_elevated(*self, "install");
    };
    return s;
}

}  // namespace

Status run_launcher(bool tray_start) {
    // The shell calls below (tray, ShellExecuteW, known folders) want COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!tray_start) {
        static const char* const outcomes[] = {"nothing to do", "installed", "install failed", "elevated installer started",
                                               "elevation refused"};
        debug_log(std::string("service check: ") + outcomes[int(ensure_service(system_ensure_service()))]);
    }
    remove_leftover_build();
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (auto f = reinterpret_cast<SetContext>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
        f(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    request_dark_menus(nullptr);
    debug_log("dark menus requested");

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"Nimbalo.Launcher";
    if (!RegisterClassW(&wc)) return fail("RegisterClassW failed");
    const HWND window = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, L"Nimbalo.Launcher", L"Nimbalo",
                                        WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, instance, nullptr);
    if (!window) return fail(platform::last_system_error_text());

    auto app = std::make_unique<LauncherApp>();
    app->window = window;
    using GetDpi = UINT(WINAPI*)(HWND);
    const auto get_dpi = reinterpret_cast<GetDpi>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    app->geometry = window_geometry(scale_for_dpi(get_dpi ? get_dpi(window) : 0));
    const int w = app->geometry.width, h = app->geometry.height;
    app->frame = Canvas(w, h);
    app->animation_frame = Canvas(w, h);
    app->hide_snapshot = Canvas(w, h);
    app->glass_background = Canvas(w, h);
    auto surface = PresentSurface::create(w, h);
    auto backend = make_gdiplus_text_backend(w, h, app->geometry.scale);
    if (!surface || !backend) {
        DestroyWindow(window);
        return fail("GDI+ text engine unavailable");
    }
    app->surface = std::make_unique<PresentSurface>(std::move(*surface));
    app->text = std::make_unique<TextEngine>(std::move(*backend));
    app->state = LauncherState(platform::tick_count_ms());
    app->mcp_enabled = mcp_enabled();
    app->autostart_enabled = autostart_enabled(system_autostart());
    app->jobs = std::make_shared<Channel<WorkerJob>>();
    app->events = std::make_shared<Channel<WorkerEvent>>();
    start_worker(app->jobs, app->events, system_worker_deps());
    LauncherApp& a = *app;
    // GDI+ loads its fonts on the first drawing: done here, off screen, the first show's paint
    // finds them (and the idle page's texts) ready instead of taking some 30 ms.
    draw_view(a);
    search_warm_up(a);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app.release()));
    debug_log("show message id = " + hex(show_message()));
    if (is_installed_copy()) {
        repair_autostart(system_autostart());
        a.autostart_enabled = autostart_enabled(system_autostart());  // the repair may have switched it on
    }
    repair_shortcut_thread();
    if (tray_start)
        a.send_job(job::RefreshStatus{});
    else
        show(a);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return {};
}

}  // namespace nimbalo::gui
