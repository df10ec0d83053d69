// `update check` and `update apply <build> [target] [--sha256=<hex>]`.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"

namespace nimbalo {

// args: the argument list from "update" on.
Status cmd_update(const std::vector<std::string>& args);

}  // namespace nimbalo
