#include "gui/launcher_command.h"

#include "gui/launcher/launcher.h"

namespace nimbalo {

Status cmd_launcher(bool tray_start) { return gui::run_launcher(tray_start); }

}  // namespace nimbalo
