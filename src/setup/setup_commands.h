// The installation commands: `install` and `service install|uninstall`. Windows only; elsewhere
// each ends with a clear error that says so.
#pragma once

#include "common/result.h"

namespace nimbalo {

Status cmd_install();
Status cmd_service_install();
Status cmd_service_uninstall();

}  // namespace nimbalo
