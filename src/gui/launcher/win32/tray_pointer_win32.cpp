// The tray pointer's own thread: wait for the tray icon to appear on the taskbar, place a
// click-through layered window over it, animate it for 6.4 s with its own text engine, surface
// and canvas, and end. Every failure ends the thread silently; nothing is shared with the
// launcher's window thread beyond the main window's handle.
#include "gui/launcher/win32/tray_pointer_win32.h"

#include <shellapi.h>
#include <oleauto.h>

#include <chrono>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"
#include "gui/views/tray_pointer.h"
#include "gui/win32/gdiplus_text.h"
#include "gui/win32/present_surface.h"

namespace nimbalo::gui {

namespace {

using Clock = std::chrono::steady_clock;

constexpr wchar_t kClassName[] = L"Nimbalo.TrayPointer";
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_LAYERED | WS_EX_NOACTIVATE;
static_assert(kExStyle == 0x080800A8);
constexpr UINT kIconId = 1;  // the launcher's tray icon

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

ScreenRect screen_rect(const RECT& r) { return ScreenRect{r.left, r.top, r.right, r.bottom}; }

HWND find_taskbar() { return FindWindowW(L"Shell_TrayWnd", nullptr); }

// The icon's rectangle once it sits on the taskbar, else nothing (no rectangle yet, no taskbar,
// or the icon in the overflow area).
std::optional<ScreenRect> icon_on_taskbar(HWND main_window) {
    NOTIFYICONIDENTIFIER id{};
    id.cbSize = sizeof id;  // 40
    id.hWnd = main_window;
    id.uID = kIconId;
    RECT r{};
    if (FAILED(Shell_NotifyIconGetRect(&id, &r))) {
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) == S_OK && info) info->Release();
        return std::nullopt;
    }
    const ScreenRect icon = screen_rect(r);
    if (!rect_has_area(icon)) return std::nullopt;
    const HWND bar = find_taskbar();
    RECT br{};
    if (!bar || !GetWindowRect(bar, &br) || !icon_in_taskbar(icon, screen_rect(br))) return std::nullopt;
    return icon;
}

std::optional<ScreenRect> wait_for_icon(HWND main_window) {
    const Clock::time_point start = Clock::now();
    for (;;) {
        if (auto icon = icon_on_taskbar(main_window)) return icon;
        if (seconds_since(start) > kPointerWaitLimit) return std::nullopt;
        Sleep(kPointerWaitStepMs);
    }
}

UINT dpi_of(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static const auto get_dpi = reinterpret_cast<GetDpi>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return window && get_dpi ? get_dpi(window) : 0;
}

PointerPlacement place(const ScreenRect& icon) {
    const HWND bar = find_taskbar();
    std::optional<MonitorSpan> span;
    if (bar) {
        MONITORINFO mi{};
        mi.cbSize = sizeof mi;
        const HMONITOR monitor = MonitorFromWindow(bar, MONITOR_DEFAULTTONEAREST);
        if (monitor && GetMonitorInfoW(monitor, &mi)) span = MonitorSpan{mi.rcMonitor.top, mi.rcMonitor.bottom};
    }
    return pointer_placement(icon, dpi_of(bar), span, GetSystemMetrics(SM_XVIRTUALSCREEN),
                             GetSystemMetrics(SM_CXVIRTUALSCREEN));
}

LRESULT CALLBACK pointer_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        case WM_NCHITTEST: return HTTRANSPARENT;
        default: return DefWindowProcW(window, msg, wparam, lparam);
    }
}

// Owns the pointer window: destroyed on every way out of the thread.
struct PointerWindow {
    HWND handle = nullptr;
    ~PointerWindow() {
        if (handle) DestroyWindow(handle);
    }
};

void run_pointer(HWND main_window) {
    const std::optional<ScreenRect> icon = wait_for_icon(main_window);
    if (!icon) return;
    const PointerPlacement p = place(*icon);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = pointer_proc;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);  // already registered by an earlier start: fine
    PointerWindow window;
    window.handle = CreateWindowExW(kExStyle, kClassName, L"Nimbalo", WS_POPUP, p.x, p.y, p.W, p.H, nullptr, nullptr,
                                    instance, nullptr);
    if (!window.handle) return;
    auto backend = make_gdiplus_text_backend(p.W, p.H, p.s);
    if (!backend) return;
    auto surface = PresentSurface::create(p.W, p.H);
    if (!surface) return;
    TextEngine text(std::move(*backend));
    Canvas canvas(p.W, p.H);
    const std::string_view label = pointer_label(GetUserDefaultUILanguage());

    const Clock::time_point start = Clock::now();
    bool shown = false;
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            continue;
        }
        const double t = seconds_since(start);
        if (t >= kPointerLifetime) return;
        draw_pointer_frame(canvas, text, p, label, t);
        present_frame(window.handle, *surface, canvas, p.x, p.y);
        if (!shown) {
            ShowWindow(window.handle, SW_SHOWNOACTIVATE);
            shown = true;
        }
        Sleep(kPointerFrameMs);
    }
}

}  // namespace

void start_tray_pointer(HWND main_window) {
    try {
        std::thread(run_pointer, main_window).detach();
    } catch (const std::system_error&) {
        // No thread, no pointer: the launcher works the same without it.
    }
}

}  // namespace nimbalo::gui
