// `mcp`: the MCP server on standard input and output, until input closes.
#pragma once

#include "common/result.h"

namespace nimbalo {

Status cmd_mcp();

}  // namespace nimbalo
