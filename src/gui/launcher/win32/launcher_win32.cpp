// The launcher's window thread on Windows: the layered popup, the tray icon and menu, the
// hotkey, the 33 ms tick (start-up is in startup_win32.cpp). The window procedure only
// translates: each message becomes a call on LauncherState (the decisions) or on the drawing
// layer, and this file carries out what they return. Everything that waits runs on the
// "nimbalo-io" worker.
#include <windows.h>
#include <windowsx.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <span>
#include <string>

#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"
#include "gui/glass/animation.h"
#include "gui/glass/glass.h"
#include "gui/launcher/geometry.h"
#include "gui/launcher/launcher_state.h"
#include "gui/launcher/tray_menu.h"
#include "gui/launcher/win32/launcher_app.h"
#include "gui/launcher/win32/pages_win32.h"
#include "gui/launcher/win32/search_win32.h"
#include "gui/launcher/win32/tray_pointer_win32.h"
#include "gui/win32/present_surface.h"
#include "gui/worker/worker.h"
#include "platform/debug_log.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::gui {

UINT show_message() {
    static const UINT id = RegisterWindowMessageW(L"Nimbalo.Show");
    return id;
}

std::string hex(uint64_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

namespace {

using platform::debug_log;
using platform::win32::widen;

constexpr UINT_PTR kTimerId = 1;
constexpr int kHotkeyId = 1;

UINT taskbar_created_message() {
    static const UINT id = RegisterWindowMessageW(L"TaskbarCreated");
    return id;
}

std::atomic<bool> g_hotkey_registered{false};

LauncherApp* app_of(HWND window) { return reinterpret_cast<LauncherApp*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

}  // namespace

// Undocumented uxtheme exports (by ordinal only): 135 SetPreferredAppMode, 136 FlushMenuThemes,
// 133 AllowDarkModeForWindow. A system without them keeps the default menu theme.
void request_dark_menus(HWND window) {
    HMODULE ux = LoadLibraryW(L"uxtheme.dll");
    if (!ux) return;
    using SetMode = int(WINAPI*)(int);
    using Flush = void(WINAPI*)();
    using AllowDark = bool(WINAPI*)(HWND, bool);
    if (auto f = reinterpret_cast<SetMode>(reinterpret_cast<void*>(GetProcAddress(ux, MAKEINTRESOURCEA(135))))) f(2);
    if (auto f = reinterpret_cast<Flush>(reinterpret_cast<void*>(GetProcAddress(ux, MAKEINTRESOURCEA(136))))) f();
    if (window) {
        if (auto f = reinterpret_cast<AllowDark>(reinterpret_cast<void*>(GetProcAddress(ux, MAKEINTRESOURCEA(133)))))
            f(window, true);
        using SetTheme = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
        if (auto f = reinterpret_cast<SetTheme>(reinterpret_cast<void*>(GetProcAddress(ux, "SetWindowTheme"))))
            f(window, L"DarkMode_Explorer", L"");
    }
    FreeLibrary(ux);
}

namespace {

// The foreground lock work-around: attach to the foreground window's input for the call.
bool force_foreground(HWND window) {
    const HWND fg = GetForegroundWindow();
    const DWORD current = GetCurrentThreadId();
    const DWORD fg_thread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
    const bool attached = fg && fg_thread != current && AttachThreadInput(current, fg_thread, TRUE);
    ShowWindow(window, SW_SHOWNORMAL);
    BringWindowToTop(window);
    SetForegroundWindow(window);
    SetFocus(window);
    if (attached) AttachThreadInput(current, fg_thread, FALSE);
    const HWND after = GetForegroundWindow();
    debug_log("force_foreground: fg_before=" + hex(uint64_t(fg)) + " fg_after=" + hex(uint64_t(after)) +
              " hwnd=" + hex(uint64_t(window)) + " attached=" + (attached ? "true" : "false"));
    return after == window;
}

void present(LauncherApp& app, uint64_t now) {
    const Canvas* out = &app.frame;
    if (app.state.show_animating) {
        const ShowStep step = show_animation_step(double(now - app.state.show_tick), app.geometry.scale, app.frame.height);
        out = &apply_show_animation(app.frame, app.animation_frame, step);
        if (step.finished) app.state.show_animating = false;
    }
    present_frame(app.window, *app.surface, *out, app.origin.x, app.origin.y);
}

}  // namespace

void draw_view(LauncherApp& app) {
    switch (app.state.view) {
        case View::Search:
            search_draw(app);
            break;
        case View::Settings:
            paint_settings_view(app);
            break;
        case View::Update:
            paint_update_view(app);
            break;
    }
}

namespace {

// Mouse coordinates: the signed 16-bit words of lParam.
float mouse_x(LPARAM lparam) { return float(int16_t(LOWORD(lparam))); }
float mouse_y(LPARAM lparam) { return float(int16_t(HIWORD(lparam))); }

}  // namespace

void repaint(LauncherApp& app) {
    if (!app.state.visible) return;
    const uint64_t start = platform::tick_count_ms();
    if (app.frame.pixels.size() == app.glass_background.pixels.size()) app.frame.pixels = app.glass_background.pixels;
    draw_view(app);
    const uint64_t drawn = platform::tick_count_ms();
    present(app, start);
    const uint64_t took = platform::tick_count_ms() - start;
    if (took >= 25)
        debug_log("paint took " + std::to_string(took) + " ms (drawing " + std::to_string(drawn - start) + " ms, present " +
                  std::to_string(took - (drawn - start)) + " ms)");
}

static WorkArea work_area_of(HWND window, const WindowGeometry& g) {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &mi)) return {0, 0, g.width, g.height};
    return {mi.rcWork.left, mi.rcWork.top, mi.rcWork.right - mi.rcWork.left, mi.rcWork.bottom - mi.rcWork.top};
}

