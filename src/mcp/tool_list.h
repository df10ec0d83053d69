// The `tools/list` result: the five tools in fixed order (search, get_file_info, list_drives,
// reindex, recent_changes) with their descriptions and input schemas. Clients show these texts
// to the model, so they are fixed byte for byte. Pure; thread-safe.
#pragma once

#include "mcp/message.h"

namespace nimbalo::mcp {

Json tool_list();

}  // namespace nimbalo::mcp
