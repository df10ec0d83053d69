// The launcher role: the single-instance tray program with the glass panel (Alt+Space). Runs the
// window thread's message loop until the tray menu's "Exit"; the caller has already claimed the
// single-instance mutex. Errors: "RegisterClassW failed", the system's text of CreateWindowExW,
// "GDI+ text engine unavailable". Windows only; elsewhere a clear error.
#pragma once

#include "common/result.h"

namespace nimbalo::gui {

Status run_launcher(bool tray_start);

}  // namespace nimbalo::gui
