// The launcher is a Windows program: its window, tray and hotkey have no port here.
#include "gui/launcher/launcher.h"

namespace nimbalo::gui {

Status run_launcher(bool) { return fail("the GUI launcher is not available on Linux; see 'nimbalo help'"); }

}  // namespace nimbalo::gui
