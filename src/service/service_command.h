// `service run`: the search service under the Service Control Manager (Windows) or in the
// foreground until SIGINT or SIGTERM (elsewhere).
#pragma once

#include "common/result.h"

namespace nimbalo {

Status cmd_service_run();

}  // namespace nimbalo
