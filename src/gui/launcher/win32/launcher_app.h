// The launcher's one state object on Windows, owned by the window thread, and the window-thread
// operations its pages call. Shared by the files of this folder only: startup_win32.cpp (start-up),
// launcher_win32.cpp (window procedure, tick), tray_win32.cpp (tray icon and menu) and each page's Win32 file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/channel.h"
#include "gui/canvas/canvas.h"
#include "gui/canvas/text_engine.h"
#include "gui/launcher/geometry.h"
#include "gui/launcher/launcher_state.h"
#include "gui/views/search_page.h"
#include "gui/views/settings_page.h"
#include "gui/views/update_page.h"
#include "gui/win32/present_surface.h"
#include "gui/worker/messages.h"

namespace nimbalo::gui {

inline constexpr UINT kTrayIconId = 1;
inline constexpr UINT kTrayMessage = WM_APP + 1;

struct LauncherApp {
    HWND window = nullptr;
    WindowGeometry geometry;
    LauncherState state{0};
    Canvas frame, animation_frame, hide_snapshot, glass_background;
    std::unique_ptr<PresentSurface> surface;
    std::unique_ptr<TextEngine> text;
    std::shared_ptr<Channel<WorkerJob>> jobs;
    std::shared_ptr<Channel<WorkerEvent>> events;
    Point origin;
    bool mcp_enabled = false, autostart_enabled = false;
    SearchPage search;  // the Search page, with the service state it shows
    int cursor_kind = 0;  // 0 arrow, 1 hand, 2 I-beam
    SettingsPage settings;       // the Settings page (settings_win32.cpp)
    UpdatePage update;           // the Update page (update_win32.cpp)
    bool end_requested = false;  // the elevated update took over: destroy the window after the tick

    ~LauncherApp() {
        if (jobs) jobs->close();  // the worker ends
        if (events) events->close();
    }
    // A send after the worker has ended is ignored: the page stays as it is.
    bool send_job(WorkerJob job) { return jobs->send(std::move(job)); }
};

// Draws the current page over the glass and presents the frame (nothing while hidden).
void repaint(LauncherApp& app);
// Places the panel, captures the glass, resets the pages and shows it.
void show(LauncherApp& app);
// Starts the hide animation (ignored unless shown and not yet hiding).
void begin_hide(LauncherApp& app);
// Hides the window now, the animation cut short.
void finish_hide(LauncherApp& app);

// Tray icon and menu (tray_win32.cpp).
void add_tray_icon(HWND window);
void delete_tray_icon(HWND window);
void tray_menu_command(LauncherApp& app);
// Opens mcp.log in the user's editor; a missing log is created with `created_line` first.
void open_mcp_log(std::string_view created_line);

std::string hex(uint64_t v);

// Shared by the window (launcher_win32.cpp) and the start-up (startup_win32.cpp).
LRESULT CALLBACK window_proc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
// Draws the current page into app.frame (no present).
void draw_view(LauncherApp& app);
// The registered message a second start broadcasts to show the running launcher.
UINT show_message();
// Asks for dark tray menus (and, given a window, its dark theme) where the system offers it.
void request_dark_menus(HWND window);
// Deletes the previous build an update left beside the executable, if any.
void remove_leftover_build();

}  // namespace nimbalo::gui
