// The tray pointer's thread on Windows (the drawing is gui/views/tray_pointer.h).
#pragma once

#include <windows.h>

namespace nimbalo::gui {

// Starts the pointer on a detached thread of its own and returns at once. The thread waits until
// the launcher's tray icon (id 1 of main_window) sits on the taskbar, shows the pointer over it
// for 6.4 s and ends; it gives up silently after 60 s, or on any failure. It uses main_window
// only to ask for the icon's rectangle.
void start_tray_pointer(HWND main_window);

}  // namespace nimbalo::gui
