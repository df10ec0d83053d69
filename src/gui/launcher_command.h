// The launcher command: what `nimbalo` with no command, `gui` and the tray flags start.
#pragma once

#include "common/result.h"

namespace nimbalo {

Status cmd_launcher(bool tray_start);

}  // namespace nimbalo
