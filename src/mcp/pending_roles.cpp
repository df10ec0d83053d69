// Placeholder until the MCP server lands: the role ends with a clear error, never a silent success.
#include "cli/roles.h"

namespace nimbalo {
Status cmd_mcp() { return fail("the MCP server is not available in this build yet"); }
}  // namespace nimbalo