void show(LauncherApp& app) {
    app.origin = window_origin(work_area_of(app.window, app.geometry), app.geometry);
    if (app.state.visible) ShowWindow(app.window, SW_HIDE);  // the desktop behind it is captured next
    auto capture = capture_screen(app.origin.x, app.origin.y, app.geometry.width, app.geometry.height);
    app.glass_background = render_glass_background(capture ? std::span<const uint32_t>(*capture) : std::span<const uint32_t>(),
                                                   app.geometry.scale, app.geometry.width, app.geometry.height);
    const uint64_t now = platform::tick_count_ms();
    app.state.show(now);
    search_show(app);
    app.send_job(job::RefreshStatus{});
    if (app.state.update_check_due(now)) app.send_job(job::CheckUpdate{});
    app.frame.reset_clip();
    repaint(app);
    SetWindowPos(app.window, HWND_TOPMOST, app.origin.x, app.origin.y, app.geometry.width, app.geometry.height, SWP_SHOWWINDOW);
    app.state.active_flag = force_foreground(app.window);
    debug_log("show: rect=(" + std::to_string(app.origin.x) + ", " + std::to_string(app.origin.y) + ") " +
              std::to_string(app.geometry.width) + "x" + std::to_string(app.geometry.height) +
              " active=" + (app.state.active_flag ? "true" : "false") + " visible=true");
}

void begin_hide(LauncherApp& app) {
    if (app.hide_snapshot.pixels.size() == app.frame.pixels.size()) app.hide_snapshot.pixels = app.frame.pixels;
    if (!app.state.begin_hide(platform::tick_count_ms())) return;
    app.search.clear_hover();
    debug_log("hide: animation");
}

void finish_hide(LauncherApp& app) {
    app.state.hidden();
    debug_log("hide");
    ShowWindow(app.window, SW_HIDE);
}

namespace {

void advance_hide(LauncherApp& app, uint64_t now) {
    const HideStep step = hide_animation_step(double(now - app.state.hide_tick));
    draw_hide_frame(app.frame, app.glass_background, app.hide_snapshot, step, app.geometry.scale);
    present(app, now);
    if (step.finished) finish_hide(app);
}

void toggle(LauncherApp& app) {
    switch (app.state.toggle()) {
        case LauncherState::Toggle::Show: return show(app);
        case LauncherState::Toggle::BeginHide: return begin_hide(app);
        case LauncherState::Toggle::Ignore: return;
    }
}

void apply_event(LauncherApp& app, WorkerEvent& e) {
    search_apply_event(app, e);  // SearchResults, ServiceStatus
    if (const auto* selftest = std::get_if<event::SelfTestFinished>(&e)) settings_selftest_finished(app, *selftest);
    (void)apply_update_event(app, e);
}

void run_tick(LauncherApp& app, uint64_t now);

// A tick that takes 16 ms or more (a frame at 60 Hz) is logged: the window thread must never wait.
void on_tick(LauncherApp& app) {
    const uint64_t now = platform::tick_count_ms();
    run_tick(app, now);
    const uint64_t took = platform::tick_count_ms() - now;
    if (took >= 16) debug_log("tick took " + std::to_string(took) + " ms");
}

void run_tick(LauncherApp& app, uint64_t now) {
    const LauncherState::Tick t = app.state.tick(now);
    if (t.remove_leftover) remove_leftover_build();
    while (auto e = app.events->try_receive()) apply_event(app, *e);
    if (update_ends_launcher(app, now)) return;  // the window is gone
    if (t.advance_hide) return advance_hide(app, now);
    if (t.retry_foreground) app.state.active_flag = force_foreground(app.window);
    if (t.check_update) app.send_job(job::CheckUpdate{});
    if (t.reload_settings) reload_settings(app);
    const bool search_repaint = app.state.visible && search_tick(app, now);  // debounce; rebuild bar
    if (t.refresh_status) app.send_job(job::RefreshStatus{});
    if (t.repaint || search_repaint) repaint(app);
}

}  // namespace

LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    LauncherApp* app = app_of(window);
    switch (msg) {
        case WM_NCCREATE:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return 1;
        case WM_CREATE:
            if (app) app->window = window;
            request_dark_menus(window);
            add_tray_icon(window);
            start_tray_pointer(window);
            g_hotkey_registered = RegisterHotKey(window, kHotkeyId, MOD_ALT, VK_SPACE) != 0;
            SetTimer(window, kTimerId, UINT(kTickMs), nullptr);
            return 0;
        case WM_DESTROY:
            KillTimer(window, kTimerId);
            if (g_hotkey_registered.exchange(false)) UnregisterHotKey(window, kHotkeyId);
            delete_tray_icon(window);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            delete app;
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            ValidateRect(window, nullptr);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_TIMER:
            if (app && wparam == kTimerId) on_tick(*app);
            return 0;
        case WM_HOTKEY:
            if (app && wparam == kHotkeyId) toggle(*app);
            return 0;
        case kTrayMessage:
            if (!app) return 0;
            if (LOWORD(lparam) == WM_LBUTTONUP) toggle(*app);
            if (LOWORD(lparam) == WM_RBUTTONUP) tray_menu_command(*app);
            return 0;
        case WM_ACTIVATE: {
            if (!app) return 0;
            if (LOWORD(wparam) != WA_INACTIVE) {
                debug_log("WM_ACTIVATE active");
                app->state.activated();
                repaint(*app);
                return 0;
            }
            const uint64_t now = platform::tick_count_ms();
            debug_log("WM_ACTIVATE inactive (active_flag=" + std::string(app->state.active_flag ? "true" : "false") +
                      " menu=" + (app->state.menu_open ? "true" : "false") +
                      " age=" + std::to_string(now - app->state.show_tick) + ")");
            if (app->state.deactivated(now)) begin_hide(*app);
            return 0;
        }
        case WM_KILLFOCUS:
            if (app) {
                app->state.focused = false;
                repaint(*app);
            }
            return 0;
        case WM_SETCURSOR: {
            static const LPCWSTR cursors[] = {IDC_ARROW, IDC_HAND, IDC_IBEAM};
            SetCursor(LoadCursorW(nullptr, cursors[app ? app->cursor_kind % 3 : 0]));
            return 1;
        }
        case WM_MOUSEACTIVATE:
            return MA_ACTIVATE;
        case WM_CONTEXTMENU:
        case WM_SYSKEYDOWN:
            return 0;  // no system menu on Alt+Space or F10
        case WM_KEYDOWN:
            if (!app) return 0;
            switch (app->state.view) {
                case View::Search:
                    if (wparam == VK_ESCAPE)
                        begin_hide(*app);
                    else
                        search_key(*app, wparam);
                    break;
                case View::Settings:
                    settings_key_down(*app, wparam);
                    break;
                case View::Update:
                    update_key_down(*app, wparam);
                    break;
            }
            return 0;
        case WM_CHAR:  // typed text: the Search page's; ignored on Settings and Update
            if (app && app->state.view == View::Search) search_char(*app, wparam);
            return 0;
        case WM_MOUSEMOVE: {
            if (!app) return 0;
            const float x = mouse_x(lparam), y = mouse_y(lparam);
            switch (app->state.view) {
                case View::Search:
                    search_mouse_move(*app, x, y);
                    break;
                case View::Settings:
                    settings_mouse_move(*app, x, y);
                    break;
                case View::Update:
                    app->cursor_kind = 0;  // nothing to point at
                    break;
            }
            static const LPCWSTR cursors[] = {IDC_ARROW, IDC_HAND, IDC_IBEAM};
            SetCursor(LoadCursorW(nullptr, cursors[app->cursor_kind % 3]));
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            if (!app) return 0;
            const float x = mouse_x(lparam), y = mouse_y(lparam);
            switch (app->state.view) {
                case View::Search:
                    search_click(*app, x, y, msg == WM_LBUTTONDBLCLK);
                    break;
                case View::Settings:
                    settings_click(*app, x, y);
                    break;
                case View::Update:
                    repaint(*app);
                    break;
            }
            return 0;
        }
        case WM_RBUTTONUP:
            if (app && app->state.view == View::Search) search_right_button_up(*app, mouse_x(lparam), mouse_y(lparam));
            return 0;
        case WM_MOUSEWHEEL:
            if (app && app->state.view == View::Search) search_wheel(*app, GET_WHEEL_DELTA_WPARAM(wparam));
            return 0;
        case WM_LBUTTONUP:
            return 0;
        default:
            break;
    }
    if (app && msg == show_message()) {
        debug_log("show message received");
        show(*app);
        return 0;
    }
    if (msg == show_message()) {
        debug_log("show message: no app pointer");
        return 0;
    }
    if (msg == taskbar_created_message()) {
        // Explorer restarted: its new taskbar has no icon of ours, and the tray menu is the
        // launcher's only way to exit.
        add_tray_icon(window);
        return 0;
    }
    if (msg > 0xBFFF) debug_log("unhandled message " + hex(msg));
    return DefWindowProcW(window, msg, wparam, lparam);
}

}  // namespace nimbalo::gui
