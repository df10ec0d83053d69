// The MCP on/off switch in `settings.json` of the data folder: the launcher writes it, a starting
// MCP server reads it once. The file holds only {"mcp_enabled": bool}, pretty-printed with a
// two-space indent and a final line feed. It is replaced by rename, never rewritten in place, so a
// server starting during the switch sees the old or the new value, never a torn file that would
// read as "enabled". Anything unreadable still means enabled: a broken file must not lock the
// user out. Thread-safe; one small file read or write per call.
#pragma once

#include <string>

#include "common/result.h"

namespace nimbalo {

// True unless settings.json parses as an object whose `mcp_enabled` is the boolean false.
bool mcp_enabled();
bool mcp_enabled_in(const std::string& folder);

// Write the opposite of shown_enabled and log "settings: MCP server enabled|disabled by the
// launcher". Returns the new value, or "cannot write settings: {}" (nothing logged, file kept).
Result<bool> set_mcp_enabled(bool shown_enabled);
Result<bool> set_mcp_enabled_in(const std::string& folder, bool shown_enabled);

}  // namespace nimbalo
