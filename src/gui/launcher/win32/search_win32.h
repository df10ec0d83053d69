// The Search page on the launcher's window: the window procedure and the tick hand their
// messages and events here, and this layer carries out what the page (gui/views/search_page.h)
// decides: disk inspection, shell icons, opening, Explorer, the clipboard, the context menu and
// the Reindex job. Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "gui/launcher/win32/launcher_app.h"

namespace nimbalo::gui {

void search_draw(LauncherApp& app);
void search_char(LauncherApp& app, WPARAM unit);
void search_key(LauncherApp& app, WPARAM virtual_key);
void search_mouse_move(LauncherApp& app, float x, float y);
void search_click(LauncherApp& app, float x, float y, bool double_click);
void search_right_button_up(LauncherApp& app, float x, float y);
void search_wheel(LauncherApp& app, int wheel_delta);
// SearchResults and ServiceStatus; other events are left alone.
void search_apply_event(LauncherApp& app, const WorkerEvent& e);
// The debounce; true when the panel needs a repaint (also every tick while a rebuild runs).
bool search_tick(LauncherApp& app, uint64_t now);
// The page's part of every show.
void search_show(LauncherApp& app);
// At start-up: the shell's icon machinery loaded and the folder icon cached, so the first result
// does not wait for them.
void search_warm_up(LauncherApp& app);
// F5, the round button: sends Reindex and shows the rebuild as started.
void rebuild_index(LauncherApp& app);

}  // namespace nimbalo::gui
