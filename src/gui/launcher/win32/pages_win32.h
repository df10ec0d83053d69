// The window thread's entry points into the Settings and Update pages (settings_win32.cpp,
// update_win32.cpp): what the window procedure, the tick, show and the tray menu call.
#pragma once

#include <windows.h>

#include <cstdint>

#include "gui/worker/messages.h"

namespace nimbalo::gui {

struct LauncherApp;

// Settings page.
// Shows the panel if hidden, switches to Settings, reloads and repaints (tray "MCP settings…").
void open_settings(LauncherApp& app);
// Reads the switch, the status file and the log tail again.
void reload_settings(LauncherApp& app);
void settings_key_down(LauncherApp& app, WPARAM key);
void settings_mouse_move(LauncherApp& app, float x, float y);
void settings_click(LauncherApp& app, float x, float y);
void settings_selftest_finished(LauncherApp& app, const event::SelfTestFinished& e);
void paint_settings_view(LauncherApp& app);

// Update page.
// Applies an update event (false when the event is not one).
bool apply_update_event(LauncherApp& app, const WorkerEvent& e);
// After the tick's events: the restart when due (the process ends there) or the end the elevated
// apply asked for. True when the window has been destroyed: the caller touches app no more.
bool update_ends_launcher(LauncherApp& app, uint64_t now);
void update_key_down(LauncherApp& app, WPARAM key);
void paint_update_view(LauncherApp& app);

}  // namespace nimbalo::gui
